// Median-cut colour reduction: a 24-bit bitmap becomes a new 8-bit bitmap whose palette
// is chosen by splitting a coarse colour histogram box by box.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/gdi.h"
#include "classlib/graphics.h"
#include "classlib/object.h"

// One histogram cell. The cells cut the colour space into 64 × 64 × 32: the top 6 bits of
// red and green and the top 5 bits of blue, numbered red × 2048 + green × 32 + blue.
struct TMedianCutBucket {
  // Palette index the split gave to the cell (0 until then).
  std::int32_t Index;
  // The cell's own number; travels with the record when the split reorders records.
  std::int32_t Bucket;
  std::int32_t Count;
  // While counting: sums of the colour bits below the cell (red and 3, green and 3,
  // blue and 7). After normalising: the cell's representative colour, 0 to 255.
  std::uint32_t R;
  std::uint32_t G;
  std::uint32_t B;
};
static_assert(sizeof(TMedianCutBucket) == 24);

// Serves one reduction: count every pixel with AddColor, run BuildPalette once, then look
// pixels up and make the palette. BuildPalette rewrites the records in place, so nothing
// may be counted after it and it may not run twice.
class TMedianCut : public TObject {
public:
  CLASSLIB_CLASS(TMedianCut)
  static constexpr int BucketCount = 64 * 64 * 32;
  static constexpr int MaxEntries = 256;

  // Raises EOutOfMemory when the histogram cannot be had.
  TMedianCut();
  ~TMedianCut() override;

  // The bucket number of a colour given as the bytes of a 24-bit row: blue, green, red.
  static int BucketOf(const RGBTRIPLE& color) {
    return (color.rgbtRed >> 2) * 2048 + (color.rgbtGreen >> 2) * 32 + (color.rgbtBlue >> 3);
  }

  void AddColor(const RGBTRIPLE& color);
  // MaxDepth 0 to 8 (EAssertionFailed otherwise): at most 2^MaxDepth entries. SkipEmpty
  // leaves cells that counted no pixel out of the split; they then look up index 0.
  void BuildPalette(int MaxDepth, bool SkipEmpty);
  BYTE PaletteIndexOf(const RGBTRIPLE& color) const { return LookupTable[BucketOf(color)]; }
  // A new palette handle of EntryCount entries that the caller owns; 0 when the platform
  // refuses the request.
  HPALETTE MakePalette() const;

  std::unique_ptr<TMedianCutBucket[]> Buckets;
  BYTE LookupTable[BucketCount];
  std::int32_t EntryCount = 0;
  RGBQUAD PaletteEntries[MaxEntries];

private:
  void DivideBox(int Start, int Stop, int Depth);
  int maxDepth_ = 0;
};

// A new 8-bit bitmap of Bitmap's size whose palette holds at most 2^Depth colours, each
// pixel the entry of its source colour's cell. Bitmap must be 24-bit and Depth 0 to 8
// (EAssertionFailed otherwise); Bitmap is never changed.
std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, int Depth);
