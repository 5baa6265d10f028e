#include <functional>
#include <string>
#include <vector>

#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_ConvertMemory.h"
#include "dib/UlmDIB_Data.h"

namespace {

using Step = std::function<void(const DIBInfos&, DIBInfos&)>;

// Every widening converter: same geometry and colour table, new memory at the wider depth.
// The result memory is zero-filled, so nibbles can be or-ed in and padding stays 0.
void Widen(const DIBInfos& source, DIBInfos& result, bool useFMO, int sourceBits, int resultBits, const char* name) {
  const BITMAPINFOHEADER& h = source.Header;
  if (h.biBitCount != sourceBits || h.biCompression != BI_RGB) {
    throw EUlmDIBBadDIBType(std::string(name) + ": Invalid Bitcount & Compression Combination");
  }
  const TPlainGeometry g = PlainGeometry(source, name);
  const std::int64_t width = g.Width;
  const std::int64_t height = g.Height;
  const std::int64_t sourceStride = g.Stride;
  const std::int64_t resultStride = UlmRowBytes(width, resultBits);
  TConvertMemory memory(resultStride * height, useFMO);

  const auto* in = static_cast<const unsigned char*>(source.Bits);
  std::uint8_t* out = memory.Data();
  for (std::int64_t r = 0; r < height; ++r) {
    const unsigned char* sourceRow = in + r * sourceStride;
    unsigned char* row = out + r * resultStride;
    for (std::int64_t x = 0; x < width; ++x) {
      const unsigned index = PixelIndex(sourceRow, x, sourceBits);
      if (resultBits == 4) {
        row[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? index << 4 : index);
      } else if (resultBits == 8) {
        row[x] = static_cast<unsigned char>(index);
      } else {
        const RGBQUAD& c = source.Colors[index];
        row[3 * x] = c.rgbBlue;
        row[3 * x + 1] = c.rgbGreen;
        row[3 * x + 2] = c.rgbRed;
      }
    }
  }
  result = source;
  memory.HandTo(result);
  result.Header.biBitCount = static_cast<WORD>(resultBits);
  result.Header.biCompression = BI_RGB;
  result.Header.biSizeImage = 0;
}

int BitCountOf(TUlmPixelFormat format) {
  switch (format) {
    case TUlmPixelFormat::Bit1: return 1;
    case TUlmPixelFormat::Bit4:
    case TUlmPixelFormat::Bit4RLE: return 4;
    case TUlmPixelFormat::Bit8:
    case TUlmPixelFormat::Bit8RLE: return 8;
    default: return 24;
  }
}

// The step between two plain depths (1, 4, 8, 24), none when they are equal.
Step DepthStep(int from, int to, std::uint8_t quality, COLORREF maskColor, const TUlmProgressCallback& progress,
               bool useFMO) {
  if (from == to) return nullptr;
  if (to == 1) {
    if (from == 4) return [=](const DIBInfos& s, DIBInfos& r) { Convert4BitRGBTo1BitRGB(s, r, maskColor, useFMO); };
    if (from == 8) return [=](const DIBInfos& s, DIBInfos& r) { Convert8BitTo1BitRGB(s, r, maskColor, useFMO); };
    return [=](const DIBInfos& s, DIBInfos& r) { ConvertTrueColorTo1BitRGB(s, r, maskColor, useFMO); };
  }
  if (from < to) {
    using Widener = void (*)(const DIBInfos&, DIBInfos&, bool);
    Widener widen = nullptr;
    if (from == 1) widen = to == 4 ? Convert1BitRGBTo4BitRGB : to == 8 ? Convert1BitRGBTo8BitRGB : Convert1BitRGBToTrueColor;
    if (from == 4) widen = to == 8 ? Convert4BitRGBTo8BitRGB : Convert4BitRGBToTrueColor;
    if (from == 8) widen = Convert8BitRGBToTrueColor;
    return [=](const DIBInfos& s, DIBInfos& r) { widen(s, r, useFMO); };
  }
  if (from == 8) return [=](const DIBInfos& s, DIBInfos& r) { Convert8BitRGBTo4BitRGB(s, r, useFMO, progress); };
  // From 24 bits to 4 or 8: the quality picks the quantiser.
  if (quality > 1) PixelFormatError();
  using Reducer = void (*)(const DIBInfos&, DIBInfos&, bool, const TUlmProgressCallback&);
  const Reducer reduce = to == 8 ? (quality == 0 ? ConvertTrueColorTo8BitRGBLow : ConvertTrueColorTo8BitRGBHigh)
                                 : (quality == 0 ? ConvertTrueColorTo4BitRGBLow : ConvertTrueColorTo4BitRGBHigh);
  return [=](const DIBInfos& s, DIBInfos& r) { reduce(s, r, useFMO, progress); };
}

Step DecodeStep(TUlmPixelFormat format, bool useFMO) {
  if (format == TUlmPixelFormat::Bit4RLE) return [=](const DIBInfos& s, DIBInfos& r) { Convert4BitRLETo4BitRGB(s, r, useFMO); };
  if (format == TUlmPixelFormat::Bit8RLE) return [=](const DIBInfos& s, DIBInfos& r) { Convert8BitRLETo8BitRGB(s, r, useFMO); };
  return nullptr;
}

Step EncodeStep(TUlmPixelFormat format, bool useFMO) {
  if (format == TUlmPixelFormat::Bit4RLE) return [=](const DIBInfos& s, DIBInfos& r) { Convert4BitRGBTo4BitRLE(s, r, useFMO); };
  if (format == TUlmPixelFormat::Bit8RLE) return [=](const DIBInfos& s, DIBInfos& r) { Convert8BitRGBTo8BitRLE(s, r, useFMO); };
  return nullptr;
}

void ReleaseAll(std::vector<DIBInfos>& records, bool useFMO) noexcept {
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    try {
      ReleaseMemory(it->MappingHandle, it->Bits, useFMO);
    } catch (...) {
      ReportReleaseFailure("TUlmDIB: releasing a conversion's intermediate result");
    }
  }
  records.clear();
}

// Runs the steps, each on the previous result, and commits the last result to the data.
// Until the commit the data are only read, so any failure leaves them as they were.
void RunSteps(TUlmInternalDIB* dib, const std::vector<Step>& steps) {
  const bool useFMO = dib->UseFMO != 0;
  std::vector<DIBInfos> results;
  results.reserve(steps.size());
  try {
    for (const Step& step : steps) {
      DIBInfos result;
      step(results.empty() ? dib->DIBInfos : results.back(), result);
      results.push_back(result);
    }
  } catch (...) {
    ReleaseAll(results, useFMO);
    throw;
  }
  const DIBInfos last = results.back();
  results.pop_back();
  const DIBInfos old = dib->DIBInfos;
  dib->DIBInfos = last;
  dib->UpdatePalette();
  ReleaseAll(results, useFMO);
  ReleaseMemory(old.MappingHandle, old.Bits, useFMO);
}

}  // namespace

[[noreturn]] void PixelFormatError() {
  RaiseAssertion("TUlmIntenalDIB.SetPixelsFormat: PixelFormat Error", "UlmDIB", __LINE__);
}

TUlmPixelFormat GetPixelFormat(const TUlmInternalDIB* dib) {
  const BITMAPINFOHEADER& h = dib->DIBInfos.Header;
  const DWORD compression = h.biCompression;
  switch (h.biBitCount) {
    case 1:
      if (compression == BI_RGB) return TUlmPixelFormat::Bit1;
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.GetPixelFormat: Invalid DIB(1Bit)");
    case 4:
      if (compression == BI_RGB) return TUlmPixelFormat::Bit4;
      if (compression == BI_RLE4) return TUlmPixelFormat::Bit4RLE;
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.GetPixelFormat: Invalid DIB(4Bit)");
    case 8:
      if (compression == BI_RGB) return TUlmPixelFormat::Bit8;
      if (compression == BI_RLE8) return TUlmPixelFormat::Bit8RLE;
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    case 24:
      if (compression == BI_RGB) return TUlmPixelFormat::Bit24;
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.GetPixelFormat: Invalid DIB(24Bit)");
    default:
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
  }
}

void SetPixelsFormat(TUlmInternalDIB* dib, TUlmPixelFormat target, std::uint8_t quality, COLORREF maskColor,
                     const TUlmProgressCallback& progress) {
  const bool useFMO = dib->UseFMO != 0;
  // Shared data must not change under the other holders: refuse before anything runs,
  // not after the commit.
  UlmDIBAssert(dib->RefCount == 1, "TUlmInternalDIB.UpdatePalette: RefCount Must be 1");
  if (target > TUlmPixelFormat::HalfToneBW) PixelFormatError();
  const TUlmPixelFormat source = GetPixelFormat(dib);
  std::vector<Step> steps;
  if (Step decode = DecodeStep(source, useFMO)) steps.push_back(decode);
  if (target == TUlmPixelFormat::HalfTone || target == TUlmPixelFormat::HalfToneBW) {
    const bool colour = target == TUlmPixelFormat::HalfTone;
    steps.push_back([=](const DIBInfos& s, DIBInfos& r) {
      colour ? ConvertToHalfTone(s, r, useFMO) : ConvertToHalfToneBW(s, r, useFMO);
    });
  } else {
    if (target == source) PixelFormatError();
    if (Step depth = DepthStep(BitCountOf(source), BitCountOf(target), quality, maskColor, progress, useFMO)) {
      steps.push_back(depth);
    }
    if (Step encode = EncodeStep(target, useFMO)) steps.push_back(encode);
  }
  RunSteps(dib, steps);
}

void Convert4BitRGBTo8BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 4, 8, "Convert4BitRGBTo8BitRGB");
}
void Convert1BitRGBTo8BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 1, 8, "Convert1BitRGBTo8BitRGB");
}
void Convert1BitRGBTo4BitRGB(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 1, 4, "Convert1BitRGBTo4BitRGB");
}
void Convert1BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 1, 24, "Convert1BitRGBToTrueColor");
}
void Convert4BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 4, 24, "Convert4BitRGBToTrueColor");
}
void Convert8BitRGBToTrueColor(const DIBInfos& source, DIBInfos& result, bool useFMO) {
  Widen(source, result, useFMO, 8, 24, "Convert8BitRGBToTrueColor");
}
