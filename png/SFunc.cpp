#include "png/SFunc.h"

#include <array>

namespace {

// |d| for a 9-bit two's-complement difference d, so the search needs no branches.
constexpr std::array<std::int32_t, 512> MakeAbsTable() {
  std::array<std::int32_t, 512> table{};
  for (int i = 0; i < 512; ++i) table[i] = i < 256 ? i : 512 - i;
  return table;
}
constexpr std::array<std::int32_t, 512> AbsTable = MakeAbsTable();

}  // namespace

std::int32_t DibRowBytes(std::int32_t width, std::int32_t bits) {
  const std::uint32_t bytes = (static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(bits) + 7) >> 3;
  return static_cast<std::int32_t>((bytes + 3) & ~std::uint32_t{3});
}

std::int32_t NearestPaletteIndexInEntries(const PALETTEENTRY* entries, TColor colour, std::int32_t count) {
  if (count <= 0 || entries == nullptr) return 0;
  const std::int32_t red = colour & 0xFF;
  const std::int32_t green = (colour >> 8) & 0xFF;
  const std::int32_t blue = (colour >> 16) & 0xFF;
  std::int32_t best = 0x1000000;
  std::int32_t answer = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const PALETTEENTRY& e = entries[i];
    const std::int32_t distance = AbsTable[(e.peRed - red) & 511] + AbsTable[(e.peGreen - green) & 511] +
                                  AbsTable[(e.peBlue - blue) & 511];
    if (distance == 0) return i;
    if (distance < best) {
      best = distance;
      answer = i;
    }
  }
  return answer;
}

std::int32_t NearestPaletteIndex(HPALETTE palette, TColor colour) {
  PALETTEENTRY entries[256];
  const UINT read = GetPaletteEntries(palette, 0, 256, entries);
  if (read == 0) return -1;
  return NearestPaletteIndexInEntries(entries, colour, static_cast<std::int32_t>(read > 256 ? 256 : read));
}

HPALETTE CreatePaletteFromQuads(const RGBQUAD* quads, std::int32_t count) {
  if (count < 0) count = 0;
  if (count > 256) count = 256;
  LOGPALETTE logical{};
  logical.palVersion = 0x300;
  logical.palNumEntries = static_cast<WORD>(count);
  for (std::int32_t i = 0; i < count; ++i) {
    logical.palPalEntry[i] = PALETTEENTRY{quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 0};
  }
  return CreatePalette(&logical);
}

TColor PaletteEntryColor(HPALETTE palette, std::int32_t index) {
  if (index < 0) return -1;
  PALETTEENTRY entry{};
  if (GetPaletteEntries(palette, static_cast<UINT>(index), 1, &entry) == 0) return -1;
  return entry.peRed + entry.peGreen * 256 + entry.peBlue * 65536;
}

std::int32_t PaletteToQuads(HPALETTE palette, RGBQUAD* quads) {
  PALETTEENTRY entries[256];
  UINT read = GetPaletteEntries(palette, 0, 256, entries);
  if (read > 256) read = 256;
  for (UINT i = 0; i < read; ++i) {
    quads[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  }
  return static_cast<std::int32_t>(read);
}

std::int32_t FillGreyQuads(RGBQUAD* quads, std::int32_t bits) {
  std::int32_t count = 256;
  std::int32_t step = 1;
  switch (bits) {
    case 1: count = 2; step = 255; break;
    case 2: count = 4; step = 85; break;
    case 4: count = 16; step = 17; break;
    default: break;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const auto v = static_cast<BYTE>(i * step);
    quads[i] = RGBQUAD{v, v, v, 0};
  }
  return count;
}
