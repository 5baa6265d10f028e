// Size arithmetic on numbers read from files and clipboard blocks. Every product of such
// numbers goes through here, so that a header asking for more than 64 bits can count is
// refused like any other header asking for too much, never wrapped into a small size.
#pragma once

#include <cstdint>
#include <optional>

// The most pixel memory one picture may take, whichever reader or call asks for it; a
// header asking for more is refused with its format's own text. The fuzz build lowers it:
// a tiny run-length file may rightly describe a picture near the cap, and zeroing that much
// memory under the sanitizers would take the search's time from parsing.
#ifdef FUZZ_PIXEL_MEMORY_CAP
inline constexpr std::int64_t MaxPixelBytes = FUZZ_PIXEL_MEMORY_CAP;
#else
inline constexpr std::int64_t MaxPixelBytes = std::int64_t{1} << 30;
#endif

// a × b + c exactly, or nothing when an operand is negative or the result does not fit in
// 64 signed bits. Readers refuse the nothing with their own format's text.
inline std::optional<std::int64_t> CheckedMulAdd(std::int64_t a, std::int64_t b, std::int64_t c = 0) noexcept {
  std::int64_t product = 0;
  std::int64_t sum = 0;
  if (a < 0 || b < 0 || c < 0 || __builtin_mul_overflow(a, b, &product) || __builtin_add_overflow(product, c, &sum))
    return std::nullopt;
  return sum;
}
