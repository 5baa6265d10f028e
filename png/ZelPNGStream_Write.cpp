#include "png/ZelPNGStream_Write.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "png/PixelShuffles.h"
#include "png/SFunc.h"

namespace {

// The largest value a PNG four-byte unsigned field may hold.
constexpr double MaxPngLong = 2147483647.0;

inline std::uint8_t Widen5(std::uint32_t c) { return static_cast<std::uint8_t>((c << 3) + (c >> 2)); }
inline std::uint8_t Widen6(std::uint32_t c) { return static_cast<std::uint8_t>((c << 2) + (c >> 4)); }

void PutWord(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

void PutLong(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Bitmap bytes per pixel for pass offsets; 1- and 4-bit bitmaps count in pixels.
std::int32_t SourcePixelBytes(std::int32_t bitmapBits) {
  switch (bitmapBits) {
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 1;
  }
}

// 1-bit grey output puts the brighter of the two entries on 1 (a missing entry 1 is black).
bool BrighterEntryFirst(const RGBQUAD* quads) {
  return GreyFromRgb(quads[0].rgbRed, quads[0].rgbGreen, quads[0].rgbBlue) >
         GreyFromRgb(quads[1].rgbRed, quads[1].rgbGreen, quads[1].rgbBlue);
}

}  // namespace

TZelPNGWriteStream::TZelPNGWriteStream() {
  Encoder.Owner = this;
  Encoder.OutputCallback = StoreIdatData;
}

TZelPNGWriteStream::~TZelPNGWriteStream() {
  EndEncoder(&Encoder);
  FreeRowBuffers();
}

void TZelPNGWriteStream::SetIdatSize(std::int32_t value) {
  if (value < MinIdatSize || value > MaxIdatSize) throw EZelPNG(SWriteIdatSizeError);
  idatSize_ = value;
}

void TZelPNGWriteStream::WriteChunk(std::uint32_t type, const void* data, std::int64_t length) {
  if (data == nullptr || length < 0) length = 0;
  std::uint8_t tag[4];
  PutLong(tag, type);
  WriteLongBE(static_cast<std::uint32_t>(length));
  WriteBlock(tag, 4);
  if (length > 0) WriteBlock(data, length);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, tag, 4);
  if (length > 0) crc = crc32_z(crc, static_cast<const Bytef*>(data), static_cast<z_size_t>(length));
  WriteLongBE(static_cast<std::uint32_t>(crc));
}

std::int32_t TZelPNGWriteStream::StoreIdatData(EncoderContext* context) {
  auto* writer = static_cast<TZelPNGWriteStream*>(context->Owner);
  const std::int64_t filled = context->OutputBufferSize - static_cast<std::int64_t>(context->Stream.avail_out);
  writer->WriteChunk(ChunkIDAT, context->OutputBuffer.get(), filled);
  return 0;
}

// ------------------------------------------------------------------ WriteImage

void TZelPNGWriteStream::ClearWorkingState() {
  BitmapBits = 0;
  DepthCode = 0;
  AcceptedAlpha = nullptr;
  AlphaWritten = false;
  GreyscaleOutput = false;
  PaletteIndexInGrey = false;
  std::memset(GreyTable, 0, sizeof GreyTable);
  RowStride = 0;
  PassWidth = 0;
  PixelOffset = 0;
  PixelStep = 0;
  AlphaOffset = 0;
  AlphaStep = 1;
  RowCounter = 0;
  RowConverter = nullptr;
  colourType_ = 0;
  bitDepth_ = 0;
  paletteEntries_ = 0;
  std::memset(palette_, 0, sizeof palette_);
  Encoder.PixelBits = 0;
  Encoder.DepthCode = 0;
  Encoder.RowLength = 0;
}

void TZelPNGWriteStream::WriteImage() {
  ClearWorkingState();
  TBitmap* bitmap = SourceBitmap;
  // An empty image has no valid PNG form: refuse before a byte leaves.
  if (bitmap == nullptr || bitmap->Empty() || bitmap->Width() <= 0 || bitmap->Height() <= 0) {
    throw EZelPNG(SWriteImageError);
  }
  BitmapBits = PixelFormatToBits(bitmap->PixelFormat());
  DepthCode = (BitmapBits == 15 || BitmapBits == 16) ? 24 : BitmapBits;

  TBitmap* alpha = AlphaBitmap;
  if (alpha != nullptr && alpha != bitmap && !alpha->Empty() && alpha->Width() == bitmap->Width() &&
      alpha->Height() == bitmap->Height() && alpha->PixelFormat() == pf8bit) {
    AcceptedAlpha = alpha;
  }
  PaletteIndexInGrey = WritePaletteIndexInGrey && BitmapBits == 8 && AcceptedAlpha != nullptr && !Grayscale;
  ChooseOutputForm();

  BeginProgress();
  BeginStage(StageUnits, 10, 30);

  struct Cleanup {
    TZelPNGWriteStream* self;
    ~Cleanup() {
      EndEncoder(&self->Encoder);
      self->FreeRowBuffers();
    }
  } cleanup{this};

  if (WriteSignature) WriteBlock(PngSignature, sizeof PngSignature);
  WriteHeaderChunks();
  UpdateProgress(10);
  if (StopFlag) return;
  WriteImageData();
  if (StopFlag) return;
  WriteChunk(ChunkIEND, nullptr, 0);
  EndProgress();
}

void TZelPNGWriteStream::ChooseOutputForm() {
  if (Grayscale || PaletteIndexInGrey) {
    GreyscaleOutput = true;
    if (DepthCode > 8) DepthCode = 8;
    bitDepth_ = DepthCode;
    if (AcceptedAlpha != nullptr && bitDepth_ == 8) {
      colourType_ = 4;
      AlphaWritten = true;
      Encoder.PixelBits = 16;
    } else {
      colourType_ = 0;
      Encoder.PixelBits = bitDepth_;
    }
  } else if (DepthCode <= 8) {
    colourType_ = 3;
    bitDepth_ = DepthCode;
    Encoder.PixelBits = DepthCode;
  } else {
    bitDepth_ = 8;
    if (AcceptedAlpha != nullptr) {
      colourType_ = 6;
      AlphaWritten = true;
      Encoder.PixelBits = 32;
    } else {
      colourType_ = 2;
      Encoder.PixelBits = 24;
    }
  }
  Encoder.DepthCode = DepthCode;
  if (DepthCode <= 8 && (!GreyscaleOutput || PaletteIndexInGrey)) {
    paletteEntries_ = PaletteToQuads(SourceBitmap->Palette(), palette_);
    // PLTE may not hold more entries than the bit depth can address.
    const std::int32_t addressable = 1 << DepthCode;
    if (paletteEntries_ > addressable) paletteEntries_ = addressable;
  }
  // A palette image without a palette is not a valid PNG.
  if (colourType_ == 3 && paletteEntries_ == 0) throw EZelPNG(SWriteImageError);
}

void TZelPNGWriteStream::WriteHeaderChunks() {
  WriteHeader();
  WriteTime();
  WriteText(SCommentKeyword, Comment);
  for (const std::string& text : CommentTexts) WriteTextChunk(SCommentKeyword, text);
  WriteText(SSoftwareKeyword, SSoftwareName);
  WritePrivateChunk();
  WriteGifControl();
  WriteGamma();
  WriteChromaticities();
  WriteSignificantBits();
  WritePalette();
  WriteBackground();
  WriteTransparency();
  WritePhysicalSize();
}

void TZelPNGWriteStream::WriteHeader() {
  std::uint8_t data[13];
  PutLong(data, static_cast<std::uint32_t>(SourceBitmap->Width()));
  PutLong(data + 4, static_cast<std::uint32_t>(SourceBitmap->Height()));
  data[8] = static_cast<std::uint8_t>(bitDepth_);
  data[9] = static_cast<std::uint8_t>(colourType_);
  data[10] = 0;
  data[11] = 0;
  // Only none and Adam7 exist; any other setting is written without interlace.
  data[12] = Interlace == 1 ? 1 : 0;
  WriteChunk(ChunkIHDR, data, sizeof data);
  RowStride = DibRowBytes(SourceBitmap->Width(), DepthCode);
}

void TZelPNGWriteStream::WriteTime() {
  PngTimeRecord record{};
  if (UseCurrentTime) {
    CaptureCurrentTime(record);
  } else if (ModifiedTime != nullptr) {
    std::memcpy(&record, ModifiedTime, sizeof record);
  } else {
    return;
  }
  const bool valid = record.Year != 0 && record.Month >= 1 && record.Month <= 12 && record.Day >= 1 &&
                     record.Day <= 31 && record.Hour <= 23 && record.Minute <= 59 && record.Second <= 60;
  if (!valid) return;
  std::uint8_t data[7];
  PutWord(data, record.Year);
  data[2] = record.Month;
  data[3] = record.Day;
  data[4] = record.Hour;
  data[5] = record.Minute;
  data[6] = record.Second;
  WriteChunk(ChunkTIME, data, sizeof data);
}

void TZelPNGWriteStream::WriteText(const char* keyword, const std::string& text) {
  if (!text.empty()) WriteTextChunk(keyword, text);
}

void TZelPNGWriteStream::WriteTextChunk(const char* keyword, const std::string& text) {
  const std::size_t keywordLength = std::strlen(keyword);
  if (keywordLength > 79) return;
  // A chunk length is at most 2^31 - 1.
  if (text.size() + keywordLength + 1 > static_cast<std::size_t>(MaxPngLong)) return;
  std::string data(keyword, keywordLength);
  data.push_back('\0');
  data += text;
  WriteChunk(ChunkTEXT, data.data(), static_cast<std::int64_t>(data.size()));
}

void TZelPNGWriteStream::WritePrivateChunk() {
  std::uint8_t data[8] = {};
  std::memcpy(data, PrivateChunkMarker, 4);
  data[4] = (!RowHookKey.empty() && OnWriteRow) ? 1 : 0;
  data[5] = PaletteIndexInGrey ? 1 : 0;
  WriteChunk(ChunkTPNG, data, sizeof data);
}

void TZelPNGWriteStream::WriteGifControl() {
  if (GifControl == nullptr) return;
  if (GifControl[0] == 0 && GifControl[1] == 0 && GifControl[2] == 0 && GifControl[3] == 0) return;
  WriteChunk(ChunkGIFG, GifControl, 4);
}

void TZelPNGWriteStream::WriteGamma() {
  const double value = std::trunc(Gamma * 100000.0);
  // Not a number, zero, negative, or beyond the field: no gAMA.
  if (!(value > 0.0) || value > MaxPngLong) return;
  std::uint8_t data[4];
  PutLong(data, static_cast<std::uint32_t>(value));
  WriteChunk(ChunkGAMA, data, sizeof data);
}

void TZelPNGWriteStream::WriteChromaticities() {
  if (Chromaticities == nullptr || Chromaticities[0] == 0 || Chromaticities[1] == 0) return;
  std::uint8_t data[32];
  for (int i = 0; i < 8; ++i) PutLong(data + 4 * i, Chromaticities[i]);
  WriteChunk(ChunkCHRM, data, sizeof data);
}

void TZelPNGWriteStream::WriteSignificantBits() {
  const std::uint32_t alphaBits = AlphaWritten ? 0x08000000u : 0u;
  if (BitmapBits == 15) SignificantBits = 0x00050505u | alphaBits;
  if (BitmapBits == 16) SignificantBits = 0x00050605u | alphaBits;
  if (static_cast<std::int32_t>(SignificantBits) <= 0 || GreyscaleOutput) return;
  std::uint8_t data[4] = {static_cast<std::uint8_t>(SignificantBits), static_cast<std::uint8_t>(SignificantBits >> 8),
                          static_cast<std::uint8_t>(SignificantBits >> 16),
                          static_cast<std::uint8_t>(SignificantBits >> 24)};
  const int count = AlphaWritten ? 4 : 3;
  // Every sample here is 8 bits deep: a count of 0 or above 8 would make the file invalid.
  for (int i = 0; i < count; ++i) {
    if (data[i] == 0 || data[i] > 8) return;
  }
  WriteChunk(ChunkSBIT, data, count);
}

void TZelPNGWriteStream::WritePalette() {
  if (paletteEntries_ <= 0) return;
  std::uint8_t data[256 * 3];
  for (std::int32_t i = 0; i < paletteEntries_; ++i) {
    data[3 * i] = palette_[i].rgbRed;
    data[3 * i + 1] = palette_[i].rgbGreen;
    data[3 * i + 2] = palette_[i].rgbBlue;
  }
  WriteChunk(ChunkPLTE, data, 3 * paletteEntries_);
}

std::int32_t TZelPNGWriteStream::ColorToIndex(TColor colour) {
  std::int32_t index;
  if ((colour & PaletteIndexFlag) != 0) {
    index = colour & 0xFF;
  } else {
    index = NearestPaletteIndex(SourceBitmap->Palette(), colour);
  }
  // An index beyond the written palette would name no colour.
  if (index < 0 || index >= paletteEntries_) return -1;
  return index;
}

// The bits are written as entries, not as brightness: two dark entries are still 0 and 1,
// so a threshold on the colour's grey would name the other entry's pixels.
std::int32_t TZelPNGWriteStream::OneBitGreySample(TColor colour) {
  RGBQUAD quads[256] = {};
  const bool flagged = (colour & PaletteIndexFlag) != 0;
  if (PaletteToQuads(SourceBitmap->Palette(), quads) == 0) return flagged ? -1 : GreyLevel(1, colour);
  const std::int32_t index = flagged ? colour & 0xFF : NearestPaletteIndex(SourceBitmap->Palette(), colour);
  if (index < 0 || index > 1) return -1;
  return index ^ (BrighterEntryFirst(quads) ? 1 : 0);
}

void TZelPNGWriteStream::WriteGreySample(std::uint32_t type, TColor colour) {
  std::int32_t level;
  if (BitmapBits == 1) {
    level = OneBitGreySample(colour);
  } else {
    if ((colour & PaletteIndexFlag) != 0 && BitmapBits <= 8) {
      colour = PaletteEntryColor(SourceBitmap->Palette(), colour & 0xFF);
      if (colour == -1) return;
    }
    level = GreyLevel(BitmapBits, colour);
  }
  if (level < 0) return;
  std::uint8_t data[2];
  PutWord(data, static_cast<std::uint32_t>(level));
  WriteChunk(type, data, sizeof data);
}

void TZelPNGWriteStream::WriteRgbSamples(std::uint32_t type, TColor colour) {
  std::uint8_t data[6];
  PutWord(data, colour & 0xFF);
  PutWord(data + 2, (colour >> 8) & 0xFF);
  PutWord(data + 4, (colour >> 16) & 0xFF);
  WriteChunk(type, data, sizeof data);
}

void TZelPNGWriteStream::WriteBackground() {
  const TColor colour = BackgroundColor;
  if (colour == -1) return;
  if (GreyscaleOutput && !PaletteIndexInGrey) {
    WriteGreySample(ChunkBKGD, colour);
    return;
  }
  if (BitmapBits <= 8) {
    const std::int32_t index = ColorToIndex(colour);
    if (index < 0) return;
    if (PaletteIndexInGrey) {
      // The image is grey with alpha, whose background is a 16-bit sample: the index goes there.
      std::uint8_t data[2];
      PutWord(data, static_cast<std::uint32_t>(index));
      WriteChunk(ChunkBKGD, data, sizeof data);
      return;
    }
    const std::uint8_t data = static_cast<std::uint8_t>(index);
    WriteChunk(ChunkBKGD, &data, 1);
    return;
  }
  WriteRgbSamples(ChunkBKGD, colour);
}

void TZelPNGWriteStream::WriteTransparency() {
  if (WritePaletteAlpha()) return;
  const TColor colour = TransparentColor;
  if (colour == -1 || AlphaWritten) return;
  if (GreyscaleOutput && !PaletteIndexInGrey) {
    WriteGreySample(ChunkTRNS, colour);
    return;
  }
  if (BitmapBits <= 8) {
    const std::int32_t index = ColorToIndex(colour);
    if (index < 0) return;
    std::uint8_t data[256];
    std::memset(data, 255, sizeof data);
    data[index] = 0;
    WriteChunk(ChunkTRNS, data, index + 1);
    return;
  }
  WriteRgbSamples(ChunkTRNS, colour);
}

// A palette image has no alpha channel, but an alpha bitmap that gives each palette index
// one alpha, as a palette file's transparency table does once read, fits its tRNS whole:
// a loaded palette picture saves again with its partial transparency.
bool TZelPNGWriteStream::WritePaletteAlpha() {
  if (AcceptedAlpha == nullptr || colourType_ != 3) return false;
  int alphaOf[256];
  std::fill(std::begin(alphaOf), std::end(alphaOf), -1);
  const std::int64_t bits = DepthCode;
  const unsigned mask = (1u << bits) - 1;
  for (std::int32_t y = 0; y < SourceBitmap->Height(); ++y) {
    const auto* indices = static_cast<const std::uint8_t*>(SourceBitmap->ScanLine(y));
    const auto* alpha = static_cast<const std::uint8_t*>(AcceptedAlpha->ScanLine(y));
    for (std::int64_t x = 0; x < SourceBitmap->Width(); ++x) {
      const unsigned index = (indices[x * bits / 8] >> (8 - bits - x * bits % 8)) & mask;
      const int a = 255 - alpha[x];
      if (alphaOf[index] < 0) alphaOf[index] = a;
      if (alphaOf[index] != a) return false;
    }
  }
  // tRNS may not name more entries than PLTE holds.
  std::int32_t count = 0;
  std::uint8_t data[256];
  for (std::int32_t i = 0; i < paletteEntries_; ++i) {
    data[i] = static_cast<std::uint8_t>(alphaOf[i] < 0 ? 255 : alphaOf[i]);
    if (data[i] != 255) count = i + 1;
  }
  if (count == 0) return false;
  WriteChunk(ChunkTRNS, data, count);
  return true;
}

void TZelPNGWriteStream::WritePhysicalSize() {
  if (PhysX <= 0 || PhysY <= 0) return;
  double x = PhysX;
  double y = PhysY;
  std::uint8_t unit = 0;
  if (PhysUnit == 1) {
    unit = 1;
  } else if (PhysUnit == 2) {
    x = std::trunc(x * 100 / 254 * 100);
    y = std::trunc(y * 100 / 254 * 100);
    unit = 1;
  }
  // Any other unit mode has no PNG unit byte: the counts go out with the unit unknown.
  if (x > MaxPngLong || y > MaxPngLong || x <= 0 || y <= 0) return;
  std::uint8_t data[9];
  PutLong(data, static_cast<std::uint32_t>(x));
  PutLong(data + 4, static_cast<std::uint32_t>(y));
  data[8] = unit;
  WriteChunk(ChunkPHYS, data, sizeof data);
}

// ------------------------------------------------------------------ image data

void TZelPNGWriteStream::AllocRowBuffers() {
  FreeRowBuffers();
  const std::int64_t width = SourceBitmap->Width();
  std::int64_t rowBytes = RowBytes64(width, Encoder.PixelBits);
  // Whole-stride copies of 1-, 4- and 8-bit rows must fit as well.
  const std::int64_t stride = RowBytes64(width, DepthCode);
  if (stride > rowBytes) rowBytes = stride;
  const std::int64_t each = (rowBytes + 8 + 31) & ~std::int64_t{31};
  const std::int64_t total = 4 * each + 1024 + 8 + 32;
  if (rowBytes > INT32_MAX - 64) throw EZelPNG(SWriteImageError);
  rowMemory_ = TakeWorkBuffer(total, true);
  if (!rowMemory_) throw EOutOfMemory(SOutOfMemory);
  const auto address = reinterpret_cast<std::uintptr_t>(rowMemory_.get());
  std::uint8_t* base = rowMemory_.get() + ((32 - (address & 31)) & 31);
  currentRow_ = base;
  previousRow_ = base + each;
  Encoder.FilteredRow = base + 2 * each;
  Encoder.TrialRow = base + 3 * each;
  Encoder.Histogram = reinterpret_cast<std::uint32_t*>(base + 4 * each);
}

void TZelPNGWriteStream::FreeRowBuffers() noexcept {
  rowMemory_.reset();
  currentRow_ = nullptr;
  previousRow_ = nullptr;
  Encoder.FilteredRow = nullptr;
  Encoder.TrialRow = nullptr;
  Encoder.Histogram = nullptr;
  Encoder.CurrentRow = nullptr;
  Encoder.PreviousRow = nullptr;
}

void TZelPNGWriteStream::BuildGreyTable() {
  RGBQUAD quads[256] = {};
  const std::int32_t count = PaletteToQuads(SourceBitmap->Palette(), quads);
  if (count == 0) {
    for (std::int32_t i = 0; i < (1 << BitmapBits) && i < 256; ++i) GreyTable[i] = static_cast<std::uint8_t>(i);
    return;
  }
  if (BitmapBits == 1) {
    GreyTable[0] = BrighterEntryFirst(quads) ? 255 : 0;
    return;
  }
  for (std::int32_t e = 0; e < count; ++e) {
    const std::uint32_t weighted = quads[e].rgbRed * 77u + quads[e].rgbGreen * 150u + quads[e].rgbBlue * 29u;
    GreyTable[e] = static_cast<std::uint8_t>(BitmapBits == 4 ? weighted >> 12 : weighted >> 8);
  }
}

void TZelPNGWriteStream::WriteImageData() {
  AllocRowBuffers();
  if (GreyscaleOutput && !PaletteIndexInGrey && BitmapBits <= 8) BuildGreyTable();
  RowConverter = ChooseRowConverter();
  const std::int32_t level = (CompressionLevel >= 0 && CompressionLevel <= 9) ? CompressionLevel : -1;
  // A compressor that cannot start would leave an image without data.
  if (InitEncoder(&Encoder, level, idatSize_) < 0) throw EZelPNG(SWriteImageError);
  Encoder.FilterMode = FilterMode;
  RowCounter = 1;
  const std::int32_t height = SourceBitmap->Height();
  BeginStage(StageUnits, InterlacedRowCount(Interlace == 1 ? 1 : 0, height), 0);
  // On an exception the encoder is only ended (by WriteImage's cleanup): nothing more is
  // written after a failure.
  if (Interlace == 1) {
    for (std::int32_t pass = 0; pass < 7 && !StopFlag; ++pass) WritePass(pass);
  } else {
    WritePass(-1);
  }
  // The end of the compressed stream is part of a valid image: a failure here is a failed save.
  if (FinishEncoder(&Encoder) < 0) throw EZelPNG(SWriteImageError);
  EndEncoder(&Encoder);
  FreeRowBuffers();
}

void TZelPNGWriteStream::WritePass(std::int32_t pass) {
  const std::int32_t width = SourceBitmap->Width();
  const std::int32_t height = SourceBitmap->Height();
  Adam7Pass geometry{0, 1, 0, 1};
  if (pass >= 0) {
    geometry = Adam7Passes[pass];
    PassWidth = Adam7PassWidth(pass, width);
    if (PassWidth == 0 || Adam7PassHeight(pass, height) == 0) return;
  } else {
    PassWidth = width;
  }
  const std::int32_t pixelBytes = SourcePixelBytes(BitmapBits);
  PixelOffset = geometry.StartColumn * pixelBytes;
  PixelStep = geometry.ColumnStep * pixelBytes;
  AlphaOffset = geometry.StartColumn;
  AlphaStep = geometry.ColumnStep;
  Encoder.RowLength = static_cast<std::int32_t>(PackedRowBytes64(PassWidth, Encoder.PixelBits) + 1);
  std::memset(previousRow_, 0, static_cast<std::size_t>(Encoder.RowLength));
  const bool hooked = !RowHookKey.empty() && static_cast<bool>(OnWriteRow);
  for (std::int32_t y = geometry.StartRow; y < height; y += geometry.RowStep) {
    const auto* source = static_cast<const std::uint8_t*>(SourceBitmap->ScanLine(y));
    const auto* alpha = AlphaWritten ? static_cast<const std::uint8_t*>(AcceptedAlpha->ScanLine(y)) : nullptr;
    RowConverter(*this, source, alpha, currentRow_);
    if (hooked) OnWriteRow(this, currentRow_, Encoder.RowLength - 1, RowCounter - 1, RowHookKey);
    Encoder.CurrentRow = currentRow_;
    Encoder.PreviousRow = previousRow_;
    if (EncodeRow(&Encoder) < 0) throw EZelPNG(SWriteImageError);
    std::swap(currentRow_, previousRow_);
    if (RowCounter % 4 == 2 || height < 4) UpdateProgress(RowCounter);
    ++RowCounter;
    if (StopFlag) return;
  }
}

// ------------------------------------------------------------------ row converters
// Each turns the PassWidth pixels of one bitmap row, from PixelOffset in steps of PixelStep
// (1- and 4-bit rows count in pixels), into the PNG row at out; alpha rows are read from
// AlphaOffset in steps of AlphaStep and written as 255 - alpha.

namespace {

using Writer = TZelPNGWriteStream;

// A whole non-interlaced row: the bitmap's packing is the PNG's.
std::int32_t CopyWholeRow(const Writer& w, const std::uint8_t* source, std::uint8_t* out) {
  std::memcpy(out, source, static_cast<std::size_t>(w.RowStride));
  return w.RowStride;
}

// The pass's 1- or 4-bit pixels, packed anew from the start of out.
template <int Bits>
std::int32_t PickPackedPixels(const Writer& w, const std::uint8_t* source, std::uint8_t* out) {
  const std::int32_t n = w.PassWidth;
  const std::int32_t bytes = Bits == 1 ? (n + 7) / 8 : (n + 1) / 2;
  std::memset(out, 0, static_cast<std::size_t>(bytes));
  for (std::int32_t k = 0, p = w.PixelOffset; k < n; ++k, p += w.PixelStep) {
    if constexpr (Bits == 1) {
      const std::uint32_t bit = (source[p >> 3] >> (7 - (p & 7))) & 1u;
      out[k >> 3] = static_cast<std::uint8_t>(out[k >> 3] | (bit << (7 - (k & 7))));
    } else {
      const std::uint32_t nibble = (p & 1) ? (source[p >> 1] & 0x0Fu) : (source[p >> 1] >> 4);
      out[k >> 1] = static_cast<std::uint8_t>(out[k >> 1] | ((k & 1) ? nibble : nibble << 4));
    }
  }
  return bytes;
}

using PackRow = std::int32_t (*)(const Writer& w, const std::uint8_t* source, std::uint8_t* out);

template <PackRow Pack>
void PackedRow(const Writer& w, const std::uint8_t* source, const std::uint8_t*, std::uint8_t* out) {
  Pack(w, source, out);
}

// 1-bit grey whose brighter entry is entry 0: every bit flips.
template <PackRow Pack>
void InvertedBitsRow(const Writer& w, const std::uint8_t* source, const std::uint8_t*, std::uint8_t* out) {
  const std::int32_t bytes = Pack(w, source, out);
  for (std::int32_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
}

template <PackRow Pack>
void GreyNibblesRow(const Writer& w, const std::uint8_t* source, const std::uint8_t*, std::uint8_t* out) {
  const std::int32_t bytes = Pack(w, source, out);
  for (std::int32_t i = 0; i < bytes; ++i)
    out[i] = static_cast<std::uint8_t>((w.GreyTable[out[i] >> 4] << 4) | (w.GreyTable[out[i] & 0x0F] & 0x0F));
}

void PickBytesRow(const Writer& w, const std::uint8_t* source, const std::uint8_t*, std::uint8_t* out) {
  const std::uint8_t* s = source + w.PixelOffset;
  for (std::int32_t k = 0; k < w.PassWidth; ++k, s += w.PixelStep) out[k] = *s;
}

// An 8-bit row as grey: each index through the grey table, or kept as the palette index
// when the grey samples carry indices; then the alpha sample when the picture has one.
template <bool ThroughTable, bool Alpha>
void GreyIndexRow(const Writer& w, const std::uint8_t* source, const std::uint8_t* alpha, std::uint8_t* out) {
  const std::uint8_t* s = source + w.PixelOffset;
  const std::uint8_t* a = Alpha ? alpha + w.AlphaOffset : nullptr;
  for (std::int32_t k = 0; k < w.PassWidth; ++k, s += w.PixelStep) {
    *out++ = ThroughTable ? w.GreyTable[*s] : *s;
    if constexpr (Alpha) {
      *out++ = static_cast<std::uint8_t>(255 - *a);
      a += w.AlphaStep;
    }
  }
}

struct Rgb {
  std::uint8_t Red, Green, Blue;
};

Rgb From555(const std::uint8_t* s) {
  const std::uint32_t w = s[0] | (std::uint32_t{s[1]} << 8);
  return {Widen5((w >> 10) & 31), Widen5((w >> 5) & 31), Widen5(w & 31)};
}

Rgb From565(const std::uint8_t* s) {
  const std::uint32_t w = s[0] | (std::uint32_t{s[1]} << 8);
  return {Widen5(w >> 11), Widen6((w >> 5) & 63), Widen5(w & 31)};
}

// 24 and 32 bits: blue, green, red (and an ignored fourth byte).
Rgb FromBgr(const std::uint8_t* s) { return {s[2], s[1], s[0]}; }

// A colour row as grey or as red, green, blue; then the alpha sample when the picture has one.
template <Rgb (*Read)(const std::uint8_t*), bool Grey, bool Alpha>
void ColourRow(const Writer& w, const std::uint8_t* source, const std::uint8_t* alpha, std::uint8_t* out) {
  const std::uint8_t* s = source + w.PixelOffset;
  const std::uint8_t* a = Alpha ? alpha + w.AlphaOffset : nullptr;
  for (std::int32_t k = 0; k < w.PassWidth; ++k, s += w.PixelStep) {
    const Rgb c = Read(s);
    if constexpr (Grey) {
      *out++ = GreyFromRgb(c.Red, c.Green, c.Blue);
    } else {
      out[0] = c.Red;
      out[1] = c.Green;
      out[2] = c.Blue;
      out += 3;
    }
    if constexpr (Alpha) {
      *out++ = static_cast<std::uint8_t>(255 - *a);
      a += w.AlphaStep;
    }
  }
}

// Three-byte pixels side by side turn in one pass.
void BgrRow(const Writer& w, const std::uint8_t* source, const std::uint8_t* alpha, std::uint8_t* out) {
  if (w.PixelStep == 3)
    SwapRedAndBlue(source + w.PixelOffset, out, w.PassWidth);
  else
    ColourRow<FromBgr, false, false>(w, source, alpha, out);
}

template <Rgb (*Read)(const std::uint8_t*)>
Writer::TRowConverter ColourConverter(bool grey, bool alpha) {
  if (grey) return alpha ? &ColourRow<Read, true, true> : &ColourRow<Read, true, false>;
  return alpha ? &ColourRow<Read, false, true> : &ColourRow<Read, false, false>;
}

template <int Bits>
Writer::TRowConverter PackedConverter(const Writer& w, bool grey, bool interlaced) {
  constexpr PackRow Pick = &PickPackedPixels<Bits>;
  constexpr PackRow Copy = &CopyWholeRow;
  if (grey && Bits == 4) return interlaced ? &GreyNibblesRow<Pick> : &GreyNibblesRow<Copy>;
  if (grey && w.GreyTable[0] == 255) return interlaced ? &InvertedBitsRow<Pick> : &InvertedBitsRow<Copy>;
  return interlaced ? &PackedRow<Pick> : &PackedRow<Copy>;
}

}  // namespace

TZelPNGWriteStream::TRowConverter TZelPNGWriteStream::ChooseRowConverter() const {
  const bool grey = GreyscaleOutput && !PaletteIndexInGrey;
  const bool interlaced = Interlace == 1;
  const bool alpha = AlphaWritten;
  switch (BitmapBits) {
    case 1: return PackedConverter<1>(*this, grey, interlaced);
    case 4: return PackedConverter<4>(*this, grey, interlaced);
    case 8:
      if (PaletteIndexInGrey) return &GreyIndexRow<false, true>;
      if (grey) return alpha ? &GreyIndexRow<true, true> : &GreyIndexRow<true, false>;
      return interlaced ? &PickBytesRow : &PackedRow<&CopyWholeRow>;
    case 15: return ColourConverter<From555>(grey, alpha);
    case 16: return ColourConverter<From565>(grey, alpha);
    default:
      if (!grey && !alpha) return &BgrRow;
      return ColourConverter<FromBgr>(grey, alpha);
  }
}
