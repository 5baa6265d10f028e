#include "colour/MedianCut.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

TMedianCut::TMedianCut() {
  Buckets.reset(new (std::nothrow) TMedianCutBucket[BucketCount]());
  if (!Buckets) throw EOutOfMemory(SOutOfMemory);
  for (int n = 0; n < BucketCount; ++n) Buckets[n].Bucket = n;
  std::memset(LookupTable, 0, sizeof(LookupTable));
  std::memset(PaletteEntries, 0, sizeof(PaletteEntries));
}

TMedianCut::~TMedianCut() = default;

void TMedianCut::AddColor(const RGBTRIPLE& color) {
  TMedianCutBucket& bucket = Buckets[BucketOf(color)];
  bucket.Count += 1;
  bucket.R += color.rgbtRed & 3u;
  bucket.G += color.rgbtGreen & 3u;
  bucket.B += color.rgbtBlue & 7u;
}

void TMedianCut::BuildPalette(int MaxDepth, bool SkipEmpty) {
  // Deeper splits would make more than 256 entries; a negative depth would never stop.
  Assert(MaxDepth >= 0 && MaxDepth <= 8);
  maxDepth_ = MaxDepth;
  TMedianCutBucket* records = Buckets.get();

  // A cell that holds one colour must represent it exactly, hence the mean of the low bits
  // on top of the cell's base rather than the cell's centre.
  for (std::uint32_t i = 0; i < 64; ++i) {
    for (std::uint32_t j = 0; j < 64; ++j) {
      TMedianCutBucket* row = records + i * 2048 + j * 32;
      for (std::uint32_t k = 0; k < 32; ++k) {
        TMedianCutBucket& bucket = row[k];
        if (bucket.Count != 0) {
          const auto count = static_cast<std::uint32_t>(bucket.Count);
          bucket.R = bucket.R / count + 4 * i;
          bucket.G = bucket.G / count + 4 * j;
          bucket.B = bucket.B / count + 8 * k;
        } else {
          bucket.R = 4 * i + 2;
          bucket.G = 4 * j + 2;
          bucket.B = 8 * k + 4;
        }
      }
    }
  }

  EntryCount = 0;
  int n = BucketCount;
  if (SkipEmpty) {
    n = 0;
    for (int r = 0; r < BucketCount; ++r) {
      if (records[r].Count != 0) records[n++] = records[r];
    }
  }

  DivideBox(0, n, 0);

  std::memset(LookupTable, 0, sizeof(LookupTable));
  for (int r = 0; r < n; ++r) LookupTable[records[r].Bucket] = static_cast<BYTE>(records[r].Index);
}

namespace {

enum class Channel { Red, Green, Blue };

std::uint32_t ValueOf(const TMedianCutBucket& bucket, Channel channel) {
  switch (channel) {
    case Channel::Red: return bucket.R;
    case Channel::Green: return bucket.G;
    case Channel::Blue: return bucket.B;
  }
  return 0;
}

// Weighted widths 1.2, 1.4 and 1.0 compared in integers (× 5): ties go to red, then green.
Channel WidestChannel(std::int64_t dR, std::int64_t dG, std::int64_t dB) {
  if (6 * dR >= 7 * dG && 6 * dR >= 5 * dB) return Channel::Red;
  if (7 * dG >= 5 * dB) return Channel::Green;
  return Channel::Blue;
}

}  // namespace

void TMedianCut::DivideBox(int Start, int Stop, int Depth) {
  if (Start == Stop) return;
  TMedianCutBucket* records = Buckets.get();

  std::int64_t total = 0;
  std::uint32_t minR = 255, minG = 255, minB = 255, maxR = 0, maxG = 0, maxB = 0;
  std::int64_t sumR = 0, sumG = 0, sumB = 0;
  std::int64_t plainR = 0, plainG = 0, plainB = 0;
  for (int r = Start; r < Stop; ++r) {
    const TMedianCutBucket& bucket = records[r];
    const std::int64_t count = bucket.Count;
    total += count;
    minR = std::min(minR, bucket.R);
    maxR = std::max(maxR, bucket.R);
    minG = std::min(minG, bucket.G);
    maxG = std::max(maxG, bucket.G);
    minB = std::min(minB, bucket.B);
    maxB = std::max(maxB, bucket.B);
    sumR += count * bucket.R;
    sumG += count * bucket.G;
    sumB += count * bucket.B;
    plainR += bucket.R;
    plainG += bucket.G;
    plainB += bucket.B;
  }

  // Without pixels (only when empty cells take part) every cell weighs the same.
  const std::int64_t divisor = total != 0 ? total : Stop - Start;
  const std::int64_t meanR = (total != 0 ? sumR : plainR) / divisor;
  const std::int64_t meanG = (total != 0 ? sumG : plainG) / divisor;
  const std::int64_t meanB = (total != 0 ? sumB : plainB) / divisor;

  if (Depth == maxDepth_ || total == 0) {
    PaletteEntries[EntryCount] = RGBQUAD{static_cast<BYTE>(meanB), static_cast<BYTE>(meanG),
                                         static_cast<BYTE>(meanR), 0};
    for (int r = Start; r < Stop; ++r) records[r].Index = EntryCount;
    ++EntryCount;
    return;
  }

  const Channel channel = WidestChannel(std::int64_t{maxR} - minR, std::int64_t{maxG} - minG,
                                        std::int64_t{maxB} - minB);
  const std::int64_t mean = channel == Channel::Red ? meanR : channel == Channel::Green ? meanG : meanB;

  int i = Start;
  int j = Stop;
  do {
    while (i < j && ValueOf(records[i], channel) <= mean) ++i;
    while (i < j && ValueOf(records[j - 1], channel) > mean) --j;
    if (i < j) std::swap(records[i], records[j - 1]);
  } while (i != j);

  // The upper part first: its leaves take the lower palette numbers.
  DivideBox(i, Stop, Depth + 1);
  DivideBox(Start, i, Depth + 1);
}

HPALETTE TMedianCut::MakePalette() const {
  LOGPALETTE palette{};
  palette.palVersion = 0x300;
  palette.palNumEntries = static_cast<WORD>(EntryCount);
  for (int n = 0; n < EntryCount; ++n) {
    palette.palPalEntry[n] = PALETTEENTRY{PaletteEntries[n].rgbRed, PaletteEntries[n].rgbGreen,
                                          PaletteEntries[n].rgbBlue, 0};
  }
  return CreatePalette(&palette);
}

namespace {

void CountPixels(TMedianCut& quantiser, TBitmap& source) {
  const int width = source.Width();
  const int height = source.Height();
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const RGBTRIPLE*>(source.ScanLine(y));
    for (int x = 0; x < width; ++x) quantiser.AddColor(row[x]);
  }
}

void MapPixels(const TMedianCut& quantiser, TBitmap& source, TBitmap& result) {
  const int width = source.Width();
  const int height = source.Height();
  for (int y = 0; y < height; ++y) {
    const auto* from = static_cast<const RGBTRIPLE*>(source.ScanLine(y));
    auto* to = static_cast<BYTE*>(result.ScanLine(y));
    for (int x = 0; x < width; ++x) to[x] = quantiser.PaletteIndexOf(from[x]);
  }
}

}  // namespace

std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, int Depth) {
  // A depth above 8 would need more than the 256 entries an 8-bit palette holds.
  Assert(Depth >= 0 && Depth <= 8);
  Assert(Bitmap != nullptr && Bitmap->PixelFormat() == pf24bit);

  try {
    auto quantiser = std::make_unique<TMedianCut>();
    CountPixels(*quantiser, *Bitmap);
    quantiser->BuildPalette(Depth, true);

    auto result = std::make_unique<TBitmap>();
    result->SetPixelFormat(pf8bit);
    result->SetSize(Bitmap->Width(), Bitmap->Height());
    const HPALETTE palette = quantiser->MakePalette();
    if (palette == 0) {
      // An image without pixels asks for a palette of no entries, which the platform may refuse.
      if (quantiser->EntryCount > 0) throw EOutOfResources(SOutOfResources);
    } else {
      try {
        result->SetPalette(palette);
      } catch (...) {
        DeleteObject(palette);
        throw;
      }
    }
    MapPixels(*quantiser, *Bitmap, *result);
    return result;
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(SOutOfMemory);
  }
}
