#include "png/ZelStream.h"

#include <cstring>
#include <new>

#include "png/SFunc.h"

namespace {

WorkBuffer AllocStreamBuffer() {
  WorkBuffer buffer = TakeWorkBuffer(ZelStreamBufferSize);
  if (!buffer) throw EOutOfMemory(SOutOfMemory);
  return buffer;
}

// Stage share of the remaining points: 0 (or 100 and above) takes all that remains.
std::int32_t ShareOf(std::int32_t remaining, std::int32_t share) {
  if (share <= 0 || share >= 100) return remaining;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(remaining) * share / 100);
}

std::int32_t ClampPercent(std::int64_t percent) {
  if (percent > INT32_MAX) return INT32_MAX;
  if (percent < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(percent);
}

}  // namespace

TPixelFormat BitsToPixelFormat(std::int32_t bits) {
  switch (bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 15: return pf15bit;
    case 16: return pf16bit;
    case 32: return pf32bit;
    default: return pf24bit;
  }
}

std::int32_t PixelFormatToBits(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf32bit: return 32;
    case pfCustom: return 15;
    case pfDevice:
    case pf24bit:
    default: return 24;
  }
}

void ReportBitmapProgress(TBitmap* bitmap, std::int32_t percent) {
  if (bitmap == nullptr || !bitmap->OnProgress) return;
  TProgressStage stage = psEnding;
  if (percent == 0) {
    stage = psStarting;
  } else if (percent >= 1 && percent <= 99) {
    stage = psRunning;
  } else {
    percent = 100;
  }
  bitmap->OnProgress(bitmap, stage, static_cast<std::uint8_t>(percent), false, Rect(0, 0, 0, 0), std::string());
}

// -------------------------------------------------------------- TZelProgressStream

void TZelProgressStream::BeginProgress() {
  ProgressBase = 0;
  ProgressReported = 0;
  StageShare = 0;
  RemainingShare = 99;
  StopFlag = false;
  StopFlag = NotifyProgress(0);
}

void TZelProgressStream::EndProgress() { StopFlag = NotifyProgress(100); }

bool TZelProgressStream::NotifyProgress(std::int32_t) { return false; }

void TZelProgressStream::EnterStage(std::int32_t mode, std::int64_t total, std::int32_t share) {
  ProgressBase += StageShare;
  ProgressReported = ProgressBase;
  RemainingShare -= StageShare;
  StageMode = mode;
  StageTotal = total <= 0 ? 1 : total;
  StageShare = ShareOf(RemainingShare, share);
}

void TZelProgressStream::ReportStage(std::int64_t done) {
  const std::int32_t percent = ClampPercent(ProgressBase + done);
  if (percent > ProgressReported) {
    ProgressReported = percent;
    StopFlag = NotifyProgress(percent);
  }
}

// ------------------------------------------------------------ TZelCustomReadStream

TZelCustomReadStream::~TZelCustomReadStream() = default;

void TZelCustomReadStream::StartRead(TStream* stream, std::int64_t size) {
  Source = stream;
  StartPosition = stream->Position();
  DataSize = size > 0 ? size : stream->Size() - StartPosition;
  Consumed = 0;
  StopFlag = false;
  ErrorFlag = false;
  BytesLeft = 0;
  Cursor = nullptr;
  if (auto* memory = dynamic_cast<TMemoryStream*>(stream)) {
    // Served in place: never promise more than the block holds.
    const std::int64_t held = memory->Size() - StartPosition;
    if (DataSize > held) DataSize = held;
    if (DataSize <= 0 || memory->Memory() == nullptr) {
      ErrorFlag = true;
      return;
    }
    Buffer.reset();
    Cursor = static_cast<const std::uint8_t*>(memory->Memory()) + StartPosition;
    BytesLeft = DataSize;
  } else {
    if (DataSize <= 0) {
      ErrorFlag = true;
      return;
    }
    if (!Buffer) Buffer = AllocStreamBuffer();
    Cursor = Buffer.get();
    FillBuffer(0);
  }
  if (SkipMacBinaryHeader && DataSize > MacBinaryHeaderSize && BytesLeft > 74 && Cursor[0] == 0 &&
      Cursor[74] == 0) {
    Cursor += MacBinaryHeaderSize;
    Consumed = MacBinaryHeaderSize;
    BytesLeft -= MacBinaryHeaderSize;
  }
}

void TZelCustomReadStream::FinishRead() noexcept {
  Buffer.reset();
  Cursor = nullptr;
  BytesLeft = 0;
  if (Source != nullptr) {
    try {
      Source->Seek(StartPosition + Consumed, TSeekOrigin::soBeginning);
    } catch (...) {
      // Positioning is a courtesy to the caller; it must not mask the read's own outcome.
    }
  }
}

void TZelCustomReadStream::FillBuffer(std::int32_t keep) {
  if (!Buffer) {
    // An in-place memory read never needs a refill; asking for one means the data ended.
    ErrorFlag = true;
    return;
  }
  const std::int64_t available = DataSize - Consumed - keep;
  const std::int64_t room = ZelStreamBufferSize - keep;
  std::int64_t count = available > room ? room : available;
  if (count < 0) count = 0;
  Source->ReadBuffer(Buffer.get() + keep, count);
  BytesLeft = keep + count;
  Cursor = Buffer.get();
}

void TZelCustomReadStream::Refill(std::int32_t keep) {
  if (keep > 0 && Buffer && Cursor != Buffer.get()) std::memmove(Buffer.get(), Cursor, static_cast<std::size_t>(keep));
  FillBuffer(keep);
}

void TZelCustomReadStream::SkipInput(std::int64_t count) {
  if (Halted()) return;
  if (count < 0 || Exceeds(count)) {
    ErrorFlag = true;
    return;
  }
  if (count == 0) {
    StopFlag = true;
    return;
  }
  if (count <= BytesLeft) {
    Cursor += count;
    Consumed += count;
    BytesLeft -= count;
    return;
  }
  Consumed += count;
  Source->Seek(count - BytesLeft, TSeekOrigin::soCurrent);
  BytesLeft = 0;
}

void TZelCustomReadStream::ReadBlock(void* dest, std::int64_t count) {
  if (Halted()) return;
  if (count <= 0) {
    StopFlag = true;
    return;
  }
  if (Exceeds(count)) {
    ErrorFlag = true;
    return;
  }
  auto* out = static_cast<std::uint8_t*>(dest);
  if (count <= BytesLeft) {
    std::memcpy(out, Cursor, static_cast<std::size_t>(count));
    Cursor += count;
    Consumed += count;
    BytesLeft -= count;
    return;
  }
  std::int64_t wanted = count;
  if (BytesLeft > 0) {
    std::memcpy(out, Cursor, static_cast<std::size_t>(BytesLeft));
    out += BytesLeft;
    wanted -= BytesLeft;
    Consumed += BytesLeft;
    BytesLeft = 0;
  }
  if (wanted >= ZelStreamBufferSize) {
    const std::int64_t direct = wanted - ZelStreamBufferSize;
    Source->ReadBuffer(out, direct);
    out += direct;
    wanted -= direct;
    Consumed += direct;
  }
  FillBuffer(0);
  if (ErrorFlag) return;
  std::memcpy(out, Cursor, static_cast<std::size_t>(wanted));
  Cursor += wanted;
  Consumed += wanted;
  BytesLeft -= wanted;
}

const std::uint8_t* TZelCustomReadStream::Take(std::int32_t count) {
  if (Halted()) return nullptr;
  if (Exceeds(count)) {
    ErrorFlag = true;
    return nullptr;
  }
  if (BytesLeft < count) {
    Refill(static_cast<std::int32_t>(BytesLeft));
    if (ErrorFlag) return nullptr;
  }
  const std::uint8_t* const bytes = Cursor;
  Cursor += count;
  Consumed += count;
  BytesLeft -= count;
  return bytes;
}

std::uint8_t TZelCustomReadStream::ReadByte() {
  const std::uint8_t* const p = Take(1);
  return p != nullptr ? p[0] : 0;
}

std::uint16_t TZelCustomReadStream::ReadWordBE() {
  const std::uint8_t* const p = Take(2);
  return p != nullptr ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : 0;
}

std::uint32_t TZelCustomReadStream::ReadLongBE() {
  const std::uint8_t* const p = Take(4);
  if (p == nullptr) return 0;
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

void TZelCustomReadStream::BeginStage(std::int32_t mode, std::int64_t total, std::int32_t share) {
  if (mode == StageBytes) {
    total = DataSize;
    StageStart = Consumed;
  }
  EnterStage(mode, total, share);
}

void TZelCustomReadStream::UpdateProgress(std::int64_t position) {
  std::int64_t delta;
  if (StageMode == StageBytes) {
    delta = (Consumed - StageStart) * StageShare / StageTotal;
  } else if (position >= StageTotal) {
    delta = StageShare;
  } else {
    delta = position * StageShare / StageTotal;
  }
  ReportStage(delta);
}

// ----------------------------------------------------- TZelCustomGraphicReadStream

TZelCustomGraphicReadStream::TZelCustomGraphicReadStream() { SkipMacBinaryHeader = true; }

TZelCustomGraphicReadStream::~TZelCustomGraphicReadStream() { FreePaletteBuffer(); }

bool TZelCustomGraphicReadStream::NotifyProgress(std::int32_t percent) {
  if (!HeaderOnly) ReportBitmapProgress(TargetBitmap, percent);
  return false;
}

void TZelCustomGraphicReadStream::ReadFrom(TBitmap* bitmap, TStream* stream, std::int64_t size) {
  TargetBitmap = bitmap;
  HeaderOnly = bitmap == nullptr;
  TNotifyEvent savedOnChange;
  if (bitmap != nullptr) {
    savedOnChange = std::move(bitmap->OnChange);
    bitmap->OnChange = nullptr;
  }
  // Runs on every exit, the exceptional one included.
  struct Cleanup {
    TZelCustomGraphicReadStream* self;
    TBitmap* bitmap;
    TNotifyEvent& onChange;
    ~Cleanup() {
      self->FinishRead();
      self->FreePaletteBuffer();
      if (bitmap != nullptr) bitmap->OnChange = std::move(onChange);
    }
  } cleanup{this, bitmap, savedOnChange};

  StartRead(stream, size);
  Comment.clear();
  PaletteCount = 0;
  PhysUnit = 0;
  PhysX = 0;
  PhysY = 0;
  ReadImage();
}

void TZelCustomGraphicReadStream::PrepareBitmap() {
  if (HeaderOnly || TargetBitmap == nullptr) return;
  TBitmap* bitmap = TargetBitmap;
  bitmap->Assign(nullptr);
  bitmap->SetTransparent(false);
  bitmap->SetPixelFormat(BitsToPixelFormat(BitsPerPixel));
  bitmap->SetWidth(Width);
  bitmap->SetHeight(Height);
  if (palette_) {
    const HPALETTE palette = CreatePaletteFromQuads(palette_.get(), PaletteCount);
    if (palette != 0) bitmap->SetPalette(palette);
  }
}

RGBQUAD* TZelCustomGraphicReadStream::PaletteBuffer() {
  if (!palette_) {
    palette_.reset(new (std::nothrow) RGBQUAD[256]());
    if (!palette_) throw EOutOfMemory(SOutOfMemory);
  }
  return palette_.get();
}

void TZelCustomGraphicReadStream::FreePaletteBuffer() noexcept { palette_.reset(); }

// ----------------------------------------------------------- TZelCustomWriteStream

TZelCustomWriteStream::TZelCustomWriteStream() : Buffer(AllocStreamBuffer()) { Cursor = Buffer.get(); }

TZelCustomWriteStream::~TZelCustomWriteStream() = default;


void TZelCustomWriteStream::StartWrite(TStream* stream) {
  Target = stream;
  Cursor = Buffer.get();
  BufferedCount = 0;
}

void TZelCustomWriteStream::WriteBlock(const void* source, std::int64_t count) {
  if (StopFlag) return;
  if (count <= 0) {
    StopFlag = true;
    return;
  }
  if (count >= ZelDirectWriteSize) {
    FlushOutput();
    Target->WriteBuffer(source, count);
    return;
  }
  if (BufferedCount + count >= ZelStreamBufferSize) FlushOutput();
  std::memcpy(Cursor, source, static_cast<std::size_t>(count));
  Cursor += count;
  BufferedCount += static_cast<std::int32_t>(count);
}

void TZelCustomWriteStream::WriteLongBE(std::uint32_t value) {
  if (StopFlag) return;
  if (BufferedCount + 4 >= ZelStreamBufferSize) FlushOutput();
  Cursor[0] = static_cast<std::uint8_t>(value >> 24);
  Cursor[1] = static_cast<std::uint8_t>(value >> 16);
  Cursor[2] = static_cast<std::uint8_t>(value >> 8);
  Cursor[3] = static_cast<std::uint8_t>(value);
  Cursor += 4;
  BufferedCount += 4;
}

void TZelCustomWriteStream::FlushOutput() {
  if (BufferedCount > 0) Target->WriteBuffer(Buffer.get(), BufferedCount);
  BufferedCount = 0;
  Cursor = Buffer.get();
}

void TZelCustomWriteStream::FinishWrite() {
  if (BufferedCount > 0) FlushOutput();
}

void TZelCustomWriteStream::BeginStage(std::int32_t, std::int64_t total, std::int32_t share) {
  EnterStage(StageUnits, total, share);
}

void TZelCustomWriteStream::UpdateProgress(std::int64_t position) { ReportStage(position * StageShare / StageTotal); }

// ---------------------------------------------------- TZelCustomGraphicWriteStream

bool TZelCustomGraphicWriteStream::NotifyProgress(std::int32_t percent) {
  ReportBitmapProgress(SourceBitmap, percent);
  return false;
}

void TZelCustomGraphicWriteStream::WriteTo(TBitmap* bitmap, TStream* stream) {
  StartWrite(stream);
  SourceBitmap = bitmap;
  WriteImage();
  FinishWrite();
}
