// What the bitmap library's tests share: BMP bytes built by hand, pictures whose pixels a
// test owns, converter results that give their memory back, the text of what a call raised
// and a count of open descriptors (one per file mapping).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/streams.h"
#include "support/case_name.h"
#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_Data.h"

namespace dib_test {

inline const std::string kSuite = std::string(CORPORA_DIR) + "/bmpsuite/";
using TBytes = std::vector<std::uint8_t>;

// Little-endian bytes of a file or a block.
struct Bytes {
  std::string data;
  Bytes& U8(unsigned v) { data.push_back(char(v)); return *this; }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8 & 0xFF); }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Fill(std::size_t n, unsigned v = 0) { data.append(n, char(v)); return *this; }
};

inline Bytes InfoHeader(std::int32_t w, std::int32_t h, unsigned bits, std::uint32_t compression = BI_RGB,
                        std::uint32_t clrUsed = 0) {
  return Bytes().U32(40).U32(std::uint32_t(w)).U32(std::uint32_t(h)).U16(1).U16(bits).U32(compression).Fill(12)
      .U32(clrUsed).U32(0);
}

// A file around a header, its table (and gap) and pixels; 0 offsets add up the parts.
inline std::string BmpFile(const Bytes& header, const Bytes& table, const Bytes& pixels, std::uint32_t offBits = 0,
                           std::uint32_t fileSize = 0) {
  if (offBits == 0) offBits = std::uint32_t(14 + header.data.size() + table.data.size());
  if (fileSize == 0) fileSize = offBits + std::uint32_t(pixels.data.size());
  return Bytes().U8('B').U8('M').U32(fileSize).U32(0).U32(offBits).data + header.data + table.data + pixels.data;
}

inline std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

inline std::string Saved(const TUlmInternalDIB& dib) {
  TMemoryStream stream;
  dib.SaveToStream(&stream);
  std::string bytes(std::size_t(stream.Size()), '\0');
  std::memcpy(bytes.data(), stream.Memory(), bytes.size());
  return bytes;
}

inline std::uint32_t U32At(const std::string& s, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

inline TBytes Raw(const DIBInfos& d) {
  return TBytes(static_cast<const std::uint8_t*>(d.Bits), static_cast<const std::uint8_t*>(d.Bits) + d.ImageSize);
}

// Plain 1-, 4-, 8- or 24-bit data as RGB triples, top row first.
inline TBytes Render(const DIBInfos& d) {
  const BITMAPINFOHEADER& h = d.Header;
  const std::int64_t height = std::abs(std::int64_t{h.biHeight}), stride = UlmRowBytes(h.biWidth, h.biBitCount);
  const unsigned bits = h.biBitCount;
  TBytes out;
  for (std::int64_t y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(d.Bits) + (h.biHeight < 0 ? y : height - 1 - y) * stride;
    for (unsigned x = 0; x < unsigned(h.biWidth); ++x) {
      if (bits == 24) {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      } else {
        const RGBQUAD& c = d.Colors[(row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1)];
        out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
      }
    }
  }
  return out;
}

inline int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// "Class: message" of what f raised, "" when nothing was. An internal check names the
// library's unit; the line it sits on is left out so that "(UlmDIB)" ends the text.
inline std::string Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    const std::size_t at = e.Message.rfind(" (UlmDIB, ");
    const bool located = at != std::string::npos && e.Message.ends_with(" 行)");
    return std::string(e.ClassName()) + ": " + (located ? e.Message.substr(0, at) + " (UlmDIB)" : e.Message);
  }
  return "";
}

// A picture whose pixels the test owns.
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
  TBytes All() const { return Raw(Infos); }
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

// Test names for the two memory policies.
inline std::string PolicyName(const testing::TestParamInfo<bool>& info) { return info.param ? "FMO" : "Heap"; }

inline bool SameColor(const RGBQUAD& Q, BYTE Red, BYTE Green, BYTE Blue) {
  return Q.rgbRed == Red && Q.rgbGreen == Green && Q.rgbBlue == Blue && Q.rgbReserved == 0;
}

}  // namespace dib_test
