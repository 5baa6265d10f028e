// Halftones and one-colour masks: the fixed palettes, the serpentine error diffusion and
// exact colour matching.
#include <memory>

#include "convert_test_util.h"

namespace {

using TMaskConvert = void (*)(const DIBInfos&, DIBInfos&, COLORREF, bool);
using TPictureMaker = std::unique_ptr<TTestPicture> (*)();

// Mid-grey (128, 128, 128) pictures of 4 × 2 pixels in every source depth; the indexed
// ones reach their grey through entries beyond biClrUsed.
std::unique_ptr<TTestPicture> Grey24() {
  TBytes row;
  for (int x = 0; x < 4; ++x) row.insert(row.end(), {128, 128, 128});
  return std::make_unique<TTestPicture>(4, 2, 24, std::vector<TBytes>{row, row});
}
std::unique_ptr<TTestPicture> Grey8() {
  auto p = std::make_unique<TTestPicture>(4, 2, 8, std::vector<TBytes>{{200, 200, 200, 200}, {200, 200, 200, 200}});
  p->Infos.Header.biClrUsed = 2;
  p->SetColor(200, 128, 128, 128);
  return p;
}
std::unique_ptr<TTestPicture> Grey4() {
  auto p = std::make_unique<TTestPicture>(4, 2, 4, std::vector<TBytes>{{0x99, 0x99}, {0x99, 0x99}});
  p->Infos.Header.biClrUsed = 2;
  p->SetColor(9, 128, 128, 128);
  return p;
}
std::unique_ptr<TTestPicture> Grey1() {
  auto p = std::make_unique<TTestPicture>(4, 2, 1, std::vector<TBytes>{{0xF0}, {0xF0}});
  p->SetColor(1, 128, 128, 128);
  return p;
}

class HalftoneOfGrey : public testing::TestWithParam<TPictureMaker> {};

// Red alternates between 153 and 102 while green and blue stay 128; the second row runs
// from right to left.
TEST_P(HalftoneOfGrey, ColourRowsAlternateSerpentine) {
  const auto source = GetParam()();
  TResult result(true);
  ConvertKeepingSource(ConvertToHalfTone, *source, result);
  EXPECT_EQ(result.All(), (TBytes{122, 87, 122, 87, 87, 122, 87, 122}));
  const BITMAPINFOHEADER& h = result.Infos.Header;
  EXPECT_EQ(h.biBitCount, 8);
  EXPECT_EQ(h.biClrUsed, 215u);
  EXPECT_EQ(h.biSizeImage, 0u);
  EXPECT_EQ(std::memcmp(result.Infos.Colors, HalftoneQuads.data(), sizeof(RGBQUAD) * 215), 0);
}

// White, black, white, black; then from the right: white, black, white, black.
TEST_P(HalftoneOfGrey, BlackAndWhiteRowsAlternateSerpentine) {
  const auto source = GetParam()();
  TResult result;
  ConvertKeepingSource(ConvertToHalfToneBW, *source, result);
  EXPECT_EQ(result.All(), (TBytes{0xA0, 0, 0, 0, 0x50, 0, 0, 0}));
  EXPECT_EQ(result.Infos.Header.biBitCount, 1);
  EXPECT_EQ(result.Infos.Header.biClrUsed, 2u);
  EXPECT_TRUE(SameColor(result.Color(0), 0, 0, 0));
  EXPECT_TRUE(SameColor(result.Color(1), 255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(Depths, HalftoneOfGrey, testing::Values(Grey24, Grey8, Grey4, Grey1));

TEST(HalftonePalette, LevelsThenExtras) {
  struct TCase {
    int Index;
    BYTE Red, Green, Blue;
  };
  for (const TCase& c : {TCase{0, 0, 0, 0}, TCase{209, 255, 255, 255}, TCase{48, 51, 85, 192}, TCase{169, 204, 214, 255},
                         TCase{210, 128, 0, 0}, TCase{211, 128, 128, 0}, TCase{212, 128, 0, 128},
                         TCase{213, 192, 192, 192}, TCase{214, 128, 128, 128}})
    EXPECT_TRUE(SameColor(HalftoneQuads[c.Index], c.Red, c.Green, c.Blue)) << c.Index;
}

// Single pixels with no error coming in: the exact levels, and the black-and-white border
// at a sum of 384.
TEST(HalftonePixels, FirstPixelChoices) {
  struct TCase {
    BYTE Red, Green, Blue;
    std::uint8_t Colour, BlackWhite;
  };
  for (const TCase& c : {TCase{255, 255, 255, 209, 0x80}, TCase{0, 0, 0, 0, 0}, TCase{128, 128, 128, 122, 0x80},
                         TCase{127, 128, 128, 87, 0}}) {
    const TTestPicture source(1, 1, 24, {{c.Blue, c.Green, c.Red}});
    TResult colour, bw;
    ConvertToHalfTone(source.Infos, colour.Infos, false);
    ConvertToHalfToneBW(source.Infos, bw.Infos, false);
    EXPECT_EQ(colour.All()[0], c.Colour);
    EXPECT_EQ(bw.All()[0], c.BlackWhite);
  }
}

TEST(HalftoneSource, CompressedOrUnknownDepthFailsTheCheck) {
  using TConvert = void (*)(const DIBInfos&, DIBInfos&, bool);
  struct TCase {
    TConvert Convert;
    int Bits;
    DWORD Compression;
    const char* Message;
  };
  for (const TCase& c : {TCase{ConvertToHalfTone, 8, BI_RLE8, "ConvertToHalfTone: Invalid DIB Format"},
                         TCase{ConvertToHalfTone, 16, BI_RGB, "ConvertToHalfTone: Invalid Bit Count"},
                         TCase{ConvertToHalfToneBW, 4, BI_RLE4, "ConvertToHalfToneBW: Invalid DIB Format"},
                         TCase{ConvertToHalfToneBW, 32, BI_RGB, "ConvertToHalfToneBW: Invalid Bit Count"}}) {
    const TTestPicture source(2, 2, c.Bits, c.Compression, TBytes(16, 0));
    TResult result;
    try {
      c.Convert(source.Infos, result.Infos, false);
      ADD_FAILURE() << "no failure: " << c.Message;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Message.rfind(std::string(c.Message) + " (UlmDIB, ", 0), 0u) << e.Message;
    }
    EXPECT_EQ(result.Infos.Bits, nullptr);
  }
}

// Nine pixels: the mask colour (10, 20, 30) where bits are expected, colours one step off
// in a single channel elsewhere; the ninth pixel lies in bit 7 of the second byte.
constexpr COLORREF MaskColour = 0x1E140A;

std::unique_ptr<TTestPicture> Mask24() {
  TBytes row = {30, 20, 10, 30, 20, 11, 30, 21, 10, 30, 20, 10, 31, 20, 10};
  row.resize(24, 0);
  row.insert(row.end(), {30, 20, 10});
  return std::make_unique<TTestPicture>(9, 1, 24, std::vector<TBytes>{row});
}
// The mask colour stands twice in the table, once beyond biClrUsed.
std::unique_ptr<TTestPicture> Mask8() {
  auto p = std::make_unique<TTestPicture>(9, 1, 8, std::vector<TBytes>{{3, 4, 200, 3, 0, 0, 0, 0, 200}});
  p->Infos.Header.biClrUsed = 5;
  p->SetColor(3, 10, 20, 30);
  p->SetColor(200, 10, 20, 30);
  p->SetColor(4, 11, 20, 30);
  return p;
}
std::unique_ptr<TTestPicture> Mask4() {
  auto p = std::make_unique<TTestPicture>(9, 1, 4, std::vector<TBytes>{{0x34, 0xC3, 0, 0, 0xC0}});
  p->Infos.Header.biClrUsed = 4;
  p->SetColor(3, 10, 20, 30);
  p->SetColor(12, 10, 20, 30);
  p->SetColor(4, 10, 20, 31);
  return p;
}

TEST(MaskConversion, WhiteExactlyWhereTheColourMatches) {
  struct TCase {
    TMaskConvert Convert;
    TPictureMaker Make;
    TBytes Expected;
  };
  for (const TCase& c : {TCase{ConvertTrueColorTo1BitRGB, Mask24, {0x90, 0x80, 0, 0}},
                         TCase{Convert8BitTo1BitRGB, Mask8, {0xB0, 0x80, 0, 0}},
                         TCase{Convert4BitRGBTo1BitRGB, Mask4, {0xB0, 0x80, 0, 0}}}) {
    const auto source = c.Make();
    SCOPED_TRACE(source->Infos.Header.biBitCount);
    for (const bool fmo : {false, true}) {
      TResult result(fmo);
      ConvertKeepingSource([&](const DIBInfos& s, DIBInfos& r, bool f) { c.Convert(s, r, MaskColour, f); }, *source,
                           result);
      EXPECT_EQ(result.All(), c.Expected);
      const BITMAPINFOHEADER& h = result.Infos.Header;
      EXPECT_EQ(h.biBitCount, 1);
      EXPECT_EQ(h.biClrUsed, 2u);
      EXPECT_EQ(h.biClrImportant, 7u);
      EXPECT_TRUE(SameColor(result.Color(0), 0, 0, 0));
      EXPECT_TRUE(SameColor(result.Color(1), 255, 255, 255));
    }
  }
}

TEST(MaskConversion, WrongSourcesRefused) {
  struct TCase {
    TMaskConvert Convert;
    int Bits;
    DWORD Compression;
    const char* Message;
  };
  for (const TCase& c : {TCase{ConvertTrueColorTo1BitRGB, 8, BI_RGB, "ConvertTrueColorTo1BitRGB: Invalid Bitcount"},
                         TCase{Convert8BitTo1BitRGB, 8, BI_RLE8, "Convert8BitTo1BitRGB: Invalid Bitcount or Compression"},
                         TCase{Convert8BitTo1BitRGB, 4, BI_RGB, "Convert8BitTo1BitRGB: Invalid Bitcount or Compression"},
                         TCase{Convert4BitRGBTo1BitRGB, 4, BI_RLE4, "Convert4BitRGBTo1BitRGB: Invalid Bitcount"}}) {
    const TTestPicture source(2, 2, c.Bits, c.Compression, TBytes(16, 0));
    TResult result;
    ExpectFailure<EUlmDIBBadDIBType>([&] { c.Convert(source.Infos, result.Infos, 0, false); }, c.Message);
  }
}

}  // namespace
