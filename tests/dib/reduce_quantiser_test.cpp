// Colour reduction: palettes, their order, the pixels' indices and the progress steps of
// the five reducing converters; and every converter's refusal of a source it cannot read.
#include <algorithm>

#include "dib_test_support.h"

using namespace dib_test;

namespace {

struct TRgb {
  BYTE Red, Green, Blue;
  bool operator==(const TRgb&) const = default;
};

using TReduce = void (*)(const DIBInfos&, DIBInfos&, bool, const TUlmProgressCallback&);
using TMaskConvert = void (*)(const DIBInfos&, DIBInfos&, COLORREF, bool);

struct TReducer {
  const char* Name;
  TReduce Convert;
  int SourceBits;
  int ResultBits;
};

void PrintTo(const TReducer& R, std::ostream* Out) { *Out << R.Name; }

const TReducer Reducers[] = {
    {"Low8", ConvertTrueColorTo8BitRGBLow, 24, 8},   {"High8", ConvertTrueColorTo8BitRGBHigh, 24, 8},
    {"Low4", ConvertTrueColorTo4BitRGBLow, 24, 4},   {"High4", ConvertTrueColorTo4BitRGBHigh, 24, 4},
    {"Palette4", Convert8BitRGBTo4BitRGB, 8, 4},
};

// A picture of the given pixels in memory order: 24-bit, or 8-bit over a table of its
// distinct colours in order of appearance.
std::unique_ptr<TTestPicture> Picture(int Bits, int Width, int Height, const std::vector<TRgb>& Pixels) {
  std::vector<TRgb> table;
  std::vector<TBytes> rows;
  for (int y = 0; y < std::abs(Height); ++y) {
    TBytes row;
    for (int x = 0; x < Width; ++x) {
      const TRgb& c = Pixels[static_cast<std::size_t>(y * Width + x)];
      if (Bits == 24) {
        row.insert(row.end(), {c.Blue, c.Green, c.Red});
        continue;
      }
      auto at = std::find(table.begin(), table.end(), c);
      if (at == table.end()) at = table.insert(table.end(), c);
      row.push_back(static_cast<std::uint8_t>(at - table.begin()));
    }
    rows.push_back(row);
  }
  auto picture = std::make_unique<TTestPicture>(Width, Height, Bits, rows);
  for (std::size_t i = 0; i < table.size(); ++i)
    picture->SetColor(static_cast<int>(i), table[i].Red, table[i].Green, table[i].Blue);
  return picture;
}

int IndexAt(const TResult& R, int X, int Y) {
  const int bits = R.Infos.Header.biBitCount;
  const std::uint8_t* row = R.Bytes() + Y * UlmRowBytes(R.Infos.Header.biWidth, bits);
  if (bits == 8) return row[X];
  return X % 2 == 0 ? row[X / 2] >> 4 : row[X / 2] & 15;
}

TRgb ColorOf(const TResult& R, int Index) {
  const RGBQUAD q = R.Color(Index);
  return TRgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
}

// Runs a reducer, counting its progress steps and checking the untouched source.
int Reduce(const TReducer& Reducer, const TTestPicture& Source, TResult& Result) {
  int steps = 0;
  const TUlmProgressCallback progress = [&](std::int32_t Argument) {
    EXPECT_EQ(Argument, 0);
    ++steps;
  };
  ConvertKeepingSource([&](const DIBInfos& s, DIBInfos& r, bool fmo) { Reducer.Convert(s, r, fmo, progress); },
                       Source, Result);
  return steps;
}

class Reduction : public testing::TestWithParam<TReducer> {};

TEST_P(Reduction, OneColourGivesOneEntryAndEveryStep) {
  const TReducer& r = GetParam();
  const auto source = Picture(r.SourceBits, 5, -3, std::vector<TRgb>(15, TRgb{12, 34, 56}));
  TResult result(true);
  EXPECT_EQ(Reduce(r, *source, result), 1 << r.ResultBits);
  const BITMAPINFOHEADER& h = result.Infos.Header;
  EXPECT_EQ(h.biClrUsed, 1u);
  EXPECT_TRUE(SameColor(result.Color(0), 12, 34, 56));
  EXPECT_EQ(h.biBitCount, r.ResultBits);
  EXPECT_EQ(h.biCompression, BI_RGB);
  EXPECT_EQ(h.biSizeImage, 0u);
  EXPECT_EQ(h.biHeight, -3);
  EXPECT_EQ(h.biClrImportant, 7u);
  EXPECT_EQ(result.Infos.ImageSize, UlmRowBytes(5, r.ResultBits) * 3);
  EXPECT_EQ(result.All(), TBytes(static_cast<std::size_t>(result.Infos.ImageSize), 0));
}

// White is the upper part of the first split and comes first; an odd-width 4-bit row ends
// with its last pixel in a high nibble, and the row's filler stays 0.
TEST_P(Reduction, BlackAndWhiteRows) {
  const TReducer& r = GetParam();
  const TRgb b{0, 0, 0}, w{255, 255, 255};
  const auto source = Picture(r.SourceBits, 3, 2, {b, w, b, b, b, b});
  TResult result;
  Reduce(r, *source, result);
  EXPECT_EQ(result.Infos.Header.biClrUsed, 2u);
  EXPECT_TRUE(SameColor(result.Color(0), 255, 255, 255));
  EXPECT_TRUE(SameColor(result.Color(1), 0, 0, 0));
  const TBytes expected = r.ResultBits == 8 ? TBytes{1, 0, 1, 0, 1, 1, 1, 0} : TBytes{0x10, 0x10, 0, 0, 0x11, 0x10, 0, 0};
  EXPECT_EQ(result.All(), expected);
}

// Up to 2^depth + 1 distinct colours are all told apart, each pixel keeping its own colour.
TEST_P(Reduction, FewColoursKeptExactly) {
  const TReducer& r = GetParam();
  const std::vector<TRgb> colours = {{200, 16, 40}, {8, 240, 96}, {96, 96, 96}, {255, 0, 255}, {16, 64, 200},
                                     {128, 200, 8}, {40, 40, 248}, {232, 136, 80}, {0, 0, 0}};
  const std::size_t count = r.ResultBits == 8 ? 9 : 5;
  std::vector<TRgb> pixels;
  for (std::size_t i = 0; i < 4 * count; ++i) pixels.push_back(colours[(i * 7) % count]);
  const auto source = Picture(r.SourceBits, static_cast<int>(count), 4, pixels);
  TResult result;
  Reduce(r, *source, result);
  EXPECT_EQ(result.Infos.Header.biClrUsed, count);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < static_cast<int>(count); ++x)
      EXPECT_EQ(ColorOf(result, IndexAt(result, x, y)), pixels[y * count + x]) << x << "," << y;
}

// Weighted variances 3 : 4 : 2 pick the split channel; the upper part's colour comes first.
TEST_P(Reduction, SplitChannelByWeightedVariance) {
  const TReducer& r = GetParam();
  struct TCase {
    std::vector<TRgb> Pixels;
    TRgb First;
  };
  const TRgb black{0, 0, 0};
  const TCase cases[] = {
      {{{255, 0, 0}, {0, 221, 0}}, {0, 221, 0}},  // 4 · 221² > 3 · 255²: green
      {{{255, 0, 0}, {0, 220, 0}}, {255, 0, 0}},  // 4 · 220² < 3 · 255²: red
      {{{209, 0, 0}, {0, 0, 255}}, {209, 0, 0}},  // 3 · 209² > 2 · 255²: red
      {{{208, 0, 0}, {0, 0, 255}}, {0, 0, 255}},  // 3 · 208² < 2 · 255²: blue
      // 3 · (4 · 200² − 200²) = 4 · (4 · 2 · 150² − 300²): a tie, and red wins it.
      {{{200, 0, 0}, {0, 150, 0}, {0, 150, 0}, black}, {200, 0, 0}},
  };
  for (const TCase& c : cases) {
    const auto source = Picture(r.SourceBits, static_cast<int>(c.Pixels.size()), 1, c.Pixels);
    TResult result;
    Reduce(r, *source, result);
    EXPECT_EQ(ColorOf(result, 0), c.First) << int(c.Pixels[0].Red) << " " << int(c.Pixels[1].Green);
  }
}

// A callback that fails stops the conversion; its memory is given back and nothing is set.
TEST_P(Reduction, FailingCallbackLeavesNothing) {
  const TReducer& r = GetParam();
  const auto source = Picture(r.SourceBits, 2, 1, {{1, 2, 3}, {200, 100, 0}});
  for (const bool fmo : {false, true}) {
    TResult result(fmo);
    int steps = 0;
    const TUlmProgressCallback progress = [&](std::int32_t) {
      if (++steps == 3) throw EAbort("stop");
    };
    EXPECT_EQ(Raised([&] {
                ConvertKeepingSource([&](const DIBInfos& s, DIBInfos& d, bool f) { r.Convert(s, d, f, progress); },
                                     *source, result);
              }),
              "EAbort: stop");
    EXPECT_EQ(result.Infos.Bits, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Converters, Reduction, testing::ValuesIn(Reducers), CaseName());

// A box of two reds at depth 4 gets their mean, an exact half going to the even integer.
TEST(ReductionMean, HalfRoundsToEven) {
  for (const TReducer& r : {Reducers[3], Reducers[4]}) {
    for (const int low : {10, 11}) {
      std::vector<TRgb> pixels;
      for (const int red : {low, low + 1, 40, 56, 64, 72, 112, 120, 128, 136, 176, 184, 208, 216, 224, 232, 240, 248})
        pixels.push_back(TRgb{static_cast<BYTE>(red), 0, 0});
      const auto source = Picture(r.SourceBits, 18, 1, pixels);
      TResult result;
      Reduce(r, *source, result);
      ASSERT_EQ(result.Infos.Header.biClrUsed, 16u);
      EXPECT_EQ(result.Color(15).rgbRed, low == 10 ? 10 : 12) << r.Name;
      EXPECT_EQ(IndexAt(result, 0, 0), 15);
      EXPECT_EQ(IndexAt(result, 1, 0), 15);
    }
  }
}

// The fast path counts colours in 5-6-5 bins: pixels of one bin share an entry whose colour
// adds the truncated mean of their low bits; the exact path tells them apart.
TEST(ReductionBins, PixelsOfOneBinShareTheirEntry) {
  const auto source = Picture(24, 4, 1, {{8, 0, 0}, {9, 0, 0}, {9, 0, 0}, {200, 200, 200}});
  TResult low, high;
  Reduce(Reducers[0], *source, low);
  Reduce(Reducers[1], *source, high);
  EXPECT_EQ(low.Infos.Header.biClrUsed, 2u);
  EXPECT_EQ(ColorOf(low, IndexAt(low, 0, 0)), (TRgb{8, 0, 0}));
  EXPECT_EQ(IndexAt(low, 1, 0), IndexAt(low, 0, 0));
  EXPECT_EQ(high.Infos.Header.biClrUsed, 3u);
  EXPECT_EQ(ColorOf(high, IndexAt(high, 1, 0)), (TRgb{9, 0, 0}));
}

// Only used indices are weighed, entries past biClrUsed are read, and equal colours become
// one entry.
TEST(ReductionFromPalette, UsedIndicesOnly) {
  TTestPicture source(4, 1, 8, {{0, 1, 200, 200}});
  source.Infos.Header.biClrUsed = 2;
  source.SetColor(0, 250, 0, 0);
  source.SetColor(1, 250, 0, 0);
  source.SetColor(5, 0, 250, 0);
  source.SetColor(200, 0, 0, 250);
  TResult result;
  Reduce(Reducers[4], source, result);
  EXPECT_EQ(result.Infos.Header.biClrUsed, 2u);
  EXPECT_EQ(result.All(), (TBytes{0x00, 0x11, 0, 0}));
  EXPECT_TRUE(SameColor(result.Color(0), 250, 0, 0));
  EXPECT_TRUE(SameColor(result.Color(1), 0, 0, 250));
}

// Every converter refuses a source of another depth or compression with its own text,
// before it obtains anything.
TEST(ConverterSource, WrongSourcesRefused) {
  const auto reduce = [](TReduce f) { return TConverter([f](const DIBInfos& s, DIBInfos& r, bool m) { f(s, r, m, {}); }); };
  const auto mask = [](TMaskConvert f) { return TConverter([f](const DIBInfos& s, DIBInfos& r, bool m) { f(s, r, 0, m); }); };
  struct TCase {
    TConverter Convert;
    int Bits;
    DWORD Compression;
    std::string Message;
  };
  const std::string bad = "EUlmDIBBadDIBType: ", pair = ": Invalid Bitcount & Compression Combination",
                    bits = ": Invalid Bitcount", either = ": Invalid Bitcount or Compression",
                    check = "EAssertionFailed: ";
  const TCase cases[] = {
      {Convert8BitRLETo8BitRGB, 8, BI_RGB, bad + "Convert8BitRLETo8BitRGB" + pair},
      {Convert4BitRLETo4BitRGB, 8, BI_RLE8, bad + "Convert4BitRLETo4BitRGB" + pair},
      {Convert8BitRGBTo8BitRLE, 8, BI_RLE8, bad + "Convert8BitRGBTo8BitRLE" + pair},
      {Convert4BitRGBTo4BitRLE, 24, BI_RGB, bad + "Convert4BitRGBTo4BitRLE" + pair},
      {Convert4BitRGBTo8BitRGB, 1, BI_RGB, bad + "Convert4BitRGBTo8BitRGB" + pair},
      {Convert1BitRGBTo8BitRGB, 8, BI_RGB, bad + "Convert1BitRGBTo8BitRGB" + pair},
      {Convert1BitRGBTo4BitRGB, 8, BI_RGB, bad + "Convert1BitRGBTo4BitRGB" + pair},
      {Convert1BitRGBToTrueColor, 8, BI_RGB, bad + "Convert1BitRGBToTrueColor" + pair},
      {Convert4BitRGBToTrueColor, 1, BI_RGB, bad + "Convert4BitRGBToTrueColor" + pair},
      {Convert8BitRGBToTrueColor, 1, BI_RGB, bad + "Convert8BitRGBToTrueColor" + pair},
      {reduce(ConvertTrueColorTo8BitRGBLow), 8, BI_RGB, bad + "ConvertTrueColorTo8BitRGBLow" + bits},
      {reduce(ConvertTrueColorTo4BitRGBLow), 32, BI_RGB, bad + "ConvertTrueColorTo4BitRGBLow" + bits},
      {reduce(ConvertTrueColorTo8BitRGBHigh), 4, BI_RGB, bad + "ConvertTrueColorTo8BitRGBHigh" + bits},
      {reduce(ConvertTrueColorTo4BitRGBHigh), 1, BI_RGB, bad + "ConvertTrueColorTo4BitRGBHigh" + bits},
      {reduce(Convert8BitRGBTo4BitRGB), 8, BI_RLE8, bad + "Convert8BitRGBTo4BitRGB" + either},
      {reduce(Convert8BitRGBTo4BitRGB), 24, BI_RGB, bad + "Convert8BitRGBTo4BitRGB" + either},
      {mask(ConvertTrueColorTo1BitRGB), 8, BI_RGB, bad + "ConvertTrueColorTo1BitRGB" + bits},
      {mask(Convert8BitTo1BitRGB), 8, BI_RLE8, bad + "Convert8BitTo1BitRGB" + either},
      {mask(Convert8BitTo1BitRGB), 4, BI_RGB, bad + "Convert8BitTo1BitRGB" + either},
      {mask(Convert4BitRGBTo1BitRGB), 4, BI_RLE4, bad + "Convert4BitRGBTo1BitRGB" + bits},
      {ConvertToHalfTone, 8, BI_RLE8, check + "ConvertToHalfTone: Invalid DIB Format (UlmDIB)"},
      {ConvertToHalfTone, 16, BI_RGB, check + "ConvertToHalfTone: Invalid Bit Count (UlmDIB)"},
      {ConvertToHalfToneBW, 4, BI_RLE4, check + "ConvertToHalfToneBW: Invalid DIB Format (UlmDIB)"},
      {ConvertToHalfToneBW, 32, BI_RGB, check + "ConvertToHalfToneBW: Invalid Bit Count (UlmDIB)"},
  };
  for (const TCase& c : cases) {
    const TTestPicture source(2, 2, c.Bits, c.Compression, TBytes(64, 0));
    TResult result;
    EXPECT_EQ(Raised([&] { ConvertKeepingSource(c.Convert, source, result); }), c.Message);
    EXPECT_EQ(result.Infos.Bits, nullptr);
  }
}

}  // namespace
