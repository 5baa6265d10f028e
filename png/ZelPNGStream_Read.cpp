// The PNG reader's chunk stream: signature, chunk loop, chunk handlers, the feeding of
// the compressed image data to the decoder and the row loop.
#include "png/ZelPNGStream_Read.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <optional>
#include <utility>
#include <vector>

#include "classlib/sizes.h"
#include "png/SFunc.h"

namespace {

constexpr const char* SNotPNGFormat = "PNG LoadStream: Not PNG Format";
constexpr const char* STwoHeaders = "Read Header(PNG): appear two IHDR";
constexpr const char* SErrorColorType = "Read Header(PNG): Error ColorType";
constexpr const char* SNoCompression = "Read Header(PNG): not support Compression";
constexpr const char* SNoFilter = "Read Header(PNG): not supprt Filter";
constexpr const char* SNoInterlace = "Read Header(PNG): not interlace type";
constexpr const char* SErrorZlib = "PNG LoadStream: Error ZLIB";
constexpr const char* SReadImageError = "Read Image (PNG): Read Error";

}  // namespace

TZelPNGReadStream::TZelPNGReadStream() {
  Decoder.Owner = this;
  Decoder.InputCallback = &TZelPNGReadStream::FetchIdatData;
  PaletteAlpha.fill(255);
}

TZelPNGReadStream::~TZelPNGReadStream() {
  EndDecoder(&Decoder);
  FreeRowBuffers();
}

void TZelPNGReadStream::Fail(const char* message) { throw EZelPNG(message); }

bool TZelPNGReadStream::ChunkLengthFits(std::uint32_t length) {
  return length <= 0x7FFFFFFFu && std::int64_t{length} <= DataSize - Consumed;
}

namespace {

// Adds one "Comment" text to the collected form a load reports: a blank line between two
// texts, CR LF after each; an empty text adds nothing.
void CollectComment(std::string& collected, std::string_view text) {
  if (text.empty()) return;
  if (!collected.empty()) collected += "\r\n";
  collected += text;
  collected += "\r\n";
}

}  // namespace

void TZelPNGReadStream::ResetResults() {
  AlphaInUse = nullptr;
  CommentTexts.clear();
  HasAlpha = false;
  Grayscale = false;
  PaletteIndexInGrey = false;
  PaletteAlphaPresent = false;
  Interlace = 0;
  BaseColorType = -1;
  RowKey.clear();
  BackgroundColor = -1;
  TransparentColor = -1;
  SignificantBits = 0;
  Gamma = 0.0;
  PaletteAlpha.fill(255);
  if (ModifiedTime) std::memset(static_cast<void*>(ModifiedTime), 0, sizeof(PngTimeRecord));
  if (GifControl) GifControl->fill(0);
  if (Chromaticities) Chromaticities->fill(0);
  BitDepth = 0;
  ImageComplete = false;
}

void TZelPNGReadStream::ReadImage() {
  // The decoder and the row memory never outlive the read, however it ends.
  struct Release {
    TZelPNGReadStream* reader;
    ~Release() {
      EndDecoder(&reader->Decoder);
      reader->FreeRowBuffers();
    }
  } release{this};

  BeginProgress();
  BeginStage(StageBytes, 0, 30);
  ResetResults();

  if (CheckSignature) {
    std::uint8_t signature[8] = {};
    ReadBlock(signature, sizeof signature);
    if (std::memcmp(signature, PngSignature, sizeof signature) != 0) Fail(SNotPNGFormat);
  }

  ReadChunks();

  if (HeaderOnly) {
    // No bitmap is prepared, so a palette tRNS is resolved here instead.
    if (TransparentColor == PaletteAlphaMarker) ResolvePaletteAlpha();
  } else if ((ChunkFlags & cfHeader) == 0 || !ImageComplete) {
    // A picture missing rows must not pass for a loaded one.
    Fail(SReadImageError);
  }

  if (!HeaderOnly && !ErrorFlag && !StopFlag && !HasAlpha && TransparentColor != -1) {
    TargetBitmap->SetTransparent(true);
    TargetBitmap->SetTransparentColor(TransparentColor);
  }
  if (PaletteAlphaPresent && AlphaInUse) FillAlphaFromPalette();
  EndProgress();
}

void TZelPNGReadStream::ReadChunks() {
  while (!ErrorFlag && !StopFlag && (ChunkFlags & cfEnd) == 0) {
    const std::uint32_t length = ReadLongBE();
    ChunkType = ReadLongBE();
    if (ErrorFlag) break;
    if (!ChunkLengthFits(length)) {
      // Nothing after a length that cannot be honoured can be trusted: end of the data.
      ErrorFlag = true;
      break;
    }
    ChunkBytesLeft = length;
    switch (ChunkType) {
      case ChunkIHDR: ReadHeader(); break;
      case ChunkPLTE: ReadPalette(); break;
      case ChunkIDAT: ReadImageData(); break;
      case ChunkIEND: ReadEnd(); break;
      case ChunkTRNS: ReadTransparency(); break;
      case ChunkBKGD: ReadBackground(); break;
      case ChunkGAMA: ReadGamma(); break;
      case ChunkCHRM: ReadChromaticities(); break;
      case ChunkSBIT: ReadSignificantBits(); break;
      case ChunkPHYS: ReadPhysicalSize(); break;
      case ChunkTIME: ReadTime(); break;
      case ChunkTEXT: ReadTextChunk(); break;
      case ChunkGIFG: ReadGifControl(); break;
      case ChunkTPNG: ReadPrivateChunk(); break;
      default: break;
    }
    SkipChunkRest();
    ReadLongBE();  // the CRC, never checked
  }
}

void TZelPNGReadStream::SkipChunkRest() {
  if (ChunkBytesLeft > 0) SkipInput(ChunkBytesLeft);
  ChunkBytesLeft = 0;
}

void TZelPNGReadStream::ReadHeader() {
  if (ChunkFlags & cfHeader) Fail(STwoHeaders);
  // A header too short for its fields would pull the CRC and the next chunk into them.
  if (ChunkBytesLeft < 13) return;
  const std::uint32_t width = ReadLongBE();
  const std::uint32_t height = ReadLongBE();
  BitDepth = ReadByte();
  std::int32_t colorType = ReadByte() & 7;
  if (colorType == 1 || colorType == 5 || colorType == 7) Fail(SErrorColorType);
  if (colorType & 4) {
    HasAlpha = true;
    colorType &= ~4;
  }
  BaseColorType = colorType;
  if (colorType == ctGrey) Grayscale = true;
  if (ReadByte() > 1) Fail(SNoCompression);
  if (ReadByte() > 1) Fail(SNoFilter);
  const std::uint8_t interlace = ReadByte();
  if (interlace > 1) Fail(SNoInterlace);
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) Fail(SReadImageError);
  Width = static_cast<std::int32_t>(width);
  Height = static_cast<std::int32_t>(height);
  Interlace = interlace;
  ChunkFlags |= cfHeader;
  UpdateProgress(0);
  ChunkBytesLeft -= 13;
}

void TZelPNGReadStream::ReadPalette() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfPalette | cfDataDone)) != 0) return;
  const bool greyIndexed = BaseColorType == ctGrey && HasAlpha && BitDepth == 8 && PaletteIndexInGrey;
  if (BaseColorType != ctRGB && BaseColorType != ctPalette && !greyIndexed) return;
  const std::int32_t count = static_cast<std::int32_t>(std::min<std::int64_t>(ChunkBytesLeft / 3, 256));
  std::uint8_t entries[256 * 3] = {};
  if (count > 0) ReadBlock(entries, std::int64_t{count} * 3);
  RGBQUAD* quads = PaletteBuffer();
  for (std::int32_t i = 0; i < count; ++i) {
    quads[i].rgbRed = entries[i * 3];
    quads[i].rgbGreen = entries[i * 3 + 1];
    quads[i].rgbBlue = entries[i * 3 + 2];
    quads[i].rgbReserved = 0;
  }
  PaletteCount = count;
  ChunkFlags |= cfPalette;
  ChunkBytesLeft -= std::int64_t{count} * 3;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadEnd() { ChunkFlags |= cfEnd; }

// The grey level a 16-bit grey sample of tRNS or bKGD names. Below 8 bits the sample is
// scaled like the image's grey palette, so the colour matches the pixels that carry it.
static std::uint32_t GreySampleLevel(std::uint16_t sample, std::int32_t depth) {
  switch (depth) {
    case 16: return sample >> 8;
    case 1: return (sample & 1u) * 255;
    case 2: return (sample & 3u) * 85;
    case 4: return (sample & 15u) * 17;
    default: return sample & 0xFFu;
  }
}

TColor TZelPNGReadStream::ReadRgbSamples() {
  const std::uint16_t r = ReadWordBE();
  const std::uint16_t g = ReadWordBE();
  const std::uint16_t b = ReadWordBE();
  ChunkBytesLeft -= 6;
  const int shift = BitDepth == 16 ? 8 : 0;
  return TColor((r >> shift) & 0xFF) | (TColor((g >> shift) & 0xFF) << 8) | (TColor((b >> shift) & 0xFF) << 16);
}

void TZelPNGReadStream::ReadTransparency() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & cfDataDone) != 0 || HasAlpha) return;
  if (BaseColorType == ctGrey) {
    if (ChunkBytesLeft < 2) return;
    const std::uint16_t sample = ReadWordBE();
    ChunkBytesLeft -= 2;
    TransparentColor = TColor(GreySampleLevel(sample, BitDepth) * 0x010101u);
  } else if (BaseColorType == ctRGB) {
    if (ChunkBytesLeft < 6) return;
    TransparentColor = ReadRgbSamples();
  } else {
    const std::int64_t count = std::min<std::int64_t>(ChunkBytesLeft, PaletteCount);
    if (count > 0) {
      ReadBlock(PaletteAlpha.data(), count);
      ChunkBytesLeft -= count;
    }
    TransparentColor = PaletteAlphaMarker;
  }
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadBackground() {
  if ((ChunkFlags & cfHeader) == 0) return;
  if (BaseColorType == ctGrey) {
    if (ChunkBytesLeft < 2) return;
    const std::uint16_t sample = ReadWordBE();
    ChunkBytesLeft -= 2;
    const std::uint32_t level = GreySampleLevel(sample, BitDepth);
    BackgroundColor = PaletteIndexInGrey ? TColor(level) + PaletteIndexFlag : TColor(level * 0x010101u);
  } else if (BaseColorType == ctRGB) {
    if (ChunkBytesLeft < 6) return;
    BackgroundColor = ReadRgbSamples();
  } else {
    if (ChunkBytesLeft < 1) return;
    BackgroundColor = TColor(ReadByte()) + PaletteIndexFlag;
    ChunkBytesLeft -= 1;
  }
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadGamma() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfDataDone | cfPalette)) != 0) return;
  if (ChunkBytesLeft < 4) return;
  Gamma = ReadLongBE() / 100000.0;
  ChunkBytesLeft -= 4;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadChromaticities() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfDataDone | cfPalette)) != 0) return;
  if (ChunkBytesLeft != 32 || Chromaticities == nullptr) return;
  for (std::uint32_t& value : *Chromaticities) value = ReadLongBE();
  ChunkBytesLeft -= 32;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadSignificantBits() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfDataDone | cfPalette)) != 0) return;
  if (BaseColorType != ctRGB && BaseColorType != ctPalette) return;
  const std::int64_t size = HasAlpha ? 4 : 3;
  if (ChunkBytesLeft < size) return;
  std::uint32_t bits = ReadByte();
  bits |= std::uint32_t(ReadByte()) << 8;
  bits |= std::uint32_t(ReadByte()) << 16;
  if (HasAlpha) bits |= std::uint32_t(ReadByte()) << 24;
  SignificantBits = bits;
  ChunkBytesLeft -= size;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadPhysicalSize() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & cfDataDone) != 0) return;
  if (ChunkBytesLeft < 9) return;
  PhysX = static_cast<std::int32_t>(ReadLongBE());
  PhysY = static_cast<std::int32_t>(ReadLongBE());
  PhysUnit = ReadByte();
  ChunkBytesLeft -= 9;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadTime() {
  if (ChunkBytesLeft != 7 || ModifiedTime == nullptr) return;
  ModifiedTime->Year = ReadWordBE();
  ModifiedTime->Month = ReadByte();
  ModifiedTime->Day = ReadByte();
  ModifiedTime->Hour = ReadByte();
  ModifiedTime->Minute = ReadByte();
  ModifiedTime->Second = ReadByte();
  ChunkBytesLeft -= 7;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadGifControl() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfDataDone | cfPalette)) != 0) return;
  if (ChunkBytesLeft != 4 || GifControl == nullptr) return;
  ReadBlock(GifControl->data(), 4);
  ChunkBytesLeft -= 4;
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadTextChunk() {
  if (ChunkBytesLeft <= 0) return;
  // The length was checked against the data still to come, so it bounds the allocation.
  std::vector<char> data(static_cast<std::size_t>(ChunkBytesLeft));
  ReadBlock(data.data(), ChunkBytesLeft);
  ChunkBytesLeft = 0;
  if (ErrorFlag) return;
  const auto end = data.end();
  const auto zero = std::find(data.begin(), end, '\0');
  if (std::string_view(data.data(), static_cast<std::size_t>(zero - data.begin())) != "Comment") return;
  const std::string_view text =
      zero == end ? std::string_view() : std::string_view(&*zero + 1, static_cast<std::size_t>(end - zero - 1));
  CollectComment(Comment, text);
  if (zero != end) CommentTexts.emplace_back(text);
  UpdateProgress(0);
}

void TZelPNGReadStream::ReadPrivateChunk() {
  if ((ChunkFlags & cfHeader) == 0 || (ChunkFlags & (cfPrivate | cfDataDone)) != 0) return;
  ChunkFlags |= cfPrivate;
  if (ChunkBytesLeft < 4) return;
  char marker[4] = {};
  ReadBlock(marker, 4);
  ChunkBytesLeft -= 4;
  if (ChunkBytesLeft <= 0 || std::memcmp(marker, PrivateChunkMarker, 4) != 0) return;
  if (ReadByte() != 0) {
    RowKey = RowHookKey;
    if (OnKeyRequest) OnKeyRequest(this, RowKey);
  }
  ChunkBytesLeft -= 1;
  // The flag byte is read only where the chunk holds it.
  if (ChunkBytesLeft <= 0) return;
  if (ReadByte() == 1 && AcceptPaletteIndexInGrey) PaletteIndexInGrey = true;
  ChunkBytesLeft -= 1;
}

std::int32_t TZelPNGReadStream::FetchIdatData(DecoderContext* context) {
  auto* reader = static_cast<TZelPNGReadStream*>(context->Owner);
  while (reader->ChunkBytesLeft <= 0) {
    reader->ReadLongBE();  // CRC of the chunk used up
    const std::uint32_t length = reader->ReadLongBE();
    reader->ChunkType = reader->ReadLongBE();
    if (reader->ErrorFlag || reader->StopFlag) return -1;
    if (!reader->ChunkLengthFits(length)) {
      reader->ErrorFlag = true;
      return -1;
    }
    reader->ChunkBytesLeft = length;
    if (reader->ChunkType != ChunkIDAT) return -1;
  }
  const std::int64_t count = std::min<std::int64_t>(reader->ChunkBytesLeft, std::int64_t{ZelDecoderBufferSize});
  if (!reader->ErrorFlag && !reader->StopFlag && count <= reader->BytesLeft) {
    // The bytes already lie at the cursor (in the read buffer, or in a memory stream read
    // in place) and stay there until the decoder has used them up and asks again.
    context->Stream.next_in = const_cast<std::uint8_t*>(reader->Cursor);
    reader->SkipInput(count);
  } else {
    reader->ReadBlock(context->InputBuffer.get(), count);
    context->Stream.next_in = context->InputBuffer.get();
  }
  context->Stream.avail_in = static_cast<unsigned>(count);
  reader->ChunkBytesLeft -= count;
  return reader->ErrorFlag ? -1 : 0;
}

void TZelPNGReadStream::ReadImageData() {
  if (ChunkFlags & cfDataDone) return;
  SetupConverters();
  if (HeaderOnly) {
    ChunkFlags |= cfDataDone;
    return;
  }
  // Image data before the header cannot be decoded; the read can only fail.
  if (BaseColorType < 0) Fail(SReadImageError);
  DecodeImage();
  ChunkFlags |= cfDataDone;
}

static constexpr std::int64_t DeflateMaxRatio = 1032;

void TZelPNGReadStream::DecodeImage() {
  const std::int64_t width = Width;
  const std::int64_t height = Height;
  const bool alphaPossible = AlphaBitmap != nullptr && (HasAlpha || TransparentColor == PaletteAlphaMarker);
  // The header's width and height fit 31 bits each, so a row's bytes fit easily; the
  // products with the height may not.
  std::optional<std::int64_t> memory = CheckedMulAdd(RowBytes64(width, OutputBits), height, RowBufferBytes());
  if (memory && alphaPossible) memory = CheckedMulAdd(RowBytes64(width, 8), height, *memory);
  if (!memory || *memory > MaxPixelBytes) Fail(SReadImageError);
  // Deflate cannot expand its input more than 1032-fold, so data this short can never
  // hold every row: refuse before the bitmap is emptied and a large one allocated.
  const std::optional<std::int64_t> rawBytes = CheckedMulAdd(PackedRowBytes64(width, Decoder.PixelBits), height);
  if (!rawBytes || *rawBytes / DeflateMaxRatio > DataSize - Consumed + 1) Fail(SReadImageError);

  if (InitDecoder(&Decoder) != 0) Fail(SErrorZlib);
  struct Finish {
    TZelPNGReadStream* reader;
    ~Finish() {
      ResetDecoder(&reader->Decoder);
      EndDecoder(&reader->Decoder);
      reader->FreeRowBuffers();
      reader->BeginStage(StageBytes, 0, 0);
    }
  } finish{this};

  PrepareBitmap();
  AllocRowBuffers();
  if (TargetBitmap->Width() != Width || TargetBitmap->Height() != Height) Fail(SReadImageError);
  BeginStage(StageUnits, InterlacedRowCount(Interlace, Height), 98);
  DecodePasses();
}

void TZelPNGReadStream::DecodePasses() {
  const bool hooked = !RowKey.empty() && static_cast<bool>(OnReadRow);
  // Every row's length is known before the first is decoded; told the total, the decoder
  // inflates blocks of rows at once yet never reads past the last one.
  // A pass's row: its filter-type byte and the packed pixels.
  const auto passRowLength = [this] { return PackedRowBytes64(PassWidth, Decoder.PixelBits) + 1; };
  std::int64_t expected = 0;
  for (std::int32_t pass = 0; pass <= LastPass; ++pass) {
    if (!SetupPass(pass) || PassRowFirst >= Height) continue;
    const std::int64_t rows = (std::int64_t{Height} - PassRowFirst + PassRowStep - 1) / PassRowStep;
    expected += rows * passRowLength();
  }
  Decoder.BytesExpected = expected;
  std::int64_t rowNumber = 1;
  for (std::int32_t pass = 0; pass <= LastPass; ++pass) {
    if (!SetupPass(pass)) continue;
    const std::int64_t rowLength = passRowLength();
    Decoder.RowLength = static_cast<std::int32_t>(rowLength);
    Decoder.PreviousRow = rowBufferA_;
    std::memset(rowBufferA_, 0, static_cast<std::size_t>(rowLength));
    const bool direct = LastPass == 0;
    for (std::int64_t y = PassRowFirst; y < Height; y += PassRowStep) {
      auto* line = static_cast<std::uint8_t*>(TargetBitmap->ScanLine(static_cast<int>(y)));
      std::uint8_t* alphaLine = AlphaInUse ? static_cast<std::uint8_t*>(AlphaInUse->ScanLine(static_cast<int>(y))) : nullptr;
      ConvertTarget = direct ? line : ConvertedRow;
      AlphaTarget = direct && alphaLine ? alphaLine : AlphaRow;
      // Unhooked rows may stay where the decoder inflated them, which saves a copy of
      // every row; a hook gets a row of its own to change.
      Decoder.Row = Decoder.PreviousRow == rowBufferA_ ? rowBufferB_ : rowBufferA_;
      Decoder.Spare = hooked ? nullptr : Decoder.Row == rowBufferA_ ? rowBufferB_ : rowBufferA_;
      const std::int32_t status = DecodeRow(&Decoder);
      if (status < 0) Fail(SReadImageError);
      RawRow = Decoder.Row;
      if (hooked) {
        // The next row is unfiltered against the row as decoded, not as the hook left it.
        PreviousRow = Decoder.Row == rowBufferA_ ? rowBufferB_ : rowBufferA_;
        std::memcpy(PreviousRow, RawRow, static_cast<std::size_t>(rowLength));
        OnReadRow(this, RawRow + 1, static_cast<std::int32_t>(rowLength - 1), static_cast<std::int32_t>(rowNumber - 1),
                  RowKey);
      }
      const std::uint8_t* converted = RowConverter(this);
      ImagePlacer(this, line, converted);
      if (alphaLine && AlphaPlacer) AlphaPlacer(this, alphaLine, AlphaTarget);
      Decoder.PreviousRow = hooked ? PreviousRow : RawRow;
      if ((rowNumber & 3) == 2 || Height < 4) UpdateProgress(rowNumber);
      ++rowNumber;
      if (StopFlag) break;
    }
    if (ErrorFlag || StopFlag) return;
  }
  ImageComplete = true;
}

std::int64_t TZelPNGReadStream::RawRowBytes() const { return RowBytes64(Width, Decoder.PixelBits) + 4; }
std::int64_t TZelPNGReadStream::ConvertedRowBytes() const { return RowBytes64(Width, OutputBits) + 4; }

std::int64_t TZelPNGReadStream::RowBufferBytes() const {
  return 2 * RawRowBytes() + ConvertedRowBytes() + RowBytes64(Width, 8);
}

void TZelPNGReadStream::AllocRowBuffers() {
  FreeRowBuffers();
  const std::int64_t raw = RawRowBytes();
  const std::int64_t converted = ConvertedRowBytes();
  ImagePixelBytes = PackedRowBytes64(Width, OutputBits);
  rowMemory_ = TakeWorkBuffer(RowBufferBytes(), true);
  if (!rowMemory_) throw EOutOfMemory(SOutOfMemory);
  rowBufferA_ = RawRow = rowMemory_.get();
  rowBufferB_ = PreviousRow = RawRow + raw;
  ConvertedRow = PreviousRow + raw;
  AlphaRow = ConvertedRow + converted;
}

void TZelPNGReadStream::FreeRowBuffers() noexcept {
  rowMemory_.reset();
  RawRow = PreviousRow = ConvertedRow = AlphaRow = nullptr;
  rowBufferA_ = rowBufferB_ = nullptr;
  ConvertTarget = AlphaTarget = nullptr;
  Decoder.Row = Decoder.PreviousRow = Decoder.Spare = nullptr;
}
