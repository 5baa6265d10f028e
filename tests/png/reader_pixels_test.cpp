// The reader's pixel side: the bitmap format chosen per image, the row conversions, the
// Adam7 placement over many sizes, and files of the system's own writer read back.
#include "png_support.h"

using namespace png_test;

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
  EXPECT_EQ(AlphaPixels(load), c.alpha);
}

std::string Sbit(int r, int g, int b) { return Chunk("sBIT", Bytes({r, g, b})); }

const ConversionCase Conversions[] = {
    {"Rgba8", Ihdr(2, 1, 8, 6), Rows({Bytes({10, 20, 30, 255, 10, 20, 30, 0})}), false, 24, 24, {0x0A141E, 0x0A141E},
     {0, 255}},
    {"Rgba16HighBytes", Ihdr(1, 1, 16, 6), Rows({Bytes({10, 1, 20, 2, 30, 3, 200, 9})}), false, 24, 48, {0x0A141E}, {55}},
    {"Rgb16HighBytes", Ihdr(1, 1, 16, 2), Rows({Bytes({10, 1, 20, 2, 30, 3})}), false, 24, 48, {0x0A141E}, {}},
    {"HighColor565", Ihdr(2, 1, 8, 2) + Sbit(5, 6, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), true, 16, 16,
     {0xFFFF, 0x0821}, {}},
    {"HighColor555", Ihdr(2, 1, 8, 2) + Sbit(5, 5, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), true, 16, 15,
     {0xFFFF, 0x0821}, {}},
    {"HighColorNotAsked", Ihdr(2, 1, 8, 2) + Sbit(5, 6, 5), Rows({Bytes({255, 255, 255, 8, 4, 8})}), false, 24, 24,
     {0xFFFFFF, 0x080408}, {}},
    {"HighColorOtherBits", Ihdr(1, 1, 8, 2) + Sbit(5, 6, 6), Rows({Bytes({8, 4, 8})}), true, 24, 24, {0x080408}, {}},
    {"HighColorWithAlpha16", Ihdr(1, 1, 16, 6) + Chunk("sBIT", Bytes({5, 6, 5, 8})),
     Rows({Bytes({8, 9, 4, 9, 8, 9, 100, 0})}), true, 16, 16, {0x0821}, {155}},
    {"Grey2To4", Ihdr(5, 1, 2, 0), Rows({Bytes({0x1B, 0xC0})}), false, 4, 2, {0, 1, 2, 3, 3}, {}},
    {"Grey16HighByte", Ihdr(2, 1, 16, 0), Rows({Bytes({0xAB, 0xCD, 0x01, 0xFF})}), false, 8, 16, {0xAB, 0x01}, {}},
    {"GreyAlpha8", Ihdr(2, 1, 8, 4), Rows({Bytes({7, 255, 9, 1})}), false, 8, 8, {7, 9}, {0, 254}},
    {"GreyAlpha16", Ihdr(1, 1, 16, 4), Rows({Bytes({7, 1, 2, 3})}), false, 8, 16, {7}, {253}},
    {"Grey1", Ihdr(9, 1, 1, 0), Rows({Bytes({0xA5, 0x80})}), false, 1, 1, {1, 0, 1, 0, 0, 1, 0, 1, 1}, {}},
    {"Palette2To4", Ihdr(3, 1, 2, 3) + Chunk("PLTE", Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})),
     Rows({Bytes({0x6C})}), false, 4, 2, {1, 2, 3}, {}},
    // With a palette tRNS other than one transparent entry, the alpha bitmap follows the indices.
    {"Palette4AlphaFromTable", Ihdr(3, 1, 4, 3) + Chunk("PLTE", std::string(48, '\5')) + Chunk("tRNS", Bytes({255, 0, 0})),
     Rows({Bytes({0x01, 0x20})}), false, 4, 4, {0, 1, 2}, {0, 255, 255}},
};

INSTANTIATE_TEST_SUITE_P(Pixels, Conversion, ::testing::ValuesIn(Conversions), CaseName());

// --------------------------------------------------- Adam7 against plain, many sizes

// A test image format: depth bits per sample, PNG colour type, samples per pixel.
struct Format {
  const char* name;
  int depth, colorType, channels;
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

// Sample c of pixel (x, y) of a width × height pattern image; palette indices stay inside
// the four-entry palette.
std::uint32_t Sample(const Format& f, int width, int height, int x, int y, int c) {
  const std::uint32_t v = PatternByte(width * 31 + height, x, y, c) | (PatternByte(height, x, y, c) << 8);
  return v & std::min(f.colorType == 3 ? 3u : 0xFFFFu, (1u << f.depth) - 1);
}

std::string EncodeImage(const Format& f, int width, int height, bool interlace) {
  std::string rows;
  const Adam7Pass whole{0, 1, 0, 1};
  for (const Adam7Pass& p : interlace ? std::vector<Adam7Pass>(Adam7Passes, Adam7Passes + 7) : std::vector{whole}) {
    for (int y = p.StartRow; y < height && width > p.StartColumn; y += p.RowStep) {
      rows += '\0';
      std::uint32_t acc = 0;
      int bits = 0;
      for (int x = p.StartColumn; x < width; x += p.ColumnStep)
        for (int c = 0; c < f.channels; ++c)
          for (acc = (acc << f.depth) | Sample(f, width, height, x, y, c), bits += f.depth; bits >= 8; bits -= 8)
            rows += char(acc >> (bits - 8));
      if (bits) rows += char(acc << (8 - bits));
    }
  }
  std::string file = Signature() + Ihdr(width, height, f.depth, f.colorType, interlace);
  if (f.colorType == 3) file += Chunk("PLTE", Bytes({0, 0, 0, 50, 60, 70, 90, 80, 70, 255, 255, 255}));
  return file + Idat(rows, 7) + Iend();
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
  const bool alpha = f.colorType == 4 || f.colorType == 6, rgb = f.colorType == 2 || f.colorType == 6;
  const int high = f.depth == 16 ? 8 : 0;
  for (int height = 1; height <= 9; ++height) {
    for (int width = 1; width <= 17; ++width) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      Load plain, interlaced;
      ASSERT_EQ(plain.Run(EncodeImage(f, width, height, false)), "");
      ASSERT_EQ(interlaced.Run(EncodeImage(f, width, height, true)), "");
      const auto pixels = AllPixels(*plain.image);
      ASSERT_EQ(AllPixels(*interlaced.image), pixels);
      ASSERT_EQ(!plain.alpha->Empty(), alpha);
      ASSERT_EQ(AlphaPixels(interlaced), AlphaPixels(plain));
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          const auto at = [&](int c) { return Sample(f, width, height, x, y, c) >> high; };
          ASSERT_EQ(pixels[std::size_t(y) * width + x], rgb ? (at(0) << 16) | (at(1) << 8) | at(2) : at(0));
          if (alpha) {
            ASSERT_EQ(PixelAt(*plain.alpha, x, y), 255 - at(f.channels - 1));
          }
        }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pixels, Adam7Sizes, ::testing::ValuesIn(Formats), CaseName());

// ------------------------------------------- plain rows against the inflate blocks

// Unhooked rows are placed from where the decoder inflated them, in blocks of 131072
// bytes. Whatever a row's length against the block's, its pixels arrive whole, nothing past
// its own bytes is read (the sanitizer build sees any such read), and the scanline's
// padding stays zero. Odd lengths leave the row's last byte partly filled.
TEST(PlainRows, EveryLengthUpTo160BytesAcrossTwoBlockEdges) {
  constexpr int Block = 131072;
  std::string pool(4096 + 160, '\0');
  for (std::size_t i = 0; i < pool.size(); ++i) pool[i] = char(PatternByte(3, int(i), 0, 0));
  struct Kind {
    int depth, colorType;
  };
  for (const Kind k : {Kind{1, 0}, {2, 0}, {4, 0}, {8, 0}, {1, 3}, {4, 3}, {8, 3}}) {
    for (int length = 1; length <= 160; ++length) {
      SCOPED_TRACE(::testing::Message() << "type " << k.colorType << " depth " << k.depth << " row " << length);
      const int width = k.depth == 8 ? length : length * 8 / k.depth - length % 2;
      const int height = 2 * Block / (length + 1) + 2;
      std::string rows;
      rows.reserve(std::size_t(height) * (length + 1));
      for (int y = 0; y < height; ++y) rows.append(1, '\0').append(pool, std::size_t(y) * 131 % 4096, std::size_t(length));
      std::string file = Signature() + Ihdr(width, height, k.depth, k.colorType);
      if (k.colorType == 3) file += Chunk("PLTE", std::string(std::size_t(3) << k.depth, '\x40'));
      Load load;
      // Stored, not compressed: the inflate blocks are what is tested, and storing is quick.
      ASSERT_EQ(load.Run(file + Chunk("IDAT", Deflate(rows, {}, Z_NO_COMPRESSION)) + Iend()), "");
      const int stride = load.image->RowBytes();
      std::string want(std::size_t(stride), '\0');
      for (int y = 0; y < height; ++y) {
        const char* raw = rows.data() + std::size_t(y) * (length + 1) + 1;
        if (k.depth == 2) {
          // Two-bit samples arrive as nibbles, whole source bytes at a time.
          for (int i = 0; i < length; ++i)
            for (const int half : {0, 1}) {
              const int shift = 4 - 4 * half;
              want[std::size_t(2 * i + half)] = char(((raw[i] >> (shift + 2)) & 3) << 4 | ((raw[i] >> shift) & 3));
            }
        } else {
          std::memcpy(want.data(), raw, std::size_t(length));
        }
        ASSERT_EQ(std::memcmp(load.image->ScanLine(y), want.data(), want.size()), 0) << "row " << y;
      }
    }
  }
}

// ---------------------------------------------------- the system's own files back

struct RoundTripCase {
  const char* name;
  TPixelFormat format;  // of the source bitmap
  bool alpha;
  std::uint32_t interlace;
  std::uint32_t filterMode;
  bool grayscale;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class WriterRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WriterRoundTrip, ReadsBackTheSource) {
  const RoundTripCase& c = GetParam();
  const int bits = PixelFormatToBits(c.format);
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{13, 9}, std::pair{64, 17}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    auto source = MakeBitmap(c.format, width, height, std::uint32_t(width + bits), c.grayscale);
    auto sourceAlpha = c.alpha ? MakeAlpha(width, height, 99) : nullptr;
    Load load;
    load.reader.ReadHighColor = true;
    ASSERT_EQ(load.Run(Save(source.get(), [&](TZelPNGWriteStream& w) {
      w.Interlace = c.interlace;
      w.FilterMode = c.filterMode;
      w.Grayscale = c.grayscale;
      w.AlphaBitmap = sourceAlpha.get();
    })),
              "");
    TBitmap& back = *load.image;
    ASSERT_EQ(back.Width(), width);
    ASSERT_EQ(back.Height(), height);
    EXPECT_EQ(load.reader.Interlace, c.interlace);
    std::vector<std::uint32_t> want = AllPixels(*source);
    for (auto& w : want) {
      // 5-5-5 comes back as 5-6-5, its green widened; 32-bit pixels lose the fourth byte.
      if (bits == 15) w = ((w & 0x7C00) << 1) | ((w & 0x03E0) << 1) | ((w >> 4) & 0x20) | (w & 31);
      if (bits == 32) w &= 0xFFFFFF;
    }
    EXPECT_EQ(BitsOf(back), bits == 15 ? 16 : bits == 32 ? 24 : bits);
    EXPECT_EQ(AllPixels(back), want);
    if (bits <= 8) {
      const auto got = Colours(back);
      ASSERT_GE(got.size(), std::size_t(1) << bits);
      EXPECT_EQ(std::vector<std::uint32_t>(got.begin(), got.begin() + (1 << bits)), Colours(*source));
    }
    EXPECT_EQ(AlphaPixels(load), c.alpha ? AllPixels(*sourceAlpha) : std::vector<std::uint32_t>{});
  }
}

const RoundTripCase RoundTrips[] = {
    {"Palette1", pf1bit, false, 0, 1, false},         {"Palette4", pf4bit, false, 0, 0, false},
    {"Palette8", pf8bit, false, 0, 5, false},         {"Palette1Adam7", pf1bit, false, 1, 1, false},
    {"Palette4Adam7", pf4bit, false, 1, 2, false},    {"Palette8Adam7", pf8bit, false, 1, 3, false},
    {"Grey1", pf1bit, false, 0, 0, true},             {"Grey8", pf8bit, false, 0, 4, true},
    {"Grey4Adam7", pf4bit, false, 1, 0, true},        {"Grey8Alpha", pf8bit, true, 0, 0, true},
    {"Grey8AlphaAdam7", pf8bit, true, 1, 1, true},    {"High15", pf15bit, false, 0, 1, false},
    {"High16", pf16bit, false, 1, 0, false},          {"True24", pf24bit, false, 0, 0, false},
    {"True24Adam7", pf24bit, false, 1, 4, false},     {"True24Alpha", pf24bit, true, 0, 2, false},
    {"True24AlphaAdam7", pf24bit, true, 1, 5, false}, {"True32", pf32bit, false, 0, 1, false},
    {"True32AlphaAdam7", pf32bit, true, 1, 0, false},
};

INSTANTIATE_TEST_SUITE_P(Pixels, WriterRoundTrip, ::testing::ValuesIn(RoundTrips), CaseName());

TEST(WriterFiles, SettingsComeBack) {
  auto source = MakeBitmap(pf24bit, 3, 2, 5);
  const PngTimeRecord time{2026, 12, 9, 4, 30, 1};
  const std::array<std::uint32_t, 8> chromaticities{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  const std::array<std::uint8_t, 4> gif{2, 1, 0, 10};
  Load load;
  ASSERT_EQ(load.Run(Save(source.get(), [&](TZelPNGWriteStream& w) {
    w.Comment = "one\r\ntwo";
    w.BackgroundColor = 0x123456;
    w.TransparentColor = 0x00FF00;
    w.Gamma = 0.45455;
    w.PhysUnit = 2;
    w.PhysX = 72;
    w.PhysY = 96;
    w.ModifiedTime = &time;
    w.Chromaticities = chromaticities.data();
    w.GifControl = gif.data();
  })),
            "");
  EXPECT_EQ(load.reader.Comment, "one\r\ntwo\r\n");
  EXPECT_EQ(load.reader.BackgroundColor, 0x123456);
  EXPECT_EQ(load.reader.TransparentColor, 0x00FF00);
  EXPECT_TRUE(load.image->Transparent());
  EXPECT_DOUBLE_EQ(load.reader.Gamma, 0.45455);
  // Inches are stored as metres.
  EXPECT_EQ(std::vector<int>({load.reader.PhysUnit, load.reader.PhysX, load.reader.PhysY}), std::vector<int>({1, 2834, 3779}));
  EXPECT_EQ(std::memcmp(&load.time, &time, sizeof time), 0);
  EXPECT_EQ(load.chromaticities, chromaticities);
  EXPECT_EQ(load.gifControl, gif);
  EXPECT_EQ(AllPixels(*load.image), AllPixels(*source));
}

// An 8-bit bitmap with alpha written as palette indices in the grey channel comes back
// with its own palette only when the reader accepts that form.
TEST(WriterFiles, PaletteIndexInGrey) {
  auto source = MakeBitmap(pf8bit, 6, 4, 11);
  auto alpha = MakeAlpha(6, 4, 12);
  const std::string bytes = Save(source.get(), [&](TZelPNGWriteStream& w) {
    w.WritePaletteIndexInGrey = true;
    w.AlphaBitmap = alpha.get();
  });
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
    SCOPED_TRACE(interlace);
    auto source = MakeBitmap(pf24bit, 11, 7, 3);
    const auto scramble = [](TObject*, std::uint8_t* row, std::int32_t count, std::int32_t index, const std::string& key) {
      for (std::int32_t i = 0; i < count; ++i) row[i] ^= static_cast<std::uint8_t>(key[std::size_t(i) % key.size()] + index);
    };
    const std::string bytes = Save(source.get(), [&](TZelPNGWriteStream& w) {
      w.Interlace = interlace;
      w.FilterMode = 0;
      w.RowHookKey = "secret";
      w.OnWriteRow = scramble;
    });
    Load hooked, plain;
    hooked.reader.RowHookKey = "wrong";
    hooked.reader.OnKeyRequest = [](TObject*, std::string& key) { key = "secret"; };
    hooked.reader.OnReadRow = scramble;
    ASSERT_EQ(hooked.Run(bytes), "");
    EXPECT_EQ(AllPixels(*hooked.image), AllPixels(*source));
    ASSERT_EQ(plain.Run(bytes), "");
    EXPECT_NE(AllPixels(*plain.image), AllPixels(*source));
  }
}

}  // namespace
