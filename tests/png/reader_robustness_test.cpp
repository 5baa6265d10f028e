// Untrusted input: every suite file cut at every byte and with every byte altered, and
// files built to exhaust memory or time, end in the codec's error (or a resource error),
// quickly, never in a crash or a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string SuiteDir = std::string(CORPORA_DIR) + "/pngsuite/";

const std::vector<std::string> ReaderTexts = {
    "",
    "PNG LoadStream: Not PNG Format",
    "Read Header(PNG): appear two IHDR",
    "Read Header(PNG): Error ColorType",
    "Read Header(PNG): not support Compression",
    "Read Header(PNG): not supprt Filter",
    "Read Header(PNG): not interlace type",
    "Read Header(PNG): Error Bitdepth",
    "Read Header(PNG): not Use AlphaChannel",
    "Read Header(PNG): Error BitDepth",
    "PNG LoadStream: Error ZLIB",
    "Read Image (PNG): Read Error",
    std::string("EOutOfResources: ") + SOutOfResources,
    std::string("EOutOfMemory: ") + SOutOfMemory,
};

bool Allowed(const std::string& result) {
  return std::find(ReaderTexts.begin(), ReaderTexts.end(), result) != ReaderTexts.end();
}

using Clock = std::chrono::steady_clock;

// A second per read; the sanitizers make the large allocations of lying headers several
// times slower, so their builds get more room.
#ifdef __SANITIZE_ADDRESS__
constexpr double TimeLimit = 4.0;
#else
constexpr double TimeLimit = 1.0;
#endif

// Loads bytes with a fresh reader; fails the test on a foreign error or a slow read.
void ExpectContained(std::string_view bytes, const std::string& what) {
  Load load;
  const auto start = Clock::now();
  const std::string result = load.Run(bytes);
  const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_TRUE(Allowed(result)) << what << ": " << result;
  EXPECT_LT(elapsed, TimeLimit) << what;
}

std::vector<std::string> SuiteFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(SuiteDir))
    if (entry.path().extension() == ".png") files.push_back(entry.path().stem().string());
  std::sort(files.begin(), files.end());
  return files;
}

class DamagedSuiteFile : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedSuiteFile, CutAtEveryByte) {
  const std::string bytes = ReadFileBytes(SuiteDir + GetParam() + ".png");
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    ExpectContained(std::string_view(bytes).substr(0, size), "cut at " + std::to_string(size));
    if (HasFailure()) return;
  }
}

TEST_P(DamagedSuiteFile, EveryByteAltered) {
  const std::string bytes = ReadFileBytes(SuiteDir + GetParam() + ".png");
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ (0x11 + at % 0xEE));
    ExpectContained(damaged, "byte " + std::to_string(at));
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(PngSuite, DamagedSuiteFile, ::testing::ValuesIn(SuiteFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

struct CraftedCase {
  const char* name;
  std::function<std::string()> bytes;
};
void PrintTo(const CraftedCase& c, std::ostream* os) { *os << c.name; }

std::string SmallData() { return Idat(Rows({Bytes({1, 2, 3})})); }

class CraftedFile : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedFile, IsRefusedQuickly) {
  const std::string bytes = GetParam().bytes();
  Load load;
  const auto start = Clock::now();
  const std::string result = load.Run(bytes);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), TimeLimit);
  EXPECT_NE(result, "");
  EXPECT_TRUE(Allowed(result)) << result;
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, CraftedFile,
    ::testing::Values(
        CraftedCase{"MaximalDimensions", [] { return Signature() + Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 8, 2) + SmallData() + Iend(); }},
        CraftedCase{"WideRowOverflowingThirtyTwoBits",
                    [] { return Signature() + Ihdr(0x7FFFFFFF, 1, 16, 6) + SmallData() + Iend(); }},
        // Under the memory cap: the bitmap is made, but the data ends long before the rows do.
        CraftedCase{"LargeImageWithTinyData", [] { return Signature() + Ihdr(16384, 16384, 8, 2) + SmallData() + Iend(); }},
        CraftedCase{"TallInterlacedImageWithTinyData",
                    [] { return Signature() + Ihdr(1, 0x7FFFFFF, 1, 0, 1) + SmallData() + Iend(); }},
        CraftedCase{"EveryLengthHuge",
                    [] {
                      return Signature() + Ihdr(1, 1, 8, 0) + Chunk("tEXt", "Comment", 0xFFFFFFFF) + SmallData() + Iend();
                    }},
        CraftedCase{"ImageDataLengthJustPastEnd",
                    [] {
                      const std::string z = Deflate(Rows({Bytes({1})}));
                      return Signature() + Ihdr(1, 1, 8, 0) + Chunk("IDAT", z, std::int64_t(z.size()) + 5);
                    }},
        CraftedCase{"PresetDictionary",
                    [] { return Signature() + Ihdr(1, 1, 8, 0) + Chunk("IDAT", Deflate(Rows({Bytes({1})}), "d")) + Iend(); }},
        CraftedCase{"ImageDataBeforeHeader", [] { return Signature() + SmallData() + Ihdr(1, 1, 8, 0) + Iend(); }},
        CraftedCase{"EndlessEmptyImageData",
                    [] {
                      std::string f = Signature() + Ihdr(1, 1, 8, 0);
                      for (int i = 0; i < 100000; ++i) f += Chunk("IDAT", "");
                      return f;
                    }}),
    [](const ::testing::TestParamInfo<CraftedCase>& info) { return std::string(info.param.name); });

// A large comment that really is in the file is read whole, and only once.
TEST(CraftedFile, LargeCommentIsRead) {
  const std::string text(4 << 20, 'c');
  Load load;
  ASSERT_EQ(load.Run(Signature() + Ihdr(1, 1, 8, 0) + Chunk("tEXt", std::string("Comment\0", 8) + text) +
                     Idat(Rows({Bytes({7})})) + Iend()),
            "");
  EXPECT_EQ(load.reader.Comment.size(), text.size() + 2);
}

}  // namespace

// Data far too short for the rows a header announces is refused before the bitmap is
// touched, so the picture it held survives and no large allocation happens.
TEST(ShortImageData, KeepsThePreviousPicture) {
  Load load;
  load.image->SetPixelFormat(pf24bit);
  load.image->SetSize(3, 2);
  const std::string bytes = Signature() + Ihdr(16384, 16384, 8, 2) + Idat(Rows({Bytes({0, 1, 2, 3})})) + Iend();
  EXPECT_EQ(load.Run(bytes), "Read Image (PNG): Read Error");
  EXPECT_EQ(load.image->Width(), 3);
  EXPECT_EQ(load.image->Height(), 2);
}
