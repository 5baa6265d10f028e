// TCanvas drawing into bitmaps: the inverting frame, fills, pixels, graphics and copies.
#include <vector>

#include "core_test_support.h"

namespace {

using core_test::Row;

TColor PatternAt(int x, int y) { return static_cast<TColor>(RGB(x * 20, y * 20, 77)); }

// Every pixel of a 24-bit bitmap gets its own colour, so an inversion shows where it fell.
void Pattern(TBitmap& b, int width, int height) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.Canvas()->SetPixels(x, y, PatternAt(x, y));
}

TEST(Canvas, InvertingFrameInvertsEachPixelOfItsBandOnce) {
  struct Case {
    int X1, Y1, X2, Y2, PenWidth;
  };
  // Small rectangles whose sides overlap, and one partly outside the bitmap.
  const Case cases[] = {{1, 1, 7, 6, 2}, {0, 0, 3, 3, 2}, {2, 2, 4, 4, 2}, {1, 0, 2, 5, 2},
                        {0, 2, 5, 3, 2}, {3, 3, 4, 4, 1}, {1, 1, 6, 6, 1}, {-2, -1, 3, 9, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X1 << "," << c.Y1 << "-" << c.X2 << "," << c.Y2 << " w" << c.PenWidth);
    TBitmap b;
    Pattern(b, 8, 7);
    TCanvas* canvas = b.Canvas();
    canvas->Pen()->Width = c.PenWidth;
    canvas->Pen()->Mode = pmNot;
    canvas->Brush()->Style = bsClear;
    canvas->Rectangle(c.X1, c.Y1, c.X2, c.Y2);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool inside = x >= c.X1 && x < c.X2 && y >= c.Y1 && y < c.Y2;
        const bool band = inside && (x < c.X1 + c.PenWidth || x >= c.X2 - c.PenWidth ||
                                     y < c.Y1 + c.PenWidth || y >= c.Y2 - c.PenWidth);
        const TColor want = band ? (~PatternAt(x, y) & 0xFFFFFF) : PatternAt(x, y);
        ASSERT_EQ(canvas->Pixels(x, y), want) << x << "," << y;
      }
    }
    // A second frame puts every pixel back.
    canvas->Rectangle(c.X1, c.Y1, c.X2, c.Y2);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 8; ++x) ASSERT_EQ(canvas->Pixels(x, y), PatternAt(x, y));
  }
}

TEST(Canvas, RectangleFramesWithThePenAndFillsWithTheBrush) {
  TBitmap b;
  b.SetSize(5, 4);
  TCanvas* canvas = b.Canvas();
  canvas->Pen()->Color = clRed;
  canvas->Brush()->Color = clBlue;
  canvas->Rectangle(4, 4, 0, 0);  // corners in either order
  const char* expected[] = {"RRRR.", "RBBR.", "RBBR.", "RRRR."};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      const char k = expected[y][x];
      const TColor want = k == 'R' ? clRed : k == 'B' ? clBlue : clBlack;
      EXPECT_EQ(canvas->Pixels(x, y), want) << x << "," << y;
    }
  }
}

TEST(Canvas, InvertingFrameOnAnIndexedBitmapInvertsTheIndex) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(3, 3);
  Row(b, 0)[0] = 0x0F;
  b.Canvas()->Pen()->Mode = pmNot;
  b.Canvas()->Brush()->Style = bsClear;
  b.Canvas()->Rectangle(0, 0, 3, 3);
  EXPECT_EQ(Row(b, 0)[0], 0xF0);
  EXPECT_EQ(Row(b, 1)[1], 0x00);  // the inside is left alone
  EXPECT_EQ(Row(b, 2)[2], 0xFF);
}

TEST(Canvas, DrawsIntoEveryDepth) {
  struct Case {
    TPixelFormat Format;
    TColor Fill, Expected;
  };
  const Case cases[] = {
      {pf1bit, clSilver, clWhite},    {pf4bit, 0x0000F0, clRed},       {pf8bit, clTeal, clTeal},
      {pf15bit, clRed, clRed},        {pf16bit, 0x008200, 0x008200},   {pf24bit, 0x123456, 0x123456},
      {pf32bit, 0x654321, 0x654321},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Format);
    TBitmap b;
    b.SetPixelFormat(c.Format);
    b.SetSize(9, 3);
    b.Canvas()->Brush()->Color = c.Fill;
    b.Canvas()->FillRect(Rect(1, 1, 20, 2));
    EXPECT_EQ(b.Canvas()->Pixels(0, 1), clBlack);
    EXPECT_EQ(b.Canvas()->Pixels(1, 1), c.Expected);
    EXPECT_EQ(b.Canvas()->Pixels(8, 1), c.Expected);
    EXPECT_EQ(b.Canvas()->Pixels(8, 2), clBlack);
    b.Canvas()->SetPixels(8, 2, c.Fill);
    EXPECT_EQ(b.Canvas()->Pixels(8, 2), c.Expected);
    EXPECT_EQ(b.Canvas()->Pixels(9, 0), -1);
  }
}

TEST(Canvas, PaletteIndexColourNamesTheEntry) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(2, 1);
  LOGPALETTE log{0x300, 3, {{5, 5, 5, 0}, {5, 5, 5, 0}, {5, 5, 5, 0}}};
  b.SetPalette(CreatePalette(&log));
  b.Canvas()->SetPixels(1, 0, 0x01000002);
  EXPECT_EQ(Row(b, 0)[1], 2);
  b.Canvas()->SetPixels(0, 0, static_cast<TColor>(RGB(5, 5, 5)));
  EXPECT_EQ(Row(b, 0)[0], 0);
}

TEST(Canvas, DrawAndStretchDrawGoThroughTheGraphic) {
  TBitmap source;
  source.SetPixelFormat(pf4bit);
  source.SetSize(2, 1);
  source.Canvas()->SetPixels(0, 0, clRed);
  source.Canvas()->SetPixels(1, 0, clLime);
  TBitmap target;
  target.SetSize(5, 3);
  target.Canvas()->Draw(3, 2, &source);
  EXPECT_EQ(target.Canvas()->Pixels(3, 2), clRed);
  EXPECT_EQ(target.Canvas()->Pixels(4, 2), clLime);
  target.Canvas()->StretchDraw(Rect(0, 0, 4, 2), &source);
  const TColor row[] = {clRed, clRed, clLime, clLime};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(target.Canvas()->Pixels(x, 0), row[x]);
    EXPECT_EQ(target.Canvas()->Pixels(x, 1), row[x]);
  }
  target.Canvas()->Draw(0, 0, nullptr);
  TBitmap empty;
  target.Canvas()->Draw(0, 0, &empty);
  // A bitmap drawn mirrored onto its own canvas reads the pixels it had before.
  source.Canvas()->StretchDraw(Rect(2, 0, 0, 1), &source);
  EXPECT_EQ(source.Canvas()->Pixels(0, 0), clLime);
  EXPECT_EQ(source.Canvas()->Pixels(1, 0), clRed);
}

TEST(Canvas, CopyRectBetweenCanvases) {
  TBitmap source;
  Pattern(source, 4, 4);
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(4, 4);
  target.Canvas()->CopyRect(Rect(0, 0, 2, 2), source.Canvas(), Rect(2, 2, 4, 4));
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), PatternAt(2, 2));
  EXPECT_EQ(target.Canvas()->Pixels(1, 1), PatternAt(3, 3));
  EXPECT_EQ(target.Canvas()->Pixels(2, 2), clBlack);
  target.Canvas()->CopyRect(Rect(0, 0, 4, 4), target.Canvas(), Rect(0, 0, 2, 2));  // onto itself, doubled
  EXPECT_EQ(target.Canvas()->Pixels(3, 3), PatternAt(3, 3));
}

TEST(Canvas, ACanvasWithoutAContextDrawsNothing) {
  TCanvas canvas;
  EXPECT_EQ(canvas.Handle(), 0u);
  canvas.Rectangle(0, 0, 5, 5);
  canvas.FillRect(Rect(0, 0, 5, 5));
  canvas.SetPixels(0, 0, clRed);
  EXPECT_EQ(canvas.Pixels(0, 0), -1);
  TBitmap b;
  b.SetSize(1, 1);
  canvas.SetHandle(b.Canvas()->Handle());
  canvas.SetPixels(0, 0, clRed);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  canvas.SetHandle(0);
}

}  // namespace
