// The converters that compress, expand, reduce and halftone a bitmap's pixels.
//
// Every converter reads the source record without changing it or its pixel memory and
// fills the result record whole: a copy of the source with new pixel memory obtained under
// the given UseFMO policy. On failure it releases what it obtained and passes the exception
// on; the result record then means nothing. The caller owns the result's memory.
#pragma once

#include <array>

#include "dib/UlmDIB_Types.h"

// Run-length data: expanded into plain rows, and plain rows compressed (rows bottom-up,
// an end of line after every row, one end of bitmap, never a delta).
void Convert8BitRLETo8BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);
void Convert4BitRLETo4BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);
void Convert8BitRGBTo8BitRLE(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);
void Convert4BitRGBTo4BitRLE(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);

// Colour reduction onto a palette of the picture's own: Low counts colours into 5-6-5 bins,
// High splits every pixel. The progress callback runs once per palette position
// (256 times for 8-bit results, 16 for 4-bit ones).
void ConvertTrueColorTo8BitRGBLow(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                  const TUlmProgressCallback& Progress);
void ConvertTrueColorTo4BitRGBLow(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                  const TUlmProgressCallback& Progress);
void ConvertTrueColorTo8BitRGBHigh(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                   const TUlmProgressCallback& Progress);
void ConvertTrueColorTo4BitRGBHigh(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                   const TUlmProgressCallback& Progress);
void Convert8BitRGBTo4BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                             const TUlmProgressCallback& Progress);

// Error-diffused pictures over fixed palettes, from plain 1-, 4-, 8- or 24-bit data.
void ConvertToHalfTone(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);
void ConvertToHalfToneBW(const DIBInfos& Source, DIBInfos& Result, bool UseFMO);

// One-colour masks: white where a pixel's colour equals MaskColor (0x00BBGGRR) exactly,
// black elsewhere.
void ConvertTrueColorTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO);
void Convert8BitTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO);
void Convert4BitRGBTo1BitRGB(const DIBInfos& Source, DIBInfos& Result, COLORREF MaskColor, bool UseFMO);

// The fixed palettes of the halftones, shared with the graphic class so that drawing in a
// halftone mode hands out the same entries in the same order.
// Entry 35·i + 5·j + k is red level i, green level j, blue level k; 210 to 214 are extras
// that no halftone pixel takes.
extern const std::array<RGBQUAD, 215> HalftoneQuads;
extern const std::array<RGBQUAD, 2> BlackWhiteQuads;  // black, white
