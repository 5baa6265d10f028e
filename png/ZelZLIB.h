// zlib driven one PNG row at a time: inflate and unfilter on the reading side, filter
// choice and deflate on the writing side. Nothing here raises; every operation returns a
// 32-bit status, 0 or above for success and negative for failure.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>

#include "classlib/object.h"
#include "png/ZelWorkMemory.h"

inline constexpr std::int32_t ZelDecoderBufferSize = 32768;
inline constexpr std::int32_t ZelDefaultIdatSize = 32768;
// Encoder buffer sizes of 0 or less, or of this or more, fall back to the default.
inline constexpr std::int32_t ZelEncoderBufferLimit = 262144;

// Failure statuses besides zlib's own negative codes (Z_DATA_ERROR, Z_MEM_ERROR, ...):
// input that ended, a row filter type above 4, or a callback that refused.
inline constexpr std::int32_t ZelStatusFailed = -1;

struct DecoderContext;
struct EncoderContext;
// Supplies compressed input: points next_in at InputBuffer, sets avail_in, returns 0;
// non-zero when no more image data can come.
using TDecoderInput = std::int32_t (*)(DecoderContext* context);
// Takes the first OutputBufferSize - avail_out bytes of OutputBuffer; 0 goes on.
using TEncoderOutput = std::int32_t (*)(EncoderContext* context);

struct DecoderContext {
  DecoderContext() = default;
  DecoderContext(const DecoderContext&) = delete;
  DecoderContext& operator=(const DecoderContext&) = delete;
  ~DecoderContext();

  TObject* Owner = nullptr;
  z_stream Stream{};
  WorkBuffer InputBuffer;
  std::int32_t InputBufferSize = 0;
  TDecoderInput InputCallback = nullptr;
  // Bytes of one row including the leading filter-type byte.
  std::int32_t RowLength = 0;
  // Filter-type byte followed by the raw row.
  std::uint8_t* Row = nullptr;
  // Same layout as Row; its leading byte is never read. All zero at the start of a pass.
  std::uint8_t* PreviousRow = nullptr;
  std::int32_t PixelBits = 0;
  bool Started = false;
  // Decompressed bytes (filter bytes included) that DecodeRow will still be asked for, or
  // 0 when the caller does not say. When set, rows are inflated in whole blocks, which
  // spares zlib its per-call work on short rows, but never beyond this count, so the input
  // is read no further than one row at a time would read it.
  std::int64_t BytesExpected = 0;
  // The block of rows inflated ahead: bytes Staged[StagedStart..StagedEnd) are still unused.
  WorkBuffer Staged;
  std::int32_t StagedStart = 0;
  std::int32_t StagedEnd = 0;
  // The failure that cut the block short; a row that needs bytes past them gets it.
  std::int32_t StagedStatus = 0;
  // Set by a caller that can read rows where they lie: a buffer of RowLength bytes other
  // than Row. DecodeRow may then point Row into the staged block instead of copying the
  // row out, and moves PreviousRow into Spare before that block is overwritten. Such a
  // caller passes Row on as the next PreviousRow and picks Row and Spare anew each row.
  std::uint8_t* Spare = nullptr;
};

struct EncoderContext {
  EncoderContext() = default;
  EncoderContext(const EncoderContext&) = delete;
  EncoderContext& operator=(const EncoderContext&) = delete;
  ~EncoderContext();

  TObject* Owner = nullptr;
  z_stream Stream{};
  WorkBuffer OutputBuffer;
  std::int32_t OutputBufferSize = 0;
  TEncoderOutput OutputCallback = nullptr;
  // Bytes of one filtered row including its filter-type byte.
  std::int32_t RowLength = 0;
  // Raw rows without a filter byte; the previous one is all zero for a pass's first row.
  std::uint8_t* CurrentRow = nullptr;
  std::uint8_t* PreviousRow = nullptr;
  std::int32_t PixelBits = 0;
  // Low byte: 0 adaptive, 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth, above 5 None.
  std::uint32_t FilterMode = 1;
  std::int32_t DepthCode = 0;
  // The chosen row (filter-type byte, then the filtered bytes) and the candidate scratch;
  // both RowLength bytes, exchanged when a candidate wins.
  std::uint8_t* FilteredRow = nullptr;
  std::uint8_t* TrialRow = nullptr;
  // 256 counts; a null histogram makes the score use its own.
  std::uint32_t* Histogram = nullptr;
  bool Started = false;
};

std::int32_t InitDecoder(DecoderContext* context);
std::int32_t InflateBytes(DecoderContext* context, std::uint8_t* destination, std::int32_t count);
std::int32_t DecodeRow(DecoderContext* context);
std::int32_t UnfilterRow(DecoderContext* context);
void ResetDecoder(DecoderContext* context);
void EndDecoder(DecoderContext* context) noexcept;

std::int32_t InitEncoder(EncoderContext* context, std::int32_t level, std::int32_t bufferSize);
std::int32_t DeflateBytes(EncoderContext* context, const std::uint8_t* data, std::int32_t count);
// Higher means better compressible; -1 for a row of few distinct bytes or one dominant byte.
std::int64_t ScoreFilteredRow(EncoderContext* context, const std::uint8_t* row);
void ChooseFilter(EncoderContext* context);
std::int32_t EncodeRow(EncoderContext* context);
std::int32_t FinishEncoder(EncoderContext* context);
void EndEncoder(EncoderContext* context) noexcept;
