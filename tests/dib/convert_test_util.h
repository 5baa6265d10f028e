// Pictures for the converter tests: sources whose pixels the test owns, results that give
// their memory back, and the check that a converter left its source alone.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_Data.h"

using TBytes = std::vector<std::uint8_t>;

// A source built from unpadded rows in memory order; each row is padded to its stride.
struct TTestPicture {
  DIBInfos Infos{};
  TBytes Pixels;

  TTestPicture(int Width, int Height, int Bits, const std::vector<TBytes>& Rows, DWORD Compression = BI_RGB) {
    const auto stride = static_cast<std::size_t>(UlmRowBytes(Width, Bits));
    for (const TBytes& row : Rows) {
      TBytes padded = row;
      padded.resize(stride, 0);
      Pixels.insert(Pixels.end(), padded.begin(), padded.end());
    }
    Init(Width, Height, Bits, Compression);
  }
  // Run-length data, or any bytes taken as they are.
  TTestPicture(int Width, int Height, int Bits, DWORD Compression, TBytes Data) : Pixels(std::move(Data)) {
    Init(Width, Height, Bits, Compression);
  }
  TTestPicture(const TTestPicture&) = delete;

  void Init(int Width, int Height, int Bits, DWORD Compression) {
    BITMAPINFOHEADER& h = Infos.Header;
    h.biSize = 40;
    h.biWidth = Width;
    h.biHeight = Height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(Bits);
    h.biCompression = Compression;
    h.biXPelsPerMeter = h.biYPelsPerMeter = 3780;
    h.biClrUsed = Bits <= 8 ? 1u << Bits : 0;
    h.biClrImportant = 7;  // carried through untouched
    Infos.ImageSize = static_cast<std::int32_t>(Pixels.size());
    Infos.Bits = Pixels.data();
  }

  void SetColor(int Index, BYTE Red, BYTE Green, BYTE Blue) { Infos.Colors[Index] = RGBQUAD{Blue, Green, Red, 0}; }
};

// A converter's result; its memory goes back under the policy it was made with.
struct TResult {
  DIBInfos Infos{};
  bool UseFMO = false;

  explicit TResult(bool Fmo = false) : UseFMO(Fmo) {}
  TResult(const TResult&) = delete;
  ~TResult() { ReleaseMemory(Infos.MappingHandle, Infos.Bits, UseFMO); }

  const std::uint8_t* Bytes() const { return static_cast<const std::uint8_t*>(Infos.Bits); }
  TBytes All() const { return TBytes(Bytes(), Bytes() + Infos.ImageSize); }
  TBytes Row(int Y, int Count) const {
    const auto stride = UlmRowBytes(Infos.Header.biWidth, Infos.Header.biBitCount);
    return TBytes(Bytes() + Y * stride, Bytes() + Y * stride + Count);
  }
  RGBQUAD Color(int Index) const { return Infos.Colors[Index]; }
};

using TConverter = std::function<void(const DIBInfos&, DIBInfos&, bool)>;

// Runs a converter and fails the test if it touched its source record or pixels.
inline void ConvertKeepingSource(const TConverter& Convert, const TTestPicture& Source, TResult& Result) {
  DIBInfos before;
  std::memcpy(&before, &Source.Infos, sizeof before);
  const TBytes pixels = Source.Pixels;
  struct TCheck {
    const TTestPicture& Source;
    const DIBInfos& Before;
    const TBytes& Pixels;
    ~TCheck() {
      EXPECT_EQ(std::memcmp(&Before, &Source.Infos, sizeof Before), 0) << "source record changed";
      EXPECT_EQ(Pixels, Source.Pixels) << "source pixels changed";
    }
  } check{Source, before, pixels};
  Convert(Source.Infos, Result.Infos, Result.UseFMO);
}

// Expects the exception type and its exact message.
template <class TException, class TCall>
void ExpectFailure(TCall Call, const std::string& Message) {
  try {
    Call();
    ADD_FAILURE() << "no exception, expected \"" << Message << "\"";
  } catch (const TException& e) {
    EXPECT_EQ(e.Message, Message);
  }
}

inline bool SameColor(const RGBQUAD& Q, BYTE Red, BYTE Green, BYTE Blue) {
  return Q.rgbRed == Red && Q.rgbGreen == Green && Q.rgbBlue == Blue && Q.rgbReserved == 0;
}
