// The buffered image streams: memory and file input alike, the 64 KB buffer edges, the
// sticky flags, the MacBinary skip, the final position, output buffering and progress;
// the working memory that the streams take and give back.
#include <limits>
#include <thread>

#include "png/ZelStream.h"
#include "png_support.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t salt = 0) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + (i >> 8) * 7 + salt) & 0xFF);
  return data;
}

enum class Kind { Memory, File };

// data as the kind of stream asked for, positioned at start; a file is removed with it.
struct Source {
  Source(Kind kind, const std::vector<std::uint8_t>& data, std::int64_t start) {
    if (kind == Kind::Memory) {
      Stream = std::make_unique<TMemoryStream>();
    } else {
      Path = std::string(TEST_BUILD_DIR) + "/pngw_stream_" + std::to_string(::getpid());
      Stream = std::make_unique<TFileStream>(Path, fmCreate);
    }
    Stream->WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    if (kind == Kind::File) Stream = std::make_unique<TFileStream>(Path, fmOpenRead | fmShareDenyWrite);
    Stream->SetPosition(start);
  }
  ~Source() {
    Stream.reset();
    if (!Path.empty()) ::unlink(Path.c_str());
  }
  std::string Path;
  std::unique_ptr<TStream> Stream;
};

// A stream that keeps the percentages it is told.
template <class Base>
class Recorder : public Base {
public:
  bool NotifyProgress(std::int32_t percent) override {
    Percents.push_back(percent);
    return false;
  }
  std::vector<int> Percents;
};
using Probe = Recorder<TZelCustomReadStream>;
using WriteProbe = Recorder<TZelCustomWriteStream>;

// A probe already reading size bytes (0: all) of data from start; Input is the stream
// underneath, for checking where the read leaves it.
struct OpenProbe : Probe {
  OpenProbe(Kind kind, const std::vector<std::uint8_t>& data, std::int64_t start = 0, std::int64_t size = 0)
      : Input(kind, data, start) {
    StartRead(Input.Stream.get(), size);
  }
  ::Source Input;  // qualified: the reader has a Source member of its own
};

std::string KindName(Kind kind) { return kind == Kind::File ? "file" : "memory"; }

enum class Op { Byte, Word, Long, Block, Skip };
struct Step {
  Op What;
  std::int64_t Count;  // for Block and Skip
};

// Runs the steps on a stream and on a plain model of big-endian reading; every value and
// the consumed count agree. Returns what the stream delivered, for comparing the kinds.
std::vector<std::uint64_t> RunSteps(Kind kind, const std::vector<std::uint8_t>& data, std::int64_t start,
                                    const std::vector<Step>& steps) {
  OpenProbe probe(kind, data, start);
  std::int64_t at = start;
  bool error = false;
  std::vector<std::uint64_t> seen;
  for (const Step& step : steps) {
    const std::int64_t size = step.What == Op::Byte ? 1 : step.What == Op::Word ? 2 : step.What == Op::Long ? 4 : step.Count;
    const bool fits = !error && size >= 0 && size <= static_cast<std::int64_t>(data.size()) - at;
    std::uint64_t got = 0, want = 0;
    for (std::int64_t i = 0; fits && step.What < Op::Block && i < size; ++i) want = (want << 8) | data[std::size_t(at + i)];
    switch (step.What) {
      case Op::Byte: got = probe.ReadByte(); break;
      case Op::Word: got = probe.ReadWordBE(); break;
      case Op::Long: got = probe.ReadLongBE(); break;
      case Op::Skip: probe.SkipInput(step.Count); break;
      case Op::Block: {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(size), 0xEE);
        probe.ReadBlock(block.data(), size);
        // A refused block copies nothing.
        const auto want = fits ? std::vector<std::uint8_t>(data.begin() + at, data.begin() + at + size)
                               : std::vector<std::uint8_t>(block.size(), 0xEE);
        EXPECT_EQ(want, block) << "block at " << at;
        seen.push_back(block.empty() ? 0 : block.front());
      }
    }
    if (fits) at += size;
    error = !fits;
    EXPECT_EQ(want, got);
    EXPECT_EQ(error, probe.ErrorFlag);
    EXPECT_EQ(at - start, probe.Consumed);
    seen.push_back(got);
    seen.push_back(static_cast<std::uint64_t>(probe.Consumed));
  }
  probe.FinishRead();
  EXPECT_EQ(start + probe.Consumed, probe.Input.Stream->Position());
  return seen;
}

TEST(ReadStream, MemoryAndFileGiveTheSameBytesAndPositions) {
  const auto data = Pattern(300001);
  const std::vector<Step> steps = {
      {Op::Byte, 0},      {Op::Word, 0},       {Op::Long, 0},  {Op::Block, 10},    {Op::Skip, 65500},
      {Op::Long, 0},      {Op::Block, 70000},  {Op::Word, 0},  {Op::Skip, 100000}, {Op::Byte, 0},
      {Op::Block, 65536}, {Op::Block, 131072}, {Op::Long, 0},  {Op::Skip, 3},      {Op::Long, 0},
  };
  for (const std::int64_t start : {0, 5, 65534}) {
    SCOPED_TRACE(start);
    const auto memory = RunSteps(Kind::Memory, data, start, steps);
    const auto file = RunSteps(Kind::File, data, start, steps);
    EXPECT_EQ(memory, file);
  }
}

TEST(ReadStream, ValuesStraddlingTheBufferEdge) {
  const auto data = Pattern(200000, 9);
  for (const Kind kind : {Kind::File, Kind::Memory}) {
    // The value starts in the last 1 to 3 bytes of the first or second buffer load.
    for (const std::int64_t edge : {65536, 131072}) {
      for (std::int64_t back = 0; back <= 4; ++back) {
        for (const Op op : {Op::Word, Op::Long}) {
          SCOPED_TRACE(std::to_string(edge - back) + " " + KindName(kind));
          // Reach the offset by a read, so the buffer is filled in its natural steps.
          const std::int64_t offset = edge - back;
          std::vector<Step> steps;
          for (std::int64_t left = offset; left > 0; left -= 40000)
            steps.push_back({Op::Block, std::min<std::int64_t>(left, 40000)});
          steps.push_back({op, 0});
          steps.push_back({Op::Long, 0});
          RunSteps(kind, data, 0, steps);
        }
      }
    }
  }
}

TEST(ReadStream, EndOfDataAndZeroRequests) {
  const auto data = Pattern(20);
  struct Row { const char* Name; std::vector<Step> Steps; } rows[] = {
      {"long past the end", {{Op::Block, 18}, {Op::Long, 0}, {Op::Byte, 0}}},
      {"block past the end", {{Op::Block, 21}, {Op::Byte, 0}}},
      {"skip past the end", {{Op::Skip, 21}, {Op::Byte, 0}}},
      {"skip to the end exactly", {{Op::Skip, 20}, {Op::Byte, 0}}},
      {"huge skip does not wrap", {{Op::Byte, 0}, {Op::Skip, std::numeric_limits<std::int64_t>::max()}, {Op::Byte, 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    for (const Kind kind : {Kind::Memory, Kind::File}) RunSteps(kind, data, 0, row.Steps);
  }
}

TEST(ReadStream, FlagsAreSticky) {
  const auto data = Pattern(64);
  struct Row { const char* Name; std::function<void(Probe&)> Act; bool Stop, Error; } rows[] = {
      {"zero block", [](Probe& p) { p.ReadBlock(nullptr, 0); }, true, false},
      {"negative block", [](Probe& p) { p.ReadBlock(nullptr, -4); }, true, false},
      {"zero skip", [](Probe& p) { p.SkipInput(0); }, true, false},
      {"negative skip", [](Probe& p) { p.SkipInput(-4); }, false, true},
      {"past the end", [](Probe& p) { p.SkipInput(65); }, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    OpenProbe probe(Kind::File, data);
    probe.ReadByte();
    row.Act(probe);
    EXPECT_EQ(row.Stop, probe.StopFlag);
    EXPECT_EQ(row.Error, probe.ErrorFlag);
    EXPECT_EQ(1, probe.Consumed);
    // Nothing more is delivered, though data remain.
    EXPECT_EQ(0u, probe.ReadByte());
    EXPECT_EQ(0u, probe.ReadLongBE());
    EXPECT_EQ(1, probe.Consumed);
    // A new start clears both.
    probe.Input.Stream->SetPosition(0);
    probe.StartRead(probe.Input.Stream.get(), 0);
    EXPECT_FALSE(probe.StopFlag || probe.ErrorFlag);
    EXPECT_EQ(data[0], probe.ReadByte());
    probe.FinishRead();
  }
}

TEST(ReadStream, SizeLimitsTheData) {
  const auto data = Pattern(100);
  struct Row { Kind What; std::int64_t Start, Size, Readable; } rows[] = {
      {Kind::Memory, 0, 10, 10}, {Kind::File, 0, 10, 10}, {Kind::Memory, 30, 0, 70}, {Kind::File, 30, -1, 70},
      // A memory stream is read in place: a size beyond its block never reaches past it.
      {Kind::Memory, 40, 1000, 60}, {Kind::Memory, 100, 0, 0}, {Kind::File, 100, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.Start) + " " + std::to_string(row.Size));
    OpenProbe probe(row.What, data, row.Start, row.Size);
    EXPECT_EQ(row.Readable == 0, probe.ErrorFlag);
    if (row.Readable > 0) {
      probe.SkipInput(row.Readable - 1);
      EXPECT_EQ(data[static_cast<std::size_t>(row.Start + row.Readable - 1)], probe.ReadByte());
    }
    EXPECT_FALSE(row.Readable > 0 && probe.ErrorFlag);
    EXPECT_EQ(0u, probe.ReadByte());
    EXPECT_TRUE(probe.ErrorFlag);
    probe.FinishRead();
    EXPECT_EQ(row.Start + row.Readable, probe.Input.Stream->Position());
  }
}

TEST(ReadStream, MacBinaryHeaderSkip) {
  struct Row { const char* Name; std::size_t Size; int Byte0, Byte74; bool Option, Skipped; } rows[] = {
      {"header before data", 300, 0, 0, true, true},
      {"just over 128 bytes", 130, 0, 0, true, true},
      {"128 bytes are never tested", 128, 0, 0, true, false},
      {"byte 74 set", 300, 0, 1, true, false},
      {"a PNG signature", 300, 137, 0, true, false},
      {"option off", 300, 0, 0, false, false},
  };
  for (const Row& row : rows) {
    for (const Kind kind : {Kind::Memory, Kind::File}) {
      SCOPED_TRACE(std::string(row.Name) + " " + KindName(kind));
      auto data = Pattern(row.Size + 7, 3);
      data[7] = static_cast<std::uint8_t>(row.Byte0);
      data[7 + 74] = static_cast<std::uint8_t>(row.Byte74);
      Source source(kind, data, 7);
      Probe probe;
      probe.SkipMacBinaryHeader = row.Option;
      probe.StartRead(source.Stream.get(), 0);
      const std::size_t first = row.Skipped ? 7 + 128 : 7;
      EXPECT_EQ(data[first], probe.ReadByte());
      EXPECT_EQ(data[first + 1], probe.ReadByte());
      probe.FinishRead();
      EXPECT_EQ(static_cast<std::int64_t>(first + 2), source.Stream->Position());
    }
  }
}

TEST(ReadStream, ProgressStagesShareNinetyNinePoints) {
  OpenProbe probe(Kind::Memory, Pattern(1000));
  probe.BeginProgress();                        // 0
  probe.BeginStage(StageBytes, 0, 30);          // 29 points by bytes
  probe.SkipInput(500);
  probe.UpdateProgress(123456);                 // the position does not count: 14
  probe.BeginStage(StageUnits, 10, 98);         // books 29, 68 of the remaining 70
  probe.UpdateProgress(5);                      // 29 + 34
  probe.UpdateProgress(5);                      // no change, no report
  probe.UpdateProgress(20);                     // capped at the stage's share: 97
  probe.BeginStage(StageBytes, 0, 0);           // books 97, the last 2 points
  probe.SkipInput(500);
  probe.UpdateProgress(0);                      // half the data of a byte stage: 97 + 1
  probe.EndProgress();                          // 100
  EXPECT_EQ((std::vector<int>{0, 14, 63, 97, 98, 100}), probe.Percents);
  probe.FinishRead();
}

// --------------------------------------------------------------------- writing

class RecordingStream : public TMemoryStream {
public:
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    Calls.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<std::int64_t> Calls;
};

// A probe already writing to a stream of its own.
struct OpenWriteProbe : WriteProbe {
  OpenWriteProbe() { StartWrite(&Output); }
  RecordingStream Output;
};

TEST(WriteStream, BlockBufferBoundary) {
  struct Row { std::int64_t Buffered, Count; std::vector<std::int64_t> CallsBeforeFinish, CallsAfterFinish; } rows[] = {
      {0, 65519, {}, {65519}},
      {0, 65520, {65520}, {65520}},
      {16, 65519, {}, {65535}},
      {17, 65519, {17}, {17, 65519}},
      {10, 65520, {10, 65520}, {10, 65520}},
      {10, 200000, {10, 200000}, {10, 200000}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.Buffered) + " + " + std::to_string(row.Count));
    const auto data = Pattern(static_cast<std::size_t>(row.Buffered + row.Count), 5);
    OpenWriteProbe writer;
    if (row.Buffered > 0) writer.WriteBlock(data.data(), row.Buffered);
    writer.WriteBlock(data.data() + row.Buffered, row.Count);
    EXPECT_EQ(row.CallsBeforeFinish, writer.Output.Calls);
    writer.FinishWrite();
    EXPECT_EQ(row.CallsAfterFinish, writer.Output.Calls);
    ASSERT_EQ(static_cast<std::int64_t>(data.size()), writer.Output.Size());
    EXPECT_EQ(0, std::memcmp(writer.Output.Memory(), data.data(), data.size()));
  }
}

TEST(WriteStream, LongValuesAndTheStopFlag) {
  for (const std::int64_t buffered : {65531, 65532}) {
    OpenWriteProbe writer;
    const auto data = Pattern(static_cast<std::size_t>(buffered));
    // Small blocks, so that they stay in the buffer.
    for (std::int64_t at = 0; at < buffered; at += 1000)
      writer.WriteBlock(data.data() + at, std::min<std::int64_t>(1000, buffered - at));
    ASSERT_TRUE(writer.Output.Calls.empty());
    writer.WriteLongBE(0x01020304);
    // Four more bytes fit only while they leave room in the buffer.
    EXPECT_EQ(buffered == 65532 ? std::vector<std::int64_t>{65532} : std::vector<std::int64_t>{}, writer.Output.Calls);
    writer.FinishWrite();
    const auto* bytes = static_cast<const std::uint8_t*>(writer.Output.Memory());
    EXPECT_EQ(0, std::memcmp(bytes + buffered, "\x01\x02\x03\x04", 4));
  }

  OpenWriteProbe writer;
  writer.WriteBlock("ab", 2);
  writer.WriteBlock("x", 0);
  EXPECT_TRUE(writer.StopFlag);
  writer.WriteBlock("cd", 2);
  writer.WriteLongBE(7);
  writer.FinishWrite();
  EXPECT_EQ(2, writer.Output.Size());
  // Progress restarts the flag; StartWrite alone does not.
  writer.StartWrite(&writer.Output);
  EXPECT_TRUE(writer.StopFlag);
  writer.BeginProgress();
  EXPECT_FALSE(writer.StopFlag);
}

TEST(WriteStream, ProgressDoesNotCap) {
  OpenWriteProbe writer;
  writer.BeginProgress();
  writer.BeginStage(StageBytes, 10, 30);  // a write stage is in units whatever the mode
  writer.UpdateProgress(10);
  writer.BeginStage(StageUnits, 4, 0);
  writer.UpdateProgress(2);
  writer.UpdateProgress(8);
  writer.EndProgress();
  EXPECT_EQ((std::vector<int>{0, 29, 64, 169, 100}), writer.Percents);
}

class ScriptedWriter : public TZelCustomGraphicWriteStream {
public:
  std::function<void(ScriptedWriter&)> Script;
  void WriteImage() override { Script(*this); }
};

TEST(WriteStream, GraphicProgressReachesTheBitmap) {
  TBitmap bitmap;
  std::vector<std::pair<TProgressStage, int>> seen;
  bitmap.OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                          const std::string&) {
    EXPECT_EQ(&bitmap, sender);
    seen.emplace_back(stage, percent);
  };
  ScriptedWriter writer;
  writer.Script = [](ScriptedWriter& w) {
    for (const int percent : {0, 1, 99, 100, 150, -3}) EXPECT_FALSE(w.NotifyProgress(percent));
  };
  TMemoryStream stream;
  writer.WriteTo(&bitmap, &stream);
  const std::vector<std::pair<TProgressStage, int>> want = {
      {psStarting, 0}, {psRunning, 1}, {psRunning, 99}, {psEnding, 100}, {psEnding, 100}, {psEnding, 100}};
  EXPECT_EQ(want, seen);
}

TEST(WriteStream, NothingIsFlushedWhenTheImageWriterRaises) {
  TBitmap bitmap;
  ScriptedWriter writer;
  writer.Script = [](ScriptedWriter& w) {
    w.WriteBlock("partial", 7);
    throw EInvalidGraphic("stop");
  };
  TMemoryStream stream;
  EXPECT_THROW(writer.WriteTo(&bitmap, &stream), EInvalidGraphic);
  EXPECT_EQ(0, stream.Size());
  writer.Script = [](ScriptedWriter& w) { w.WriteBlock("whole", 5); };
  writer.WriteTo(&bitmap, &stream);
  EXPECT_EQ(5, stream.Size());
}

// ------------------------------------------------------------------ ReadFrom

class ScriptedReader : public TZelCustomGraphicReadStream {
public:
  std::function<void(ScriptedReader&)> Script;
  void ReadImage() override { Script(*this); }
};

TEST(GraphicReadStream, ReadFromLeavesTheSourceAfterTheLastConsumedByte) {
  const auto data = Pattern(400, 1);
  for (const Kind kind : {Kind::Memory, Kind::File}) {
    for (const bool raise : {false, true}) {
      SCOPED_TRACE(KindName(kind) + (raise ? " raising" : ""));
      Source source(kind, data, 3);
      TBitmap bitmap;
      int changes = 0;
      bitmap.OnChange = [&](TObject*) { ++changes; };
      ScriptedReader reader;
      reader.Comment = "old";
      reader.PaletteCount = 9;
      reader.PhysX = 5;
      reader.Script = [&](ScriptedReader& r) {
        EXPECT_TRUE(r.Comment.empty());
        EXPECT_EQ(0, r.PaletteCount);
        EXPECT_EQ(0, r.PhysX);
        EXPECT_FALSE(static_cast<bool>(bitmap.OnChange)) << "change events are held back during the read";
        r.PaletteBuffer()[0] = RGBQUAD{1, 2, 3, 0};
        r.SkipInput(10);
        r.ReadByte();
        if (raise) throw EInvalidGraphic("broken");
      };
      if (raise) {
        EXPECT_THROW(reader.ReadFrom(&bitmap, source.Stream.get(), 0), EInvalidGraphic);
      } else {
        reader.ReadFrom(&bitmap, source.Stream.get(), 0);
      }
      EXPECT_EQ(3 + 11, source.Stream->Position());
      EXPECT_FALSE(reader.HasPaletteBuffer());
      ASSERT_TRUE(static_cast<bool>(bitmap.OnChange));
      bitmap.OnChange(&bitmap);
      EXPECT_EQ(1, changes);
    }
  }
}

TEST(GraphicReadStream, HeaderOnlyReadPreparesAndReportsNothing) {
  const auto data = Pattern(50);
  Source source(Kind::Memory, data, 0);
  ScriptedReader reader;
  reader.Script = [](ScriptedReader& r) {
    EXPECT_TRUE(r.HeaderOnly);
    r.BeginProgress();
    r.Width = 3;
    r.Height = 2;
    r.BitsPerPixel = 8;
    r.PrepareBitmap();
    r.EndProgress();
    r.ReadLongBE();
  };
  reader.ReadFrom(nullptr, source.Stream.get(), 0);
  EXPECT_EQ(4, source.Stream->Position());
}

TEST(GraphicReadStream, PrepareBitmapShapesTheTarget) {
  const auto data = Pattern(50);
  Source source(Kind::Memory, data, 0);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(9, 9);
  bitmap.SetTransparent(true);
  std::vector<int> percents;
  bitmap.OnProgress = [&](TObject*, TProgressStage, std::uint8_t percent, bool, const TRect&, const std::string&) {
    percents.push_back(percent);
  };
  ScriptedReader reader;
  reader.Script = [](ScriptedReader& r) {
    r.BeginProgress();
    RGBQUAD* palette = r.PaletteBuffer();
    palette[0] = RGBQUAD{10, 20, 30, 0};
    palette[1] = RGBQUAD{40, 50, 60, 0};
    r.PaletteCount = 2;
    r.Width = 3;
    r.Height = 2;
    r.BitsPerPixel = 4;
    r.PrepareBitmap();
    r.EndProgress();
  };
  reader.ReadFrom(&bitmap, source.Stream.get(), 0);
  EXPECT_EQ(pf4bit, bitmap.PixelFormat());
  EXPECT_EQ(3, bitmap.Width());
  EXPECT_EQ(2, bitmap.Height());
  EXPECT_FALSE(bitmap.Transparent());
  RGBQUAD quads[256] = {};
  ASSERT_EQ(2, PaletteToQuads(bitmap.Palette(), quads));
  EXPECT_EQ(30, quads[0].rgbRed);
  EXPECT_EQ(40, quads[1].rgbBlue);
  EXPECT_EQ((std::vector<int>{0, 100}), percents);
}

// What a thread keeps of the blocks given back: at most 24 blocks, 2 MiB in all, none
// over 512 KiB, and none that another thread took. Each row runs on threads of its own,
// so that the store starts empty.
TEST(WorkMemory, KeepsWithinItsLimitsAndOnlyWhatTheThreadTook) {
  constexpr std::size_t KiB = 1024;
  const struct {
    const char* Name;
    std::vector<std::size_t> Sizes;
    bool GivenElsewhere;
    int Blocks;
    std::size_t Bytes;
  } rows[] = {
      {"blocks", std::vector<std::size_t>(25, 1 * KiB), false, 24, 24 * KiB},
      {"block size", {512 * KiB, 512 * KiB + 1}, false, 1, 512 * KiB},
      {"bytes in all", std::vector<std::size_t>(5, 500 * KiB), false, 4, 2000 * KiB},
      {"another thread's", {1 * KiB}, true, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<void*> blocks;
    TKeptWorkMemory held{-1, 0};
    const auto give = [&] {
      for (void* block : blocks) GiveWorkMemory(block);
      held = KeptWorkMemory();
    };
    std::thread([&] {
      for (std::size_t size : row.Sizes) blocks.push_back(TakeWorkMemory(size));
      if (row.GivenElsewhere) {
        std::thread(give).join();
      } else {
        give();
      }
    }).join();
    EXPECT_EQ(held.Blocks, row.Blocks);
    EXPECT_EQ(held.Bytes, row.Bytes);
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool AddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool AddressSanitizer = false;
#endif

// A kept block must not hide a fault that a fresh allocation would show: the sanitizer sees
// a write past a reused block's request, and one after the block went back.
TEST(WorkMemoryDeathTest, TheSanitizerSeesPastAReusedRequestAndAfterTheGiveBack) {
  if (!AddressSanitizer) GTEST_SKIP() << "needs AddressSanitizer";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr std::size_t Request = 32 * 1024;
  const struct {
    const char* Name;
    std::size_t Offset;
    bool GivenBack;
  } rows[] = {{"past the request", Request + 7 * 1024, false}, {"after the give-back", 0, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_DEATH(std::thread([&] {
                   void* first = TakeWorkMemory(2 * Request);
                   GiveWorkMemory(first);
                   auto* block = static_cast<volatile std::uint8_t*>(TakeWorkMemory(Request));
                   if (block != first) std::abort();
                   if (row.GivenBack) GiveWorkMemory(const_cast<std::uint8_t*>(block));
                   block[row.Offset] = 1;
                   std::_Exit(0);
                 }).join(),
                 "use-after-poison");
  }
}

}  // namespace
