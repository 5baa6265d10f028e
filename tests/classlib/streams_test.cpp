#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "classlib/streams.h"
#include "core_test_support.h"

using core_test::ReadAll;
using core_test::ScratchFolder;
using core_test::WriteAll;

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

TEST(StreamsTest, MemoryAndFileStreamsGiveTheSameBytesAndPositions) {
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
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE("script " + std::to_string(i));
    const std::string name = folder.Path("script" + std::to_string(i));
    TMemoryStream memory;
    std::vector<std::string> fromMemory = RunScript(memory, scripts[i]);
    std::vector<std::string> fromFile;
    {
      TFileStream file(name, fmCreate);
      fromFile = RunScript(file, scripts[i]);
    }
    EXPECT_EQ(fromMemory, fromFile);
    EXPECT_EQ(MemoryBytes(memory), ReadAll(name));
  }
}

TEST(StreamsTest, MemoryStreamBeforeItsStartMovesNothing) {
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

TEST(StreamsTest, ExactTransfersThatComeUpShortRaiseTheLibraryTexts) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
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
    try {
      stream->ReadBuffer(buffer, 3);
      ADD_FAILURE() << "no error";
    } catch (const EReadError& e) {
      EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
    EXPECT_NO_THROW(stream->ReadBuffer(buffer, 0));
  }

  // A stream opened for reading refuses writes; so does a memory stream before its start.
  memory.SetPosition(-1);
  for (TStream* stream : std::initializer_list<TStream*>{&memory, &reading}) {
    SCOPED_TRACE(stream->ClassName());
    try {
      stream->WriteBuffer("xy", 2);
      ADD_FAILURE() << "no error";
    } catch (const EWriteError& e) {
      EXPECT_STREQ(e.what(), "ストリームへの書き込みエラー");
    }
  }
  EXPECT_EQ(ReadAll(name), "abc");
}

TEST(StreamsTest, FileStreamsThatCannotOpenNameTheFile) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::string missing = folder.Path("missing.bin");
  const std::string inMissingFolder = folder.Path("no/such/folder.bin");
  ::mkdir(folder.Path("dir").c_str(), 0755);
  struct Case {
    std::string name;
    std::uint16_t mode;
    std::string message;
  };
  const std::vector<Case> cases = {
      {missing, fmOpenRead, "ファイル " + missing + " は開けません"},
      {folder.Path("dir"), fmOpenRead, "ファイル " + folder.Path("dir") + " は開けません"},
      {inMissingFolder, fmCreate, "ファイル " + inMissingFolder + " を作成できません"},
      {folder.Path("dir"), fmCreate, "ファイル " + folder.Path("dir") + " を作成できません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      TFileStream stream(c.name, c.mode);
      ADD_FAILURE() << "opened";
    } catch (const EFileStreamError& e) {
      EXPECT_EQ(e.Message, c.message);
      EXPECT_STREQ(e.ClassName(), c.mode == fmCreate ? "EFCreateError" : "EFOpenError");
    }
  }
}

TEST(StreamsTest, CreateWithASharingFlagStillCreates) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::string name = folder.Path("created.bin");
  {
    TFileStream stream(name, fmCreate | fmShareDenyWrite);
    stream.WriteBuffer("new", 3);
  }
  EXPECT_EQ(ReadAll(name), "new");
}

TEST(StreamsTest, CopyAndFileRoundTrip) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
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

TEST(StreamsTest, AtomicWriteKeepsTheOldFileWhenTheWriterFails) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::string name = folder.Path("target.bin");
  WriteAll(name, "old contents");
  EXPECT_THROW(WriteFileAtomically(name,
                                   [](TStream* out) {
                                     out->WriteBuffer("partial", 7);
                                     throw EAbort("stopped");
                                   }),
               EAbort);
  EXPECT_EQ(ReadAll(name), "old contents");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"target.bin"});
}

TEST(StreamsTest, AtomicWriteKeepsTheOldFileWhenTheDiskRefuses) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::string name = folder.Path("target.bin");
  WriteAll(name, "old");
  {
    core_test::FileSizeLimit limit(16);
    EXPECT_THROW(WriteFileAtomically(name, [](TStream* out) { out->WriteBuffer("far more than sixteen bytes", 27); }),
                 EWriteError);
  }
  EXPECT_EQ(ReadAll(name), "old");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"target.bin"});
}

TEST(StreamsTest, AtomicWriteThatCannotPlaceTheFileRaisesAndCleansUp) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  WriteAll(folder.Path("plain"), "a file, not a folder");
  ::mkdir(folder.Path("taken").c_str(), 0755);
  for (const std::string& name : {folder.Path("plain/settings.ini"), folder.Path("taken"), folder.Path("gone/x.bin")}) {
    SCOPED_TRACE(name);
    try {
      WriteFileAtomically(name, [](TStream* out) { out->WriteBuffer("new", 3); });
      ADD_FAILURE() << "written";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message, "ファイル " + name + " を作成できません");
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain", "taken"}));
  }
  EXPECT_EQ(ReadAll(folder.Path("plain")), "a file, not a folder");
}

TEST(StreamsTest, AtomicWriteKeepsThePermissionsOfTheReplacedFile) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::string name = folder.Path("private.bin");
  WriteAll(name, "old");
  ::chmod(name.c_str(), 0640);
  WriteFileAtomically(name, [](TStream* out) { out->WriteBuffer("new", 3); });
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadAll(name), "new");
}
