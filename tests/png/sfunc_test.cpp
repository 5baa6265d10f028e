// Palette and row helpers, and the pixel-format mappings of the image streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "classlib/gdi.h"
#include "png/SFunc.h"
#include "png/ZelStream.h"

namespace {

TEST(SFunc, DibRowBytes) {
  struct Row { std::int32_t Width, Bits, Bytes; } rows[] = {
      {1, 1, 4},  {32, 1, 4},  {33, 1, 8},   {1, 4, 4},   {8, 4, 4},   {9, 4, 8},  {3, 8, 4},
              {5, 8, 8},  {1, 24, 4},  {4, 24, 12},  {5, 24, 16}, {3, 16, 8},  {1, 32, 4}, {0, 24, 0},
              {7, 2, 4},  {17, 2, 8}};
  for (const Row& row : rows) EXPECT_EQ(row.Bytes, DibRowBytes(row.Width, row.Bits)) << row.Width << "x" << row.Bits;
}

TEST(SFunc, NearestPaletteIndexInEntries) {
  struct Row { const char* Name; std::vector<PALETTEENTRY> Entries; TColor Colour; std::int32_t Index; } rows[] = {
      {"exact match returns its first index", {{10, 10, 10, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, 0x000000, 1},
      {"tie goes to the first", {{0, 0, 0, 0}, {10, 10, 10, 0}}, 0x050505, 0},
      {"red is the low byte", {{0, 0, 255, 0}, {255, 0, 0, 0}}, 0x0000F0, 1},
      {"blue is the high byte", {{0, 0, 255, 0}, {255, 0, 0, 0}}, 0xF00000, 0},
      {"distances are absolute both ways", {{200, 200, 200, 0}, {0, 0, 0, 0}, {255, 255, 255, 0}}, 0xF0F0F0, 2},
      {"the flag byte is ignored", {{1, 2, 3, 0}, {9, 9, 9, 0}}, 0x01030201, 0},
      {"no entries", {}, 0x123456, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.Index, NearestPaletteIndexInEntries(row.Entries.data(), row.Colour,
                                                      static_cast<std::int32_t>(row.Entries.size())))
        << row.Name;
  }
  const PALETTEENTRY one{1, 1, 1, 0};
  EXPECT_EQ(0, NearestPaletteIndexInEntries(&one, 0xFFFFFF, -3));
}

TEST(SFunc, PaletteRoundTrip) {
  std::vector<RGBQUAD> quads;
  for (int i = 0; i < 5; ++i) quads.push_back(RGBQUAD{BYTE(i), BYTE(10 * i), BYTE(100 + i), 0});
  const HPALETTE palette = CreatePaletteFromQuads(quads.data(), 5);
  ASSERT_NE(0u, palette);
  RGBQUAD back[256] = {};
  ASSERT_EQ(5, PaletteToQuads(palette, back));
  // Every byte comes back, the reserved one as zero.
  EXPECT_EQ(0, std::memcmp(quads.data(), back, 5 * sizeof(RGBQUAD)));
  EXPECT_EQ(103 + 30 * 256 + 3 * 65536, PaletteEntryColor(palette, 3));
  EXPECT_EQ(-1, PaletteEntryColor(palette, 5));
  EXPECT_EQ(-1, PaletteEntryColor(palette, -1));
  EXPECT_EQ(2, NearestPaletteIndex(palette, 0x02146A));
  DeleteObject(palette);
  // A stale handle reads as no palette.
  EXPECT_EQ(-1, NearestPaletteIndex(palette, 0));
  EXPECT_EQ(-1, PaletteEntryColor(palette, 0));
  RGBQUAD untouched[256] = {};
  untouched[0].rgbRed = 77;
  EXPECT_EQ(0, PaletteToQuads(palette, untouched));
  EXPECT_EQ(77, untouched[0].rgbRed);
}

TEST(SFunc, FillGreyQuads) {
  struct Row { std::int32_t Bits, Count, Step; } rows[] = {
      {1, 2, 255}, {2, 4, 85}, {4, 16, 17}, {8, 256, 1}, {3, 256, 1}, {16, 256, 1}};
  for (const Row& row : rows) {
    RGBQUAD quads[256] = {};
    ASSERT_EQ(row.Count, FillGreyQuads(quads, row.Bits)) << row.Bits;
    for (int i = 0; i < row.Count; ++i) {
      EXPECT_EQ(i * row.Step, quads[i].rgbRed);
      EXPECT_EQ(quads[i].rgbRed, quads[i].rgbGreen);
      EXPECT_EQ(quads[i].rgbRed, quads[i].rgbBlue);
      EXPECT_EQ(0, quads[i].rgbReserved);
    }
  }
}

TEST(SFunc, PixelFormatMappings) {
  struct Row { TPixelFormat Format; std::int32_t Bits; } toBits[] = {
      {pfDevice, 24}, {pf1bit, 1},   {pf4bit, 4},   {pf8bit, 8},   {pf15bit, 15},
                {pf16bit, 16},  {pf24bit, 24}, {pf32bit, 32}, {pfCustom, 15}};
  for (const Row& row : toBits) EXPECT_EQ(row.Bits, PixelFormatToBits(row.Format)) << row.Format;
  struct Back {
    std::int32_t Bits;
    TPixelFormat Format;
  } toFormat[] = {{1, pf1bit},   {4, pf4bit},   {8, pf8bit},  {15, pf15bit}, {16, pf16bit},
                  {24, pf24bit}, {32, pf32bit}, {2, pf24bit}, {0, pf24bit},  {48, pf24bit}};
  for (const Back& row : toFormat) EXPECT_EQ(row.Format, BitsToPixelFormat(row.Bits)) << row.Bits;
}

}  // namespace
