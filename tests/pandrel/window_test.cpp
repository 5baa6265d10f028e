// The window as the user meets it: its layout, drops on the list, removing entries, the
// preview with its eyedropper, and the folder browser.
#include <string>
#include <vector>

#include "classlib/filenames.h"
#include "classlib/forms/dialogs.h"
#include "classlib/forms/shell.h"
#include "pandrel/fixture.h"

namespace {

TEST_F(PandrelTest, ControlsStandWhereTheWindowPutsThem) {
  EXPECT_EQ(frmMain->Caption(), "Pandrel");
  EXPECT_EQ(frmMain->ClientWidth(), 565);
  EXPECT_EQ(frmMain->ClientHeight(), 342);
  EXPECT_EQ(frmMain->BorderStyle(), bsSingle);
  EXPECT_EQ(frmMain->BorderIcons().Bits, TBorderIcons({biSystemMenu, biMinimize}).Bits);
  struct Row {
    TControl* control;
    TRect bounds;
    std::string caption;
  };
  const Row rows[] = {
      {frmMain->lstFileList, Rect(8, 8, 561, 145), ""},
      {frmMain->ScrollBox, Rect(8, 152, 345, 337), ""},
      {frmMain->imgSpoit, Rect(0, 0, 33, 25), ""},
      {frmMain->btnStart, Rect(352, 200, 553, 233), "色変換スタート(&S)"},
      {frmMain->btnShow, Rect(536, 168, 556, 188), "..."},
      {frmMain->edtSavePath, Rect(352, 168, 529, 188), ""},
      {frmMain->edtSavePath->EditLabel(), Rect(352, 168 - 3 - frmMain->edtSavePath->EditLabel()->Height(), 0, 0),
       "保存先(&P)："},
      {frmMain->pColor, Rect(352, 296, 449, 337), ""},
      {frmMain->pALL, Rect(0, 0, 565, 342), "pALL"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control->Name);
    EXPECT_EQ(row.control->Left(), row.bounds.Left);
    EXPECT_EQ(row.control->Top(), row.bounds.Top);
    if (row.bounds.Right != 0) {
      EXPECT_EQ(row.control->BoundsRect().Right, row.bounds.Right);
      EXPECT_EQ(row.control->BoundsRect().Bottom, row.bounds.Bottom);
    }
    EXPECT_EQ(row.control->Caption(), row.caption);
  }
  EXPECT_FALSE(frmMain->pALL->Visible());
  EXPECT_EQ(frmMain->pColor->Color(), clRed);
  EXPECT_TRUE(frmMain->lstFileList->MultiSelect());
  EXPECT_EQ(frmMain->lstFileList->PopupMenu(), frmMain->PopupMenu);
  ASSERT_EQ(frmMain->PopupMenu->Items()->Count(), 2);
  EXPECT_EQ(frmMain->mnuDelete->Caption(), "選択したファイルをリストから削除(&D)");
  EXPECT_EQ(frmMain->mnuAllDel->Caption(), "すべてのファイルをリストから削除(&A)");
  EXPECT_EQ(frmMain->imgSpoit->Cursor(), crCross);
}

TEST_F(PandrelTest, DropsKeepOnlyNewPngAndBmpNamesInSortedOrder) {
  const std::string d = folder_ + "/";
  // A name cut at 254 bytes keeps whatever extension the first 254 bytes end with.
  const std::string longStem = d + std::string(254 - d.size() - 4, 'n');
  struct Row {
    const char* what;
    std::vector<std::vector<std::string>> drops;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"duplicates and other extensions",
       {{d + "A.PNG", d + "b.bmp", d + "c.gif", d + "A.PNG"}, {d + "a.png"}},
       {d + "A.PNG", d + "b.bmp"}},
      {"extensions in any case, sorted",
       {{d + "z.Bmp", d + "m.pNg", d + "a.png.txt", d + "noext", d + "w.jpeg", d + "bmp"}},
       {d + "m.pNg", d + "z.Bmp"}},
      {"several drops merge in order", {{d + "c.png"}, {d + "a.bmp", d + "b.png"}}, {d + "a.bmp", d + "b.png", d + "c.png"}},
      {"long names cut at 254 bytes",
       {{longStem + ".png" + "_more.txt", longStem + ".txt" + "_more.png"}},
       {longStem + ".png"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    frmMain->lstFileList->Items()->Clear();
    for (const auto& drop : row.drops) Drop(drop);
    EXPECT_EQ(ListItems(), row.expected);
  }
  EXPECT_EQ(ListItems().front().size(), 254u);
  EXPECT_TRUE(TAutomation::TakeShown().empty()) << "skipped without a message";
}

TEST_F(PandrelTest, DeleteAsksAndRemovesOnlyTheSelectedEntries) {
  const std::vector<std::string> names = {"/p/a.png", "/p/b.png", "/p/c.bmp", "/p/d.bmp"};
  struct Row {
    int answer;
    std::vector<std::string> expected;
  };
  const Row rows[] = {{mrNo, names}, {mrYes, {"/p/a.png", "/p/c.bmp"}}};
  for (const Row& row : rows) {
    frmMain->lstFileList->Items()->Clear();
    Drop(names);
    frmMain->lstFileList->SetSelected(1, true);
    frmMain->lstFileList->SetSelected(3, true);
    TAutomation::Push(TModalAnswer::Button(row.answer));
    UserChooseMenu(frmMain->mnuDelete);
    const std::vector<TModalShown> shown = TAutomation::TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Kind, TModalKind::MessageDlg);
    EXPECT_EQ(shown[0].Text, "ファイルをリスト上から削除します。よろしいですか？");
    EXPECT_EQ(shown[0].DlgType, mtConfirmation);
    EXPECT_EQ(shown[0].Flags, static_cast<int>(TMsgDlgButtons({mbYes, mbNo}).Bits));
    EXPECT_EQ(ListItems(), row.expected);
  }
}

TEST_F(PandrelTest, PreviewShowsTheClickedFileAndTheEyedropperPicksItsPixel) {
  EXPECT_EQ(frmMain->pColor->Color(), clRed);
  const std::vector<TColor> palette = {RGB(10, 20, 30), RGB(200, 100, 0), RGB(0, 128, 255), RGB(90, 90, 90)};
  const IndexedPicture picture = Cycling(8, palette);
  WriteBmp(Path("one.bmp"), picture);
  WritePng(Path("two.png"), picture);
  Drop({Path("one.bmp"), Path("two.png")});
  struct Row {
    int item;
    TMouseButton button;
    int x, y;
  };
  const Row rows[] = {{0, mbRight, 1, 0}, {1, mbLeft, 2, 1}, {1, mbMiddle, 6, 4}};
  for (const Row& row : rows) {
    UserClickItem(frmMain->lstFileList, row.item);
    EXPECT_EQ(frmMain->imgSpoit->Width(), picture.Width);
    EXPECT_EQ(frmMain->imgSpoit->Height(), picture.Height);
    UserMouse(frmMain->imgSpoit, row.button, {}, row.x, row.y);
    EXPECT_EQ(frmMain->pColor->Color(), palette[picture.Indices[row.y * picture.Width + row.x]]);
  }
  EXPECT_TRUE(TAutomation::TakeShown().empty());
}

TEST_F(PandrelTest, PreviewThatFailsKeepsTheEarlierPicture) {
  WriteBmp(Path("good.bmp"), Cycling(4, {clBlack, clWhite}));
  WriteWholeFile(Path("bad.png"), "not a picture");
  Drop({Path("good.bmp"), Path("bad.png")});
  UserClickItem(frmMain->lstFileList, 1);
  TAutomation::Push(TModalAnswer::Ok());
  UserClickItem(frmMain->lstFileList, 0);
  EXPECT_EQ(TakeTexts(TModalKind::ErrorBox).size(), 1u);
  EXPECT_EQ(frmMain->imgSpoit->Width(), 7);
  UserMouse(frmMain->imgSpoit, mbRight, {}, 1, 0);
  EXPECT_EQ(frmMain->pColor->Color(), clWhite);
}

TEST_F(PandrelTest, FolderBrowserFillsTheOutputFolderUnlessCancelled) {
  const std::string chosen = Folder("out");
  struct Row {
    TModalAnswer answer;
    std::string expected;
  };
  const Row rows[] = {{TModalAnswer::Folder(chosen), chosen}, {TModalAnswer::Cancel(), chosen}};
  for (const Row& row : rows) {
    TAutomation::Push(row.answer);
    UserClick(frmMain->btnShow);
    const std::vector<TModalShown> shown = TAutomation::TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Kind, TModalKind::FolderBrowser);
    EXPECT_EQ(shown[0].Caption, "フォルダを選んで下さい");
    EXPECT_EQ(shown[0].Flags, static_cast<int>(BIF_RETURNONLYFSDIRS));
    EXPECT_EQ(frmMain->edtSavePath->Text(), row.expected);
  }
}

TEST_F(PandrelTest, ScreenshotOfTheMainWindow) {
  WriteBmp(Path("shot.bmp"), Cycling(8, {RGB(255, 0, 255), RGB(0, 160, 0), RGB(30, 30, 200)}, 120, 60));
  Drop({Path("shot.bmp"), "/zz/pictures/sample.png"});
  UserClickItem(frmMain->lstFileList, 0);
  UserMouse(frmMain->imgSpoit, mbRight, {}, 1, 0);
  frmMain->edtSavePath->SetText(folder_);
  EXPECT_TRUE(GrabFormToFile(frmMain, std::string(TEST_BUILD_DIR) + "/pandrel_main.png"));
}

}  // namespace
