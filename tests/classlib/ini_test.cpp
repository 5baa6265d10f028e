#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "classlib/inifile.h"
#include "core_test_support.h"

using core_test::Items;
using core_test::ReadAll;
using core_test::WriteAll;

namespace {

// Each test gets a scratch folder and the settings file's usual name inside it.
class IniFileTest : public core_test::ScratchTest {
protected:
  const std::string name = folder.Path("SkeletonSetting.ini");
};

std::vector<std::string> Sections(const TIniFile& ini) {
  TStringList list;
  list.Add("stale");
  ini.ReadSections(&list);
  return Items(list);
}

// A file as a person writes it by hand: mixed case, blanks, comments, quotes, a key outside
// any section, a section given twice.
const char* const kHandWritten =
    "orphan=1\n"
    "; named colours\n"
    "[Black]\n"
    "r=0\n"
    "g=0\n"
    "b=0\n"
    "\n"
    "  [ pink ]  \n"
    "R = 255\n"
    "g=0x1F\n"
    "b=$ff\n"
    "; comment inside\n"
    "extra=keep me\n"
    "\n"
    "[Navy]\n"
    "r=300\n"
    "b=256\n"
    "g=\"12\"\n"
    "quoted=\"  spaced  \"\n"
    "single='x'\n"
    "half=\"open\n"
    "empty=\n"
    "inner=a \"b\" c\n"
    "a=b=c\n"
    "[black]\n"
    "r=99\n";

}  // namespace

TEST_F(IniFileTest, HandWrittenFileReadsAsTheProfileFunctionsDo) {
  WriteAll(name, kHandWritten);
  const TIniFile ini(name);

  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"Black", "pink", "Navy"}));

  struct IntCase {
    std::string section, key;
    int expected;
  };
  const std::vector<IntCase> ints = {
      {"Black", "r", 0},   {"BLACK", "R", 0},     {"PINK", "r", 255},   {"pink", "G", 31},   {"Pink", "b", 255},
      {"Navy", "r", 300},  {"navy", "b", 256},    {"Navy", "g", 12},    {"Navy", "x", -1},   {"Gone", "r", -1},
      {"Navy", "empty", -1}, {"Navy", "single", -1}, {"pink", "extra", -1}, {"", "orphan", -1}, {"Black", "orphan", -1},
  };
  for (const IntCase& c : ints) {
    EXPECT_EQ(ini.ReadInteger(c.section, c.key, -1), c.expected) << c.section << "/" << c.key;
  }

  struct TextCase {
    std::string key, expected;
  };
  const std::vector<TextCase> texts = {
      {"quoted", "  spaced  "}, {"single", "x"}, {"half", "\"open"}, {"empty", ""},
      {"inner", "a \"b\" c"},   {"a", "b=c"},    {"none", "default"},
  };
  for (const TextCase& c : texts) EXPECT_EQ(ini.ReadString("Navy", c.key, "default"), c.expected) << c.key;
  EXPECT_EQ(ini.ReadString("pink", "extra", ""), "keep me");

  TStringList keys;
  ini.ReadSection("PINK", &keys);
  EXPECT_EQ(Items(keys), (std::vector<std::string>{"R", "g", "b", "extra"}));
  ini.ReadSection("Gone", &keys);
  EXPECT_EQ(keys.Count(), 0);

  struct ExistCase {
    std::string section, key;
    bool section_exists, value_exists;
  };
  const std::vector<ExistCase> exists = {
      {"black", "R", true, true}, {"Navy", "empty", true, true}, {"Navy", "nope", true, false},
      {"Gone", "r", false, false}, {" Pink ", " extra ", true, true},
  };
  for (const ExistCase& c : exists) {
    EXPECT_EQ(ini.SectionExists(c.section), c.section_exists) << c.section;
    EXPECT_EQ(ini.ValueExists(c.section, c.key), c.value_exists) << c.section << "/" << c.key;
  }
  EXPECT_EQ(ReadAll(name), kHandWritten);
}

TEST_F(IniFileTest, RewritingKeepsEveryLineAndEachKeysPlace) {
  WriteAll(name, kHandWritten);
  TIniFile ini(name);
  ini.WriteInteger("PINK", "G", 128);
  ini.WriteInteger("navy", "New", 1);
  ini.WriteInteger("pink", "New", 2);
  ini.WriteString("Aqua", "r", "0");
  ini.WriteInteger("black", "r", 7);
  ini.DeleteKey("Navy", "HALF");
  ini.DeleteKey("Navy", "absent");
  // The file is the hand-written one with exactly these edits; every other byte stays.
  std::string expected = kHandWritten;
  const std::pair<std::string, std::string> edits[] = {
      {"[Black]\nr=0\n", "[Black]\nr=7\n"},  // the first of the two sections of that name
      {"g=0x1F\n", "g=128\n"},                // an existing key keeps its place and spelling
      {"half=\"open\n", ""},
      {"a=b=c\n", "a=b=c\nNew=1\n"},          // a new key goes after the section's last key,
      {"keep me\n", "keep me\nNew=2\n"},      // before the blank line that ends the section
  };
  for (const auto& [from, to] : edits) {
    ASSERT_NE(expected.find(from), std::string::npos) << from;
    expected.replace(expected.find(from), from.size(), to);
  }
  EXPECT_EQ(ReadAll(name), expected + "\n[Aqua]\nr=0\n");  // a new section at the end

  // Erasing a name erases every section of that name, and nothing else.
  ini.EraseSection("BLACK");
  ini.EraseSection("absent");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"pink", "Navy", "Aqua"}));
  EXPECT_EQ(ini.ReadInteger("pink", "g", -1), 128);
  EXPECT_EQ(ReadAll(name).substr(0, 25), "orphan=1\n; named colours\n");
}

TEST_F(IniFileTest, NamedColourEditingFromNoFile) {
  // Reading, and erasing what is not there, neither need nor make the file.
  TIniFile ini(name);
  EXPECT_TRUE(Sections(ini).empty());
  EXPECT_EQ(ini.ReadInteger("Black", "r", 5), 5);
  EXPECT_FALSE(ini.SectionExists("Black"));
  ini.EraseSection("Black");
  EXPECT_TRUE(folder.Names().empty());

  struct Save {
    std::string title;
    int r, g, b;
  };
  const std::vector<Save> saves = {{"Black", 0, 0, 0}, {"Pink", 255, 128, 192}, {"BLACK", 10, 20, 30}, {"背景", 1, 2, 3}, {"a]b", 4, 5, 6}};
  for (const Save& s : saves) {
    ini.WriteInteger(s.title, "r", s.r);
    ini.WriteInteger(s.title, "g", s.g);
    ini.WriteInteger(s.title, "b", s.b);
  }
  EXPECT_EQ(ReadAll(name),
            "[Black]\nr=10\ng=20\nb=30\n\n"
            "[Pink]\nr=255\ng=128\nb=192\n\n"
            "[背景]\nr=1\ng=2\nb=3\n\n"
            "[a]b]\nr=4\ng=5\nb=6\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"Black", "Pink", "背景", "a]b"}));
  EXPECT_EQ(ini.ReadInteger("A]B", "g", -1), 5);

  ini.EraseSection("pink");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"Black", "背景", "a]b"}));
  EXPECT_EQ(ini.ReadInteger("背景", "b", -1), 3);
}

TEST_F(IniFileTest, ShiftJisTitlesReadAndSurviveARewrite) {
  // 黒, ゾンビ (its first character's second byte is "]"), ソース (second byte "\"), and a
  // line already in UTF-8; line endings as the original platform writes them.
  WriteAll(name,
           "[\x8d\x95]\r\nr=1\r\n"
           "[\x83\x5d\x83\x93\x83\x72]\r\nr=2\r\n"
           "[\x83\x5c\x81\x5b\x83\x58]\r\nr=3\r\n"
           "[表示]\r\nr=4\r\n");
  TIniFile ini(name);
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"黒", "ゾンビ", "ソース", "表示"}));
  EXPECT_EQ(ini.ReadInteger("ゾンビ", "r", -1), 2);
  EXPECT_EQ(ini.ReadInteger("ソース", "r", -1), 3);

  ini.WriteInteger("ソース", "g", 9);
  EXPECT_EQ(ReadAll(name),
            "[黒]\r\nr=1\r\n"
            "[ゾンビ]\r\nr=2\r\n"
            "[ソース]\r\nr=3\r\ng=9\r\n"
            "[表示]\r\nr=4\r\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"黒", "ゾンビ", "ソース", "表示"}));
}

TEST_F(IniFileTest, UndecodableLinesAreKeptAsTheyWere) {
  // 0xFF 0xFF is neither UTF-8 nor Shift-JIS; a byte-order mark stays in front.
  WriteAll(name, "\xEF\xBB\xBF; \xff\xff\n[A]\nr=1");
  TIniFile ini(name);
  EXPECT_EQ(Sections(ini), std::vector<std::string>{"A"});
  ini.WriteInteger("a", "r", 2);
  EXPECT_EQ(ReadAll(name), "\xEF\xBB\xBF; \xff\xff\n[A]\nr=2\n");
}

TEST_F(IniFileTest, FailedWritesRaiseAndLeaveTheOldFile) {
  WriteAll(folder.Path("plain"), "a file where a folder should be");
  ::mkdir(folder.Path("folder.ini").c_str(), 0755);
  const std::string kept = folder.Path("kept.ini");
  const std::string keptText = "[Black]\nr=1\n[Pink]\nlong=" + std::string(60, 'x') + "\n";
  WriteAll(kept, keptText);
  // A file too large to be a settings file cannot be read, so it must not be replaced either.
  const std::string huge = folder.Path("huge.ini");
  WriteAll(huge, "[Black]\n");
  ASSERT_EQ(::truncate(huge.c_str(), 17 * 1024 * 1024), 0);

  struct Case {
    std::string what, file;
    std::function<void(TIniFile&)> change;
    bool sizeLimit;
  };
  const std::vector<Case> cases = {
      {"folder is a file", folder.Path("plain/SkeletonSetting.ini"), [](TIniFile& i) { i.WriteInteger("Black", "r", 1); }, false},
      {"erase, folder is a file", folder.Path("plain/SkeletonSetting.ini"), [](TIniFile& i) { i.EraseSection("Black"); }, false},
      {"missing folder", folder.Path("gone/SkeletonSetting.ini"), [](TIniFile& i) { i.WriteString("Black", "r", "1"); }, false},
      {"target is a folder", folder.Path("folder.ini"), [](TIniFile& i) { i.WriteInteger("Black", "r", 1); }, false},
      {"erase, target is a folder", folder.Path("folder.ini"), [](TIniFile& i) { i.EraseSection("Black"); }, false},
      {"disk refuses", kept, [](TIniFile& i) { i.WriteString("Black", "long", std::string(64, 'x')); }, true},
      {"erase, disk refuses", kept, [](TIniFile& i) { i.EraseSection("Black"); }, true},
      {"unreadable file", huge, [](TIniFile& i) { i.WriteInteger("Black", "r", 1); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIniFile ini(c.file);
    std::unique_ptr<core_test::FileSizeLimit> limit;
    if (c.sizeLimit) limit = std::make_unique<core_test::FileSizeLimit>(20);
    EXPECT_EQ(core_test::Raised([&] { c.change(ini); }), "EIniFileException: " + c.file + " に書き込めません");
    limit.reset();
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"folder.ini", "huge.ini", "kept.ini", "plain"}));
  }
  EXPECT_EQ(ReadAll(kept), keptText);
  EXPECT_EQ(ReadAll(folder.Path("plain")), "a file where a folder should be");
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path("folder.ini")));
  struct stat st {};
  ASSERT_EQ(::stat(huge.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 17 * 1024 * 1024);
}

TEST_F(IniFileTest, ASharedFileReachedByALinkStaysShared) {
  const std::string real = folder.Path("real.ini");
  const std::string link = folder.Path("SkeletonSetting.ini");
  WriteAll(real, "[Black]\nr=0\n");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  TIniFile ini(link);
  ini.WriteInteger("Black", "r", 5);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadAll(real), "[Black]\nr=5\n");
}

TEST_F(IniFileTest, ChangesByOthersAreSeenAtOnce) {
  WriteAll(name, "[A]\nr=1\n");
  TIniFile reader(name);
  TIniFile writer(name);
  EXPECT_EQ(reader.ReadInteger("A", "r", -1), 1);
  WriteAll(name, "[A]\nr=2\n");  // same size, same file, rewritten in place
  EXPECT_EQ(reader.ReadInteger("A", "r", -1), 2);
  writer.WriteInteger("A", "r", 3);
  EXPECT_EQ(reader.ReadInteger("A", "r", -1), 3);
  ASSERT_EQ(::unlink(name.c_str()), 0);
  EXPECT_EQ(reader.ReadInteger("A", "r", -1), -1);
  EXPECT_TRUE(Sections(reader).empty());
}

TEST_F(IniFileTest, LongListsOfTitlesAreListedWhole) {
  std::string text;
  std::vector<std::string> titles;
  for (int i = 0; i < 3000; ++i) {
    titles.push_back("透過色タイトル" + std::to_string(i));  // about 70 KB of names
    text += "[" + titles.back() + "]\nr=" + std::to_string(i % 256) + "\n";
  }
  WriteAll(name, text);
  const TIniFile ini(name);
  EXPECT_EQ(Sections(ini), titles);
  EXPECT_EQ(ini.ReadInteger(titles.back(), "r", -1), 2999 % 256);
}
