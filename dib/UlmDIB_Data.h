// The image data behind every DIB graphic: pixel memory, the BMP file and the CF_DIB
// block, and the pixel formats with the dispatch that converts between them.
#pragma once

#include <cstdint>

#include "classlib/gdi.h"
#include "classlib/object.h"
#include "classlib/sizes.h"
#include "classlib/streams.h"
#include "dib/UlmDIB_Types.h"

// The library's internal checks report the unit's name, not the file they sit in.
#define UlmDIBAssert(cond, msg) ((cond) ? (void)0 : RaiseAssertion((msg), "UlmDIB", __LINE__))

// Zero-filled pixel memory: an anonymous file mapping when useFMO is set (so a DIB section
// can be made over it), heap memory otherwise (mappingHandle 0). A size outside
// 0..MaxPixelBytes is refused like memory that cannot be had.
void GetMemory(std::int64_t size, HANDLE& mappingHandle, void*& bits, bool useFMO);
// Gives back what GetMemory obtained, under the same policy. No-op for bits == nullptr.
void ReleaseMemory(HANDLE mappingHandle, void* bits, bool useFMO);

// A logical palette of the first biClrUsed entries; 0 when biClrUsed is 0.
HPALETTE GetPaletteFromDIBInfos(const DIBInfos& infos);
// A resolution of 0 becomes the default 3780 pixels per metre, in each direction apart.
void FixResolutions(BITMAPINFOHEADER& header);
// 2, 16, 256 for 1, 4, 8 bits; 0 for anything else.
std::int32_t ColorsOfBitCount(std::int32_t bitCount);
// Shift that brings a non-zero mask's top bit to bit 7 (negative: shift left).
std::int32_t MaskShift(std::uint32_t mask);
// Rewrites a 12-byte core header and its RGB triples, lying where Header and Colors are,
// as a 40-byte header with RGBQUAD entries.
void ConvertCoreHeader(DIBInfos& infos);

class TUlmInternalDIB : public TObject {
public:
  CLASSLIB_CLASS(TUlmInternalDIB)

  // A 1×1, 8-bit bitmap with 256 black entries.
  explicit TUlmInternalDIB(bool useFMO);
  ~TUlmInternalDIB() override;

  std::int32_t RefCount = 1;
  std::int32_t Width = 0;   // biWidth
  std::int32_t Height = 0;  // |biHeight|
  HPALETTE PaletteHandle = 0;
  ::DIBInfos DIBInfos;
  std::uint8_t PaletteChanged = 0;
  std::uint8_t UseFMO = 1;

  void CreateDIB(std::int32_t width, std::int32_t height, std::int32_t bitCount, std::int32_t colorCount);
  // Leaves the fields cleared even when the release reports a misuse.
  void FreeDIB();
  void UpdatePalette();
  HPALETTE MakePalette() const;

  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream) const;
  void LoadFromClipboardFormat(HGLOBAL block);
  void SaveToClipboardFormat(HGLOBAL& block) const;

private:
  void Adopt(const ::DIBInfos& loaded);
};

// The data's format by bit count and compression; refuses any other combination.
TUlmPixelFormat GetPixelFormat(const TUlmInternalDIB* dib);
// Converts the data to target, chaining converters; the data change only when every step
// succeeded. quality: 0 Low, 1 High. maskColor: 0x00BBGGRR.
void SetPixelsFormat(TUlmInternalDIB* dib, TUlmPixelFormat target, std::uint8_t quality, COLORREF maskColor,
                     const TUlmProgressCallback& progress);
[[noreturn]] void PixelFormatError();

// Lossless widening: the source is read only, the result gets its own memory.
void Convert4BitRGBTo8BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO);
void Convert1BitRGBTo8BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO);
void Convert1BitRGBTo4BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO);
void Convert1BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO);
void Convert4BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO);
void Convert8BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO);
