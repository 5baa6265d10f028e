#include "png/PixelShuffles.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define ZEL_PIXEL_SHUFFLES 1
#endif

namespace {

#if ZEL_PIXEL_SHUFFLES
// The byte shuffles below need SSSE3, which not every x86 processor has; the plain loops
// serve the others and finish every row.
bool HaveShuffles() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

// Five pixels a step. Each 16-byte store runs one byte into the next pixel, which the next
// step or the plain loop writes again; stopping six pixels short keeps every load and store
// inside the row. Returns the pixels done.
__attribute__((target("ssse3"))) std::int64_t SwapShuffled(const std::uint8_t* s, std::uint8_t* d, std::int64_t n) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  std::int64_t i = 0;
  for (; i + 6 <= n; i += 5) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * i), _mm_shuffle_epi8(pixels, order));
  }
  return i;
}

// Four pixels a step, by the same rule as above.
__attribute__((target("ssse3"))) std::int64_t SplitShuffled(const std::uint8_t* s, std::uint8_t* d, std::uint8_t* a,
                                                            std::int64_t n) {
  const __m128i colours = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m128i alphas = _mm_setr_epi8(3, 7, 11, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i ones = _mm_set1_epi8(-1);
  std::int64_t i = 0;
  for (; i + 6 <= n; i += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * i), _mm_shuffle_epi8(pixels, colours));
    const int inverted = _mm_cvtsi128_si32(_mm_xor_si128(_mm_shuffle_epi8(pixels, alphas), ones));
    std::memcpy(a + i, &inverted, 4);
  }
  return i;
}
#endif

}  // namespace

void SwapRedAndBlue(const std::uint8_t* s, std::uint8_t* d, std::int64_t n) {
  std::int64_t i = 0;
#if ZEL_PIXEL_SHUFFLES
  if (HaveShuffles()) i = SwapShuffled(s, d, n);
#endif
  // In place (s == d) as well: each pixel's bytes are read before they are written.
  for (s += 3 * i, d += 3 * i; i < n; ++i, s += 3, d += 3) {
    const std::uint8_t first = s[0];
    d[0] = s[2];
    d[1] = s[1];
    d[2] = first;
  }
}

void SplitColourAndInvertedAlpha(const std::uint8_t* s, std::uint8_t* d, std::uint8_t* a, std::int64_t n) {
  std::int64_t i = 0;
#if ZEL_PIXEL_SHUFFLES
  if (HaveShuffles()) i = SplitShuffled(s, d, a, n);
#endif
  for (s += 4 * i, d += 3 * i; i < n; ++i, s += 4, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
    a[i] = static_cast<std::uint8_t>(255 - s[3]);
  }
}
