#include "dib/UlmDIB_Graphic.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "classlib/sizes.h"
#include "dib/UlmDIB_Convert.h"

HPALETTE HalftonePalette = 0;
HPALETTE BlackWhitePalette = 0;

namespace {

// Every bitmap's first data lies in file mappings, so that a canvas can draw into it.
constexpr bool DefaultUseFMO = true;

constexpr const char* SCannotCreateMemoryDC = "TUlmDIBCanvas.Create: Cannot Create Memory DC";

bool initialized = false;
bool finalized = false;

// The data as the device reads it: the header and the whole colour table.
BITMAPINFO InfoOf(const DIBInfos& infos) {
  BITMAPINFO info{};
  info.bmiHeader = infos.Header;
  std::memcpy(info.bmiColors, infos.Colors, sizeof info.bmiColors);
  return info;
}

// InfoOf for drawing, with the run-length data's size taken from the memory actually held;
// false when the pixel memory is shorter than the rows the header describes, which the
// device would read past.
bool DrawableInfo(const DIBInfos& infos, BITMAPINFO& info) {
  info = InfoOf(infos);
  BITMAPINFOHEADER& h = info.bmiHeader;
  if (infos.Bits == nullptr || infos.ImageSize <= 0) return false;
  if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4) {
    h.biSizeImage = static_cast<DWORD>(infos.ImageSize);
    return true;
  }
  const auto rows = CheckedMulAdd(UlmRowBytes(h.biWidth, h.biBitCount), std::llabs(static_cast<std::int64_t>(h.biHeight)));
  return rows && infos.ImageSize >= *rows;
}

// One of the unit's shared palettes, made on first use.
HPALETTE SharedPalette(HPALETTE& slot, const RGBQUAD* quads, std::size_t count) {
  if (slot != 0) return slot;
  auto log = std::make_unique<LOGPALETTE>();
  log->palVersion = 0x300;
  log->palNumEntries = static_cast<WORD>(count);
  for (std::size_t i = 0; i < count; ++i)
    log->palPalEntry[i] = PALETTEENTRY{quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 0};
  slot = CreatePalette(log.get());
  if (slot == 0) throw EOutOfResources("TUlmDIB.GetPalette: Cannot Make Palette(1)");
  return slot;
}

// Sets a bitmap's halftone mode to 0 for one step and restores it however the step ends.
class PlainColours {
public:
  explicit PlainColours(TUlmDIB* bitmap) : bitmap_(bitmap), saved_(bitmap->HalftoneMode) { bitmap->HalftoneMode = 0; }
  ~PlainColours() { bitmap_->HalftoneMode = saved_; }
  PlainColours(const PlainColours&) = delete;
  PlainColours& operator=(const PlainColours&) = delete;

private:
  TUlmDIB* bitmap_;
  std::uint8_t saved_;
};

struct ProgressAnnouncement {
  TUlmPixelFormat From;
  TUlmPixelFormat To;
  std::int32_t Total;
  const char* Message;
};

// The conversions that run a quantiser, which reports one step per palette position.
constexpr ProgressAnnouncement Announcements[] = {
    {TUlmPixelFormat::Bit8, TUlmPixelFormat::Bit4, 16, "PixelFormat 8Bit -> 4Bit"},
    {TUlmPixelFormat::Bit8, TUlmPixelFormat::Bit4RLE, 16, "PixelFormat 8Bit -> 4BitRLE"},
    {TUlmPixelFormat::Bit8RLE, TUlmPixelFormat::Bit4, 16, "PixelFormat 8BitRLE -> 4Bit"},
    {TUlmPixelFormat::Bit8RLE, TUlmPixelFormat::Bit4RLE, 16, "PixelFormat 8BitRLE -> 4BitRLE"},
    {TUlmPixelFormat::Bit24, TUlmPixelFormat::Bit4, 16, "PixelFormat 24Bit -> 4Bit"},
    {TUlmPixelFormat::Bit24, TUlmPixelFormat::Bit4RLE, 16, "PixelFormat 24Bit -> 4BitRLE"},
    {TUlmPixelFormat::Bit24, TUlmPixelFormat::Bit8, 256, "PixelFormat 24Bit -> 8Bit"},
    {TUlmPixelFormat::Bit24, TUlmPixelFormat::Bit8RLE, 256, "PixelFormat 24Bit -> 8BitRLE"},
};

const ProgressAnnouncement* AnnouncementFor(TUlmPixelFormat from, TUlmPixelFormat to) {
  for (const ProgressAnnouncement& a : Announcements)
    if (a.From == from && a.To == to) return &a;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Life, sharing and notification

TUlmDIB::TUlmDIB() {
  InternalDIB = new TUlmInternalDIB(DefaultUseFMO);
  UpdatePaletteModified();
}

TUlmDIB::~TUlmDIB() {
  if (InternalDIB == nullptr) return;
  try {
    ReleaseInternalDIB();
  } catch (...) {
    // Releasing data never fails with the invariants kept; a destructor must not throw.
  }
}

void TUlmDIB::ReleaseInternalDIB() {
  UlmDIBAssert(InternalDIB != nullptr, "TULMDIB.ReleaseInternalDIB: InternalDIB should not be Nil");
  TUlmInternalDIB* data = InternalDIB;
  InternalDIB = nullptr;
  if (--data->RefCount == 0) delete data;
}

void TUlmDIB::Adopt(TUlmInternalDIB* data) {
  std::unique_ptr<TUlmInternalDIB> owned(data);
  ReleaseInternalDIB();
  InternalDIB = owned.release();
  UpdatePaletteModified();
  NotifyChanged();
}

void TUlmDIB::AdoptBlank(std::int32_t width, std::int32_t height, std::int32_t bitCount, std::int32_t colorCount) {
  auto data = std::make_unique<TUlmInternalDIB>(GetUseFMO());
  data->FreeDIB();
  data->CreateDIB(width, height, bitCount, colorCount);
  Adopt(data.release());
}

void TUlmDIB::UniqueDIB() {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.UniqueDIB: InternalDIB Should not be Nil");
  if (InternalDIB->RefCount == 1) return;
  const TUlmInternalDIB& shared = *InternalDIB;
  auto copy = std::make_unique<TUlmInternalDIB>(GetUseFMO());
  copy->FreeDIB();
  copy->Width = shared.Width;
  copy->Height = shared.Height;
  copy->UseFMO = shared.UseFMO;
  copy->DIBInfos = shared.DIBInfos;
  // Until its own memory is in place the copy must not point at the shared pixels, or
  // freeing it after a failed allocation would free them.
  copy->DIBInfos.MappingHandle = 0;
  copy->DIBInfos.Bits = nullptr;
  copy->PaletteChanged = 1;
  HANDLE mapping = 0;
  void* bits = nullptr;
  GetMemory(shared.DIBInfos.ImageSize, mapping, bits, copy->UseFMO != 0);
  copy->DIBInfos.MappingHandle = mapping;
  copy->DIBInfos.Bits = bits;
  if (bits != nullptr && shared.DIBInfos.Bits != nullptr && shared.DIBInfos.ImageSize > 0)
    std::memcpy(bits, shared.DIBInfos.Bits, static_cast<std::size_t>(shared.DIBInfos.ImageSize));
  ReleaseInternalDIB();
  InternalDIB = copy.release();
  UpdatePaletteModified();
}

void TUlmDIB::UpdatePaletteModified() {
  UlmDIBAssert(InternalDIB != nullptr && InternalDIB->RefCount == 1, "TUlmDIB.UpdatePaletteModified RefCount Must be 1");
  if (InternalDIB->PaletteChanged == 0) return;
  InternalDIB->PaletteChanged = 0;
  PaletteModified = true;
}

bool TUlmDIB::GetUseFMO() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetUseFMO: InternalDIB Should not be Nil");
  return InternalDIB->UseFMO != 0;
}

// ---------------------------------------------------------------------------------------------
// Files and the clipboard

void TUlmDIB::LoadFromStream(TStream* stream) try {
  auto data = std::make_unique<TUlmInternalDIB>(GetUseFMO());
  data->LoadFromStream(stream);
  Adopt(data.release());
} catch (...) {
  RethrowLoadFailure();
}

void TUlmDIB::SaveToStream(TStream* stream) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SaveToStream: InternalDIB Should not be Nil");
  InternalDIB->SaveToStream(stream);
}

void TUlmDIB::LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE /*palette*/) try {
  if (format != CF_DIB || data == 0)
    throw EInvalidGraphic("TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");
  auto loaded = std::make_unique<TUlmInternalDIB>(GetUseFMO());
  loaded->LoadFromClipboardFormat(data);
  Adopt(loaded.release());
} catch (...) {
  RethrowLoadFailure();
}

void TUlmDIB::SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SaveToClipboardFormat: InternalDIB Should not be Nil");
  HGLOBAL block = 0;
  InternalDIB->SaveToClipboardFormat(block);
  format = CF_DIB;
  palette = 0;
  data = block;
}

WORD TUlmDIB::ClipboardFormat() const { return CF_DIB; }

// ---------------------------------------------------------------------------------------------
// Assignment

void TUlmDIB::Assign(TPersistent* source) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.Assign: InternalDIB Should not be Nil");
  if (source == nullptr) {
    Adopt(new TUlmInternalDIB(GetUseFMO()));
    return;
  }
  if (auto* other = dynamic_cast<TUlmDIB*>(source)) {
    if (other == this) return;
    UlmDIBAssert(other->InternalDIB != nullptr, "TUlmDIB.Assign: InternalDIB Should not be Nil");
    TUlmInternalDIB* data = other->InternalDIB;
    ++data->RefCount;  // before the release, in case both already share it
    ReleaseInternalDIB();
    InternalDIB = data;
    MaskColor = other->MaskColor;
    ConvertQuality = other->ConvertQuality;
    HalftoneMode = other->HalftoneMode;
    PaletteModified = true;
    NotifyChanged();
    return;
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(source)) {
    AssignFromBitmap(bitmap);
    return;
  }
  TUlmGraphic::Assign(source);
}

void TUlmDIB::AssignFromBitmap(TBitmap* bitmap) {
  int width = 0, height = 0, bits = 0;
  const HBITMAP handle = bitmap->Handle();
  BITMAP object{};
  if (handle != 0 && GetObjectA(handle, sizeof object, &object) != 0) {
    width = object.bmWidth;
    height = object.bmHeight;
    bits = object.bmPlanes * object.bmBitsPixel;
  }
  if (bits == 16 || bits == 32) bits = 24;
  auto data = std::make_unique<TUlmInternalDIB>(GetUseFMO());
  data->FreeDIB();
  data->CreateDIB(width, height, bits, 0);

  const HDC dc = GetDC(0);
  if (dc == 0) throw EOutOfResources(SOutOfResources);
  const HPALETTE palette = bitmap->Palette();
  const HPALETTE previous = palette != 0 ? SelectPalette(dc, palette, 1) : 0;
  if (previous != 0) RealizePalette(dc);
  BITMAPINFO info = InfoOf(data->DIBInfos);
  const int lines = GetDIBits(dc, handle, 0, static_cast<UINT>(data->Height), data->DIBInfos.Bits, &info, DIB_RGB_COLORS);
  if (previous != 0) SelectPalette(dc, previous, 1);
  ReleaseDC(0, dc);
  // A transfer that did not happen must not pass for a black picture.
  if (lines == 0) throw EOutOfResources(SOutOfResources);

  BITMAPINFOHEADER& h = data->DIBInfos.Header;
  h = info.bmiHeader;
  std::memcpy(data->DIBInfos.Colors, info.bmiColors, sizeof info.bmiColors);
  if (h.biClrUsed == 0) h.biClrUsed = static_cast<DWORD>(ColorsOfBitCount(h.biBitCount));
  FixResolutions(h);
  data->UpdatePalette();
  Adopt(data.release());
}

void TUlmDIB::AssignTo(TPersistent* dest) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.AssignTo: InternalDIB Should not be Nil");
  if (auto* other = dynamic_cast<TUlmDIB*>(dest)) {
    other->Assign(this);
    return;
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
    AssignToBitmap(bitmap);
    return;
  }
  TUlmGraphic::AssignTo(dest);
}

void TUlmDIB::AssignToBitmap(TBitmap* bitmap) {
  TPixelFormat format = pf24bit;
  switch (GetPixelFormat()) {
    case TUlmPixelFormat::Bit1: format = pf1bit; break;
    case TUlmPixelFormat::Bit4:
    case TUlmPixelFormat::Bit4RLE: format = pf4bit; break;
    case TUlmPixelFormat::Bit8:
    case TUlmPixelFormat::Bit8RLE: format = pf8bit; break;
    case TUlmPixelFormat::Bit24: format = pf24bit; break;
    default: UlmDIBAssert(false, "TUlmDIB.AssignTo: Illegal PixelFormat");
  }
  BITMAPINFO info;
  if (!DrawableInfo(InternalDIB->DIBInfos, info)) throw EInvalidGraphic(SInvalidBitmap);
  const int width = GetWidth(), height = GetHeight();
  bitmap->SetHeight(height);
  bitmap->SetWidth(width);
  bitmap->SetPixelFormat(format);
  {
    // The bitmap gets the image's own colours whatever the halftone mode.
    PlainColours plain(this);
    bitmap->SetPalette(CopyPalette(GetPalette()));
  }
  if (StretchDIBits(bitmap->Canvas()->Handle(), 0, 0, width, height, 0, 0, width, height,
                    InternalDIB->DIBInfos.Bits, &info, DIB_RGB_COLORS, SRCCOPY) == 0)
    throw EOutOfResources(SOutOfResources);
}

// ---------------------------------------------------------------------------------------------
// Size, depth and colours

bool TUlmDIB::GetEmpty() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetEmpty: InternalDIB Should not be Nil");
  return false;
}

int TUlmDIB::GetWidth() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetWidth: InternalDIB Should not be Nil");
  return InternalDIB->Width;
}

int TUlmDIB::GetHeight() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetHeight: InternalDIB Should not be Nil");
  return InternalDIB->Height;
}

int TUlmDIB::GetBitCount() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetBitCount: InternalDIB Should not be Nil");
  return InternalDIB->DIBInfos.Header.biBitCount;
}

void TUlmDIB::SetWidth(int width) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SetWidth: InternalDIB Should not be Nil");
  if (width <= 0) throw EUlmDIBInvalidDIBPara("TUlmDIB.SetWidth: Invalid Width");
  if (width == InternalDIB->Width) return;
  const BITMAPINFOHEADER& h = InternalDIB->DIBInfos.Header;
  AdoptBlank(width, InternalDIB->Height, h.biBitCount, static_cast<std::int32_t>(h.biClrUsed));
}

void TUlmDIB::SetImageHeight(int height) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SetImageHeight: InternalDIB Should not be Nil");
  if (height == 0) throw EUlmDIBInvalidDIBPara("TUlmDIB.SetImageHeight: Invalid Height");
  if (height == InternalDIB->Height) return;
  const BITMAPINFOHEADER& h = InternalDIB->DIBInfos.Header;
  AdoptBlank(InternalDIB->Width, height, h.biBitCount, static_cast<std::int32_t>(h.biClrUsed));
}

void TUlmDIB::SetBitCount(int bitCount) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SetBitCount: InternalDIB Should not be Nil");
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
    throw EUlmDIBInvalidDIBPara("TUlmDIB.SetBitCount: Invalid BitCount");
  if (bitCount == InternalDIB->DIBInfos.Header.biBitCount) return;
  AdoptBlank(InternalDIB->Width, InternalDIB->Height, bitCount, ColorsOfBitCount(bitCount));
}

TColor TUlmDIB::GetColors(int index) const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetColors: InternalDIB Should not be Nil");
  if (index < 0 || index > 255) throw EUlmDIBPaletteIndexRange("TUlmDIB.GetColors: Palette Index is Out of Range");
  const RGBQUAD& q = InternalDIB->DIBInfos.Colors[index];
  return static_cast<TColor>(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
}

void TUlmDIB::SetColors(int index, TColor colour) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SetColors: InternalDIB Should not be Nil");
  if (index < 0 || index > 255) throw EUlmDIBPaletteIndexRange("TUlmDIB.SetColors: Palette Index is Out of Range");
  UniqueDIB();
  const COLORREF rgb = ColorToRGB(colour);
  InternalDIB->DIBInfos.Colors[index] = RGBQUAD{GetBValue(rgb), GetGValue(rgb), GetRValue(rgb), 0};
  InternalDIB->UpdatePalette();
  UpdatePaletteModified();
  NotifyChanged();
}

HPALETTE TUlmDIB::GetPalette() const {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.GetPalette: InternalDIB Should not be Nil");
  if (HalftoneMode == 1) return SharedPalette(HalftonePalette, HalftoneQuads.data(), HalftoneQuads.size());
  if (HalftoneMode == 2) return SharedPalette(BlackWhitePalette, BlackWhiteQuads.data(), BlackWhiteQuads.size());
  TUlmInternalDIB& data = *InternalDIB;
  if (data.PaletteHandle == 0 && data.DIBInfos.Header.biClrUsed != 0) data.PaletteHandle = data.MakePalette();
  return data.PaletteHandle;
}

void TUlmDIB::SetPalette(HPALETTE palette) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.SetPalette: InternalDIB Should not be Nil");
  const HPALETTE heldBefore = InternalDIB->PaletteHandle;
  UniqueDIB();
  TUlmInternalDIB& data = *InternalDIB;
  if (palette == 0) {
    data.DIBInfos.Header.biClrUsed = 0;
    data.UpdatePalette();
  } else {
    PALETTEENTRY entries[256];
    const UINT count = GetPaletteEntries(palette, 0, 256, entries);
    if (count == 0) throw EUlmDIBInvalidPalette("TUlmDIB.SetPalette: Invalid Palette");
    data.DIBInfos.Header.biClrUsed = count;
    for (UINT i = 0; i < count; ++i)
      data.DIBInfos.Colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    if (palette == data.PaletteHandle) {
      data.PaletteChanged = 1;  // the handle already describes the table it was made from
    } else {
      data.UpdatePalette();
      // A handle that other data or the unit owns would be deleted twice: keep a copy of it.
      const bool ownedElsewhere =
          palette == heldBefore || palette == HalftonePalette || palette == BlackWhitePalette;
      data.PaletteHandle = ownedElsewhere ? CopyPalette(palette) : palette;
    }
  }
  UpdatePaletteModified();
  NotifyChanged();
}

// ---------------------------------------------------------------------------------------------
// Pixel format and progress

TUlmPixelFormat TUlmDIB::GetPixelFormat() const { return ::GetPixelFormat(InternalDIB); }

void TUlmDIB::ChangePixelFormat(TUlmPixelFormat target) {
  UlmDIBAssert(InternalDIB != nullptr, "TUlmDIB.ChangePixelFormat: InternalDIB Should not be Nil");
  const TUlmPixelFormat current = GetPixelFormat();
  if (target == current) return;
  UniqueDIB();
  const ProgressAnnouncement* announced = AnnouncementFor(current, target);
  if (announced != nullptr) {
    SetProgress(announced->Total, announced->Message);
    ProgressBegin();
  }
  try {
    SetPixelsFormat(InternalDIB, target, ConvertQuality, ColorToRGB(MaskColor),
                    [this](std::int32_t) { ProgressStep(); });
  } catch (...) {
    try {
      UpdatePaletteModified();
      if (announced != nullptr) ProgressEnd();
    } catch (...) {
      // The conversion's own error is the one the caller hears about.
    }
    throw;
  }
  UpdatePaletteModified();
  if (announced != nullptr) ProgressEnd();
  UpdatePaletteModified();
  NotifyChanged();
}

void TUlmDIB::SetProgress(std::int32_t total, const std::string& message) {
  ProgressMessage = message;
  ProgressTotal = total;
  ProgressCount = 0;
}

void TUlmDIB::ProgressBegin() {
  Progress(this, psStarting, 0, false, Rect(0, 0, GetWidth(), GetHeight()), ProgressMessage);
}

void TUlmDIB::ProgressStep() {
  ++ProgressCount;
  // The last step is reported by ProgressEnd; a step nobody announced has no percentage.
  if (ProgressCount == ProgressTotal || ProgressTotal <= 0) return;
  const auto percent = static_cast<std::uint8_t>(static_cast<std::int64_t>(ProgressCount) * 100 / ProgressTotal);
  Progress(this, psRunning, percent, false, Rect(0, 0, GetWidth(), GetHeight()), ProgressMessage);
}

void TUlmDIB::ProgressEnd() {
  Progress(this, psEnding, 100, true, Rect(0, 0, GetWidth(), GetHeight()), ProgressMessage);
}

// ---------------------------------------------------------------------------------------------
// Drawing

void TUlmDIB::DrawOnCanvas(TCanvas* canvas, const TRect& rect) {
  if (canvas == nullptr) return;
  if (HalftoneMode == 1 || HalftoneMode == 2) {
    DrawHalftone(canvas, rect);
  } else {
    DrawPlain(canvas, rect);
  }
}

void TUlmDIB::DrawPlain(TCanvas* canvas, const TRect& rect) {
  BITMAPINFO info;
  if (!DrawableInfo(InternalDIB->DIBInfos, info)) return;
  const HDC dc = canvas->Handle();
  const HPALETTE palette = GetPalette();
  HPALETTE previous = 0;
  if (palette != 0) {
    previous = SelectPalette(dc, palette, 1);
    RealizePalette(dc);
  }
  const int previousMode = SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, 0, 0, GetWidth(),
                GetHeight(), InternalDIB->DIBInfos.Bits, &info, DIB_RGB_COLORS, canvas->CopyMode);
  if (previousMode != 0) SetStretchBltMode(dc, previousMode);
  if (previous != 0) SelectPalette(dc, previous, 1);
}

void TUlmDIB::DrawHalftone(TCanvas* canvas, const TRect& rect) {
  const int width = std::abs(rect.Right - rect.Left);
  const int height = std::abs(rect.Bottom - rect.Top);
  if (width == 0 || height == 0) return;
  const TUlmPixelFormat halftone = HalftoneMode == 1 ? TUlmPixelFormat::HalfTone : TUlmPixelFormat::HalfToneBW;
  auto temporary = std::make_unique<TUlmDIB>();
  {
    PlainColours plain(this);
    temporary->SetWidth(width);
    temporary->SetImageHeight(height);
    temporary->SetBitCount(GetBitCount());
    temporary->SetPalette(CopyPalette(GetPalette()));
    TUlmDIBCanvas onTemporary(temporary.get());
    // Drawn upright at the destination's size; a mirroring rectangle mirrors in the last step.
    onTemporary.StretchDraw(Rect(0, 0, width, height), this);
  }
  temporary->ChangePixelFormat(halftone);
  temporary->DrawOnCanvas(canvas, rect);
}

// ---------------------------------------------------------------------------------------------
// TUlmDIBCanvas

TUlmDIBCanvas::TUlmDIBCanvas(TUlmDIB* bitmap) {
  if (bitmap == nullptr || !bitmap->GetUseFMO()) throw EUlmDIBCanvasFailed("TUlmDIBCanvas.Create: Cannot Create Canvas");
  TargetDIB = bitmap;
  try {
    Open();
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The failure that stopped the construction is the one to report.
    }
    throw;
  }
}

TUlmDIBCanvas::~TUlmDIBCanvas() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the bitmap's change handler is the caller's code.
  }
}

void TUlmDIBCanvas::Open() {
  TargetDIB->UniqueDIB();
  MemoryDC = CreateCompatibleDC(0);
  if (MemoryDC == 0) throw EOutOfResources(SCannotCreateMemoryDC);
  {
    PlainColours plain(TargetDIB);
    const HPALETTE palette = TargetDIB->GetPalette();
    if (palette != 0 && SelectPalette(MemoryDC, palette, 1) != 0) RealizePalette(MemoryDC);
  }
  const DIBInfos& infos = TargetDIB->InternalDIB->DIBInfos;
  // Without a mapping the section would get memory of its own, and the drawing would never
  // reach the bitmap.
  if (infos.MappingHandle == 0) throw EOutOfResources(SCannotCreateMemoryDC);
  const BITMAPINFO info = InfoOf(infos);
  void* bits = nullptr;
  SectionHandle = CreateDIBSection(MemoryDC, &info, DIB_RGB_COLORS, &bits, infos.MappingHandle, 0);
  if (SectionHandle == 0) throw EOutOfResources(SCannotCreateMemoryDC);
  OldBitmap = SelectObject(MemoryDC, SectionHandle);
  if (OldBitmap == 0) throw EOutOfResources(SCannotCreateMemoryDC);
  SetHandle(MemoryDC);
}

void TUlmDIBCanvas::Close() {
  if (OldBitmap != 0) {
    SelectObject(MemoryDC, OldBitmap);
    OldBitmap = 0;
  }
  if (SectionHandle != 0) {
    DeleteObject(SectionHandle);
    SectionHandle = 0;
  }
  SetHandle(0);
  if (MemoryDC != 0) {
    DeleteDC(MemoryDC);
    MemoryDC = 0;
  }
  if (TargetDIB != nullptr) {
    TargetDIB->UpdatePaletteModified();
    TargetDIB->NotifyChanged();
  }
}

// ---------------------------------------------------------------------------------------------
// Registration

void UlmDIB_Initialize() {
  if (initialized) return;
  initialized = true;
  HalftonePalette = 0;
  BlackWhitePalette = 0;
  RegisterPictureClipboardFormat(CF_DIB, ClassOf<TUlmDIB>());
  RegisterPictureFormat("dib", "Device Independent Bitmap", ClassOf<TUlmDIB>());
}

void UlmDIB_Finalize() {
  if (!initialized || finalized) return;
  finalized = true;
  if (HalftonePalette != 0) DeleteObject(HalftonePalette);
  if (BlackWhitePalette != 0) DeleteObject(BlackWhitePalette);
  HalftonePalette = 0;
  BlackWhitePalette = 0;
  UnregisterPictureFormat(ClassOf<TUlmDIB>());
}
