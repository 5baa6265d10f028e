#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "classlib/filenames.h"
#include "core_test_support.h"

TEST(FileNamesTest, PartsOfAName) {
  struct Case {
    std::string name, path, dir, file, ext, changed;
  };
  // changed: ChangeFileExt(name, ".bmp")
  const std::vector<Case> cases = {
      {"/home/u/chip.png", "/home/u/", "/home/u", "chip.png", ".png", "/home/u/chip.bmp"},
      {"chip.PNG", "", "", "chip.PNG", ".PNG", "chip.bmp"},
      {"/a.b/chip", "/a.b/", "/a.b", "chip", "", "/a.b/chip.bmp"},
      {"/a/b.tar.gz", "/a/", "/a", "b.tar.gz", ".gz", "/a/b.tar.bmp"},
      {"/a/name.", "/a/", "/a", "name.", ".", "/a/name.bmp"},
      {"/a/.hidden", "/a/", "/a", ".hidden", ".hidden", "/a/.bmp"},
      {"/a/b/", "/a/b/", "/a/b", "", "", "/a/b/.bmp"},
      {"/top.Png", "/", "/", "top.Png", ".Png", "/top.bmp"},
      {"/", "/", "/", "", "", "/.bmp"},
      {"", "", "", "", "", ".bmp"},
      {"/色/チップ.png", "/色/", "/色", "チップ.png", ".png", "/色/チップ.bmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractFilePath(c.name), c.path);
    EXPECT_EQ(ExtractFileDir(c.name), c.dir);
    EXPECT_EQ(ExtractFileName(c.name), c.file);
    EXPECT_EQ(ExtractFileExt(c.name), c.ext);
    EXPECT_EQ(ChangeFileExt(c.name, ".bmp"), c.changed);
  }
}

TEST(FileNamesTest, TrailingDelimiters) {
  const std::vector<std::array<std::string, 3>> cases = {
      // path, with, without
      {"/out", "/out/", "/out"},
      {"/out/", "/out/", "/out"},
      {"", "/", ""},
      {"/", "/", ""},
      {"/out//", "/out//", "/out/"},
  };
  for (const auto& [path, with, without] : cases) {
    EXPECT_EQ(IncludeTrailingPathDelimiter(path), with) << path;
    EXPECT_EQ(ExcludeTrailingPathDelimiter(path), without) << path;
  }
}

TEST(FileNamesTest, CaseChangesTouchAsciiOnly) {
  EXPECT_EQ(LowerCase("A.PNG"), "a.png");
  EXPECT_EQ(LowerCase("ＡＢＣ.PnG"), "ＡＢＣ.png");
  EXPECT_EQ(UpperCase("ａb.bmp"), "ａB.BMP");
  EXPECT_EQ(LowerCase("\xff\x80Z"), "\xff\x80z");
}

TEST(FileNamesTest, IntegersInAndOut) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(4294967296LL), "4294967296");

  struct Case {
    std::string text;
    int expected;
  };
  const int def = -777;
  const std::vector<Case> cases = {
      {"300", 300},        {"256", 256},         {"-5", -5},          {"+5", 5},
      {"0", 0},            {"007", 7},           {"0x1F", 31},        {"0X1f", 31},
      {"$ff", 255},        {"$FFFFFFFF", -1},    {"-$10", -16},       {"$7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},                {"-2147483648", -2147483647 - 1},
      {"2147483648", def}, {"-2147483649", def}, {"$100000000", def}, {"99999999999999999999", def},
      {"", def},           {"-", def},           {"$", def},          {"0x", def},
      {"12a", def},        {"1 2", def},         {"1.5", def},        {"abc", def},
      {"  12", 12},        {"12 ", def},         {"0x-1", def},       {"--1", def},
  };
  for (const Case& c : cases) EXPECT_EQ(StrToIntDef(c.text, def), c.expected) << '"' << c.text << '"';
}

using FileNamesOnDisk = core_test::ScratchTest;

TEST_F(FileNamesOnDisk, ExistenceTellsFilesFromFolders) {
  core_test::WriteAll(folder.Path("file.bmp"), "x");
  ::mkdir(folder.Path("sub").c_str(), 0755);
  ::symlink(folder.Path("sub").c_str(), folder.Path("link").c_str());
  struct Case {
    std::string path;
    bool file, dir;
  };
  const std::vector<Case> cases = {
      {folder.Path("file.bmp"), true, false}, {folder.Path("sub"), false, true},
      {folder.Path("sub/"), false, true},     {folder.Path("link"), false, true},
      {folder.Path("none"), false, false},    {folder.Path("file.bmp/x"), false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(DirectoryExists(c.path), c.dir) << c.path;
  }
}

TEST(FileNamesTest, TheProgramsOwnPathCanBeReplacedForTests) {
  const std::string real = ExeName();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real.front(), '/');
  EXPECT_EQ(ExtractFileName(real), "classlib_tests");
  EXPECT_EQ(ExeFolder(), ExtractFilePath(real));
  EXPECT_TRUE(DirectoryExists(ExeFolder()));

  SetExeNameForTesting("/opt/sheets/corvane");
  EXPECT_EQ(ExeName(), "/opt/sheets/corvane");
  EXPECT_EQ(ExeFolder(), "/opt/sheets/");
  SetExeNameForTesting("");
  EXPECT_EQ(ExeName(), real);
}
