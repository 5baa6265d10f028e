// Halftones and one-colour masks: the fixed palettes, the serpentine error diffusion and
// exact colour matching.
#include <array>

#include "dib_test_support.h"

using namespace dib_test;

namespace {

// A picture of the given rows; Entries gives colour-table entries (index, red, green, blue).
struct TSource {
  int Width, Bits;
  std::vector<TBytes> Rows;
  DWORD ClrUsed = 0;
  std::vector<std::array<int, 4>> Entries = {};
};

std::unique_ptr<TTestPicture> Make(const TSource& S) {
  auto p = std::make_unique<TTestPicture>(S.Width, static_cast<int>(S.Rows.size()), S.Bits, S.Rows);
  p->Infos.Header.biClrUsed = S.ClrUsed;
  for (const auto& [i, r, g, b] : S.Entries) p->SetColor(i, BYTE(r), BYTE(g), BYTE(b));
  return p;
}

// 24-bit rows of greys.
std::vector<TBytes> Greys(const std::vector<std::vector<int>>& Levels) {
  std::vector<TBytes> rows;
  for (const auto& levels : Levels) {
    rows.emplace_back();
    for (const int v : levels) rows.back().insert(rows.back().end(), {BYTE(v), BYTE(v), BYTE(v)});
  }
  return rows;
}

struct THalftoneCase {
  const char* Name;
  TSource Source;
  TBytes Colour, BlackWhite;  // the whole pixel memory of each result
};

void PrintTo(const THalftoneCase& C, std::ostream* Out) { *Out << C.Name; }

// Mid-grey (128, 128, 128), 4 × 2 pixels, comes from every source depth; the indexed ones
// reach their grey through entries beyond biClrUsed. Red alternates between 153 and 102
// while green and blue stay 128, and the second row runs from right to left; the
// black-and-white halftone alternates the same way.
const TBytes kGreyColour = {122, 87, 122, 87, 87, 122, 87, 122}, kGreyBW = {0xA0, 0, 0, 0, 0x50, 0, 0, 0};
const THalftoneCase kHalftones[] = {
    {"grey24", {4, 24, Greys({{128, 128, 128, 128}, {128, 128, 128, 128}})}, kGreyColour, kGreyBW},
    {"grey8", {4, 8, {{200, 200, 200, 200}, {200, 200, 200, 200}}, 2, {{200, 128, 128, 128}}}, kGreyColour, kGreyBW},
    {"grey4", {4, 4, {{0x99, 0x99}, {0x99, 0x99}}, 2, {{9, 128, 128, 128}}}, kGreyColour, kGreyBW},
    {"grey1", {4, 1, {{0xF0}, {0xF0}}, 2, {{1, 128, 128, 128}}}, kGreyColour, kGreyBW},
    // Errors reach every neighbour: the pixel above and behind lies to the left on even
    // rows and to the right on odd rows.
    {"mixed_greys", {4, 24, Greys({{128, 200, 60, 200}, {200, 100, 100, 150}, {60, 60, 60, 60}})},
     {122, 168, 41, 168, 168, 82, 87, 122, 41, 46, 41, 46}, {0xD0, 0, 0, 0, 0x90, 0, 0, 0, 0x20, 0, 0, 0}},
    // Single pixels with no error coming in: the exact levels, and the black-and-white
    // border at a sum of 384.
    {"white", {1, 24, Greys({{255}})}, {209, 0, 0, 0}, {0x80, 0, 0, 0}},
    {"black", {1, 24, Greys({{0}})}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"sum_384", {1, 24, Greys({{128}})}, {122, 0, 0, 0}, {0x80, 0, 0, 0}},
    {"sum_383", {1, 24, {{128, 128, 127}}}, {87, 0, 0, 0}, {0, 0, 0, 0}},
};

class Halftone : public testing::TestWithParam<THalftoneCase> {};

TEST_P(Halftone, DiffusesOverTheFixedPalettes) {
  const auto source = Make(GetParam().Source);
  TResult colour(true), bw;
  ConvertKeepingSource(ConvertToHalfTone, *source, colour);
  ConvertKeepingSource(ConvertToHalfToneBW, *source, bw);
  EXPECT_EQ(colour.All(), GetParam().Colour);
  EXPECT_EQ(bw.All(), GetParam().BlackWhite);
  for (const TResult* r : {&colour, &bw}) {
    EXPECT_EQ(r->Infos.Header.biBitCount, r == &colour ? 8 : 1);
    EXPECT_EQ(r->Infos.Header.biClrUsed, r == &colour ? 215u : 2u);
    EXPECT_EQ(r->Infos.Header.biSizeImage, 0u);
  }
  EXPECT_EQ(std::memcmp(colour.Infos.Colors, HalftoneQuads.data(), sizeof(RGBQUAD) * 215), 0);
  EXPECT_TRUE(SameColor(bw.Color(0), 0, 0, 0) && SameColor(bw.Color(1), 255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(Sources, Halftone, testing::ValuesIn(kHalftones), CaseName());

TEST(HalftonePalette, LevelsThenExtras) {
  const std::array<int, 4> entries[] = {{0, 0, 0, 0},         {209, 255, 255, 255}, {48, 51, 85, 192},
                                        {169, 204, 214, 255}, {210, 128, 0, 0},     {211, 128, 128, 0},
                                        {212, 128, 0, 128},   {213, 192, 192, 192}, {214, 128, 128, 128}};
  for (const auto& [i, r, g, b] : entries) EXPECT_TRUE(SameColor(HalftoneQuads[i], BYTE(r), BYTE(g), BYTE(b))) << i;
}

// Nine pixels: the mask colour (10, 20, 30) at the set bits, colours one step off in a
// single channel elsewhere; the ninth pixel lies in bit 7 of the second byte. The indexed
// tables hold the mask colour twice, once beyond biClrUsed.
TEST(MaskConversion, WhiteExactlyWhereTheColourMatches) {
  using TMaskConvert = void (*)(const DIBInfos&, DIBInfos&, COLORREF, bool);
  const TBytes row24 = {30, 20, 10, 30, 20, 11, 30, 21, 10, 30, 20, 10, 31, 20, 10, 0, 0, 0,
                        0,  0,  0,  0,  0,  0,  30, 20, 10};
  const std::pair<TMaskConvert, TSource> cases[] = {
      {ConvertTrueColorTo1BitRGB, {9, 24, {row24}}},
      {Convert8BitTo1BitRGB, {9, 8, {{3, 4, 200, 3, 0, 0, 0, 0, 200}}, 5, {{3, 10, 20, 30}, {200, 10, 20, 30}, {4, 11, 20, 30}}}},
      {Convert4BitRGBTo1BitRGB, {9, 4, {{0x34, 0xC3, 0, 0, 0xC0}}, 4, {{3, 10, 20, 30}, {12, 10, 20, 30}, {4, 10, 20, 31}}}},
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
