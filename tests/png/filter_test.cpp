// Row filters, the adaptive choice and the zlib glue in both directions.
#include <random>

#include "png/ZelZLIB.h"
#include "png_support.h"

using namespace png_test;

namespace {

// The PNG predictors written out plainly, independent of the codec.
int PaethReference(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

int Predict(int type, const std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& prior, int i, int bpp) {
  const int a = i >= bpp ? row[i - bpp] : 0;
  const int b = prior[i];
  const int c = i >= bpp ? prior[i - bpp] : 0;
  switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: return PaethReference(a, b, c);
    default: return 0;
  }
}

// Undoes a filtered row (type byte first) against the prior raw row.
std::vector<std::uint8_t> Unfilter(const std::uint8_t* filtered, const std::vector<std::uint8_t>& prior, int bpp) {
  const int n = static_cast<int>(prior.size());
  std::vector<std::uint8_t> raw(n);
  for (int i = 0; i < n; ++i) raw[i] = static_cast<std::uint8_t>(filtered[1 + i] + Predict(filtered[0], raw, prior, i, bpp));
  return raw;
}

std::vector<std::uint8_t> Filter(int type, const std::vector<std::uint8_t>& raw, const std::vector<std::uint8_t>& prior,
                                 int bpp) {
  std::vector<std::uint8_t> out(raw.size() + 1);
  out[0] = static_cast<std::uint8_t>(type);
  for (std::size_t i = 0; i < raw.size(); ++i)
    out[1 + i] = static_cast<std::uint8_t>(raw[i] - Predict(type, raw, prior, static_cast<int>(i), bpp));
  return out;
}

// An encoder context over test-owned rows.
struct EncoderRig {
  EncoderRig(int pixelBits, int rawBytes, std::uint32_t mode, int depthCode = 24)
      : Current(rawBytes), Previous(rawBytes, 0), FilteredA(rawBytes + 1), FilteredB(rawBytes + 1), Counts(256) {
    Context.PixelBits = pixelBits;
    Context.RowLength = rawBytes + 1;
    Context.FilterMode = mode;
    Context.DepthCode = depthCode;
    Context.CurrentRow = Current.data();
    Context.PreviousRow = Previous.data();
    Context.FilteredRow = FilteredA.data();
    Context.TrialRow = FilteredB.data();
    Context.Histogram = Counts.data();
  }
  // New rows; the context keeps pointing at them.
  void SetRows(std::vector<std::uint8_t> current, std::vector<std::uint8_t> previous) {
    Current = std::move(current);
    Previous = std::move(previous);
    Context.CurrentRow = Current.data();
    Context.PreviousRow = Previous.data();
  }
  std::vector<std::uint8_t> Chosen() const {
    return std::vector<std::uint8_t>(Context.FilteredRow, Context.FilteredRow + Context.RowLength);
  }
  std::vector<std::uint8_t> Current, Previous, FilteredA, FilteredB;
  std::vector<std::uint32_t> Counts;
  EncoderContext Context;
};

// The codec's own unfilter of a filtered row (type byte first) against the prior raw row,
// which is handed over behind its own type byte, as the reader keeps it.
std::vector<std::uint8_t> CodecUnfilter(std::vector<std::uint8_t> row, int priorType,
                                        const std::vector<std::uint8_t>& prior, int pixelBits) {
  std::vector<std::uint8_t> before(1, static_cast<std::uint8_t>(priorType));
  before.insert(before.end(), prior.begin(), prior.end());
  DecoderContext decoder;
  decoder.PixelBits = pixelBits;
  decoder.RowLength = static_cast<std::int32_t>(row.size());
  decoder.Row = row.data();
  decoder.PreviousRow = before.data();
  EXPECT_EQ(0, UnfilterRow(&decoder));
  return std::vector<std::uint8_t>(row.begin() + 1, row.end());
}

std::vector<std::uint8_t> RandomRow(std::mt19937& rng, int n, int spread = 256) {
  std::vector<std::uint8_t> row(n);
  for (auto& b : row) b = static_cast<std::uint8_t>(rng() % spread);
  return row;
}

TEST(Filters, EveryFilterRoundTripsForOneToEightBytesPerPixel) {
  std::mt19937 rng(7);
  for (const int pixelBits : {1, 2, 4, 8, 16, 24, 32, 40, 48, 56, 64}) {
    const int bpp = (pixelBits + 7) / 8;
    for (const std::uint32_t mode : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 0x105u}) {
      SCOPED_TRACE("bits " + std::to_string(pixelBits) + " mode " + std::to_string(mode));
      const int n = 3 * bpp + 31;
      EncoderRig rig(pixelBits, n, mode);
      int priorType = 0;
      for (int r = 0; r < 6; ++r) {
        // Smooth rows favour the predicting filters, noisy ones None.
        auto raw = RandomRow(rng, n, r % 2 ? 256 : 4);
        for (int i = 0; r % 3 == 2 && i < n; ++i) raw[i] = static_cast<std::uint8_t>(i * 5 + r);
        rig.SetRows(raw, rig.Previous);
        ChooseFilter(&rig.Context);
        const auto chosen = rig.Chosen();
        const std::uint32_t low = mode & 0xFF;
        const int wantType = (low == 1 || low > 5) ? 0 : static_cast<int>(low) - 1;
        if (low != 0) {
          EXPECT_EQ(wantType, chosen[0]);
        }
        EXPECT_LE(chosen[0], 4);
        EXPECT_EQ(rig.Current, Unfilter(chosen.data(), rig.Previous, bpp));
        EXPECT_EQ(rig.Current, CodecUnfilter(chosen, priorType, rig.Previous, pixelBits));
        priorType = chosen[0];
        rig.SetRows(raw, raw);
      }
    }
  }
}

TEST(Filters, PaethTiesPreferLeftThenAbove) {
  struct Row { int A, B, C, Predictor; } rows[] = {
      {40, 10, 20, 40},  // left and upper-left tie: left
      {10, 40, 20, 40},  // above and upper-left tie: above
      {15, 5, 10, 10},   // upper-left nearest
      {7, 7, 7, 7},      {0, 255, 0, 255}, {255, 0, 0, 255}, {200, 100, 250, 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.A) + "," + std::to_string(row.B) + "," + std::to_string(row.C));
    EncoderRig rig(8, 2, 5);
    rig.SetRows({static_cast<std::uint8_t>(row.A), 0}, {static_cast<std::uint8_t>(row.C), static_cast<std::uint8_t>(row.B)});
    ChooseFilter(&rig.Context);
    EXPECT_EQ(4, rig.Context.FilteredRow[0]);
    EXPECT_EQ(static_cast<std::uint8_t>(-row.Predictor), rig.Context.FilteredRow[2]);
    EXPECT_EQ(rig.Current, CodecUnfilter(rig.Chosen(), 0, rig.Previous, 8));
  }
}

// A row of length 101 whose byte counts (filter byte included) are given.
std::vector<std::uint8_t> RowWithCounts(const std::vector<int>& counts) {
  std::vector<std::uint8_t> row;
  for (std::size_t v = 0; v < counts.size(); ++v)
    row.insert(row.end(), static_cast<std::size_t>(counts[v]), static_cast<std::uint8_t>(v * 9));
  return row;
}

TEST(AdaptiveChoice, Scores) {
  struct Row { const char* Name; int PixelBits; std::vector<int> Counts; std::int64_t Score; } rows[] = {
      {"top 50 20 10 of 10 values", 8, {3, 50, 3, 20, 3, 3, 10, 3, 3, 3}, 7525},
      {"same counts below 8 bits", 4, {3, 50, 3, 20, 3, 3, 10, 3, 3, 3}, 10793},
      {"one value fills 91 of 101", 8, {91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, -1},
      {"one value fills 90 of 101", 8, {90, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 7042},
      {"eight values", 8, {30, 10, 10, 10, 10, 10, 10, 11}, -1},
      {"nine values", 16, {29, 10, 10, 10, 10, 10, 10, 11, 1}, 7976},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const auto bytes = RowWithCounts(row.Counts);
    ASSERT_EQ(101u, bytes.size());
    EncoderRig rig(row.PixelBits, 100, 0);
    EXPECT_EQ(row.Score, ScoreFilteredRow(&rig.Context, bytes.data()));
    rig.Context.Histogram = nullptr;  // the score keeps its own counts then
    EXPECT_EQ(row.Score, ScoreFilteredRow(&rig.Context, bytes.data()));
  }
}

// The choice as a plain model: None scored first (doubled at depth 1 and 8, final at
// depth 4), then Sub, Up, Average, Paeth; a -1 candidate wins at once, ties keep the earlier.
int ModelChoice(EncoderRig& rig, const std::vector<std::uint8_t>& raw, const std::vector<std::uint8_t>& prior) {
  const int bpp = (rig.Context.PixelBits + 7) / 8;
  auto none = Filter(0, raw, prior, bpp);
  std::int64_t best = ScoreFilteredRow(&rig.Context, none.data());
  if (best == -1 || rig.Context.DepthCode == 4) return 0;
  if (rig.Context.DepthCode == 1 || rig.Context.DepthCode == 8) best *= 2;
  int chosen = 0;
  for (int type = 1; type <= 4; ++type) {
    auto candidate = Filter(type, raw, prior, bpp);
    const std::int64_t score = ScoreFilteredRow(&rig.Context, candidate.data());
    if (score == -1) return type;
    if (score > best) {
      best = score;
      chosen = type;
    }
  }
  return chosen;
}

TEST(AdaptiveChoice, FollowsTheScoreOrderAndDepthRules) {
  std::mt19937 rng(11);
  int depthMadeADifference = 0;
  int choices[5] = {};
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 40 + trial % 50;
    const int spread = 8 + trial % 200;
    auto prior = RandomRow(rng, n, spread);
    auto raw = prior;
    for (int i = 0; i < n; ++i) {
      if (trial % 4 == 0) raw[i] = static_cast<std::uint8_t>(raw[i] + rng() % 3);
      if (trial % 4 == 1) raw[i] = static_cast<std::uint8_t>(i * (trial % 7) + rng() % 5);
      if (trial % 4 == 2) raw[i] = static_cast<std::uint8_t>(rng() % spread);
    }
    int perDepth[3];
    const int depths[3] = {24, 8, 4};
    for (int d = 0; d < 3; ++d) {
      EncoderRig rig(8, n, 0, depths[d]);
      rig.SetRows(raw, prior);
      const int want = ModelChoice(rig, raw, prior);
      ChooseFilter(&rig.Context);
      EXPECT_EQ(want, rig.Context.FilteredRow[0]) << "trial " << trial << " depth " << depths[d];
      EXPECT_EQ(Filter(want, raw, prior, 1), rig.Chosen());
      perDepth[d] = want;
    }
    EXPECT_EQ(0, perDepth[2]) << "depth 4 keeps None";
    if (perDepth[0] != perDepth[1]) ++depthMadeADifference;
    ++choices[perDepth[0]];
  }
  // The table is only meaningful when it reached every filter and the doubling rule.
  EXPECT_GT(depthMadeADifference, 0);
  for (int type = 0; type < 5; ++type) EXPECT_GT(choices[type], 0) << type;
}

// ------------------------------------------------------------------- zlib glue

struct Collected {
  std::vector<std::size_t> Sizes;
  std::vector<std::uint8_t> Bytes;
  std::int32_t Answer = 0;
};

std::int32_t Collect(EncoderContext* context) {
  auto* sink = reinterpret_cast<Collected*>(context->Owner);
  const std::size_t filled = context->OutputBufferSize - context->Stream.avail_out;
  sink->Sizes.push_back(filled);
  sink->Bytes.insert(sink->Bytes.end(), context->OutputBuffer.get(), context->OutputBuffer.get() + filled);
  return sink->Answer;
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& z, std::size_t size) {
  std::vector<std::uint8_t> out(size + 1);
  uLongf length = static_cast<uLongf>(out.size());
  EXPECT_EQ(Z_OK, uncompress(out.data(), &length, z.data(), static_cast<uLong>(z.size())));
  out.resize(length);
  return out;
}

TEST(EncoderGlue, BufferSizeAndChunkSizes) {
  struct Row { std::int32_t Asked, Used; } rows[] = {
      {300000, 32768}, {262144, 32768}, {262143, 262143}, {0, 32768}, {-5, 32768}, {256, 256}, {100000, 100000}};
  std::mt19937 rng(5);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Asked);
    Collected sink;
    EncoderRig rig(24, 3000, 1);
    rig.Context.Owner = reinterpret_cast<TObject*>(&sink);
    rig.Context.OutputCallback = Collect;
    ASSERT_EQ(0, InitEncoder(&rig.Context, 1, row.Asked));
    EXPECT_EQ(row.Used, rig.Context.OutputBufferSize);
    std::vector<std::uint8_t> expected;
    for (int r = 0; r < 200; ++r) {
      rig.SetRows(RandomRow(rng, 3000), rig.Previous);
      ASSERT_GE(EncodeRow(&rig.Context), 0);
      expected.push_back(0);
      expected.insert(expected.end(), rig.Current.begin(), rig.Current.end());
    }
    ASSERT_EQ(0, FinishEncoder(&rig.Context));
    ASSERT_FALSE(sink.Sizes.empty());
    for (std::size_t i = 0; i + 1 < sink.Sizes.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(row.Used), sink.Sizes[i]);
    EXPECT_GT(sink.Sizes.back(), 0u);
    EXPECT_EQ(expected, Inflate(sink.Bytes, expected.size()));
    EndEncoder(&rig.Context);
    EndEncoder(&rig.Context);  // twice is harmless
    EXPECT_EQ(0, rig.Context.OutputBufferSize);
  }
}

TEST(EncoderGlue, RefusalsAreNegative) {
  struct Row { const char* Name; std::int32_t Answer, Level, Init; } rows[] = {
      {"callback stops with a negative", -9, 6, 0},
      {"a positive stop is still a failure", 7, 6, 0},
      {"zlib refuses the level", 0, 12, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Collected sink;
    sink.Answer = row.Answer;
    EncoderRig rig(8, 999, 1);
    rig.Context.Owner = reinterpret_cast<TObject*>(&sink);
    rig.Context.OutputCallback = Collect;
    ASSERT_EQ(row.Init, InitEncoder(&rig.Context, row.Level, 256));
    std::mt19937 rng(1);
    std::int32_t result = 0;
    // zlib holds back its output for a while: enough rows to fill the small buffer.
    for (int r = 0; r < 200 && result >= 0; ++r) {
      rig.SetRows(RandomRow(rng, 999), rig.Previous);
      result = EncodeRow(&rig.Context);
    }
    EXPECT_LT(result, 0);
    if (row.Answer < 0) {
      EXPECT_EQ(row.Answer, result);
    }
    EXPECT_LT(FinishEncoder(&rig.Context), 0);
  }
}

// ----------------------------------------------------------------- decoder glue

// The rows compressed as the writer would (level 6), for feeding the decoder in pieces.
std::vector<std::uint8_t> Z(const std::vector<std::uint8_t>& raw, const std::string& dictionary = "") {
  const std::string z = Deflate(std::string(raw.begin(), raw.end()), dictionary, 6);
  return {z.begin(), z.end()};
}

struct Feed {
  std::vector<std::uint8_t> Data;
  std::size_t At = 0;
  std::size_t Piece = 1;
  std::int32_t AtEnd = -1;
};

std::int32_t FeedInput(DecoderContext* context) {
  auto* feed = reinterpret_cast<Feed*>(context->Owner);
  if (feed->At >= feed->Data.size()) return feed->AtEnd;
  const std::size_t count = std::min({feed->Piece, feed->Data.size() - feed->At, std::size_t{ZelDecoderBufferSize}});
  std::memcpy(context->InputBuffer.get(), feed->Data.data() + feed->At, count);
  feed->At += count;
  context->Stream.next_in = context->InputBuffer.get();
  context->Stream.avail_in = static_cast<uInt>(count);
  return 0;
}

// A decoder context over test-owned rows, fed data in pieces of at most piece bytes.
struct DecoderRig {
  DecoderRig(int pixelBits, int rawBytes, std::vector<std::uint8_t> data = {}, std::size_t piece = 1)
      : Row(rawBytes + 1), Prior(rawBytes + 1, 0) {
    Input.Data = std::move(data);
    Input.Piece = piece;
    Context.Owner = reinterpret_cast<TObject*>(&Input);
    Context.InputCallback = FeedInput;
    Context.PixelBits = pixelBits;
    Context.RowLength = rawBytes + 1;
    Context.Row = Row.data();
    Context.PreviousRow = Prior.data();
  }
  // The decoded row without its filter type.
  std::vector<std::uint8_t> Decoded() const { return std::vector<std::uint8_t>(Row.begin() + 1, Row.end()); }
  Feed Input;
  std::vector<std::uint8_t> Row, Prior;
  DecoderContext Context;
};

// count random rows of n bytes, each filtered with the next of the five filters against
// the one before; returns the rows and appends the filtered stream to stream.
std::vector<std::vector<std::uint8_t>> FilteredRows(std::mt19937& rng, int n, int count,
                                                    std::vector<std::uint8_t>& stream) {
  std::vector<std::vector<std::uint8_t>> rows;
  std::vector<std::uint8_t> prior(static_cast<std::size_t>(n), 0);
  for (int r = 0; r < count; ++r) {
    auto raw = RandomRow(rng, n, r % 3 ? 16 : 256);
    const auto filtered = Filter(r % 5, raw, prior, 3);
    stream.insert(stream.end(), filtered.begin(), filtered.end());
    rows.push_back(raw);
    prior = raw;
  }
  return rows;
}

TEST(DecoderGlue, RowsComeBackWhateverTheInputPieces) {
  std::mt19937 rng(9);
  const int n = 301;
  std::vector<std::uint8_t> stream;
  const auto rows = FilteredRows(rng, n, 40, stream);
  const auto z = Z(stream);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{100000}}) {
    SCOPED_TRACE(piece);
    DecoderRig rig(24, n, z, piece);
    ASSERT_EQ(0, InitDecoder(&rig.Context));
    EXPECT_EQ(ZelDecoderBufferSize, rig.Context.InputBufferSize);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::int32_t result = DecodeRow(&rig.Context);
      // The last row may or may not have met the stream's end already.
      EXPECT_TRUE(result == 0 || (result == 1 && r + 1 == rows.size())) << r << ": " << result;
      EXPECT_EQ(rows[r], rig.Decoded()) << r;
      std::swap(rig.Row, rig.Prior);
      rig.Context.Row = rig.Row.data();
      rig.Context.PreviousRow = rig.Prior.data();
    }
    // Nothing more can come: the next row fails instead of waiting.
    EXPECT_LT(DecodeRow(&rig.Context), 0);
    // A reset decoder reads a fresh stream.
    ResetDecoder(&rig.Context);
    rig.Input.At = 0;
    std::fill(rig.Prior.begin(), rig.Prior.end(), 0);
    EXPECT_EQ(0, DecodeRow(&rig.Context));
    EXPECT_EQ(rows[0], rig.Decoded());
    EndDecoder(&rig.Context);
    EndDecoder(&rig.Context);
    EXPECT_EQ(0, rig.Context.InputBufferSize);
  }
}

// Rows inflated ahead in blocks, copied out or read where they lie: the rows must be those
// of the stream whatever their length against the block's, including a previous row that
// has to outlive the block it was decoded in.
TEST(DecoderGlue, BlockedRowsComeBackCopiedOrInPlace) {
  std::mt19937 rng(17);
  for (const int n : {5, 3000, 65535, 140000}) {
    std::vector<std::uint8_t> stream;
    const auto rows = FilteredRows(rng, n, std::max(12, 600000 / n), stream);
    const auto z = Z(stream);
    for (const bool inPlace : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "row " << n << (inPlace ? " in place" : " copied"));
      DecoderRig rig(24, n, z, 50000);
      std::vector<std::uint8_t> spare(static_cast<std::size_t>(n) + 1);
      ASSERT_EQ(0, InitDecoder(&rig.Context));
      rig.Context.BytesExpected = static_cast<std::int64_t>(stream.size());
      std::uint8_t* buffers[2] = {rig.Row.data(), spare.data()};
      std::fill(rig.Prior.begin(), rig.Prior.end(), 0);
      rig.Context.PreviousRow = rig.Prior.data();
      for (std::size_t r = 0; r < rows.size(); ++r) {
        rig.Context.Row = rig.Context.PreviousRow == buffers[0] ? buffers[1] : buffers[0];
        if (inPlace) rig.Context.Spare = rig.Context.Row == buffers[0] ? buffers[1] : buffers[0];
        ASSERT_LE(0, DecodeRow(&rig.Context)) << r;
        ASSERT_EQ(0, std::memcmp(rows[r].data(), rig.Context.Row + 1, rows[r].size())) << r;
        rig.Context.PreviousRow = rig.Context.Row;
      }
      EndDecoder(&rig.Context);
    }
  }
}

TEST(DecoderGlue, FailuresEndTheRow) {
  const int n = 50;
  std::vector<std::uint8_t> oneRow(n + 1, 3);
  oneRow[0] = 0;
  std::vector<std::uint8_t> badType = oneRow;
  badType[0] = 5;
  std::vector<std::uint8_t> twoRows = oneRow;
  twoRows.insert(twoRows.end(), oneRow.begin(), oneRow.end());
  const auto half = Z(std::vector<std::uint8_t>(oneRow.begin(), oneRow.begin() + 20));
  auto halfThenMore = half;
  halfThenMore.insert(halfThenMore.end(), 40, 0x55);
  auto truncated = Z(twoRows);
  truncated.resize(truncated.size() / 2);
  auto corrupt = Z(oneRow);
  corrupt[2] ^= 0xFF;
  corrupt[3] ^= 0xFF;
  const auto withDictionary = Z(oneRow, std::string(64, '\3'));

  struct Row {
    const char* Name;
    std::vector<std::uint8_t> Data;
    std::int32_t AtEnd;
    std::int32_t Result;  // 1 for "some negative value"
  } rows[] = {
      {"no input at all", {}, -1, -1},
      {"positive refusal of the input", {}, 3, -1},
      {"filter type 5", Z(badType), -1, -1},
      {"stream ends inside the row", half, -1, -1},
      {"stream ends inside the row, bytes follow", halfThenMore, -1, -1},
      {"input ends inside the stream", truncated, -1, -1},
      {"corrupt data", corrupt, -1, 1},
      {"preset dictionary", withDictionary, -1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    DecoderRig rig(8, n, row.Data, 1000);
    rig.Input.AtEnd = row.AtEnd;
    ASSERT_EQ(0, InitDecoder(&rig.Context));
    // Two rows at most: a truncated stream may still give the first one.
    std::int32_t result = DecodeRow(&rig.Context);
    if (result >= 0) result = DecodeRow(&rig.Context);
    if (row.Result == 1) {
      EXPECT_LT(result, 0);
      EXPECT_NE(-1, result) << "a zlib failure keeps zlib's code";
    } else {
      EXPECT_EQ(row.Result, result);
    }
    // The row's bytes were read before its filter type was refused.
    if (row.Data == rows[2].Data) {
      EXPECT_EQ(badType, rig.Row);
    }
  }
}

TEST(DecoderGlue, UnstartedDecoderFails) {
  DecoderRig rig(8, 10);
  EXPECT_LT(DecodeRow(&rig.Context), 0);
  EndDecoder(&rig.Context);
}

}  // namespace
