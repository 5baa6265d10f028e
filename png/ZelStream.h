// Buffered big-endian image streams over a class-library TStream, with staged progress.
// Short input never raises here: a read past the end sets a sticky error flag and yields
// zeros, a request for no bytes sets a sticky stop flag, and the image format decides.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "png/ZelWorkMemory.h"

inline constexpr std::int32_t ZelStreamBufferSize = 65536;
// Output blocks at least this long skip the write buffer.
inline constexpr std::int32_t ZelDirectWriteSize = 65520;
inline constexpr std::int32_t MacBinaryHeaderSize = 128;

// Progress stage modes: a read stage counts bytes consumed or caller-given units.
inline constexpr std::int32_t StageBytes = 0;
inline constexpr std::int32_t StageUnits = 1;

TPixelFormat BitsToPixelFormat(std::int32_t bits);
std::int32_t PixelFormatToBits(TPixelFormat format);

// Staged progress, shared by reading and writing: each stage takes its share of what the
// earlier stages left, and a percent is reported only when it grows.
class TZelProgressStream : public TObject {
public:
  CLASSLIB_CLASS(TZelProgressStream)

  void BeginProgress();
  void EndProgress();
  // The result becomes the stop flag.
  virtual bool NotifyProgress(std::int32_t percent);

  std::int32_t ProgressBase = 0;
  std::int32_t ProgressReported = 0;
  std::int32_t StageShare = 0;
  std::int32_t RemainingShare = 0;
  // Sizes and positions are 64-bit so that no input length can wrap a bounds check.
  std::int64_t StageTotal = 1;
  std::int32_t StageMode = StageBytes;
  bool StopFlag = false;

protected:
  // Closes the running stage and opens one of total units (at least 1).
  void EnterStage(std::int32_t mode, std::int64_t total, std::int32_t share);
  // Reports the running stage's base plus done percent, when that has grown.
  void ReportStage(std::int64_t done);
};

class TZelCustomReadStream : public TZelProgressStream {
public:
  CLASSLIB_CLASS(TZelCustomReadStream)
  ~TZelCustomReadStream() override;

  // size <= 0 takes the rest of the stream.
  void StartRead(TStream* stream, std::int64_t size);
  // Releases the buffer and leaves the source just after the last consumed byte. Never raises.
  void FinishRead() noexcept;
  void FillBuffer(std::int32_t keep);
  void SkipInput(std::int64_t count);
  void ReadBlock(void* dest, std::int64_t count);
  std::uint8_t ReadByte();
  std::uint16_t ReadWordBE();
  std::uint32_t ReadLongBE();

  // A byte stage counts the bytes consumed from its start against the whole input.
  void BeginStage(std::int32_t mode, std::int64_t total, std::int32_t share);
  void UpdateProgress(std::int64_t position);

  std::int64_t StageStart = 0;
  std::int64_t DataSize = 0;
  std::int64_t Consumed = 0;
  const std::uint8_t* Cursor = nullptr;
  WorkBuffer Buffer;
  std::int64_t BytesLeft = 0;
  std::int64_t StartPosition = 0;
  bool ErrorFlag = false;
  bool SkipMacBinaryHeader = false;
  TStream* Source = nullptr;

private:
  bool Halted() const { return StopFlag || ErrorFlag; }
  bool Exceeds(std::int64_t count) const { return count > DataSize - Consumed; }
  void Refill(std::int32_t keep);
  // count contiguous bytes at the cursor, consumed; nullptr when the input cannot give
  // them (the error flag then says why).
  const std::uint8_t* Take(std::int32_t count);
};

class TZelCustomGraphicReadStream : public TZelCustomReadStream {
public:
  CLASSLIB_CLASS(TZelCustomGraphicReadStream)
  TZelCustomGraphicReadStream();
  ~TZelCustomGraphicReadStream() override;

  bool NotifyProgress(std::int32_t percent) override;
  // The read entry: bitmap may be null for a header-only read.
  void ReadFrom(TBitmap* bitmap, TStream* stream, std::int64_t size);
  virtual void ReadImage() = 0;
  virtual void PrepareBitmap();

  // 256 colour-table entries (blue, green, red, 0), allocated zeroed on first use.
  RGBQUAD* PaletteBuffer();
  bool HasPaletteBuffer() const { return palette_ != nullptr; }
  void FreePaletteBuffer() noexcept;

  std::string Comment;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t BitsPerPixel = 0;
  std::int32_t SourceBits = 0;
  std::int32_t PaletteCount = 0;
  std::int32_t PhysUnit = 0;
  std::int32_t PhysX = 0;
  std::int32_t PhysY = 0;
  TBitmap* TargetBitmap = nullptr;
  bool HeaderOnly = false;

private:
  std::unique_ptr<RGBQUAD[]> palette_;
};

class TZelCustomWriteStream : public TZelProgressStream {
public:
  CLASSLIB_CLASS(TZelCustomWriteStream)
  TZelCustomWriteStream();
  ~TZelCustomWriteStream() override;

  void StartWrite(TStream* stream);
  void WriteBlock(const void* source, std::int64_t count);
  void WriteLongBE(std::uint32_t value);
  void FlushOutput();
  void FinishWrite();

  // Write stages are always in units; mode is accepted for symmetry with reading.
  void BeginStage(std::int32_t mode, std::int64_t total, std::int32_t share);
  void UpdateProgress(std::int64_t position);

  std::int32_t BufferedCount = 0;
  WorkBuffer Buffer;
  std::uint8_t* Cursor = nullptr;
  TStream* Target = nullptr;
};

class TZelCustomGraphicWriteStream : public TZelCustomWriteStream {
public:
  CLASSLIB_CLASS(TZelCustomGraphicWriteStream)
  bool NotifyProgress(std::int32_t percent) override;
  // The write entry: StartWrite, WriteImage, FinishWrite; nothing more is written when
  // WriteImage raises.
  void WriteTo(TBitmap* bitmap, TStream* stream);
  virtual void WriteImage() = 0;

  TBitmap* SourceBitmap = nullptr;
};

// Shared by both graphic streams: reports percent to the bitmap's OnProgress.
void ReportBitmapProgress(TBitmap* bitmap, std::int32_t percent);
