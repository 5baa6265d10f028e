// Pictures over fixed palettes: the serpentine error-diffused halftones (215 colours, or
// black and white) and the one-colour masks.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_ConvertMemory.h"

namespace {

constexpr std::array<int, 6> HalftoneRedLevels = {0, 51, 102, 153, 204, 255};
constexpr std::array<int, 7> HalftoneGreenLevels = {0, 43, 85, 128, 171, 214, 255};
constexpr std::array<int, 5> HalftoneBlueLevels = {0, 64, 128, 192, 255};
// 0x00BBGGRR
constexpr COLORREF HalftoneExtraColors[5] = {0x000080, 0x008080, 0x800080, 0xC0C0C0, 0x808080};

// The highest adjusted value of each level but the last; the levels are not evenly cut.
constexpr std::array<int, 5> RedTops = {25, 76, 127, 178, 230};
constexpr std::array<int, 6> GreenTops = {21, 63, 106, 149, 192, 233};
constexpr std::array<int, 4> BlueTops = {31, 95, 159, 223};

// Level index for every adjusted value from −256 to 512.
using TLevelTable = std::array<std::uint8_t, 769>;

template <std::size_t N>
constexpr TLevelTable MakeLevelTable(const std::array<int, N>& Tops) {
  TLevelTable table{};
  for (int v = -256; v <= 512; ++v) {
    std::uint8_t level = 0;
    while (level < N && v > Tops[level]) ++level;
    table[static_cast<std::size_t>(v + 256)] = level;
  }
  return table;
}

constexpr TLevelTable RedLevelOf = MakeLevelTable(RedTops);
constexpr TLevelTable GreenLevelOf = MakeLevelTable(GreenTops);
constexpr TLevelTable BlueLevelOf = MakeLevelTable(BlueTops);

int Level(const TLevelTable& Table, int Value) {
  // Diffused errors keep the value inside the table; the clamp only guards the lookup.
  return Table[static_cast<std::size_t>(std::clamp(Value, -256, 512) + 256)];
}

struct TErrorCell {
  std::int16_t Red = 0, Green = 0, Blue = 0;
};

struct TRgb {
  int Red, Green, Blue;
};

// Reads the colour of pixel x of a row of plain 1-, 4-, 8- or 24-bit data.
TRgb PixelColor(const DIBInfos& Source, const std::uint8_t* Row, std::int64_t X) {
  const int bits = Source.Header.biBitCount;
  if (bits == 24) return TRgb{Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]};
  const RGBQUAD& c = Source.Colors[PixelIndex(Row, X, bits)];
  return TRgb{c.rgbRed, c.rgbGreen, c.rgbBlue};
}

void SetBit(std::uint8_t* Row, std::int64_t X, bool On) {
  const auto mask = static_cast<std::uint8_t>(0x80 >> (X % 8));
  if (On)
    Row[X / 8] |= mask;
  else
    Row[X / 8] &= static_cast<std::uint8_t>(~mask);
}

void CheckHalftoneSource(const DIBInfos& Source, const char* Name) {
  const BITMAPINFOHEADER& h = Source.Header;
  UlmDIBAssert(h.biCompression == BI_RGB, (std::string(Name) + ": Invalid DIB Format").c_str());
  const bool known = h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 24;
  UlmDIBAssert(known, (std::string(Name) + ": Invalid Bit Count").c_str());
}

// Chooses a pixel's value from its adjusted colour and gives the error it leaves behind.
using TChoose = void (*)(std::uint8_t* Row, std::int64_t X, const TRgb& Adjusted, TErrorCell& Error);

void ChooseColor(std::uint8_t* Row, std::int64_t X, const TRgb& V, TErrorCell& E) {
  const int i = Level(RedLevelOf, V.Red), j = Level(GreenLevelOf, V.Green), k = Level(BlueLevelOf, V.Blue);
  Row[X] = static_cast<std::uint8_t>(35 * i + 5 * j + k);
  E.Red = static_cast<std::int16_t>(HalftoneRedLevels[i] - V.Red);
  E.Green = static_cast<std::int16_t>(HalftoneGreenLevels[j] - V.Green);
  E.Blue = static_cast<std::int16_t>(HalftoneBlueLevels[k] - V.Blue);
}

void ChooseBlackOrWhite(std::uint8_t* Row, std::int64_t X, const TRgb& V, TErrorCell& E) {
  const bool white = V.Red + V.Green + V.Blue >= 384;
  SetBit(Row, X, white);
  const int level = white ? 255 : 0;
  E.Red = static_cast<std::int16_t>(level - V.Red);
  E.Green = static_cast<std::int16_t>(level - V.Green);
  E.Blue = static_cast<std::int16_t>(level - V.Blue);
}

// Serpentine error diffusion: even rows left to right, odd rows right to left; 12/32 of
// the error comes from the pixel above, 12/32 from the pixel behind and 5/32 from the
// pixel above and behind.
void Diffuse(const DIBInfos& Source, const TPlainGeometry& G, std::uint8_t* Out, std::int64_t OutStride,
             TChoose Choose) {
  const auto width = static_cast<std::size_t>(G.Width);
  std::vector<TErrorCell> current(width + 2), previous(width + 2);
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  for (std::int64_t y = 0; y < G.Height; ++y) {
    previous = current;
    const bool even = y % 2 == 0;
    const std::uint8_t* row = bits + y * G.Stride;
    std::uint8_t* out = Out + y * OutStride;
    TErrorCell behind;
    for (std::int64_t n = 0; n < G.Width; ++n) {
      const std::int64_t x = even ? n : G.Width - 1 - n;
      const TErrorCell& above = previous[static_cast<std::size_t>(x + 1)];
      const TErrorCell& aboveBehind = previous[static_cast<std::size_t>(even ? x : x + 2)];
      const auto adjust = [](int v, int up, int back, int diagonal) {
        return v - (12 * up + 12 * back + 5 * diagonal) / 32;
      };
      const TRgb v = PixelColor(Source, row, x);
      const TRgb adjusted{adjust(v.Red, above.Red, behind.Red, aboveBehind.Red),
                          adjust(v.Green, above.Green, behind.Green, aboveBehind.Green),
                          adjust(v.Blue, above.Blue, behind.Blue, aboveBehind.Blue)};
      Choose(out, x, adjusted, behind);
      current[static_cast<std::size_t>(x + 1)] = behind;
    }
  }
}

void Halftone(const DIBInfos& Source, DIBInfos& Result, bool UseFMO, const char* Name, int Bits,
              const RGBQUAD* Palette, int Count, TChoose Choose) {
  CheckHalftoneSource(Source, Name);
  const TPlainGeometry g = PlainGeometry(Source, Name);
  const std::int64_t outStride = UlmRowBytes(g.Width, Bits);
  TConvertMemory out(outStride * g.Height, UseFMO);
  Diffuse(Source, g, out.Data(), outStride, Choose);
  Result = PalettedResult(Source, out, Bits, Palette, Count);
}

// A 1-bit picture that is white exactly where the source's colour is the mask colour. The
// result memory comes zeroed, so only the white bits are set.
void MaskConversion(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO, const char* Name) {
  const TPlainGeometry g = PlainGeometry(Source, Name);
  const std::int64_t outStride = UlmRowBytes(g.Width, 1);
  TConvertMemory out(outStride * g.Height, UseFMO);
  const TRgb mask{GetRValue(MaskColor), GetGValue(MaskColor), GetBValue(MaskColor)};
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  for (std::int64_t y = 0; y < g.Height; ++y) {
    const std::uint8_t* row = bits + y * g.Stride;
    std::uint8_t* q = out.Data() + y * outStride;
    for (std::int64_t x = 0; x < g.Width; ++x) {
      const TRgb c = PixelColor(Source, row, x);
      if (c.Red == mask.Red && c.Green == mask.Green && c.Blue == mask.Blue) SetBit(q, x, true);
    }
  }
  Result = PalettedResult(Source, out, 1, BlackWhiteQuads.data(), 2);
}

constexpr std::array<RGBQUAD, 215> MakeHalftoneQuads() {
  std::array<RGBQUAD, 215> quads{};
  for (std::size_t i = 0; i < HalftoneRedLevels.size(); ++i)
    for (std::size_t j = 0; j < HalftoneGreenLevels.size(); ++j)
      for (std::size_t k = 0; k < HalftoneBlueLevels.size(); ++k)
        quads[35 * i + 5 * j + k] = RGBQUAD{static_cast<BYTE>(HalftoneBlueLevels[k]),
                                            static_cast<BYTE>(HalftoneGreenLevels[j]),
                                            static_cast<BYTE>(HalftoneRedLevels[i]), 0};
  for (std::size_t e = 0; e < 5; ++e) {
    const COLORREF c = HalftoneExtraColors[e];
    quads[210 + e] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
  }
  return quads;
}

}  // namespace

constinit const std::array<RGBQUAD, 215> HalftoneQuads = MakeHalftoneQuads();
constinit const std::array<RGBQUAD, 2> BlackWhiteQuads = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};

void ConvertToHalfTone(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  Halftone(Source, Result, UseFMO, "ConvertToHalfTone", 8, HalftoneQuads.data(), 215, ChooseColor);
}

void ConvertToHalfToneBW(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  Halftone(Source, Result, UseFMO, "ConvertToHalfToneBW", 1, BlackWhiteQuads.data(), 2, ChooseBlackOrWhite);
}

void ConvertTrueColorTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO) {
  if (Source.Header.biBitCount != 24) throw EUlmDIBBadDIBType("ConvertTrueColorTo1BitRGB: Invalid Bitcount");
  MaskConversion(Source, Result, MaskColor, UseFMO, "ConvertTrueColorTo1BitRGB");
}

void Convert8BitTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO) {
  if (Source.Header.biBitCount != 8 || Source.Header.biCompression != BI_RGB)
    throw EUlmDIBBadDIBType("Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
  MaskConversion(Source, Result, MaskColor, UseFMO, "Convert8BitTo1BitRGB");
}

void Convert4BitRGBTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO) {
  if (Source.Header.biBitCount != 4 || Source.Header.biCompression != BI_RGB)
    throw EUlmDIBBadDIBType("Convert4BitRGBTo1BitRGB: Invalid Bitcount");
  MaskConversion(Source, Result, MaskColor, UseFMO, "Convert4BitRGBTo1BitRGB");
}
