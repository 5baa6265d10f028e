#include <functional>
#include <stdexcept>
#include <utility>

#include "classlib/object.h"
#include "core_test_support.h"

using core_test::Raised;

TEST(ErrorsTest, FormatFillsMarkersInOrder) {
  struct Case {
    std::string pattern;
    std::initializer_list<FormatArg> args;
    std::string expected;
  };
  // A plain array, so the argument lists live as long as the cases.
  const Case cases[] = {
      {"%s に書き込めません", {"/opt/app/SkeletonSetting.ini"}, "/opt/app/SkeletonSetting.ini に書き込めません"},
      {"リストのインデックスが範囲を超えています (%d)", {-1}, "リストのインデックスが範囲を超えています (-1)"},
      {"%s (%s, %d 行)", {"msg", "unit.cpp", 42}, "msg (unit.cpp, 42 行)"},
      {"拡張子 .%s の画像形式は処理できません", {"jpg"}, "拡張子 .jpg の画像形式は処理できません"},
      {"100%% of %d", {7}, "100% of 7"},
      {"%d and %d", {1}, "1 and %d"},
      {"%x stays, %s fills", {"this"}, "%x stays, this fills"},
      {"ends with %", {}, "ends with %"},
      {"%d", {-2147483647LL - 1}, "-2147483648"},
      {"%s", {static_cast<const char*>(nullptr)}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.pattern, c.args), c.expected) << c.pattern;
  }
}

TEST(ErrorsTest, AssertRaisesWithMessageFileAndLine) {
  const int line = __LINE__ + 1;
  auto withMessage = [] { Assert(1 + 1 == 3, "Box outside the histogram"); };
  auto plain = [] { Assert(false); };
  EXPECT_EQ(Raised(withMessage),
            "EAssertionFailed: Box outside the histogram (errors_test.cpp, " + std::to_string(line) + " 行)");
  EXPECT_EQ(Raised(plain), "EAssertionFailed: Assertion failure (errors_test.cpp, " + std::to_string(line + 1) + " 行)");
  int evaluated = 0;
  EXPECT_NO_THROW(Assert(++evaluated == 1));
  EXPECT_EQ(evaluated, 1);
}

// Whatever a load throws reaches its caller as one of the class library's exceptions.
TEST(ErrorsTest, GuardedLoadsLetOnlyTheClassLibrarysExceptionsOut) {
  const std::pair<std::function<void()>, std::string> rows[] = {
      {[] { throw std::bad_alloc(); }, std::string("EOutOfMemory: ") + SOutOfMemory},
      {[] { std::vector<int>().reserve(std::vector<int>().max_size() + 1); }, std::string("EOutOfMemory: ") + SOutOfMemory},
      {[] { throw std::runtime_error("lost"); }, std::string("EOutOfResources: ") + SOutOfResources},
      {[] { throw EInvalidGraphic(SInvalidBitmap); }, std::string("EInvalidGraphic: ") + SInvalidBitmap},
      {[] {}, "nothing raised"},
  };
  for (const auto& [load, text] : rows) {
    EXPECT_EQ(Raised([&] {
      try {
        load();
      } catch (...) {
        RethrowLoadFailure();
      }
    }),
              text);
  }
}

// A release failure is named on stderr, whatever was thrown, and goes no further.
TEST(ErrorsTest, ReleaseFailuresAreReportedNotThrown) {
  testing::internal::CaptureStderr();
  const std::function<void()> releases[] = {[] { throw EAssertionFailed("Failed To Unmap"); }, [] { throw 1; }};
  for (const auto& release : releases) {
    try {
      release();
    } catch (...) {
      ReportReleaseFailure("release");
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "release: Failed To Unmap\nrelease: unknown exception\n");
}

namespace {

class TOther : public TPersistent {
public:
  CLASSLIB_CLASS(TOther)
};

}  // namespace

TEST(ErrorsTest, AssignmentBetweenUnlikeClassesNamesBoth) {
  TStringList list;
  TOther other;
  EXPECT_EQ(Raised([&] { list.Assign(&other); }), "EConvertError: TOther を TStringList に代入することはできません");
  EXPECT_EQ(Raised([&] { other.Assign(&list); }), "EConvertError: TStringList を TOther に代入することはできません");
  EXPECT_EQ(Raised([&] { list.Assign(nullptr); }), "EConvertError: nil を TStringList に代入することはできません");
}
