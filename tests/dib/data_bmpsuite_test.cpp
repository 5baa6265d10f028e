// The BMP suite: good files match their reference once converted to 24 bits and read back
// the same after a save; bad files are refused with the reader's or the decoder's texts, or
// load and convert within bounds.

#include "dib_test_support.h"
#include "support/png_oracle.h"

using namespace dib_test;

namespace {

struct SuiteFile {
  const char* file;
  const char* expect;  // the reference PNG; nullptr: a header the reader refuses
};

// 16-bit channels widen by truncation (16 → 131) where the references round: 1 apart at most.
const SuiteFile kGood[] = {
    {"pal1", "pal1"},         {"pal1bg", "pal1bg"},     {"pal1wb", "pal1"},         {"pal4", "pal4"},
    {"pal4gs", "pal4gs"},     {"pal4rle", "pal4"},      {"pal8-0", "pal8"},         {"pal8", "pal8"},
    {"pal8gs", "pal8gs"},     {"pal8os2", "pal8"},      {"pal8nonsquare", "pal8nonsquare-e"},
    {"pal8rle", "pal8"},      {"pal8topdown", "pal8"},  {"pal8v4", nullptr},        {"pal8v5", nullptr},
    {"pal8w124", "pal8w124"}, {"pal8w125", "pal8w125"}, {"pal8w126", "pal8w126"},   {"rgb16-565", "rgb16-565"},
    {"rgb16-565pal", "rgb16-565"}, {"rgb16", "rgb16"},  {"rgb16bfdef", "rgb16"},    {"rgb24", "rgb24"},
    {"rgb24pal", "rgb24"},    {"rgb32", "rgb24"},       {"rgb32bf", "rgb24"},       {"rgb32bfdef", "rgb24"},
};

void PrintTo(const SuiteFile& c, std::ostream* out) { *out << c.file; }

const auto FileName = [](const auto& info) { return TestName(info.param.file); };

class Good : public testing::TestWithParam<SuiteFile> {};
TEST_P(Good, MatchesTheReferenceAndSavesAgain) {
  const SuiteFile& c = GetParam();
  TFileStream stream(kSuite + "g/" + c.file + ".bmp", fmOpenRead | fmShareDenyWrite);
  TUlmInternalDIB dib(true), again(false);
  if (c.expect == nullptr) {  // header of 108 or 124 bytes
    EXPECT_EQ("EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size",
              Raised([&] { dib.LoadFromStream(&stream); }));
    return;
  }
  dib.LoadFromStream(&stream);
  auto saved = StreamOf(Saved(dib));
  again.LoadFromStream(saved.get());
  EXPECT_EQ(Raw(dib.DIBInfos), Raw(again.DIBInfos));
  EXPECT_EQ(0, std::memcmp(&dib.DIBInfos.Header, &again.DIBInfos.Header, sizeof(BITMAPINFOHEADER)));

  if (GetPixelFormat(&dib) != TUlmPixelFormat::Bit24) SetPixelsFormat(&dib, TUlmPixelFormat::Bit24, 0, 0, nullptr);
  const png_oracle::RgbaPicture want = png_oracle::ReadRgba(kSuite + "ref/" + c.expect + ".png");
  ASSERT_EQ(want.Width, dib.Width);
  ASSERT_EQ(want.Height, dib.Height);
  const TBytes got = Render(dib.DIBInfos);  // RGB against the reference's RGBA
  const int tolerance = std::string(c.file).starts_with("rgb16") ? 1 : 0;
  int mismatches = 0;
  for (std::size_t i = 0; i < got.size(); ++i)
    mismatches += std::abs(got[i] - want.Pixels[i / 3 * 4 + i % 3]) > tolerance;
  EXPECT_EQ(0, mismatches);
}
INSTANTIATE_TEST_SUITE_P(Suite, Good, testing::ValuesIn(kGood), FileName);

struct BadFile {
  const char* file;
  std::string refusal;     // the reader's, "" when it loads
  std::string conversion;  // the decoder's when a loaded file is made 24-bit, "" when it converts
};

const std::string kDim = "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Width or Height",
                  kRead = std::string("EReadError: ") + SReadError,
                  kRle8 = "EUlmDIBInvalidDIB: Convert8BitRLETo8BitRGB: Bad RLE Data ",
                  kRle4 = "EUlmDIBInvalidDIB: Convert4BitRLETo4BitRGB: Bad RLE Data ";
const BadFile kBad[] = {
    {"badbitcount", "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid BitCout", ""},
    {"badheadersize", "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size", ""},
    {"badpalettesize", "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromFile: bfOffBits is too small", ""},
    {"rgb16-880", "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Masks", ""},
    {"badwidth", kDim, ""},         {"reallybig", kDim, ""},         {"rletopdown", kDim, ""},
    {"badfilesize", kRead, ""},     {"shortfile", kRead, ""},        {"badbitssize", "", ""},
    {"baddens1", "", ""},           {"baddens2", "", ""},            {"badplanes", "", ""},
    {"pal8badindex", "", ""},       {"badrle", "", kRle8 + "4"},     {"badrlebis", "", kRle8 + "2"},
    {"badrleter", "", kRle8 + "2"}, {"badrle4", "", kRle4 + "8"},    {"badrle4bis", "", kRle4 + "6"},
    {"badrle4ter", "", kRle4 + "6"},
};

void PrintTo(const BadFile& c, std::ostream* out) { *out << c.file; }

// What loads converts within bounds or is refused by the run-length decoder.
class Bad : public testing::TestWithParam<BadFile> {};
TEST_P(Bad, RefusedOrConvertedWithinBounds) {
  const BadFile& c = GetParam();
  TFileStream stream(kSuite + "b/" + c.file + ".bmp", fmOpenRead | fmShareDenyWrite);
  TUlmInternalDIB dib(true);
  EXPECT_EQ(c.refusal, Raised([&] { dib.LoadFromStream(&stream); }));
  if (!c.refusal.empty()) return;
  EXPECT_EQ(c.conversion, Raised([&] {
              if (GetPixelFormat(&dib) != TUlmPixelFormat::Bit24) SetPixelsFormat(&dib, TUlmPixelFormat::Bit24, 0, 0, nullptr);
            }));
}
INSTANTIATE_TEST_SUITE_P(Suite, Bad, testing::ValuesIn(kBad), FileName);

}  // namespace
