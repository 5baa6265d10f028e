// The batch: palette entry 0 takes the picked colour, pixels and format stay, and the
// window comes back uncovered whatever happened.
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "classlib/filenames.h"
#include "pandrel/fixture.h"

namespace {

const std::string Done = "すべての処理が終わりました。";
const std::string NoFolder = "指定された保存先のフォルダは存在しません。";

class BatchTest : public PandrelTest {
protected:
  // Starts the batch into the folder and answers the one window that ends it (the closing
  // notice, the folder notice or the error box); what was shown.
  std::vector<TModalShown> Start(const std::string& output) {
    frmMain->edtSavePath->SetText(output);
    TAutomation::Push(TModalAnswer::Ok());
    UserClick(frmMain->btnStart);
    return TAutomation::TakeShown();
  }
};

TEST_F(BatchTest, EntryZeroTakesThePickedColourAndNothingElseChanges) {
  const TColor w = clWhite, r = clRed, g = RGB(0, 160, 0), b = RGB(0, 0, 200), k = clBlack, y = RGB(90, 90, 90);
  // Twenty greys with red at entry 18, and the same with entries 0 and 18 exchanged.
  std::vector<TColor> greys, greysSwapped;
  for (int i = 0; i < 20; ++i) greys.push_back(RGB(i * 10 + 5, i * 10 + 5, i * 10 + 5));
  greys[18] = r;
  greysSwapped = greys;
  std::swap(greysSwapped[0], greysSwapped[18]);
  struct Row {
    const char* name;
    int bits;
    std::vector<TColor> palette;
    TColor picked;
    std::vector<TColor> expected;
  };
  const Row rows[] = {
      {"at5.bmp", 8, {w, g, b, k, y, r}, r, {r, g, b, k, y, w}},
      {"AT5.PNG", 8, {w, g, b, k, y, r}, r, {r, g, b, k, y, w}},
      {"at0.Bmp", 4, {r, g, b, w}, r, {r, g, b, w}},
      {"at0.png", 4, {r, g, b, w}, r, {r, g, b, w}},
      {"absent.bmp", 4, {w, g, b}, clFuchsia, {w, g, b}},
      {"absent.pNg", 8, {w, g, b}, clFuchsia, {w, g, b}},
      {"at18.bmp", 8, greys, r, greysSwapped},
      {"at18.png", 8, greys, r, greysSwapped},
      {"first-of-two.bmp", 8, {w, r, g, r}, r, {r, w, g, r}},
      {"first-of-two.png", 4, {w, r, g, r}, r, {r, w, g, r}},
      // Entries past the file's own are searched too (they hold black): entry 0 turns
      // black and its former colour goes where no written entry keeps it.
      {"beyond.bmp", 8, {r, g, b, w}, k, {k, g, b, w}},
  };
  const std::string output = Folder("out");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    frmMain->lstFileList->Items()->Clear();
    const IndexedPicture source = Cycling(row.bits, row.palette);
    const std::string path = Path(row.name);
    const bool png = LowerCase(ExtractFileExt(path)) == ".png";
    png ? WritePng(path, source) : WriteBmp(path, source);
    const std::string sourceBytes = ReadWholeFile(path);
    Drop({path});
    frmMain->pColor->SetColor(row.picked);

    const std::vector<TModalShown> shown = Start(output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, Done);

    const ReadBack written = ReadIndexed(output + "/" + row.name);
    EXPECT_EQ(written.Format, png ? "PNG" : "BMP");
    EXPECT_EQ(written.Picture.Bits, row.bits);
    EXPECT_EQ(written.Picture.Indices, source.Indices) << "pixels keep their indices";
    // A PNG's palette may come out with unused entries after the file's own.
    std::vector<TColor> palette = written.Picture.Palette;
    if (png && palette.size() > row.expected.size()) palette.resize(row.expected.size());
    EXPECT_EQ(palette, row.expected);
    EXPECT_EQ(ReadWholeFile(path), sourceBytes) << "the source stays as it was";
    EXPECT_EQ(frmMain->pColor->Color(), row.picked);
  }
}

TEST_F(BatchTest, OutputFolderMustExist) {
  const IndexedPicture source = Cycling(8, {clRed, clWhite});
  WriteBmp(Path("a.bmp"), source);
  Drop({Path("a.bmp")});
  for (const std::string& output : {std::string(), Path("missing"), Path("a.bmp")}) {
    SCOPED_TRACE(output);
    const std::vector<TModalShown> shown = Start(output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, NoFolder);
    EXPECT_EQ(shown[0].Caption, "Pandrel");
    EXPECT_FALSE(frmMain->pALL->Visible());
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << "nothing written";
}

TEST_F(BatchTest, EmptyListEndsAtOnce) {
  const std::vector<TModalShown> shown = Start(folder_);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, Done);
  EXPECT_EQ(shown[0].Caption, "Pandrel");
  EXPECT_FALSE(frmMain->pALL->Visible());
  EXPECT_EQ(frmMain->pALL->Caption(), Done);
}

// While the batch lets window messages run, the covering panel shows the progress, and a
// click on start arriving then starts no second batch.
TEST_F(BatchTest, ProgressCoversTheWindowAndIgnoresAnotherStart) {
  for (const char* name : {"c.bmp", "a.png", "b.bmp"}) {
    const std::string path = Path(name);
    ExtractFileExt(path) == ".png" ? WritePng(path, Cycling(8, {clWhite, clRed})) : WriteBmp(path, Cycling(8, {clWhite, clRed}));
    Drop({path});
  }
  std::vector<std::string> captions;
  bool covered = true;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!captions.empty() && captions.back() == frmMain->pALL->Caption()) return;
    captions.push_back(frmMain->pALL->Caption());
    covered = covered && frmMain->pALL->Visible() && frmMain->pALL->Width() == frmMain->ClientWidth() &&
              frmMain->pALL->Height() == frmMain->ClientHeight();
    UserClick(frmMain->btnStart);
  });
  watcher.start(0);
  const std::vector<TModalShown> shown = Start(Folder("out"));
  watcher.stop();
  ASSERT_EQ(shown.size(), 1u) << "one batch, one closing notice";
  EXPECT_EQ(shown[0].Text, Done);
  const std::vector<std::string> expected = {"処理を実行しています。0/3", "処理を実行しています。1/3",
                                             "処理を実行しています。2/3"};
  EXPECT_EQ(captions, expected);
  EXPECT_TRUE(covered);
  EXPECT_FALSE(frmMain->pALL->Visible());
  for (const char* name : {"a.png", "b.bmp", "c.bmp"})
    EXPECT_EQ(ReadIndexed(Path("out/") + name).Picture.Palette.at(0), clRed) << name;
}

// A file that cannot be read ends the batch there: the files before it are written, the
// ones after it are not, and the window is uncovered for the next batch.
TEST_F(BatchTest, FailureStopsAtTheFileAndUncoversTheWindow) {
  const IndexedPicture source = Cycling(8, {clWhite, clRed});
  WriteBmp(Path("a.bmp"), source);
  WriteWholeFile(Path("b.png"), "\x89PNG\r\n\x1a\n broken");
  WriteBmp(Path("c.bmp"), source);
  WriteWholeFile(Path("d.bmp"), "BM too short");
  Drop({Path("a.bmp"), Path("b.png"), Path("c.bmp"), Path("d.bmp")});
  const std::string output = Folder("out");
  struct Row {
    const char* removed;  // the entry taken off the list before the run
    std::vector<const char*> written;
  };
  const Row rows[] = {{nullptr, {"a.bmp"}}, {"b.png", {"a.bmp", "c.bmp"}}};
  for (const Row& row : rows) {
    if (row.removed != nullptr) frmMain->lstFileList->Items()->Delete(frmMain->lstFileList->Items()->IndexOf(Path(row.removed)));
    std::filesystem::remove_all(output);
    std::filesystem::create_directories(output);
    const std::vector<TModalShown> shown = Start(output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Kind, TModalKind::ErrorBox);
    EXPECT_FALSE(frmMain->pALL->Visible());
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(output)) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, std::vector<std::string>(row.written.begin(), row.written.end()));
  }
}

// Written aside and renamed, a file converted into its own folder is read whole first.
TEST_F(BatchTest, OutputIntoTheSourceFolderReplacesEachFileWhole) {
  const IndexedPicture source = Cycling(8, {clWhite, RGB(1, 2, 3), clRed}, 64, 48);
  WriteBmp(Path("same.bmp"), source);
  WritePng(Path("same.png"), source);
  Drop({Path("same.bmp"), Path("same.png")});
  frmMain->pColor->SetColor(clRed);
  ASSERT_EQ(Start(folder_).size(), 1u);
  for (const char* name : {"same.bmp", "same.png"}) {
    const ReadBack written = ReadIndexed(Path(name));
    EXPECT_EQ(written.Picture.Indices, source.Indices) << name;
    ASSERT_GE(written.Picture.Palette.size(), 3u) << name;
    EXPECT_EQ(std::vector<TColor>(written.Picture.Palette.begin(), written.Picture.Palette.begin() + 3),
              (std::vector<TColor>{clRed, RGB(1, 2, 3), clWhite}))
        << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 2) << "no temporary file left";
}

}  // namespace
