// Every file of the PNG suite against libpng as the oracle (test only), after the
// reader's own conversions; interlaced files against their plain twins; corrupt files
// against the error each one must give. Untrusted input: every suite file cut at every
// byte and with every byte altered, and files built to exhaust memory or time, end in the
// codec's error (or a resource error), quickly, never in a crash or a hang.
#include <map>

#include "png_support.h"

using namespace png_test;

namespace {

std::uint32_t Grey(std::uint32_t v) { return v * 0x010101u; }

// The grey level a sample stands for in the reader's grey palettes.
std::uint32_t GreyLevelOf(std::uint32_t sample, int depth) {
  return depth >= 8 ? sample : sample * 255u / ((1u << depth) - 1);
}

// 0x00BBGGRR of a tRNS / bKGD value, grey or RGB, 16-bit samples by their high byte.
TColor ColourOf(const png_color_16& c, int depth, bool grey) {
  const int shift = depth == 16 ? 8 : 0;
  if (grey) return TColor(Grey(depth == 16 ? c.gray >> 8 : GreyLevelOf(c.gray & ((1u << depth) - 1), depth)));
  return TColor(((c.red >> shift) & 0xFF) | (((c.green >> shift) & 0xFF) << 8) | (((c.blue >> shift) & 0xFF) << 16));
}

// Checks one loaded file against the oracle.
void ExpectMatchesOracle(Load& load, const Oracle& o) {
  TBitmap& image = *load.image;
  ASSERT_EQ(image.Width(), int(o.Width));
  ASSERT_EQ(image.Height(), int(o.Height));
  TZelPNGReadStream& r = load.reader;
  EXPECT_EQ(r.Interlace, o.Interlace);
  const bool alphaChannel = (o.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
  const int base = o.ColorType & ~PNG_COLOR_MASK_ALPHA;
  const bool grey = base == PNG_COLOR_TYPE_GRAY;
  EXPECT_EQ(r.Grayscale, grey);

  // Expected alpha per palette index (255 where tRNS says nothing).
  std::vector<std::uint8_t> indexAlpha(256, 255);
  for (std::size_t i = 0; i < o.PaletteAlpha.size() && i < o.Palette.size(); ++i) indexAlpha[i] = o.PaletteAlpha[i];
  const auto zeros = std::count(indexAlpha.begin(), indexAlpha.end(), 0);
  const bool partial = std::any_of(indexAlpha.begin(), indexAlpha.end(), [](int a) { return a != 0 && a != 255; });
  const bool paletteTrns = base == PNG_COLOR_TYPE_PALETTE && !o.PaletteAlpha.empty();
  const bool singleIndex = paletteTrns && !partial && zeros == 1;
  const bool alphaExpected = alphaChannel || (paletteTrns && !singleIndex);
  EXPECT_EQ(r.HasAlpha, alphaExpected);
  EXPECT_EQ(!load.alpha->Empty(), alphaExpected);
  if (alphaExpected) {
    ASSERT_EQ(BitsOf(*load.alpha), 8);
    ASSERT_EQ(load.alpha->Width(), int(o.Width));
    ASSERT_EQ(load.alpha->Height(), int(o.Height));
  }

  TColor transparent = -1;
  if (singleIndex)
    transparent = PaletteIndexFlag + TColor(std::find(indexAlpha.begin(), indexAlpha.end(), 0) - indexAlpha.begin());
  if (o.HasTransColor && !alphaChannel) transparent = ColourOf(o.TransColor, o.Depth, grey);
  EXPECT_EQ(r.TransparentColor, transparent);
  EXPECT_EQ(image.Transparent(), transparent != -1);
  if (transparent != -1) {
    EXPECT_EQ(image.TransparentColor(), transparent);
  }
  TColor background = -1;
  if (o.HasBackground)
    background = base == PNG_COLOR_TYPE_PALETTE ? PaletteIndexFlag + o.Background.index
                                                 : ColourOf(o.Background, o.Depth, grey);
  EXPECT_EQ(r.BackgroundColor, background);

  int expectedBits = 24;
  if (base != PNG_COLOR_TYPE_RGB) expectedBits = o.Depth == 2 ? 4 : o.Depth == 16 ? 8 : o.Depth;
  if (grey && alphaChannel) expectedBits = 8;
  ASSERT_EQ(BitsOf(image), expectedBits);
  EXPECT_EQ(r.SourceBits, base == PNG_COLOR_TYPE_RGB ? 3 * o.Depth : o.Depth);

  const std::vector<std::uint32_t> colours = Colours(image);
  if (grey) {
    const int levels = o.Depth >= 8 ? 256 : 1 << o.Depth;
    ASSERT_GE(int(colours.size()), levels);
    EXPECT_EQ(r.PaletteCount, levels);
    for (int i = 0; i < levels; ++i) ASSERT_EQ(colours[i], Grey(GreyLevelOf(i, o.Depth))) << "grey entry " << i;
  } else if (!o.Palette.empty() && expectedBits <= 8) {
    ASSERT_GE(colours.size(), o.Palette.size());
    for (std::size_t i = 0; i < o.Palette.size(); ++i) {
      const png_color& c = o.Palette[i];
      ASSERT_EQ(colours[i], (std::uint32_t(c.red) << 16) | (c.green << 8) | c.blue) << "palette entry " << i;
    }
  }

  for (png_uint_32 y = 0; y < o.Height; ++y) {
    for (png_uint_32 x = 0; x < o.Width; ++x) {
      const std::uint8_t* p = o.Rows[y].data() + std::size_t(x) * o.Channels;
      const bool rgb = base == PNG_COLOR_TYPE_RGB;
      const std::uint32_t want = rgb ? (std::uint32_t(p[0]) << 16) | (p[1] << 8) | p[2] : p[0];
      int alphaWant = alphaChannel ? 255 - p[rgb ? 3 : 1] : -1;
      if (paletteTrns && !singleIndex) alphaWant = 255 - indexAlpha[p[0]];
      ASSERT_EQ(PixelAt(image, int(x), int(y)), want) << "pixel " << x << "," << y;
      if (alphaWant >= 0) {
        ASSERT_EQ(PixelAt(*load.alpha, int(x), int(y)), std::uint32_t(alphaWant)) << "alpha " << x << "," << y;
      }
    }
  }
}

// Texts the corrupt files must give; every other file loads.
const std::map<std::string, std::string> CorruptFiles = {
    {"xc1n0g08", "Read Header(PNG): Error ColorType"},
    {"xc9n2c08", "Read Header(PNG): Error ColorType"},
    {"xcrn0g04", "PNG LoadStream: Not PNG Format"},
    {"xlfn0g04", "PNG LoadStream: Not PNG Format"},
    {"xs1n0g01", "PNG LoadStream: Not PNG Format"},
    {"xs2n0g01", "PNG LoadStream: Not PNG Format"},
    {"xs4n0g01", "PNG LoadStream: Not PNG Format"},
    {"xs7n0g01", "PNG LoadStream: Not PNG Format"},
    {"xd0n2c08", "Read Header(PNG): Error BitDepth"},
    {"xd3n2c08", "Read Header(PNG): Error BitDepth"},
    {"xd9n2c08", "Read Header(PNG): Error BitDepth"},
    // No image data at all: a read that places no row is a failure.
    {"xdtn0g01", "Read Image (PNG): Read Error"},
    // Only a CRC is wrong, and CRCs are not checked.
    {"xcsn0g01", ""},
    {"xhdn0g08", ""},
};

std::string ExpectedError(const std::string& file) {
  const auto corrupt = CorruptFiles.find(file);
  return corrupt == CorruptFiles.end() ? "" : corrupt->second;
}

const auto NameOf = [](const ::testing::TestParamInfo<std::string>& info) { return info.param; };

std::string SuiteBytes(const std::string& file) { return ReadAll(SuiteDir + file + ".png"); }

class SuiteFile : public ::testing::TestWithParam<std::string> {};

TEST_P(SuiteFile, DecodesLikeTheOracle) {
  const std::string bytes = SuiteBytes(GetParam());
  Load load;
  const std::string error = ExpectedError(GetParam());
  ASSERT_EQ(load.Run(bytes), error);
  if (!error.empty()) return;
  const Oracle oracle = DecodeWithLibpng(bytes, false);
  ASSERT_TRUE(oracle.Ok);
  ExpectMatchesOracle(load, oracle);
}

INSTANTIATE_TEST_SUITE_P(PngSuite, SuiteFile, ::testing::ValuesIn(SuiteFiles()), NameOf);

TEST(SuiteFiles, AllCorruptFilesAreListed) {
  const auto files = SuiteFiles();
  EXPECT_EQ(std::size_t(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f[0] == 'x'; })),
            CorruptFiles.size());
  EXPECT_GT(files.size(), 150u) << "the PNG suite is missing from " << SuiteDir;
}

// The interlaced files must give exactly the bitmaps of their plain twins.
std::string PlainTwin(const std::string& file) { return file.substr(0, 3) + 'n' + file.substr(4); }

std::vector<std::string> InterlacedFiles() {
  std::vector<std::string> out;
  for (const std::string& f : SuiteFiles())
    if (f.size() == 8 && f[3] == 'i' && ExpectedError(f).empty() && std::filesystem::exists(SuiteDir + PlainTwin(f) + ".png"))
      out.push_back(f);
  return out;
}

class InterlacedTwin : public ::testing::TestWithParam<std::string> {};

TEST_P(InterlacedTwin, MatchesPlainFile) {
  Load interlaced, plain;
  ASSERT_EQ(interlaced.Run(SuiteBytes(GetParam())), "");
  ASSERT_EQ(plain.Run(SuiteBytes(PlainTwin(GetParam()))), "");
  EXPECT_EQ(interlaced.reader.Interlace, 1);
  EXPECT_EQ(plain.reader.Interlace, 0);
  ASSERT_EQ(BitsOf(*interlaced.image), BitsOf(*plain.image));
  EXPECT_EQ(AllPixels(*interlaced.image), AllPixels(*plain.image));
  EXPECT_EQ(Colours(*interlaced.image), Colours(*plain.image));
  EXPECT_EQ(AlphaPixels(interlaced), AlphaPixels(plain));
}

INSTANTIATE_TEST_SUITE_P(PngSuite, InterlacedTwin, ::testing::ValuesIn(InterlacedFiles()), NameOf);

// ---------------------------------------------------------------- untrusted input

const std::vector<std::string> ReaderTexts = {
    "",
    "PNG LoadStream: Not PNG Format",
    "Read Header(PNG): appear two IHDR",
    "Read Header(PNG): Error ColorType",
    "Read Header(PNG): not support Compression",
    "Read Header(PNG): not supprt Filter",
    "Read Header(PNG): not interlace type",
    "Read Header(PNG): Error Bitdepth",
    "Read Header(PNG): not Use AlphaChannel",
    "Read Header(PNG): Error BitDepth",
    "PNG LoadStream: Error ZLIB",
    "Read Image (PNG): Read Error",
    std::string("EOutOfResources: ") + SOutOfResources,
    std::string("EOutOfMemory: ") + SOutOfMemory,
};

// A second of CPU per read; the sanitizers make the large allocations of lying headers
// several times slower, so their builds get more room.
#ifdef __SANITIZE_ADDRESS__
constexpr double TimeLimit = 4.0;
#else
constexpr double TimeLimit = 1.0;
#endif

// Loads bytes with a fresh reader; fails the test on a foreign error or a slow read.
std::string ExpectContained(std::string_view bytes, const std::string& what) {
  Load load;
  const double start = CpuSeconds();
  const std::string result = load.Run(bytes);
  EXPECT_LT(CpuSeconds() - start, TimeLimit) << what;
  EXPECT_NE(std::find(ReaderTexts.begin(), ReaderTexts.end(), result), ReaderTexts.end()) << what << ": " << result;
  return result;
}

class DamagedSuiteFile : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedSuiteFile, CutAtEveryByte) {
  const std::string bytes = SuiteBytes(GetParam());
  for (std::size_t size = 0; size < bytes.size() && !HasFailure(); ++size)
    ExpectContained(std::string_view(bytes).substr(0, size), "cut at " + std::to_string(size));
}

TEST_P(DamagedSuiteFile, EveryByteAltered) {
  const std::string bytes = SuiteBytes(GetParam());
  for (std::size_t at = 0; at < bytes.size() && !HasFailure(); ++at) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ (0x11 + at % 0xEE));
    ExpectContained(damaged, "byte " + std::to_string(at));
  }
}

INSTANTIATE_TEST_SUITE_P(PngSuite, DamagedSuiteFile, ::testing::ValuesIn(SuiteFiles()), NameOf);

struct CraftedCase {
  const char* name;
  std::function<std::string()> bytes;
};
void PrintTo(const CraftedCase& c, std::ostream* os) { *os << c.name; }

class CraftedFile : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedFile, IsRefusedQuickly) { EXPECT_NE(ExpectContained(GetParam().bytes(), GetParam().name), ""); }

std::string Crafted(const std::string& header, const std::string& rest = Idat(Rows({Bytes({1, 2, 3})})) + Iend()) {
  return Signature() + header + rest;
}

const CraftedCase CraftedCases[] = {
    {"WideRowOverflowingThirtyTwoBits", [] { return Crafted(Ihdr(0x7FFFFFFF, 1, 16, 6)); }},
    // Under the memory cap: the bitmap is made, but the data ends long before the rows do.
    {"LargeImageWithTinyData", [] { return Crafted(Ihdr(16384, 16384, 8, 2)); }},
    {"TallInterlacedImageWithTinyData", [] { return Crafted(Ihdr(1, 0x7FFFFFF, 1, 0, 1)); }},
    {"EveryLengthHuge", [] { return Crafted(Ihdr(1, 1, 8, 0) + Chunk("tEXt", "Comment", 0xFFFFFFFF)); }},
    {"ImageDataLengthJustPastEnd",
     [] {
       const std::string z = Deflate(Rows({Bytes({1})}));
       return Crafted(Ihdr(1, 1, 8, 0), Chunk("IDAT", z, std::int64_t(z.size()) + 5));
     }},
    {"EndlessEmptyImageData",
     [] {
       std::string f = Crafted(Ihdr(1, 1, 8, 0), "");
       for (int i = 0; i < 100000; ++i) f += Chunk("IDAT", "");
       return f;
     }},
};

INSTANTIATE_TEST_SUITE_P(Crafted, CraftedFile, ::testing::ValuesIn(CraftedCases), CaseName());

// A large comment that really is in the file is read whole, and only once.
TEST(CraftedFile, LargeCommentIsRead) {
  const std::string text(4 << 20, 'c');
  Load load;
  ASSERT_EQ(load.Run(Crafted(Ihdr(1, 1, 8, 0) + Text("Comment", text),
                             Idat(Rows({Bytes({7})})) + Iend())),
            "");
  EXPECT_EQ(load.reader.Comment.size(), text.size() + 2);
}

// Data far too short for the rows a header announces is refused before the bitmap is
// touched, so the picture it held survives and no large allocation happens.
TEST(ShortImageData, KeepsThePreviousPicture) {
  Load load;
  load.image->SetPixelFormat(pf24bit);
  load.image->SetSize(3, 2);
  EXPECT_EQ(load.Run(Crafted(Ihdr(16384, 16384, 8, 2), Idat(Rows({Bytes({0, 1, 2, 3})})) + Iend())),
            "Read Image (PNG): Read Error");
  EXPECT_EQ(load.image->Width(), 3);
  EXPECT_EQ(load.image->Height(), 2);
}

}  // namespace
