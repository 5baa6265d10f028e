// Every file of the PNG suite against libpng as the oracle (test only), after the
// reader's own conversions; interlaced files against their plain twins; corrupt files
// against the error each one must give.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <filesystem>
#include <map>

#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string SuiteDir = std::string(CORPORA_DIR) + "/pngsuite/";

// What libpng sees in a file: 8-bit samples (16-bit ones cut to their high byte, small
// depths one per byte, unscaled), the palette, the transparency and the background.
struct Oracle {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0, channels = 0;
  std::vector<std::vector<std::uint8_t>> rows;
  std::vector<png_color> palette;
  std::vector<std::uint8_t> paletteAlpha;
  bool hasTransColor = false;
  png_color_16 transColor{};
  bool hasBackground = false;
  png_color_16 background{};
  int paletteBackground = -1;
  bool hasSbit = false;
  png_color_8 sbit{};
};

bool ReadOracle(const std::string& path, Oracle& o) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  // Two suite files carry a wrong CRC on purpose; the reader never checks CRCs.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_read_info(png, info);
  o.width = png_get_image_width(png, info);
  o.height = png_get_image_height(png, info);
  o.depth = png_get_bit_depth(png, info);
  o.colorType = png_get_color_type(png, info);
  o.interlace = png_get_interlace_type(png, info);
  png_colorp pal = nullptr;
  int palCount = 0;
  if (png_get_PLTE(png, info, &pal, &palCount)) o.palette.assign(pal, pal + palCount);
  png_bytep trans = nullptr;
  int transCount = 0;
  png_color_16p transValue = nullptr;
  if (png_get_tRNS(png, info, &trans, &transCount, &transValue)) {
    if (o.colorType == PNG_COLOR_TYPE_PALETTE) {
      o.paletteAlpha.assign(trans, trans + transCount);
    } else if (transValue) {
      o.hasTransColor = true;
      o.transColor = *transValue;
    }
  }
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd)) {
    o.hasBackground = true;
    o.background = *bkgd;
  }
  png_color_8p sbit = nullptr;
  if (png_get_sBIT(png, info, &sbit)) {
    o.hasSbit = true;
    o.sbit = *sbit;
  }
  if (o.depth == 16) png_set_strip_16(png);
  if (o.depth < 8) png_set_packing(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  o.channels = png_get_channels(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  o.rows.assign(o.height, std::vector<std::uint8_t>(rowBytes));
  std::vector<png_bytep> pointers;
  for (auto& r : o.rows) pointers.push_back(r.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return true;
}

std::uint32_t Grey(std::uint32_t v) { return v * 0x010101u; }

// The grey level a sample stands for in the reader's grey palettes.
std::uint32_t GreyLevelOf(std::uint32_t sample, int depth) {
  return depth >= 8 ? sample : sample * 255u / ((1u << depth) - 1);
}

// 0x00BBGGRR of a 16-bit-capable tRNS / bKGD triple.
TColor ColourOf(const png_color_16& c, int depth) {
  const int shift = depth == 16 ? 8 : 0;
  return TColor(((c.red >> shift) & 0xFF) | (((c.green >> shift) & 0xFF) << 8) | (((c.blue >> shift) & 0xFF) << 16));
}

TColor GreyColourOf(std::uint16_t sample, int depth) {
  if (depth == 16) return TColor(Grey(sample >> 8));
  return TColor(Grey(GreyLevelOf(sample & ((1u << depth) - 1), depth)));
}

// Checks one loaded file against the oracle.
void ExpectMatchesOracle(Load& load, const Oracle& o) {
  TBitmap& image = *load.image;
  ASSERT_EQ(image.Width(), int(o.width));
  ASSERT_EQ(image.Height(), int(o.height));
  TZelPNGReadStream& r = load.reader;
  EXPECT_EQ(r.Interlace, o.interlace);
  const bool alphaChannel = (o.colorType & PNG_COLOR_MASK_ALPHA) != 0;
  const int base = o.colorType & ~PNG_COLOR_MASK_ALPHA;
  EXPECT_EQ(r.Grayscale, base == PNG_COLOR_TYPE_GRAY);

  // Expected alpha per palette index (255 where tRNS says nothing).
  std::vector<std::uint8_t> indexAlpha(256, 255);
  for (std::size_t i = 0; i < o.paletteAlpha.size() && i < o.palette.size(); ++i) indexAlpha[i] = o.paletteAlpha[i];
  int zeros = 0, zeroIndex = -1;
  bool partial = false;
  for (int i = 0; i < 256; ++i) {
    if (indexAlpha[i] == 0) ++zeros, zeroIndex = i;
    else if (indexAlpha[i] != 255) partial = true;
  }
  const bool paletteTrns = base == PNG_COLOR_TYPE_PALETTE && !o.paletteAlpha.empty();
  const bool singleIndex = paletteTrns && !partial && zeros == 1;
  const bool alphaExpected = alphaChannel || (paletteTrns && !singleIndex);
  EXPECT_EQ(r.HasAlpha, alphaExpected);
  EXPECT_EQ(!load.alpha->Empty(), alphaExpected);
  if (alphaExpected) {
    ASSERT_EQ(BitsOf(*load.alpha), 8);
    ASSERT_EQ(load.alpha->Width(), int(o.width));
    ASSERT_EQ(load.alpha->Height(), int(o.height));
  }

  TColor transparent = -1;
  if (singleIndex) transparent = PaletteIndexFlag + zeroIndex;
  if (o.hasTransColor && !alphaChannel)
    transparent = base == PNG_COLOR_TYPE_GRAY ? GreyColourOf(o.transColor.gray, o.depth) : ColourOf(o.transColor, o.depth);
  EXPECT_EQ(r.TransparentColor, transparent);
  EXPECT_EQ(image.Transparent(), transparent != -1);
  if (transparent != -1) {
    EXPECT_EQ(image.TransparentColor(), transparent);
  }

  if (o.hasBackground) {
    TColor expected;
    if (base == PNG_COLOR_TYPE_PALETTE) expected = PaletteIndexFlag + o.background.index;
    else if (base == PNG_COLOR_TYPE_GRAY) expected = GreyColourOf(o.background.gray, o.depth);
    else expected = ColourOf(o.background, o.depth);
    EXPECT_EQ(r.BackgroundColor, expected);
  } else {
    EXPECT_EQ(r.BackgroundColor, -1);
  }

  int expectedBits = 24;
  if (base != PNG_COLOR_TYPE_RGB) expectedBits = o.depth == 2 ? 4 : o.depth == 16 ? 8 : o.depth;
  if (base == PNG_COLOR_TYPE_GRAY && alphaChannel) expectedBits = 8;
  ASSERT_EQ(BitsOf(image), expectedBits);
  EXPECT_EQ(r.SourceBits, base == PNG_COLOR_TYPE_RGB ? 3 * o.depth : o.depth);

  const std::vector<std::uint32_t> colours = Colours(image);
  if (base == PNG_COLOR_TYPE_GRAY) {
    const int levels = o.depth >= 8 ? 256 : 1 << o.depth;
    ASSERT_GE(int(colours.size()), levels);
    for (int i = 0; i < levels; ++i) ASSERT_EQ(colours[i], Grey(GreyLevelOf(i, o.depth))) << "grey entry " << i;
  } else if (!o.palette.empty() && expectedBits <= 8) {
    ASSERT_GE(colours.size(), o.palette.size());
    for (std::size_t i = 0; i < o.palette.size(); ++i) {
      const png_color& c = o.palette[i];
      ASSERT_EQ(colours[i], (std::uint32_t(c.red) << 16) | (c.green << 8) | c.blue) << "palette entry " << i;
    }
  }

  for (png_uint_32 y = 0; y < o.height; ++y) {
    const std::uint8_t* s = o.rows[y].data();
    for (png_uint_32 x = 0; x < o.width; ++x) {
      const std::uint8_t* p = s + std::size_t(x) * o.channels;
      const std::uint32_t got = PixelAt(image, int(x), int(y));
      std::uint32_t want;
      int alphaWant = -1;
      if (base == PNG_COLOR_TYPE_RGB) {
        want = (std::uint32_t(p[0]) << 16) | (p[1] << 8) | p[2];
        if (alphaChannel) alphaWant = 255 - p[3];
      } else {
        want = p[0];
        if (alphaChannel) alphaWant = 255 - p[1];
        if (paletteTrns && !singleIndex) alphaWant = 255 - indexAlpha[p[0]];
      }
      ASSERT_EQ(got, want) << "pixel " << x << "," << y;
      if (alphaWant >= 0) {
        ASSERT_EQ(PixelAt(*load.alpha, int(x), int(y)), std::uint32_t(alphaWant)) << "alpha " << x << "," << y;
      }
    }
  }
}

struct SuiteCase {
  std::string file;
  std::string error;  // empty: the file loads
};
void PrintTo(const SuiteCase& c, std::ostream* os) { *os << c.file; }

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

std::vector<SuiteCase> SuiteCases() {
  std::vector<SuiteCase> cases;
  for (const auto& entry : std::filesystem::directory_iterator(SuiteDir)) {
    if (entry.path().extension() != ".png") continue;
    const std::string stem = entry.path().stem().string();
    const auto corrupt = CorruptFiles.find(stem);
    cases.push_back({stem, corrupt == CorruptFiles.end() ? "" : corrupt->second});
  }
  std::sort(cases.begin(), cases.end(), [](const SuiteCase& a, const SuiteCase& b) { return a.file < b.file; });
  return cases;
}

class SuiteFile : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(SuiteFile, DecodesLikeTheOracle) {
  const SuiteCase& c = GetParam();
  const std::string path = SuiteDir + c.file + ".png";
  Load load;
  const std::string error = load.Run(ReadFileBytes(path));
  ASSERT_EQ(error, c.error);
  if (!c.error.empty()) return;
  Oracle oracle;
  ASSERT_TRUE(ReadOracle(path, oracle));
  ExpectMatchesOracle(load, oracle);
}

INSTANTIATE_TEST_SUITE_P(PngSuite, SuiteFile, ::testing::ValuesIn(SuiteCases()),
                         [](const ::testing::TestParamInfo<SuiteCase>& info) { return info.param.file; });

TEST(SuiteFiles, AllCorruptFilesAreListed) {
  std::size_t seen = 0;
  for (const SuiteCase& c : SuiteCases()) seen += c.file[0] == 'x';
  EXPECT_EQ(seen, CorruptFiles.size());
  EXPECT_GT(SuiteCases().size(), 150u);
}

// The interlaced files must give exactly the bitmaps of their plain twins.
std::vector<std::string> InterlacedFiles() {
  std::vector<std::string> out;
  for (const SuiteCase& c : SuiteCases())
    if (c.file.size() == 8 && c.file[3] == 'i' && c.error.empty() &&
        std::filesystem::exists(SuiteDir + c.file.substr(0, 3) + 'n' + c.file.substr(4) + ".png"))
      out.push_back(c.file);
  return out;
}

class InterlacedTwin : public ::testing::TestWithParam<std::string> {};

TEST_P(InterlacedTwin, MatchesPlainFile) {
  const std::string& name = GetParam();
  Load interlaced, plain;
  ASSERT_EQ(interlaced.Run(ReadFileBytes(SuiteDir + name + ".png")), "");
  ASSERT_EQ(plain.Run(ReadFileBytes(SuiteDir + name.substr(0, 3) + 'n' + name.substr(4) + ".png")), "");
  EXPECT_EQ(interlaced.reader.Interlace, 1);
  EXPECT_EQ(plain.reader.Interlace, 0);
  ASSERT_EQ(BitsOf(*interlaced.image), BitsOf(*plain.image));
  EXPECT_EQ(AllPixels(*interlaced.image), AllPixels(*plain.image));
  EXPECT_EQ(Colours(*interlaced.image), Colours(*plain.image));
  EXPECT_EQ(interlaced.alpha->Empty(), plain.alpha->Empty());
  if (!plain.alpha->Empty()) {
    EXPECT_EQ(AllPixels(*interlaced.alpha), AllPixels(*plain.alpha));
  }
}

INSTANTIATE_TEST_SUITE_P(PngSuite, InterlacedTwin, ::testing::ValuesIn(InterlacedFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
