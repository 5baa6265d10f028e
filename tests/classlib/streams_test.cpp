#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <variant>

#include "core_test_support.h"

using core_test::Raised;
using core_test::ReadAll;
using core_test::WriteAll;
using StreamsTest = core_test::ScratchTest;

namespace {

// One step of a stream script; its outcome is recorded so two kinds of stream can be compared.
struct WriteStep { std::string bytes; };
struct ReadStep { std::int64_t count; };
struct SeekStep { std::int64_t offset; TSeekOrigin origin; };
struct SizeStep { std::int64_t size; };
using Step = std::variant<WriteStep, ReadStep, SeekStep, SizeStep>;

std::vector<std::string> RunScript(TStream& stream, const std::vector<Step>& script) {
  std::vector<std::string> outcome;
  for (const Step& step : script) {
    std::string line;
    if (const auto* w = std::get_if<WriteStep>(&step)) {
      line = "w" + std::to_string(stream.Write(w->bytes.data(), static_cast<std::int64_t>(w->bytes.size())));
    } else if (const auto* r = std::get_if<ReadStep>(&step)) {
      std::string buffer(static_cast<std::size_t>(r->count), '?');
      const std::int64_t n = stream.Read(buffer.data(), r->count);
      line = "r" + std::to_string(n) + ":" + buffer.substr(0, static_cast<std::size_t>(n < 0 ? 0 : n));
    } else if (const auto* s = std::get_if<SeekStep>(&step)) {
      line = "s" + std::to_string(stream.Seek(s->offset, s->origin));
    } else {
      stream.SetSize(std::get<SizeStep>(step).size);
      line = "z";
    }
    outcome.push_back(line + " @" + std::to_string(stream.Position()) + " #" + std::to_string(stream.Size()));
  }
  return outcome;
}

std::string MemoryBytes(TMemoryStream& stream) {
  return std::string(static_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
}

}  // namespace

TEST_F(StreamsTest, MemoryAndFileStreamsGiveTheSameBytesAndPositions) {
  const std::vector<std::vector<Step>> scripts = {
      {WriteStep{"hello"}, SeekStep{0, TSeekOrigin::soBeginning}, ReadStep{3}, ReadStep{10}, ReadStep{1}},
      {WriteStep{"abcdef"}, SeekStep{-2, TSeekOrigin::soEnd}, ReadStep{5}, SeekStep{-4, TSeekOrigin::soCurrent},
       WriteStep{"XY"}, SeekStep{0, TSeekOrigin::soBeginning}, ReadStep{6}},
      // A write after a seek past the end fills the gap with zeros.
      {WriteStep{"ab"}, SeekStep{6, TSeekOrigin::soBeginning}, WriteStep{"cd"}, SeekStep{0, TSeekOrigin::soBeginning},
       ReadStep{8}},
      {WriteStep{"0123456789"}, SizeStep{4}, ReadStep{2}, SeekStep{0, TSeekOrigin::soBeginning}, ReadStep{9},
       SizeStep{6}, SeekStep{0, TSeekOrigin::soBeginning}, ReadStep{9}},
      {ReadStep{4}, SeekStep{0, TSeekOrigin::soEnd}, WriteStep{""}},
  };
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE("script " + std::to_string(i));
    const std::string name = folder.Path("script" + std::to_string(i));
    TMemoryStream memory;
    std::vector<std::string> fromMemory = RunScript(memory, scripts[i]);
    std::vector<std::string> fromFile;
    {
      // A sharing flag beside fmCreate must not turn creating into opening.
      TFileStream file(name, i % 2 ? fmCreate | fmShareDenyWrite : fmCreate);
      fromFile = RunScript(file, scripts[i]);
    }
    EXPECT_EQ(fromMemory, fromFile);
    EXPECT_EQ(MemoryBytes(memory), ReadAll(name));
  }
}

TEST(StreamsMemory, BeforeItsStartMovesNothing) {
  TMemoryStream stream;
  stream.Write("abcd", 4);
  stream.Seek(-3, TSeekOrigin::soBeginning);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 8), 0);
  EXPECT_EQ(stream.Write("x", 1), 0);
  EXPECT_EQ(MemoryBytes(stream), "abcd");
  stream.SetPosition(std::numeric_limits<std::int64_t>::max() - 1);
  EXPECT_EQ(stream.Write("xyz", 3), 0);
  EXPECT_EQ(stream.Size(), 4);
}

TEST_F(StreamsTest, ExactTransfersThatComeUpShortRaiseTheLibraryTexts) {
  const std::string name = folder.Path("short.bin");
  WriteAll(name, "abc");
  char buffer[8] = {};
  TMemoryStream memory;
  memory.Write("abc", 3);
  memory.SetPosition(1);
  TFileStream reading(name, fmOpenRead | fmShareDenyWrite);
  reading.SetPosition(1);
  for (TStream* stream : std::initializer_list<TStream*>{&memory, &reading}) {
    SCOPED_TRACE(stream->ClassName());
    EXPECT_EQ(Raised([&] { stream->ReadBuffer(buffer, 3); }), "EReadError: ストリームからの読み込みエラー");
    EXPECT_NO_THROW(stream->ReadBuffer(buffer, 0));
  }
  // A stream opened for reading refuses writes; so does a memory stream before its start.
  memory.SetPosition(-1);
  for (TStream* stream : std::initializer_list<TStream*>{&memory, &reading}) {
    SCOPED_TRACE(stream->ClassName());
    EXPECT_EQ(Raised([&] { stream->WriteBuffer("xy", 2); }), "EWriteError: ストリームへの書き込みエラー");
  }
  EXPECT_EQ(ReadAll(name), "abc");
}

TEST_F(StreamsTest, FileStreamsThatCannotOpenNameTheFile) {
  const std::string missing = folder.Path("missing.bin"), dir = folder.Path("dir");
  const std::string inMissingFolder = folder.Path("no/such/folder.bin");
  ::mkdir(dir.c_str(), 0755);
  EXPECT_EQ(Raised([&] { TFileStream s(missing, fmOpenRead); }), "EFOpenError: ファイル " + missing + " は開けません");
  EXPECT_EQ(Raised([&] { TFileStream s(dir, fmOpenRead); }), "EFOpenError: ファイル " + dir + " は開けません");
  EXPECT_EQ(Raised([&] { TFileStream s(inMissingFolder, fmCreate); }),
            "EFCreateError: ファイル " + inMissingFolder + " を作成できません");
  EXPECT_EQ(Raised([&] { TFileStream s(dir, fmCreate); }), "EFCreateError: ファイル " + dir + " を作成できません");
}

TEST_F(StreamsTest, CopyAndFileRoundTrip) {
  std::string payload(200000, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 251);

  TMemoryStream source;
  source.WriteBuffer(payload.data(), static_cast<std::int64_t>(payload.size()));
  source.SetPosition(123);
  TMemoryStream whole;
  EXPECT_EQ(whole.CopyFrom(&source, 0), static_cast<std::int64_t>(payload.size()));
  EXPECT_EQ(MemoryBytes(whole), payload);

  source.SetPosition(10);
  TMemoryStream part;
  part.CopyFrom(&source, 70000);
  EXPECT_EQ(MemoryBytes(part), payload.substr(10, 70000));
  EXPECT_THROW(part.CopyFrom(&source, static_cast<std::int64_t>(payload.size())), EReadError);

  const std::string name = folder.Path("round.bin");
  whole.SaveToFile(name);
  TMemoryStream loaded;
  loaded.LoadFromFile(name);
  EXPECT_EQ(MemoryBytes(loaded), payload);
  EXPECT_EQ(loaded.Position(), 0);
}

// A save that fails half-way must never cost the user the file that was there before.
TEST_F(StreamsTest, AtomicWriteReplacesTheFileWholeOrNotAtAll) {
  const std::string target = folder.Path("target.bin");
  WriteAll(folder.Path("plain"), "a file, not a folder");
  ::mkdir(folder.Path("taken").c_str(), 0755);
  const auto writeNew = [](TStream* out) { out->WriteBuffer("new", 3); };
  const auto cannotCreate = [&](const std::string& name) { return "EFCreateError: ファイル " + folder.Path(name) + " を作成できません"; };
  struct Case {
    std::string name;
    std::function<void(TStream*)> writer;
    rlim_t sizeLimit;  // 0: none
    std::string raised;
  };
  const std::vector<Case> cases = {
      {target, [](TStream* out) { out->WriteBuffer("partial", 7); throw EAbort("stopped"); }, 0, "EAbort: stopped"},
      {target, [](TStream* out) { out->WriteBuffer("far more than sixteen bytes", 27); }, 16,
       "EWriteError: ストリームへの書き込みエラー"},
      {folder.Path("plain/settings.ini"), writeNew, 0, cannotCreate("plain/settings.ini")},
      {folder.Path("taken"), writeNew, 0, cannotCreate("taken")},
      {folder.Path("gone/x.bin"), writeNew, 0, cannotCreate("gone/x.bin")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raised);
    WriteAll(target, "old");
    {
      std::unique_ptr<core_test::FileSizeLimit> limit;
      if (c.sizeLimit) limit = std::make_unique<core_test::FileSizeLimit>(c.sizeLimit);
      EXPECT_EQ(Raised([&] { WriteFileAtomically(c.name, c.writer); }), c.raised);
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain", "taken", "target.bin"}));
  }
  EXPECT_EQ(ReadAll(folder.Path("plain")), "a file, not a folder");

  // A successful replacement keeps the permissions the user gave the old file.
  ::chmod(target.c_str(), 0640);
  WriteFileAtomically(target, writeNew);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadAll(target), "new");

  // A name that is a symbolic link writes its target and stays a link, also when the
  // target is not there yet.
  ::symlink("target.bin", folder.Path("link").c_str());
  ::symlink(folder.Path("made.bin").c_str(), folder.Path("dangling").c_str());
  WriteFileAtomically(folder.Path("link"), [](TStream* out) { out->WriteBuffer("via link", 8); });
  WriteFileAtomically(folder.Path("dangling"), writeNew);
  EXPECT_EQ(ReadAll(target), "via link");
  EXPECT_EQ(ReadAll(folder.Path("made.bin")), "new");
  for (const char* name : {"link", "dangling"}) {
    ASSERT_EQ(::lstat(folder.Path(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
  }

  // The longest name the folder takes can be written too.
  const std::string longest = folder.Path(std::string(NAME_MAX - 4, 'n') + ".png");
  WriteFileAtomically(longest, writeNew);
  EXPECT_EQ(ReadAll(longest), "new");
}
