// Palette and bitmap-row helpers shared by the PNG reader and writer.
#pragma once

#include <cstdint>

#include "classlib/gdi.h"
#include "classlib/graphics.h"

// Bytes of one bitmap row padded to a multiple of 4.
std::int32_t DibRowBytes(std::int32_t width, std::int32_t bits);
// Nearest entry by summed absolute channel differences; an exact match returns at once,
// ties keep the earliest entry; a count of 0 or less gives 0.
std::int32_t NearestPaletteIndexInEntries(const PALETTEENTRY* entries, TColor colour, std::int32_t count);
// -1 when the palette yields no entry.
std::int32_t NearestPaletteIndex(HPALETTE palette, TColor colour);
// The caller owns the new handle. count is clamped to 0..256.
HPALETTE CreatePaletteFromQuads(const RGBQUAD* quads, std::int32_t count);
// red + green * 256 + blue * 65536, or -1 when the entry cannot be read.
TColor PaletteEntryColor(HPALETTE palette, std::int32_t index);
// quads needs room for 256 entries; returns the number written (0: nothing written).
std::int32_t PaletteToQuads(HPALETTE palette, RGBQUAD* quads);
// Grey ramp for 1, 2 or 4 bits, else 256 levels; returns the number of entries written.
std::int32_t FillGreyQuads(RGBQUAD* quads, std::int32_t bits);
