// Cells of a sheet: picking them with the mouse, copying chips between sheets, filling a
// cell, and showing a sheet with the frame of its selected cell.
#pragma once

#include <memory>

#include "classlib/forms/controls.h"
#include "classlib/graphics.h"

class TImage;

// A regular grid over a picture. The mouse picks a cell by the pitch (StepX, StepY);
// the cell's area is Width×Height at Offset into its pitch, so a chip may lie inside a
// wider column (character chips) or a tile inside a larger cell (map tiles).
struct TCellGrid {
  int StepX = 16;
  int StepY = 16;
  int Width = 16;
  int Height = 16;
  int OffsetX = 0;
  int OffsetY = 0;

  TRect CellRect(int col, int row) const;
  // Truncating division, so positions left of or above the picture still land in cell 0.
  void CellAt(int x, int y, int& col, int& row) const;
};

// Selection reacts to the left button only: any other button leaves col and row as they
// were and answers false.
bool SelectCell(TMouseButton button, int x, int y, const TCellGrid& grid, int& col, int& row);

// A grid whose cells fill their pitch.
constexpr TCellGrid PlainGrid(int width, int height) { return TCellGrid{width, height, width, height, 0, 0}; }

// Where a chip lands: the top left corner of its cell.
inline TPoint TopLeft(const TRect& rect) { return Point(rect.Left, rect.Top); }

// Copies sourceRect of source to destPos on dest. With replace, the chip passes through a
// 24-bit scratch bitmap in which every pixel exactly equal to from becomes to; the source
// is never touched.
void TransferChip(TBitmap* source, const TRect& sourceRect, TBitmap* dest, const TPoint& destPos,
                  bool replace, TColor from, TColor to);

// Paints the whole cell, border included, in colour.
void FillCell(TBitmap* bitmap, const TRect& cell, TColor colour);

// A display copy of bitmap with an inverting frame two pixels wide along the inside of frame.
// The copy is 24-bit, so the inversion is exact whatever the source's format.
std::unique_ptr<TBitmap> FramedCopy(TBitmap* bitmap, const TRect& frame);

// A source picture's selection by mouse: on the left button the source's col and row
// follow the grid and its view shows the source with the selected cell framed; any other
// button changes nothing. False when nothing changed.
bool SelectSourceCell(TMouseButton button, int x, int y, const TCellGrid& grid, int& col, int& row, TImage* view,
                      TBitmap* source);

// Sets the view's picture to a fresh copy of bitmap, with or without the frame. Because
// the copy is fresh each time there is never a second frame, and the working bitmap
// never carries one.
void ShowFramed(TImage* view, TBitmap* bitmap, const TRect& frame);
void ShowPlain(TImage* view, TBitmap* bitmap);
