// The window as the user meets it: drops on the list, removing entries, the
// preview with its eyedropper, the folder browser.
#include "classlib/forms/dialogs.h"
#include "classlib/forms/shell.h"
#include "pandrel/fixture.h"

namespace {

TEST_F(PandrelTest, DropsKeepOnlyNewPngAndBmpNamesInSortedOrder) {
  const std::string d = folder_ + "/";
  // A Japanese path whose first 254 bytes end in ".png": cut there, both names below
  // would name that other file. The second is over 300 bytes.
  std::string longName = d;
  while (longName.size() + 3 <= 250) longName += "長";
  longName += std::string(250 - longName.size(), 'n') + ".png";
  const std::string whole = longName + "_copy.bmp.png" + std::string(60, 'x') + ".bmp";
  struct Row {
    const char* what;
    std::vector<std::vector<std::string>> drops;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"duplicates without regard to case, other extensions",
       {{d + "A.PNG", d + "b.bmp", d + "c.gif", d + "A.PNG"}, {d + "a.png"}},
       {d + "A.PNG", d + "b.bmp"}},
      {"extensions in any case",
       {{d + "z.Bmp", d + "m.pNg", d + "a.png.txt", d + "noext", d + "w.jpeg", d + "bmp"}},
       {d + "m.pNg", d + "z.Bmp"}},
      {"drops merge sorted", {{d + "c.png"}, {d + "a.bmp", d + "b.png"}}, {d + "a.bmp", d + "b.png", d + "c.png"}},
      {"long names arrive whole", {{longName + "_copy.bmp.txt", whole}}, {whole}},
  };
  for (const Row& row : rows) {
    frmMain->lstFileList->Items()->Clear();
    for (const auto& drop : row.drops) Drop(drop);
    EXPECT_EQ(ListItems(), row.expected) << row.what;
  }
  EXPECT_TRUE(TAutomation::TakeShown().empty()) << "skipped without a message";
}

TEST_F(PandrelTest, BothRemovalsAskAndRemoveTheirEntriesOnlyOnYes) {
  const std::vector<std::string> names = {"/p/a.png", "/p/b.png", "/p/c.bmp", "/p/d.bmp"};
  struct Row {
    TMenuItem* entry;
    TModalResult answer;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {frmMain->mnuDelete, mrNo, names},
      {frmMain->mnuDelete, mrYes, {"/p/a.png", "/p/c.bmp"}},
      {frmMain->mnuAllDel, mrNo, names},
      {frmMain->mnuAllDel, mrYes, {}},
  };
  frmMain->pColor->SetColor(clBlue);
  frmMain->edtSavePath->SetText(folder_);
  for (const Row& row : rows) {
    DropOnEmptyList(names);
    frmMain->lstFileList->SetSelected(1, true);
    frmMain->lstFileList->SetSelected(3, true);
    TAutomation::Push(TModalAnswer::Button(row.answer));
    UserChooseMenu(row.entry);
    const TModalShown shown = OnlyShown();
    EXPECT_EQ(shown.Text, "ファイルをリスト上から削除します。よろしいですか？");
    EXPECT_EQ(shown.DlgType, mtConfirmation);
    EXPECT_EQ(shown.Flags, static_cast<int>(TMsgDlgButtons({mbYes, mbNo}).Bits));
    EXPECT_EQ(ListItems(), row.expected) << row.entry->Name << " answered " << row.answer;
  }
  EXPECT_EQ(frmMain->pColor->Color(), clBlue) << "the picked colour stays";
  EXPECT_EQ(frmMain->edtSavePath->Text(), folder_) << "the output folder stays";
}

TEST_F(PandrelTest, PreviewShowsTheClickedFileAndTheEyedropperPicksItsPixel) {
  UserMouse(frmMain->imgSpoit, mbRight, {}, 1, 1);
  EXPECT_EQ(frmMain->pColor->Color(), clRed) << "nothing to pick before the first preview";
  const std::vector<TColor> palette = {RGB(10, 20, 30), RGB(200, 100, 0), RGB(0, 128, 255), RGB(90, 90, 90)};
  const IndexedPicture picture = Cycling(8, palette);
  WritePicture(Path("a1.bmp"), picture);
  WritePicture(Path("b2.png"), picture);
  WriteAll(Path("c3.png"), "not a picture");
  Drop({Path("a1.bmp"), Path("b2.png"), Path("c3.png")});
  struct Row {
    int item;
    TMouseButton button;
    int x, y;
  };
  for (const Row& row : {Row{0, mbRight, 1, 0}, Row{1, mbLeft, 2, 1}, Row{1, mbMiddle, 6, 4}}) {
    UserClickItem(frmMain->lstFileList, row.item);
    EXPECT_EQ(frmMain->imgSpoit->BoundsRect(), Rect(0, 0, picture.Width, picture.Height));
    UserMouse(frmMain->imgSpoit, row.button, {}, row.x, row.y);
    EXPECT_EQ(frmMain->pColor->Color(), palette[picture.Indices[row.y * picture.Width + row.x]]);
  }
  // A preview that fails shows the error and keeps the earlier picture.
  TAutomation::Push(TModalAnswer::Ok());
  UserClickItem(frmMain->lstFileList, 2);
  EXPECT_EQ(TAutomation::TakeShown().at(0).Kind, TModalKind::ErrorBox);
  UserMouse(frmMain->imgSpoit, mbRight, {}, 0, 0);
  EXPECT_EQ(frmMain->pColor->Color(), palette[0]);
}

TEST_F(PandrelTest, FolderBrowserFillsTheOutputFolderUnlessCancelled) {
  const std::string chosen = Folder("out");
  // Five nested folders of 60 characters: ordinary on Linux, past the platform's 260 bytes.
  std::string deep = chosen;
  for (char c : std::string("abcde")) deep += "/" + std::string(60, c);
  const std::pair<TModalAnswer, std::string> rows[] = {
      {TModalAnswer::Folder(chosen), chosen}, {TModalAnswer::Folder(deep), deep}, {TModalAnswer::Cancel(), deep}};
  for (const auto& [answer, expected] : rows) {
    TAutomation::Push(answer);
    UserClick(frmMain->btnShow);
    const TModalShown shown = OnlyShown();
    EXPECT_EQ(shown.Caption, "フォルダを選んで下さい");
    EXPECT_EQ(shown.Flags, static_cast<int>(BIF_RETURNONLYFSDIRS));
    EXPECT_EQ(frmMain->edtSavePath->Text(), expected);
  }
}

TEST_F(PandrelTest, EveryButtonAndMenuEntryCarriesAGlyph) { EXPECT_EQ(WithoutGlyph(frmMain), std::vector<std::string>{}); }

// The window as the user sees it after a batch: list, preview, picked colour, folder.
TEST_F(PandrelTest, ScreenshotOfTheMainWindow) {
  const IndexedPicture picture = Cycling(8, {RGB(255, 0, 255), RGB(0, 160, 0), RGB(30, 30, 200)}, 120, 60);
  WritePicture(Path("shot.bmp"), picture);
  WritePicture(Path("sample.png"), picture);
  Drop({Path("shot.bmp"), Path("sample.png")});
  UserClickItem(frmMain->lstFileList, 0);
  UserMouse(frmMain->imgSpoit, mbRight, {}, 1, 0);
  const std::vector<TModalShown> shown = Start(Folder("out"));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, Done);
  EXPECT_TRUE(GrabFormToFile(frmMain, std::string(TEST_BUILD_DIR) + "/pandrel_main.png"));
}

}  // namespace
