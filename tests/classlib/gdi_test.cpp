// The device stand-in: checked handles, shared mappings, colour mapping and transfers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <functional>
#include <vector>

#include "classlib/gdi.h"

namespace {

BITMAPINFO InfoFor(int width, int height, int bits, std::vector<RGBQUAD> table = {}) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biClrUsed = static_cast<DWORD>(table.size());
  std::copy(table.begin(), table.end(), info.bmiColors);
  return info;
}

RGBQUAD Quad(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

// Bit fields: the three masks take the place of the colour table.
void SetMasks(BITMAPINFO& info, DWORD red, DWORD green, DWORD blue) {
  const DWORD masks[3] = {red, green, blue};
  info.bmiHeader.biCompression = BI_BITFIELDS;
  std::memcpy(info.bmiColors, masks, sizeof masks);
}

// A memory context with a fresh DIB section selected; frees both at the end.
struct Dib {
  HDC Dc = 0;
  HBITMAP Bitmap = 0;
  BYTE* Bits = nullptr;

  explicit Dib(const BITMAPINFO& info, HANDLE section = 0, DWORD offset = 0) {
    void* bits = nullptr;
    Bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, section, offset);
    Bits = static_cast<BYTE*>(bits);
    Dc = CreateCompatibleDC(0);
    if (Bitmap != 0) SelectObject(Dc, Bitmap);
  }
  ~Dib() {
    DeleteDC(Dc);
    DeleteObject(Bitmap);
  }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  std::vector<BYTE> Indices(std::size_t count) const { return std::vector<BYTE>(Bits, Bits + count); }
};

TEST(GdiHandles, ZeroStaleAndWrongKindHandlesFailWithoutHarm) {
  LOGPALETTE log{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE stalePalette = CreatePalette(&log);
  ASSERT_NE(stalePalette, 0u);
  ASSERT_TRUE(DeleteObject(stalePalette));
  HDC staleDc = CreateCompatibleDC(0);
  ASSERT_TRUE(DeleteDC(staleDc));
  HGLOBAL staleBlock = GlobalAlloc(GHND, 8);
  ASSERT_EQ(GlobalFree(staleBlock), 0u);
  HPALETTE palette = CreatePalette(&log);  // a live handle of the wrong kind for most calls
  PALETTEENTRY entry{};
  BITMAPINFO info = InfoFor(1, 1, 24);
  BYTE pixels[4] = {};

  for (HANDLE bad : {HANDLE{0}, stalePalette, staleDc, staleBlock, palette}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(GetPixel(bad, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(bad, 0, 0, 0), CLR_INVALID);
    EXPECT_FALSE(BitBlt(bad, 0, 0, 1, 1, bad, 0, 0, SRCCOPY));
    EXPECT_EQ(StretchDIBits(bad, 0, 0, 1, 1, 0, 0, 1, 1, pixels, &info, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(GetDIBits(GetDC(0), bad, 0, 1, pixels, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SelectObject(bad, palette), 0u);
    EXPECT_FALSE(DeleteDC(bad));
    EXPECT_EQ(SetStretchBltMode(bad, COLORONCOLOR), 0);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(MapViewOfFile(bad, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_FALSE(CloseHandle(bad));
    if (bad != 0) {
      EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr, bad, 0), 0u);
    }
    if (bad != palette) {
      EXPECT_EQ(GetPaletteEntries(bad, 0, 1, &entry), 0u);
      EXPECT_EQ(GetObjectA(bad, sizeof entry, &entry), 0);
      EXPECT_FALSE(DeleteObject(bad));
      EXPECT_EQ(SelectPalette(GetDC(0), bad, false), 0u);
    }
  }
  EXPECT_EQ(GetPaletteEntries(palette, 0, 1, &entry), 1u);
  EXPECT_TRUE(DeleteObject(palette));
  EXPECT_FALSE(UnmapViewOfFile(pixels));
}

TEST(GdiPalettes, EntriesCountAndSelection) {
  LOGPALETTE log{0x300, 3, {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}}};
  HPALETTE palette = CreatePalette(&log);
  ASSERT_NE(palette, 0u);
  PALETTEENTRY entries[4] = {};
  EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 3u);
  EXPECT_EQ(GetPaletteEntries(palette, 1, 4, entries), 2u);
  EXPECT_EQ(entries[0].peRed, 40);
  EXPECT_EQ(entries[1].peBlue, 90);
  EXPECT_EQ(GetPaletteEntries(palette, 3, 1, entries), 0u);
  WORD count = 0;
  EXPECT_EQ(GetObjectA(palette, sizeof count, &count), static_cast<int>(sizeof count));
  EXPECT_EQ(count, 3);

  HDC dc = GetDC(0);
  HPALETTE previous = SelectPalette(dc, palette, true);
  EXPECT_NE(previous, 0u);
  EXPECT_EQ(RealizePalette(dc), 3u);
  EXPECT_EQ(SelectPalette(dc, previous, true), palette);
  EXPECT_EQ(ReleaseDC(0, dc), 1);
  EXPECT_TRUE(DeleteObject(palette));

  LOGPALETTE none{0x300, 0, {}};
  EXPECT_EQ(CreatePalette(&none), 0u);
  EXPECT_EQ(CreatePalette(nullptr), 0u);
}

TEST(GdiMappings, SectionAndViewShareTheSameBytes) {
  const DWORD offset = 4096 + 8;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16384, nullptr);
  ASSERT_NE(mapping, 0u);
  auto* view = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  view[offset] = 0x11;  // blue of the bottom-left pixel of a bottom-up 24-bit image

  {
    Dib dib(InfoFor(4, 2, 24), mapping, offset);
    ASSERT_NE(dib.Bitmap, 0u);
    ASSERT_NE(dib.Bits, nullptr);
    EXPECT_EQ(GetPixel(dib.Dc, 0, 1), RGB(0, 0, 0x11));
    SetPixel(dib.Dc, 1, 1, RGB(1, 2, 3));
    EXPECT_EQ(view[offset + 3], 3);
    EXPECT_EQ(view[offset + 5], 1);

    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(dib.Bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dshSection, mapping);
    EXPECT_EQ(ds.dsOffset, offset);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(dib.Bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmHeight, 2);

    // A second view at an offset that is not page-aligned sees the same bytes.
    auto* second = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, offset, 12));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second[3], 3);
    EXPECT_TRUE(UnmapViewOfFile(second));

    // The section outlives the mapping handle, as its view does.
    EXPECT_TRUE(CloseHandle(mapping));
    SetPixel(dib.Dc, 0, 0, RGB(9, 9, 9));
    EXPECT_EQ(view[offset + 12], 9);
  }
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
}

TEST(GdiMappings, SectionsThatDoNotFitAreRefused) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, nullptr);
  ASSERT_NE(mapping, 0u);
  const BITMAPINFO info = InfoFor(4, 4, 24);  // 48 bytes
  EXPECT_NE(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr, mapping, 0), 0u);
  EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr, mapping, 60), 0u);
  EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr, mapping, 2), 0u);  // not DWORD-aligned
  auto* view = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 50, 50));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 50, 51), nullptr);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), 0u);
}

TEST(GdiSections, InvalidDescriptionsAreRefused) {
  struct Case {
    const char* Name;
    std::function<void(BITMAPINFO&)> Spoil;
  };
  const Case cases[] = {
      {"zero width", [](BITMAPINFO& i) { i.bmiHeader.biWidth = 0; }},
      {"zero height", [](BITMAPINFO& i) { i.bmiHeader.biHeight = 0; }},
      {"3 bits", [](BITMAPINFO& i) { i.bmiHeader.biBitCount = 3; }},
      {"run-length data", [](BITMAPINFO& i) { i.bmiHeader.biCompression = BI_RLE8; }},
      {"bad header size", [](BITMAPINFO& i) { i.bmiHeader.biSize = 12; }},
      {"over a gigabyte", [](BITMAPINFO& i) { i.bmiHeader.biWidth = 40000; i.bmiHeader.biHeight = 30000; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    BITMAPINFO info = InfoFor(4, 4, 8);
    c.Spoil(info);
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0), 0u);
    EXPECT_EQ(bits, nullptr);
  }
}

// Small pictures and large ones come from different memory; both start blank and every
// byte up to the last row's end is the picture's own, whatever the row padding.
TEST(GdiSections, PixelMemoryIsZeroedAndWholeAtEverySize) {
  for (const int width : {3, 1021, 2731}) {
    SCOPED_TRACE(width);
    BITMAPINFO info = InfoFor(width, 1000, 24);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    ASSERT_NE(bitmap, 0u);
    const std::size_t bytes = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4 * 1000;
    auto* p = static_cast<std::uint8_t*>(bits);
    EXPECT_EQ(std::count(p, p + bytes, 0), static_cast<std::ptrdiff_t>(bytes));
    std::memset(p, 0x5A, bytes);
    EXPECT_TRUE(DeleteObject(bitmap));
  }
}

TEST(GdiPixels, SetAndGetOnEveryDepth) {
  struct Case {
    int Bits;
    bool BitFields;  // 5-6-5
    COLORREF Asked;
    COLORREF Stored;
  };
  const std::vector<RGBQUAD> grey = {Quad(0, 0, 0), Quad(128, 128, 128), Quad(255, 255, 255)};
  const Case cases[] = {
      {1, false, RGB(200, 200, 200), RGB(255, 255, 255)},
      {4, false, RGB(100, 100, 100), RGB(128, 128, 128)},
      {8, false, RGB(10, 0, 0), RGB(0, 0, 0)},
      {16, false, RGB(255, 128, 8), RGB(255, 132, 8)},
      {16, true, RGB(255, 130, 8), RGB(255, 130, 8)},
      {24, false, RGB(1, 2, 3), RGB(1, 2, 3)},
      {32, false, RGB(250, 251, 252), RGB(250, 251, 252)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bits);
    BITMAPINFO info = InfoFor(5, -3, c.Bits, c.Bits <= 8 ? grey : std::vector<RGBQUAD>{});
    if (c.BitFields) SetMasks(info, 0xF800, 0x07E0, 0x001F);
    if (c.Bits == 1) info.bmiHeader.biClrUsed = 2, info.bmiColors[1] = Quad(255, 255, 255);
    Dib dib(info);
    ASSERT_NE(dib.Bitmap, 0u);
    EXPECT_EQ(SetPixel(dib.Dc, 4, 2, c.Asked), c.Stored);
    EXPECT_EQ(GetPixel(dib.Dc, 4, 2), c.Stored);
    EXPECT_EQ(GetPixel(dib.Dc, 3, 2), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dib.Dc, 5, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dib.Dc, 0, -1), CLR_INVALID);
    EXPECT_EQ(SetPixel(dib.Dc, -1, 0, 0), CLR_INVALID);
  }
}

TEST(GdiTransfers, NearestEntryWithTheLowestIndexOnTies) {
  Dib source(InfoFor(3, 1, 24));
  SetPixel(source.Dc, 0, 0, RGB(0, 0, 0));
  SetPixel(source.Dc, 1, 0, RGB(5, 5, 5));    // as far from entry 0 as from entries 1 and 2
  SetPixel(source.Dc, 2, 0, RGB(9, 10, 11));
  Dib target(InfoFor(3, 1, 8, {Quad(10, 10, 10), Quad(0, 0, 0), Quad(0, 0, 0)}));
  ASSERT_TRUE(BitBlt(target.Dc, 0, 0, 3, 1, source.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(target.Indices(3), (std::vector<BYTE>{1, 0, 0}));  // black takes the first of its exact entries
}

TEST(GdiTransfers, SameTableCopiesIndicesEvenForRepeatedColours) {
  const std::vector<RGBQUAD> table = {Quad(1, 1, 1), Quad(7, 7, 7), Quad(7, 7, 7), Quad(9, 9, 9)};
  Dib source(InfoFor(4, 1, 8, table));
  for (BYTE i = 0; i < 4; ++i) source.Bits[i] = static_cast<BYTE>(3 - i);
  Dib same(InfoFor(4, 1, 8, table));
  ASSERT_TRUE(BitBlt(same.Dc, 0, 0, 4, 1, source.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(same.Indices(4), (std::vector<BYTE>{3, 2, 1, 0}));
  // Another table maps by colour: both entries of grey 7 become the first one.
  Dib other(InfoFor(4, 1, 8, {Quad(9, 9, 9), Quad(7, 7, 7), Quad(7, 7, 7), Quad(1, 1, 1)}));
  ASSERT_TRUE(BitBlt(other.Dc, 0, 0, 4, 1, source.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(other.Indices(4), (std::vector<BYTE>{0, 1, 1, 3}));
  // An overlapping copy within one bitmap reads the pixels as they were before it.
  ASSERT_TRUE(BitBlt(source.Dc, 1, 0, 3, 1, source.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(source.Indices(4), (std::vector<BYTE>{3, 3, 2, 1}));
}

TEST(GdiTransfers, ClippingOnBothSidesLeavesTheRestUntouched) {
  struct Case {
    int X, Y, W, H, XSrc, YSrc;
    std::vector<int> Expected;  // 4×3 target, -1 untouched, else the source value copied
  };
  // Source 3×2, pixel (x, y) holds colour 10 + x + 3y in red.
  const Case cases[] = {
      {0, 0, 3, 2, 0, 0, {10, 11, 12, -1, 13, 14, 15, -1, -1, -1, -1, -1}},
      {2, 1, 3, 3, 0, 0, {-1, -1, -1, -1, -1, -1, 10, 11, -1, -1, 13, 14}},
      {0, 0, 4, 3, 1, 1, {14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
      {1, 0, 2, 2, -1, 0, {-1, -1, 10, -1, -1, -1, 13, -1, -1, -1, -1, -1}},
      {-1, -1, 3, 3, 0, 0, {14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
  };
  Dib source(InfoFor(3, 2, 24));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) SetPixel(source.Dc, x, y, RGB(static_cast<BYTE>(10 + x + 3 * y), 0, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y << " " << c.W << "x" << c.H << " from " << c.XSrc
                                    << "," << c.YSrc);
    Dib target(InfoFor(4, 3, 24));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) SetPixel(target.Dc, x, y, RGB(0, 0, 99));
    ASSERT_TRUE(BitBlt(target.Dc, c.X, c.Y, c.W, c.H, source.Dc, c.XSrc, c.YSrc, SRCCOPY));
    for (int i = 0; i < 12; ++i) {
      const COLORREF want = c.Expected[i] < 0 ? RGB(0, 0, 99) : RGB(static_cast<BYTE>(c.Expected[i]), 0, 0);
      EXPECT_EQ(GetPixel(target.Dc, i % 4, i / 4), want) << "pixel " << i;
    }
  }
}

TEST(GdiStretch, OrientationMirroringScalingAndPackedSources) {
  // A 2×2 source: top row red, green; bottom row blue, white.
  const COLORREF tl = RGB(255, 0, 0), tr = RGB(0, 255, 0), bl = RGB(0, 0, 255), br = RGB(255, 255, 255);
  const BYTE bottomUp[] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  const BYTE topDown[] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
  struct Case {
    const char* Name;
    const BYTE* Bits;
    int Height, DestWidth, DestHeight;
    std::vector<COLORREF> Expected;  // a 4×2 target row by row
  };
  const Case cases[] = {
      {"bottom-up", bottomUp, 2, 2, 2, {tl, tr, 0, 0, bl, br, 0, 0}},
      {"top-down", topDown, -2, 2, 2, {tl, tr, 0, 0, bl, br, 0, 0}},
      {"doubled width", bottomUp, 2, 4, 2, {tl, tl, tr, tr, bl, bl, br, br}},
      {"mirrored", bottomUp, 2, -2, 2, {tr, tl, 0, 0, br, bl, 0, 0}},
      {"upside down", topDown, -2, 2, -2, {bl, br, 0, 0, tl, tr, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Dib target(InfoFor(4, 2, 24));
    const BITMAPINFO info = InfoFor(2, c.Height, 24);
    const int x = c.DestWidth < 0 ? 2 : 0, y = c.DestHeight < 0 ? 2 : 0;
    EXPECT_EQ(StretchDIBits(target.Dc, x, y, c.DestWidth, c.DestHeight, 0, 0, 2, 2, c.Bits, &info,
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(GetPixel(target.Dc, i % 4, i / 4), c.Expected[i]) << "pixel " << i;
  }
}

TEST(GdiStretch, RunLengthAndBitFieldSources) {
  Dib target(InfoFor(4, 2, 24));
  // RLE8, bottom-up: bottom row 2×index 1 then 2×index 2; top row 4×index 0; end of bitmap.
  const BYTE rle[] = {2, 1, 2, 2, 0, 0, 4, 0, 0, 1};
  BITMAPINFO info = InfoFor(4, 2, 8, {Quad(9, 9, 9), Quad(200, 0, 0), Quad(0, 200, 0)});
  info.bmiHeader.biCompression = BI_RLE8;
  info.bmiHeader.biSizeImage = sizeof rle;
  EXPECT_EQ(StretchDIBits(target.Dc, 0, 0, 4, 2, 0, 0, 4, 2, rle, &info, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(target.Dc, 0, 0), RGB(9, 9, 9));
  EXPECT_EQ(GetPixel(target.Dc, 1, 1), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(target.Dc, 2, 1), RGB(0, 200, 0));
  // Codes cut short draw what they hold, as if the end of the bitmap had come.
  info.bmiHeader.biSizeImage = 3;
  EXPECT_EQ(StretchDIBits(target.Dc, 0, 0, 4, 2, 0, 0, 4, 2, rle, &info, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(target.Dc, 1, 1), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(target.Dc, 2, 1), RGB(9, 9, 9));

  // A 5-6-5 pixel of full green and a 32-bit pixel with masks in another order.
  const WORD green565[2] = {0x07E0, 0};
  BITMAPINFO fields = InfoFor(1, 1, 16);
  SetMasks(fields, 0xF800, 0x07E0, 0x001F);
  StretchDIBits(target.Dc, 3, 0, 1, 1, 0, 0, 1, 1, green565, &fields, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(GetPixel(target.Dc, 3, 0), RGB(0, 255, 0));
  const DWORD rgbx = 0x00112233;  // red in the low byte by these masks
  fields.bmiHeader.biBitCount = 32;
  SetMasks(fields, 0x000000FF, 0x0000FF00, 0x00FF0000);
  StretchDIBits(target.Dc, 3, 1, 1, 1, 0, 0, 1, 1, &rgbx, &fields, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(GetPixel(target.Dc, 3, 1), RGB(0x33, 0x22, 0x11));
}

TEST(GdiGetDIBits, ConvertsToTheAskedFormatAndFillsTheTable) {
  BITMAPINFO info32 = InfoFor(2, 2, 32);
  Dib source(info32);
  SetPixel(source.Dc, 0, 0, RGB(1, 2, 3));     // top left
  SetPixel(source.Dc, 1, 1, RGB(7, 8, 9));     // bottom right
  BITMAPINFO ask = InfoFor(2, 2, 24);
  BYTE rows[16];
  std::memset(rows, 0xEE, sizeof rows);
  EXPECT_EQ(GetDIBits(GetDC(0), source.Bitmap, 0, 2, rows, &ask, DIB_RGB_COLORS), 2);
  EXPECT_EQ(rows[3], 9);   // bottom row first: bottom-right blue
  EXPECT_EQ(rows[8], 3);   // top row: top-left blue
  EXPECT_EQ(rows[10], 1);
  // Only the bottom scan line.
  std::memset(rows, 0xEE, sizeof rows);
  EXPECT_EQ(GetDIBits(GetDC(0), source.Bitmap, 0, 1, rows, &ask, DIB_RGB_COLORS), 1);
  EXPECT_EQ(rows[5], 7);
  EXPECT_EQ(rows[8], 0xEE);

  const std::vector<RGBQUAD> table = {Quad(5, 5, 5), Quad(6, 6, 6)};
  Dib indexed(InfoFor(2, 1, 8, table));
  indexed.Bits[0] = 1;
  BITMAPINFO ask8 = InfoFor(2, 1, 8);
  BYTE row[4] = {};
  EXPECT_EQ(GetDIBits(GetDC(0), indexed.Bitmap, 0, 1, row, &ask8, DIB_RGB_COLORS), 1);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(ask8.bmiColors[1].rgbGreen, 6);
  EXPECT_EQ(ask8.bmiColors[2].rgbGreen, 0);  // the rest of the table is black
}

TEST(GdiGlobalMemory, LockSizeAndFree) {
  HGLOBAL block = GlobalAlloc(GHND, 10);
  ASSERT_NE(block, 0u);
  EXPECT_EQ(GlobalSize(block), 10u);
  auto* bytes = static_cast<BYTE*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[9], 0);
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_TRUE(GlobalUnlock(block));   // still locked once
  EXPECT_FALSE(GlobalUnlock(block));  // now unlocked
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GlobalFree(block), 0u);
  EXPECT_EQ(GlobalFree(block), block);
}

// Stamps written into files must not move with the user's time zone, so the test runs in
// a zone far from UTC.
TEST(GdiTime, SystemTimeIsUtcWhateverTheLocalZone) {
  const char* zone = std::getenv("TZ");
  const std::string saved = zone ? zone : "";
  ::setenv("TZ", "JST-9", 1);
  ::tzset();
  // std::time may read the kernel's coarse clock, which lags the precise one
  // by a tick; bracketing with the coarse clock fails near a second boundary.
  const auto preciseNow = [] {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
  };
  const std::time_t before = preciseNow();
  SYSTEMTIME st{};
  GetSystemTime(&st);
  const std::time_t after = preciseNow();
  zone ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
  std::tm utc{};
  utc.tm_year = st.wYear - 1900, utc.tm_mon = st.wMonth - 1, utc.tm_mday = st.wDay;
  utc.tm_hour = st.wHour, utc.tm_min = st.wMinute, utc.tm_sec = st.wSecond;
  const std::time_t stamped = ::timegm(&utc);
  EXPECT_GE(stamped, before);
  EXPECT_LE(stamped, after);
  EXPECT_EQ(st.wDayOfWeek, utc.tm_wday);
  EXPECT_LT(st.wMilliseconds, 1000);
}

}  // namespace
