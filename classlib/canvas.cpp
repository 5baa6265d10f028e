// TCanvas: drawing into whatever bitmap its device context holds.
#include <algorithm>
#include <vector>

#include "classlib/gdi_internal.h"
#include "classlib/graphics.h"

using gdi_detail::Surface;

namespace {

// The stored value that draws a colour: a palette-index colour names an entry of an indexed
// bitmap directly; anything else is matched as plain RGB.
DWORD RawOf(const Surface& s, TColor colour) {
  const auto value = static_cast<DWORD>(colour);
  if ((value >> 24) == 0x01 && s.Indexed() && (value & 0xFFFF) < static_cast<DWORD>(s.ColorCount))
    return value & 0xFFFF;
  return s.Encode(ColorToRGB(colour));
}

struct Clip {
  int Left, Top, Right, Bottom;
};

Clip ClipTo(const Surface& s, int left, int top, int right, int bottom) {
  return Clip{std::max(left, 0), std::max(top, 0), std::min(right, s.Width), std::min(bottom, s.Height)};
}

}  // namespace

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

HDC TCanvas::Handle() {
  if (handle_ == 0) CreateHandle();
  return handle_;
}

void TCanvas::SetHandle(HDC dc) { handle_ = dc; }

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  Surface s;
  if (x1 == x2 || y1 == y2 || !gdi_detail::DcSurface(Handle(), s)) return;
  const int pw = std::max(pen_.Width, 1);
  const bool framed = pen_.Mode != pmNop;
  const bool filled = brush_.Style != bsClear;
  const DWORD brushRaw = RawOf(s, brush_.Color);
  const DWORD mask = s.RawMask();
  DWORD penRaw = 0;
  switch (pen_.Mode) {
    case pmBlack: penRaw = s.Encode(0); break;
    case pmWhite: penRaw = s.Encode(0xFFFFFF); break;
    case pmCopy:
    case pmXor: penRaw = RawOf(s, pen_.Color); break;
    case pmNotCopy: penRaw = s.Encode(~ColorToRGB(pen_.Color) & 0xFFFFFF); break;
    default: break;
  }
  const Clip c = ClipTo(s, x1, y1, x2, y2);
  // Each pixel is visited once, so an inverting frame whose sides overlap still inverts
  // every pixel of its band exactly once.
  for (int y = c.Top; y < c.Bottom; ++y) {
    const bool rowBand = y < y1 + pw || y >= y2 - pw;
    for (int x = c.Left; x < c.Right; ++x) {
      const bool band = framed && (rowBand || x < x1 + pw || x >= x2 - pw);
      if (!band) {
        if (filled) s.SetRaw(x, y, brushRaw);
        continue;
      }
      switch (pen_.Mode) {
        case pmNot: s.SetRaw(x, y, s.Raw(x, y) ^ mask); break;
        case pmXor: s.SetRaw(x, y, (s.Raw(x, y) ^ penRaw) & mask); break;
        default: s.SetRaw(x, y, penRaw); break;
      }
    }
  }
  if (OnChange) OnChange(this);
}

void TCanvas::FillRect(const TRect& rect) {
  Surface s;
  if (brush_.Style == bsClear || !gdi_detail::DcSurface(Handle(), s)) return;
  const DWORD raw = RawOf(s, brush_.Color);
  const Clip c = ClipTo(s, std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
                        std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom));
  for (int y = c.Top; y < c.Bottom; ++y)
    for (int x = c.Left; x < c.Right; ++x) s.SetRaw(x, y, raw);
  if (OnChange) OnChange(this);
}

TColor TCanvas::Pixels(int x, int y) { return static_cast<TColor>(GetPixel(Handle(), x, y)); }

void TCanvas::SetPixels(int x, int y, TColor colour) {
  const auto value = static_cast<DWORD>(colour);
  const COLORREF c = (value >> 24) == 0x01 ? value : ColorToRGB(colour);
  if (SetPixel(Handle(), x, y, c) != CLR_INVALID && OnChange) OnChange(this);
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return;
  graphic->DrawOnCanvas(this, Rect(x, y, x + graphic->Width(), y + graphic->Height()));
  if (OnChange) OnChange(this);
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return;
  graphic->DrawOnCanvas(this, rect);
  if (OnChange) OnChange(this);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& sourceRect) {
  Surface dst, src;
  if (source == nullptr || CopyMode != SRCCOPY || !gdi_detail::DcSurface(Handle(), dst) ||
      !gdi_detail::DcSurface(source->Handle(), src))
    return;
  std::vector<std::uint8_t> snapshot;
  if (src.Pixels == dst.Pixels) {
    snapshot.assign(src.Pixels, src.Pixels + src.Stride * src.Height);
    src.Pixels = snapshot.data();
  }
  gdi_detail::Stretch(dst, dest.Left, dest.Top, dest.Width(), dest.Height(), src, sourceRect.Left,
                      sourceRect.Top, sourceRect.Width(), sourceRect.Height());
  if (OnChange) OnChange(this);
}
