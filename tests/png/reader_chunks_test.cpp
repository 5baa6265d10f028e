// The reader's chunk stream: signature, header checks, each ancillary chunk's rules, the
// image data spread over chunks, header-only reads and the failures of incomplete input.
#include <gtest/gtest.h>

#include <functional>

#include "reader_support.h"

using namespace reader_test;

namespace {

// A 2×2 8-bit palette image of indices 0 1 / 2 3 with a four-entry palette.
std::string PaletteHeader() { return Ihdr(2, 2, 8, 3); }
std::string FourColours() { return Chunk("PLTE", Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9})); }
std::string PaletteData() { return Idat(Rows({Bytes({0, 1}), Bytes({2, 3})})); }

// A 2×1 8-bit grey image 0x10 0x80, and a 1×1 RGB image.
std::string GreyHeader(int depth = 8) { return Ihdr(2, 1, depth, 0); }
std::string GreyData() { return Idat(Rows({Bytes({0x10, 0x80})})); }
std::string RgbData16() { return Idat(Rows({std::string(6, '\x20')})); }

struct FailureCase {
  const char* name;
  std::function<std::string()> bytes;
  const char* error;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ReaderFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ReaderFailure, GivesItsText) {
  Load load;
  EXPECT_EQ(load.Run(GetParam().bytes()), GetParam().error);
}

const std::string SReadError = "Read Image (PNG): Read Error";

INSTANTIATE_TEST_SUITE_P(
    Chunks, ReaderFailure,
    ::testing::Values(
        FailureCase{"Empty", [] { return std::string(); }, "PNG LoadStream: Not PNG Format"},
        FailureCase{"ShortSignature", [] { return Signature().substr(0, 5); }, "PNG LoadStream: Not PNG Format"},
        FailureCase{"WrongSignature", [] { return "\x89PNG\r\n\x1a\x0b" + PaletteHeader(); },
                    "PNG LoadStream: Not PNG Format"},
        FailureCase{"SecondHeader",
                    [] { return Signature() + PaletteHeader() + PaletteHeader() + FourColours() + PaletteData() + Iend(); },
                    "Read Header(PNG): appear two IHDR"},
        FailureCase{"ColourType1", [] { return Signature() + Ihdr(2, 2, 8, 1); }, "Read Header(PNG): Error ColorType"},
        FailureCase{"ColourType5", [] { return Signature() + Ihdr(2, 2, 8, 5); }, "Read Header(PNG): Error ColorType"},
        FailureCase{"ColourType7", [] { return Signature() + Ihdr(2, 2, 8, 7); }, "Read Header(PNG): Error ColorType"},
        FailureCase{"Compression2", [] { return Signature() + Ihdr(2, 2, 8, 3, 0, 2); },
                    "Read Header(PNG): not support Compression"},
        FailureCase{"Filter2", [] { return Signature() + Ihdr(2, 2, 8, 3, 0, 0, 2); },
                    "Read Header(PNG): not supprt Filter"},
        FailureCase{"Interlace2", [] { return Signature() + Ihdr(2, 2, 8, 3, 2); }, "Read Header(PNG): not interlace type"},
        FailureCase{"GreyAlphaDepth4", [] { return Signature() + Ihdr(2, 2, 4, 4) + GreyData(); },
                    "Read Header(PNG): not Use AlphaChannel"},
        FailureCase{"GreyAlphaDepth3", [] { return Signature() + Ihdr(2, 2, 3, 4) + GreyData(); },
                    "Read Header(PNG): Error Bitdepth"},
        FailureCase{"GreyDepth3", [] { return Signature() + Ihdr(2, 2, 3, 0) + GreyData(); },
                    "Read Header(PNG): Error Bitdepth"},
        FailureCase{"RgbDepth4", [] { return Signature() + Ihdr(2, 2, 4, 2) + GreyData(); },
                    "Read Header(PNG): Error BitDepth"},
        FailureCase{"PaletteDepth16", [] { return Signature() + Ihdr(2, 2, 16, 3) + GreyData(); },
                    "Read Header(PNG): Error BitDepth"},
        // Sizes the format forbids, and sizes beyond the memory cap.
        FailureCase{"WidthZero", [] { return Signature() + Ihdr(0, 2, 8, 0) + GreyData() + Iend(); }, SReadError.c_str()},
        FailureCase{"HeightZero", [] { return Signature() + Ihdr(2, 0, 8, 0) + GreyData() + Iend(); }, SReadError.c_str()},
        FailureCase{"WidthTopBit", [] { return Signature() + Ihdr(0x80000000u, 1, 8, 0) + GreyData() + Iend(); },
                    SReadError.c_str()},
        FailureCase{"HugeImage", [] { return Signature() + Ihdr(0x7FFFFFFFu, 0x7FFFFFFFu, 16, 6) + GreyData() + Iend(); },
                    SReadError.c_str()},
        FailureCase{"JustOverCap", [] { return Signature() + Ihdr(32768, 32768, 8, 0) + GreyData() + Iend(); },
                    SReadError.c_str()},
        // Incomplete pictures are failures, not half-filled successes.
        FailureCase{"NoChunks", [] { return Signature(); }, SReadError.c_str()},
        FailureCase{"NoImageData", [] { return Signature() + PaletteHeader() + FourColours() + Iend(); }, SReadError.c_str()},
        FailureCase{"ImageDataBeforeHeader",
                    [] { return Signature() + PaletteData() + PaletteHeader() + FourColours() + PaletteData() + Iend(); },
                    SReadError.c_str()},
        FailureCase{"ShortHeaderChunk",
                    [] { return Signature() + Chunk("IHDR", Ihdr(2, 2, 8, 3).substr(8, 12)) + PaletteData() + Iend(); },
                    SReadError.c_str()},
        FailureCase{"CutInsideImageData",
                    [] {
                      const std::string f = Signature() + PaletteHeader() + FourColours() + PaletteData();
                      return f.substr(0, f.size() - 8);
                    },
                    SReadError.c_str()},
        FailureCase{"OtherChunkInsideImageData",
                    [] {
                      const std::string z = Deflate(Rows({Bytes({0, 1}), Bytes({2, 3})}));
                      return Signature() + PaletteHeader() + FourColours() + Chunk("IDAT", z.substr(0, 4)) +
                             Chunk("tEXt", "a") + Chunk("IDAT", z.substr(4)) + Iend();
                    },
                    SReadError.c_str()},
        FailureCase{"StreamEndsBeforeLastRow",
                    [] { return Signature() + PaletteHeader() + FourColours() + Idat(Rows({Bytes({0, 1})})) + Iend(); },
                    SReadError.c_str()},
        FailureCase{"UnknownFilterType",
                    [] {
                      return Signature() + PaletteHeader() + FourColours() + Idat(Bytes({5, 0, 1, 0, 2, 3})) + Iend();
                    },
                    SReadError.c_str()},
        FailureCase{"HugeChunkLengthBeforeImage",
                    [] { return Signature() + PaletteHeader() + Chunk("tEXt", "Comment", 0x7FFFFFF0) + Iend(); },
                    SReadError.c_str()},
        FailureCase{"ChunkLengthTopBit",
                    [] { return Signature() + PaletteHeader() + Chunk("PLTE", "abc", 0xFFFFFFFD) + PaletteData() + Iend(); },
                    SReadError.c_str()},
        FailureCase{"ImageDataLengthTopBit",
                    [] { return Signature() + PaletteHeader() + FourColours() + Chunk("IDAT", "x", 0x80000001u) + Iend(); },
                    SReadError.c_str()},
        // zlib answers other than OK and stream end end the decode.
        FailureCase{"PresetDictionary",
                    [] {
                      return Signature() + PaletteHeader() + FourColours() +
                             Chunk("IDAT", Deflate(Rows({Bytes({0, 1}), Bytes({2, 3})}), "dictionary")) + Iend();
                    },
                    "PNG LoadStream: Error ZLIB"},
        FailureCase{"CorruptDeflateData",
                    [] { return Signature() + PaletteHeader() + FourColours() + Chunk("IDAT", Bytes({0x78, 0x9C, 0xFF, 0xFF, 0xFF})) + Iend(); },
                    "PNG LoadStream: Error ZLIB"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- ancillary chunks

struct ChunkCase {
  const char* name;
  std::function<std::string()> bytes;
  std::function<void(Load&)> check;
};
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class ReaderChunk : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ReaderChunk, SetsItsResults) {
  Load load;
  ASSERT_EQ(load.Run(GetParam().bytes()), "");
  GetParam().check(load);
}

std::string PalettePng(const std::string& before, const std::string& after = "") {
  return Signature() + PaletteHeader() + FourColours() + before + PaletteData() + after + Iend();
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, ReaderChunk,
    ::testing::Values(
        ChunkCase{"GreyTransparency8",
                  [] { return Signature() + GreyHeader() + Chunk("tRNS", Be16(0x0080)) + GreyData() + Iend(); },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.TransparentColor, 0x808080);
                    EXPECT_TRUE(l.image->Transparent());
                    EXPECT_EQ(l.image->TransparentColor(), 0x808080);
                    EXPECT_TRUE(l.alpha->Empty());
                  }},
        ChunkCase{"GreyTransparency16",
                  [] {
                    return Signature() + Ihdr(1, 1, 16, 0) + Chunk("tRNS", Be16(0x1234)) +
                           Idat(Rows({Bytes({0x12, 0x34})})) + Iend();
                  },
                  [](Load& l) { EXPECT_EQ(l.reader.TransparentColor, 0x121212); }},
        // Below 8 bits the sample names the grey level of the image's own palette.
        ChunkCase{"GreyTransparency4",
                  [] {
                    return Signature() + Ihdr(2, 1, 4, 0) + Chunk("tRNS", Be16(5)) + Idat(Rows({Bytes({0x5F})})) + Iend();
                  },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.TransparentColor, 0x555555);
                    EXPECT_EQ(Colours(*l.image)[5], 0x555555u);
                  }},
        ChunkCase{"RgbTransparency16",
                  [] {
                    return Signature() + Ihdr(1, 1, 16, 2) + Chunk("tRNS", Be16(0x1234) + Be16(0x5678) + Be16(0x9ABC)) +
                           RgbData16() + Iend();
                  },
                  [](Load& l) { EXPECT_EQ(l.reader.TransparentColor, 0x9A5612); }},
        ChunkCase{"PaletteSingleTransparentIndex",
                  [] { return PalettePng(Chunk("tRNS", Bytes({255, 255, 0}))); },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.TransparentColor, 0x01000002);
                    EXPECT_EQ(l.image->TransparentColor(), 0x01000002);
                    EXPECT_FALSE(l.reader.HasAlpha);
                    EXPECT_TRUE(l.alpha->Empty());
                  }},
        ChunkCase{"PaletteTwoTransparentIndices",
                  [] { return PalettePng(Chunk("tRNS", Bytes({0, 255, 0, 255}))); },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.TransparentColor, -1);
                    EXPECT_TRUE(l.reader.HasAlpha);
                    EXPECT_FALSE(l.image->Transparent());
                    EXPECT_EQ(AllPixels(*l.alpha), (std::vector<std::uint32_t>{255, 0, 255, 0}));
                    EXPECT_EQ(Colours(*l.alpha)[200], 200u * 0x010101u);
                  }},
        ChunkCase{"PalettePartialAlpha",
                  [] { return PalettePng(Chunk("tRNS", Bytes({10, 20, 30, 40, 50}))); },
                  [](Load& l) { EXPECT_EQ(AllPixels(*l.alpha), (std::vector<std::uint32_t>{245, 235, 225, 215})); }},
        ChunkCase{"PaletteEmptyTransparency",
                  [] { return PalettePng(Chunk("tRNS", "")); },
                  [](Load& l) {
                    EXPECT_TRUE(l.reader.HasAlpha);
                    EXPECT_EQ(AllPixels(*l.alpha), (std::vector<std::uint32_t>{0, 0, 0, 0}));
                  }},
        ChunkCase{"BackgroundAfterImage",
                  [] { return PalettePng("", Chunk("bKGD", Bytes({3}))); },
                  [](Load& l) { EXPECT_EQ(l.reader.BackgroundColor, 0x01000003); }},
        ChunkCase{"GreyBackground",
                  [] { return Signature() + GreyHeader() + Chunk("bKGD", Be16(0x40)) + GreyData() + Iend(); },
                  [](Load& l) { EXPECT_EQ(l.reader.BackgroundColor, 0x404040); }},
        ChunkCase{"GammaChromaticitiesBitsBeforePalette",
                  [] {
                    std::string chrm;
                    for (std::uint32_t v = 1; v <= 8; ++v) chrm += Be32(v * 1000);
                    return Signature() + Ihdr(1, 1, 8, 2) + Chunk("gAMA", Be32(45455)) + Chunk("cHRM", chrm) +
                           Chunk("sBIT", Bytes({5, 6, 5})) + Chunk("gIFg", Bytes({1, 2, 3, 4})) +
                           Idat(Rows({Bytes({1, 2, 3})})) + Iend();
                  },
                  [](Load& l) {
                    EXPECT_DOUBLE_EQ(l.reader.Gamma, 0.45455);
                    EXPECT_EQ(l.chromaticities[0], 1000u);
                    EXPECT_EQ(l.chromaticities[7], 8000u);
                    EXPECT_EQ(l.reader.SignificantBits, 0x050605u);
                    EXPECT_EQ(l.gifControl, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
                  }},
        ChunkCase{"GammaChromaticitiesBitsAfterPaletteIgnored",
                  [] {
                    return Signature() + PaletteHeader() + FourColours() + Chunk("gAMA", Be32(45455)) +
                           Chunk("cHRM", std::string(32, '\1')) + Chunk("sBIT", Bytes({5, 6, 5})) +
                           Chunk("gIFg", Bytes({1, 2, 3, 4})) + PaletteData() + Iend();
                  },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.Gamma, 0.0);
                    EXPECT_EQ(l.chromaticities[0], 0u);
                    EXPECT_EQ(l.reader.SignificantBits, 0u);
                    EXPECT_EQ(l.gifControl, (std::array<std::uint8_t, 4>{}));
                  }},
        ChunkCase{"WrongLengthsIgnored",
                  [] {
                    return Signature() + Ihdr(1, 1, 8, 2) + Chunk("cHRM", std::string(31, '\1')) +
                           Chunk("tIME", Bytes({7, 0xE6, 1, 2})) + Chunk("gIFg", Bytes({1, 2, 3})) +
                           Chunk("pHYs", Bytes({0, 0, 1})) + Chunk("sBIT", Bytes({5, 6})) +
                           Idat(Rows({Bytes({1, 2, 3})})) + Iend();
                  },
                  [](Load& l) {
                    EXPECT_EQ(l.chromaticities[0], 0u);
                    EXPECT_EQ(l.time.Year, 0);
                    EXPECT_EQ(l.gifControl[0], 0);
                    EXPECT_EQ(l.reader.PhysX, 0);
                    EXPECT_EQ(l.reader.SignificantBits, 0u);
                  }},
        ChunkCase{"GreyBitsIgnored",
                  [] { return Signature() + GreyHeader() + Chunk("sBIT", Bytes({5})) + GreyData() + Iend(); },
                  [](Load& l) { EXPECT_EQ(l.reader.SignificantBits, 0u); }},
        ChunkCase{"PhysicalSizeAndTime",
                  [] {
                    return PalettePng(Chunk("pHYs", Be32(2834) + Be32(2835) + '\1') +
                                      Chunk("tIME", Be16(2026) + Bytes({12, 9, 23, 59, 60})));
                  },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.PhysX, 2834);
                    EXPECT_EQ(l.reader.PhysY, 2835);
                    EXPECT_EQ(l.reader.PhysUnit, 1);
                    EXPECT_EQ(l.time.Year, 2026);
                    EXPECT_EQ(l.time.Month, 12);
                    EXPECT_EQ(l.time.Day, 9);
                    EXPECT_EQ(l.time.Hour, 23);
                    EXPECT_EQ(l.time.Minute, 59);
                    EXPECT_EQ(l.time.Second, 60);
                  }},
        ChunkCase{"Comments",
                  [] {
                    return PalettePng(Chunk("tEXt", std::string("Comment\0A", 9)) + Chunk("tEXt", std::string("comment\0x", 9)) +
                                          Chunk("tEXt", std::string("Title\0y", 7)),
                                      Chunk("tEXt", std::string("Comment\0B", 9)) + Chunk("tEXt", std::string("Comment\0", 8)) +
                                          Chunk("tEXt", "Comment"));
                  },
                  [](Load& l) { EXPECT_EQ(l.reader.Comment, "A\r\n\r\nB\r\n"); }},
        ChunkCase{"ImageDataSplitWithEmptyChunks",
                  [] {
                    const std::string z = Deflate(Rows({Bytes({0, 1}), Bytes({2, 3})}));
                    std::string idat = Chunk("IDAT", "");
                    for (std::size_t i = 0; i < z.size(); ++i) idat += Chunk("IDAT", z.substr(i, 1)) + Chunk("IDAT", "");
                    return Signature() + PaletteHeader() + FourColours() + idat + Iend();
                  },
                  [](Load& l) { EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3})); }},
        ChunkCase{"LaterImageDataSkipped",
                  [] {
                    return PalettePng("", Chunk("tEXt", std::string("Comment\0after", 13)) +
                                              Idat(Rows({Bytes({3, 3}), Bytes({3, 3})})));
                  },
                  [](Load& l) {
                    EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3}));
                    EXPECT_EQ(l.reader.Comment, "after\r\n");
                  }},
        ChunkCase{"PaletteSuggestedForRgb",
                  [] { return Signature() + Ihdr(1, 1, 8, 2) + FourColours() + Idat(Rows({Bytes({1, 2, 3})})) + Iend(); },
                  [](Load& l) {
                    EXPECT_EQ(BitsOf(*l.image), 24);
                    EXPECT_EQ(l.reader.PaletteCount, 4);
                    EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0x010203}));
                  }},
        ChunkCase{"PaletteImageWithoutPalette",
                  [] { return Signature() + PaletteHeader() + PaletteData() + Iend(); },
                  [](Load& l) {
                    EXPECT_EQ(BitsOf(*l.image), 8);
                    EXPECT_EQ(l.reader.PaletteCount, 0);
                    EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3}));
                  }},
        ChunkCase{"EmptyPalette",
                  [] { return Signature() + PaletteHeader() + Chunk("PLTE", "ab") + PaletteData() + Iend(); },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.PaletteCount, 0);
                    EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3}));
                  }},
        ChunkCase{"CompressionAndFilterMethodOne",
                  [] { return Signature() + Ihdr(2, 2, 8, 3, 0, 1, 1) + FourColours() + PaletteData() + Iend(); },
                  [](Load& l) { EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3})); }},
        // Complete image data but no IEND: the picture loads, its tRNS colour is not applied.
        ChunkCase{"NoEndChunk",
                  [] {
                    return Signature() + GreyHeader() + Chunk("tRNS", Be16(0x10)) + GreyData();
                  },
                  [](Load& l) {
                    EXPECT_EQ(l.reader.TransparentColor, 0x101010);
                    EXPECT_FALSE(l.image->Transparent());
                    EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0x10, 0x80}));
                  }},
        ChunkCase{"HugeLengthAfterImage",
                  [] { return Signature() + GreyHeader() + GreyData() + Chunk("tEXt", "x", 0x7FFFFFFF) + Iend(); },
                  [](Load& l) { EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0x10, 0x80})); }},
        ChunkCase{"MacBinaryHeader",
                  [] { return std::string(128, '\0') + PalettePng(""); },
                  [](Load& l) { EXPECT_EQ(AllPixels(*l.image), (std::vector<std::uint32_t>{0, 1, 2, 3})); }}),
    [](const ::testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------- private chunk

struct HookCase {
  const char* name;
  std::string privateChunks;
  bool keyAsked;
};
void PrintTo(const HookCase& c, std::ostream* os) { *os << c.name; }

class PrivateChunk : public ::testing::TestWithParam<HookCase> {};

TEST_P(PrivateChunk, FlagsHookedRows) {
  Load load;
  load.reader.RowHookKey = "key";
  int asked = 0;
  load.reader.OnKeyRequest = [&](TObject* sender, std::string& key) {
    EXPECT_EQ(sender, &load.reader);
    EXPECT_EQ(key, "key");
    ++asked;
    key = "changed";
  };
  std::vector<std::string> seen;
  load.reader.OnReadRow = [&](TObject* sender, std::uint8_t* row, std::int32_t count, std::int32_t index,
                              const std::string& key) {
    EXPECT_EQ(sender, &load.reader);
    EXPECT_EQ(key, "changed");
    seen.push_back(std::to_string(index) + ":" + std::string(reinterpret_cast<char*>(row), std::size_t(count)));
    for (std::int32_t i = 0; i < count; ++i) row[i] ^= 0x40;
  };
  // Up-filtered second row: it must be rebuilt from the first row as decoded.
  const std::string rows = Bytes({0, 'a', 'b', 2, 1, 1});
  ASSERT_EQ(load.Run(Signature() + PaletteHeader() + GetParam().privateChunks + Idat(rows) + Iend()), "");
  EXPECT_EQ(asked, GetParam().keyAsked ? 1 : 0);
  if (GetParam().keyAsked) {
    EXPECT_EQ(seen, (std::vector<std::string>{"0:ab", "1:bc"}));
    EXPECT_EQ(AllPixels(*load.image), (std::vector<std::uint32_t>{'a' ^ 0x40, 'b' ^ 0x40, 'b' ^ 0x40, 'c' ^ 0x40}));
  } else {
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(AllPixels(*load.image), (std::vector<std::uint32_t>{'a', 'b', 'b', 'c'}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, PrivateChunk,
    ::testing::Values(HookCase{"Hooked", Chunk("tpNG", std::string("Zel3\1\0\0\0", 8)), true},
                      HookCase{"NotHooked", Chunk("tpNG", std::string("Zel3\0\0\0\0", 8)), false},
                      HookCase{"OtherMarker", Chunk("tpNG", std::string("Zel2\1\0\0\0", 8)), false},
                      HookCase{"MarkerOnly", Chunk("tpNG", "Zel3"), false},
                      HookCase{"FlagWithoutGreyByte", Chunk("tpNG", std::string("Zel3\1", 5)), true},
                      HookCase{"OnlyFirstCounts",
                               Chunk("tpNG", std::string("Zel3\0\0\0\0", 8)) + Chunk("tpNG", std::string("Zel3\1\0\0\0", 8)),
                               false}),
    [](const ::testing::TestParamInfo<HookCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ read options

TEST(ReaderOptions, HeaderOnlyReadCollectsEverythingButPixels) {
  Load load;
  const std::string file = Signature() + Ihdr(3, 2, 2, 3, 1) + FourColours() + Chunk("tRNS", Bytes({255, 0})) +
                           Chunk("tEXt", std::string("Comment\0c", 9)) + Chunk("IDAT", "not even zlib") + Iend();
  ASSERT_EQ(load.Run(file, true), "");
  EXPECT_EQ(load.reader.Width, 3);
  EXPECT_EQ(load.reader.Height, 2);
  EXPECT_EQ(load.reader.SourceBits, 2);
  EXPECT_EQ(load.reader.Interlace, 1);
  EXPECT_EQ(load.reader.Comment, "c\r\n");
  EXPECT_EQ(load.reader.TransparentColor, 0x01000001);
  EXPECT_FALSE(load.reader.Decoder.Started);
  EXPECT_TRUE(load.image->Empty());
  // The depth checks still run at the image data.
  Load second;
  EXPECT_EQ(second.Run(Signature() + Ihdr(1, 1, 16, 3) + Chunk("IDAT", "") + Iend(), true),
            "Read Header(PNG): Error BitDepth");
}

TEST(ReaderOptions, SignatureCheckCanBeSwitchedOff) {
  Load load;
  load.reader.CheckSignature = false;
  ASSERT_EQ(load.Run(PaletteHeader() + FourColours() + PaletteData() + Iend()), "");
  EXPECT_EQ(AllPixels(*load.image), (std::vector<std::uint32_t>{0, 1, 2, 3}));
}

TEST(ReaderOptions, StreamStandsAfterTheLastChunk) {
  Load load;
  const std::string file = PalettePng("");
  ASSERT_EQ(load.Run(file + "trailing bytes"), "");
  EXPECT_EQ(load.stream.Position(), std::int64_t(file.size()));
}

TEST(ReaderOptions, FailedReadKeepsNoDecoderOrRows) {
  Load load;
  ASSERT_NE(load.Run(Signature() + PaletteHeader() + FourColours() + Idat(Bytes({9, 0, 0})) + Iend()), "");
  EXPECT_FALSE(load.reader.Decoder.Started);
  EXPECT_EQ(load.reader.RawRow, nullptr);
}

TEST(ReaderOptions, ProgressRunsFromStartToEnd) {
  Load load;
  std::vector<int> percents;
  std::vector<TProgressStage> stages;
  load.image->OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                               const std::string&) {
    stages.push_back(stage);
    percents.push_back(percent);
  };
  std::string rows;
  for (int y = 0; y < 40; ++y) rows += Rows({Bytes({y, y})});
  ASSERT_EQ(load.Run(Signature() + Ihdr(2, 40, 8, 3) + FourColours() + Idat(rows) + Iend()), "");
  ASSERT_GE(percents.size(), 3u);
  EXPECT_EQ(stages.front(), psStarting);
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(stages.back(), psEnding);
  EXPECT_EQ(percents.back(), 100);
  for (std::size_t i = 1; i + 1 < percents.size(); ++i) {
    EXPECT_EQ(stages[i], psRunning);
    EXPECT_GT(percents[i], percents[i - 1]);
  }
}

}  // namespace
