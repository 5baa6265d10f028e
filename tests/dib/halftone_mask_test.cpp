// Halftones and one-colour masks: the fixed palettes, the serpentine error diffusion and
// exact colour matching.
#include <array>
#include <memory>

#include "convert_test_util.h"

namespace {

// A picture of equal rows; Entries gives colour-table entries (index, red, green, blue).
struct TSource {
  int Width, Height, Bits;
  TBytes Row;
  DWORD ClrUsed;
  std::vector<std::array<int, 4>> Entries;
};

void PrintTo(const TSource& S, std::ostream* Out) { *Out << S.Bits << " bits"; }

std::unique_ptr<TTestPicture> Make(const TSource& S) {
  auto p = std::make_unique<TTestPicture>(S.Width, S.Height, S.Bits, std::vector<TBytes>(S.Height, S.Row));
  p->Infos.Header.biClrUsed = S.ClrUsed;
  for (const auto& [i, r, g, b] : S.Entries) p->SetColor(i, BYTE(r), BYTE(g), BYTE(b));
  return p;
}

// Mid-grey (128, 128, 128), 4 × 2 pixels, in every source depth; the indexed ones reach
// their grey through entries beyond biClrUsed.
class HalftoneOfGrey : public testing::TestWithParam<TSource> {};

// Red alternates between 153 and 102 while green and blue stay 128; the second row runs
// from right to left. The black-and-white halftone alternates the same way.
TEST_P(HalftoneOfGrey, RowsAlternateSerpentine) {
  const auto source = Make(GetParam());
  TResult colour(true), bw;
  ConvertKeepingSource(ConvertToHalfTone, *source, colour);
  ConvertKeepingSource(ConvertToHalfToneBW, *source, bw);
  EXPECT_EQ(colour.All(), (TBytes{122, 87, 122, 87, 87, 122, 87, 122}));
  EXPECT_EQ(bw.All(), (TBytes{0xA0, 0, 0, 0, 0x50, 0, 0, 0}));
  for (const TResult* r : {&colour, &bw}) {
    EXPECT_EQ(r->Infos.Header.biBitCount, r == &colour ? 8 : 1);
    EXPECT_EQ(r->Infos.Header.biClrUsed, r == &colour ? 215u : 2u);
    EXPECT_EQ(r->Infos.Header.biSizeImage, 0u);
  }
  EXPECT_EQ(std::memcmp(colour.Infos.Colors, HalftoneQuads.data(), sizeof(RGBQUAD) * 215), 0);
  EXPECT_TRUE(SameColor(bw.Color(0), 0, 0, 0) && SameColor(bw.Color(1), 255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(Depths, HalftoneOfGrey,
                         testing::Values(TSource{4, 2, 24, TBytes(12, 128), 0, {}},
                                         TSource{4, 2, 8, {200, 200, 200, 200}, 2, {{200, 128, 128, 128}}},
                                         TSource{4, 2, 4, {0x99, 0x99}, 2, {{9, 128, 128, 128}}},
                                         TSource{4, 2, 1, {0xF0}, 2, {{1, 128, 128, 128}}}));

// Greys whose errors reach every neighbour: the pixel above and behind lies to the left
// on even rows and to the right on odd rows.
TEST(HalftoneDiffusion, ThreeRowsOfMixedGreys) {
  const int greys[3][4] = {{128, 200, 60, 200}, {200, 100, 100, 150}, {60, 60, 60, 60}};
  std::vector<TBytes> rows(3);
  for (int y = 0; y < 3; ++y)
    for (const int v : greys[y]) rows[y].insert(rows[y].end(), {BYTE(v), BYTE(v), BYTE(v)});
  const TTestPicture source(4, 3, 24, rows);
  TResult colour, bw;
  ConvertToHalfTone(source.Infos, colour.Infos, false);
  ConvertToHalfToneBW(source.Infos, bw.Infos, false);
  EXPECT_EQ(colour.All(), (TBytes{122, 168, 41, 168, 168, 82, 87, 122, 41, 46, 41, 46}));
  EXPECT_EQ(bw.All(), (TBytes{0xD0, 0, 0, 0, 0x90, 0, 0, 0, 0x20, 0, 0, 0}));
}

TEST(HalftonePalette, LevelsThenExtras) {
  const std::array<int, 4> entries[] = {{0, 0, 0, 0},         {209, 255, 255, 255}, {48, 51, 85, 192},
                                        {169, 204, 214, 255}, {210, 128, 0, 0},     {211, 128, 128, 0},
                                        {212, 128, 0, 128},   {213, 192, 192, 192}, {214, 128, 128, 128}};
  for (const auto& [i, r, g, b] : entries) EXPECT_TRUE(SameColor(HalftoneQuads[i], BYTE(r), BYTE(g), BYTE(b))) << i;
}

// Single pixels with no error coming in: the exact levels, and the black-and-white border
// at a sum of 384.
TEST(HalftonePixels, FirstPixelChoices) {
  const std::array<int, 5> cases[] = {
      {255, 255, 255, 209, 0x80}, {0, 0, 0, 0, 0}, {128, 128, 128, 122, 0x80}, {127, 128, 128, 87, 0}};
  for (const auto& [r, g, b, colourIndex, bwByte] : cases) {
    const TTestPicture source(1, 1, 24, {{BYTE(b), BYTE(g), BYTE(r)}});
    TResult colour, bw;
    ConvertToHalfTone(source.Infos, colour.Infos, false);
    ConvertToHalfToneBW(source.Infos, bw.Infos, false);
    EXPECT_EQ(colour.All()[0], colourIndex);
    EXPECT_EQ(bw.All()[0], bwByte);
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
  }
}

// Nine pixels: the mask colour (10, 20, 30) at the set bits, colours one step off in a
// single channel elsewhere; the ninth pixel lies in bit 7 of the second byte. The indexed
// tables hold the mask colour twice, once beyond biClrUsed.
TEST(MaskConversion, WhiteExactlyWhereTheColourMatches) {
  using TMaskConvert = void (*)(const DIBInfos&, DIBInfos&, COLORREF, bool);
  const TBytes row24 = {30, 20, 10, 30, 20, 11, 30, 21, 10, 30, 20, 10, 31, 20, 10, 0, 0, 0,
                        0,  0,  0,  0,  0,  0,  30, 20, 10};
  const std::pair<TMaskConvert, TSource> cases[] = {
      {ConvertTrueColorTo1BitRGB, {9, 1, 24, row24, 0, {}}},
      {Convert8BitTo1BitRGB, {9, 1, 8, {3, 4, 200, 3, 0, 0, 0, 0, 200}, 5, {{3, 10, 20, 30}, {200, 10, 20, 30}, {4, 11, 20, 30}}}},
      {Convert4BitRGBTo1BitRGB, {9, 1, 4, {0x34, 0xC3, 0, 0, 0xC0}, 4, {{3, 10, 20, 30}, {12, 10, 20, 30}, {4, 10, 20, 31}}}},
  };
  for (const auto& [convert, shape] : cases) {
    const auto source = Make(shape);
    SCOPED_TRACE(shape.Bits);
    for (const bool fmo : {false, true}) {
      TResult result(fmo);
      ConvertKeepingSource([&](const DIBInfos& s, DIBInfos& r, bool f) { convert(s, r, RGB(10, 20, 30), f); }, *source,
                           result);
      EXPECT_EQ(result.All(), (TBytes{BYTE(shape.Bits == 24 ? 0x90 : 0xB0), 0x80, 0, 0}));
      const BITMAPINFOHEADER& h = result.Infos.Header;
      EXPECT_TRUE(h.biBitCount == 1 && h.biClrUsed == 2 && h.biClrImportant == 7);
      EXPECT_TRUE(SameColor(result.Color(0), 0, 0, 0) && SameColor(result.Color(1), 255, 255, 255));
    }
  }
}

}  // namespace
