// The batch: palette entry 0 takes the picked colour, pixels and format stay, and the
// window comes back uncovered whatever happened.
#include <QTimer>

#include "classlib/filenames.h"
#include "pandrel/fixture.h"
#include "png/png_support.h"

namespace {

using BatchTest = PandrelTest;

TEST_F(BatchTest, EntryZeroTakesThePickedColourAndNothingElseChanges) {
  const TColor w = clWhite, r = clRed, g = RGB(0, 160, 0), b = RGB(0, 0, 200), k = clBlack;
  // Greys with red at entry 18, and the same with entries 0 and 18 exchanged; sixteen
  // greys, and the same with black in entry 0.
  std::vector<TColor> greys;
  for (int i = 0; i < 20; ++i) greys.push_back(RGB(i * 10 + 5, i * 10 + 5, i * 10 + 5));
  greys[18] = r;
  std::vector<TColor> greysSwapped = greys;
  std::swap(greysSwapped[0], greysSwapped[18]);
  const std::vector<TColor> greys16(greys.begin(), greys.begin() + 16);
  std::vector<TColor> greys16Black = greys16;
  greys16Black[0] = k;
  struct Row {
    const char* name;
    int bits;
    std::vector<TColor> palette;
    TColor picked;
    std::vector<TColor> expected;
  };
  const Row rows[] = {
      {"at5.bmp", 8, {w, g, b, k, g, r}, r, {r, g, b, k, g, w}},
      {"AT5.PNG", 8, {w, g, b, k, g, r}, r, {r, g, b, k, g, w}},
      {"at18.bmp", 8, greys, r, greysSwapped},
      {"at18.png", 8, greys, r, greysSwapped},
      {"at0.Bmp", 4, {r, g, b, w}, r, {r, g, b, w}},
      {"at0.png", 4, {r, g, b, w}, r, {r, g, b, w}},
      {"absent.bmp", 4, {w, g, b}, clFuchsia, {w, g, b}},
      {"absent.pNg", 8, {w, g, b}, clFuchsia, {w, g, b}},
      {"first-of-two.bmp", 8, {w, r, g, r}, r, {r, w, g, r}},
      {"first-of-two.png", 4, {w, r, g, r}, r, {r, w, g, r}},
      // Entries past the file's own are searched too (they hold black): entry 0 turns
      // black and its former colour goes where no written entry keeps it.
      {"beyond.bmp", 4, greys16, k, greys16Black},
      {"beyond.png", 4, greys16, k, greys16Black},
  };
  const std::string output = Folder("out");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const IndexedPicture source = Cycling(row.bits, row.palette);
    WritePicture(Path(row.name), source);
    const std::string sourceBytes = ReadAll(Path(row.name));
    DropOnEmptyList({Path(row.name)});
    frmMain->pColor->SetColor(row.picked);

    const std::vector<TModalShown> shown = Start(output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, Done);
    const ReadBack written = ReadPicture(output + "/" + row.name);
    const bool png = LowerCase(ExtractFileExt(row.name)) == ".png";
    EXPECT_EQ(written.Format, png ? "PNG" : "BMP");
    EXPECT_EQ(written.Picture.Bits, row.bits);
    EXPECT_EQ(written.Picture.Indices, source.Indices) << "pixels keep their indices";
    // Unused entries may follow the palette's own.
    std::vector<TColor> palette = written.Picture.Palette;
    palette.resize(std::min(palette.size(), row.expected.size()));
    EXPECT_EQ(palette, row.expected);
    EXPECT_EQ(ReadAll(Path(row.name)), sourceBytes) << "the source stays as it was";
  }
}

// Transparency per pixel goes through the batch unchanged: a palette file's tRNS (one
// transparent entry, or partial alpha) stays with the indices while entries 0 and j are
// exchanged; an RGBA file keeps its alpha channel; a grey file's transparent grey stays
// with its pixels when that grey is the picked colour. Sources are made byte by byte and
// the results judged by libpng.
TEST_F(BatchTest, PngTransparencyStaysWithEachPixel) {
  using namespace png_test;
  using Rgba = std::array<std::uint8_t, 4>;
  const int w = 5, h = 3;
  auto index = [](int x, int y) { return (x + 2 * y) % 4; };
  auto indexed = [&](int depth, int colorType, const std::string& extra) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; ++y) {
      std::string row((w * depth + 7) / 8, '\0');
      for (int x = 0; x < w; ++x) row[x * depth / 8] |= char(index(x, y) << (8 - depth - x * depth % 8));
      rows.push_back(row);
    }
    return Signature() + Ihdr(w, h, depth, colorType) + extra + Idat(Rows(rows)) + Iend();
  };
  const std::string plte = Chunk("PLTE", Bytes({255, 255, 255, 255, 0, 0, 0, 160, 0, 0, 0, 200}));
  const std::vector<Rgba> swapped = {{255, 0, 0}, {255, 255, 255}, {0, 160, 0}, {0, 0, 200}};
  std::string rgbaRows;
  std::vector<Rgba> rgbaPixels;
  for (int y = 0; y < h; ++y) {
    rgbaRows += '\0';
    for (int x = 0; x < w; ++x) {
      rgbaPixels.push_back({std::uint8_t(40 * x), std::uint8_t(90 * y), 200, std::uint8_t(60 * (x + y) % 256)});
      rgbaRows.append(reinterpret_cast<const char*>(rgbaPixels.back().data()), 4);
    }
  }
  struct Row {
    const char* name;
    std::string file;
    TColor picked;
    std::vector<Rgba> entries;  // by index; for RGBA the pixels themselves
  };
  const Row rows[] = {
      {"one-transparent.png", indexed(8, 3, plte + Chunk("tRNS", Bytes({255, 255, 0}))), clRed,
       {{255, 0, 0, 255}, {255, 255, 255, 255}, {0, 160, 0, 0}, {0, 0, 200, 255}}},
      {"partial.png", indexed(4, 3, plte + Chunk("tRNS", Bytes({0, 128, 255, 64}))), clRed,
       {{255, 0, 0, 0}, {255, 255, 255, 128}, {0, 160, 0, 255}, {0, 0, 200, 64}}},
      {"rgba.png", Signature() + Ihdr(w, h, 8, 6) + Idat(rgbaRows) + Iend(), clRed, rgbaPixels},
      // Grey 3 is transparent and picked: it moves to entry 0, the pixels of value 3 go black
      // and stay the transparent ones.
      {"grey.png", indexed(8, 0, Chunk("tRNS", Be16(3))), RGB(3, 3, 3),
       {{3, 3, 3, 255}, {1, 1, 1, 255}, {2, 2, 2, 255}, {0, 0, 0, 0}}},
  };
  const std::string output = Folder("out");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteAll(Path(row.name), row.file);
    ASSERT_TRUE(DecodeWithLibpng(row.file).Ok);
    DropOnEmptyList({Path(row.name)});
    frmMain->pColor->SetColor(row.picked);
    ASSERT_EQ(Start(output).size(), 1u);
    const Oracle written = DecodeWithLibpng(ReadAll(output + "/" + row.name));
    ASSERT_TRUE(written.Ok);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgba expected = row.entries.size() == 4 ? row.entries[index(x, y)] : row.entries[y * w + x];
        Rgba seen = written.Rgba(x, y);
        if (written.ColorType == PNG_COLOR_TYPE_PALETTE && written.Rows[y][x] < written.PaletteAlpha.size())
          seen[3] = written.PaletteAlpha[written.Rows[y][x]];
        EXPECT_EQ(seen, expected) << x << "," << y;
      }
  }
}

// A PNG's Comment texts leave the batch as they came, chunk for chunk, however many
// passes: the load's collected form, written back as one text, would grow each time.
TEST_F(BatchTest, PngCommentsPassThroughChunkForChunk) {
  using namespace png_test;
  const std::vector<std::vector<std::string>> cases = {
      {}, {"made by hand"}, {"first", "second"}, {"", "two\r\nlines"}};
  for (const std::vector<std::string>& texts : cases) {
    SCOPED_TRACE(texts.size());
    std::string source = Path("c.png");
    WriteAll(source, CommentedPng(texts));
    for (const char* pass : {"first", "second"}) {
      DropOnEmptyList({source});
      ASSERT_EQ(Start(Folder(pass)).size(), 1u);
      source = Path(pass) + "/c.png";
      EXPECT_EQ(CommentTexts(ReadAll(source)), texts) << pass;
    }
  }
}

TEST_F(BatchTest, OutputFolderMustExist) {
  WritePicture(Path("a.bmp"), Cycling(8, {clRed, clWhite}));
  Drop({Path("a.bmp")});
  for (const std::string& output : {std::string(), Path("missing"), Path("a.bmp")}) {
    const std::vector<TModalShown> shown = Start(output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text, "指定された保存先のフォルダは存在しません。");
    EXPECT_EQ(shown[0].Caption, "Pandrel");
  }
  EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"a.bmp"}) << "nothing written";
}

TEST_F(BatchTest, EmptyListEndsAtOnce) {
  const std::vector<TModalShown> shown = Start(folder_);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, Done);
  EXPECT_EQ(shown[0].Caption, "Pandrel");
  EXPECT_EQ(frmMain->pALL->Caption(), Done);
}

// While the batch lets window messages run, the covering panel shows the progress, and a
// click on start arriving then starts no second batch.
TEST_F(BatchTest, ProgressCoversTheWindowAndIgnoresAnotherStart) {
  for (const char* name : {"c.bmp", "a.png", "b.bmp"}) {
    WritePicture(Path(name), Cycling(8, {clWhite, clRed}));
    Drop({Path(name)});
  }
  std::vector<std::string> captions;
  bool covered = true;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!captions.empty() && captions.back() == frmMain->pALL->Caption()) return;
    captions.push_back(frmMain->pALL->Caption());
    covered = covered && frmMain->pALL->Visible() && frmMain->pALL->BoundsRect() == Rect(0, 0, 565, 342);
    UserClick(frmMain->btnStart);
  });
  watcher.start(0);
  const std::vector<TModalShown> shown = Start(Folder("out"));
  watcher.stop();
  ASSERT_EQ(shown.size(), 1u) << "one batch, one closing notice";
  EXPECT_EQ(captions, (std::vector<std::string>{"処理を実行しています。0/3", "処理を実行しています。1/3",
                                                "処理を実行しています。2/3"}));
  EXPECT_TRUE(covered);
  for (const char* name : {"a.png", "b.bmp", "c.bmp"})
    EXPECT_EQ(ReadPicture(Path("out/") + name).Picture.Palette.at(0), clRed) << name;
}

// A file that cannot be read ends the batch there: the files before it are written, the
// ones after it are not, the window is uncovered for the next batch, and from the moment
// the error box shows the file's entry is the list's one selected entry, at the top of the
// view where the list reaches that far.
TEST_F(BatchTest, FailureStopsAtTheFileAndUncoversTheWindow) {
  const IndexedPicture good = Cycling(8, {clWhite, clRed});
  WritePicture(Path("a.bmp"), good);
  WriteAll(Path("b.png"), "\x89PNG\r\n\x1a\n broken");
  WritePicture(Path("c.bmp"), good);
  WriteAll(Path("d.bmp"), "BM too short");
  Drop({Path("a.bmp"), Path("b.png"), Path("c.bmp"), Path("d.bmp")});
  // Twelve more before d.bmp and eight after it make a list that scrolls.
  std::vector<std::string> more, allBeforeD = {"a.bmp", "c.bmp"};
  for (char k = 'a'; k < 'a' + 20; ++k) {
    const std::string name = std::string(k < 'a' + 12 ? "c" : "e") + k + ".bmp";
    if (k < 'a' + 12) allBeforeD.push_back(name);
    WritePicture(Path(name), good);
    more.push_back(Path(name));
  }
  struct Row {
    std::string removed;
    std::vector<std::string> added;
    std::string failing;
    int top;
    std::vector<std::string> written;
  };
  const Row rows[] = {
      {"", {}, "b.png", 0, {"a.bmp"}},
      {"b.png", {}, "d.bmp", 0, {"a.bmp", "c.bmp"}},
      {"", more, "d.bmp", 14, allBeforeD},
  };
  TListBox* list = frmMain->lstFileList;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failing);
    if (!row.removed.empty()) list->Items()->Delete(list->Items()->IndexOf(Path(row.removed)));
    Drop(row.added);
    // A selection made before the batch gives way to the failing entry.
    list->SetSelected(0, true);
    const int failing = list->Items()->IndexOf(Path(row.failing));
    auto shownAlone = [&] {
      return list->SelCount() == 1 && list->Selected(failing) && list->ItemIndex() == failing &&
             list->TopIndex() == row.top;
    };
    bool aloneAtTheBox = false;
    const std::vector<TModalShown> shown =
        Start(Folder("out"), [&](const TModalShown&) { aloneAtTheBox = shownAlone(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Kind, TModalKind::ErrorBox);
    EXPECT_EQ(FilesIn(Path("out")), row.written);
    EXPECT_TRUE(aloneAtTheBox);
    EXPECT_TRUE(shownAlone()) << "after the box";
  }
}

// Written aside and renamed, a file converted into its own folder is read whole first.
TEST_F(BatchTest, OutputIntoTheSourceFolderReplacesEachFileWhole) {
  const IndexedPicture source = Cycling(8, {clWhite, RGB(1, 2, 3), clRed}, 64, 48);
  WritePicture(Path("same.bmp"), source);
  WritePicture(Path("same.png"), source);
  Drop({Path("same.bmp"), Path("same.png")});
  ASSERT_EQ(Start(folder_).size(), 1u);
  for (const char* name : {"same.bmp", "same.png"}) {
    const IndexedPicture written = ReadPicture(Path(name)).Picture;
    EXPECT_EQ(written.Indices, source.Indices) << name;
    EXPECT_EQ(std::vector<TColor>(written.Palette.begin(), written.Palette.begin() + 3),
              (std::vector<TColor>{clRed, RGB(1, 2, 3), clWhite}))
        << name;
  }
  EXPECT_EQ(FilesIn(folder_), (std::vector<std::string>{"same.bmp", "same.png"})) << "no temporary file left";
}

}  // namespace
