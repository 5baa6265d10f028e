// The record every piece of the bitmap library passes around, its pixel formats and its
// exceptions. Kept apart from the classes so that each converter needs only this.
#pragma once

#include <cstdint>
#include <functional>

#include "classlib/errors.h"
#include "classlib/gdi.h"

// One device-independent bitmap, copied whole between the shared data and every
// converter. The pixel memory belongs to whoever holds the record.
struct DIBInfos {
  std::int32_t ImageSize = 0;   // bytes of pixel memory (compressed size for run-length data)
  HANDLE MappingHandle = 0;     // the file mapping behind Bits, 0 for heap memory
  void* Bits = nullptr;         // rows padded to 4 bytes; bottom-up when biHeight > 0
  BITMAPINFOHEADER Header{};    // biHeight keeps its sign
  RGBQUAD Colors[260]{};        // 0..255 the colour table; 4 more so three masks fit in front
};

enum class TUlmPixelFormat : std::uint8_t {
  Bit1 = 0,
  Bit4 = 1,
  Bit4RLE = 2,
  Bit8 = 3,
  Bit8RLE = 4,
  Bit24 = 5,
  HalfTone = 6,    // conversion target only
  HalfToneBW = 7,  // conversion target only
};

// What a long conversion calls once per step; the argument carries no meaning.
using TUlmProgressCallback = std::function<void(std::int32_t)>;

CLASSLIB_EXCEPTION(EUlmDIBError, Exception);
CLASSLIB_EXCEPTION(EUlmDIBInvalidDIB, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBInvalidDIBFile, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBInvalidDIBPara, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBBadDIBType, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBCompressionFailed, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBInvalidPalette, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBPaletteIndexRange, EUlmDIBError);
CLASSLIB_EXCEPTION(EUlmDIBCanvasFailed, EUlmDIBError);

// Row stride of a bitmap: ((width × bits + 31) div 32) × 4, in 64 bits so no size wraps.
inline std::int64_t UlmRowBytes(std::int64_t width, std::int64_t bits) { return ((width * bits + 31) / 32) * 4; }
