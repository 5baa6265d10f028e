// What the PNG reader and writer share: the codec's exception, the chunk tags, the
// signature, the Adam7 pass geometry, the time record and the row hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/errors.h"
#include "classlib/graphics.h"

// Every error of the PNG codec.
CLASSLIB_EXCEPTION(EZelPNG, EInvalidGraphic);

inline constexpr std::uint8_t PngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Chunk types as their four bytes read big-endian; compared exactly (case counts).
constexpr std::uint32_t ChunkTag(const char (&name)[5]) {
  return (std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
         (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]));
}
inline constexpr std::uint32_t ChunkIHDR = ChunkTag("IHDR");
inline constexpr std::uint32_t ChunkPLTE = ChunkTag("PLTE");
inline constexpr std::uint32_t ChunkIDAT = ChunkTag("IDAT");
inline constexpr std::uint32_t ChunkIEND = ChunkTag("IEND");
inline constexpr std::uint32_t ChunkTRNS = ChunkTag("tRNS");
inline constexpr std::uint32_t ChunkBKGD = ChunkTag("bKGD");
inline constexpr std::uint32_t ChunkGAMA = ChunkTag("gAMA");
inline constexpr std::uint32_t ChunkCHRM = ChunkTag("cHRM");
inline constexpr std::uint32_t ChunkSBIT = ChunkTag("sBIT");
inline constexpr std::uint32_t ChunkPHYS = ChunkTag("pHYs");
inline constexpr std::uint32_t ChunkTIME = ChunkTag("tIME");
inline constexpr std::uint32_t ChunkTEXT = ChunkTag("tEXt");
inline constexpr std::uint32_t ChunkGIFG = ChunkTag("gIFg");
inline constexpr std::uint32_t ChunkTPNG = ChunkTag("tpNG");

// The private chunk's marker: "Zel3", then the row-hook flag, the palette-index-in-grey
// flag and two zero bytes.
inline constexpr char PrivateChunkMarker[5] = "Zel3";

// The colour value that marks a palette index in its low byte.
inline constexpr TColor PaletteIndexFlag = 0x01000000;

// year (machine order), month, day, hour, minute, second.
#pragma pack(push, 1)
struct PngTimeRecord {
  std::uint16_t Year;
  std::uint8_t Month;
  std::uint8_t Day;
  std::uint8_t Hour;
  std::uint8_t Minute;
  std::uint8_t Second;
};
#pragma pack(pop)
static_assert(sizeof(PngTimeRecord) == 7);


// Per-row event: sender (the stream), the raw row after its filter byte, its byte count,
// the row index (0 first, counting on across the interlace passes), the key.
using RowHook = std::function<void(TObject* sender, std::uint8_t* row, std::int32_t count, std::int32_t rowIndex,
                                   const std::string& key)>;

// Adam7 passes numbered 0 to 6.
struct Adam7Pass {
  std::int32_t StartColumn, ColumnStep, StartRow, RowStep;
};
inline constexpr Adam7Pass Adam7Passes[7] = {
    {0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2},
};
// Pixels in one row of the pass, and rows in the pass (0 when the pass is empty).
std::int32_t Adam7PassWidth(std::int32_t pass, std::int32_t width);
std::int32_t Adam7PassHeight(std::int32_t pass, std::int32_t height);

// Bytes of one 4-byte-aligned bitmap row, in 64 bits so that no width of a file can wrap
// it while buffers are sized.
inline std::int64_t RowBytes64(std::int64_t width, std::int64_t bits) { return ((width * bits + 31) / 32) * 4; }
// Bytes of one row up to its last pixel, as a PNG row holds it (without its filter byte).
inline std::int64_t PackedRowBytes64(std::int64_t width, std::int64_t bits) { return (width * bits + 7) / 8; }

// Rows to encode or decode over all passes: height without interlace, else the sum of the
// seven pass heights (passes that a narrow width skips still count).
std::int32_t InterlacedRowCount(std::int32_t interlace, std::int32_t height);
// The grey of a colour: (R*77 + G*150 + B*29) >> 8. Pixels and the grey bKGD and tRNS
// samples must weigh alike, so both go through here.
inline std::uint8_t GreyFromRgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint8_t>((red * 77 + green * 150 + blue * 29) >> 8);
}
// GreyFromRgb of a colour, reduced to 1 bit (>= 128) or 4 bits (>> 4) for those depths.
std::int32_t GreyLevel(std::int32_t bits, TColor colour);
// The current UTC time; the day of the week and the milliseconds are dropped.
void CaptureCurrentTime(PngTimeRecord& record);
