// The shared DIB data: pixel memory, blank bitmaps, the BMP reader and writer, the CF_DIB
// block. Every table runs with file-mapping memory and with heap memory.
#include <gtest/gtest.h>

#include <functional>

#include "data_test_support.h"

using namespace dib_test;

namespace {

const char* const kWidthOrHeight = "TUlmInternalDIB.LoadFromStream: Invalid Width or Height";
const char* const kOffBits = "TUlmInternalDIB.LoadFromFile: bfOffBits is too small";
const char* const kMasks = "TUlmInternalDIB.LoadFromStream: Invalid Masks";
const char* const kClipboard = "TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Data";

using Check = std::function<void(const TUlmInternalDIB&)>;

struct LoadCase {
  const char* name;
  std::string bytes;
  std::string error;  // empty: loads
  Check check;
};

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message;
  }
  return "no exception";
}

Bytes Gray256() {
  Bytes b;
  for (unsigned i = 0; i < 256; ++i) b.U8(i).U8(i).U8(255 - i).U8(0);
  return b;
}

Bytes Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return Bytes().U32(r).U32(g).U32(b); }

std::vector<std::uint8_t> PixelsOf(const TUlmInternalDIB& d) {
  const auto* p = static_cast<const std::uint8_t*>(d.DIBInfos.Bits);
  return std::vector<std::uint8_t>(p, p + d.DIBInfos.ImageSize);
}

std::string CoreFile8() {
  Bytes b;
  b.U8('B').U8('M').U32(26 + 768 + 8).U32(0).U32(26 + 768);
  b.U32(12).U16(4).U16(2).U16(1).U16(8);
  for (unsigned i = 0; i < 256; ++i) b.U8(i).U8(0x10).U8(0x20);
  b.U32(0x03020100).U32(0xFFFEFDFC);
  return b.data;
}

const LoadCase kLoads[] = {
    {"CoreHeader8Bit", CoreFile8(), "",
     [](const TUlmInternalDIB& d) {
       const BITMAPINFOHEADER& h = d.DIBInfos.Header;
       EXPECT_EQ(40u, h.biSize);
       EXPECT_EQ(256u, h.biClrUsed);
       EXPECT_EQ(3780, h.biXPelsPerMeter);
       EXPECT_EQ(200, d.DIBInfos.Colors[200].rgbBlue);
       EXPECT_EQ(0x20, d.DIBInfos.Colors[200].rgbRed);
       const std::string saved = Saved(d);
       EXPECT_EQ(1078u, U32At(saved, 10));
       EXPECT_EQ(1078u + 8, saved.size());
     }},
    {"Rgb16Widens5BitChannels",
     BmpFile({2, 1, 16}, Bytes(), Bytes().U16(0x7FFF).U16(0x4210)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(24, d.DIBInfos.Header.biBitCount);
       EXPECT_EQ(8, d.DIBInfos.ImageSize);
       EXPECT_EQ((std::vector<std::uint8_t>{255, 255, 255, 131, 131, 131, 0, 0}), PixelsOf(d));
     }},
    {"Bitfields565MovesTheTableDown",
     BmpFile({2, 1, 16, BI_BITFIELDS, 1}, Masks(0xF800, 0x07E0, 0x001F).U32(0x00030201), Bytes().U16(0x07E0).U16(0x0400)),
     "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ((std::vector<std::uint8_t>{0, 255, 0, 0, 129, 0, 0, 0}), PixelsOf(d));
       EXPECT_EQ(BI_RGB, d.DIBInfos.Header.biCompression);
       EXPECT_EQ(1u, d.DIBInfos.Header.biClrUsed);
       EXPECT_EQ(3, d.DIBInfos.Colors[0].rgbRed);
     }},
    {"Rgb32DropsAlphaTopDownInStoredOrder",
     BmpFile({1, -2, 32}, Bytes(), Bytes().U32(0x80112233).U32(0xFF445566)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(-2, d.DIBInfos.Header.biHeight);
       EXPECT_EQ(2, d.Height);
       EXPECT_EQ((std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0}), PixelsOf(d));
     }},
    {"ClrUsed300KeepsTheFirst256",
     BmpFile({1, 1, 8, BI_RGB, 300}, Gray256().Fill(44 * 4, 0xEE), Bytes().U32(0xFF)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(256u, d.DIBInfos.Header.biClrUsed);
       EXPECT_EQ(255, d.DIBInfos.Colors[255].rgbBlue);
       EXPECT_EQ(0xFFu, U32At(Saved(d), 1078));
     }},
    {"GapBeforePixelsIsSkipped",
     BmpFile({1, 1, 1}, Bytes().U32(0).U32(0xFFFFFF).Fill(6, 0xAA), Bytes().U32(0x80)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(0x80, PixelsOf(d)[0]);
       EXPECT_EQ(62u, U32At(Saved(d), 10));
     }},
    {"Rle8StaysCompressed",
     BmpFile({2, 1, 8, BI_RLE8, 2}, Bytes().U32(0).U32(0xFFFFFF), Bytes().U8(2).U8(1).U8(0).U8(0).U8(0).U8(1)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(6, d.DIBInfos.ImageSize);
       EXPECT_EQ(std::string("\x02\x01\x00\x00\x00\x01", 6), Saved(d).substr(62));
     }},
    {"Bitfields8BitKeepsMasksAsEntries",
     BmpFile({1, 1, 8, BI_BITFIELDS, 1}, Masks(1, 2, 3).U32(0x00445566), Bytes().U32(3)), "",
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(BI_BITFIELDS, d.DIBInfos.Header.biCompression);
       EXPECT_EQ(2, d.DIBInfos.Colors[1].rgbBlue);
       EXPECT_EQ(0x44, d.DIBInfos.Colors[3].rgbRed);
       EXPECT_EQ(58u, U32At(Saved(d), 10));
     }},

    {"NotBM", "BA" + BmpFile({1, 1, 24}, Bytes(), Bytes().U32(0)).substr(2),
     "EUlmDIBInvalidDIBFile: TUlmInternalDIB.LoadFromFile: File type is invalid", nullptr},
    {"BitCount7", BmpFile({1, 1, 7}, Bytes(), Bytes().U32(0)),
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid BitCout", nullptr},
    {"CoreBitCount16", Bytes().U8('B').U8('M').U32(30).U32(0).U32(26).U32(12).U16(1).U16(1).U16(1).U16(16).U32(0).data,
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid BitCount", nullptr},
    {"HeaderSize64", Bytes().U8('B').U8('M').U32(80).U32(0).U32(78).U32(64).Fill(64).data,
     "EUlmDIBInvalidDIB: TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size", nullptr},
    {"OffBitsOneShort", BmpFile({1, 1, 1}, Bytes().Fill(8), Bytes().U32(0), 61, 66),
     std::string("EUlmDIBInvalidDIB: ") + kOffBits, nullptr},
    {"HugeClrUsed", BmpFile({1, 1, 8, BI_RGB, 0xFFFFFFFF}, Gray256(), Bytes().U32(0)),
     std::string("EUlmDIBInvalidDIB: ") + kOffBits, nullptr},
    {"WidthZero", BmpFile({0, 1, 24}, Bytes(), Bytes().U32(0)), std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"WidthNegative", BmpFile({-4, 1, 24}, Bytes(), Bytes().U32(0)), std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"HeightZero", BmpFile({1, 0, 24}, Bytes(), Bytes().U32(0)), std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"AboveTheMemoryCap", BmpFile({65536, 65536, 24}, Bytes(), Bytes().U32(0)),
     std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"HeightOfMostNegative", BmpFile({1, INT32_MIN, 8}, Gray256(), Bytes().U32(0)),
     std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"TopDownRunLength", BmpFile({2, -1, 8, BI_RLE8, 2}, Bytes().Fill(8), Bytes().U32(0x01000102)),
     std::string("EUlmDIBInvalidDIB: ") + kWidthOrHeight, nullptr},
    {"ZeroMask", BmpFile({1, 1, 16, BI_BITFIELDS}, Masks(0xF800, 0, 0x1F), Bytes().U32(0)),
     std::string("EUlmDIBInvalidDIB: ") + kMasks, nullptr},
    {"Rgb16WithRunLengthCompression", BmpFile({1, 1, 16, BI_RLE8}, Bytes(), Bytes().U32(0)),
     std::string("EUlmDIBInvalidDIB: ") + kMasks, nullptr},
    {"TruncatedHeader", BmpFile({1, 1, 24}, Bytes(), Bytes()).substr(0, 30), std::string("EReadError: ") + SReadError,
     nullptr},
    {"PixelsCutShort", BmpFile({4, 4, 24}, Bytes(), Bytes().Fill(40), 0, 54 + 48), std::string("EReadError: ") + SReadError,
     nullptr},
    {"FileSizeBelowTheRows", BmpFile({4, 4, 24}, Bytes(), Bytes().Fill(48), 0, 54 + 40),
     std::string("EReadError: ") + SReadError, nullptr},
    {"Rgb32RowsCutShort", BmpFile({2, 2, 32}, Bytes(), Bytes().Fill(12)), std::string("EReadError: ") + SReadError,
     nullptr},
    {"RunLengthWithoutData", BmpFile({2, 1, 8, BI_RLE8, 2}, Bytes().Fill(8), Bytes()),
     std::string("EReadError: ") + SReadError, nullptr},
};

class Loads : public testing::TestWithParam<std::tuple<LoadCase, bool>> {};

TEST_P(Loads, ReadsOrRefusesKeepingThePreviousPicture) {
  const auto& [c, useFMO] = GetParam();
  TUlmInternalDIB dib(useFMO);
  dib.FreeDIB();
  dib.CreateDIB(3, 2, 24, 0);
  static_cast<std::uint8_t*>(dib.DIBInfos.Bits)[5] = 0x5A;
  const DIBInfos before = dib.DIBInfos;
  const int descriptors = OpenDescriptors();
  auto stream = StreamOf(c.bytes);
  const std::string outcome = Message([&] { dib.LoadFromStream(stream.get()); });
  if (!c.error.empty()) {
    EXPECT_EQ(c.error, outcome);
    EXPECT_EQ(before.Bits, dib.DIBInfos.Bits);
    EXPECT_EQ(0, std::memcmp(&before.Header, &dib.DIBInfos.Header, sizeof(BITMAPINFOHEADER)));
    EXPECT_EQ(0x5A, static_cast<std::uint8_t*>(dib.DIBInfos.Bits)[5]);
    EXPECT_EQ(3, dib.Width);
    EXPECT_EQ(descriptors, OpenDescriptors());
    return;
  }
  ASSERT_EQ("no exception", outcome);
  EXPECT_EQ(useFMO, dib.DIBInfos.MappingHandle != 0);
  EXPECT_EQ(dib.DIBInfos.Header.biWidth, dib.Width);
  EXPECT_EQ(1, dib.PaletteChanged);
  EXPECT_EQ(stream->Size(), stream->Position());
  c.check(dib);
  // What the writer wrote, the reader reads back the same; masks in front of a table are
  // written as its first entries, so such a file cannot be read back.
  if (dib.DIBInfos.Header.biCompression == BI_BITFIELDS) return;
  TUlmInternalDIB again(useFMO);
  auto saved = StreamOf(Saved(dib));
  again.LoadFromStream(saved.get());
  EXPECT_EQ(0, std::memcmp(&dib.DIBInfos.Header, &again.DIBInfos.Header, sizeof(BITMAPINFOHEADER)));
  EXPECT_EQ(PixelsOf(dib), PixelsOf(again));
}

INSTANTIATE_TEST_SUITE_P(Files, Loads, testing::Combine(testing::ValuesIn(kLoads), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_FMO" : "_Heap");
                         });

// ---------------------------------------------------------------------------------------------
// CF_DIB blocks

HGLOBAL BlockOf(const std::string& bytes) {
  const HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

Bytes InfoBlock(std::int32_t width, std::int32_t height, unsigned bits, std::uint32_t clrUsed,
                std::uint32_t compression = BI_RGB) {
  return Bytes().U32(40).U32(std::uint32_t(width)).U32(std::uint32_t(height)).U16(1).U16(bits).U32(compression)
      .U32(0).U32(0).U32(0).U32(clrUsed).U32(0);
}

struct BlockCase {
  const char* name;
  std::string bytes;
  const char* error;
  Check check;
};

const BlockCase kBlocks[] = {
    {"Info8BitFullTable", (InfoBlock(3, 2, 8, 0).data + Gray256().data + Bytes().Fill(8, 7).data), nullptr,
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(256u, d.DIBInfos.Header.biClrUsed);
       EXPECT_EQ(8, d.DIBInfos.ImageSize);  // block size less 1064
       EXPECT_EQ(3780, d.DIBInfos.Header.biYPelsPerMeter);
       EXPECT_EQ(9, d.DIBInfos.Colors[9].rgbGreen);
     }},
    {"Core1Bit", Bytes().U32(12).U16(9).U16(1).U16(1).U16(1).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U32(0x00FF).data, nullptr,
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(2u, d.DIBInfos.Header.biClrUsed);
       EXPECT_EQ(9, d.Width);
       EXPECT_EQ(6, d.DIBInfos.Colors[1].rgbRed);
     }},
    {"Core16BitWidens", Bytes().U32(12).U16(1).U16(1).U16(1).U16(16).U16(0x001F).U16(0).data, nullptr,
     [](const TUlmInternalDIB& d) {
       EXPECT_EQ(24, d.DIBInfos.Header.biBitCount);
       EXPECT_EQ((std::vector<std::uint8_t>{255, 0, 0, 0}), PixelsOf(d));
     }},
    {"Bitfields32", InfoBlock(1, 1, 32, 0, BI_BITFIELDS).data + Masks(0xFF, 0xFF00, 0xFF0000).U32(0x00112233).data, nullptr,
     [](const TUlmInternalDIB& d) { EXPECT_EQ((std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0}), PixelsOf(d)); }},

    {"HeaderSize20", Bytes().U32(20).Fill(40).data, kClipboard, nullptr},
    {"TooShortForItsSize", Bytes().U16(40).data, kClipboard, nullptr},
    {"TableBeyondTheBlock", InfoBlock(1, 1, 8, 0).data + Bytes().Fill(100).data, kClipboard, nullptr},
    {"PixelsBeyondTheBlock", InfoBlock(4, 4, 24, 0).data + Bytes().Fill(47).data, kClipboard, nullptr},
    {"Rgb16RowsBeyondTheBlock", InfoBlock(4, 4, 16, 0).data + Bytes().Fill(31).data, kClipboard, nullptr},
    {"BitCount7", InfoBlock(1, 1, 7, 0).data + Bytes().Fill(4).data,
     "TUlmInternalDIB.LoadFromClipboardFormat: Invalid biBitCount", nullptr},
    {"HeightZero", InfoBlock(1, 0, 24, 0).data + Bytes().Fill(4).data, kWidthOrHeight, nullptr},
    {"ZeroMask", InfoBlock(1, 1, 32, 0, BI_BITFIELDS).data + Masks(0, 1, 2).U32(0).data, kMasks, nullptr},
};

class Blocks : public testing::TestWithParam<std::tuple<BlockCase, bool>> {};

TEST_P(Blocks, ReadOrRefused) {
  const auto& [c, useFMO] = GetParam();
  TUlmInternalDIB dib(useFMO);
  const HGLOBAL block = BlockOf(c.bytes);
  const int descriptors = OpenDescriptors();
  std::string error;
  try {
    dib.LoadFromClipboardFormat(block);
  } catch (const EUlmDIBInvalidDIB& e) {
    error = e.Message;
  }
  // The block is unlocked again whatever happened.
  EXPECT_FALSE(GlobalUnlock(block));
  if (c.error != nullptr) {
    EXPECT_EQ(c.error, error);
    EXPECT_EQ(1, dib.Width);
    EXPECT_EQ(4, dib.DIBInfos.ImageSize);
    EXPECT_EQ(descriptors, OpenDescriptors());
  } else {
    ASSERT_EQ("", error);
    c.check(dib);
    // Written out again, the block reads back the same.
    HGLOBAL out = 0;
    dib.SaveToClipboardFormat(out);
    EXPECT_EQ(40 + 4 * dib.DIBInfos.Header.biClrUsed + std::uint32_t(dib.DIBInfos.ImageSize), GlobalSize(out));
    TUlmInternalDIB again(!useFMO);
    again.LoadFromClipboardFormat(out);
    EXPECT_EQ(0, std::memcmp(&dib.DIBInfos.Header, &again.DIBInfos.Header, sizeof(BITMAPINFOHEADER)));
    EXPECT_EQ(0, std::memcmp(dib.DIBInfos.Colors, again.DIBInfos.Colors, 4 * dib.DIBInfos.Header.biClrUsed));
    EXPECT_EQ(PixelsOf(dib), PixelsOf(again));
    GlobalFree(out);
  }
  GlobalFree(block);
}

INSTANTIATE_TEST_SUITE_P(Clipboard, Blocks, testing::Combine(testing::ValuesIn(kBlocks), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_FMO" : "_Heap");
                         });

// ---------------------------------------------------------------------------------------------
// Memory, blank bitmaps, palettes

class Memory : public testing::TestWithParam<bool> {};

TEST_P(Memory, ZeroFilledReleasedAndCapped) {
  const bool useFMO = GetParam();
  const int descriptors = OpenDescriptors();
  HANDLE handle = 0;
  void* bits = nullptr;
  GetMemory(5000, handle, bits, useFMO);
  EXPECT_EQ(useFMO, handle != 0);
  const auto* p = static_cast<const std::uint8_t*>(bits);
  EXPECT_EQ(std::vector<std::uint8_t>(5000, 0), std::vector<std::uint8_t>(p, p + 5000));
  ReleaseMemory(handle, bits, useFMO);
  EXPECT_EQ(descriptors, OpenDescriptors());
  EXPECT_EQ(useFMO ? "EOutOfResources: GetMemory: Cannot Make File Mapping Object"
                   : std::string("EOutOfMemory: ") + SOutOfMemory,
            Message([&] { GetMemory(UlmDIBMaxImageBytes + 1, handle, bits, useFMO); }));
}

TEST_P(Memory, NewDataIsOneBlackPixel) {
  TUlmInternalDIB dib(GetParam());
  EXPECT_EQ(1, dib.RefCount);
  EXPECT_EQ(4, dib.DIBInfos.ImageSize);
  EXPECT_EQ(0, *static_cast<std::uint8_t*>(dib.DIBInfos.Bits));
  EXPECT_EQ(256u, dib.DIBInfos.Header.biClrUsed);
  EXPECT_EQ(8, dib.DIBInfos.Header.biBitCount);
  EXPECT_EQ(0, dib.DIBInfos.Colors[255].rgbRed);
  EXPECT_EQ(1, dib.PaletteChanged);
  EXPECT_EQ(0u, dib.PaletteHandle);
}

TEST_P(Memory, CreateDIBTakesOnlySoundParameters) {
  struct Row {
    int width, height, bits, colours;
    std::int32_t imageSize;  // 0: refused
  };
  const Row rows[] = {{10, -5, 4, 16, 40}, {1, 1, 24, 0, 4}, {33, 2, 1, 2, 16},  {10, 5, 4, 257, 0},
                      {10, 5, 16, 0, 0},   {0, 5, 8, 0, 0},  {10, 0, 8, 0, 0},   {10, 5, 8, -1, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.width << "x" << r.height << " " << r.bits << " bits " << r.colours);
    TUlmInternalDIB dib(GetParam());
    dib.FreeDIB();
    if (r.imageSize == 0) {
      EXPECT_EQ("EUlmDIBInvalidDIBPara: TUlmInternalDIB.CreateDIB: Invalid Parameters",
                Message([&] { dib.CreateDIB(r.width, r.height, r.bits, r.colours); }));
      EXPECT_EQ(nullptr, dib.DIBInfos.Bits);
      continue;
    }
    dib.CreateDIB(r.width, r.height, r.bits, r.colours);
    EXPECT_EQ(r.imageSize, dib.DIBInfos.ImageSize);
    EXPECT_EQ(r.height, dib.DIBInfos.Header.biHeight);
    EXPECT_EQ(std::abs(r.height), dib.Height);
    EXPECT_EQ(3780, dib.DIBInfos.Header.biXPelsPerMeter);
    EXPECT_EQ(std::uint32_t(r.colours), dib.DIBInfos.Header.biClrUsed);
  }
}

INSTANTIATE_TEST_SUITE_P(Policies, Memory, testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "FMO" : "Heap"); });

TEST(Data, MisuseFailsTheUnitsAssertion) {
  int stack = 0;
  const std::string unmap = Message([&] { ReleaseMemory(12345, &stack, true); });
  EXPECT_EQ(0u, unmap.find("EAssertionFailed: ReleaseMemory: Failed To Unmap View of File map (UlmDIB, ")) << unmap;
  TUlmInternalDIB dib(true);
  dib.RefCount = 2;
  EXPECT_EQ(0u, Message([&] { dib.UpdatePalette(); })
                    .find("EAssertionFailed: TUlmInternalDIB.UpdatePalette: RefCount Must be 1 (UlmDIB, "));
  dib.RefCount = 1;
}

TEST(Data, PaletteOfTheUsedEntries) {
  TUlmInternalDIB dib(true);
  dib.DIBInfos.Header.biClrUsed = 0;
  EXPECT_EQ(0u, dib.MakePalette());
  dib.DIBInfos.Header.biClrUsed = 2;
  dib.DIBInfos.Colors[1] = RGBQUAD{3, 2, 1, 9};
  const HPALETTE palette = dib.MakePalette();
  PALETTEENTRY entries[3]{};
  ASSERT_EQ(2u, GetPaletteEntries(palette, 0, 3, entries));
  EXPECT_EQ(1, entries[1].peRed);
  EXPECT_EQ(3, entries[1].peBlue);
  EXPECT_EQ(0, entries[1].peFlags);
  dib.PaletteHandle = palette;
  dib.UpdatePalette();  // deletes it
  EXPECT_EQ(0u, GetPaletteEntries(palette, 0, 3, entries));
}

TEST(Data, MaskShiftAndTableSizes) {
  const std::pair<std::uint32_t, int> shifts[] = {{0xF800, 8}, {0x07E0, 3}, {0x001F, -3}, {0x1, -7},
                                                  {0xFF000000, 24}, {0x80, 0}, {0x7C00, 7}};
  for (const auto& [mask, shift] : shifts) EXPECT_EQ(shift, MaskShift(mask)) << std::hex << mask;
  const std::pair<int, int> counts[] = {{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {2, 0}};
  for (const auto& [bits, count] : counts) EXPECT_EQ(count, ColorsOfBitCount(bits)) << bits;
}

}  // namespace
