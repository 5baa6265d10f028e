// TBitmap: formats and conversions, palettes, assignment, files, clipboard data, limits.

#include <cstring>

#include "core_test_support.h"

namespace {

using core_test::MakePalette;
using core_test::Pixels;
using core_test::Row;

struct Format {
  TPixelFormat Value;
  int Depth;
};
const Format kFormats[] = {{pf1bit, 1}, {pf4bit, 4}, {pf8bit, 8}, {pf15bit, 15}, {pf16bit, 16}, {pf24bit, 24}, {pf32bit, 32}};

const TColor kColours[] = {clBlack, clWhite, clRed, clMaroon, clTeal, 0x123456, 0x808080, 0x00FEFD};

// A bitmap of the format whose pixels are drawn from kColours, one per column.
void Paint(TBitmap& b, TPixelFormat format) {
  b.SetPixelFormat(format);
  b.SetSize(static_cast<int>(std::size(kColours)), 2);
  for (int x = 0; x < b.Width(); ++x) {
    b.Canvas()->SetPixels(x, 0, kColours[x]);
    b.Canvas()->SetPixels(x, 1, kColours[std::size(kColours) - 1 - x]);
  }
}

TEST(Bitmap, NewBitmapIsEmptyAndZeroFilled) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.Handle(), 0u);
  EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
  b.SetWidth(5);
  EXPECT_TRUE(b.Empty());  // a width alone makes no pixels
  b.SetHeight(3);
  ASSERT_FALSE(b.Empty());
  EXPECT_EQ(b.RowBytes(), 16);
  for (int y = 0; y < 3; ++y)
    EXPECT_TRUE(std::all_of(Row(b, y), Row(b, y) + b.RowBytes(), [](BYTE v) { return v == 0; }));
  EXPECT_THROW(b.ScanLine(3), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
  // Formats that leave the layout to the device are 24 bits here.
  TBitmap other;
  for (const auto& [before, vague] : {std::pair{pf8bit, pfDevice}, std::pair{pf4bit, pfCustom}}) {
    other.SetPixelFormat(before);
    other.SetPixelFormat(vague);
    EXPECT_EQ(other.PixelFormat(), pf24bit) << vague;
  }
}

TEST(Bitmap, ScanLineCountsFromTheTopOverBottomUpRows) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(3, 4);
  Row(b, 0)[0] = 7;
  const BITMAPINFO& info = b.Info();
  EXPECT_GT(info.bmiHeader.biHeight, 0);
  EXPECT_EQ(info.bmiHeader.biClrUsed, 256u);
  BITMAP bm{};
  ASSERT_EQ(GetObjectA(b.Handle(), sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(static_cast<BYTE*>(bm.bmBits)[3 * 4], 7);  // the last stored row
}

TEST(Bitmap, ConversionBetweenEveryPairOfFormats) {
  for (const auto [from, fromDepth] : kFormats) {
    for (const auto [to, toDepth] : kFormats) {
      SCOPED_TRACE(testing::Message() << fromDepth << " -> " << toDepth);
      TBitmap b;
      Paint(b, from);
      const std::vector<TColor> before = Pixels(b);
      b.SetPixelFormat(to);
      ASSERT_EQ(b.PixelFormat(), to);
      const std::vector<TColor> after = Pixels(b);
      // What the target format makes of those colours when they are drawn into it directly.
      TBitmap direct;
      direct.SetPixelFormat(to);
      direct.SetSize(b.Width(), b.Height());
      for (int i = 0; i < static_cast<int>(before.size()); ++i)
        direct.Canvas()->SetPixels(i % b.Width(), i / b.Width(), before[static_cast<std::size_t>(i)]);
      EXPECT_EQ(after, Pixels(direct));
      const bool up = to == pf24bit || to == pf32bit || from == to ||
                      (toDepth <= 8 && toDepth >= fromDepth);
      if (up) {
        EXPECT_EQ(after, before) << "going up keeps every colour";
      }
    }
  }
}

// Between indexed formats the indices themselves move while the table fits, so entries that
// repeat a colour (as a transparent entry 0 often does) stay apart.
TEST(Bitmap, IndexedFormatChangesKeepIndicesWhileTheTableFits) {
  TBitmap b;
  b.SetPixelFormat(pf4bit);
  b.SetPalette(MakePalette({{0, 0, 0, 0}, {200, 10, 10, 0}, {200, 10, 10, 0}}));
  b.SetSize(3, 1);
  Row(b, 0)[0] = 0x21;
  b.SetPixelFormat(pf8bit);
  EXPECT_EQ(std::vector<BYTE>(Row(b, 0), Row(b, 0) + 3), (std::vector<BYTE>{2, 1, 0}));
  PALETTEENTRY e[4];
  EXPECT_EQ(GetPaletteEntries(b.Palette(), 0, 4, e), 3u);  // the adopted palette stays
  b.SetPixelFormat(pf4bit);
  EXPECT_EQ(b.ColorTable().size(), 16u);
  EXPECT_EQ(b.ColorTable()[2].rgbRed, 200);
  EXPECT_EQ(Row(b, 0)[0], 0x21);
  // Three entries do not fit in one bit: the black-and-white table is used.
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b.ColorTable()[1].rgbRed, 255);
}

TEST(Bitmap, PaletteWithFewerEntriesLeavesTheRestBlack) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(1, 1);
  EXPECT_NE(b.ColorTable()[20].rgbRed + b.ColorTable()[20].rgbGreen + b.ColorTable()[20].rgbBlue, 0);
  HPALETTE p = MakePalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  b.SetPalette(p);
  EXPECT_EQ(b.Palette(), p);  // adopted, not copied
  const std::vector<RGBQUAD> table = b.ColorTable();
  ASSERT_EQ(table.size(), 256u);
  EXPECT_EQ(table[1].rgbBlue, 6);
  for (std::size_t i = 2; i < table.size(); ++i)
    ASSERT_EQ(table[i].rgbRed + table[i].rgbGreen + table[i].rgbBlue, 0) << i;
  EXPECT_EQ(b.Info().bmiColors[1].rgbRed, 4);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), static_cast<TColor>(RGB(1, 2, 3)));
  // A bitmap without a table still holds the handle, and frees it when it is replaced.
  TBitmap plain;
  EXPECT_EQ(plain.Palette(), 0u);
  plain.SetPalette(p = MakePalette({{3, 2, 1, 0}}));
  plain.SetPalette(MakePalette({{1, 1, 1, 0}}));
  PALETTEENTRY e;
  EXPECT_EQ(GetPaletteEntries(p, 0, 1, &e), 0u);
}

TEST(Bitmap, AnotherBitmapsPaletteIsCopiedNotShared) {
  auto owner = std::make_unique<TBitmap>();
  owner->SetPixelFormat(pf8bit);
  owner->SetSize(1, 1);
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetPalette(owner->Palette());
  EXPECT_NE(b.Palette(), owner->Palette());
  const HPALETTE theirs = owner->Palette();
  owner.reset();
  PALETTEENTRY e;
  EXPECT_EQ(GetPaletteEntries(theirs, 0, 1, &e), 0u);       // freed with its bitmap
  EXPECT_EQ(GetPaletteEntries(b.Palette(), 0, 1, &e), 1u);  // the copy lives on
}

TEST(Bitmap, AssignGivesAnIndependentCopy) {
  TBitmap a;
  Paint(a, pf8bit);
  a.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}}));
  a.SetTransparent(true);
  a.SetTransparentColor(clRed);
  TBitmap b;
  b.Assign(&a);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Pixels(b), Pixels(a));
  EXPECT_TRUE(b.Transparent());
  EXPECT_EQ(b.TransparentColor(), clRed);
  EXPECT_NE(b.Palette(), a.Palette());
  b.Canvas()->SetPixels(0, 0, clBlue);
  EXPECT_NE(a.Canvas()->Pixels(0, 0), clBlue);
  Row(b, 1)[1] = 2;
  EXPECT_NE(Row(a, 1)[1], 2);

  TBitmap c;
  a.AssignTo(&c);
  EXPECT_EQ(Pixels(c), Pixels(a));
  c.Assign(nullptr);
  EXPECT_TRUE(c.Empty());
  TCanvas canvas;
  EXPECT_THROW(c.AssignTo(&canvas), EConvertError);
}

TEST(Bitmap, EachOperationNotifiesOnce) {
  TBitmap b;
  TBitmap other;
  Paint(other, pf4bit);
  other.SetTransparent(true);
  int changes = 0;
  b.OnChange = [&changes](TObject*) { ++changes; };
  struct Step {
    const char* Name;
    std::function<void()> Run;
    int Expected;
  };
  const Step steps[] = {
      {"size", [&] { b.SetSize(4, 4); }, 1},
      {"same size", [&] { b.SetSize(4, 4); }, 0},
      {"format", [&] { b.SetPixelFormat(pf8bit); }, 1},
      {"same format", [&] { b.SetPixelFormat(pf8bit); }, 0},
      {"palette", [&] { b.SetPalette(MakePalette({{1, 1, 1, 0}})); }, 1},
      {"assign", [&] { b.Assign(&other); }, 1},
      {"transparent colour", [&] { b.SetTransparentColor(clLime); }, 1},
      {"canvas pixel", [&] { b.Canvas()->SetPixels(0, 0, clRed); }, 1},
      {"canvas rectangle", [&] { b.Canvas()->Rectangle(0, 0, 2, 2); }, 1},
      {"empty", [&] { b.Assign(nullptr); }, 1},
  };
  for (const Step& s : steps) {
    changes = 0;
    s.Run();
    EXPECT_EQ(changes, s.Expected) << s.Name;
  }
  EXPECT_TRUE(b.Modified);
}

TEST(Bitmap, SizeChangesKeepTheSharedTopLeftPart) {
  TBitmap b;
  b.SetSize(3, 3);
  b.Canvas()->SetPixels(0, 0, clRed);
  b.Canvas()->SetPixels(2, 2, clBlue);
  b.SetSize(4, 2);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(3, 1), clBlack);
  b.SetSize(3, 3);
  EXPECT_EQ(b.Canvas()->Pixels(2, 2), clBlack);
}

TEST(Bitmap, CanvasFollowsThePixelsAcrossChanges) {
  TBitmap b;
  b.SetSize(2, 2);
  HDC dc = b.Canvas()->Handle();
  ASSERT_NE(dc, 0u);
  b.SetPixelFormat(pf8bit);
  b.SetSize(3, 3);
  EXPECT_EQ(SetPixel(b.Canvas()->Handle(), 2, 2, RGB(255, 0, 0)), RGB(255, 0, 0));
  EXPECT_EQ(Row(b, 2)[2], 9);  // red in the default table
  b.SetSize(0, 0);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), -1);
  b.SetSize(1, 1);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
}

TEST(Bitmap, TransparentColourDefaultsToTheBottomLeftPixel) {
  TBitmap b;
  EXPECT_EQ(b.TransparentColor(), clDefault);
  b.SetSize(2, 2);
  b.Canvas()->SetPixels(0, 1, clLime);
  EXPECT_EQ(b.TransparentMode(), tmAuto);
  EXPECT_EQ(b.TransparentColor(), clLime);
  b.SetTransparentColor(0x01000005);  // a palette index
  EXPECT_EQ(b.TransparentMode(), tmFixed);
  EXPECT_EQ(b.TransparentColor(), 0x01000005);
  b.SetTransparentColor(clDefault);
  EXPECT_EQ(b.TransparentMode(), tmAuto);
  EXPECT_EQ(b.TransparentColor(), clLime);
}

TEST(Bitmap, PixelMemoryBeyondAGigabyteIsRefused) {
  TBitmap b;
  b.SetSize(2, 2);
  b.Canvas()->SetPixels(1, 1, clRed);
  EXPECT_EQ(core_test::Raised([&] { b.SetSize(20000, 20000); }), "EOutOfResources: システムリソースが足りません");
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  b.SetPixelFormat(pf1bit);
  EXPECT_NO_THROW(b.SetSize(60000, 60000));  // 450 MB at one bit per pixel
  b.SetSize(0, 0);
}

TEST(Bitmap, StreamRoundTripOnEveryFormat) {
  for (const auto [f, depth] : kFormats) {
    SCOPED_TRACE(depth);
    TBitmap a;
    Paint(a, f);
    TMemoryStream stream;
    a.SaveToStream(&stream);
    stream.SetPosition(0);
    TBitmap b;
    b.LoadFromStream(&stream);
    EXPECT_EQ(b.PixelFormat(), f);
    EXPECT_EQ(Pixels(b), Pixels(a));
    EXPECT_EQ(b.ColorTable().size(), a.ColorTable().size());
  }
  TBitmap empty;
  TMemoryStream stream;
  EXPECT_THROW(empty.SaveToStream(&stream), EInvalidGraphic);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(Bitmap, ClipboardDataRoundTrip) {
  TBitmap a;
  Paint(a, pf4bit);
  WORD format = 0;
  HANDLE data = 0;
  HPALETTE palette = 0;
  a.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  ASSERT_NE(data, 0u);
  EXPECT_NE(palette, 0u);
  EXPECT_NE(palette, a.Palette());
  EXPECT_EQ(GlobalSize(data), 40u + 16 * 4 + 2 * 4);
  TBitmap b;
  b.LoadFromClipboardFormat(format, data, palette);
  EXPECT_EQ(Pixels(b), Pixels(a));
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_PALETTE, data, 0), EInvalidGraphic);
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_DIB, 0, 0), EInvalidGraphic);
  // A block too short for its header is refused.
  HGLOBAL tiny = GlobalAlloc(GHND, 3);
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_DIB, tiny, 0), EInvalidGraphic);
  EXPECT_EQ(Pixels(b), Pixels(a));
  GlobalFree(tiny);
  GlobalFree(data);
  DeleteObject(palette);
}

}  // namespace
