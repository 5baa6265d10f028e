// Composing: selections by mouse, the character-chip columns, transfers with and without
// colour replacement, and the fill page.
#include "corvane/fixture.h"

namespace {

constexpr TColor Sheet = RGB(10, 20, 30);
TColor Blank(int, int) { return Sheet; }
// Every pixel of a source tells where it came from.
TColor Origin(int x, int y) { return RGB(x, y, 99); }

class ComposeTest : public CorvaneTest {
protected:
  void SetUp() override {
    CorvaneTest::SetUp();
    OpenSheet(WritePicture("sheet.bmp", 64, 48, Blank));
    const std::string source = WritePicture("source.bmp", 96, 48, Origin);
    OpenBaraChip(source);
    OpenCharaChip(source);
  }

  // The sheet's cell (col, row) holds the 16×16 square of the source at (left, top).
  void ExpectCellFrom(int col, int row, int left, int top) {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        ASSERT_EQ(PixelOf(SheetBitmap.get(), 16 * col + x, 16 * row + y), Origin(left + x, top + y)) << x << "," << y;
  }
};

TEST_F(ComposeTest, OnlyTheLeftButtonSelects) {
  struct View {
    TImage* image;
    int& col;
    int& row;
  };
  for (const View& view : {View{frmMain->imgSet, SheetCol, SheetRow}, View{frmMain->imgBaraChip, BaraCol, BaraRow},
                           View{frmMain->imgCharaChip, CharaCol, CharaRow}}) {
    SCOPED_TRACE(view.image->Name);
    const std::unique_ptr<TBitmap> before = std::make_unique<TBitmap>();
    before->Assign(view.image->Picture()->Bitmap());
    for (TMouseButton button : {mbRight, mbMiddle}) {
      UserMouse(view.image, button, {}, 40, 20);
      EXPECT_EQ(view.col, 0);
      EXPECT_EQ(view.row, 0);
      EXPECT_EQ(PixelOf(view.image, 40, 20), PixelOf(before.get(), 40, 20)) << "no frame moved";
    }
    UserMouse(view.image, mbLeft, {}, 40, 20);
    EXPECT_EQ(view.row, 1);
  }
}

TEST_F(ComposeTest, CharacterChipsLieFourPixelsIntoTwentyFourPixelColumns) {
  struct Case {
    int clickX;
    int col;
    int chipLeft;
  };
  for (const Case& c : {Case{0, 0, 4}, Case{23, 0, 4}, Case{24, 1, 28}, Case{47, 1, 28}, Case{48, 2, 52}}) {
    SCOPED_TRACE(c.clickX);
    UserMouse(frmMain->imgCharaChip, mbLeft, {}, c.clickX, 17);
    EXPECT_EQ(CharaCol, c.col);
    EXPECT_EQ(CharaRow, 1);
    // The frame runs along the chip, not along the column.
    EXPECT_EQ(PixelOf(frmMain->imgCharaChip, c.chipLeft, 16), Origin(c.chipLeft, 16) ^ 0xFFFFFF);
    EXPECT_EQ(PixelOf(frmMain->imgCharaChip, c.chipLeft + 15, 31), Origin(c.chipLeft + 15, 31) ^ 0xFFFFFF);
    EXPECT_EQ(PixelOf(frmMain->imgCharaChip, c.chipLeft - 1, 16), Origin(c.chipLeft - 1, 16));
    EXPECT_EQ(PixelOf(frmMain->imgCharaChip, c.chipLeft + 16, 16), Origin(c.chipLeft + 16, 16));

    ClickSheet(20, 36);
    UserClick(frmMain->btnMelsireChip);
    ExpectCellFrom(1, 2, c.chipLeft, 16);
  }
}

TEST_F(ComposeTest, LooseChipTransferCopiesTheChipIntoTheSelectedCell) {
  UserMouse(frmMain->imgBaraChip, mbLeft, {}, 50, 40);
  ClickSheet(33, 1);
  UserClick(frmMain->btnAddBaraChip);
  ExpectCellFrom(2, 0, 48, 32);
  // The neighbours are untouched, and a second transfer overwrites the first.
  EXPECT_EQ(PixelOf(SheetBitmap.get(), 31, 0), Sheet);
  EXPECT_EQ(PixelOf(SheetBitmap.get(), 48, 16), Sheet);
  UserMouse(frmMain->imgBaraChip, mbLeft, {}, 0, 0);
  UserClick(frmMain->btnAddBaraChip);
  ExpectCellFrom(2, 0, 0, 0);
}

struct ReplaceCase {
  const char* what;
  bool checked;
  TColor from;
  TColor to;
  // Which source pixels (of the chip at 0,0) end up as `to`.
  std::function<bool(int x, int y)> replaced;
  friend void PrintTo(const ReplaceCase& c, std::ostream* out) { *out << c.what; }
};

// The chip at 0,0 of this source: one exact from-colour pixel per row at x = y, and
// pixels one step away from it in each channel beside it.
constexpr TColor From = RGB(200, 100, 50);
constexpr TColor To = RGB(1, 2, 3);
TColor Speckled(int x, int y) {
  if (x == y) return From;
  if (x == y + 1) return RGB(201, 100, 50);
  if (x == y + 2) return RGB(200, 99, 50);
  if (x == y + 3) return RGB(200, 100, 51);
  return Origin(x, y);
}

class Replacement : public CorvaneTest, public testing::WithParamInterface<ReplaceCase> {};

TEST_P(Replacement, ReplacesExactlyTheFromColour) {
  const ReplaceCase& c = GetParam();
  OpenSheet(WritePicture("sheet.bmp", 64, 48, Blank));
  const std::string speckled = WritePicture("speckled.bmp", 32, 32, Speckled);
  for (int page : {0, 1}) {
    SCOPED_TRACE(page);
    TCheckBox* check = page == 0 ? frmMain->gbBaraChipCChange : frmMain->gbCharaChipCChange;
    TGroupBox* group = page == 0 ? frmMain->GroupBox1 : frmMain->GroupBox2;
    TPanel* fromPanel = page == 0 ? frmMain->Color_BaraChip : frmMain->Color_CharaChip;
    TPanel* toPanel = page == 0 ? frmMain->Color_BaraChip2 : frmMain->Color_CharaChip2;
    TButton* transfer = page == 0 ? frmMain->btnAddBaraChip : frmMain->btnMelsireChip;
    const int chipLeft = page == 0 ? 0 : 4;
    if (page == 0)
      OpenBaraChip(speckled);
    else
      OpenCharaChip(speckled);

    EXPECT_FALSE(group->Visible());
    if (c.checked) UserClick(check);
    EXPECT_EQ(group->Visible(), c.checked);
    fromPanel->SetColor(c.from);
    toPanel->SetColor(c.to);
    ClickSheet(16 * page, 0);
    UserClick(transfer);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const TColor expected = c.replaced(chipLeft + x, y) ? c.to : Speckled(chipLeft + x, y);
        ASSERT_EQ(PixelOf(SheetBitmap.get(), 16 * page + x, y), expected) << x << "," << y;
      }
    EXPECT_EQ(PixelOf(page == 0 ? BaraChipBitmap.get() : CharaChipBitmap.get(), 5, 5), From)
        << "the source keeps its colours";
  }
}

const ReplaceCase ReplaceCases[] = {
    {"off", false, From, To, [](int, int) { return false; }},
    {"exact", true, From, To, [](int x, int y) { return x == y; }},
    {"absent", true, RGB(9, 9, 9), To, [](int, int) { return false; }},
    {"same", true, From, From, [](int, int) { return false; }},
    {"oneStepAway", true, RGB(201, 100, 50), To, [](int x, int y) { return x == y + 1; }},
};

INSTANTIATE_TEST_SUITE_P(Cases, Replacement, testing::ValuesIn(ReplaceCases), CaseName());

TEST_F(ComposeTest, TheFillPageFillsTheWholeCellAndOtherPagesOnlySelect) {
  const TColor paint = RGB(0, 200, 0);
  frmMain->Color_Paint->SetColor(paint);
  ClickSheet(20, 20);
  EXPECT_EQ(PixelOf(SheetBitmap.get(), 20, 20), Sheet) << "page 0 only selects";

  UserSelectTab(frmMain->tab, 2);
  EXPECT_TRUE(PaintMode);
  ClickSheet(20, 20);
  EXPECT_TRUE(
      SameAs(SheetBitmap.get(), 64, 48, [&](int x, int y) { return Inside(Rect(16, 16, 32, 32), x, y) ? paint : Sheet; }));
  // The frame shows on the view, on the filled cell.
  EXPECT_EQ(PixelOf(frmMain->imgSet, 16, 16), paint ^ 0xFFFFFF);
  EXPECT_EQ(PixelOf(frmMain->imgSet, 20, 20), paint);

  for (int page : {3, 1, 0}) {
    UserSelectTab(frmMain->tab, page);
    EXPECT_FALSE(PaintMode) << page;
    ClickSheet(40, 40);
    EXPECT_EQ(PixelOf(SheetBitmap.get(), 40, 40), Sheet);
  }
}

TEST_F(ComposeTest, APaintAfterTheWindowClosedTouchesNoFreedBitmap) {
  UserChooseMenu(frmMain->mnuExit);
  EXPECT_EQ(SheetBitmap, nullptr);
  frmMain->FormPaint(frmMain);
  frmMain->UserPaint();
}

}  // namespace
