#include "colour/MedianCut.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

// Mapping pixels to entries has a vector form where the compiler can build it for AVX2; the
// processor is asked at run time whether it may be used.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MEDIAN_CUT_VECTOR_ROWS 1
#include <immintrin.h>
#endif

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

// Whole images are counted through a packed 64-bit tally per bucket rather than four separate
// additions into the 24-byte records: one read-modify-write per pixel into 1 MiB, which stays
// in the cache where 3 MiB of records would not. Field layout of a tally and of one pixel's
// contribution:
//   bits  0-11  sum of (red and 3)      bits 12-23  sum of (green and 3)
//   bits 24-35  sum of (blue and 7)     bits 36-45  pixel count
//   bits 46-62  the bucket number (in a contribution; a tally lets it overflow unused)
// A tally is emptied into its record when its count reaches 512, before any field can overflow
// (512 × 7 < 4096), so the records end up exactly as counting pixel by pixel leaves them.
// The records' own 32-bit fields hold any bitmap the class library makes: its pixel memory is
// capped at 1 GiB, fewer than 2^29 pixels of 24 bits, so a count stays below 2^31 and a blue
// sum below 7 × 2^29 < 2^32.
constexpr int kBucketShift = 46;
constexpr std::uint64_t kOnePixel = std::uint64_t{1} << 36;
constexpr std::uint64_t kTallyFull = std::uint64_t{512} << 36;

struct ChannelTables {
  std::uint64_t Red[256];
  std::uint64_t Green[256];
  std::uint64_t Blue[256];
};

constexpr ChannelTables MakeChannelTables() {
  ChannelTables t{};
  for (std::uint64_t v = 0; v < 256; ++v) {
    t.Red[v] = (v & 3) | kOnePixel | ((v >> 2) * 2048) << kBucketShift;
    t.Green[v] = (v & 3) << 12 | ((v >> 2) * 32) << kBucketShift;
    t.Blue[v] = (v & 7) << 24 | (v >> 3) << kBucketShift;
  }
  return t;
}

constexpr ChannelTables kChannels = MakeChannelTables();

inline std::uint64_t Contribution(const BYTE* pixel) {
  return kChannels.Blue[pixel[0]] + kChannels.Green[pixel[1]] + kChannels.Red[pixel[2]];
}

void EmptyTally(TMedianCutBucket& bucket, std::uint64_t tally) {
  bucket.Count += static_cast<std::int32_t>((tally >> 36) & 0x3FF);
  bucket.R += static_cast<std::uint32_t>(tally & 0xFFF);
  bucket.G += static_cast<std::uint32_t>((tally >> 12) & 0xFFF);
  bucket.B += static_cast<std::uint32_t>((tally >> 24) & 0xFFF);
}

inline void Tally(std::uint64_t* tallies, TMedianCutBucket* buckets, std::uint64_t contribution) {
  const auto bucket = static_cast<std::size_t>(contribution >> kBucketShift);
  std::uint64_t& tally = tallies[bucket];
  tally += contribution;
  if (tally & kTallyFull) {
    EmptyTally(buckets[bucket], tally);
    tally = 0;
  }
}

// Counting stays scalar: the scattered additions into the tallies bound it, not the arithmetic.
void CountRow(std::uint64_t* tallies, TMedianCutBucket* buckets, const BYTE* row, int width) {
  for (int x = 0; x < width; ++x) Tally(tallies, buckets, Contribution(row + 3 * x));
}

// Maps the row from pixel x on.
void MapRowPlain(const BYTE* lookup, const BYTE* row, BYTE* out, int x, int width) {
  for (; x < width; ++x) out[x] = lookup[Contribution(row + 3 * x) >> kBucketShift];
}

using MapRowFn = void (*)(const BYTE*, const BYTE*, BYTE*, int);

void MapRowScalar(const BYTE* lookup, const BYTE* row, BYTE* out, int width) {
  MapRowPlain(lookup, row, out, 0, width);
}

#ifdef MEDIAN_CUT_VECTOR_ROWS

// Eight pixels a step. Two 16-byte loads at byte 0 and 12 hold them; the second reads four
// bytes past the eighth pixel, so a step needs ten pixels of row left (30 bytes ≥ 28).
constexpr int kVectorPixels = 8;
constexpr int kVectorReach = 10;

// Each 32-bit lane: blue | green << 8 | red << 16 of one pixel.
__attribute__((target("avx2"))) inline __m256i LoadPixels(const BYTE* p) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  return _mm256_shuffle_epi8(bytes, spread);
}

__attribute__((target("avx2"))) inline __m256i BucketsOf(__m256i pixels) {
  const __m256i red = _mm256_and_si256(_mm256_srli_epi32(pixels, 7), _mm256_set1_epi32(0x1F800));
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 5), _mm256_set1_epi32(0x7E0));
  const __m256i blue = _mm256_and_si256(_mm256_srli_epi32(pixels, 3), _mm256_set1_epi32(0x1F));
  return _mm256_or_si256(_mm256_or_si256(red, green), blue);
}

// lookup must have three readable bytes after its last entry: a gather reads 32 bits at a time.
__attribute__((target("avx2"))) void MapRowAvx2(const BYTE* lookup, const BYTE* row, BYTE* out, int width) {
  // The low byte of each 32-bit lane, lane by lane, into the first eight bytes.
  const __m256i lowBytes = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                            0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i together = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
  int x = 0;
  for (; x + kVectorReach <= width; x += kVectorPixels) {
    const __m256i numbers = BucketsOf(LoadPixels(row + 3 * x));
    const __m256i entries = _mm256_i32gather_epi32(reinterpret_cast<const int*>(lookup), numbers, 1);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(entries, lowBytes), together);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm256_castsi256_si128(packed));
  }
  MapRowPlain(lookup, row, out, x, width);
}

#endif

MapRowFn PickMapRow() {
#ifdef MEDIAN_CUT_VECTOR_ROWS
  if (__builtin_cpu_supports("avx2")) return MapRowAvx2;
#endif
  return MapRowScalar;
}

void CountPixels(TMedianCut& quantiser, TBitmap& source) {
  const int width = source.Width();
  const int height = source.Height();
  // An empty bitmap has no rows to hand out.
  if (width <= 0 || height <= 0) return;
  std::unique_ptr<std::uint64_t[]> tallies(new std::uint64_t[TMedianCut::BucketCount]());
  TMedianCutBucket* buckets = quantiser.Buckets.get();
  for (int y = 0; y < height; ++y)
    CountRow(tallies.get(), buckets, static_cast<const BYTE*>(source.ScanLine(y)), width);
  for (int n = 0; n < TMedianCut::BucketCount; ++n) {
    if (tallies[n] != 0) EmptyTally(buckets[n], tallies[n]);
  }
}

void MapPixels(const TMedianCut& quantiser, TBitmap& source, TBitmap& result) {
  const int width = source.Width();
  const int height = source.Height();
  if (width <= 0 || height <= 0) return;
  // A padded copy of the table, so that wide reads past its last entry stay inside.
  std::unique_ptr<BYTE[]> lookup(new BYTE[TMedianCut::BucketCount + 4]());
  std::memcpy(lookup.get(), quantiser.LookupTable, TMedianCut::BucketCount);
  static const MapRowFn mapRow = PickMapRow();
  for (int y = 0; y < height; ++y) {
    mapRow(lookup.get(), static_cast<const BYTE*>(source.ScanLine(y)), static_cast<BYTE*>(result.ScanLine(y)), width);
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
