// The reader's pixel side: the bitmap format chosen per image, the row conversions, the
// Adam7 placement over many sizes, and files of the system's own writer read back.
#include <gtest/gtest.h>

#include <random>

#include "png/SFunc.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

// ------------------------------------------------------------- worked conversions

struct ConversionCase {
  const char* name;
  std::string header;  // IHDR and any chunks before the data
  std::string rows;    // unfiltered rows, filter bytes included
  bool readHighColor;
  int bits;
  int sourceBits;
  std::vector<std::uint32_t> pixels;
  std::vector<std::uint32_t> alpha;  // empty: no alpha bitmap
};
void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesItsBitmap) {
  const ConversionCase& c = GetParam();
  Load load;
  load.reader.ReadHighColor = c.readHighColor;
  ASSERT_EQ(load.Run(Signature() + c.header + Idat(c.rows) + Iend()), "");
  EXPECT_EQ(BitsOf(*load.image), c.bits);
  EXPECT_EQ(load.reader.SourceBits, c.sourceBits);
  EXPECT_EQ(AllPixels(*load.image), c.pixels);
  EXPECT_EQ(load.alpha->Empty(), c.alpha.empty());
  if (!c.alpha.empty()) {
    EXPECT_EQ(AllPixels(*load.alpha), c.alpha);
  }
}

std::string Sbit(int r, int g, int b) { return Chunk("sBIT", Bytes({r, g, b})); }

INSTANTIATE_TEST_SUITE_P(
    Pixels, Conversion,
    ::testing::Values(
        ConversionCase{"Rgba8", Ihdr(2, 1, 8, 6), Rows({Bytes({10, 20, 30, 255, 10, 20, 30, 0})}), false, 24, 24,
                       {0x0A141E, 0x0A141E}, {0, 255}},
        ConversionCase{"Rgba16HighBytes", Ihdr(1, 1, 16, 6), Rows({Bytes({10, 1, 20, 2, 30, 3, 200, 9})}), false, 24, 48,
                       {0x0A141E}, {55}},
        ConversionCase{"Rgb16HighBytes", Ihdr(1, 1, 16, 2), Rows({Bytes({10, 1, 20, 2, 30, 3})}), false, 24, 48, {0x0A141E}, {}},
        ConversionCase{"HighColor565", Ihdr(2, 1, 8, 2) + Sbit(5, 6, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), true, 16, 16,
                       {0xFFFF, 0x0821}, {}},
        ConversionCase{"HighColor555", Ihdr(2, 1, 8, 2) + Sbit(5, 5, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), true, 16, 15,
                       {0xFFFF, 0x0821}, {}},
        ConversionCase{"HighColorNotAsked", Ihdr(2, 1, 8, 2) + Sbit(5, 6, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), false,
                       24, 24, {0xFFFFFF, 0x080408}, {}},
        ConversionCase{"HighColorOtherBits", Ihdr(1, 1, 8, 2) + Sbit(5, 6, 6), Rows({Bytes({8, 4, 8})}), true, 24, 24,
                       {0x080408}, {}},
        ConversionCase{"HighColorWithAlpha16", Ihdr(1, 1, 16, 6) + Chunk("sBIT", Bytes({5, 6, 5, 8})),
                       Rows({Bytes({8, 9, 4, 9, 8, 9, 100, 0})}), true, 16, 16, {0x0821}, {155}},
        ConversionCase{"Grey2To4", Ihdr(5, 1, 2, 0), Rows({Bytes({0x1B, 0xC0})}), false, 4, 2, {0, 1, 2, 3, 3}, {}},
        ConversionCase{"Grey16HighByte", Ihdr(2, 1, 16, 0), Rows({Bytes({0xAB, 0xCD, 0x01, 0xFF})}), false, 8, 16,
                       {0xAB, 0x01}, {}},
        ConversionCase{"GreyAlpha8", Ihdr(2, 1, 8, 4), Rows({Bytes({7, 255, 9, 1})}), false, 8, 8, {7, 9}, {0, 254}},
        ConversionCase{"GreyAlpha16", Ihdr(1, 1, 16, 4), Rows({Bytes({7, 1, 2, 3})}), false, 8, 16, {7}, {253}},
        ConversionCase{"Grey1", Ihdr(9, 1, 1, 0), Rows({Bytes({0xA5, 0x80})}), false, 1, 1, {1, 0, 1, 0, 0, 1, 0, 1, 1}, {}},
        ConversionCase{"Palette2To4",
                       Ihdr(3, 1, 2, 3) + Chunk("PLTE", Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})),
                       Rows({Bytes({0x6C})}), false, 4, 2, {1, 2, 3}, {}},
        // With a palette tRNS other than one transparent entry, the alpha bitmap follows the indices.
        ConversionCase{"Palette4AlphaFromTable",
                       Ihdr(3, 1, 4, 3) + Chunk("PLTE", std::string(48, '\5')) + Chunk("tRNS", Bytes({255, 0, 0})),
                       Rows({Bytes({0x01, 0x20})}), false, 4, 4, {0, 1, 2}, {0, 255, 255}}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(PixelBitmaps, GreyPalettes) {
  const struct {
    int depth;
    std::vector<std::uint32_t> first;
    std::size_t count;
  } cases[] = {{1, {0, 0xFFFFFF}, 2}, {2, {0, 0x555555, 0xAAAAAA, 0xFFFFFF}, 4}, {4, {0, 0x111111, 0x222222}, 16},
               {8, {0, 0x010101, 0x020202}, 256}, {16, {0, 0x010101, 0x020202}, 256}};
  for (const auto& c : cases) {
    Load load;
    ASSERT_EQ(load.Run(Signature() + Ihdr(1, 1, c.depth, 0) + Idat(Rows({std::string(c.depth == 16 ? 2 : 1, '\0')})) +
                       Iend()),
              "")
        << c.depth;
    const auto colours = Colours(*load.image);
    ASSERT_GE(colours.size(), c.count) << c.depth;
    EXPECT_EQ(load.reader.PaletteCount, int(c.count)) << c.depth;
    for (std::size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(colours[i], c.first[i]) << c.depth << " entry " << i;
    EXPECT_EQ(colours[c.count - 1], 0xFFFFFFu) << c.depth;
  }
}

// --------------------------------------------------- Adam7 against plain, many sizes

// A test image: samples (depth bits each), channels per pixel, PNG colour type.
struct Format {
  const char* name;
  int depth;
  int colorType;
  int channels;
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

struct SampleImage {
  int width, height;
  Format format;
  std::vector<std::uint16_t> samples;
  std::uint16_t At(int x, int y, int c) const {
    return samples[(std::size_t(y) * width + x) * format.channels + c];
  }
};

SampleImage RandomImage(const Format& f, int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  SampleImage img{width, height, f, {}};
  const std::uint32_t limit = std::min(f.colorType == 3 ? 3u : 0xFFFFu, (1u << f.depth) - 1);
  img.samples.resize(std::size_t(width) * height * f.channels);
  for (auto& s : img.samples) s = static_cast<std::uint16_t>(rng() % (limit + 1));
  return img;
}

// Pixels x0, x0 + dx, ... of row y, packed as the format stores them.
std::string PackRow(const SampleImage& img, int y, int x0, int dx) {
  std::string out;
  const int depth = img.format.depth;
  unsigned acc = 0;
  int bits = 0;
  for (int x = x0; x < img.width; x += dx) {
    for (int c = 0; c < img.format.channels; ++c) {
      const std::uint16_t s = img.At(x, y, c);
      if (depth == 16) {
        out += char(s >> 8);
        out += char(s);
      } else if (depth == 8) {
        out += char(s);
      } else {
        acc = (acc << depth) | s;
        bits += depth;
        if (bits == 8) out += char(acc), acc = 0, bits = 0;
      }
    }
  }
  if (bits) out += char(acc << (8 - bits));
  return out;
}

std::string EncodeImage(const SampleImage& img, bool interlace) {
  std::string rows;
  if (!interlace) {
    for (int y = 0; y < img.height; ++y) rows += '\0' + PackRow(img, y, 0, 1);
  } else {
    for (const Adam7Pass& p : Adam7Passes) {
      if (img.width <= p.StartColumn) continue;
      for (int y = p.StartRow; y < img.height; y += p.RowStep) rows += '\0' + PackRow(img, y, p.StartColumn, p.ColumnStep);
    }
  }
  std::string file = Signature() + Ihdr(img.width, img.height, img.format.depth, img.format.colorType, interlace);
  if (img.format.colorType == 3) file += Chunk("PLTE", Bytes({0, 0, 0, 50, 60, 70, 90, 80, 70, 255, 255, 255}));
  return file + Idat(rows, 7) + Iend();
}

// The bitmap pixel and the alpha value the reader must give for pixel (x, y).
std::uint32_t ExpectedPixel(const SampleImage& img, int x, int y) {
  const int hi = img.format.depth == 16 ? 8 : 0;
  if (img.format.colorType == 2 || img.format.colorType == 6)
    return (std::uint32_t(img.At(x, y, 0) >> hi) << 16) | ((img.At(x, y, 1) >> hi) << 8) | (img.At(x, y, 2) >> hi);
  return img.At(x, y, 0) >> hi;
}

const Format Formats[] = {
    {"Grey1", 1, 0, 1},    {"Grey2", 2, 0, 1},    {"Grey4", 4, 0, 1},         {"Grey8", 8, 0, 1},
    {"Grey16", 16, 0, 1},  {"GreyAlpha8", 8, 4, 2}, {"GreyAlpha16", 16, 4, 2}, {"Rgb8", 8, 2, 3},
    {"Rgb16", 16, 2, 3},   {"Rgba8", 8, 6, 4},    {"Rgba16", 16, 6, 4},       {"Palette1", 1, 3, 1},
    {"Palette2", 2, 3, 1}, {"Palette4", 4, 3, 1}, {"Palette8", 8, 3, 1},
};

class Adam7Sizes : public ::testing::TestWithParam<Format> {};

TEST_P(Adam7Sizes, InterlacedEqualsPlainAndSamples) {
  const Format& f = GetParam();
  for (int height = 1; height <= 9; ++height) {
    for (int width = 1; width <= 17; ++width) {
      const SampleImage img = RandomImage(f, width, height, std::uint32_t(width * 31 + height));
      Load plain, interlaced;
      ASSERT_EQ(plain.Run(EncodeImage(img, false)), "") << width << "x" << height;
      ASSERT_EQ(interlaced.Run(EncodeImage(img, true)), "") << width << "x" << height;
      const auto pixels = AllPixels(*plain.image);
      ASSERT_EQ(AllPixels(*interlaced.image), pixels) << width << "x" << height;
      const bool alpha = f.colorType == 4 || f.colorType == 6;
      ASSERT_EQ(!plain.alpha->Empty(), alpha);
      if (alpha) {
        ASSERT_EQ(AllPixels(*interlaced.alpha), AllPixels(*plain.alpha)) << width << "x" << height;
      }
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(pixels[std::size_t(y) * width + x], ExpectedPixel(img, x, y)) << width << "x" << height;
          if (alpha) {
            const std::uint32_t a = img.At(x, y, f.channels - 1) >> (f.depth == 16 ? 8 : 0);
            ASSERT_EQ(PixelAt(*plain.alpha, x, y), 255 - a);
          }
        }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pixels, Adam7Sizes, ::testing::ValuesIn(Formats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// ---------------------------------------------------- the system's own files back

struct RoundTripCase {
  const char* name;
  int bits;  // of the source bitmap
  bool alpha;
  std::uint32_t interlace;
  std::uint32_t filterMode;
  bool grayscale;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

std::unique_ptr<TBitmap> MakeBitmap(int bits, int width, int height, std::uint32_t seed, bool greyPalette) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(BitsToPixelFormat(bits));
  b->SetWidth(width);
  b->SetHeight(height);
  if (bits <= 8) {
    RGBQUAD quads[256];
    const int count = 1 << bits;
    for (int i = 0; i < count; ++i) {
      const int v = greyPalette ? i * 255 / (count - 1) : i;
      quads[i] = RGBQUAD{BYTE(greyPalette ? v : v * 7), BYTE(greyPalette ? v : 255 - v), BYTE(v), 0};
    }
    b->SetPalette(CreatePaletteFromQuads(quads, count));
  }
  std::mt19937 rng(seed);
  const int bytes = (width * bits + 7) / 8;
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(b->ScanLine(y));
    for (int i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(rng());
    if (bits == 15)
      for (int i = 1; i < bytes; i += 2) row[i] &= 0x7F;
    // Bits past the last pixel stay clear, as in any bitmap the system makes.
    if ((width * bits) % 8) row[bytes - 1] &= static_cast<std::uint8_t>(0xFF << (8 - (width * bits) % 8));
  }
  return b;
}

std::uint32_t Widen555To565(std::uint32_t w) {
  const std::uint32_t r = (w >> 10) & 31, g = (w >> 5) & 31, b = w & 31;
  const std::uint32_t g8 = (g << 3) | (g >> 2);
  return (r << 11) | ((g8 >> 2) << 5) | b;
}

class WriterRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WriterRoundTrip, ReadsBackTheSource) {
  const RoundTripCase& c = GetParam();
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{13, 9}, std::pair{64, 17}}) {
    auto source = MakeBitmap(c.bits, width, height, std::uint32_t(width + c.bits), c.grayscale);
    auto sourceAlpha = c.alpha ? MakeBitmap(8, width, height, 99, true) : nullptr;
    TMemoryStream file;
    {
      TZelPNGWriteStream writer;
      writer.Interlace = c.interlace;
      writer.FilterMode = c.filterMode;
      writer.Grayscale = c.grayscale;
      writer.AlphaBitmap = sourceAlpha.get();
      writer.WriteTo(source.get(), &file);
    }
    Load load;
    load.reader.ReadHighColor = true;
    ASSERT_EQ(load.Run(std::string_view(static_cast<const char*>(file.Memory()), std::size_t(file.Size()))), "")
        << width << "x" << height;
    TBitmap& back = *load.image;
    ASSERT_EQ(back.Width(), width);
    ASSERT_EQ(back.Height(), height);
    EXPECT_EQ(load.reader.Interlace, c.interlace);
    std::vector<std::uint32_t> want = AllPixels(*source);
    if (c.bits == 15) {
      for (auto& w : want) w = Widen555To565(w);
    }
    if (c.bits == 32) {
      for (auto& w : want) w &= 0xFFFFFF;
    }
    EXPECT_EQ(BitsOf(back), c.bits == 15 ? 16 : c.bits == 32 ? 24 : c.bits);
    EXPECT_EQ(AllPixels(back), want) << width << "x" << height;
    if (c.bits <= 8) {
      const auto colours = Colours(*source);
      const auto got = Colours(back);
      ASSERT_GE(got.size(), std::size_t(1) << c.bits);
      for (std::size_t i = 0; i < (std::size_t(1) << c.bits); ++i) EXPECT_EQ(got[i], colours[i]) << i;
    }
    EXPECT_EQ(!load.alpha->Empty(), c.alpha);
    if (c.alpha) {
      EXPECT_EQ(AllPixels(*load.alpha), AllPixels(*sourceAlpha)) << width << "x" << height;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, WriterRoundTrip,
    ::testing::Values(RoundTripCase{"Palette1", 1, false, 0, 1, false}, RoundTripCase{"Palette4", 4, false, 0, 0, false},
                      RoundTripCase{"Palette8", 8, false, 0, 5, false},
                      RoundTripCase{"Palette1Adam7", 1, false, 1, 1, false},
                      RoundTripCase{"Palette4Adam7", 4, false, 1, 2, false},
                      RoundTripCase{"Palette8Adam7", 8, false, 1, 3, false},
                      RoundTripCase{"Grey1", 1, false, 0, 0, true}, RoundTripCase{"Grey8", 8, false, 0, 4, true}, RoundTripCase{"Grey4Adam7", 4, false, 1, 0, true},
                      RoundTripCase{"Grey8Alpha", 8, true, 0, 0, true}, RoundTripCase{"Grey8AlphaAdam7", 8, true, 1, 1, true},
                      RoundTripCase{"High15", 15, false, 0, 1, false}, RoundTripCase{"High16", 16, false, 1, 0, false},
                      RoundTripCase{"True24", 24, false, 0, 0, false}, RoundTripCase{"True24Adam7", 24, false, 1, 4, false},
                      RoundTripCase{"True24Alpha", 24, true, 0, 2, false},
                      RoundTripCase{"True24AlphaAdam7", 24, true, 1, 5, false}, RoundTripCase{"True32", 32, false, 0, 1, false},
                      RoundTripCase{"True32AlphaAdam7", 32, true, 1, 0, false}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

TEST(WriterFiles, SettingsComeBack) {
  auto source = MakeBitmap(24, 3, 2, 5, false);
  const PngTimeRecord time{2026, 12, 9, 4, 30, 1};
  const std::array<std::uint32_t, 8> chromaticities{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  const std::array<std::uint8_t, 4> gif{2, 1, 0, 10};
  TMemoryStream file;
  {
    TZelPNGWriteStream writer;
    writer.Comment = "one\r\ntwo";
    writer.BackgroundColor = 0x123456;
    writer.TransparentColor = 0x00FF00;
    writer.Gamma = 0.45455;
    writer.PhysUnit = 2;
    writer.PhysX = 72;
    writer.PhysY = 96;
    writer.UseCurrentTime = false;
    writer.ModifiedTime = &time;
    writer.Chromaticities = chromaticities.data();
    writer.GifControl = gif.data();
    writer.WriteTo(source.get(), &file);
  }
  Load load;
  ASSERT_EQ(load.Run(std::string_view(static_cast<const char*>(file.Memory()), std::size_t(file.Size()))), "");
  EXPECT_EQ(load.reader.Comment, "one\r\ntwo\r\n");
  EXPECT_EQ(load.reader.BackgroundColor, 0x123456);
  EXPECT_EQ(load.reader.TransparentColor, 0x00FF00);
  EXPECT_TRUE(load.image->Transparent());
  EXPECT_DOUBLE_EQ(load.reader.Gamma, 0.45455);
  EXPECT_EQ(load.reader.PhysUnit, 1);
  EXPECT_EQ(load.reader.PhysX, 2834);
  EXPECT_EQ(load.reader.PhysY, 3779);
  EXPECT_EQ(std::memcmp(&load.time, &time, sizeof time), 0);
  EXPECT_EQ(load.chromaticities, chromaticities);
  EXPECT_EQ(load.gifControl, gif);
  EXPECT_EQ(AllPixels(*load.image), AllPixels(*source));
}

// An 8-bit bitmap with alpha written as palette indices in the grey channel comes back
// with its own palette only when the reader accepts that form.
TEST(WriterFiles, PaletteIndexInGrey) {
  auto source = MakeBitmap(8, 6, 4, 11, false);
  auto alpha = MakeBitmap(8, 6, 4, 12, true);
  TMemoryStream file;
  {
    TZelPNGWriteStream writer;
    writer.WritePaletteIndexInGrey = true;
    writer.AlphaBitmap = alpha.get();
    writer.WriteTo(source.get(), &file);
  }
  const std::string bytes(static_cast<const char*>(file.Memory()), std::size_t(file.Size()));
  for (const bool accept : {false, true}) {
    Load load;
    load.reader.AcceptPaletteIndexInGrey = accept;
    ASSERT_EQ(load.Run(bytes), "");
    EXPECT_EQ(load.reader.PaletteIndexInGrey, accept);
    EXPECT_TRUE(load.reader.Grayscale);
    EXPECT_EQ(AllPixels(*load.image), AllPixels(*source));
    EXPECT_EQ(AllPixels(*load.alpha), AllPixels(*alpha));
    EXPECT_EQ(Colours(*load.image)[1], accept ? Colours(*source)[1] : 0x010101u);
  }
}

// Rows changed by the writer's hook come back whole when the reader's hook undoes them.
TEST(WriterFiles, HookedRowsComeBack) {
  for (const std::uint32_t interlace : {0u, 1u}) {
    auto source = MakeBitmap(24, 11, 7, 3, false);
    const auto scramble = [](TObject*, std::uint8_t* row, std::int32_t count, std::int32_t index, const std::string& key) {
      for (std::int32_t i = 0; i < count; ++i) row[i] ^= static_cast<std::uint8_t>(key[std::size_t(i) % key.size()] + index);
    };
    TMemoryStream file;
    {
      TZelPNGWriteStream writer;
      writer.Interlace = interlace;
      writer.FilterMode = 0;
      writer.RowHookKey = "secret";
      writer.OnWriteRow = scramble;
      writer.WriteTo(source.get(), &file);
    }
    const std::string bytes(static_cast<const char*>(file.Memory()), std::size_t(file.Size()));
    Load hooked;
    hooked.reader.RowHookKey = "wrong";
    hooked.reader.OnKeyRequest = [](TObject*, std::string& key) { key = "secret"; };
    hooked.reader.OnReadRow = scramble;
    ASSERT_EQ(hooked.Run(bytes), "");
    EXPECT_EQ(AllPixels(*hooked.image), AllPixels(*source)) << interlace;
    Load plain;
    ASSERT_EQ(plain.Run(bytes), "");
    EXPECT_NE(AllPixels(*plain.image), AllPixels(*source)) << interlace;
  }
}

}  // namespace
