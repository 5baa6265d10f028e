// The sheet's grid by notebook page, the reset on every page change, where blocks and
// tiles land, and which page's colour panels a transfer reads.
#include "melsire/fixture.h"

namespace {

constexpr TColor Paint = RGB(0, 200, 0);
const TRect NoFrame = Rect(0, 0, 0, 0);

struct ClickCase {
  const char* what;
  int page;
  TMouseButton button;
  int col;
  int row;
  TRect frame;
  bool filled;
};

void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.what; }

class SheetClick : public MelsireTest, public testing::WithParamInterface<ClickCase> {};

TEST_P(SheetClick, SelectsByThePagesGrid) {
  const ClickCase& c = GetParam();
  frmMain->Color_Paint->SetColor(Paint);
  if (c.page != CharaChipPage) UserSelectTab(frmMain->TN, c.page);
  // A mark on the view that only a repaint takes away.
  frmMain->imgSet->Picture()->Bitmap()->Canvas()->SetPixels(200, 200, clBlack);

  ClickSheet(80, 140, c.button);
  EXPECT_EQ(SheetCol, c.col);
  EXPECT_EQ(SheetRow, c.row);
  const bool repainted = PixelOf(frmMain->imgSet, 200, 200) != clBlack;
  EXPECT_EQ(repainted, c.frame.Width() > 0 && c.button == mbLeft);
  if (repainted) ExpectSheetFrame(c.frame);

  EXPECT_TRUE(SameAs(SheetBitmap.get(), 288, 256, [&](int x, int y) {
    return c.filled && Inside(Rect(72, 128, 96, 160), x, y) ? Paint : Ground(x, y);
  }));
}

const ClickCase ClickCases[] = {
    {"blocksOnTheCharacterPage", CharaChipPage, mbLeft, 1, 1, Rect(72, 128, 144, 256), false},
    {"cellsOnTheMapPage", MapChipPage, mbLeft, 3, 4, Rect(72, 128, 96, 160), false},
    {"cellsFilledOnTheFillPage", PaintPage, mbLeft, 3, 4, Rect(72, 128, 96, 160), true},
    {"nothingOnTheEditorPage", SkeletonPage, mbLeft, 0, 0, NoFrame, false},
    {"rightButtonIgnored", CharaChipPage, mbRight, 0, 0, NoFrame, false},
    {"middleButtonIgnoredOnTheFillPage", PaintPage, mbMiddle, 0, 0, NoFrame, false},
};

INSTANTIATE_TEST_SUITE_P(Pages, SheetClick, testing::ValuesIn(ClickCases), CaseName());

struct TurnCase {
  const char* what;
  int from;
  int to;
  TRect frame;
};

void PrintTo(const TurnCase& c, std::ostream* os) { *os << c.what; }

class PageTurn : public MelsireTest, public testing::WithParamInterface<TurnCase> {};

TEST_P(PageTurn, ResetsTheSelectionAndFramesItOnTheNewGrid) {
  const TurnCase& c = GetParam();
  if (c.from != CharaChipPage) UserSelectTab(frmMain->TN, c.from);
  ClickSheet(80, 140);
  UserSelectTab(frmMain->TN, c.to);
  EXPECT_EQ(frmMain->TN->PageIndex(), c.to);
  EXPECT_EQ(SheetCol, 0);
  EXPECT_EQ(SheetRow, 0);
  ExpectSheetFrame(c.frame);
  // Nothing is left of the frame the click drew on the old page.
  for (const TPoint& p : {Point(80, 140), Point(72, 128)})
    EXPECT_EQ(PixelOf(frmMain->imgSet, p.X, p.Y), PixelOf(SheetBitmap.get(), p.X, p.Y));
}

const TurnCase TurnCases[] = {
    {"blocksToCells", CharaChipPage, MapChipPage, Rect(0, 0, 24, 32)},
    {"cellsToBlocks", MapChipPage, CharaChipPage, Rect(0, 0, 72, 128)},
    {"sameUnitsStillReset", MapChipPage, PaintPage, Rect(0, 0, 24, 32)},
    {"toTheEditorNoFrame", PaintPage, SkeletonPage, NoFrame},
    {"backFromTheEditor", SkeletonPage, CharaChipPage, Rect(0, 0, 72, 128)},
};

INSTANTIATE_TEST_SUITE_P(Turns, PageTurn, testing::ValuesIn(TurnCases), CaseName());

struct TransferCase {
  const char* what;
  int page;
  TPoint sheetClick;
  TPoint sourceClick;
  TRect dest;
  TPoint sourceOrigin;
};

void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.what; }

class Transfer : public MelsireTest, public testing::WithParamInterface<TransferCase> {};

TEST_P(Transfer, CopiesExactlyIntoItsPlace) {
  const TransferCase& c = GetParam();
  const bool blocks = c.page == CharaChipPage;
  OpenWith(frmMain->btnOpenCharaChip, WritePicture("chara.bmp", 144, 256, CharaPixel));
  OpenWith(frmMain->btnOpenMapChip, WritePicture("map.bmp", 64, 32, MapPixel));
  if (!blocks) UserSelectTab(frmMain->TN, c.page);
  ClickSheet(c.sheetClick.X, c.sheetClick.Y);
  UserMouse(blocks ? frmMain->imgCharaChip : frmMain->imgMapChip, mbLeft, {}, c.sourceClick.X, c.sourceClick.Y);
  UserClick(blocks ? frmMain->btnMelsireChip : frmMain->btnAddMapChip);

  const PixelFn source = blocks ? PixelFn(CharaPixel) : PixelFn(MapPixel);
  EXPECT_TRUE(SameAs(SheetBitmap.get(), 288, 256, [&](int x, int y) {
    return Inside(c.dest, x, y) ? source(c.sourceOrigin.X + x - c.dest.Left, c.sourceOrigin.Y + y - c.dest.Top)
                                : Ground(x, y);
  }));
  EXPECT_EQ(PixelOf(frmMain->imgSet, c.dest.Left + 5, c.dest.Top + 5), PixelOf(SheetBitmap.get(), c.dest.Left + 5, c.dest.Top + 5))
      << "the view shows the transfer";
}

const TransferCase TransferCases[] = {
    {"blockIntoBlock", CharaChipPage, Point(80, 140), Point(80, 10), Rect(72, 128, 144, 256), Point(72, 0)},
    {"tileIntoFirstCell", MapChipPage, Point(0, 0), Point(17, 0), Rect(4, 16, 20, 32), Point(16, 0)},
    {"tileIntoCellOneTwo", MapChipPage, Point(30, 70), Point(40, 20), Rect(28, 80, 44, 96), Point(32, 16)},
};

INSTANTIATE_TEST_SUITE_P(Places, Transfer, testing::ValuesIn(TransferCases), CaseName());

// Each page's panels act on its own transfers only: the sources hold both pages'
// from-colours side by side, each page replaces its own by its own, and only a checked
// page replaces at all.
constexpr TColor CharaFrom = RGB(200, 100, 50);
constexpr TColor CharaTo = RGB(1, 2, 3);
constexpr TColor MapFrom = RGB(50, 100, 200);
constexpr TColor MapTo = RGB(4, 5, 6);
TColor Speckled(int x, int y) {
  if (x == y) return CharaFrom;
  if (x == y + 1) return MapFrom;
  return CharaPixel(x, y);
}

struct PanelCase {
  const char* what;
  bool charaChecked;
  bool mapChecked;
};

void PrintTo(const PanelCase& c, std::ostream* os) { *os << c.what; }

class PanelsPerPage : public MelsireTest, public testing::WithParamInterface<PanelCase> {};

TEST_P(PanelsPerPage, ReplaceOnlyInTheirOwnTransfers) {
  const PanelCase& c = GetParam();
  const std::string speckled = WritePicture("speckled.bmp", 144, 128, Speckled);
  OpenWith(frmMain->btnOpenCharaChip, speckled);
  OpenWith(frmMain->btnOpenMapChip, speckled);
  frmMain->Color_CharaChip->SetColor(CharaFrom);
  frmMain->Color_CharaChip2->SetColor(CharaTo);
  frmMain->Color_MapChip->SetColor(MapFrom);
  frmMain->Color_MapChip2->SetColor(MapTo);
  if (c.charaChecked) UserClick(frmMain->gbCharaChipCChange);
  if (c.mapChecked) UserClick(frmMain->gbMapChipCChange);
  EXPECT_EQ(frmMain->GroupBox2->Visible(), c.charaChecked);
  EXPECT_EQ(frmMain->GroupBox3->Visible(), c.mapChecked);

  // The block goes to block (0, 0); the tile to cell (3, 0), clear of the block.
  UserClick(frmMain->btnMelsireChip);
  UserSelectTab(frmMain->TN, MapChipPage);
  ClickSheet(80, 0);
  UserClick(frmMain->btnAddMapChip);

  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(PixelOf(SheetBitmap.get(), i, i), c.charaChecked ? CharaTo : CharaFrom) << "block " << i;
    EXPECT_EQ(PixelOf(SheetBitmap.get(), i + 1, i), MapFrom) << "block " << i;
    EXPECT_EQ(PixelOf(SheetBitmap.get(), 76 + i, 16 + i), CharaFrom) << "tile " << i;
    EXPECT_EQ(PixelOf(SheetBitmap.get(), 77 + i, 16 + i), c.mapChecked ? MapTo : MapFrom) << "tile " << i;
  }
  EXPECT_EQ(PixelOf(SheetBitmap.get(), 5, 0), CharaPixel(5, 0));
}

const PanelCase PanelCases[] = {
    {"characterPageOnly", true, false},
    {"mapPageOnly", false, true},
    {"both", true, true},
};

INSTANTIATE_TEST_SUITE_P(Checks, PanelsPerPage, testing::ValuesIn(PanelCases), CaseName());

TEST_F(MelsireTest, OpeningTheMapSourceLeavesTheCharacterSelection) {
  OpenWith(frmMain->btnOpenCharaChip, WritePicture("chara.bmp", 144, 256, CharaPixel));
  UserMouse(frmMain->imgCharaChip, mbLeft, {}, 100, 130);
  UserSelectTab(frmMain->TN, MapChipPage);
  OpenWith(frmMain->btnOpenMapChip, WritePicture("map.bmp", 64, 32, MapPixel));
  UserMouse(frmMain->imgMapChip, mbLeft, {}, 40, 20);
  OpenWith(frmMain->btnOpenMapChip, Path("map.bmp"));

  EXPECT_EQ(CharaCol, 1);
  EXPECT_EQ(CharaRow, 1);
  EXPECT_EQ(PixelOf(frmMain->imgCharaChip, 72, 128), Inverted(CharaPixel(72, 128)));
  EXPECT_EQ(MapCol, 0);
  EXPECT_EQ(MapRow, 0);
  EXPECT_EQ(PixelOf(frmMain->imgMapChip, 32, 16), MapPixel(32, 16)) << "the map source shows no frame";
}

}  // namespace
