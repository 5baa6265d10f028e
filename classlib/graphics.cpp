// TGraphic's shared behaviour and TBitmap, the device-independent bitmap.
#include "classlib/graphics.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "classlib/bmpfile.h"
#include "classlib/gdi_internal.h"
#include "classlib/sizes.h"

using gdi_detail::Surface;

namespace {

constexpr const char* SScanLineRange = "スキャンラインのインデックスが範囲を超えています";
constexpr const char* SUnknownClipboardFormat = "サポートされていないクリップボード形式です";

// Which bitmap owns each palette handle it holds, so that a handle passed from one bitmap
// to another is copied rather than owned twice. Bitmaps on every thread share the table, so
// it is only reached under its lock.
// Never destroyed, for bitmaps in static storage that let go of their palettes at exit.
struct PaletteOwnerTable {
  std::mutex Lock;
  std::unordered_map<HPALETTE, const TBitmap*> Owners;
};

PaletteOwnerTable& PaletteOwners() {
  static auto* table = new PaletteOwnerTable;
  return *table;
}

void ClaimPalette(HPALETTE palette, const TBitmap* owner) {
  PaletteOwnerTable& table = PaletteOwners();
  const std::lock_guard lock(table.Lock);
  table.Owners[palette] = owner;
}

void ForgetPalette(HPALETTE palette) {
  PaletteOwnerTable& table = PaletteOwners();
  const std::lock_guard lock(table.Lock);
  table.Owners.erase(palette);
}

bool OwnedByAnother(HPALETTE palette, const TBitmap* bitmap) {
  PaletteOwnerTable& table = PaletteOwners();
  const std::lock_guard lock(table.Lock);
  const auto owner = table.Owners.find(palette);
  return owner != table.Owners.end() && owner->second != bitmap;
}

int BitsOf(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
  }
}

bool IsIndexed(TPixelFormat format) { return format == pf1bit || format == pf4bit || format == pf8bit; }

std::int64_t StrideOf(std::int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

std::vector<RGBQUAD> PaletteQuads(HPALETTE palette) {
  PALETTEENTRY entries[256];
  const UINT n = GetPaletteEntries(palette, 0, 256, entries);
  std::vector<RGBQUAD> quads;
  for (UINT i = 0; i < n; ++i) quads.push_back(RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0});
  return quads;
}

HPALETTE PaletteFromQuads(const std::vector<RGBQUAD>& quads) {
  if (quads.empty()) return 0;
  LOGPALETTE log{};
  log.palVersion = 0x300;
  log.palNumEntries = static_cast<WORD>(std::min<std::size_t>(quads.size(), 256));
  for (WORD i = 0; i < log.palNumEntries; ++i)
    log.palPalEntry[i] = PALETTEENTRY{quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 0};
  return CreatePalette(&log);
}

// Holds back OnChange during one operation, so that the operation notifies once at its end.
class ChangeBatch {
public:
  explicit ChangeBatch(TGraphic* graphic) : graphic_(graphic), saved_(std::move(graphic->OnChange)) {
    graphic_->OnChange = nullptr;
  }
  ~ChangeBatch() { graphic_->OnChange = std::move(saved_); }
  ChangeBatch(const ChangeBatch&) = delete;
  ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
  TGraphic* graphic_;
  TNotifyEvent saved_;
};

}  // namespace

HPALETTE CopyPalette(HPALETTE palette) { return PaletteFromQuads(PaletteQuads(palette)); }

// ---------------------------------------------------------------------------------------------
// TGraphic

void TGraphic::LoadFromFile(const std::string& fileName) try {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
} catch (...) {
  RethrowLoadFailure();
}

void TGraphic::SaveToFileName(const std::string& fileName) {
  WriteFileAtomically(fileName, [this](TStream* stream) { SaveToStream(stream); });
}

void TGraphic::ApplyTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  NotifyChanged();
}

void TGraphic::NotifyChanged() {
  Modified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* sender, TProgressStage stage, std::uint8_t percent, bool redrawNow,
                        const TRect& rect, const std::string& message) {
  if (OnProgress) OnProgress(sender, stage, percent, redrawNow, rect, message);
}

// ---------------------------------------------------------------------------------------------
// TBitmap's image and canvas

struct TBitmap::Image {
  TPixelFormat Format = pf24bit;
  int Width = 0;
  int Height = 0;
  std::vector<RGBQUAD> Table;  // 2^bits entries for indexed formats
  BITMAPINFO Info{};
  HBITMAP Section = 0;
  std::uint8_t* Bits = nullptr;
  HPALETTE Palette = 0;    // owned; made from the table on demand, or adopted
  bool Adopted = false;    // Palette came from SetPalette rather than from the table
  int AdoptedCount = 0;

  Image() = default;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image() {
    DropPalette();
    if (Section != 0) DeleteObject(Section);
  }
  bool Empty() const { return Width <= 0 || Height <= 0; }
  int Bits_() const { return BitsOf(Format); }
  std::int64_t Stride() const { return StrideOf(Width, Bits_()); }
  void DropPalette() {
    if (Palette != 0) {
      ForgetPalette(Palette);
      DeleteObject(Palette);
    }
    Palette = 0;
    Adopted = false;
    AdoptedCount = 0;
  }
  Surface View() const {
    Surface s;
    gdi_detail::BitmapSurface(Section, s);
    return s;
  }

  // An image of the given format and size with zeroed pixels; indexed formats get table
  // (padded with black, or cut, to 2^bits entries).
  static std::unique_ptr<Image> Make(TPixelFormat format, int width, int height, std::vector<RGBQUAD> table) {
    auto image = std::make_unique<Image>();
    image->Format = format;
    image->Width = std::max(width, 0);
    image->Height = std::max(height, 0);
    if (IsIndexed(format)) {
      table.resize(std::size_t{1} << BitsOf(format), RGBQUAD{0, 0, 0, 0});
      for (auto& q : table) q.rgbReserved = 0;
      image->Table = std::move(table);
    }
    image->FillInfo();
    if (!image->Empty()) {
      const std::uint64_t bytes = static_cast<std::uint64_t>(image->Stride()) * static_cast<std::uint64_t>(image->Height);
      if (bytes > std::uint64_t{MaxPixelBytes}) throw EOutOfResources(SOutOfResources);
      void* bits = nullptr;
      image->Section = CreateDIBSection(0, &image->Info, DIB_RGB_COLORS, &bits, 0, 0);
      if (image->Section == 0) throw EOutOfResources(SOutOfResources);
      image->Bits = static_cast<std::uint8_t*>(bits);
    }
    return image;
  }
  void FillInfo() {
    BITMAPINFOHEADER& h = Info.bmiHeader;
    h = BITMAPINFOHEADER{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = Width;
    h.biHeight = Height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(Bits_());
    h.biCompression = Format == pf16bit ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = Empty() ? 0 : static_cast<DWORD>(Stride() * Height);
    h.biClrUsed = static_cast<DWORD>(Table.size());
    std::memset(Info.bmiColors, 0, sizeof Info.bmiColors);
    std::copy(Table.begin(), Table.end(), Info.bmiColors);
    if (Format == pf16bit) {
      const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(Info.bmiColors, masks, sizeof masks);
    }
  }
};

class TBitmapCanvas : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}
  ~TBitmapCanvas() override { Release(); }
  // Points the context at the bitmap's current pixels (or lets it go while the bitmap is empty).
  void Reattach(HBITMAP section) {
    if (handle_ == 0) return;
    if (section == 0 || SelectObject(handle_, section) == 0) Release();
  }
  void Release() {
    if (handle_ != 0) {
      DeleteDC(handle_);
      handle_ = 0;
    }
  }

protected:
  void CreateHandle() override {
    HBITMAP section = bitmap_->Handle();
    if (section == 0) return;
    HDC dc = CreateCompatibleDC(0);
    if (dc == 0) return;
    if (SelectObject(dc, section) == 0) {
      DeleteDC(dc);
      return;
    }
    handle_ = dc;
  }

private:
  TBitmap* bitmap_;
};

// ---------------------------------------------------------------------------------------------
// TBitmap

TBitmap::TBitmap() : image_(Image::Make(pf24bit, 0, 0, {})) {}

TBitmap::~TBitmap() {
  canvas_.reset();  // the context lets go of the pixels before they are freed
  image_.reset();
}

void TBitmap::Replace(std::unique_ptr<Image> image) {
  if (canvas_) static_cast<TBitmapCanvas*>(canvas_.get())->Reattach(image->Section);
  if (image->Palette != 0) ClaimPalette(image->Palette, this);
  image_ = std::move(image);
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TBitmapCanvas>(this);
    canvas_->OnChange = [this](TObject*) { NotifyChanged(); };
  }
  return canvas_.get();
}

HBITMAP TBitmap::Handle() { return image_->Section; }

TPixelFormat TBitmap::PixelFormat() const { return image_->Format; }

bool TBitmap::GetEmpty() const { return image_->Empty(); }
int TBitmap::GetWidth() const { return image_->Width; }
int TBitmap::GetHeight() const { return image_->Height; }
int TBitmap::RowBytes() const { return static_cast<int>(image_->Stride()); }
const BITMAPINFO& TBitmap::Info() const { return image_->Info; }
std::vector<RGBQUAD> TBitmap::ColorTable() const { return image_->Table; }

HPALETTE TBitmap::GetPalette() const {
  Image& image = *image_;
  if (image.Palette == 0 && !image.Table.empty()) {
    image.Palette = PaletteFromQuads(image.Table);
    if (image.Palette != 0) ClaimPalette(image.Palette, this);
  }
  return image.Palette;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  // Neither the device's own format nor a custom one exists here: both mean 24 bits.
  if (format == pfDevice || format == pfCustom) format = pf24bit;
  Image& old = *image_;
  if (format == old.Format) return;
  // The colours an indexed result offers: the current table or adopted palette when it fits,
  // else the default table of the new depth.
  std::vector<RGBQUAD> table;
  bool keepPalette = false;
  if (IsIndexed(format)) {
    const std::size_t room = std::size_t{1} << BitsOf(format);
    std::vector<RGBQUAD> current;
    if (old.Adopted) {
      current = PaletteQuads(old.Palette);
    } else {
      current = old.Table;
    }
    if (!current.empty() && current.size() <= room) {
      table = current;
      keepPalette = old.Adopted;
    } else {
      table = gdi_detail::DefaultColorTable(BitsOf(format));
    }
  }
  auto image = Image::Make(format, old.Width, old.Height, table);
  if (!old.Empty()) {
    const Surface src = old.View();
    const Surface dst = image->View();
    gdi_detail::ColourEncoder encode(dst);
    for (int y = 0; y < src.Height; ++y) {
      for (int x = 0; x < src.Width; ++x) {
        const DWORD raw = src.Raw(x, y);
        const COLORREF colour = src.ColorOf(raw);
        // An index whose entry keeps its colour stays the same index.
        if (dst.Indexed() && src.Indexed() && raw < static_cast<DWORD>(dst.ColorCount) &&
            dst.ColorOf(raw) == colour) {
          dst.SetRaw(x, y, raw);
        } else {
          dst.SetRaw(x, y, encode(colour));
        }
      }
    }
  }
  if (keepPalette) {
    image->Palette = old.Palette;
    image->Adopted = true;
    image->AdoptedCount = old.AdoptedCount;
    old.Palette = 0;
    old.Adopted = false;
  }
  Replace(std::move(image));
  PaletteModified = true;
  NotifyChanged();
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  Image& old = *image_;
  if (width == old.Width && height == old.Height) return;
  auto image = Image::Make(old.Format, width, height, old.Table);
  if (!old.Empty() && !image->Empty()) {
    // The part both sizes share keeps its pixels, anchored at the top left.
    const int rows = std::min(old.Height, image->Height);
    const std::size_t bytes = static_cast<std::size_t>(std::min(old.Stride(), image->Stride()));
    for (int y = 0; y < rows; ++y) {
      std::memcpy(image->Bits + (image->Height - 1 - y) * image->Stride(),
                  old.Bits + (old.Height - 1 - y) * old.Stride(), bytes);
    }
  }
  image->Palette = old.Palette;
  image->Adopted = old.Adopted;
  image->AdoptedCount = old.AdoptedCount;
  old.Palette = 0;
  old.Adopted = false;
  Replace(std::move(image));
  NotifyChanged();
}

void TBitmap::SetWidth(int width) { SetSize(width, image_->Height); }
void TBitmap::SetImageHeight(int height) { SetSize(image_->Width, height); }

void* TBitmap::ScanLine(int y) {
  Image& image = *image_;
  if (image.Empty() || y < 0 || y >= image.Height) throw EInvalidGraphicOperation(SScanLineRange);
  return image.Bits + (image.Height - 1 - y) * image.Stride();
}

void TBitmap::SetPalette(HPALETTE palette) {
  Image& image = *image_;
  if (palette != 0 && palette == image.Palette) return;
  if (palette == 0) {
    image.DropPalette();
    PaletteModified = true;
    NotifyChanged();
    return;
  }
  std::vector<RGBQUAD> quads = PaletteQuads(palette);
  if (quads.empty()) return;  // not a palette: nothing to adopt
  // A handle that another bitmap owns stays with it; this bitmap keeps a copy.
  if (OwnedByAnother(palette, this)) palette = PaletteFromQuads(quads);
  if (!image.Table.empty()) {
    const std::size_t n = std::min(quads.size(), image.Table.size());
    std::fill(image.Table.begin(), image.Table.end(), RGBQUAD{0, 0, 0, 0});
    std::copy(quads.begin(), quads.begin() + static_cast<std::ptrdiff_t>(n), image.Table.begin());
    image.FillInfo();
    gdi_detail::SetSectionTable(image.Section, image.Table.data(), static_cast<int>(image.Table.size()));
  }
  image.DropPalette();
  image.Palette = palette;
  image.Adopted = true;
  image.AdoptedCount = static_cast<int>(quads.size());
  ClaimPalette(palette, this);
  PaletteModified = true;
  NotifyChanged();
}

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
  const Image& image = *image_;
  if (image.Empty()) return clDefault;
  return static_cast<TColor>(image.View().Color(0, image.Height - 1));
}

void TBitmap::SetTransparentColor(TColor colour) {
  const TTransparentMode mode = colour == clDefault ? tmAuto : tmFixed;
  if (colour == transparentColor_ && mode == transparentMode_) return;
  transparentColor_ = colour;
  transparentMode_ = mode;
  NotifyChanged();
}

void TBitmap::Assign(TPersistent* source) {
  if (source == this) return;
  if (source == nullptr) {
    Replace(Image::Make(image_->Format, 0, 0, IsIndexed(image_->Format)
                                                  ? gdi_detail::DefaultColorTable(BitsOf(image_->Format))
                                                  : std::vector<RGBQUAD>{}));
    PaletteModified = true;
    NotifyChanged();
    return;
  }
  if (auto* picture = dynamic_cast<TPicture*>(source)) {
    Assign(picture->Graphic());
    return;
  }
  auto* bitmap = dynamic_cast<TBitmap*>(source);
  if (bitmap == nullptr) {
    TGraphic::Assign(source);
    return;
  }
  const Image& from = *bitmap->image_;
  auto image = Image::Make(from.Format, from.Width, from.Height, from.Table);
  if (!from.Empty()) std::memcpy(image->Bits, from.Bits, static_cast<std::size_t>(from.Stride() * from.Height));
  if (from.Adopted) {
    image->Palette = CopyPalette(from.Palette);
    image->Adopted = image->Palette != 0;
    image->AdoptedCount = from.AdoptedCount;
  }
  {
    ChangeBatch batch(this);
    Replace(std::move(image));
    SetTransparent(bitmap->Transparent());
    transparentColor_ = bitmap->transparentColor_;
    transparentMode_ = bitmap->transparentMode_;
    handleType_ = bitmap->handleType_;
  }
  PaletteModified = true;
  NotifyChanged();
}

void TBitmap::AssignTo(TPersistent* dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
    bitmap->Assign(this);
    return;
  }
  TGraphic::AssignTo(dest);
}

namespace {

TPixelFormat FormatOfDib(const DibImage& dib) {
  switch (dib.Header.biBitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return dib.Is565 ? pf16bit : pf15bit;
    case 32: return pf32bit;
    default: return pf24bit;
  }
}

}  // namespace

void TBitmap::LoadFromStream(TStream* stream) try {
  // The rows go straight into the new section's pixels, which start zeroed: the load never
  // holds a second copy of a picture that may be near the cap.
  std::unique_ptr<Image> image;
  DecodeBmp(stream, [&image](const DibImage& dib) {
    image = Image::Make(FormatOfDib(dib), dib.Header.biWidth, dib.Header.biHeight, dib.Colors);
    if (image->Empty() || image->Info.bmiHeader.biSizeImage != dib.Header.biSizeImage)
      throw EInvalidGraphic(SInvalidBitmap);
    return image->Bits;
  });
  Replace(std::move(image));
  PaletteModified = true;
  NotifyChanged();
} catch (...) {
  RethrowLoadFailure();
}

namespace {

DibImage DibOf(const BITMAPINFO& info, TPixelFormat format, const std::vector<RGBQUAD>& table,
               const std::uint8_t* bits) {
  DibImage dib;
  dib.Header = info.bmiHeader;
  dib.Header.biCompression = BI_RGB;
  dib.Is565 = format == pf16bit;
  dib.Colors = table;
  dib.Bits.assign(bits, bits + info.bmiHeader.biSizeImage);
  return dib;
}

}  // namespace

void TBitmap::SaveToStream(TStream* stream) {
  const Image& image = *image_;
  if (image.Empty()) throw EInvalidGraphic(SInvalidBitmap);
  EncodeBmp(stream, DibOf(image.Info, image.Format, image.Table, image.Bits));
}

void TBitmap::LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE /*palette*/) try {
  if (format != CF_DIB || data == 0) throw EInvalidGraphic(SUnknownClipboardFormat);
  const std::size_t size = GlobalSize(data);
  const auto* block = static_cast<const std::uint8_t*>(GlobalLock(data));
  if (block == nullptr) throw EInvalidGraphic(SInvalidBitmap);
  // A packed DIB is a BMP file without its file header: put one in front and read it as a file.
  TMemoryStream file;
  try {
    if (size < sizeof(DWORD)) throw EInvalidGraphic(SInvalidBitmap);
    DWORD headerSize;
    std::memcpy(&headerSize, block, sizeof headerSize);
    std::uint64_t tableBytes = 0;
    if (headerSize == sizeof(BITMAPCOREHEADER) && size >= headerSize) {
      BITMAPCOREHEADER core;
      std::memcpy(&core, block, sizeof core);
      tableBytes = core.bcBitCount <= 8 ? 3 * (std::uint64_t{1} << core.bcBitCount) : 0;
    } else if (headerSize >= sizeof(BITMAPINFOHEADER) && size >= sizeof(BITMAPINFOHEADER)) {
      BITMAPINFOHEADER h;
      std::memcpy(&h, block, sizeof h);
      const std::int64_t count =
          h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? std::int64_t{1} << h.biBitCount : 0);
      const auto table = CheckedMulAdd(count, 4);
      if (!table) throw EInvalidGraphic(SInvalidBitmap);
      tableBytes = static_cast<std::uint64_t>(*table);
      if (h.biCompression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER)) tableBytes += 12;
    } else {
      throw EInvalidGraphic(SInvalidBitmap);
    }
    const std::uint64_t offset = sizeof(BITMAPFILEHEADER) + headerSize + tableBytes;
    if (offset > 0xFFFFFFFFu || size > 0xFFFFFFFFu - sizeof(BITMAPFILEHEADER)) throw EInvalidGraphic(SInvalidBitmap);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + size), 0, 0, static_cast<DWORD>(offset)};
    file.WriteBuffer(&fh, sizeof fh);
    file.WriteBuffer(block, static_cast<std::int64_t>(size));
  } catch (...) {
    GlobalUnlock(data);
    throw;
  }
  GlobalUnlock(data);
  file.SetPosition(0);
  LoadFromStream(&file);
} catch (...) {
  RethrowLoadFailure();
}

void TBitmap::SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) {
  TMemoryStream file;
  SaveToStream(&file);
  const std::size_t size = static_cast<std::size_t>(file.Size()) - sizeof(BITMAPFILEHEADER);
  HGLOBAL block = GlobalAlloc(GHND, size);
  void* memory = GlobalLock(block);
  if (memory == nullptr) {
    GlobalFree(block);
    throw EOutOfMemory(SOutOfMemory);
  }
  std::memcpy(memory, static_cast<const std::uint8_t*>(file.Memory()) + sizeof(BITMAPFILEHEADER), size);
  GlobalUnlock(block);
  format = CF_DIB;
  data = block;
  palette = image_->Table.empty() ? 0 : CopyPalette(GetPalette());
}

void TBitmap::DrawOnCanvas(TCanvas* canvas, const TRect& rect) {
  const Image& image = *image_;
  if (canvas == nullptr || image.Empty()) return;
  const std::uint8_t* bits = image.Bits;
  std::vector<std::uint8_t> snapshot;
  if (canvas == canvas_.get()) {
    // Drawing the bitmap onto itself reads from a copy of its pixels.
    snapshot.assign(image.Bits, image.Bits + image.Info.bmiHeader.biSizeImage);
    bits = snapshot.data();
  }
  StretchDIBits(canvas->Handle(), rect.Left, rect.Top, rect.Width(), rect.Height(), 0, 0, image.Width,
                image.Height, bits, &image.Info, DIB_RGB_COLORS, canvas->CopyMode);
}
