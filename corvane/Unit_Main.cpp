#include "corvane/Unit_Main.h"

#include "colour/Unit_DColor.h"
#include "composer/Cells.h"
#include "composer/Credits.h"
#include "composer/Pictures.h"
#include "composer/WindowParts.h"

TfrmMain* frmMain = nullptr;

std::unique_ptr<TBitmap> SheetBitmap;
int SheetCol = 0;
int SheetRow = 0;
std::unique_ptr<TBitmap> BaraChipBitmap;
int BaraCol = 0;
int BaraRow = 0;
std::unique_ptr<TBitmap> CharaChipBitmap;
int CharaCol = 0;
int CharaRow = 0;
bool PaintMode = false;
std::unique_ptr<TStringList> SkeletonNames;
std::vector<TColor> SkeletonColors;
std::string PaletteSource;

namespace {

// The chipset and the loose chips share the 16×16 grid; a character chip is the 16×16
// square 4 pixels into its 24-pixel column.
constexpr TCellGrid SheetGrid = PlainGrid(16, 16);
constexpr TCellGrid BaraGrid = PlainGrid(16, 16);
constexpr TCellGrid CharaGrid{24, 16, 16, 16, 4, 0};
constexpr int FillPage = 2;

}  // namespace

TfrmMain::TfrmMain(TComponent* owner) : TComposerForm(owner) {
  SetUpComposerWindow(this, "Corvane", 686, 639);
  CreateSheetControls();
  CreatePages();
  CreateMenu(CONTROL_SLOT(mnuFile), CONTROL_SLOT(mnuN), CONTROL_SLOT(mnuExit), Handler(this, &TfrmMain::mnuExitClick));
  // Corvane's colour dialog opens with its custom-colour part shown.
  CreateDialogs({cdFullOpen});
  BindFormEvents();
}

void TfrmMain::CreateSheetControls() {
  G_Set = Place(new TGroupBox(this), "G_Set", 8, 8, 505, 281);
  G_Set->SetCaption("チップセット");
  // The sheet's panel does not scroll: a larger sheet shows clipped.
  P_Set = Place(new TPanel(G_Set), "P_Set", 5, 13, 484, 260);
  P_Set->SetBorderStyle(bsSingle);
  P_Set->SetBevelOuter(bvNone);
  imgSet = NewPictureView(P_Set, "imgSet", 480, 256, Handler(this, &TfrmMain::imgSetMouseDown));

  lblCR = Place(new TLabel(this), "lblCR", 520, 16, 158, 13);
  lblCR->SetWordWrap(true);
}

void TfrmMain::CreatePages() {
  tab = Place(new TTabbedNotebook(this), "tab", 8, 296, 673, 337);
  const TNotifyEvent ticker = Handler(this, &TfrmMain::ColorTickerClick);

  BuildTransferPage(tab->AddPage("バラチップ"),
                    {CONTROL_SLOT(btnAddBaraChip), CONTROL_SLOT(btnOpenBaraChip), CONTROL_SLOT(ScrollBox0),
                     CONTROL_SLOT(imgBaraChip), CONTROL_SLOT(gbBaraChipCChange), CONTROL_SLOT(GroupBox1),
                     CONTROL_SLOT(Color_BaraChip), CONTROL_SLOT(cmbSkeletonBarachip), CONTROL_SLOT(Label1),
                     CONTROL_SLOT(Color_BaraChip2), CONTROL_SLOT(cmbSkeletonBarachip2)},
                    {481, 161, 161},
                    {Handler(this, &TfrmMain::btnAddBaraChipClick), Handler(this, &TfrmMain::btnOpenBaraChipClick),
                     Handler(this, &TfrmMain::imgBaraChipMouseDown), Handler(this, &TfrmMain::gbBaraChipCChangeClick),
                     Handler(this, &TfrmMain::cmbSkeletonBarachipChange),
                     Handler(this, &TfrmMain::cmbSkeletonBarachip2Change), ticker});

  BuildTransferPage(tab->AddPage("キャラチップ"),
                    {CONTROL_SLOT(btnMelsireChip), CONTROL_SLOT(btnOpenCharaChip), CONTROL_SLOT(ScrollBox1),
                     CONTROL_SLOT(imgCharaChip), CONTROL_SLOT(gbCharaChipCChange), CONTROL_SLOT(GroupBox2),
                     CONTROL_SLOT(Color_CharaChip), CONTROL_SLOT(cmbCharaChip), CONTROL_SLOT(Label2),
                     CONTROL_SLOT(Color_CharaChip2), CONTROL_SLOT(cmbCharaChip2)},
                    {289, 185, 209},
                    {Handler(this, &TfrmMain::btnMelsireChipClick), Handler(this, &TfrmMain::btnOpenCharaChipClick),
                     Handler(this, &TfrmMain::imgCharaChipMouseDown), Handler(this, &TfrmMain::gbCharaChipCChangeClick),
                     Handler(this, &TfrmMain::cmbCharaChipChange), Handler(this, &TfrmMain::cmbCharaChip2Change),
                     ticker});

  CreateFillPage(tab->AddPage("塗りつぶし"));
  // The scroll box and the picture in it both open the reference picture.
  CreateColourEditorPage(tab->AddPage("透過色エディタ"), CONTROL_SLOT(ScrollBox2),
                         {193, 417, 449, 244, {208, 286}, "注意：追加、変更、削除を行った時点で変更内容が保存されます。"},
                         Handler(this, &TfrmMain::SkeletonSpoit), Handler(this, &TfrmMain::SkeletonSpoit));

  tab->SetPageIndex(0);
  tab->OnChange = [this](TObject* s, int newTab, bool& allow) { tabChange(s, newTab, allow); };
}

TNamedColourLists TfrmMain::ColourLists() const {
  return TNamedColourLists{{cmbSkeletonBarachip, cmbSkeletonBarachip2, cmbCharaChip, cmbCharaChip2},
                           {lstPaint, lstSkeleton}};
}

// Window, sources, exit and about.

std::vector<std::unique_ptr<TBitmap>*> TfrmMain::SourceBitmaps() const { return {&BaraChipBitmap, &CharaChipBitmap}; }

void TfrmMain::FormPaint(TObject*) {
  // After FormClose the bitmaps are gone; a late paint has nothing to show.
  if (!SheetBitmap) return;
  ShowFramed(imgSet, SheetBitmap.get(), SheetGrid.CellRect(SheetCol, SheetRow));
}

void TfrmMain::btnOpenBaraChipClick(TObject*) {
  OpenSourcePicture(od, BaraChipBitmap.get(), imgBaraChip, BaraCol, BaraRow);
}

void TfrmMain::btnOpenCharaChipClick(TObject*) {
  OpenSourcePicture(od, CharaChipBitmap.get(), imgCharaChip, CharaCol, CharaRow);
}

void TfrmMain::mnuExitClick(TObject*) { Close(); }

void TfrmMain::mnuAboutClick(TObject*) { MessageDlg(ComposerCreditText, mtInformation, {mbOK}, 0); }

// Selection, transfer, fill.

void TfrmMain::imgSetMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  if (!SelectCell(button, X, Y, SheetGrid, SheetCol, SheetRow)) return;
  if (PaintMode) FillCell(SheetBitmap.get(), SheetGrid.CellRect(SheetCol, SheetRow), Color_Paint->Color());
  FormPaint(this);
}

void TfrmMain::imgBaraChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  SelectSourceCell(button, X, Y, BaraGrid, BaraCol, BaraRow, imgBaraChip, BaraChipBitmap.get());
}

void TfrmMain::imgCharaChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  SelectSourceCell(button, X, Y, CharaGrid, CharaCol, CharaRow, imgCharaChip, CharaChipBitmap.get());
}

void TfrmMain::btnAddBaraChipClick(TObject*) {
  TransferChip(BaraChipBitmap.get(), BaraGrid.CellRect(BaraCol, BaraRow), SheetBitmap.get(),
               TopLeft(SheetGrid.CellRect(SheetCol, SheetRow)), gbBaraChipCChange->Checked(),
               Color_BaraChip->Color(), Color_BaraChip2->Color());
  FormPaint(this);
}

void TfrmMain::btnMelsireChipClick(TObject*) {
  TransferChip(CharaChipBitmap.get(), CharaGrid.CellRect(CharaCol, CharaRow), SheetBitmap.get(),
               TopLeft(SheetGrid.CellRect(SheetCol, SheetRow)), gbCharaChipCChange->Checked(),
               Color_CharaChip->Color(), Color_CharaChip2->Color());
  FormPaint(this);
}

void TfrmMain::gbBaraChipCChangeClick(TObject*) { GroupBox1->SetVisible(gbBaraChipCChange->Checked()); }

void TfrmMain::gbCharaChipCChangeClick(TObject*) { GroupBox2->SetVisible(gbCharaChipCChange->Checked()); }

void TfrmMain::tabChange(TObject*, int NewTab, bool&) { PaintMode = NewTab == FillPage; }

// Named colours.

void TfrmMain::SkeletonSpoit(TObject*) { OpenEyedropperPicture(od, imgSkeleton); }

void TfrmMain::cmbSkeletonBarachipChange(TObject*) {
  PickNamedColour(cmbSkeletonBarachip->ItemIndex(), Color_BaraChip, SkeletonColors);
}

void TfrmMain::cmbSkeletonBarachip2Change(TObject*) {
  PickNamedColour(cmbSkeletonBarachip2->ItemIndex(), Color_BaraChip2, SkeletonColors);
}

void TfrmMain::cmbCharaChipChange(TObject*) { PickNamedColour(cmbCharaChip->ItemIndex(), Color_CharaChip, SkeletonColors); }

void TfrmMain::cmbCharaChip2Change(TObject*) {
  PickNamedColour(cmbCharaChip2->ItemIndex(), Color_CharaChip2, SkeletonColors);
}
