// The reader's chunk stream: signature, header checks, each ancillary chunk's rules, the
// image data spread over chunks, header-only reads and the failures of incomplete input.
#include <optional>

#include "png_support.h"

using namespace png_test;

namespace {

// A 2×2 8-bit palette image of indices 0 1 / 2 3 with a four-entry palette.
const std::string PalHeader = Ihdr(2, 2, 8, 3);
const std::string FourColours = Chunk("PLTE", Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}));
const std::string PalRows = Rows({Bytes({0, 1}), Bytes({2, 3})});
const std::string PalData = Idat(PalRows);
// A 2×1 8-bit grey image 0x10 0x80.
const std::string GreyHeader = Ihdr(2, 1, 8, 0);
const std::string GreyData = Idat(Rows({Bytes({0x10, 0x80})}));
const std::vector<std::uint32_t> PalPixels = {0, 1, 2, 3}, GreyPixels = {0x10, 0x80};

std::string Png(const std::string& chunks) { return Signature() + chunks; }
std::string PalettePng(const std::string& before, const std::string& after = "") {
  return Png(PalHeader + FourColours + before + PalData + after + Iend());
}
// The palette image's header and palette, then data of the test's own making.
std::string PaletteFile(const std::string& data) { return Png(PalHeader + FourColours + data + Iend()); }

const char* const NotPng = "PNG LoadStream: Not PNG Format";
const char* const ReadError = "Read Image (PNG): Read Error";

struct FailureCase {
  const char* name;
  std::string bytes;
  const char* error;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ReaderFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ReaderFailure, GivesItsText) {
  Load load;
  EXPECT_EQ(load.Run(GetParam().bytes), GetParam().error);
}

const std::string SplitZ = Deflate(PalRows);

const FailureCase Failures[] = {
    {"Empty", "", NotPng},
    {"ShortSignature", Signature().substr(0, 5), NotPng},
    {"WrongSignature", "\x89PNG\r\n\x1a\x0b" + PalHeader, NotPng},
    {"SecondHeader", Png(PalHeader + PalHeader + FourColours + PalData + Iend()), "Read Header(PNG): appear two IHDR"},
    {"ColourType1", Png(Ihdr(2, 2, 8, 1)), "Read Header(PNG): Error ColorType"},
    {"ColourType5", Png(Ihdr(2, 2, 8, 5)), "Read Header(PNG): Error ColorType"},
    {"ColourType7", Png(Ihdr(2, 2, 8, 7)), "Read Header(PNG): Error ColorType"},
    {"Compression2", Png(Ihdr(2, 2, 8, 3, 0, 2)), "Read Header(PNG): not support Compression"},
    {"Filter2", Png(Ihdr(2, 2, 8, 3, 0, 0, 2)), "Read Header(PNG): not supprt Filter"},
    {"Interlace2", Png(Ihdr(2, 2, 8, 3, 2)), "Read Header(PNG): not interlace type"},
    {"GreyAlphaDepth4", Png(Ihdr(2, 2, 4, 4) + GreyData), "Read Header(PNG): not Use AlphaChannel"},
    {"GreyAlphaDepth3", Png(Ihdr(2, 2, 3, 4) + GreyData), "Read Header(PNG): Error Bitdepth"},
    {"GreyDepth3", Png(Ihdr(2, 2, 3, 0) + GreyData), "Read Header(PNG): Error Bitdepth"},
    {"RgbDepth4", Png(Ihdr(2, 2, 4, 2) + GreyData), "Read Header(PNG): Error BitDepth"},
    {"PaletteDepth16", Png(Ihdr(2, 2, 16, 3) + GreyData), "Read Header(PNG): Error BitDepth"},
    // Sizes the format forbids, and sizes beyond the memory cap.
    {"WidthZero", Png(Ihdr(0, 2, 8, 0) + GreyData + Iend()), ReadError},
    {"HeightZero", Png(Ihdr(2, 0, 8, 0) + GreyData + Iend()), ReadError},
    {"WidthTopBit", Png(Ihdr(0x80000000u, 1, 8, 0) + GreyData + Iend()), ReadError},
    {"HugeImage", Png(Ihdr(0x7FFFFFFFu, 0x7FFFFFFFu, 16, 6) + GreyData + Iend()), ReadError},
    {"JustOverCap", Png(Ihdr(32768, 32768, 8, 0) + GreyData + Iend()), ReadError},
    // Incomplete pictures are failures, not half-filled successes.
    {"NoChunks", Signature(), ReadError},
    {"NoImageData", PaletteFile(""), ReadError},
    {"ImageDataBeforeHeader", Png(PalData + PalHeader + FourColours + PalData + Iend()), ReadError},
    {"ShortHeaderChunk", Png(Chunk("IHDR", PalHeader.substr(8, 12)) + PalData + Iend()), ReadError},
    {"CutInsideImageData", Png(PalHeader + FourColours + PalData.substr(0, PalData.size() - 8)), ReadError},
    {"OtherChunkInsideImageData",
     PaletteFile(Chunk("IDAT", SplitZ.substr(0, 4)) + Chunk("tEXt", "a") + Chunk("IDAT", SplitZ.substr(4))), ReadError},
    {"StreamEndsBeforeLastRow", PaletteFile(Idat(Rows({Bytes({0, 1})}))), ReadError},
    {"UnknownFilterType", PaletteFile(Idat(Bytes({5, 0, 1, 0, 2, 3}))), ReadError},
    {"HugeChunkLengthBeforeImage", Png(PalHeader + Chunk("tEXt", "Comment", 0x7FFFFFF0) + Iend()), ReadError},
    {"ChunkLengthTopBit", Png(PalHeader + Chunk("PLTE", "abc", 0xFFFFFFFD) + PalData + Iend()), ReadError},
    {"ImageDataLengthTopBit", PaletteFile(Chunk("IDAT", "x", 0x80000001u)), ReadError},
    // zlib answers other than OK and stream end end the decode; a zlib failure while rows
    // are decoded is a read error like any other.
    {"PresetDictionary", PaletteFile(Chunk("IDAT", Deflate(PalRows, "dictionary"))), ReadError},
    {"CorruptDeflateData", PaletteFile(Chunk("IDAT", Bytes({0x78, 0x9C, 0xFF, 0xFF, 0xFF}))), ReadError},
    {"BadZlibHeader", PaletteFile(Chunk("IDAT", Bytes({0x78, 0x9D, 0x63, 0x00}))), ReadError},
};

INSTANTIATE_TEST_SUITE_P(Chunks, ReaderFailure, ::testing::ValuesIn(Failures), CaseName());

// ---------------------------------------------------------------- ancillary chunks

using Pixels = std::vector<std::uint32_t>;
using Chroma = std::array<std::uint32_t, 8>;
using Gif = std::array<std::uint8_t, 4>;

// What a read must give; unset fields are not looked at. Alpha {} means no alpha bitmap;
// imageTransparent true means the bitmap takes the transparent colour too.
struct Want {
  std::optional<TColor> transparent{}, background{};
  std::optional<bool> imageTransparent{}, hasAlpha{};
  std::optional<Pixels> pixels{}, alpha{};
  std::optional<int> bits{}, paletteCount{};
  std::optional<std::string> comment{};
  std::optional<std::uint32_t> significantBits{};
  std::optional<double> gamma{};
  std::optional<Chroma> chromaticities{};
  std::optional<Gif> gif{};
  std::optional<std::array<int, 3>> phys{};  // x, y, unit
  std::optional<PngTimeRecord> time{};
  std::function<void(Load&)> more{};
};

struct ChunkCase {
  const char* name;
  std::string bytes;
  Want want;
};
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class ReaderChunk : public ::testing::TestWithParam<ChunkCase> {};

template <class T, class U>
void Check(const std::optional<T>& want, const U& got, const char* what) {
  if (want) {
    EXPECT_EQ(got, *want) << what;
  }
}

TEST_P(ReaderChunk, SetsItsResults) {
  Load l;
  ASSERT_EQ(l.Run(GetParam().bytes), "");
  const Want& w = GetParam().want;
  Check(w.transparent, l.reader.TransparentColor, "transparent");
  Check(w.background, l.reader.BackgroundColor, "background");
  Check(w.imageTransparent, l.image->Transparent(), "image transparent");
  if (w.imageTransparent == true) {
    EXPECT_EQ(l.image->TransparentColor(), w.transparent.value_or(-2));
  }
  Check(w.hasAlpha, l.reader.HasAlpha, "has alpha");
  Check(w.pixels, AllPixels(*l.image), "pixels");
  Check(w.alpha, AlphaPixels(l), "alpha");
  Check(w.bits, BitsOf(*l.image), "bits");
  Check(w.paletteCount, l.reader.PaletteCount, "palette count");
  Check(w.comment, l.reader.Comment, "comment");
  Check(w.significantBits, l.reader.SignificantBits, "significant bits");
  if (w.gamma) {
    EXPECT_DOUBLE_EQ(l.reader.Gamma, *w.gamma);
  }
  Check(w.chromaticities, l.chromaticities, "chromaticities");
  Check(w.gif, l.gifControl, "gif control");
  Check(w.phys, std::array<int, 3>{l.reader.PhysX, l.reader.PhysY, l.reader.PhysUnit}, "physical size");
  if (w.time) {
    EXPECT_EQ(std::memcmp(&l.time, &*w.time, sizeof(PngTimeRecord)), 0);
  }
  if (w.more) w.more(l);
}

std::string SplitWithEmptyChunks() {
  std::string idat = Chunk("IDAT", "");
  for (std::size_t i = 0; i < SplitZ.size(); ++i) idat += Chunk("IDAT", SplitZ.substr(i, 1)) + Chunk("IDAT", "");
  return PaletteFile(idat);
}

const std::string Rgb1x1 = Ihdr(1, 1, 8, 2), RgbData = Idat(Rows({Bytes({1, 2, 3})}));
std::string GreyPng(const std::string& before, const std::string& after = "") {
  return Png(GreyHeader + before + GreyData + after + Iend());
}
std::string RgbPng(const std::string& before) { return Png(Rgb1x1 + before + RgbData + Iend()); }

const Chroma ChromaSteps{1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000};
std::string ChromaChunk(const Chroma& values) {
  std::string data;
  for (std::uint32_t v : values) data += Be32(v);
  return Chunk("cHRM", data);
}
const std::string AllFour = Chunk("gAMA", Be32(45455)) + ChromaChunk(ChromaSteps) + Chunk("sBIT", Bytes({5, 6, 5})) +
                            Chunk("gIFg", Bytes({1, 2, 3, 4}));

const ChunkCase ChunkCases[] = {
    {"GreyTransparency8", GreyPng(Chunk("tRNS", Be16(0x0080))),
     {.transparent = 0x808080, .imageTransparent = true, .alpha = Pixels{}}},
    {"GreyTransparency16",
     Png(Ihdr(1, 1, 16, 0) + Chunk("tRNS", Be16(0x1234)) + Idat(Rows({Bytes({0x12, 0x34})})) + Iend()),
     {.transparent = 0x121212}},
    // Below 8 bits the sample names the grey level of the image's own palette.
    {"GreyTransparency4", Png(Ihdr(2, 1, 4, 0) + Chunk("tRNS", Be16(5)) + Idat(Rows({Bytes({0x5F})})) + Iend()),
     {.transparent = 0x555555, .more = [](Load& l) { EXPECT_EQ(Colours(*l.image)[5], 0x555555u); }}},
    {"RgbTransparency16",
     Png(Ihdr(1, 1, 16, 2) + Chunk("tRNS", Be16(0x1234) + Be16(0x5678) + Be16(0x9ABC)) +
         Idat(Rows({std::string(6, '\x20')})) + Iend()),
     {.transparent = 0x9A5612}},
    {"PaletteSingleTransparentIndex", PalettePng(Chunk("tRNS", Bytes({255, 255, 0}))),
     {.transparent = 0x01000002, .imageTransparent = true, .hasAlpha = false, .alpha = Pixels{}}},
    {"PaletteTwoTransparentIndices", PalettePng(Chunk("tRNS", Bytes({0, 255, 0, 255}))),
     {.transparent = -1, .imageTransparent = false, .hasAlpha = true, .alpha = Pixels{255, 0, 255, 0},
      .more = [](Load& l) { EXPECT_EQ(Colours(*l.alpha)[200], 200u * 0x010101u); }}},
    {"PalettePartialAlpha", PalettePng(Chunk("tRNS", Bytes({10, 20, 30, 40, 50}))), {.alpha = Pixels{245, 235, 225, 215}}},
    {"PaletteEmptyTransparency", PalettePng(Chunk("tRNS", "")), {.hasAlpha = true, .alpha = Pixels{0, 0, 0, 0}}},
    {"BackgroundAfterImage", PalettePng("", Chunk("bKGD", Bytes({3}))), {.background = 0x01000003}},
    {"GreyBackground", GreyPng(Chunk("bKGD", Be16(0x40))), {.background = 0x404040}},
    {"GammaChromaticitiesBitsBeforePalette", RgbPng(AllFour),
     {.significantBits = 0x050605u, .gamma = 0.45455, .chromaticities = ChromaSteps, .gif = Gif{1, 2, 3, 4}}},
    {"GammaChromaticitiesBitsAfterPaletteIgnored", PalettePng(AllFour),
     {.significantBits = 0u, .gamma = 0.0, .chromaticities = Chroma{}, .gif = Gif{}}},
    {"WrongLengthsIgnored",
     RgbPng(Chunk("cHRM", std::string(31, '\1')) + Chunk("tIME", Bytes({7, 0xE6, 1, 2})) +
            Chunk("gIFg", Bytes({1, 2, 3})) + Chunk("pHYs", Bytes({0, 0, 1})) + Chunk("sBIT", Bytes({5, 6}))),
     {.significantBits = 0u, .chromaticities = Chroma{}, .gif = Gif{}, .phys = std::array<int, 3>{},
      .time = PngTimeRecord{}}},
    {"GreyBitsIgnored", GreyPng(Chunk("sBIT", Bytes({5}))), {.significantBits = 0u}},
    {"PhysicalSizeAndTime",
     PalettePng(Chunk("pHYs", Be32(2834) + Be32(2835) + '\1') + Chunk("tIME", Be16(2026) + Bytes({12, 9, 23, 59, 60}))),
     {.phys = std::array<int, 3>{2834, 2835, 1}, .time = PngTimeRecord{2026, 12, 9, 23, 59, 60}}},
    {"Comments",
     PalettePng(Text("Comment", "A") + Text("comment", "x") + Text("Title", "y"),
                Text("Comment", "B") + Text("Comment", "") + Chunk("tEXt", "Comment")),
     {.comment = "A\r\n\r\nB\r\n"}},
    {"ImageDataSplitWithEmptyChunks", SplitWithEmptyChunks(), {.pixels = PalPixels}},
    {"LaterImageDataSkipped", PalettePng("", Text("Comment", "after") + Idat(Rows({Bytes({3, 3}), Bytes({3, 3})}))),
     {.pixels = PalPixels, .comment = "after\r\n"}},
    {"PaletteSuggestedForRgb", RgbPng(FourColours), {.pixels = Pixels{0x010203}, .bits = 24, .paletteCount = 4}},
    {"PaletteImageWithoutPalette", Png(PalHeader + PalData + Iend()), {.pixels = PalPixels, .bits = 8, .paletteCount = 0}},
    {"EmptyPalette", Png(PalHeader + Chunk("PLTE", "ab") + PalData + Iend()), {.pixels = PalPixels, .paletteCount = 0}},
    {"CompressionAndFilterMethodOne", Png(Ihdr(2, 2, 8, 3, 0, 1, 1) + FourColours + PalData + Iend()),
     {.pixels = PalPixels}},
    // Complete image data but no IEND: the picture loads, its tRNS colour is not applied.
    {"NoEndChunk", Png(GreyHeader + Chunk("tRNS", Be16(0x10)) + GreyData),
     {.transparent = 0x101010, .imageTransparent = false, .pixels = GreyPixels}},
    {"HugeLengthAfterImage", GreyPng("", Chunk("tEXt", "x", 0x7FFFFFFF)), {.pixels = GreyPixels}},
    {"MacBinaryHeader", std::string(128, '\0') + PalettePng(""), {.pixels = PalPixels}},
};

INSTANTIATE_TEST_SUITE_P(Chunks, ReaderChunk, ::testing::ValuesIn(ChunkCases), CaseName());

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
  ASSERT_EQ(load.Run(Png(PalHeader + GetParam().privateChunks + Idat(Bytes({0, 'a', 'b', 2, 1, 1})) + Iend())), "");
  const bool hooked = GetParam().keyAsked;
  const std::uint32_t flip = hooked ? 0x40 : 0;
  EXPECT_EQ(asked, hooked ? 1 : 0);
  EXPECT_EQ(seen, (hooked ? std::vector<std::string>{"0:ab", "1:bc"} : std::vector<std::string>{}));
  EXPECT_EQ(AllPixels(*load.image), (std::vector<std::uint32_t>{'a' ^ flip, 'b' ^ flip, 'b' ^ flip, 'c' ^ flip}));
}

std::string Tpng(std::string_view data) { return Chunk("tpNG", data); }

const HookCase HookCases[] = {
    {"Hooked", Tpng({"Zel3\1\0\0\0", 8}), true},
    {"NotHooked", Tpng({"Zel3\0\0\0\0", 8}), false},
    {"OtherMarker", Tpng({"Zel2\1\0\0\0", 8}), false},
    {"MarkerOnly", Tpng("Zel3"), false},
    {"FlagWithoutGreyByte", Tpng({"Zel3\1", 5}), true},
    {"OnlyFirstCounts", Tpng({"Zel3\0\0\0\0", 8}) + Tpng({"Zel3\1\0\0\0", 8}), false},
};

INSTANTIATE_TEST_SUITE_P(Chunks, PrivateChunk, ::testing::ValuesIn(HookCases), CaseName());

// ------------------------------------------------------------------ read options

TEST(ReaderOptions, HeaderOnlyReadCollectsEverythingButPixels) {
  Load load;
  ASSERT_EQ(load.Run(Png(Ihdr(3, 2, 2, 3, 1) + FourColours + Chunk("tRNS", Bytes({255, 0})) + Text("Comment", "c") +
                         Chunk("IDAT", "not even zlib") + Iend()),
                     true),
            "");
  EXPECT_EQ(std::vector<int>({load.reader.Width, load.reader.Height, load.reader.SourceBits, load.reader.Interlace}),
            std::vector<int>({3, 2, 2, 1}));
  EXPECT_EQ(load.reader.Comment, "c\r\n");
  EXPECT_EQ(load.reader.TransparentColor, 0x01000001);
  EXPECT_FALSE(load.reader.Decoder.Started);
  EXPECT_TRUE(load.image->Empty());
  // The depth checks still run at the image data.
  Load second;
  EXPECT_EQ(second.Run(Png(Ihdr(1, 1, 16, 3) + Chunk("IDAT", "") + Iend()), true), "Read Header(PNG): Error BitDepth");
}

TEST(ReaderOptions, SignatureCheckCanBeSwitchedOff) {
  Load load;
  load.reader.CheckSignature = false;
  ASSERT_EQ(load.Run(PalHeader + FourColours + PalData + Iend()), "");
  EXPECT_EQ(AllPixels(*load.image), PalPixels);
}

TEST(ReaderOptions, StreamStandsAfterTheLastChunk) {
  Load load;
  ASSERT_EQ(load.Run(PalettePng("") + "trailing bytes"), "");
  EXPECT_EQ(load.stream.Position(), std::int64_t(PalettePng("").size()));
}

TEST(ReaderOptions, FailedReadKeepsNoDecoderOrRows) {
  Load load;
  ASSERT_NE(load.Run(PaletteFile(Idat(Bytes({9, 0, 0})))), "");
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
  ASSERT_EQ(load.Run(Png(Ihdr(2, 40, 8, 3) + FourColours + Idat(rows) + Iend())), "");
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
