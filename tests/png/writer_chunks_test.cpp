// The writer's chunk sequence and each chunk's condition and layout.
#include <cmath>
#include <limits>
#include <numeric>

#include "png_support.h"

using namespace png_test;

namespace {

// A bitmap with a small known palette: entries 0..n-1 are the given colours.
std::unique_ptr<TBitmap> PaletteBitmap(TPixelFormat format, const std::vector<TColor>& colours, int width = 4,
                                       int height = 3) {
  auto bitmap = MakeBitmap(format, width, height);
  bitmap->SetPalette(MakePalette(colours));
  // Indices stay inside the small palette.
  for (int y = 0; y < height; ++y) std::memset(bitmap->ScanLine(y), 0, static_cast<std::size_t>(bitmap->RowBytes()));
  return bitmap;
}

TEST(WriterSequence, DefaultSaveOfAnEightBitBitmap) {
  // Noise does not compress, so 256 x 256 bytes need three IDAT chunks.
  auto bitmap = MakeBitmap(pf8bit, 256, 256);
  const auto file = Save(bitmap.get(), [](TZelPNGWriteStream& w) {
    w.UseCurrentTime = true;
    w.Gamma = 0.45455;
  });
  const auto chunks = SplitChunks(file);
  const std::vector<std::string> want = {"IHDR", "tIME", "tEXt", "tpNG", "gAMA", "PLTE",
                                         "IDAT", "IDAT", "IDAT", "IEND"};
  EXPECT_EQ(want, ChunkTypes(chunks));
  ASSERT_EQ(want.size(), chunks.size());
  EXPECT_EQ(Bytes({0, 0, 1, 0, 0, 0, 1, 0, 8, 3, 0, 0, 0}), chunks[0].Data);
  // tIME holds the current UTC time: masked, but it must be a valid stamp of this era.
  ASSERT_EQ(7u, chunks[1].Data.size());
  EXPECT_GE(GetBe16(chunks[1].Data), 2020u);
  EXPECT_TRUE(chunks[1].Data[2] >= 1 && chunks[1].Data[2] <= 12);
  EXPECT_EQ(TextData("Software", "ZelPNG ver 3.4"), chunks[2].Data);
  EXPECT_EQ(Bytes({'Z', 'e', 'l', '3', 0, 0, 0, 0}), chunks[3].Data);
  EXPECT_EQ(Bytes({0, 0, 0xB1, 0x8F}), chunks[4].Data);  // 45455
  std::string plte;
  for (const RGBQUAD& q : bitmap->ColorTable()) plte += Bytes({q.rgbRed, q.rgbGreen, q.rgbBlue});
  EXPECT_EQ(plte, chunks[5].Data);
  EXPECT_EQ(32768u, chunks[6].Data.size());
  EXPECT_EQ(32768u, chunks[7].Data.size());
  EXPECT_GT(chunks[8].Data.size(), 0u);
  EXPECT_TRUE(chunks[9].Data.empty());
  EXPECT_EQ("", PngcheckComplaint(file));
}

TEST(WriterSequence, FullChunkOrderAndNoSignature) {
  auto bitmap = PaletteBitmap(pf8bit, {clRed, clLime, clBlue, clWhite});
  const PngTimeRecord time{2024, 2, 29, 23, 59, 60};
  const std::uint32_t chrm[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  const std::uint8_t gif[4] = {1, 0, 10, 0};
  auto withAll = [&](TZelPNGWriteStream& w) {
    w.ModifiedTime = &time;
    w.Comment = "note";
    w.GifControl = gif;
    w.Gamma = 1.0;
    w.Chromaticities = chrm;
    w.SignificantBits = 0x00080808;
    w.BackgroundColor = clLime;
    w.TransparentColor = clBlue;
    w.PhysX = 10;
    w.PhysY = 20;
  };
  const auto file = Save(bitmap.get(), withAll);
  const std::vector<std::string> want = {"IHDR", "tIME", "tEXt", "tEXt", "tpNG", "gIFg", "gAMA", "cHRM",
                                         "sBIT", "PLTE", "bKGD", "tRNS", "pHYs", "IDAT", "IEND"};
  EXPECT_EQ(want, ChunkTypes(SplitChunks(file)));
  EXPECT_EQ("", PngcheckComplaint(file));

  const auto bare = Save(bitmap.get(), [&](TZelPNGWriteStream& w) {
    withAll(w);
    w.WriteSignature = false;
  });
  EXPECT_EQ(file.substr(8), bare);
}

struct ChunkCase {
  const char* Name;
  TPixelFormat Format;
  std::function<void(TZelPNGWriteStream&)> Setup;
  const char* Type;
  std::string Data;  // empty: no such chunk
  int Nth = 0;       // which chunk of that type
};

const PngTimeRecord kLeapSecond{2016, 12, 31, 23, 59, 60};
const PngTimeRecord kBadTimes[] = {
    {2016, 13, 1, 0, 0, 0}, {2016, 1, 0, 0, 0, 0}, {2016, 1, 1, 24, 0, 0},
    {2016, 1, 1, 0, 60, 0}, {2016, 1, 1, 0, 0, 61}, {0, 1, 1, 0, 0, 0},
};
const std::uint32_t kChrm[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6001};
const std::uint32_t kChrmNoWhiteX[8] = {0, 2, 3, 4, 5, 6, 7, 8};
const std::uint8_t kGif[4] = {2, 1, 0, 100};
const std::uint8_t kGifZero[4] = {0, 0, 0, 0};

std::vector<ChunkCase> ChunkCases() {
  std::vector<ChunkCase> cases = {
      {"time_leap_second", pf24bit, [](auto& w) { w.ModifiedTime = &kLeapSecond; }, "tIME",
       Bytes({0x07, 0xE0, 12, 31, 23, 59, 60})},
      {"time_none_without_record", pf24bit, [](auto&) {}, "tIME", ""},
      {"comment", pf24bit, [](auto& w) { w.Comment = "hi"; }, "tEXt", TextData("Comment", "hi")},
      {"software_after_comment", pf24bit, [](auto& w) { w.Comment = "hi"; }, "tEXt", TextData("Software", "ZelPNG ver 3.4"), 1},
      {"hook_flag", pf24bit,
       [](auto& w) {
         w.RowHookKey = "key";
         w.OnWriteRow = [](TObject*, std::uint8_t*, std::int32_t, std::int32_t, const std::string&) {};
       },
       "tpNG", Bytes({'Z', 'e', 'l', '3', 1, 0, 0, 0})},
      {"hook_flag_needs_handler", pf24bit, [](auto& w) { w.RowHookKey = "key"; }, "tpNG",
       Bytes({'Z', 'e', 'l', '3', 0, 0, 0, 0})},
      {"gifg", pf24bit, [](auto& w) { w.GifControl = kGif; }, "gIFg", Bytes({2, 1, 0, 100})},
      {"gifg_all_zero", pf24bit, [](auto& w) { w.GifControl = kGifZero; }, "gIFg", ""},
      {"gama_one", pf24bit, [](auto& w) { w.Gamma = 1.0; }, "gAMA", Bytes({0, 1, 0x86, 0xA0})},
      {"gama_zero", pf24bit, [](auto& w) { w.Gamma = 0.0; }, "gAMA", ""},
      {"gama_negative", pf24bit, [](auto& w) { w.Gamma = -0.5; }, "gAMA", ""},
      {"gama_beyond_field", pf24bit, [](auto& w) { w.Gamma = 30000.0; }, "gAMA", ""},
      {"gama_nan", pf24bit, [](auto& w) { w.Gamma = std::numeric_limits<double>::quiet_NaN(); }, "gAMA", ""},
      {"chrm", pf24bit, [](auto& w) { w.Chromaticities = kChrm; }, "cHRM",
       Bytes({0, 0, 0x7A, 0x26, 0, 0, 0x80, 0x84, 0, 0, 0xFA, 0x00, 0, 0, 0x80, 0xE8, 0, 0, 0x75, 0x30, 0, 0, 0xEA,
              0x60, 0, 0, 0x3A, 0x98, 0, 0, 0x17, 0x71})},
      {"chrm_needs_white_point", pf24bit, [](auto& w) { w.Chromaticities = kChrmNoWhiteX; }, "cHRM", ""},
      {"sbit_15", pf15bit, [](auto& w) { w.SignificantBits = 0x00080808; }, "sBIT", Bytes({5, 5, 5})},
      {"sbit_16", pf16bit, [](auto&) {}, "sBIT", Bytes({5, 6, 5})},
      {"sbit_24", pf24bit, [](auto& w) { w.SignificantBits = 0x00070605; }, "sBIT", Bytes({5, 6, 7})},
      {"sbit_24_negative", pf24bit, [](auto& w) { w.SignificantBits = 0x88070605; }, "sBIT", ""},
      {"sbit_grey", pf16bit, [](auto& w) { w.Grayscale = true; }, "sBIT", ""},
      {"sbit_zero_sample", pf24bit, [](auto& w) { w.SignificantBits = 0x00080008; }, "sBIT", ""},
      {"sbit_too_deep", pf24bit, [](auto& w) { w.SignificantBits = 0x00080908; }, "sBIT", ""},
      {"bkgd_flagged_index", pf8bit, [](auto& w) { w.BackgroundColor = 0x01000002; }, "bKGD", Bytes({2})},
      {"bkgd_nearest_index", pf8bit, [](auto& w) { w.BackgroundColor = 0x00F00000; }, "bKGD", Bytes({2})},
      {"bkgd_index_outside_palette", pf8bit, [](auto& w) { w.BackgroundColor = 0x01000009; }, "bKGD", ""},
      {"bkgd_rgb", pf24bit, [](auto& w) { w.BackgroundColor = 0x00123456; }, "bKGD",
       Bytes({0, 0x56, 0, 0x34, 0, 0x12})},
      {"bkgd_grey", pf24bit, [](auto& w) { w.Grayscale = true; w.BackgroundColor = clWhite; },
       "bKGD", Bytes({0, 255})},
      {"bkgd_grey_from_palette_entry", pf4bit,
       [](auto& w) {
         w.Grayscale = true;
         w.BackgroundColor = 0x01000003;  // white: level 15 at 4 bits
       },
       "bKGD", Bytes({0, 15})},
      {"trns_index", pf8bit, [](auto& w) { w.TransparentColor = 0x01000002; }, "tRNS", Bytes({255, 255, 0})},
      {"trns_index_outside_palette", pf4bit, [](auto& w) { w.TransparentColor = 0x0100000C; }, "tRNS", ""},
      {"trns_rgb", pf32bit, [](auto& w) { w.TransparentColor = 0x00ABCDEF; }, "tRNS",
       Bytes({0, 0xEF, 0, 0xCD, 0, 0xAB})},
      {"trns_grey", pf8bit,
       [](auto& w) {
         w.Grayscale = true;
         w.TransparentColor = 0x01000001;  // pure green: (255 * 150) >> 8
       },
       "tRNS", Bytes({0, 149})},
      {"phys_inch", pf24bit, [](auto& w) { w.PhysUnit = 2; w.PhysX = 72; w.PhysY = 72; },
       "pHYs", Bytes({0, 0, 0x0B, 0x12, 0, 0, 0x0B, 0x12, 1})},
      {"phys_metre", pf24bit, [](auto& w) { w.PhysUnit = 1; w.PhysX = 3780; w.PhysY = 100; },
       "pHYs", Bytes({0, 0, 0x0E, 0xC4, 0, 0, 0, 100, 1})},
      {"phys_unknown_unit", pf24bit, [](auto& w) { w.PhysX = 1; w.PhysY = 2; },
       "pHYs", Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0})},
      {"phys_other_mode", pf24bit, [](auto& w) { w.PhysUnit = 7; w.PhysX = 1; w.PhysY = 2; },
       "pHYs", Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0})},
      {"phys_zero_x", pf24bit, [](auto& w) { w.PhysY = 2; }, "pHYs", ""},
      {"phys_inch_beyond_field", pf24bit,
       [](auto& w) { w.PhysUnit = 2; w.PhysX = 100000000; w.PhysY = 72; },
       "pHYs", ""},
      // A 1-bit bitmap given a four-entry palette: PLTE may hold two entries only.
      {"plte_clamped_to_depth", pf1bit, [](auto&) {}, "PLTE", Bytes({0, 0, 0, 0, 255, 0})},
      {"ihdr_adam7", pf24bit, [](auto& w) { w.Interlace = 1; }, "IHDR",
       Bytes({0, 0, 0, 4, 0, 0, 0, 3, 8, 2, 0, 0, 1})},
      {"ihdr_unknown_interlace_is_none", pf24bit, [](auto& w) { w.Interlace = 2; }, "IHDR",
       Bytes({0, 0, 0, 4, 0, 0, 0, 3, 8, 2, 0, 0, 0})},
  };
  for (const PngTimeRecord& bad : kBadTimes) {
    cases.push_back({"time_invalid", pf24bit, [&bad](auto& w) { w.ModifiedTime = &bad; }, "tIME", ""});
  }
  return cases;
}

TEST(WriterChunks, ConditionsAndLayouts) {
  const std::vector<TColor> colours = {clBlack, clLime, clBlue, clWhite};
  for (const ChunkCase& c : ChunkCases()) {
    SCOPED_TRACE(c.Name);
    auto bitmap = PaletteBitmap(c.Format, colours);
    const auto file = Save(bitmap.get(), c.Setup);
    const auto chunks = SplitChunks(file);
    const ParsedChunk* chunk = FindChunk(chunks, c.Type, c.Nth);
    EXPECT_EQ(c.Data.empty(), chunk == nullptr);
    EXPECT_EQ(c.Data, chunk ? chunk->Data : "");
    EXPECT_EQ("", PngcheckComplaint(file));
  }
}

TEST(WriterChunks, CurrentTimeIsStampedWhenAsked) {
  auto bitmap = MakeBitmap(pf24bit, 2, 2);
  const PngTimeRecord old{1999, 1, 2, 3, 4, 5};
  const auto chunks = SplitChunks(Save(bitmap.get(), [&](TZelPNGWriteStream& w) {
    w.UseCurrentTime = true;
    w.ModifiedTime = &old;
  }));
  const ParsedChunk* time = FindChunk(chunks, "tIME");
  ASSERT_NE(nullptr, time);
  PngTimeRecord now{};
  CaptureCurrentTime(now);
  EXPECT_EQ(now.Year, GetBe16(time->Data));
}

TEST(WriterChunks, AlphaBitmapIsUsedOnlyWhenItFits) {
  auto image = MakeBitmap(pf24bit, 5, 4);
  auto fits = MakeAlpha(5, 4);
  auto narrow = MakeAlpha(4, 4);
  auto empty = std::make_unique<TBitmap>();
  empty->SetPixelFormat(pf8bit);
  auto deep = MakeBitmap(pf24bit, 5, 4);
  auto palette4 = MakeBitmap(pf4bit, 5, 4);
  struct Row { const char* Name; TBitmap *Source, *Alpha; int ColorType; bool Grey; } rows[] = {
      {"fits", image.get(), fits.get(), 6, false},        {"itself", image.get(), image.get(), 2, false},
      {"other size", image.get(), narrow.get(), 2, false}, {"empty", image.get(), empty.get(), 2, false},
      {"not 8 bits", image.get(), deep.get(), 2, false},  {"palette output", palette4.get(), fits.get(), 3, false},
      {"grey 8-bit depth", image.get(), fits.get(), 4, true}, {"grey 4-bit depth", palette4.get(), fits.get(), 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const auto chunks = SplitChunks(Save(row.Source, [&](TZelPNGWriteStream& w) {
      w.AlphaBitmap = row.Alpha;
      w.Grayscale = row.Grey;
      w.TransparentColor = clWhite;
    }));
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(row.ColorType, chunks[0].Data[9]);
    // With alpha in the pixels there is never a tRNS.
    const bool alphaWritten = row.ColorType == 4 || row.ColorType == 6;
    EXPECT_EQ(!alphaWritten, FindChunk(chunks, "tRNS") != nullptr);
  }
}

// The transparent entry's pixels, and only they, match the tRNS sample, also when both
// entries are dark and a threshold on their grey would name the other entry.
TEST(WriterChunks, OneBitGreyPutsTheBrighterEntryOnOne) {
  const struct { std::vector<TColor> Entries; bool FirstOnOne; } rows[] = {
      {{clWhite, clBlack}, true}, {{clBlack, clWhite}, false}, {{clNavy, clBlack}, true}, {{clBlack, clNavy}, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Entries[0]);
    auto bitmap = PaletteBitmap(pf1bit, row.Entries, 8, 1);
    core_test::Row(*bitmap, 0)[0] = 0xA5;
    const auto decoded = DecodeWithLibpng(Save(bitmap.get(), [](auto& w) {
      w.Grayscale = true;
      w.TransparentColor = 0x01000001;
    }));
    ASSERT_TRUE(decoded.Ok);
    ASSERT_TRUE(decoded.HasTransColor);
    for (int x = 0; x < 8; ++x) {
      const bool bitSet = (0xA5 >> (7 - x)) & 1;
      EXPECT_EQ(row.FirstOnOne ? !bitSet : bitSet, decoded.Rows[0][x] == 1) << x;
      EXPECT_EQ(bitSet, decoded.Rows[0][x] == decoded.TransColor.gray) << x;
    }
  }
}

TEST(WriterChunks, HighColourWhiteIsFullWhite) {
  for (const TPixelFormat format : {pf15bit, pf16bit}) {
    auto bitmap = MakeBitmap(format, 1, 1);
    auto* pixel = core_test::Row(*bitmap, 0);
    pixel[0] = 0xFF;
    pixel[1] = format == pf15bit ? 0x7F : 0xFF;
    const auto decoded = DecodeWithLibpng(Save(bitmap.get()));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ((std::array<std::uint8_t, 4>{255, 255, 255, 255}), decoded.Rgba(0, 0));
  }
}

TEST(WriterParameters, IdatSizeRange) {
  struct Row { std::int32_t Value; bool Accepted; } rows[] = {
      {255, false}, {256, true}, {100000, true}, {100001, false}, {-1, false}, {0, false}};
  for (const Row& row : rows) {
    TZelPNGWriteStream writer;
    writer.SetIdatSize(1000);
    EXPECT_EQ(row.Accepted ? "" : "Write PNG Param: Err IDAT Size(min:256  max:100000)",
              ErrorOf([&] { writer.SetIdatSize(row.Value); }))
        << row.Value;
    EXPECT_EQ(row.Accepted ? row.Value : 1000, writer.IdatSize());
  }
}

// What cannot make a valid file is refused before a byte reaches the stream.
TEST(WriterRefusals, InvalidImagesWriteNothing) {
  auto empty = std::make_unique<TBitmap>();
  auto zeroHigh = MakeBitmap(pf24bit, 5, 1);
  zeroHigh->SetSize(5, 0);
  auto lostPalette = MakeBitmap(pf8bit, 4, 4);
  DeleteObject(lostPalette->Palette());  // the palette can no longer be read
  for (TBitmap* bitmap : {empty.get(), zeroHigh.get(), lostPalette.get()}) {
    TZelPNGWriteStream writer;
    TMemoryStream stream;
    EXPECT_EQ("Write Image (PNG): Write Error", ErrorOf([&] { writer.WriteTo(bitmap, &stream); }));
    EXPECT_EQ(0, stream.Size());
  }
}

// A target stream that accepts a fixed number of bytes and counts the calls after that.
class FailingStream : public TMemoryStream {
public:
  explicit FailingStream(std::int64_t room) : room_(room) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (failed_) ++callsAfterFailure;
    if (Size() + count > room_) {
      failed_ = true;
      return 0;
    }
    return TMemoryStream::Write(buffer, count);
  }
  int callsAfterFailure = 0;

private:
  std::int64_t room_;
  bool failed_ = false;
};

TEST(WriterRefusals, AFailingStreamEndsTheSaveWithoutFurtherWrites) {
  auto bitmap = MakeBitmap(pf24bit, 300, 300);
  for (const std::int64_t room : {0, 100, 70000, 200000}) {
    SCOPED_TRACE(room);
    FailingStream stream(room);
    TZelPNGWriteStream writer;
    writer.SetIdatSize(1000);
    EXPECT_THROW(writer.WriteTo(bitmap.get(), &stream), EWriteError);
    EXPECT_EQ(0, stream.callsAfterFailure);
    EXPECT_LE(stream.Size(), room);
  }
}

TEST(WriterProgress, StartsAtZeroRisesAndEndsAtHundred) {
  struct Row { int Height, Interlace; std::vector<int> Percents; } rows[] = {
      // 29 points for the header, 70 for the rows: every row below 4 rows, else rows 2, 6, 10.
      {3, 0, {0, 29, 52, 75, 99, 100}},
      {12, 0, {0, 29, 40, 64, 87, 100}},
      // Adam7 over 8 rows: 15 rows in all, reported at running rows 2, 6, 10, 14.
      {8, 1, {0, 29, 38, 57, 75, 94, 100}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Height);
    auto bitmap = MakeBitmap(pf24bit, 8, row.Height);
    std::vector<int> percents;
    std::vector<TProgressStage> stages;
    bitmap->OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw,
                             const TRect& rect, const std::string& message) {
      EXPECT_EQ(bitmap.get(), sender);
      EXPECT_FALSE(redraw);
      EXPECT_EQ(TRect{}, rect);
      EXPECT_TRUE(message.empty());
      percents.push_back(percent);
      stages.push_back(stage);
    };
    Save(bitmap.get(), [&](auto& w) { w.Interlace = static_cast<std::uint32_t>(row.Interlace); });
    EXPECT_EQ(row.Percents, percents);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(psStarting, stages.front());
    EXPECT_EQ(psEnding, stages.back());
    for (std::size_t i = 1; i + 1 < stages.size(); ++i) EXPECT_EQ(psRunning, stages[i]);
  }
}

TEST(WriterRowHook, SeesEveryRowInOrderAndMayChangeIt) {
  for (const int interlace : {0, 1}) {
    SCOPED_TRACE(interlace);
    auto bitmap = MakeBitmap(pf24bit, 7, 9);
    std::vector<std::int32_t> indices;
    std::vector<std::int32_t> counts;
    const auto file = Save(bitmap.get(), [&](TZelPNGWriteStream& w) {
      w.Interlace = static_cast<std::uint32_t>(interlace);
      w.FilterMode = 0;
      w.RowHookKey = "secret";
      w.OnWriteRow = [&](TObject* sender, std::uint8_t* row, std::int32_t count, std::int32_t index,
                         const std::string& key) {
        EXPECT_EQ("secret", key);
        EXPECT_NE(nullptr, dynamic_cast<TZelPNGWriteStream*>(sender));
        indices.push_back(index);
        counts.push_back(count);
        for (std::int32_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
      };
    });
    std::vector<std::int32_t> inOrder(static_cast<std::size_t>(InterlacedRowCount(interlace, 9)));
    std::iota(inOrder.begin(), inOrder.end(), 0);
    EXPECT_EQ(inOrder, indices);
    if (interlace == 0) {
      for (std::int32_t count : counts) EXPECT_EQ(21, count);
    }
    // What the hook left is what was compressed.
    const auto decoded = DecodeWithLibpng(file);
    ASSERT_TRUE(decoded.Ok);
    for (int y = 0; y < 9; ++y) {
      const auto* line = core_test::Row(*bitmap, y);
      for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(static_cast<std::uint8_t>(~line[3 * x + 2]), decoded.Rgba(x, y)[0]);
        EXPECT_EQ(static_cast<std::uint8_t>(~line[3 * x]), decoded.Rgba(x, y)[2]);
      }
    }
  }
}

TEST(WriterRowHook, NotCalledWithoutKey) {
  auto bitmap = MakeBitmap(pf8bit, 3, 3);
  int calls = 0;
  Save(bitmap.get(), [&](TZelPNGWriteStream& w) {
    w.OnWriteRow = [&](TObject*, std::uint8_t*, std::int32_t, std::int32_t, const std::string&) { ++calls; };
  });
  EXPECT_EQ(0, calls);
}

TEST(WriterSharedFunctions, InterlacedRowCountAndGreyLevel) {
  EXPECT_EQ(37, InterlacedRowCount(0, 37));
  // Against the pass heights counted one by one: a pass that a narrow width skips still counts.
  for (int h = 1; h <= 40; ++h) {
    int rows = 0;
    for (int pass = 0; pass < 7; ++pass) {
      for (int y = Adam7Passes[pass].StartRow; y < h; y += Adam7Passes[pass].RowStep) ++rows;
    }
    EXPECT_EQ(rows, InterlacedRowCount(1, h)) << h;
  }
  struct Row { int Bits; TColor Colour; int Level; } rows[] = {
      {8, clWhite, 255}, {8, clBlack, 0}, {8, clRed, 76},  {8, clLime, 149}, {8, clBlue, 28},
              {4, clWhite, 15},  {4, clLime, 9},  {1, 0x808080, 1}, {1, 0x7F7F7F, 0}, {24, 0x01000000 | clWhite, 255}};
  for (const Row& row : rows) EXPECT_EQ(row.Level, GreyLevel(row.Bits, row.Colour)) << row.Bits << " " << row.Colour;
}

}  // namespace
