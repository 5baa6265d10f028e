// Pixel access shared by the device stand-in and the canvas: a view of one bitmap's rows
// with its colour table or channel masks. Not part of the public interface.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "classlib/gdi.h"

namespace gdi_detail {

// One bitmap's pixels as the drawing code sees them. Rows are addressed from the top.
struct Surface {
  int Width = 0;
  int Height = 0;
  int Bits = 0;               // 1, 4, 8, 16, 24 or 32
  std::int64_t Stride = 0;
  bool TopDown = false;
  std::uint8_t* Pixels = nullptr;
  const RGBQUAD* Colors = nullptr;  // indexed formats: 2^Bits entries
  int ColorCount = 0;
  DWORD Masks[3] = {0, 0, 0};       // 16 and 32 bits: red, green, blue

  bool Indexed() const { return Bits <= 8; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
  std::uint8_t* Row(int y) const {
    return Pixels + (TopDown ? y : Height - 1 - y) * Stride;
  }
  // The stored value of a pixel: an index, or the packed 16/24/32-bit word.
  DWORD Raw(int x, int y) const;
  void SetRaw(int x, int y, DWORD value) const;
  // The colour a stored value stands for (an index beyond the table is black).
  COLORREF ColorOf(DWORD raw) const;
  COLORREF Color(int x, int y) const { return ColorOf(Raw(x, y)); }
  // The stored value nearest to a plain colour.
  DWORD Encode(COLORREF colour) const;
  // The bits a stored value occupies (for inversion and xor).
  DWORD RawMask() const;
};

// Nearest entry by squared RGB distance; the lowest index wins a tie.
int NearestIndex(const RGBQUAD* colors, int count, COLORREF colour);

// Remembers nearest-entry answers during one transfer.
class ColourEncoder {
public:
  explicit ColourEncoder(const Surface& target) : target_(target) {}
  DWORD operator()(COLORREF colour);

private:
  const Surface& target_;
  std::unordered_map<COLORREF, DWORD> cache_;
};

// Default channel masks of a format (16 bits: 5-5-5).
void DefaultMasks(int bits, DWORD masks[3]);

// The surface of the bitmap selected into a device context; false when none.
bool DcSurface(HDC dc, Surface& surface);
// The surface of a DIB section handle; false when the handle is not one.
bool BitmapSurface(HBITMAP bitmap, Surface& surface);
// Replaces the colour table of an indexed DIB section (entries beyond count become black).
bool SetSectionTable(HBITMAP bitmap, const RGBQUAD* colors, int count);

// Nearest-neighbour copy of src [sx, sx+sw) × [sy, sy+sh) (rows from the top) onto
// dst [dx, dx+dw) × [dy, dy+dh); a negative extent mirrors. Pixels outside either surface are
// skipped. Same indexed depth and same table copy indices unchanged.
void Stretch(const Surface& dst, int dx, int dy, int dw, int dh, const Surface& src, int sx, int sy,
             int sw, int sh);

}  // namespace gdi_detail

namespace gdi_detail {

// The table an indexed bitmap gets when no colours are known: black and white for 1 bit,
// the sixteen standard colours for 4 bits, and for 8 bits those sixteen, a 6×6×6 cube and
// 24 greys.
std::vector<RGBQUAD> DefaultColorTable(int bits);

}  // namespace gdi_detail
