// What the converters share: the output memory they own until the result takes it, the
// geometry of a plain source, the reading of an indexed pixel and the record of a result
// over a palette.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "classlib/sizes.h"
#include "dib/UlmDIB_Data.h"

// Pixel memory obtained by a converter: given back when the converter fails, handed to the
// result record when it succeeds.
class TConvertMemory {
public:
  // GetMemory refuses sizes beyond its cap, so what it gives fits the record's 32-bit size.
  TConvertMemory(std::int64_t Size, bool UseFMO) : UseFMO_(UseFMO) {
    GetMemory(Size, Handle_, Bits_, UseFMO_);
    Size_ = static_cast<std::int32_t>(Size);
  }
  TConvertMemory(const TConvertMemory&) = delete;
  TConvertMemory& operator=(const TConvertMemory&) = delete;
  ~TConvertMemory() {
    if (!Bits_) return;
    try {
      ReleaseMemory(Handle_, Bits_, UseFMO_);
    } catch (...) {
      // A release of memory just obtained with the same policy does not fail; a cleanup
      // path must not throw in any case.
    }
  }

  std::uint8_t* Data() const { return static_cast<std::uint8_t*>(Bits_); }

  void HandTo(DIBInfos& Result) {
    Result.ImageSize = Size_;
    Result.MappingHandle = Handle_;
    Result.Bits = Bits_;
    Bits_ = nullptr;
    Handle_ = 0;
  }

private:
  bool UseFMO_;
  std::int32_t Size_ = 0;
  HANDLE Handle_ = 0;
  void* Bits_ = nullptr;
};

// The result record of a converter that writes Bits-bit indices over the given palette:
// the source's record with the converter's memory, a plain header and the palette as its
// whole colour table.
inline DIBInfos PalettedResult(const DIBInfos& Source, TConvertMemory& Out, int Bits, const RGBQUAD* Palette,
                               int Count) {
  DIBInfos r = Source;
  Out.HandTo(r);
  r.Header.biBitCount = static_cast<WORD>(Bits);
  r.Header.biCompression = BI_RGB;
  r.Header.biSizeImage = 0;
  r.Header.biClrUsed = static_cast<DWORD>(Count);
  std::memset(r.Colors, 0, sizeof r.Colors);
  std::memcpy(r.Colors, Palette, sizeof(RGBQUAD) * static_cast<std::size_t>(Count));
  return r;
}

// The colour-table index of pixel x of a 1-, 4- or 8-bit row.
inline unsigned PixelIndex(const std::uint8_t* row, std::int64_t x, int bits) {
  switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default: return row[x];
  }
}

// Width, height and row size of a plain source. A record whose pixel memory is shorter than
// its rows (possible only through a caller that filled the record by hand) is refused
// rather than read past its end.
struct TPlainGeometry {
  std::int64_t Width;
  std::int64_t Height;
  std::int64_t Stride;
};

inline TPlainGeometry PlainGeometry(const DIBInfos& Source, const char* ConverterName) {
  const BITMAPINFOHEADER& h = Source.Header;
  TPlainGeometry g{h.biWidth, std::abs(static_cast<std::int64_t>(h.biHeight)), 0};
  g.Stride = UlmRowBytes(g.Width, h.biBitCount);
  const auto rows = CheckedMulAdd(g.Stride, g.Height);
  if (g.Width <= 0 || g.Height <= 0 || !Source.Bits || !rows || Source.ImageSize < *rows)
    throw EUlmDIBInvalidDIB(std::string(ConverterName) + ": Invalid Image Size");
  return g;
}
