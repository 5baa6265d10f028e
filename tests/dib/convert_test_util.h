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

struct TTestPicture {
  DIBInfos Infos{};
  TBytes Pixels;

  // Unpadded rows in memory order, each padded here to its stride.
  TTestPicture(int Width, int Height, int Bits, const std::vector<TBytes>& Rows) {
    for (TBytes row : Rows) {
      row.resize(static_cast<std::size_t>(UlmRowBytes(Width, Bits)), 0);
      Pixels.insert(Pixels.end(), row.begin(), row.end());
    }
    Init(Width, Height, Bits, BI_RGB);
  }
  // Bytes taken as they are: run-length data, or any other.
  TTestPicture(int Width, int Height, int Bits, DWORD Compression, TBytes Data) : Pixels(std::move(Data)) {
    Init(Width, Height, Bits, Compression);
  }

  void Init(int Width, int Height, int Bits, DWORD Compression) {
    Infos.Header = BITMAPINFOHEADER{40, Width, Height, 1, WORD(Bits), Compression, 0, 3780, 3780,
                                    Bits <= 8 ? 1u << Bits : 0, 7 /* carried through untouched */};
    Infos.ImageSize = static_cast<std::int32_t>(Pixels.size());
    Infos.Bits = Pixels.data();
  }
  void SetColor(int Index, BYTE Red, BYTE Green, BYTE Blue) { Infos.Colors[Index] = RGBQUAD{Blue, Green, Red, 0}; }
};

// A converter's result; its memory goes back under the policy it was made with.
struct TResult {
  DIBInfos Infos{};
  bool UseFMO;

  explicit TResult(bool Fmo = false) : UseFMO(Fmo) {}
  ~TResult() { ReleaseMemory(Infos.MappingHandle, Infos.Bits, UseFMO); }

  const std::uint8_t* Bytes() const { return static_cast<const std::uint8_t*>(Infos.Bits); }
  TBytes All() const { return TBytes(Bytes(), Bytes() + Infos.ImageSize); }
  RGBQUAD Color(int Index) const { return Infos.Colors[Index]; }
};

using TConverter = std::function<void(const DIBInfos&, DIBInfos&, bool)>;

// Runs a converter and fails the test if it touched its source record or pixels, whether
// it succeeded or not.
inline void ConvertKeepingSource(const TConverter& Convert, const TTestPicture& Source, TResult& Result) {
  DIBInfos before;
  std::memcpy(&before, &Source.Infos, sizeof before);
  const TBytes pixels = Source.Pixels;
  const auto check = [&] {
    EXPECT_EQ(std::memcmp(&before, &Source.Infos, sizeof before), 0) << "source record changed";
    EXPECT_EQ(pixels, Source.Pixels) << "source pixels changed";
  };
  try {
    Convert(Source.Infos, Result.Infos, Result.UseFMO);
  } catch (...) {
    check();
    throw;
  }
  check();
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
