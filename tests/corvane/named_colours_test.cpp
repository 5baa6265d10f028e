// The named colours: the settings file read into the six lists, the editor's save and
// delete, the pickers, the eyedropper and the colour dialog.
#include "corvane/fixture.h"

#include "classlib/forms/dialogs.h"

namespace {

class NamedColoursTest : public CorvaneTest {
protected:
  // The six lists, in one order.
  std::vector<TStringList*> Lists() const {
    return {frmMain->cmbSkeletonBarachip->Items(), frmMain->cmbSkeletonBarachip2->Items(),
            frmMain->cmbCharaChip->Items(),        frmMain->cmbCharaChip2->Items(),
            frmMain->lstPaint->Items(),            frmMain->lstSkeleton->Items()};
  }
  void ExpectTitles(const std::vector<std::string>& titles) {
    for (TStringList* list : Lists()) EXPECT_EQ(core_test::Items(*list), titles);
    EXPECT_EQ(frmMain->lstSkeleton->ItemIndex(), -1);
    EXPECT_EQ(frmMain->cmbCharaChip->ItemIndex(), -1);
  }
  void WriteIni(const std::string& text) {
    WriteAll(IniPath(), text);
    RecreateWindow();
  }
  void Store(const std::string& title, TColor colour) {
    frmMain->Color_Skeleton->SetColor(colour);
    frmMain->edtSkeletonName->SetText(title);
    UserClick(frmMain->btnSkeletonAdd);
  }
  std::vector<TPanel*> Panels() const {
    return {frmMain->Color_BaraChip, frmMain->Color_BaraChip2, frmMain->Color_CharaChip,
            frmMain->Color_CharaChip2, frmMain->Color_Paint, frmMain->Color_Skeleton};
  }
};

TEST_F(NamedColoursTest, WithoutAFileEveryListIsEmptyAndTheFirstSaveCreatesIt) {
  ASSERT_FALSE(std::filesystem::exists(IniPath()));
  ExpectTitles({});
  for (TPanel* panel : Panels()) EXPECT_EQ(panel->Color(), clFuchsia) << panel->Name;

  Store("Black", RGB(1, 2, 3));
  EXPECT_EQ(ReadAll(IniPath()), "[Black]\nr=1\ng=2\nb=3\n");
  ExpectTitles({"Black"});
  EXPECT_EQ(SkeletonColors, std::vector<TColor>{RGB(1, 2, 3)});
}

TEST_F(NamedColoursTest, SectionsKeepTheirFileOrderInEveryList) {
  WriteIni("[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=255\ng=128\nb=192\n[Navy]\nr=0\ng=0\nb=128\n");
  ExpectTitles({"Black", "Pink", "Navy"});
  const TColor pink = RGB(255, 128, 192);
  for (TComboBox* picker :
       {frmMain->cmbSkeletonBarachip, frmMain->cmbSkeletonBarachip2, frmMain->cmbCharaChip, frmMain->cmbCharaChip2})
    UserChoose(picker, 1);
  UserClickItem(frmMain->lstPaint, 1);
  // The editor's own panel follows only its own list.
  for (TPanel* panel : Panels())
    EXPECT_EQ(panel->Color(), panel == frmMain->Color_Skeleton ? clFuchsia : pink) << panel->Name;

  UserClickItem(frmMain->lstSkeleton, 2);
  EXPECT_EQ(frmMain->Color_Skeleton->Color(), RGB(0, 0, 128));
  EXPECT_EQ(frmMain->edtSkeletonName->Text(), "Navy");
}

TEST_F(NamedColoursTest, ValuesCountByTheirLowByteAndMissingKeysReadAsZero) {
  struct Case {
    const char* section;
    TColor colour;
  };
  const Case cases[] = {
      {"[NoGreen]\nr=10\nb=30\n", RGB(10, 0, 30)},
      {"[Wide]\nr=256\ng=300\nb=-1\n", RGB(0, 44, 255)},
      {"[Hex]\nr=0x10\ng=$20\nb=junk\n", RGB(16, 32, 0)},
      {"[Empty]\n", RGB(0, 0, 0)},
  };
  std::string text;
  for (const Case& c : cases) text += c.section;
  WriteIni(text);
  ASSERT_EQ(SkeletonColors.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(SkeletonColors[i], cases[i].colour) << cases[i].section;
}

TEST_F(NamedColoursTest, SavingAnExistingTitleOverwritesItInPlace) {
  WriteIni("[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=255\ng=128\nb=192\n");
  UserClickItem(frmMain->lstSkeleton, 1);
  Store("PINK", RGB(7, 8, 9));
  ExpectTitles({"Black", "Pink"});
  EXPECT_EQ(SkeletonColors[1], RGB(7, 8, 9));

  Store("Navy", RGB(0, 0, 128));
  ExpectTitles({"Black", "Pink", "Navy"});
  const std::string text = ReadAll(IniPath());
  EXPECT_EQ(text.find("[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=7\ng=8\nb=9\n"), 0u) << text;
  EXPECT_NE(text.find("[Navy]\nr=0\ng=0\nb=128\n"), std::string::npos) << text;
}

TEST_F(NamedColoursTest, DeleteErasesTheSelectedTitleAndNeedsASelection) {
  const std::string text = "[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=255\ng=128\nb=192\n";
  WriteIni(text);
  AnswerErrorBox();
  UserClick(frmMain->btnSkeletonDelete);
  EXPECT_EQ(TakeErrors(), std::vector<std::string>{ErrorBoxText(Format(SListIndexError, {-1}))});
  EXPECT_EQ(ReadAll(IniPath()), text) << "nothing erased";
  ExpectTitles({"Black", "Pink"});

  UserClickItem(frmMain->lstSkeleton, 0);
  UserClick(frmMain->btnSkeletonDelete);
  ExpectTitles({"Pink"});
  EXPECT_EQ(SkeletonColors, std::vector<TColor>{RGB(255, 128, 192)});
}

TEST_F(NamedColoursTest, AFailedWriteShowsTheErrorAndReloadsNothing) {
  // A folder where the file should be makes every write fail.
  std::filesystem::create_directories(IniPath());
  RecreateWindow();
  AnswerErrorBox();
  Store("Black", RGB(1, 2, 3));
  EXPECT_EQ(TakeErrors(), std::vector<std::string>{ErrorBoxText(Format(SIniFileWriteError, {IniPath()}))});
  ExpectTitles({});
}

TEST_F(NamedColoursTest, TheEyedropperPicksWithTheRightButtonOnly) {
  WriteRgbPng(Path("reference.png"), 40, 20, [](int x, int y) { return RGB(x, y, 77); });
  TAutomation::Push(TModalAnswer::File(Path("reference.png")));
  UserClick(frmMain->imgSkeleton);
  EXPECT_EQ(frmMain->imgSkeleton->Width(), 40);
  EXPECT_EQ(frmMain->imgSkeleton->Height(), 20);

  UserMouse(frmMain->imgSkeleton, mbRight, {}, 30, 12);
  EXPECT_EQ(frmMain->Color_Skeleton->Color(), RGB(30, 12, 77));
  // The scroll box's own click opens a picture as well; a cancelled dialog changes nothing.
  TAutomation::Push(TModalAnswer::Cancel());
  UserClick(frmMain->ScrollBox2);
  EXPECT_EQ(frmMain->imgSkeleton->Width(), 40);
  EXPECT_TRUE(TakeErrors().empty());
}

TEST_F(NamedColoursTest, AReferencePictureNamedOtherwiseGoesToThePictureLoader) {
  WriteRgbPng(Path("reference.Png"), 8, 8, [](int, int) { return RGB(5, 6, 7); });
  WriteRgbPng(Path("photo.jpg"), 8, 8, [](int, int) { return RGB(5, 6, 7); });
  TAutomation::Push(TModalAnswer::File(Path("reference.Png")));
  UserClick(frmMain->imgSkeleton);
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_EQ(frmMain->imgSkeleton->Width(), 8);
  // The loader keeps its own graphic class, which the eyedropper cannot read.
  AnswerErrorBox();
  UserMouse(frmMain->imgSkeleton, mbRight, {}, 1, 1);
  EXPECT_EQ(TakeErrors().size(), 1u);
  EXPECT_EQ(frmMain->Color_Skeleton->Color(), clFuchsia);

  TAutomation::Push(TModalAnswer::File(Path("photo.jpg")));
  AnswerErrorBox();
  UserClick(frmMain->imgSkeleton);
  EXPECT_EQ(TakeErrors(), std::vector<std::string>{ErrorBoxText(Format(SUnknownExtension, {"jpg"}))});
}

TEST_F(NamedColoursTest, TheColourDialogStartsAtThePanelsColourAndOnlyOkChangesIt) {
  for (TPanel* panel : Panels()) {
    SCOPED_TRACE(panel->Name);
    panel->SetColor(RGB(1, 2, 3));
    TAutomation::Push(TModalAnswer::Cancel());
    UserClick(panel);
    EXPECT_EQ(panel->Color(), RGB(1, 2, 3));
    TAutomation::Push(TModalAnswer::Colour(RGB(4, 5, 6)));
    UserClick(panel);
    EXPECT_EQ(panel->Color(), RGB(4, 5, 6));
    const std::vector<TModalShown> shown = TAutomation::TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].Kind, TModalKind::ColorDialog);
    EXPECT_EQ(shown[0].Color, RGB(1, 2, 3));
    EXPECT_NE(shown[0].Flags & (1 << cdFullOpen), 0) << "opens with its custom-colour part";
  }
}

}  // namespace
