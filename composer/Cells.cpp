#include "composer/Cells.h"

#include "classlib/forms/extctrls.h"

TRect TCellGrid::CellRect(int col, int row) const {
  const int left = col * StepX + OffsetX;
  const int top = row * StepY + OffsetY;
  return Rect(left, top, left + Width, top + Height);
}

void TCellGrid::CellAt(int x, int y, int& col, int& row) const {
  col = x / StepX;
  row = y / StepY;
}

void TransferChip(TBitmap* source, const TRect& sourceRect, TBitmap* dest, const TPoint& destPos,
                  bool replace, TColor from, TColor to) {
  const int width = sourceRect.Width();
  const int height = sourceRect.Height();
  if (!replace) {
    BitBlt(dest->Canvas()->Handle(), destPos.X, destPos.Y, width, height, source->Canvas()->Handle(),
           sourceRect.Left, sourceRect.Top, SRCCOPY);
    return;
  }
  // The scratch is 24-bit so that the comparison sees the colour the device made of the
  // source pixel, whatever the source's own format.
  auto chip = std::make_unique<TBitmap>();
  chip->SetPixelFormat(pf24bit);
  chip->SetSize(width, height);
  BitBlt(chip->Canvas()->Handle(), 0, 0, width, height, source->Canvas()->Handle(), sourceRect.Left,
         sourceRect.Top, SRCCOPY);
  TCanvas* canvas = chip->Canvas();
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      if (canvas->Pixels(x, y) == from) canvas->SetPixels(x, y, to);
    }
  }
  BitBlt(dest->Canvas()->Handle(), destPos.X, destPos.Y, width, height, canvas->Handle(), 0, 0, SRCCOPY);
}

void FillCell(TBitmap* bitmap, const TRect& cell, TColor colour) {
  TCanvas* canvas = bitmap->Canvas();
  canvas->Brush()->Color = colour;
  canvas->Brush()->Style = bsSolid;
  canvas->Pen()->Color = colour;
  canvas->Pen()->Width = 1;
  canvas->Pen()->Mode = pmCopy;
  canvas->Rectangle(cell);
}

std::unique_ptr<TBitmap> FramedCopy(TBitmap* bitmap, const TRect& frame) {
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(bitmap);
  if (copy->PixelFormat() != pf24bit) copy->SetPixelFormat(pf24bit);
  TCanvas* canvas = copy->Canvas();
  canvas->Pen()->Width = 2;
  canvas->Pen()->Mode = pmNot;
  canvas->Brush()->Style = bsClear;
  canvas->Rectangle(frame);
  return copy;
}

bool SelectCell(TMouseButton button, int x, int y, const TCellGrid& grid, int& col, int& row) {
  if (button != mbLeft) return false;
  grid.CellAt(x, y, col, row);
  return true;
}

void ShowFramed(TImage* view, TBitmap* bitmap, const TRect& frame) {
  const std::unique_ptr<TBitmap> copy = FramedCopy(bitmap, frame);
  view->Picture()->Assign(copy.get());
}

void ShowPlain(TImage* view, TBitmap* bitmap) { view->Picture()->Assign(bitmap); }

bool SelectSourceCell(TMouseButton button, int x, int y, const TCellGrid& grid, int& col, int& row, TImage* view,
                      TBitmap* source) {
  if (!SelectCell(button, x, y, grid, col, row)) return false;
  ShowFramed(view, source, grid.CellRect(col, row));
  return true;
}
