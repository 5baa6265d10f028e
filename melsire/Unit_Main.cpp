#include "melsire/Unit_Main.h"

#include "composer/Cells.h"
#include "composer/Pictures.h"
#include "melsire/MsgBox.h"

TfrmMain* frmMain = nullptr;

const char* const MelsireAboutText =
    "制作：シートツール工房\r"
    "  Melsire\r"
    " ver 1.00\r"
    "作：Melsire 開発チーム";

std::unique_ptr<TBitmap> SheetBitmap;
int SheetCol = 0;
int SheetRow = 0;
std::unique_ptr<TBitmap> CharaChipBitmap;
int CharaCol = 0;
int CharaRow = 0;
std::unique_ptr<TBitmap> MapChipBitmap;
int MapCol = 0;
int MapRow = 0;
std::unique_ptr<TStringList> SkeletonNames;
std::vector<TColor> SkeletonColors;
std::string PaletteSource;

namespace {

// A character block holds 3×4 cells of 24×32; the map source is laid out in 16×16 tiles.
constexpr TCellGrid BlockGrid = PlainGrid(72, 128);
constexpr TCellGrid CellGrid = PlainGrid(24, 32);
constexpr TCellGrid TileGrid = PlainGrid(16, 16);
// Where a tile lands in a cell: centred across ((24 - 16) / 2) and standing on the cell's
// bottom edge (32 - 16), as a figure stands on the ground.
constexpr TCellGrid TileInCell{24, 32, 16, 16, 4, 16};

// The sheet is picked in blocks on the character page, in cells on the map and fill
// pages, and not at all on the editor page.
const TCellGrid* SheetGridOf(int page) {
  switch (page) {
    case CharaChipPage: return &BlockGrid;
    case MapChipPage:
    case PaintPage: return &CellGrid;
    default: return nullptr;
  }
}

}  // namespace

TfrmMain::TfrmMain(TComponent* owner) : TComposerForm(owner) {
  SetUpComposerWindow(this, "Melsire", 495, 646);
  CreateSheetControls();
  CreatePages();
  CreateMenu(CONTROL_SLOT(File1), CONTROL_SLOT(N2), CONTROL_SLOT(Exit1), Handler(this, &TfrmMain::Exit1Click));
  // Melsire's colour dialog opens in its basic form.
  CreateDialogs({});
  BindFormEvents();
}

void TfrmMain::CreateSheetControls() {
  GroupBox1 = Place(new TGroupBox(this), "GroupBox1", 8, 8, 313, 289);
  GroupBox1->SetCaption("キャラチップ");
  ScrollBox1 = Place(new TScrollBox(GroupBox1), "ScrollBox1", 8, 16, 292, 260);
  imgSet = NewPictureView(ScrollBox1, "imgSet", 288, 256, Handler(this, &TfrmMain::imgSetMouseDown));

  // A fixed size, but tall enough for all three credits in the desktop's font, whose
  // lines are higher than the design's; the space down to the sheet's group is free.
  lblCR = Place(new TLabel(this), "lblCR", 328, 16, 161, 273);
  lblCR->SetAutoSize(false);
  lblCR->SetWordWrap(true);
}

void TfrmMain::CreatePages() {
  TN = Place(new TTabbedNotebook(this), "TN", 8, 304, 481, 337);
  const TNotifyEvent ticker = Handler(this, &TfrmMain::ColorTickerClick);
  const TTransferPageLayout transferLayout{289, 161, 161};

  BuildTransferPage(TN->AddPage("キャラチップ"),
                    {CONTROL_SLOT(btnMelsireChip), CONTROL_SLOT(btnOpenCharaChip), CONTROL_SLOT(ScrollBox2),
                     CONTROL_SLOT(imgCharaChip), CONTROL_SLOT(gbCharaChipCChange), CONTROL_SLOT(GroupBox2),
                     CONTROL_SLOT(Color_CharaChip), CONTROL_SLOT(cmbCharachip), CONTROL_SLOT(Label1),
                     CONTROL_SLOT(Color_CharaChip2), CONTROL_SLOT(cmbCharachip2)},
                    transferLayout,
                    {Handler(this, &TfrmMain::btnMelsireChipClick), Handler(this, &TfrmMain::btnOpenCharaChipClick),
                     Handler(this, &TfrmMain::imgCharaChipMouseDown), Handler(this, &TfrmMain::gbCharaChipCChangeClick),
                     Handler(this, &TfrmMain::cmbCharachipChange), Handler(this, &TfrmMain::cmbCharachip2Change), ticker});

  BuildTransferPage(TN->AddPage("マップチップ"),
                    {CONTROL_SLOT(btnAddMapChip), CONTROL_SLOT(btnOpenMapChip), CONTROL_SLOT(ScrollBox3),
                     CONTROL_SLOT(imgMapChip), CONTROL_SLOT(gbMapChipCChange), CONTROL_SLOT(GroupBox3),
                     CONTROL_SLOT(Color_MapChip), CONTROL_SLOT(cmbMapchip), CONTROL_SLOT(Label2),
                     CONTROL_SLOT(Color_MapChip2), CONTROL_SLOT(cmbMapchip2)},
                    transferLayout,
                    {Handler(this, &TfrmMain::btnAddMapChipClick), Handler(this, &TfrmMain::btnOpenMapChipClick),
                     Handler(this, &TfrmMain::imgMapChipMouseDown), Handler(this, &TfrmMain::gbMapChipCChangeClick),
                     Handler(this, &TfrmMain::cmbMapchipChange), Handler(this, &TfrmMain::cmbMapchip2Change), ticker});

  CreateFillPage(TN->AddPage("塗りつぶし"));
  CreateColourEditorPage(TN->AddPage("透過色エディタ"), CONTROL_SLOT(ScrollBox4),
                         // The warning under the list: beside it the line would run off the page.
                         {177, 249, 273, 256, Point(8, 290), "注意：保存、削除を行った時点で変更内容が保存されます。"},
                         Handler(this, &TfrmMain::ScrollBox4Click), Handler(this, &TfrmMain::imgSkeletonClick));

  TN->SetPageIndex(CharaChipPage);
  TN->OnChange = [this](TObject* s, int newTab, bool& allow) { TNChange(s, newTab, allow); };
  TN->OnClick = Handler(this, &TfrmMain::TNClick);
}

TNamedColourLists TfrmMain::ColourLists() const {
  return TNamedColourLists{{cmbCharachip, cmbCharachip2, cmbMapchip, cmbMapchip2}, {lstPaint, lstSkeleton}};
}

// Window, exit and about.

std::vector<std::unique_ptr<TBitmap>*> TfrmMain::SourceBitmaps() const { return {&CharaChipBitmap, &MapChipBitmap}; }

void TfrmMain::FormPaint(TObject*) {
  // After FormClose the bitmaps are gone; a late paint has nothing to show.
  if (!SheetBitmap) return;
  if (const TCellGrid* grid = SheetGridOf(TN->PageIndex()))
    ShowFramed(imgSet, SheetBitmap.get(), grid->CellRect(SheetCol, SheetRow));
  else
    ShowPlain(imgSet, SheetBitmap.get());
}

void TfrmMain::Exit1Click(TObject*) { Close(); }

void TfrmMain::mnuAboutClick(TObject*) { ShowInfoBox(MelsireAboutText, "Melsire のﾊﾞｰｼﾞｮﾝ情報"); }

// The sheet's grid, the sources, transfers and fill.

void TfrmMain::imgSetMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  const int page = TN->PageIndex();
  const TCellGrid* grid = SheetGridOf(page);
  // Without a grid a click changes nothing, not even the view.
  if (grid == nullptr) return;
  if (!SelectCell(button, X, Y, *grid, SheetCol, SheetRow)) return;
  if (page == PaintPage) FillCell(SheetBitmap.get(), grid->CellRect(SheetCol, SheetRow), Color_Paint->Color());
  FormPaint(this);
}

// The selection counts in the units of the page it was made on: reset before the page
// turns, and shown on the new page's grid once it has turned.
void TfrmMain::TNChange(TObject*, int, bool&) {
  SheetCol = 0;
  SheetRow = 0;
}

void TfrmMain::TNClick(TObject*) { FormPaint(this); }

void TfrmMain::imgCharaChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  SelectSourceCell(button, X, Y, BlockGrid, CharaCol, CharaRow, imgCharaChip, CharaChipBitmap.get());
}

void TfrmMain::imgMapChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  SelectSourceCell(button, X, Y, TileGrid, MapCol, MapRow, imgMapChip, MapChipBitmap.get());
}

void TfrmMain::btnMelsireChipClick(TObject*) {
  TransferChip(CharaChipBitmap.get(), BlockGrid.CellRect(CharaCol, CharaRow), SheetBitmap.get(),
               TopLeft(BlockGrid.CellRect(SheetCol, SheetRow)), gbCharaChipCChange->Checked(),
               Color_CharaChip->Color(), Color_CharaChip2->Color());
  FormPaint(this);
}

void TfrmMain::btnAddMapChipClick(TObject*) {
  TransferChip(MapChipBitmap.get(), TileGrid.CellRect(MapCol, MapRow), SheetBitmap.get(),
               TopLeft(TileInCell.CellRect(SheetCol, SheetRow)), gbMapChipCChange->Checked(), Color_MapChip->Color(),
               Color_MapChip2->Color());
  FormPaint(this);
}

void TfrmMain::gbCharaChipCChangeClick(TObject*) { GroupBox2->SetVisible(gbCharaChipCChange->Checked()); }

void TfrmMain::gbMapChipCChangeClick(TObject*) { GroupBox3->SetVisible(gbMapChipCChange->Checked()); }

void TfrmMain::btnOpenCharaChipClick(TObject*) {
  OpenSourcePicture(od, CharaChipBitmap.get(), imgCharaChip, CharaCol, CharaRow);
}

void TfrmMain::btnOpenMapChipClick(TObject*) { OpenSourcePicture(od, MapChipBitmap.get(), imgMapChip, MapCol, MapRow); }

// Named colours.

// The scroll box and the picture in it both open a reference picture.
void TfrmMain::ScrollBox4Click(TObject*) { OpenEyedropperPicture(od, imgSkeleton); }

void TfrmMain::imgSkeletonClick(TObject*) { OpenEyedropperPicture(od, imgSkeleton); }

void TfrmMain::cmbCharachipChange(TObject*) {
  PickNamedColour(cmbCharachip->ItemIndex(), Color_CharaChip, SkeletonColors);
}

void TfrmMain::cmbCharachip2Change(TObject*) {
  PickNamedColour(cmbCharachip2->ItemIndex(), Color_CharaChip2, SkeletonColors);
}

void TfrmMain::cmbMapchipChange(TObject*) { PickNamedColour(cmbMapchip->ItemIndex(), Color_MapChip, SkeletonColors); }

void TfrmMain::cmbMapchip2Change(TObject*) {
  PickNamedColour(cmbMapchip2->ItemIndex(), Color_MapChip2, SkeletonColors);
}
