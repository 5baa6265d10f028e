// Pixel formats, the lossless widening converters and the dispatch that chains converters.
#include <gtest/gtest.h>

#include <random>

#include "data_test_support.h"
#include "dib/UlmDIB_Convert.h"

using namespace dib_test;
using PF = TUlmPixelFormat;

namespace {

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message;
  }
  return "no exception";
}

TEST(Formats, ByBitCountAndCompression) {
  struct Row {
    WORD bits;
    DWORD compression;
    const char* refusal;  // nullptr: format below
    PF format;
  };
  const Row rows[] = {
      {1, BI_RGB, nullptr, PF::Bit1},
      {4, BI_RGB, nullptr, PF::Bit4},
      {4, BI_RLE4, nullptr, PF::Bit4RLE},
      {8, BI_RGB, nullptr, PF::Bit8},
      {8, BI_RLE8, nullptr, PF::Bit8RLE},
      {24, BI_RGB, nullptr, PF::Bit24},
      {1, BI_RLE8, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(1Bit)", {}},
      {4, BI_RLE8, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(4Bit)", {}},
      {8, BI_RLE4, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(8Bit)", {}},
      {8, BI_BITFIELDS, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(8Bit)", {}},
      {24, BI_BITFIELDS, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(24Bit)", {}},
      {16, BI_RGB, "TUlmInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)", {}},
  };
  TUlmInternalDIB dib(true);
  for (const Row& r : rows) {
    dib.DIBInfos.Header.biBitCount = r.bits;
    dib.DIBInfos.Header.biCompression = r.compression;
    if (r.refusal == nullptr) {
      EXPECT_EQ(r.format, GetPixelFormat(&dib)) << r.bits << "/" << r.compression;
    } else {
      EXPECT_EQ(std::string("EUlmDIBInvalidDIB: ") + r.refusal, Message([&] { GetPixelFormat(&dib); }));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Widening

using Converter = void (*)(const DIBInfos&, DIBInfos&, bool);

struct Widening {
  const char* name;
  Converter convert;
  int from, to;
};

const Widening kWidenings[] = {
    {"Convert4BitRGBTo8BitRGB", Convert4BitRGBTo8BitRGB, 4, 8},
    {"Convert1BitRGBTo8BitRGB", Convert1BitRGBTo8BitRGB, 1, 8},
    {"Convert1BitRGBTo4BitRGB", Convert1BitRGBTo4BitRGB, 1, 4},
    {"Convert1BitRGBToTrueColor", Convert1BitRGBToTrueColor, 1, 24},
    {"Convert4BitRGBToTrueColor", Convert4BitRGBToTrueColor, 4, 24},
    {"Convert8BitRGBToTrueColor", Convert8BitRGBToTrueColor, 8, 24},
};

class Widen : public testing::TestWithParam<std::tuple<Widening, bool>> {};

TEST_P(Widen, KeepsEveryColourAndTheTable) {
  const auto& [w, useFMO] = GetParam();
  // Odd width and a top-down source: padding and stored row order both matter.
  TUlmInternalDIB source(useFMO);
  source.FreeDIB();
  source.CreateDIB(13, -3, w.from, 5);
  std::mt19937 random(w.from * 31 + w.to);
  auto* bits = static_cast<std::uint8_t*>(source.DIBInfos.Bits);
  for (int i = 0; i < source.DIBInfos.ImageSize; ++i) bits[i] = std::uint8_t(random());
  for (auto& c : source.DIBInfos.Colors) c = RGBQUAD{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()), 0};
  const std::vector<std::uint8_t> before(bits, bits + source.DIBInfos.ImageSize);

  DIBInfos result;
  w.convert(source.DIBInfos, result, useFMO);
  EXPECT_EQ(Render(source.DIBInfos), Render(result));
  EXPECT_EQ(before, std::vector<std::uint8_t>(bits, bits + source.DIBInfos.ImageSize));
  EXPECT_EQ(w.to, result.Header.biBitCount);
  EXPECT_EQ(-3, result.Header.biHeight);
  EXPECT_EQ(5u, result.Header.biClrUsed);
  EXPECT_EQ(0, std::memcmp(source.DIBInfos.Colors, result.Colors, sizeof(result.Colors)));
  EXPECT_EQ(3 * UlmRowBytes(13, w.to), result.ImageSize);
  EXPECT_EQ(useFMO, result.MappingHandle != 0);
  // Row padding is 0.
  const auto* out = static_cast<const std::uint8_t*>(result.Bits);
  const std::int64_t used = (13 * w.to + 7) / 8, stride = UlmRowBytes(13, w.to);
  for (std::int64_t r = 0; r < 3; ++r)
    for (std::int64_t x = used; x < stride; ++x) EXPECT_EQ(0, out[r * stride + x]);
  ReleaseMemory(result.MappingHandle, result.Bits, useFMO);

  // Any other source depth or a compression is refused by name.
  for (const auto& [bitCount, compression] : {std::pair<int, DWORD>{w.from == 8 ? 4 : 8, BI_RGB}, {w.from, BI_RLE8}}) {
    source.DIBInfos.Header.biBitCount = WORD(bitCount);
    source.DIBInfos.Header.biCompression = compression;
    EXPECT_EQ(std::string("EUlmDIBBadDIBType: ") + w.name + ": Invalid Bitcount & Compression Combination",
              Message([&] { w.convert(source.DIBInfos, result, useFMO); }));
  }
  source.DIBInfos.Header.biBitCount = WORD(w.from);
  source.DIBInfos.Header.biCompression = BI_RGB;
}

INSTANTIATE_TEST_SUITE_P(Converters, Widen, testing::Combine(testing::ValuesIn(kWidenings), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_FMO" : "_Heap");
                         });

TEST(Widen, OneBitRowToNibbles) {
  TUlmInternalDIB source(false);
  source.FreeDIB();
  source.CreateDIB(3, 1, 1, 2);
  *static_cast<std::uint8_t*>(source.DIBInfos.Bits) = 0xA0;  // 1, 0, 1
  DIBInfos result;
  Convert1BitRGBTo4BitRGB(source.DIBInfos, result, false);
  const auto* row = static_cast<const std::uint8_t*>(result.Bits);
  EXPECT_EQ((std::vector<std::uint8_t>{0x10, 0x10, 0x00, 0x00}), std::vector<std::uint8_t>(row, row + 4));
  ReleaseMemory(result.MappingHandle, result.Bits, false);
}

// ---------------------------------------------------------------------------------------------
// Dispatch

const PF kFormats[] = {PF::Bit1, PF::Bit4, PF::Bit4RLE, PF::Bit8, PF::Bit8RLE, PF::Bit24};
const PF kTargets[] = {PF::Bit1, PF::Bit4, PF::Bit4RLE, PF::Bit8, PF::Bit8RLE, PF::Bit24, PF::HalfTone, PF::HalfToneBW};
constexpr COLORREF kWhite = 0x00FFFFFF;

// A black and white picture with long runs: every format holds it exactly.
void MakePicture(TUlmInternalDIB& dib) {
  dib.FreeDIB();
  dib.CreateDIB(24, 5, 24, 2);
  auto* bits = static_cast<std::uint8_t*>(dib.DIBInfos.Bits);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 24; ++x)
      if ((x / 6 + y) % 2) std::memset(bits + y * 72 + 3 * x, 0xFF, 3);
}

// The data as plain pixels, run-length data expanded on the side.
std::vector<std::uint8_t> Pixels(const TUlmInternalDIB& dib) {
  const DWORD compression = dib.DIBInfos.Header.biCompression;
  if (compression == BI_RGB) return Render(dib.DIBInfos);
  DIBInfos plain;
  (compression == BI_RLE8 ? Convert8BitRLETo8BitRGB : Convert4BitRLETo4BitRGB)(dib.DIBInfos, plain, false);
  std::vector<std::uint8_t> out = Render(plain);
  ReleaseMemory(plain.MappingHandle, plain.Bits, false);
  return out;
}

class Dispatch : public testing::TestWithParam<bool> {};

TEST_P(Dispatch, EveryPairOfFormats) {
  const bool useFMO = GetParam();
  const int descriptors = OpenDescriptors();
  {
    TUlmInternalDIB original(useFMO);
    MakePicture(original);
    const std::vector<std::uint8_t> picture = Render(original.DIBInfos);
    for (PF from : kFormats) {
      for (PF to : kTargets) {
        SCOPED_TRACE(testing::Message() << "from " << int(from) << " to " << int(to));
        TUlmInternalDIB dib(useFMO);
        MakePicture(dib);
        if (from != PF::Bit24) SetPixelsFormat(&dib, from, 1, kWhite, nullptr);
        ASSERT_EQ(from, GetPixelFormat(&dib));
        dib.PaletteChanged = 0;
        dib.PaletteHandle = dib.MakePalette();
        const HPALETTE palette = dib.PaletteHandle;
        if (to == from) {
          const DIBInfos before = dib.DIBInfos;
          EXPECT_EQ(0u, Message([&] { SetPixelsFormat(&dib, to, 0, kWhite, nullptr); })
                            .find("EAssertionFailed: TUlmIntenalDIB.SetPixelsFormat: PixelFormat Error (UlmDIB, "));
          EXPECT_EQ(0, std::memcmp(&before, &dib.DIBInfos, sizeof(DIBInfos)));
          EXPECT_EQ(palette, dib.PaletteHandle);
          continue;
        }
        int steps = 0;
        SetPixelsFormat(&dib, to, 0, kWhite, [&](std::int32_t) { ++steps; });
        const PF landed = to == PF::HalfTone ? PF::Bit8 : to == PF::HalfToneBW ? PF::Bit1 : to;
        EXPECT_EQ(landed, GetPixelFormat(&dib));
        EXPECT_EQ(1, dib.PaletteChanged);
        EXPECT_EQ(0u, dib.PaletteHandle);
        EXPECT_EQ(useFMO, dib.DIBInfos.MappingHandle != 0);
        EXPECT_EQ(24, dib.Width);
        EXPECT_EQ(picture, Pixels(dib));
      }
    }
  }
  // Every intermediate record and every replaced memory block was given back.
  EXPECT_EQ(descriptors, OpenDescriptors());
}

// RLE4 data of 24 noisy pixels a row in absolute runs: it decodes and widens, but the 8-bit
// encoder cannot make it smaller, so the last of three steps fails.
std::string NoisyRle4() {
  std::mt19937 random(7);
  Bytes b;
  for (int y = 0; y < 4; ++y) {
    b.U8(0).U8(24);
    for (int i = 0; i < 12; ++i) b.U8(random() & 0xFF);
    b.U8(0).U8(0);
  }
  return b.U8(0).U8(1).data;
}

TEST_P(Dispatch, AFailedStepLeavesTheDataWhole) {
  const bool useFMO = GetParam();
  const int descriptors = OpenDescriptors();
  struct Case {
    const char* name;
    std::function<void(TUlmInternalDIB&)> make;
    PF target;
    std::uint8_t quality;
    const char* error;  // the start of the message
  };
  const Case cases[] = {
      {"quality 2", MakePicture, PF::Bit8, 2, "EAssertionFailed: TUlmIntenalDIB.SetPixelsFormat: PixelFormat Error"},
      {"target 8", MakePicture, PF(8), 0, "EAssertionFailed: TUlmIntenalDIB.SetPixelsFormat: PixelFormat Error"},
      {"shared", [](TUlmInternalDIB& d) { MakePicture(d); d.RefCount = 2; }, PF::Bit8, 0,
       "EAssertionFailed: TUlmInternalDIB.UpdatePalette: RefCount Must be 1"},
      {"24-bit bit fields", [](TUlmInternalDIB& d) { MakePicture(d); d.DIBInfos.Header.biCompression = BI_BITFIELDS; },
       PF::HalfTone, 0, "EUlmDIBInvalidDIB: TUlmInternalDIB.GetPixelFormat: Invalid DIB(24Bit)"},
      {"incompressible RLE4 to RLE8",
       [](TUlmInternalDIB& d) {
         auto stream = StreamOf(BmpFile({24, 4, 4, BI_RLE4}, Bytes().Fill(64, 0x40), Bytes{NoisyRle4()}));
         d.LoadFromStream(stream.get());
       },
       PF::Bit8RLE, 0, "EUlmDIBCompressionFailed: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUlmInternalDIB dib(useFMO);
    c.make(dib);
    dib.PaletteChanged = 0;
    dib.PaletteHandle = dib.MakePalette();
    const DIBInfos before = dib.DIBInfos;
    const std::vector<std::uint8_t> pixels(static_cast<std::uint8_t*>(before.Bits),
                                           static_cast<std::uint8_t*>(before.Bits) + before.ImageSize);
    const std::string error = Message([&] { SetPixelsFormat(&dib, c.target, c.quality, kWhite, nullptr); });
    EXPECT_EQ(0u, error.find(c.error)) << error;
    EXPECT_EQ(0, std::memcmp(&before, &dib.DIBInfos, sizeof(DIBInfos)));
    EXPECT_EQ(pixels, std::vector<std::uint8_t>(static_cast<std::uint8_t*>(dib.DIBInfos.Bits),
                                                static_cast<std::uint8_t*>(dib.DIBInfos.Bits) + dib.DIBInfos.ImageSize));
    EXPECT_NE(0u, dib.PaletteHandle);
    EXPECT_EQ(0, dib.PaletteChanged);
    dib.RefCount = 1;
  }
  EXPECT_EQ(descriptors, OpenDescriptors());
}

TEST_P(Dispatch, EightBitsToTrueColourKeepTheTable) {
  TUlmInternalDIB dib(GetParam());
  dib.DIBInfos.Colors[0] = RGBQUAD{1, 2, 3, 0};
  SetPixelsFormat(&dib, PF::Bit24, 0, 0, nullptr);
  EXPECT_EQ(256u, dib.DIBInfos.Header.biClrUsed);
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3, 0}), std::vector<std::uint8_t>(static_cast<std::uint8_t*>(dib.DIBInfos.Bits),
                                                                               static_cast<std::uint8_t*>(dib.DIBInfos.Bits) + 4));
  const std::string saved = Saved(dib);
  EXPECT_EQ(1078u, U32At(saved, 10));
  EXPECT_EQ(0x00030201u, U32At(saved, 54));
}

INSTANTIATE_TEST_SUITE_P(Policies, Dispatch, testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "FMO" : "Heap"); });

}  // namespace
