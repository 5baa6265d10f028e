#include <functional>

#include "core_test_support.h"

using core_test::Items;

namespace {

void Fill(TStringList& list, const std::vector<std::string>& items) {
  for (const std::string& s : items) list.Add(s);
}

}  // namespace

TEST(StringsTest, CompareTextFoldsAsciiOnly) {
  struct Case {
    std::string a, b;
    int sign;
  };
  const std::vector<Case> cases = {
      {"Pink", "pink", 0},    {"navy", "Pink", -1}, {"Black", "black2", -1}, {"B", "a", 1},
      {"_x", "ax", -1},       {"Ａ", "ａ", -1},      {"", "", 0},             {"abc", "ABD", -1},
  };
  for (const Case& c : cases) {
    const int r = CompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
    EXPECT_EQ(SameText(c.a, c.b), c.sign == 0) << c.a << " / " << c.b;
  }
}

TEST(StringsTest, IndicesOutsideTheListRaiseTheListError) {
  TStringList list;
  Fill(list, {"a", "b"});
  const std::pair<int, std::function<void()>> calls[] = {
      {-1, [&] { list.Strings(-1); }}, {2, [&] { list.Strings(2); }},       {-1, [&] { list.Delete(-1); }},
      {2, [&] { list.Delete(2); }},    {5, [&] { list.SetStrings(5, "x"); }}, {3, [&] { list.Insert(3, "x"); }},
      {-1, [&] { list.Insert(-1, "x"); }},
  };
  for (const auto& [index, call] : calls) {
    EXPECT_EQ(core_test::Raised(call), "EListError: リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
  }
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));
}

TEST(StringsTest, UnsortedListKeepsTheOrderGiven) {
  TStringList list;
  Fill(list, {"Navy", "Black", "Pink"});
  EXPECT_EQ(list.Add("black"), 3);
  list.Insert(0, "Top");
  list.Insert(5, "End");
  list.Delete(2);
  list.SetStrings(1, "Sea");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"Top", "Sea", "Pink", "black", "End"}));
  EXPECT_EQ(list.IndexOf("PINK"), 2);
  EXPECT_EQ(list.IndexOf("pin"), -1);
  EXPECT_EQ(list.IndexOf("BLACK"), 3);
}

TEST(StringsTest, SortedListPlacesEveryStringWithoutRegardToCase) {
  TStringList list;
  list.SetSorted(true);
  const std::vector<std::pair<std::string, int>> adds = {
      {"/b/c.png", 0}, {"/a/B.bmp", 0}, {"/a/a.PNG", 0}, {"/b/C.PNG", 2}, {"/a/b.BMP", 1}, {"/0.bmp", 0}};
  for (const auto& [s, index] : adds) EXPECT_EQ(list.Add(s), index) << s;
  EXPECT_EQ(Items(list), (std::vector<std::string>{"/0.bmp", "/a/a.PNG", "/a/b.BMP", "/a/B.bmp", "/b/C.PNG", "/b/c.png"}));
  EXPECT_EQ(list.IndexOf("/A/A.png"), 1);

  list.Insert(0, "/z.bmp");  // the index gives way to the order
  list.SetStrings(0, "/y.bmp");
  EXPECT_EQ(list.Strings(6), "/z.bmp");
  EXPECT_EQ(list.Strings(5), "/y.bmp");
}

TEST(StringsTest, TurningSortingOnSortsAndOffKeepsTheOrder) {
  TStringList list;
  Fill(list, {"pink", "Black", "navy", "black"});
  list.SetSorted(true);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"Black", "black", "navy", "pink"}));
  list.SetSorted(false);
  list.Add("aqua");
  EXPECT_EQ(list.Strings(4), "aqua");
}

TEST(StringsTest, EveryChangeReportsOnce) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  TStringList other;
  Fill(other, {"x", "y", "z"});
  struct Step {
    std::string what;
    std::function<void()> run;
    int reports;
  };
  const std::vector<Step> steps = {
      {"Add", [&] { list.Add("a"); }, 1},
      {"Insert", [&] { list.Insert(0, "b"); }, 1},
      {"SetStrings", [&] { list.SetStrings(0, "c"); }, 1},
      {"AddStrings", [&] { list.AddStrings(&other); }, 1},
      {"Delete", [&] { list.Delete(0); }, 1},
      {"Sort", [&] { list.SetSorted(true); }, 0},  // already in order: nothing changes
      {"Clear", [&] { list.Clear(); }, 1},
      {"Clear empty", [&] { list.Clear(); }, 0},
      {"Assign", [&] { list.Assign(&other); }, 1},
  };
  for (const Step& step : steps) {
    changes = 0;
    step.run();
    EXPECT_EQ(changes, step.reports) << step.what;
  }
}

TEST(StringsTest, AssignCopiesAndLeavesTheListsApart) {
  TStringList source;
  Fill(source, {"Pink", "Black"});
  TStringList copy;
  copy.Add("stale");
  copy.Assign(&source);
  source.SetStrings(0, "changed");
  EXPECT_EQ(Items(copy), (std::vector<std::string>{"Pink", "Black"}));

  TStringList sorted;
  sorted.SetSorted(true);
  sorted.Assign(&copy);
  EXPECT_EQ(Items(sorted), (std::vector<std::string>{"Black", "Pink"}));

  copy.AddStrings(&copy);
  EXPECT_EQ(Items(copy), (std::vector<std::string>{"Pink", "Black", "Pink", "Black"}));
}
