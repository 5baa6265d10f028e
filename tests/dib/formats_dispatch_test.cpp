// Pixel formats and the dispatch that chains converters, the widening ones among them.

#include <random>
#include <span>

#include "dib_test_support.h"

using namespace dib_test;
using PF = TUlmPixelFormat;

namespace {

const std::string kPixelFormatError = "EAssertionFailed: TUlmIntenalDIB.SetPixelsFormat: PixelFormat Error (UlmDIB)";

TEST(Formats, ByBitCountAndCompression) {
  const struct { WORD bits; DWORD compression; PF format; const char* refused; } rows[] = {
      {1, BI_RGB, PF::Bit1, ""},      {4, BI_RGB, PF::Bit4, ""},      {4, BI_RLE4, PF::Bit4RLE, ""},
      {8, BI_RGB, PF::Bit8, ""},      {8, BI_RLE8, PF::Bit8RLE, ""},  {24, BI_RGB, PF::Bit24, ""},
      {1, BI_RLE8, {}, "1Bit"},       {4, BI_RLE8, {}, "4Bit"},       {8, BI_RLE4, {}, "8Bit"},
      {8, BI_BITFIELDS, {}, "8Bit"},  {24, BI_BITFIELDS, {}, "24Bit"}, {16, BI_RGB, {}, "Illegal BitCount"}};
  TUlmInternalDIB dib(true);
  for (const auto& r : rows) {
    dib.DIBInfos.Header.biBitCount = r.bits;
    dib.DIBInfos.Header.biCompression = r.compression;
    PF got = r.format;
    EXPECT_EQ(*r.refused ? std::string("EUlmDIBInvalidDIB: TUlmInternalDIB.GetPixelFormat: Invalid DIB(") + r.refused + ")" : "",
              Raised([&] { got = GetPixelFormat(&dib); }));
    EXPECT_EQ(r.format, got);
  }
}

constexpr COLORREF kWhite = 0x00FFFFFF;

// Black and white in runs of 15, so a pixel pair straddles each colour change; every format
// holds it exactly.
void MakePicture(TUlmInternalDIB& dib) {
  dib.FreeDIB();
  dib.CreateDIB(45, 5, 24, 2);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 45; ++x)
      if ((x / 15 + y) % 2) std::memset(static_cast<std::uint8_t*>(dib.DIBInfos.Bits) + y * 136 + 3 * x, 0xFF, 3);
}

TBytes Plain(const TUlmInternalDIB& dib) {
  const DWORD compression = dib.DIBInfos.Header.biCompression;
  if (compression == BI_RGB) return Render(dib.DIBInfos);
  TResult plain;
  (compression == BI_RLE8 ? Convert8BitRLETo8BitRGB : Convert4BitRLETo4BitRGB)(dib.DIBInfos, plain.Infos, false);
  return Render(plain.Infos);
}

class Dispatch : public testing::TestWithParam<bool> {};

TEST_P(Dispatch, BetweenEveryPairOfFormats) {
  const int descriptors = OpenDescriptors();
  const PF formats[] = {PF::Bit1, PF::Bit4, PF::Bit4RLE, PF::Bit8, PF::Bit8RLE, PF::Bit24, PF::HalfTone, PF::HalfToneBW};
  TUlmInternalDIB original(false);
  MakePicture(original);
  for (PF from : std::span(formats, 6)) {
    for (PF to : formats) {
      SCOPED_TRACE(testing::Message() << int(from) << " to " << int(to));
      TUlmInternalDIB dib(GetParam());
      MakePicture(dib);
      if (from != PF::Bit24) SetPixelsFormat(&dib, from, 1, kWhite, nullptr);
      dib.PaletteChanged = 0;
      const DIBInfos before = dib.DIBInfos;
      const std::string error = Raised([&] { SetPixelsFormat(&dib, to, 0, kWhite, nullptr); });
      if (to == from) {
        EXPECT_EQ(kPixelFormatError, error);
        EXPECT_EQ(0, std::memcmp(&before, &dib.DIBInfos, sizeof(DIBInfos)));
        continue;
      }
      EXPECT_EQ("", error);
      EXPECT_EQ(to == PF::HalfTone ? PF::Bit8 : to == PF::HalfToneBW ? PF::Bit1 : to, GetPixelFormat(&dib));
      EXPECT_EQ(1, dib.PaletteChanged);
      EXPECT_EQ(Render(original.DIBInfos), Plain(dib));
    }
  }
  EXPECT_EQ(descriptors, OpenDescriptors());  // every intermediate and replaced block given back
}

// RLE4 rows of 24 noisy pixels in absolute runs: they decode and widen, but the 8-bit
// encoder cannot shrink them, so the last of three steps fails.
std::string NoisyRle4() {
  std::mt19937 random(7);
  Bytes b;
  for (int y = 0; y < 4; ++y) {
    b.U8(0).U8(24);
    for (int i = 0; i < 12; ++i) b.U8(random());
    b.U8(0).U8(0);
  }
  return BmpFile(InfoHeader(24, 4, 4, BI_RLE4), Bytes().Fill(64, 0x40), b.U8(0).U8(1));
}

TEST_P(Dispatch, AFailureLeavesTheDataAndPaletteWhole) {
  const int descriptors = OpenDescriptors();
  const struct { const char* name; PF target; std::uint8_t quality; int refCount; DWORD compression; std::string error; } rows[] = {
      {"quality 2", PF::Bit8, 2, 1, BI_RGB, kPixelFormatError},
      {"target 8", PF(8), 0, 1, BI_RGB, kPixelFormatError},
      {"shared", PF::Bit8, 0, 2, BI_RGB, "EAssertionFailed: TUlmInternalDIB.UpdatePalette: RefCount Must be 1 (UlmDIB)"},
      {"bit fields", PF::HalfTone, 0, 1, BI_BITFIELDS, "EUlmDIBInvalidDIB: TUlmInternalDIB.GetPixelFormat: Invalid DIB(24Bit)"},
      {"incompressible", PF::Bit8RLE, 0, 1, BI_RLE4, "EUlmDIBCompressionFailed: Convert8BitRGBTo8BitRLE: Compression Failed"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TUlmInternalDIB dib(GetParam());
    MakePicture(dib);
    auto noisy = StreamOf(NoisyRle4());
    if (r.compression == BI_RLE4) dib.LoadFromStream(noisy.get());
    dib.DIBInfos.Header.biCompression = r.compression;
    dib.RefCount = r.refCount;
    dib.PaletteChanged = 0;
    dib.PaletteHandle = dib.MakePalette();
    const DIBInfos before = dib.DIBInfos;
    const TBytes pixels = Raw(dib.DIBInfos);
    const std::string error = Raised([&] { SetPixelsFormat(&dib, r.target, r.quality, kWhite, nullptr); });
    EXPECT_EQ(r.error, error);
    EXPECT_EQ(0, std::memcmp(&before, &dib.DIBInfos, sizeof(DIBInfos)));
    EXPECT_EQ(pixels, Raw(dib.DIBInfos));
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
  EXPECT_EQ((TBytes{1, 2, 3, 0}), Raw(dib.DIBInfos));
  const std::string saved = Saved(dib);
  EXPECT_EQ(1078u, U32At(saved, 10));
  EXPECT_EQ(0x030201u, U32At(saved, 54));
}
INSTANTIATE_TEST_SUITE_P(Data, Dispatch, testing::Bool(), PolicyName);

}  // namespace
