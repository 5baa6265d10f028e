// Whole-row pixel byte moves shared by the PNG reader and writer. PNG keeps red first,
// bitmaps keep blue first; a row turns from one order to the other in one pass.
#pragma once

#include <cstdint>

// n three-byte pixels from s to d with their first and third bytes exchanged.
void SwapRedAndBlue(const std::uint8_t* s, std::uint8_t* d, std::int64_t n);

// n four-byte red, green, blue, alpha pixels from s: blue, green, red to d, and 255 - alpha
// (its complement, as the alpha bitmap keeps it) to a.
void SplitColourAndInvertedAlpha(const std::uint8_t* s, std::uint8_t* d, std::uint8_t* a, std::int64_t n);
