// Melsire's own window: the help page, the about box and its message-box routine, the
// named-colour pickers of its pages, its colour dialog, its exit, and a screenshot.
#include "melsire/fixture.h"

#include <stdexcept>
#include <utility>

#include "melsire/MsgBox.h"

namespace {

// The lines of a text broken by carriage returns.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line, '\r');) lines.push_back(line);
  return lines;
}

TEST_F(MelsireTest, TheHelpPageIsLookedForBesideTheProgramNotInTheWorkingFolder) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::create_directories(Path("elsewhere"));
  std::filesystem::current_path(Path("elsewhere"));
  TAutomation::Push(TModalAnswer::Ok());
  UserChooseMenu(frmMain->mnuSearchforHelpOn);
  std::filesystem::current_path(before);

  // The shell opener alone: no message of the program's own.
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::ShellOpen);
  EXPECT_EQ(shown.Verb, "open");
  EXPECT_EQ(shown.Text, Path("help/index.html"));
  EXPECT_EQ(shown.Flags, SW_SHOWNORMAL);
}

TEST_F(MelsireTest, TheAboutBoxIsAnInformationBoxShownWithTheArrow) {
  Screen->SetCursor(crHourGlass);
  TAutomation::Push(TModalAnswer::Ok());
  UserChooseMenu(frmMain->mnuAbout);
  EXPECT_EQ(Screen->Cursor(), crHourGlass) << "the cursor comes back";
  Screen->SetCursor(crDefault);

  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::MessageBox);
  EXPECT_EQ(shown.Caption, "Melsire のﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(shown.Flags, MB_ICONINFORMATION) << "information icon, OK alone";
  EXPECT_EQ(shown.Cursor, crDefault);
  const std::vector<std::string> lines = Lines(shown.Text);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "  Melsire");
  EXPECT_EQ(lines[2], " ver 1.00");
  EXPECT_FALSE(lines[0].empty());
  EXPECT_FALSE(lines[3].empty());
}

struct BoxCase {
  const char* what;
  int flags;
  TModalAnswer answer;
  int result;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.what; }

class MessageBoxResult : public MelsireTest, public testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxResult, IsTheButtonPressedAndTheCursorComesBack) {
  const BoxCase& c = GetParam();
  Screen->SetCursor(crCross);
  TAutomation::Push(c.answer);
  EXPECT_EQ(ShowMessageBox("text", "caption", c.flags), c.result);
  EXPECT_EQ(Screen->Cursor(), crCross);
  Screen->SetCursor(crDefault);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Flags, c.flags);
  EXPECT_EQ(shown.Cursor, crDefault);
}

const BoxCase BoxCases[] = {
    {"ok", MB_ICONINFORMATION, TModalAnswer::Ok(), IDOK},
    {"no", MB_YESNO | MB_ICONQUESTION, TModalAnswer::Button(IDNO), IDNO},
    {"cancel", MB_OKCANCEL, TModalAnswer::Cancel(), IDCANCEL},
};

INSTANTIATE_TEST_SUITE_P(Boxes, MessageBoxResult, testing::ValuesIn(BoxCases), CaseName());

TEST_F(MelsireTest, ABoxThatRaisesStillGivesTheCursorBack) {
  // With no answer queued the box reports a failure; here that failure raises.
  TAutomation::SetFailureHandler([](const std::string& message) { throw std::runtime_error(message); });
  Screen->SetCursor(crHourGlass);
  EXPECT_THROW(ShowInfoBox("text", "caption"), std::runtime_error);
  const TCursor after = Screen->Cursor();
  Screen->SetCursor(crDefault);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  EXPECT_EQ(after, crHourGlass);
  TAutomation::TakeShown();
}

TEST_F(MelsireTest, EachPickerSetsItsOwnPanel) {
  WriteAll(Path("SkeletonSetting.ini"), "[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=255\ng=128\nb=192\n[Navy]\nr=0\ng=0\nb=128\n");
  frmMain->SColorF5();
  EXPECT_EQ(frmMain->lstSkeleton->Items()->Count(), 3);

  struct Picker {
    std::function<void()> choose;
    TPanel* panel;
  };
  const Picker pickers[] = {
      {[] { UserChoose(frmMain->cmbCharachip, 1); }, frmMain->Color_CharaChip},
      {[] { UserChoose(frmMain->cmbCharachip2, 1); }, frmMain->Color_CharaChip2},
      {[] { UserChoose(frmMain->cmbMapchip, 1); }, frmMain->Color_MapChip},
      {[] { UserChoose(frmMain->cmbMapchip2, 1); }, frmMain->Color_MapChip2},
      {[] { UserClickItem(frmMain->lstPaint, 1); }, frmMain->Color_Paint},
  };
  for (size_t i = 0; i < std::size(pickers); ++i) {
    pickers[i].choose();
    for (size_t j = 0; j < std::size(pickers); ++j)
      EXPECT_EQ(pickers[j].panel->Color(), j <= i ? RGB(255, 128, 192) : clFuchsia) << i << " " << j;
  }
  EXPECT_EQ(frmMain->Color_Skeleton->Color(), clFuchsia);
}

TEST_F(MelsireTest, TheColourDialogOpensInItsBasicForm) {
  TAutomation::Push(TModalAnswer::Colour(RGB(1, 2, 3)));
  UserClick(frmMain->Color_MapChip2);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::ColorDialog);
  EXPECT_EQ(shown.Flags, 0);
  EXPECT_EQ(frmMain->Color_MapChip2->Color(), RGB(1, 2, 3));
}

TEST_F(MelsireTest, TheReferencePictureOpensFromTheBoxAndFromThePicture) {
  for (TControl* control : {static_cast<TControl*>(frmMain->ScrollBox4), static_cast<TControl*>(frmMain->imgSkeleton)}) {
    TAutomation::Push(TModalAnswer::Cancel());
    UserClick(control);
    const TModalShown shown = OnlyShown();
    EXPECT_EQ(shown.Kind, TModalKind::OpenDialog) << control->Name;
  }
}

TEST_F(MelsireTest, ExitClosesTheWindowAndALatePaintTouchesNothing) {
  UserChooseMenu(frmMain->Exit1);
  EXPECT_EQ(SheetBitmap, nullptr);
  EXPECT_EQ(CharaChipBitmap, nullptr);
  EXPECT_EQ(MapChipBitmap, nullptr);
  frmMain->FormPaint(frmMain);
  frmMain->UserPaint();
}

TEST_F(MelsireTest, BeforeAnySheetIsOpenedClicksAndTransfersRaiseNothing) {
  SheetBitmap = std::make_unique<TBitmap>();
  SheetBitmap->SetPixelFormat(pf24bit);
  frmMain->FormPaint(frmMain);
  for (int page : {PaintPage, MapChipPage, CharaChipPage}) {
    UserSelectTab(frmMain->TN, page);
    ClickSheet(30, 40);
    UserClick(page == MapChipPage ? frmMain->btnAddMapChip : frmMain->btnMelsireChip);
  }
  EXPECT_TRUE(TAutomation::TakeShown().empty()) << "no error box";
  EXPECT_EQ(SheetBitmap->Width(), 0);
  EXPECT_EQ(SheetBitmap->Height(), 0);
}

TEST_F(MelsireTest, EveryButtonAndMenuEntryCarriesAGlyph) { EXPECT_EQ(WithoutGlyph(frmMain), std::vector<std::string>{}); }

TEST_F(MelsireTest, ScreenshotOfTheMainWindow) {
  OpenWith(frmMain->mnuOpen, WritePicture("sheet.bmp", 288, 256, [](int x, int y) { return RGB(x * 255 / 287, y, 128); }));
  OpenWith(frmMain->btnOpenCharaChip, WritePicture("chara.bmp", 288, 256, CharaPixel));
  ClickSheet(80, 140);
  UserMouse(frmMain->imgCharaChip, mbLeft, {}, 150, 20);
  UserClick(frmMain->gbCharaChipCChange);
  const std::pair<int, const char*> shots[] = {
      {CharaChipPage, "melsire_main.png"}, {MapChipPage, "melsire_map.png"}, {SkeletonPage, "melsire_editor.png"}};
  for (const auto& [page, file] : shots) {
    UserSelectTab(frmMain->TN, page);
    EXPECT_TRUE(GrabFormToFile(frmMain, std::string(TEST_BUILD_DIR) + "/" + file)) << file;
  }
}

}  // namespace
