#include "colour/MedianCut.h"

#include <functional>
#include <map>
#include <random>

#include "classlib/core_test_support.h"

namespace {

struct Rgb {
  int r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

void PrintTo(const Rgb& c, std::ostream* os) { *os << "(" << c.r << "," << c.g << "," << c.b << ")"; }

RGBTRIPLE Triple(const Rgb& c) {
  return RGBTRIPLE{static_cast<BYTE>(c.b), static_cast<BYTE>(c.g), static_cast<BYTE>(c.r)};
}

Rgb RgbOf(const RGBQUAD& q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

void Count(TMedianCut& mc, std::initializer_list<Rgb> pixels) { for (const Rgb& c : pixels) mc.AddColor(Triple(c)); }

std::vector<Rgb> Entries(const TMedianCut& mc) {
  std::vector<Rgb> out;
  for (int n = 0; n < mc.EntryCount; ++n) out.push_back(RgbOf(mc.PaletteEntries[n]));
  return out;
}

// One quantiser run: the pixels (colour and how often), the depth, and what must come out.
struct SplitCase {
  const char* name;
  std::vector<std::pair<Rgb, int>> pixels;
  int depth;
  std::vector<Rgb> entries;
  std::vector<int> indices;  // per pixel colour, in order
};

class Split : public testing::TestWithParam<SplitCase> {};

TEST_P(Split, EntriesAndIndices) {
  const SplitCase& c = GetParam();
  TMedianCut mc;
  for (const auto& [colour, count] : c.pixels)
    for (int n = 0; n < count; ++n) mc.AddColor(Triple(colour));
  mc.BuildPalette(c.depth, true);
  EXPECT_EQ(Entries(mc), c.entries);
  for (std::size_t n = 0; n < c.pixels.size(); ++n)
    EXPECT_EQ(mc.PaletteIndexOf(Triple(c.pixels[n].first)), c.indices[n]) << "pixel colour " << n;
  // A colour that was never counted looks up entry 0.
  EXPECT_EQ(mc.PaletteIndexOf(Triple({128, 128, 136})), 0);
}

INSTANTIATE_TEST_SUITE_P(Quantiser, Split, testing::Values(
  SplitCase{"OneColour", {{{10, 20, 30}, 5}}, 8, {{10, 20, 30}}, {0}},
  SplitCase{"SharedBucket", {{{0, 0, 0}, 1}, {{3, 3, 7}, 1}, {{200, 100, 50}, 1}}, 8,
            {{200, 100, 50}, {1, 1, 3}}, {1, 1, 0}},
  SplitCase{"BucketMean", {{{13, 200, 77}, 2}, {{14, 201, 78}, 1}}, 8, {{13, 200, 77}}, {0, 0}},
  SplitCase{"BlackWhite", {{{0, 0, 0}, 1}, {{255, 255, 255}, 1}}, 8,
            {{255, 255, 255}, {0, 0, 0}}, {1, 0}},
  SplitCase{"BlackWhiteDepth1", {{{0, 0, 0}, 1}, {{255, 255, 255}, 1}}, 1,
            {{255, 255, 255}, {0, 0, 0}}, {1, 0}},
  SplitCase{"DepthZeroWeightedMean", {{{10, 0, 0}, 1}, {{100, 50, 8}, 2}}, 0, {{70, 33, 5}}, {0, 0}},
  SplitCase{"UpperPartFirst", {{{0, 0, 0}, 1}, {{100, 0, 0}, 1}, {{150, 0, 0}, 1}, {{250, 0, 0}, 1}}, 2,
            {{250, 0, 0}, {150, 0, 0}, {100, 0, 0}, {0, 0, 0}}, {3, 2, 1, 0}},
  SplitCase{"MeanIsPixelWeighted", {{{0, 0, 0}, 5}, {{100, 0, 0}, 1}, {{150, 0, 0}, 1}, {{250, 0, 0}, 1}}, 2,
            {{250, 0, 0}, {125, 0, 0}, {0, 0, 0}}, {2, 1, 1, 0}},
  // Weighted widths 1.2 dR, 1.4 dG, 1.0 dB; ties go to red, then green.
  SplitCase{"TieRedGreen", {{{0, 0, 0}, 1}, {{7, 0, 0}, 1}, {{0, 6, 0}, 1}}, 1,
            {{7, 0, 0}, {0, 3, 0}}, {1, 0, 1}},
  SplitCase{"GreenWiderThanRed", {{{0, 0, 0}, 1}, {{7, 0, 0}, 1}, {{0, 7, 0}, 1}}, 1,
            {{0, 7, 0}, {3, 0, 0}}, {1, 1, 0}},
  SplitCase{"TieGreenBlue", {{{0, 0, 1}, 1}, {{0, 5, 1}, 1}, {{0, 0, 8}, 1}}, 1,
            {{0, 5, 1}, {0, 0, 4}}, {1, 0, 1}},
  SplitCase{"BlueWiderThanGreen", {{{0, 0, 1}, 1}, {{0, 5, 1}, 1}, {{0, 0, 9}, 1}}, 1,
            {{0, 0, 9}, {0, 2, 1}}, {1, 1, 0}},
  SplitCase{"TieRedBlue", {{{0, 0, 2}, 1}, {{5, 0, 2}, 1}, {{0, 0, 8}, 1}}, 1,
            {{5, 0, 2}, {0, 0, 5}}, {1, 0, 1}},
  SplitCase{"BlueWiderThanRed", {{{0, 0, 2}, 1}, {{5, 0, 2}, 1}, {{0, 0, 9}, 1}}, 1,
            {{0, 0, 9}, {2, 0, 2}}, {1, 1, 0}}), CaseName());

TEST(Quantiser, RecordsAreNormalisedAndCompacted) {
  TMedianCut mc;
  Count(mc, {{13, 200, 77}, {14, 201, 78}, {13, 200, 77}});
  mc.BuildPalette(8, true);
  const TMedianCutBucket& front = mc.Buckets[0];
  EXPECT_EQ(front.Bucket, 3 * 2048 + 50 * 32 + 9);
  EXPECT_EQ(front.Count, 3);
  EXPECT_EQ((Rgb{int(front.R), int(front.G), int(front.B)}), (Rgb{13, 200, 77}));
}

TEST(Quantiser, EmptyCellsTakePartWithoutSkipEmpty) {
  TMedianCut mc;
  Count(mc, {{0, 0, 0}, {255, 255, 255}});
  mc.BuildPalette(1, false);
  // Green is widest; every cell whose green lies above the mean 127 joins white.
  EXPECT_EQ(Entries(mc), (std::vector<Rgb>{{255, 255, 255}, {0, 0, 0}}));
  EXPECT_EQ(mc.PaletteIndexOf(Triple({0, 200, 0})), 0);
  EXPECT_EQ(mc.PaletteIndexOf(Triple({200, 0, 200})), 1);

  // Without pixels every cell weighs the same: the mean of the cell centres, at once a leaf.
  TMedianCut none;
  none.BuildPalette(8, false);
  EXPECT_EQ(Entries(none), (std::vector<Rgb>{{128, 128, 128}}));
}

TEST(Quantiser, TotalsBeyond32BitsKeepTheMean) {
  TMedianCut mc;
  // Three full cells hold more pixels than 32 bits can count; their low-bit sums stay 0.
  for (Rgb c : {Rgb{0, 0, 0}, Rgb{255, 255, 255}, Rgb{0, 0, 255}})
    mc.Buckets[TMedianCut::BucketOf(Triple(c))].Count = 0x7FFFFFFF;
  mc.BuildPalette(0, true);
  EXPECT_EQ(Entries(mc), (std::vector<Rgb>{{84, 84, 165}}));
}

TEST(Quantiser, DepthOutsideZeroToEightIsRefused) {
  for (int depth : {-1, 9}) {
    TMedianCut mc;
    mc.AddColor(Triple({1, 2, 3}));
    EXPECT_THROW(mc.BuildPalette(depth, true), EAssertionFailed) << depth;
  }
}

TEST(Quantiser, MakePaletteHandsOverTheEntries) {
  TMedianCut mc;
  Count(mc, {{0, 0, 0}, {255, 255, 255}, {40, 200, 16}});
  mc.BuildPalette(8, true);
  const HPALETTE palette = mc.MakePalette();
  ASSERT_NE(palette, 0u);
  PALETTEENTRY got[256]{};
  ASSERT_EQ(GetPaletteEntries(palette, 0, 256, got), 3u);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ((Rgb{got[n].peRed, got[n].peGreen, got[n].peBlue}), RgbOf(mc.PaletteEntries[n]));
    EXPECT_EQ(got[n].peFlags, 0);
  }
  EXPECT_TRUE(DeleteObject(palette));
}

// ---- ReduceColors ----

std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int width, int height,
                                    const std::function<Rgb(int, int)>& colour) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  if (format == pf24bit && width > 0) {
    for (int y = 0; y < height; ++y) {
      auto* row = static_cast<RGBTRIPLE*>(bitmap->ScanLine(y));
      for (int x = 0; x < width; ++x) row[x] = Triple(colour(x, y));
    }
  }
  return bitmap;
}

// The result's colour table, as many entries as its palette holds.
std::vector<Rgb> PaletteOf(TBitmap& b) {
  WORD entries = 0;
  EXPECT_EQ(GetObjectA(b.Palette(), sizeof(entries), &entries), int(sizeof(entries)));
  const auto table = b.ColorTable();
  std::vector<Rgb> out;
  for (std::size_t n = 0; n < entries; ++n) out.push_back(RgbOf(table.at(n)));
  return out;
}

int AssertionLine(const EAssertionFailed& e) {
  const std::string& m = e.Message;
  EXPECT_EQ(m.rfind("Assertion failure (", 0), 0u) << m;
  EXPECT_NE(m.find("MedianCut.cpp, "), std::string::npos) << m;
  const auto comma = m.rfind(", ");
  return std::atoi(m.c_str() + comma + 2);
}

struct Refusal {
  TPixelFormat format;
  int depth;
  bool depthCheck;  // whether the depth check is the one that fails
};

TEST(ReduceColors, RefusesWrongFormatOrDepthLeavingTheSourceAlone) {
  const Refusal cases[] = {{pf8bit, 8, false}, {pf32bit, 8, false}, {pf1bit, 8, false},
                           {pf16bit, 8, false}, {pf24bit, -1, true}, {pf24bit, 9, true},
                           {pf8bit, -1, true}};
  int depthLine = 0, formatLine = 0;
  for (const Refusal& c : cases) {
    auto source = MakeBitmap(c.format, 5, 3, [](int x, int y) { return Rgb{x * 40, y * 90, 7}; });
    const auto before = core_test::ScanBytes(*source);
    const auto table = source->ColorTable();
    try {
      ReduceColors(source.get(), c.depth);
      ADD_FAILURE() << "not refused: format " << c.format << " depth " << c.depth;
    } catch (const EAssertionFailed& e) {
      int& line = c.depthCheck ? depthLine : formatLine;
      const int got = AssertionLine(e);
      if (line == 0) line = got;
      EXPECT_EQ(got, line) << "format " << c.format << " depth " << c.depth;
    }
    EXPECT_EQ(source->PixelFormat(), c.format);
    EXPECT_EQ(core_test::ScanBytes(*source), before);
    EXPECT_EQ(source->ColorTable().size(), table.size());
  }
  EXPECT_NE(depthLine, formatLine);
}

TEST(ReduceColors, EmptyBitmapsKeepTheirSize) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 4}, std::pair{4, 0}}) {
    auto source = MakeBitmap(pf24bit, w, h, [](int, int) { return Rgb{}; });
    auto result = ReduceColors(source.get(), 8);
    EXPECT_EQ(result->PixelFormat(), pf8bit);
    EXPECT_EQ(result->Width(), w);
    EXPECT_EQ(result->Height(), h);
  }
}

TEST(ReduceColors, SmallImagesGiveTheirPaletteAndIndices) {
  struct Case {
    std::vector<Rgb> pixels;  // one row
    std::vector<Rgb> palette;
    std::vector<int> indices;
  };
  const Case cases[] = {
      {{{0, 0, 0}, {255, 255, 255}}, {{255, 255, 255}, {0, 0, 0}}, {1, 0}},
      {{{90, 17, 201}, {90, 17, 201}, {90, 17, 201}}, {{90, 17, 201}}, {0, 0, 0}},
      {{{13, 200, 77}, {14, 201, 78}, {13, 200, 77}}, {{13, 200, 77}}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const int width = int(c.pixels.size());
    auto source = MakeBitmap(pf24bit, width, 1, [&](int x, int) { return c.pixels[x]; });
    auto result = ReduceColors(source.get(), 8);
    EXPECT_EQ(PaletteOf(*result), c.palette);
    const auto* row = core_test::Row(*result, 0);
    EXPECT_EQ(std::vector<int>(row, row + width), c.indices);
  }
}

// A plain second reading of the reduction: histogram in a map, boxes as vectors.
struct Model {
  struct Cell {
    long long count = 0, r = 0, g = 0, b = 0;
    int index = 0;
  };
  std::map<int, Cell> cells;
  std::vector<Rgb> palette;

  void Split(std::vector<Cell*> box, int depth, int maxDepth) {
    if (box.empty()) return;
    long long total = 0, s[3] = {}, lo[3] = {255, 255, 255}, hi[3] = {};
    for (Cell* c : box) {
      const long long v[3] = {c->r, c->g, c->b};
      total += c->count;
      for (int k = 0; k < 3; ++k) {
        s[k] += v[k] * c->count;
        lo[k] = std::min(lo[k], v[k]);
        hi[k] = std::max(hi[k], v[k]);
      }
    }
    const long long mean[3] = {s[0] / total, s[1] / total, s[2] / total};
    if (depth == maxDepth) {
      for (Cell* c : box) c->index = int(palette.size());
      palette.push_back({int(mean[0]), int(mean[1]), int(mean[2])});
      return;
    }
    const long long w[3] = {(hi[0] - lo[0]) * 12, (hi[1] - lo[1]) * 14, (hi[2] - lo[2]) * 10};
    const int k = (w[0] >= w[1] && w[0] >= w[2]) ? 0 : (w[1] >= w[2] ? 1 : 2);
    std::vector<Cell*> upper, lower;
    for (Cell* c : box) ((k == 0 ? c->r : k == 1 ? c->g : c->b) > mean[k] ? upper : lower).push_back(c);
    Split(upper, depth + 1, maxDepth);
    Split(lower, depth + 1, maxDepth);
  }

  Model(TBitmap& bitmap, int maxDepth) {
    for (int y = 0; y < bitmap.Height(); ++y) {
      const auto* row = static_cast<const RGBTRIPLE*>(bitmap.ScanLine(y));
      for (int x = 0; x < bitmap.Width(); ++x) {
        Cell& c = cells[TMedianCut::BucketOf(row[x])];
        c.count += 1;
        c.r += row[x].rgbtRed & 3;
        c.g += row[x].rgbtGreen & 3;
        c.b += row[x].rgbtBlue & 7;
      }
    }
    std::vector<Cell*> all;
    for (auto& [bucket, c] : cells) {
      c.r = c.r / c.count + (bucket >> 11) * 4;
      c.g = c.g / c.count + ((bucket >> 5) & 63) * 4;
      c.b = c.b / c.count + (bucket & 31) * 8;
      all.push_back(&c);
    }
    Split(all, 0, maxDepth);
  }
};

struct RandomImage {
  unsigned seed;
  int width, height, depth;
  int spread;  // noise around a gradient; 255 gives unrelated colours
  bool flat = false;  // noise around one colour: few cells, each with many pixels
};

class RandomImages : public testing::TestWithParam<RandomImage> {};

TEST_P(RandomImages, AgreeWithTheModelAndKeepTheInvariants) {
  const RandomImage p = GetParam();
  std::mt19937 random(p.seed);
  std::uniform_int_distribution<int> noise(-p.spread, p.spread);
  auto clamp = [](int v) { return std::clamp(v, 0, 255); };
  auto source = MakeBitmap(pf24bit, p.width, p.height, [&](int x, int y) {
    const int fx = p.flat ? p.width / 2 : x, fy = p.flat ? p.height / 2 : y;
    return Rgb{clamp(fx * 255 / p.width + noise(random)), clamp(fy * 255 / p.height + noise(random)),
               clamp((fx + fy) * 127 / (p.width + p.height) + noise(random))};
  });
  const auto before = core_test::ScanBytes(*source);

  auto result = ReduceColors(source.get(), p.depth);
  const Model model(*source, p.depth);

  EXPECT_EQ(core_test::ScanBytes(*source), before);
  ASSERT_EQ(result->PixelFormat(), pf8bit);
  ASSERT_EQ(result->Width(), p.width);
  ASSERT_EQ(result->Height(), p.height);
  ASSERT_LE(model.palette.size(), std::size_t{1} << p.depth);
  const std::vector<Rgb> palette = PaletteOf(*result);
  ASSERT_EQ(palette.size(), model.palette.size());
  EXPECT_EQ(palette, model.palette);

  std::map<int, int> indexOfBucket;
  for (int y = 0; y < p.height; ++y) {
    const auto* from = static_cast<const RGBTRIPLE*>(source->ScanLine(y));
    const auto* to = core_test::Row(*result, y);
    for (int x = 0; x < p.width; ++x) {
      const int bucket = TMedianCut::BucketOf(from[x]);
      ASSERT_LT(to[x], palette.size());
      ASSERT_EQ(to[x], model.cells.at(bucket).index) << x << "," << y;
      ASSERT_EQ(indexOfBucket.emplace(bucket, to[x]).first->second, to[x]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ReduceColors, RandomImages, testing::Values(
  RandomImage{1, 64, 48, 8, 12}, RandomImage{2, 97, 33, 8, 255}, RandomImage{3, 128, 128, 5, 40},
  RandomImage{4, 31, 17, 1, 255}, RandomImage{5, 50, 50, 0, 30}, RandomImage{6, 3, 200, 8, 0},
  RandomImage{7, 256, 64, 8, 3}, RandomImage{8, 120, 90, 8, 2, true}, RandomImage{9, 11, 1000, 2, 0, true}));

}  // namespace
