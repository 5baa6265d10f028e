// TZelPNG: the PNG picture as a graphic of the class library, and its registration with
// the picture loader.
#include "png/ZelPNG.h"

#include <utility>

#include "png/ZelPNGStream_Write.h"

namespace {

// Lends the graphic's progress handler to the image bitmap for one read or write and gives
// the bitmap its own handler back on every exit, an exception included, so that a failed
// load never leaves the bitmap reporting to a graphic that may be gone.
class ProgressLoan {
public:
  ProgressLoan(TBitmap* bitmap, const TProgressEvent& handler) : bitmap_(handler ? bitmap : nullptr) {
    if (bitmap_ == nullptr) return;
    saved_ = std::move(bitmap_->OnProgress);
    bitmap_->OnProgress = handler;
  }
  ~ProgressLoan() {
    if (bitmap_ != nullptr) bitmap_->OnProgress = std::move(saved_);
  }
  ProgressLoan(const ProgressLoan&) = delete;
  ProgressLoan& operator=(const ProgressLoan&) = delete;

private:
  TBitmap* bitmap_;
  TProgressEvent saved_;
};

}  // namespace

TZelPNG::TZelPNG() : OwnAlpha(std::make_unique<TBitmap>()), OwnImage(std::make_unique<TBitmap>()) {
  CaptureCurrentTime(ModifiedTime);
}

TZelPNG::~TZelPNG() {
  OwnAlpha.reset();
  OwnImage.reset();
}

// ------------------------------------------------------------------------------ sizes and drawing

bool TZelPNG::GetEmpty() const { return CurrentImage()->Empty(); }
int TZelPNG::GetWidth() const { return CurrentImage()->Width(); }
int TZelPNG::GetHeight() const { return CurrentImage()->Height(); }
HPALETTE TZelPNG::GetPalette() const { return CurrentImage()->Palette(); }

void TZelPNG::DrawOnCanvas(TCanvas* canvas, const TRect& rect) { canvas->StretchDraw(rect, CurrentImage()); }

void TZelPNG::SetWidth(int width) {
  // An empty bitmap stays empty: a size alone would give it pixels of no known format.
  if (!CurrentImage()->Empty()) CurrentImage()->SetWidth(width);
  if (!CurrentAlpha()->Empty()) CurrentAlpha()->SetWidth(width);
  NotifyChanged();
}

void TZelPNG::SetImageHeight(int height) {
  if (!CurrentImage()->Empty()) CurrentImage()->SetHeight(height);
  if (!CurrentAlpha()->Empty()) CurrentAlpha()->SetHeight(height);
  NotifyChanged();
}

void TZelPNG::SetPalette(HPALETTE palette) {
  CurrentImage()->SetPalette(palette);
  NotifyChanged();
}

void TZelPNG::ApplyTransparent(bool value) {
  if (!TransparentSyncing && CurrentImage()->Transparent() != value) CurrentImage()->SetTransparent(value);
  TGraphic::ApplyTransparent(value);
}

void TZelPNG::SyncAfterLoad(TBitmap* bitmap) {
  PaletteModified = true;
  if (Transparent() == bitmap->Transparent()) {
    NotifyChanged();
    return;
  }
  // The bitmap already holds the value; only the graphic's own flag has to follow it.
  struct Syncing {
    bool& flag;
    explicit Syncing(bool& f) : flag(f) { flag = true; }
    ~Syncing() { flag = false; }
  } syncing(TransparentSyncing);
  ApplyTransparent(bitmap->Transparent());
}

// ------------------------------------------------------------------------------ assignment

void TZelPNG::Assign(TPersistent* source) {
  if (auto* png = dynamic_cast<TZelPNG*>(source)) {
    // The source's references are taken before anything is cleared, so that assigning a
    // graphic to itself keeps its external bitmaps.
    TBitmap* const externalImage = png->ExternalImage;
    TBitmap* const externalAlpha = png->ExternalAlpha;
    OwnImage->Assign(png->OwnImage.get());
    OwnAlpha->Assign(png->OwnAlpha.get());
    ExternalImage = externalImage;
    ExternalAlpha = externalAlpha;
    CompressionLevel = png->CompressionLevel;
    FilterMode = png->FilterMode;
    IdatSize = png->IdatSize;
    Interlace = png->Interlace;
    Grayscale = png->Grayscale;
    Comment = png->Comment;
    BackgroundColor = png->BackgroundColor;
    TransparentColor = png->TransparentColor;
    Gamma = png->Gamma;
    SignificantBits = png->SignificantBits;
    PhysUnit = png->PhysUnit;
    PhysX = png->PhysX;
    PhysY = png->PhysY;
    UseCurrentTime = png->UseCurrentTime;
    ModifiedTime = png->ModifiedTime;
    Chromaticities = png->Chromaticities;
    SyncAfterLoad(OwnImage.get());
    return;
  }
  if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
    // The external image is let go only once the bitmap took the picture, so that a
    // graphic the bitmap refuses leaves this one as it was.
    OwnImage->Assign(graphic);
    ExternalImage = nullptr;
    SyncAfterLoad(OwnImage.get());
    return;
  }
  TGraphic::Assign(source);
}

void TZelPNG::AssignTo(TPersistent* dest) {
  if (auto* graphic = dynamic_cast<TGraphic*>(dest)) {
    graphic->Assign(CurrentImage());
    return;
  }
  TGraphic::AssignTo(dest);
}

// ------------------------------------------------------------------------------ streams

void TZelPNG::TakeResults(const TZelPNGReadStream& reader, bool withInterlace) {
  hasAlpha_ = reader.HasAlpha;
  Comment.TakeLoaded(reader.Comment, reader.CommentTexts);
  BackgroundColor = reader.BackgroundColor;
  TransparentColor = reader.TransparentColor;
  if (withInterlace) Interlace = reader.Interlace;
  Gamma = reader.Gamma;
  PhysUnit = static_cast<std::uint8_t>(reader.PhysUnit);
  PhysX = reader.PhysX;
  PhysY = reader.PhysY;
  SignificantBits = reader.SignificantBits;
  sourceBits_ = reader.SourceBits;
  Grayscale = reader.Grayscale;
}

void TZelPNG::LoadFromStream(TStream* stream) try {
  TZelPNGReadStream reader;
  TBitmap* const image = CurrentImage();
  reader.OnReadRow = OnReadRow;
  reader.OnKeyRequest = OnKeyRequest;
  reader.RowHookKey = RowHookKey;
  reader.SkipMacBinaryHeader = SkipMacBinary;
  reader.ReadHighColor = ReadHighColor;
  reader.ModifiedTime = &ModifiedTime;
  reader.Chromaticities = &Chromaticities;
  reader.GifControl = &GifControl;
  OwnAlpha->Assign(nullptr);
  reader.AlphaBitmap = CurrentAlpha();
  {
    ProgressLoan loan(image, OnProgress);
    reader.ReadFrom(image, stream, 0);
  }
  TakeResults(reader, true);
  SyncAfterLoad(image);
} catch (...) {
  RethrowLoadFailure();
}

void TZelPNG::ReadStoredData(TStream* stream) try {
  TZelPNGReadStream reader;
  reader.ModifiedTime = &ModifiedTime;
  reader.Chromaticities = &Chromaticities;
  reader.GifControl = &GifControl;
  ExternalAlpha = nullptr;
  ExternalImage = nullptr;
  OwnAlpha->Assign(nullptr);
  reader.AlphaBitmap = OwnAlpha.get();
  reader.ReadFrom(OwnImage.get(), stream, 0);
  // Stored data keep the interlace setting the graphic had.
  TakeResults(reader, false);
  SyncAfterLoad(OwnImage.get());
  NotifyChanged();
} catch (...) {
  RethrowLoadFailure();
}

void TZelPNG::GiveChunkSettings(TZelPNGWriteStream& writer) const {
  writer.Grayscale = Grayscale;
  if (const std::vector<std::string>* chunks = Comment.LoadedChunks()) {
    writer.CommentTexts = *chunks;
  } else {
    writer.Comment = Comment;
  }
  writer.BackgroundColor = BackgroundColor;
  writer.TransparentColor = TransparentColor;
  writer.Gamma = Gamma;
  writer.SignificantBits = SignificantBits;
  writer.PhysUnit = PhysUnit;
  writer.PhysX = PhysX;
  writer.PhysY = PhysY;
  writer.ModifiedTime = &ModifiedTime;
  writer.Chromaticities = Chromaticities.data();
  writer.GifControl = GifControl.data();
}

void TZelPNG::SaveToStream(TStream* stream) {
  TBitmap* const image = CurrentImage();
  TZelPNGWriteStream writer;
  writer.CompressionLevel = CompressionLevel;
  writer.FilterMode = FilterMode;
  writer.SetIdatSize(IdatSize);
  writer.Interlace = Interlace;
  writer.RowHookKey = RowHookKey;
  writer.OnWriteRow = OnWriteRow;
  writer.UseCurrentTime = UseCurrentTime;
  GiveChunkSettings(writer);
  if (hasAlpha_) writer.AlphaBitmap = CurrentAlpha();
  ProgressLoan loan(image, OnProgress);
  writer.WriteTo(image, stream);
}

void TZelPNG::WriteStoredData(TStream* stream) {
  if (OwnImage->Empty()) return;
  TZelPNGWriteStream writer;
  GiveChunkSettings(writer);
  if (hasAlpha_) writer.AlphaBitmap = OwnAlpha.get();
  writer.WriteTo(OwnImage.get(), stream);
}

// ------------------------------------------------------------------------------ clipboard

void TZelPNG::LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) try {
  ExternalImage = nullptr;
  OwnImage->LoadFromClipboardFormat(format, data, palette);
  SyncAfterLoad(OwnImage.get());
} catch (...) {
  RethrowLoadFailure();
}

void TZelPNG::SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) {
  CurrentImage()->SaveToClipboardFormat(format, data, palette);
}

// ------------------------------------------------------------------------------ registration

namespace {

bool registered = false;
bool unregistered = false;

}  // namespace

void ZelPNG_Initialize() {
  if (registered) return;
  registered = true;
  RegisterPictureFormat("PNG", "PNG Format", ClassOf<TZelPNG>());
}

void ZelPNG_Finalize() {
  if (!registered || unregistered) return;
  unregistered = true;
  UnregisterPictureFormat(ClassOf<TZelPNG>());
}
