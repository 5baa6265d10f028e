// BMP files, CF_DIB blocks and pixel memory; every table runs under both memory policies.

#include "dib_test_support.h"

using namespace dib_test;

namespace {

const std::string kDim = "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Width or Height";
const std::string kOffBits = "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromFile: bfOffBits is too small";
const std::string kMasks = "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Masks";
const std::string kClip = "EUlmDIBInvalidDIB: TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Data";
const std::string kRead = std::string("EReadError: ") + SReadError;

Bytes Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return Bytes().U32(r).U32(g).U32(b); }
Bytes Table(unsigned n) {
  Bytes b;
  for (unsigned i = 0; i < n; ++i) b.U32(i * 0x010101);
  return b;
}

struct Case {
  const char* name;
  std::string bytes;
  std::string error;  // empty: loads into the pixels and table entry below
  TBytes pixels = {};
  unsigned clrUsed = 0;
};

const Case kFiles[] = {
    {"Rgb16", BmpFile(InfoHeader(2, 1, 16), {}, Bytes().U16(0x7FFF).U16(0x4210)), "", {255, 255, 255, 131, 131, 131, 0, 0}},
    {"Bitfields565MoveTheTable", BmpFile(InfoHeader(2, 1, 16, BI_BITFIELDS, 1), Masks(0xF800, 0x7E0, 0x1F).U32(5),
                                         Bytes().U16(0x7E0).U16(0x400)), "", {0, 255, 0, 0, 129, 0, 0, 0}, 1},
    {"Rgb32TopDownDropsAlpha", BmpFile(InfoHeader(1, -2, 32), {}, Bytes().U32(0x80112233).U32(0xFF445566)), "",
     {0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0}},
    {"ClrUsed300Capped", BmpFile(InfoHeader(1, 1, 8, BI_RGB, 300), Table(300), Bytes().U32(7)), "", {7, 0, 0, 0}, 256},
    {"GapSkipped", BmpFile(InfoHeader(1, 1, 1), Table(2).Fill(6, 0xAA), Bytes().U32(0x80)), "", {0x80, 0, 0, 0}, 2},
    {"CoreHeader", BmpFile(Bytes().U32(12).U16(2).U16(1).U16(1).U16(4), Bytes().Fill(48, 9), Bytes().U32(0x21)), "",
     {0x21, 0, 0, 0}, 16},
    {"CoreWidthAbove32767", BmpFile(Bytes().U32(12).U16(32768).U16(1).U16(1).U16(1), Bytes().Fill(6, 9),
                                    Bytes().Fill(4096, 0x81)), "", TBytes(4096, 0x81), 2},
    {"NotBM", "BA" + BmpFile(InfoHeader(1, 1, 24), {}, Bytes().U32(0)).substr(2),
     "EUlmDIBInvalidDIBFile: TUlmInternalDIB.LoadFromFile: File type is invalid"},
    {"BitCount7", BmpFile(InfoHeader(1, 1, 7), {}, Bytes().U32(0)), "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid BitCout"},
    {"CoreBitCount16", BmpFile(Bytes().U32(12).U16(1).U16(1).U16(1).U16(16), {}, Bytes().U32(0)),
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid BitCount"},
    {"HeaderSize64", BmpFile(Bytes().U32(64).Fill(60), {}, Bytes().U32(0)),
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size"},
    {"OffBitsOneShort", BmpFile(InfoHeader(1, 1, 1), Table(2), Bytes().U32(0), 61), kOffBits},
    {"ClrUsedWraps32Bits", BmpFile(InfoHeader(1, 1, 8, BI_RGB, 0xFFFFFFFF), Table(256), Bytes().U32(0)), kOffBits},
    {"WidthNegative", BmpFile(InfoHeader(-4, 1, 24), {}, Bytes().U32(0)), kDim},
    {"AboveTheCap", BmpFile(InfoHeader(65536, 65536, 24), {}, Bytes().U32(0)), kDim},
    {"OneRowAboveTheCap", BmpFile(InfoHeader(32768, 32769, 8), Table(256), Bytes().U32(0)), kDim},
    {"MostNegativeHeight", BmpFile(InfoHeader(1, INT32_MIN, 24), {}, Bytes().U32(0)), kDim},
    // Rows past 64 bits: a 70-byte file must not pass for a picture of 2^62 pixels.
    {"RowsPast64Bits16", BmpFile(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 16), {}, Bytes().Fill(16)), kDim},
    {"RowsPast64Bits24", BmpFile(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 24), {}, Bytes().Fill(16)), kDim},
    {"RowsPast64Bits32", BmpFile(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32), {}, Bytes().Fill(16)), kDim},
    {"TopDownRunLength", BmpFile(InfoHeader(2, -1, 8, BI_RLE8, 2), Table(2), Bytes().U32(0x01000102)), kDim},
    {"ZeroMask", BmpFile(InfoHeader(1, 1, 16, BI_BITFIELDS), Masks(0xF800, 0, 0x1F), Bytes().U32(0)), kMasks},
    {"Rgb16WithoutMasks", BmpFile(InfoHeader(1, 1, 16, BI_RLE8), {}, Bytes().U32(0)), kMasks},
    {"PixelsCutShort", BmpFile(InfoHeader(4, 4, 24), {}, Bytes().Fill(40), 0, 54 + 48), kRead},
    // A bfSize that leaves too little room is a bad header even when the file holds the data.
    {"FileSizeBelowTheRows", BmpFile(InfoHeader(4, 4, 24), {}, Bytes().Fill(48), 0, 54 + 40), kDim},
    {"FileSizeBelowTheOffset", BmpFile(InfoHeader(1, 1, 24), {}, Bytes().U32(0), 0, 1), kDim},
    {"RunLengthFileSizeAtTheOffset", BmpFile(InfoHeader(2, 1, 8, BI_RLE8, 2), Table(2), Bytes().U32(0x01000102), 0, 62), kDim},
    {"Rgb32RowsCutShort", BmpFile(InfoHeader(2, 2, 32), {}, Bytes().Fill(12)), kRead},
};

const Case kBlocks[] = {
    {"FullTableByDefault", InfoHeader(3, 1, 8).data + Table(256).data + "\1\2\3\4", "", {1, 2, 3, 4}, 256},
    {"Core16Bit", Bytes().U32(12).U16(1).U16(1).U16(1).U16(16).U16(0x1F).U16(0).data, "", {255, 0, 0, 0}},
    {"Bitfields32", InfoHeader(1, 1, 32, BI_BITFIELDS).data + Masks(0xFF, 0xFF00, 0xFF0000).U32(0x112233).data, "",
     {0x11, 0x22, 0x33, 0}},
    {"HeaderSize20", Bytes().U32(20).Fill(40).data, kClip},
    {"ShorterThanASize", "\x28", kClip},
    {"TableBeyondTheBlock", InfoHeader(1, 1, 8).data + Table(20).data, kClip},
    {"PixelsBeyondTheBlock", InfoHeader(4, 4, 24).data + Bytes().Fill(47).data, kClip},
    {"BitCount7", InfoHeader(1, 1, 7).data + Bytes().Fill(4).data,
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromClipboardFormat: Invalid biBitCount"},
    {"HeightZero", InfoHeader(1, 0, 24).data + Bytes().Fill(4).data, kDim},
    {"RowsPast64Bits16", InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 16).data + Bytes().Fill(16).data, kDim},
    {"RowsPast64Bits24", InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 24).data + Bytes().Fill(16).data, kDim},
    {"RowsPast64Bits32", InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32).data + Bytes().Fill(16).data, kDim},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

using Param = std::tuple<Case, bool>;
std::string Name(const testing::TestParamInfo<Param>& info) {
  return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_FMO" : "_Heap");
}

HGLOBAL BlockOf(const std::string& bytes) {
  const HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

// A load either replaces the data whole or leaves the previous picture and no memory
// behind; what loaded is handed back for the round trip.
template <typename Load>
std::unique_ptr<TUlmInternalDIB> LoadOrKeep(const Case& c, bool useFMO, Load load) {
  auto dib = std::make_unique<TUlmInternalDIB>(useFMO);
  static_cast<std::uint8_t*>(dib->DIBInfos.Bits)[0] = 0x5A;
  const int descriptors = OpenDescriptors();
  EXPECT_EQ(c.error, Raised([&] { load(*dib); }));
  if (!c.error.empty()) {
    EXPECT_EQ((TBytes{0x5A, 0, 0, 0}), Raw(dib->DIBInfos));
    EXPECT_EQ(1, dib->Width);
    EXPECT_EQ(descriptors, OpenDescriptors());
    return nullptr;
  }
  EXPECT_EQ(c.pixels, Raw(dib->DIBInfos));
  EXPECT_EQ(c.clrUsed, dib->DIBInfos.Header.biClrUsed);
  EXPECT_EQ(40u, dib->DIBInfos.Header.biSize);
  EXPECT_EQ(useFMO, dib->DIBInfos.MappingHandle != 0);
  EXPECT_EQ(dib->DIBInfos.Header.biWidth, dib->Width);
  EXPECT_EQ(3780, dib->DIBInfos.Header.biXPelsPerMeter);
  EXPECT_EQ(1, dib->PaletteChanged);
  return dib;
}

class Files : public testing::TestWithParam<Param> {};
TEST_P(Files, LoadAndSaveAgain) {
  const auto& [c, useFMO] = GetParam();
  auto stream = StreamOf(c.bytes);
  const auto dib = LoadOrKeep(c, useFMO, [&](TUlmInternalDIB& d) { d.LoadFromStream(stream.get()); });
  if (!dib) return;
  EXPECT_EQ(stream->Size(), stream->Position());
  const std::string saved = Saved(*dib);
  EXPECT_EQ(54 + 4 * c.clrUsed, U32At(saved, 10));
  EXPECT_EQ(saved.size(), U32At(saved, 2));
  TUlmInternalDIB again(!useFMO);
  again.LoadFromStream(StreamOf(saved).get());
  EXPECT_EQ(Saved(again), saved);
}
INSTANTIATE_TEST_SUITE_P(Data, Files, testing::Combine(testing::ValuesIn(kFiles), testing::Bool()), Name);

class Blocks : public testing::TestWithParam<Param> {};
TEST_P(Blocks, LoadAndSaveAgain) {
  const auto& [c, useFMO] = GetParam();
  const HGLOBAL block = BlockOf(c.bytes);
  const auto dib = LoadOrKeep(c, useFMO, [&](TUlmInternalDIB& d) { d.LoadFromClipboardFormat(block); });
  EXPECT_FALSE(GlobalUnlock(block));  // unlocked again whatever happened
  GlobalFree(block);
  if (!dib) return;
  HGLOBAL out = 0;
  dib->SaveToClipboardFormat(out);
  EXPECT_EQ(40 + 4 * c.clrUsed + c.pixels.size(), GlobalSize(out));
  TUlmInternalDIB again(!useFMO);
  again.LoadFromClipboardFormat(out);
  EXPECT_EQ(Saved(*dib), Saved(again));
  GlobalFree(out);
}
INSTANTIATE_TEST_SUITE_P(Data, Blocks, testing::Combine(testing::ValuesIn(kBlocks), testing::Bool()), Name);

class Memory : public testing::TestWithParam<bool> {};
TEST_P(Memory, ZeroFilledGivenBackAndCapped) {
  const bool useFMO = GetParam();
  const int descriptors = OpenDescriptors();
  HANDLE handle = 0;
  void* bits = nullptr;
  GetMemory(5000, handle, bits, useFMO);
  EXPECT_EQ(useFMO, handle != 0);
  EXPECT_EQ(TBytes(5000, 0), Raw(DIBInfos{5000, handle, bits}));
  ReleaseMemory(handle, bits, useFMO);
  EXPECT_EQ(descriptors, OpenDescriptors());
  EXPECT_EQ(useFMO ? "EOutOfResources: GetMemory: Cannot Make File Mapping Object" : std::string("EOutOfMemory: ") + SOutOfMemory,
            Raised([&] { GetMemory(MaxPixelBytes + 1, handle, bits, useFMO); }));
}

TEST_P(Memory, CreateDIBTakesOnlySoundParameters) {
  struct Row { int width, height, bits, colours, imageSize; };  // imageSize 0: refused
  for (const Row& r : {Row{10, -5, 4, 16, 40}, {33, 2, 1, 2, 16}, {10, 5, 4, 257, 0}, {10, 5, 16, 0, 0},
                       {0, 5, 8, 0, 0}, {10, 0, 8, 0, 0}, {10, 5, 8, -1, 0}}) {
    TUlmInternalDIB dib(GetParam());
    EXPECT_EQ(4, dib.DIBInfos.ImageSize);  // new data: one 8-bit pixel
    dib.FreeDIB();
    const std::string error = Raised([&] { dib.CreateDIB(r.width, r.height, r.bits, r.colours); });
    EXPECT_EQ(r.imageSize ? "" : "EUlmDIBInvalidDIBPara: TUlmInternalDIB.CreateDIB: Invalid Parameters", error);
    EXPECT_EQ(r.imageSize, dib.DIBInfos.ImageSize);
    if (r.imageSize) {
      EXPECT_EQ(std::abs(r.height), dib.Height);
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Data, Memory, testing::Bool(), PolicyName);

TEST(Data, PalettesAndMisuse) {
  TUlmInternalDIB dib(true);
  dib.DIBInfos.Header.biClrUsed = 2;
  dib.DIBInfos.Colors[1] = RGBQUAD{3, 2, 1, 9};
  dib.PaletteHandle = dib.MakePalette();
  PALETTEENTRY entries[3]{};
  ASSERT_EQ(2u, GetPaletteEntries(dib.PaletteHandle, 0, 3, entries));
  EXPECT_EQ(1, entries[1].peRed);
  EXPECT_EQ(3, entries[1].peBlue);
  const HPALETTE made = dib.PaletteHandle;
  dib.RefCount = 2;
  EXPECT_EQ("EAssertionFailed: TUlmInternalDIB.UpdatePalette: RefCount Must be 1 (UlmDIB)", Raised([&] { dib.UpdatePalette(); }));
  dib.RefCount = 1;
  dib.UpdatePalette();
  EXPECT_EQ(0u, GetPaletteEntries(made, 0, 3, entries));
  dib.DIBInfos.Header.biClrUsed = 0;
  EXPECT_EQ(0u, dib.MakePalette());
  int stack = 0;
  EXPECT_EQ("EAssertionFailed: ReleaseMemory: Failed To Unmap View of File map (UlmDIB)",
            Raised([&] { ReleaseMemory(12345, &stack, true); }));
}

}  // namespace
