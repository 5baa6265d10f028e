#include "png/ZelZLIB.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// zlib's state and window are working memory like the codec's own buffers: kept for the
// thread's next picture rather than freed.
voidpf ZAlloc(voidpf, uInt items, uInt size) {
  const std::uint64_t bytes = std::uint64_t{items} * size;
  if (bytes > SIZE_MAX) return Z_NULL;
  return TakeWorkMemory(static_cast<std::size_t>(bytes));
}

void ZFree(voidpf, voidpf address) { GiveWorkMemory(address); }

WorkBuffer TryAlloc(std::int32_t size) { return TakeWorkBuffer(size); }

// A callback may only say "go on" (0) or "stop"; a positive stop must not pass for success.
std::int32_t CallbackStatus(std::int32_t result) { return result > 0 ? ZelStatusFailed : result; }

// Ties go to the left byte, then the byte above. Written as selections rather than
// branches: on photographic rows the comparisons are unpredictable.
inline std::uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  const int bc = pb <= pc ? b : c;
  const int best = pb <= pc ? pb : pc;
  return static_cast<std::uint8_t>(pa <= best ? a : bc);
}

// ------------------------------------------------------------------- unfiltering
// The byte distance is a template argument for the common pixel sizes so that the
// compiler can keep the left neighbours in registers.

template <int Bpp>
void UnSub(std::uint8_t* raw, std::int32_t n, int bpp) {
  const int d = Bpp > 0 ? Bpp : bpp;
  for (std::int32_t i = d; i < n; ++i) raw[i] = static_cast<std::uint8_t>(raw[i] + raw[i - d]);
}

void UnUp(std::uint8_t* raw, const std::uint8_t* prev, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) raw[i] = static_cast<std::uint8_t>(raw[i] + prev[i]);
}

template <int Bpp>
void UnAverage(std::uint8_t* raw, const std::uint8_t* prev, std::int32_t n, int bpp) {
  const int d = Bpp > 0 ? Bpp : bpp;
  const std::int32_t head = d < n ? d : n;
  for (std::int32_t i = 0; i < head; ++i) raw[i] = static_cast<std::uint8_t>(raw[i] + (prev[i] >> 1));
  for (std::int32_t i = d; i < n; ++i) raw[i] = static_cast<std::uint8_t>(raw[i] + ((raw[i - d] + prev[i]) >> 1));
}

template <int Bpp>
void UnPaeth(std::uint8_t* raw, const std::uint8_t* prev, std::int32_t n, int bpp) {
  const int d = Bpp > 0 ? Bpp : bpp;
  const std::int32_t head = d < n ? d : n;
  for (std::int32_t i = 0; i < head; ++i) raw[i] = static_cast<std::uint8_t>(raw[i] + prev[i]);
  for (std::int32_t i = d; i < n; ++i)
    raw[i] = static_cast<std::uint8_t>(raw[i] + Paeth(raw[i - d], prev[i], prev[i - d]));
}

#if defined(__SSE2__)
// Paeth over whole 4-byte pixels at once, in 16-bit lanes. (Three-byte pixels do better
// with the scalar selections above.)
void UnPaethPixels4(std::uint8_t* raw, const std::uint8_t* prev, std::int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lowBytes = _mm_set1_epi16(0xFF);
  __m128i a = zero;
  __m128i c = zero;
  auto load = [&](const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), zero);
  };
  auto absolute = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  auto select = [](__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  };
  std::int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i b = load(prev + i);
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i ac = _mm_sub_epi16(a, c);
    const __m128i pa = absolute(bc);
    const __m128i pb = absolute(ac);
    const __m128i pc = absolute(_mm_add_epi16(bc, ac));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    // Lowest priority first, so that the left byte wins every tie, then the byte above.
    __m128i predictor = select(_mm_cmpeq_epi16(smallest, pb), b, c);
    predictor = select(_mm_cmpeq_epi16(smallest, pa), a, predictor);
    const __m128i d = _mm_and_si128(_mm_add_epi16(load(raw + i), predictor), lowBytes);
    const auto out = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(d, d)));
    std::memcpy(raw + i, &out, 4);
    a = d;
    c = b;
  }
  // A row that ends inside a pixel keeps the plain rule for its last bytes.
  for (; i < n; ++i) {
    raw[i] = static_cast<std::uint8_t>(raw[i] + (i >= 4 ? Paeth(raw[i - 4], prev[i], prev[i - 4]) : prev[i]));
  }
}
#endif

template <int Bpp>
std::int32_t Unfilter(std::uint8_t type, std::uint8_t* raw, const std::uint8_t* prev, std::int32_t n, int bpp) {
  switch (type) {
    case 0: return 0;
    case 1: UnSub<Bpp>(raw, n, bpp); return 0;
    case 2: UnUp(raw, prev, n); return 0;
    case 3: UnAverage<Bpp>(raw, prev, n, bpp); return 0;
    case 4:
#if defined(__SSE2__)
      if constexpr (Bpp == 4) {
        UnPaethPixels4(raw, prev, n);
        return 0;
      }
#endif
      UnPaeth<Bpp>(raw, prev, n, bpp);
      return 0;
    default: return ZelStatusFailed;
  }
}

// --------------------------------------------------------------------- filtering

void FilterRow(int type, std::uint8_t* out, const std::uint8_t* cur, const std::uint8_t* prev, std::int32_t n,
               int bpp) {
  out[0] = static_cast<std::uint8_t>(type);
  std::uint8_t* f = out + 1;
  const std::int32_t head = bpp < n ? bpp : n;
  switch (type) {
    case 1:
      std::memcpy(f, cur, static_cast<std::size_t>(head));
      for (std::int32_t i = bpp; i < n; ++i) f[i] = static_cast<std::uint8_t>(cur[i] - cur[i - bpp]);
      break;
    case 2:
      for (std::int32_t i = 0; i < n; ++i) f[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
      break;
    case 3:
      for (std::int32_t i = 0; i < head; ++i) f[i] = static_cast<std::uint8_t>(cur[i] - (prev[i] >> 1));
      for (std::int32_t i = bpp; i < n; ++i)
        f[i] = static_cast<std::uint8_t>(cur[i] - ((cur[i - bpp] + prev[i]) >> 1));
      break;
    case 4:
      for (std::int32_t i = 0; i < head; ++i) f[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
      for (std::int32_t i = bpp; i < n; ++i)
        f[i] = static_cast<std::uint8_t>(cur[i] - Paeth(cur[i - bpp], prev[i], prev[i - bpp]));
      break;
    default:
      out[0] = 0;
      std::memcpy(f, cur, static_cast<std::size_t>(n));
      break;
  }
}

int BytesPerPixel(std::int32_t pixelBits) {
  const int bpp = (pixelBits + 7) / 8;
  return bpp < 1 ? 1 : bpp;
}

}  // namespace

// ----------------------------------------------------------------------- decoder

DecoderContext::~DecoderContext() { EndDecoder(this); }

std::int32_t InitDecoder(DecoderContext* context) {
  if (context->InputBuffer || context->Started) EndDecoder(context);
  context->InputBuffer = TryAlloc(ZelDecoderBufferSize);
  if (!context->InputBuffer) return ZelStatusFailed;
  context->InputBufferSize = ZelDecoderBufferSize;
  z_stream& s = context->Stream;
  std::memset(&s, 0, sizeof s);
  s.zalloc = ZAlloc;
  s.zfree = ZFree;
  s.opaque = Z_NULL;
  s.next_in = context->InputBuffer.get();
  s.avail_in = 0;
  if (inflateInit2(&s, 15) != Z_OK) {
    context->InputBuffer.reset();
    context->InputBufferSize = 0;
    return ZelStatusFailed;
  }
  context->Started = true;
  return 0;
}

std::int32_t InflateBytes(DecoderContext* context, std::uint8_t* destination, std::int32_t count) {
  if (!context->Started) return Z_STREAM_ERROR;
  z_stream& s = context->Stream;
  s.next_out = destination;
  s.avail_out = count > 0 ? static_cast<uInt>(count) : 0;
  std::int32_t result = 0;
  while (s.avail_out > 0) {
    if (s.avail_in == 0) {
      const std::int32_t fetched = context->InputCallback ? context->InputCallback(context) : ZelStatusFailed;
      if (fetched != 0) return CallbackStatus(fetched);
    }
    result = inflate(&s, Z_NO_FLUSH);
    // A preset dictionary cannot be supplied for image data: treat the request as corrupt data.
    if (result == Z_NEED_DICT) return Z_DATA_ERROR;
    if (result < 0) return result;
    if (result == Z_STREAM_END && s.avail_out > 0) return ZelStatusFailed;
  }
  return result;
}

namespace {

// Bytes inflated ahead at most: a handful of rows, small enough to stay in the cache.
constexpr std::int32_t ZelStagingSize = 131072;

void ClearStaging(DecoderContext* context) noexcept {
  context->BytesExpected = 0;
  context->StagedStart = context->StagedEnd = 0;
  context->StagedStatus = 0;
}

bool InStaging(const DecoderContext* context, const std::uint8_t* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const auto start = reinterpret_cast<std::uintptr_t>(context->Staged.get());
  return context->Staged && at >= start && at < start + ZelStagingSize;
}

// Fills the current row from the block inflated ahead, inflating the next block when it
// is used up; a row wholly inside the block is left there when the caller allows it. The
// bytes, the failure status and the point in the data where a failure shows are those of
// inflating row by row.
std::int32_t InflateStagedRow(DecoderContext* context) {
  if (context->Spare != nullptr && context->StagedEnd - context->StagedStart >= context->RowLength) {
    context->Row = context->Staged.get() + context->StagedStart;
    context->StagedStart += context->RowLength;
    return 0;
  }
  std::uint8_t* destination = context->Row;
  std::int64_t needed = context->RowLength;
  while (needed > 0) {
    if (context->StagedStart == context->StagedEnd) {
      if (context->StagedStatus < 0) return context->StagedStatus;
      if (InStaging(context, context->PreviousRow)) {
        std::memcpy(context->Spare, context->PreviousRow, static_cast<std::size_t>(context->RowLength));
        context->PreviousRow = context->Spare;
      }
      if (context->BytesExpected <= 0) {
        // The caller asked for more than it announced: row by row from here on.
        return InflateBytes(context, destination, static_cast<std::int32_t>(needed));
      }
      if (!context->Staged) {
        context->Staged = TryAlloc(ZelStagingSize);
        if (!context->Staged) {
          context->BytesExpected = 0;
          return InflateBytes(context, destination, static_cast<std::int32_t>(needed));
        }
      }
      const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(ZelStagingSize, context->BytesExpected));
      const std::int32_t status = InflateBytes(context, context->Staged.get(), want);
      const auto produced = static_cast<std::int32_t>(context->Stream.next_out - context->Staged.get());
      context->StagedStart = 0;
      context->StagedEnd = produced;
      context->BytesExpected -= produced;
      if (status < 0) context->StagedStatus = status;
      continue;
    }
    const std::int64_t n = std::min<std::int64_t>(needed, context->StagedEnd - context->StagedStart);
    std::memcpy(destination, context->Staged.get() + context->StagedStart, static_cast<std::size_t>(n));
    destination += n;
    needed -= n;
    context->StagedStart += static_cast<std::int32_t>(n);
  }
  return 0;
}

}  // namespace

std::int32_t DecodeRow(DecoderContext* context) {
  if (context->RowLength < 1) return ZelStatusFailed;
  const std::int32_t result = context->BytesExpected > 0 || context->StagedStart < context->StagedEnd ||
                                      context->StagedStatus < 0
                                  ? InflateStagedRow(context)
                                  : InflateBytes(context, context->Row, context->RowLength);
  if (result < 0) return result;
  return UnfilterRow(context);
}

std::int32_t UnfilterRow(DecoderContext* context) {
  std::uint8_t* raw = context->Row + 1;
  const std::uint8_t* prev = context->PreviousRow + 1;
  const std::int32_t n = context->RowLength - 1;
  const std::uint8_t type = context->Row[0];
  const int bpp = BytesPerPixel(context->PixelBits);
  switch (bpp) {
    case 1: return Unfilter<1>(type, raw, prev, n, bpp);
    case 2: return Unfilter<2>(type, raw, prev, n, bpp);
    case 3: return Unfilter<3>(type, raw, prev, n, bpp);
    case 4: return Unfilter<4>(type, raw, prev, n, bpp);
    case 6: return Unfilter<6>(type, raw, prev, n, bpp);
    case 8: return Unfilter<8>(type, raw, prev, n, bpp);
    default: return Unfilter<0>(type, raw, prev, n, bpp);
  }
}

void ResetDecoder(DecoderContext* context) {
  ClearStaging(context);
  if (context->Started) inflateReset(&context->Stream);
  context->Stream.next_in = context->InputBuffer.get();
  context->Stream.avail_in = 0;
}

void EndDecoder(DecoderContext* context) noexcept {
  ClearStaging(context);
  context->Staged.reset();
  if (context->Started) inflateEnd(&context->Stream);
  context->Started = false;
  context->InputBuffer.reset();
  context->InputBufferSize = 0;
  context->Stream.next_in = Z_NULL;
  context->Stream.avail_in = 0;
}

// ----------------------------------------------------------------------- encoder

EncoderContext::~EncoderContext() { EndEncoder(this); }

std::int32_t InitEncoder(EncoderContext* context, std::int32_t level, std::int32_t bufferSize) {
  if (bufferSize <= 0 || bufferSize >= ZelEncoderBufferLimit) bufferSize = ZelDefaultIdatSize;
  if (context->OutputBuffer || context->Started) EndEncoder(context);
  context->OutputBuffer = TryAlloc(bufferSize);
  if (!context->OutputBuffer) return ZelStatusFailed;
  context->OutputBufferSize = bufferSize;
  z_stream& s = context->Stream;
  std::memset(&s, 0, sizeof s);
  s.zalloc = ZAlloc;
  s.zfree = ZFree;
  s.opaque = Z_NULL;
  if (deflateInit2(&s, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    context->OutputBuffer.reset();
    context->OutputBufferSize = 0;
    return ZelStatusFailed;
  }
  s.next_out = context->OutputBuffer.get();
  s.avail_out = static_cast<uInt>(bufferSize);
  context->Started = true;
  return 0;
}

namespace {

std::int32_t HandOver(EncoderContext* context) {
  const std::int32_t result = context->OutputCallback ? context->OutputCallback(context) : ZelStatusFailed;
  context->Stream.next_out = context->OutputBuffer.get();
  context->Stream.avail_out = static_cast<uInt>(context->OutputBufferSize);
  return CallbackStatus(result);
}

}  // namespace

std::int32_t DeflateBytes(EncoderContext* context, const std::uint8_t* data, std::int32_t count) {
  if (!context->Started) return Z_STREAM_ERROR;
  z_stream& s = context->Stream;
  s.next_in = const_cast<Bytef*>(data);
  s.avail_in = count > 0 ? static_cast<uInt>(count) : 0;
  std::int32_t result = 0;
  while (s.avail_in > 0) {
    result = deflate(&s, Z_NO_FLUSH);
    if (result < 0) return result;
    if (s.avail_out == 0) {
      const std::int32_t handed = HandOver(context);
      if (handed != 0) return handed;
    }
  }
  return result;
}

std::int32_t FinishEncoder(EncoderContext* context) {
  if (!context->Started) return ZelStatusFailed;
  z_stream& s = context->Stream;
  s.next_in = Z_NULL;
  s.avail_in = 0;
  for (;;) {
    const int result = deflate(&s, Z_FINISH);
    if (result < 0) return ZelStatusFailed;
    if (result == Z_STREAM_END) break;
    if (s.avail_out == 0) {
      const std::int32_t handed = HandOver(context);
      if (handed != 0) return handed;
    }
  }
  if (s.avail_out < static_cast<uInt>(context->OutputBufferSize)) {
    const std::int32_t handed = HandOver(context);
    if (handed != 0) return handed;
  }
  deflateReset(&s);
  return 0;
}

void EndEncoder(EncoderContext* context) noexcept {
  if (context->Started) deflateEnd(&context->Stream);
  context->Started = false;
  context->OutputBuffer.reset();
  context->OutputBufferSize = 0;
  context->Stream.next_out = Z_NULL;
  context->Stream.avail_out = 0;
}

std::int64_t ScoreFilteredRow(EncoderContext* context, const std::uint8_t* row) {
  std::uint32_t own[256];
  std::uint32_t* counts = context->Histogram ? context->Histogram : own;
  std::memset(counts, 0, 256 * sizeof(std::uint32_t));
  const std::int64_t len = context->RowLength;
  for (std::int64_t i = 0; i < len; ++i) ++counts[row[i]];
  std::int64_t distinct = 0;
  std::int64_t c1 = 0, c2 = 0, c3 = 0;
  for (int v = 0; v < 256; ++v) {
    const std::int64_t c = counts[v];
    if (c == 0) continue;
    ++distinct;
    if (c >= c1) {
      c3 = c2;
      c2 = c1;
      c1 = c;
    } else if (c >= c2) {
      c3 = c2;
      c2 = c;
    } else if (c >= c3) {
      c3 = c;
    }
  }
  if (distinct <= 8 || c1 * 100 >= 90 * len) return -1;
  const double length = static_cast<double>(len);
  double score;
  if (context->PixelBits < 8) {
    score = length / 1.5 / static_cast<double>(distinct) * 1500 + static_cast<double>(c1 + c2) / length * 1000;
  } else {
    score = length / 1.5 / static_cast<double>(distinct) * 1000 + static_cast<double>(c1 + c2 + c3) / length * 1000;
  }
  return static_cast<std::int64_t>(score);
}

void ChooseFilter(EncoderContext* context) {
  const std::int32_t n = context->RowLength - 1;
  const int bpp = BytesPerPixel(context->PixelBits);
  const std::uint32_t mode = context->FilterMode & 0xFF;
  const std::uint8_t* cur = context->CurrentRow;
  const std::uint8_t* prev = context->PreviousRow;
  if (mode == 1 || mode > 5) {
    FilterRow(0, context->FilteredRow, cur, prev, n, bpp);
    return;
  }
  std::int64_t best = -1;
  int first = static_cast<int>(mode) - 1;
  int last = first;
  if (mode == 0) {
    FilterRow(0, context->FilteredRow, cur, prev, n, bpp);
    std::int64_t score = ScoreFilteredRow(context, context->FilteredRow);
    if (score == -1 || context->DepthCode == 4) return;
    if (context->DepthCode == 1 || context->DepthCode == 8) score *= 2;
    best = score;
    first = 1;
    last = 4;
  }
  for (int type = first; type <= last; ++type) {
    FilterRow(type, context->TrialRow, cur, prev, n, bpp);
    const std::int64_t score = mode == 0 ? ScoreFilteredRow(context, context->TrialRow) : -1;
    if (score == -1 || score > best) {
      std::swap(context->FilteredRow, context->TrialRow);
      if (score == -1) return;
      best = score;
    }
  }
}

std::int32_t EncodeRow(EncoderContext* context) {
  if (context->RowLength < 1) return ZelStatusFailed;
  ChooseFilter(context);
  return DeflateBytes(context, context->FilteredRow, context->RowLength);
}
