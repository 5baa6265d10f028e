// Every pixel format and setting of the writer gives a file that libpng decodes to the
// source's pixels and that pngcheck accepts.
#include <sstream>

#include "png_support.h"

using namespace png_test;

namespace {

struct FormatRow {
  const char* Name;
  TPixelFormat Format;
  bool Grayscale;
  bool Alpha;
  int ColorType;  // expected in IHDR
  int BitDepth;
};

const FormatRow kFormats[] = {
    {"pal1", pf1bit, false, false, 3, 1},       {"pal4", pf4bit, false, false, 3, 4},
    {"pal8", pf8bit, false, false, 3, 8},       {"grey1", pf1bit, true, false, 0, 1},
    {"grey4", pf4bit, true, false, 0, 4},       {"grey8", pf8bit, true, false, 0, 8},
    {"grey8alpha", pf8bit, true, true, 4, 8},   {"pal8alpha", pf8bit, false, true, 3, 8},
    {"pal4alpha", pf4bit, false, true, 3, 4},   {"grey1alpha", pf1bit, true, true, 0, 1},
    {"rgb15", pf15bit, false, false, 2, 8},     {"rgb16", pf16bit, false, false, 2, 8},
    {"rgb24", pf24bit, false, false, 2, 8},     {"rgb32", pf32bit, false, false, 2, 8},
    {"rgba15", pf15bit, false, true, 6, 8},     {"rgba16", pf16bit, false, true, 6, 8},
    {"rgba24", pf24bit, false, true, 6, 8},     {"rgba32", pf32bit, false, true, 6, 8},
    {"grey15", pf15bit, true, false, 0, 8},     {"grey16alpha", pf16bit, true, true, 4, 8},
    {"grey24", pf24bit, true, false, 0, 8},     {"grey24alpha", pf24bit, true, true, 4, 8},
    {"grey32", pf32bit, true, false, 0, 8},
};

void PrintTo(const FormatRow& row, std::ostream* os) { *os << row.Name; }

struct Variant {
  const char* Name;
  int Interlace;
  int Filter;
  int Level;
  int IdatSize;
  int Width;
  int Height;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.Name; }

const Variant kVariants[] = {
    {"plain", 0, 1, -1, 32768, 13, 7},        {"adam7", 1, 1, -1, 32768, 13, 7},
    {"adaptive", 0, 0, -1, 32768, 19, 9},     {"adaptive_adam7", 1, 0, -1, 32768, 19, 9},
    {"sub", 0, 2, -1, 32768, 11, 6},          {"up_adam7", 1, 3, -1, 32768, 11, 6},
    {"average", 0, 4, 6, 32768, 9, 10},       {"paeth_adam7", 1, 5, 6, 32768, 9, 10},
    {"filter7", 0, 7, 1, 32768, 8, 4},        {"level0", 0, 1, 0, 32768, 10, 5},
    {"level9_paeth", 0, 5, 9, 32768, 10, 5},  {"level42", 0, 1, 42, 32768, 10, 5},
    {"idat256_tall", 0, 0, -1, 256, 3, 300},  {"idat100000", 1, 2, -1, 100000, 150, 140},
    {"one_pixel_adam7", 1, 0, -1, 256, 1, 1}, {"wide_short", 1, 4, -1, 1024, 97, 2},
};

std::uint8_t GreyOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return static_cast<std::uint8_t>((r * 77 + g * 150 + b * 29) >> 8);
}
std::uint32_t Widen(std::uint32_t v, int bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); }

// The RGBA a decoder must see for pixel (x, y), worked out from the bitmap's memory.
std::array<std::uint8_t, 4> Expected(TBitmap& bitmap, TBitmap& alpha, const FormatRow& row, int x, int y) {
  const int bits = PixelFormatToBits(row.Format);
  const std::uint32_t p = PixelAt(bitmap, x, y);
  const std::vector<RGBQUAD> table = bits <= 8 ? bitmap.ColorTable() : std::vector<RGBQUAD>{};
  std::uint32_t r = p >> 16, g = (p >> 8) & 255, b = p & 255;
  if (bits <= 8) {
    r = table[p].rgbRed, g = table[p].rgbGreen, b = table[p].rgbBlue;
  } else if (bits == 15) {
    r = Widen((p >> 10) & 31, 5), g = Widen((p >> 5) & 31, 5), b = Widen(p & 31, 5);
  } else if (bits == 16) {
    r = Widen(p >> 11, 5), g = Widen((p >> 5) & 63, 6), b = Widen(p & 31, 5);
  }
  std::array<std::uint8_t, 4> out{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b), 255};
  if (row.Grayscale) {
    std::uint8_t level = GreyOf(r, g, b);
    // At 1 bit the brighter entry becomes white; at 4 bits the level keeps its top bits.
    if (bits == 1) level = (p ^ (GreyOf(table[0].rgbRed, table[0].rgbGreen, table[0].rgbBlue) >
                                 GreyOf(table[1].rgbRed, table[1].rgbGreen, table[1].rgbBlue))) ? 255 : 0;
    if (bits == 4) level = std::uint8_t((level >> 4) * 17);
    out = {level, level, level, 255};
  }
  if (row.ColorType == 4 || row.ColorType == 6) out[3] = std::uint8_t(255 - PixelAt(alpha, x, y));
  return out;
}

void CheckRoundTrip(const FormatRow& row, int interlace, int filter, int level, int idatSize, int width, int height) {
  auto bitmap = MakeBitmap(row.Format, width, height, static_cast<std::uint32_t>(width * 31 + height));
  auto alpha = MakeAlpha(width, height);
  const std::string file = Save(bitmap.get(), [&](TZelPNGWriteStream& w) {
    w.Interlace = static_cast<std::uint32_t>(interlace);
    w.FilterMode = static_cast<std::uint32_t>(filter);
    w.CompressionLevel = level;
    w.SetIdatSize(idatSize);
    w.Grayscale = row.Grayscale;
    if (row.Alpha) w.AlphaBitmap = alpha.get();
  });
  // Every IDAT but the last carries exactly the configured size.
  std::vector<std::size_t> idats;
  for (const ParsedChunk& c : SplitChunks(file))
    if (c.Type == "IDAT") idats.push_back(c.Data.size());
  ASSERT_FALSE(idats.empty());
  for (std::size_t i = 0; i + 1 < idats.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(idatSize), idats[i]);
  EXPECT_LE(idats.back(), static_cast<std::size_t>(idatSize));

  const Oracle decoded = DecodeWithLibpng(file);
  ASSERT_TRUE(decoded.Ok);
  EXPECT_EQ(std::vector<int>({width, height, row.ColorType, row.BitDepth, interlace}),
            std::vector<int>({int(decoded.Width), int(decoded.Height), decoded.ColorType, decoded.Depth, decoded.Interlace}));
  int mismatches = 0;
  for (int y = 0; y < height && mismatches < 3; ++y)
    for (int x = 0; x < width && mismatches < 3; ++x) {
      const auto want = Expected(*bitmap, *alpha, row, x, y), got = decoded.Rgba(x, y);
      if (want != got) {
        ++mismatches;
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): want " << int(want[0]) << "," << int(want[1]) << ","
                      << int(want[2]) << "," << int(want[3]) << " got " << int(got[0]) << "," << int(got[1]) << ","
                      << int(got[2]) << "," << int(got[3]);
      }
    }
  EXPECT_EQ("", PngcheckComplaint(file));
}

class WriterSettings : public ::testing::TestWithParam<std::tuple<FormatRow, Variant>> {};

TEST_P(WriterSettings, DecodesToTheSourcePixels) {
  const auto& [row, v] = GetParam();
  CheckRoundTrip(row, v.Interlace, v.Filter, v.Level, v.IdatSize, v.Width, v.Height);
}

INSTANTIATE_TEST_SUITE_P(All, WriterSettings, ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::ValuesIn(kVariants)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) + "_" + std::get<1>(info.param).Name;
                         });

// Narrow widths meet every partial byte and every skipped Adam7 pass.
class WriterWidths : public ::testing::TestWithParam<std::tuple<FormatRow, int, bool>> {};

TEST_P(WriterWidths, DecodesToTheSourcePixels) {
  const auto& [row, width, interlaced] = GetParam();
  CheckRoundTrip(row, interlaced ? 1 : 0, 0, -1, 32768, width, 9);
}

INSTANTIATE_TEST_SUITE_P(All, WriterWidths,
                         ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::Range(1, 18), ::testing::Bool()),
                         [](const auto& info) {
                           std::ostringstream name;
                           name << std::get<0>(info.param).Name << "_w" << std::get<1>(info.param)
                                << (std::get<2>(info.param) ? "_adam7" : "");
                           return name.str();
                         });

// The codec keeps its working memory from one picture for the next: nothing of a picture,
// whatever its size, settings or fate, may reach the pictures after it.
TEST(PictureAfterPicture, ComesOutAsItDoesAlone) {
  const auto small = MakeBitmap(pf8bit, 37, 23, 3);
  const auto large = MakeBitmap(pf24bit, 700, 300, 4);
  const std::string smallFile = Save(small.get());
  const std::string largeFile = Save(large.get(), [](TZelPNGWriteStream& w) {
    w.Interlace = 1;
    w.FilterMode = 0;
    w.CompressionLevel = 9;
  });
  EXPECT_EQ(Save(small.get()), smallFile);

  Load first, cut, second;
  ASSERT_EQ(first.Run(largeFile), "");
  EXPECT_EQ(AllPixels(*first.image), AllPixels(*large));
  // Stops inside the image data, with the decoder part way through its stream.
  EXPECT_EQ(cut.Run(std::string_view(largeFile).substr(0, largeFile.size() / 2)), "Read Image (PNG): Read Error");
  ASSERT_EQ(second.Run(smallFile), "");
  EXPECT_EQ(AllPixels(*second.image), AllPixels(*small));
}

}  // namespace
