#include "corvane/Unit_Main.h"

#include "composer/Cells.h"
#include "composer/Credits.h"
#include "composer/FormParts.h"
#include "composer/Pictures.h"

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

TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  Name = "frmMain";
  SetCaption("Corvane");
  SetBorderStyle(bsSingle);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetClientWidth(686);
  SetClientHeight(639);
  Font()->SetName("ＭＳ Ｐゴシック");
  Font()->SetHeight(-12);
  Font()->Charset = SHIFTJIS_CHARSET;

  CreateSheetControls();
  tab = Place(new TTabbedNotebook(this), "tab", 8, 296, 673, 337);
  CreateBaraChipPage(tab->AddPage("バラチップ"));
  CreateCharaChipPage(tab->AddPage("キャラチップ"));
  CreatePaintPage(tab->AddPage("塗りつぶし"));
  CreateSkeletonPage(tab->AddPage("透過色エディタ"));
  tab->SetPageIndex(0);
  tab->OnChange = [this](TObject* s, int newTab, bool& allow) { tabChange(s, newTab, allow); };
  CreateMenu();
  CreateDialogs();

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnClose = [this](TObject* s, TCloseAction& action) { FormClose(s, action); };
  OnPaint = [this](TObject* s) { FormPaint(s); };
}

void TfrmMain::CreateSheetControls() {
  G_Set = Place(new TGroupBox(this), "G_Set", 8, 8, 505, 281);
  G_Set->SetCaption("チップセット");
  P_Set = Place(new TPanel(G_Set), "P_Set", 5, 13, 484, 260);
  P_Set->SetBorderStyle(bsSingle);
  P_Set->SetBevelOuter(bvNone);
  imgSet = Place(new TImage(P_Set), "imgSet", 0, 0, 480, 256);
  imgSet->SetAutoSize(true);
  imgSet->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    imgSetMouseDown(s, b, sh, x, y);
  };

  lblCR = Place(new TLabel(this), "lblCR", 520, 16, 158, 13);
  lblCR->SetWordWrap(true);
}

TPanel* TfrmMain::NewColourPanel(TWinControl* parent, const char* name, int left, int top, int width, int height) {
  return ::NewColourPanel(parent, name, left, top, width, height, [this](TObject* s) { ColorTickerClick(s); });
}

void TfrmMain::CreateBaraChipPage(TTabPage* page) {
  btnAddBaraChip = Place(new TButton(page), "btnAddBaraChip", 8, 8, 481, 33);
  btnAddBaraChip->SetCaption("転送");
  btnAddBaraChip->OnClick = [this](TObject* s) { btnAddBaraChipClick(s); };
  btnOpenBaraChip = Place(new TButton(page), "btnOpenBaraChip", 496, 8, 161, 33);
  btnOpenBaraChip->SetCaption("開く...");
  btnOpenBaraChip->OnClick = [this](TObject* s) { btnOpenBaraChipClick(s); };
  ScrollBox0 = Place(new TScrollBox(page), "ScrollBox0", 8, 48, 484, 260);
  imgBaraChip = Place(new TImage(ScrollBox0), "imgBaraChip", 0, 0, 480, 256);
  imgBaraChip->SetAutoSize(true);
  imgBaraChip->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    imgBaraChipMouseDown(s, b, sh, x, y);
  };

  GroupBox1 = Place(new TGroupBox(page), "GroupBox1", 496, 48, 161, 121);
  GroupBox1->SetVisible(false);
  Color_BaraChip = NewColourPanel(GroupBox1, "Color_BaraChip", 8, 24, 25, 25);
  cmbSkeletonBarachip = NewNamedColourCombo(GroupBox1, "cmbSkeletonBarachip", 40, 26, 113, [this](TObject* s) { cmbSkeletonBarachipChange(s); });
  Label1 = Place(new TLabel(GroupBox1), "Label1", 16, 56);
  Label1->SetCaption("↓");
  Color_BaraChip2 = NewColourPanel(GroupBox1, "Color_BaraChip2", 8, 80, 25, 25);
  cmbSkeletonBarachip2 = NewNamedColourCombo(GroupBox1, "cmbSkeletonBarachip2", 40, 82, 113, [this](TObject* s) { cmbSkeletonBarachip2Change(s); });

  // Made after its group so that it lies in front of the group's top edge.
  gbBaraChipCChange = Place(new TCheckBox(page), "gbBaraChipCChange", 504, 48, 97, 17);
  gbBaraChipCChange->SetCaption("色の置き換え");
  gbBaraChipCChange->OnClick = [this](TObject* s) { gbBaraChipCChangeClick(s); };
}

void TfrmMain::CreateCharaChipPage(TTabPage* page) {
  btnMelsireChip = Place(new TButton(page), "btnMelsireChip", 8, 8, 289, 33);
  btnMelsireChip->SetCaption("転送");
  btnMelsireChip->OnClick = [this](TObject* s) { btnMelsireChipClick(s); };
  btnOpenCharaChip = Place(new TButton(page), "btnOpenCharaChip", 304, 8, 185, 33);
  btnOpenCharaChip->SetCaption("開く...");
  btnOpenCharaChip->OnClick = [this](TObject* s) { btnOpenCharaChipClick(s); };
  ScrollBox1 = Place(new TScrollBox(page), "ScrollBox1", 8, 48, 292, 260);
  imgCharaChip = Place(new TImage(ScrollBox1), "imgCharaChip", 0, 0, 288, 256);
  imgCharaChip->SetAutoSize(true);
  imgCharaChip->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    imgCharaChipMouseDown(s, b, sh, x, y);
  };

  GroupBox2 = Place(new TGroupBox(page), "GroupBox2", 304, 48, 209, 121);
  GroupBox2->SetVisible(false);
  Color_CharaChip = NewColourPanel(GroupBox2, "Color_CharaChip", 8, 24, 25, 25);
  cmbCharaChip = NewNamedColourCombo(GroupBox2, "cmbCharaChip", 40, 26, 161, [this](TObject* s) { cmbCharaChipChange(s); });
  Label2 = Place(new TLabel(GroupBox2), "Label2", 16, 56);
  Label2->SetCaption("↓");
  Color_CharaChip2 = NewColourPanel(GroupBox2, "Color_CharaChip2", 8, 80, 25, 25);
  cmbCharaChip2 = NewNamedColourCombo(GroupBox2, "cmbCharaChip2", 40, 82, 161, [this](TObject* s) { cmbCharaChip2Change(s); });

  gbCharaChipCChange = Place(new TCheckBox(page), "gbCharaChipCChange", 312, 48, 97, 17);
  gbCharaChipCChange->SetCaption("色の置き換え");
  gbCharaChipCChange->OnClick = [this](TObject* s) { gbCharaChipCChangeClick(s); };
}

void TfrmMain::CreatePaintPage(TTabPage* page) {
  lstPaint = Place(new TListBox(page), "lstPaint", 8, 8, 193, 297);
  lstPaint->OnClick = [this](TObject* s) { lstPaintClick(s); };
  Color_Paint = NewColourPanel(page, "Color_Paint", 208, 16, 65, 65);
}

void TfrmMain::CreateSkeletonPage(TTabPage* page) {
  lstSkeleton = Place(new TListBox(page), "lstSkeleton", 8, 8, 193, 281);
  lstSkeleton->OnClick = [this](TObject* s) { lstSkeletonClick(s); };
  Color_Skeleton = NewColourPanel(page, "Color_Skeleton", 208, 16, 25, 185);
  ScrollBox2 = Place(new TScrollBox(page), "ScrollBox2", 240, 16, 417, 185);
  ScrollBox2->OnClick = [this](TObject* s) { SkeletonSpoit(s); };
  imgSkeleton = Place(new TImage(ScrollBox2), "imgSkeleton", 0, 0, 9, 9);
  imgSkeleton->SetAutoSize(true);
  imgSkeleton->OnClick = [this](TObject* s) { SkeletonSpoit(s); };
  imgSkeleton->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    imgSkeletonMouseDown(s, b, sh, x, y);
  };
  edtSkeletonName = Place(new TLabeledEdit(page), "edtSkeletonName", 208, 224, 449, 20);
  edtSkeletonName->EditLabel()->SetCaption("透過色のタイトル(&T)：");
  btnSkeletonAdd = Place(new TButton(page), "btnSkeletonAdd", 208, 248, 193, 33);
  btnSkeletonAdd->SetCaption("保存");
  btnSkeletonAdd->OnClick = [this](TObject* s) { btnSkeletonAddClick(s); };
  btnSkeletonDelete = Place(new TButton(page), "btnSkeletonDelete", 408, 248, 81, 33);
  btnSkeletonDelete->SetCaption("削除");
  btnSkeletonDelete->OnClick = [this](TObject* s) { btnSkeletonDeleteClick(s); };
  Warning = Place(new TLabel(page), "Warning", 208, 286);
  Warning->SetCaption("注意：追加、変更、削除を行った時点で変更内容が保存されます。");
}

void TfrmMain::CreateMenu() {
  MainMenu = new TMainMenu(this);
  MainMenu->Name = "MainMenu";
  TMenuItem* root = MainMenu->Items();
  mnuFile = NewMenuItem(this, root, "mnuFile", "ファイル(&F)");
  mnuOpen = NewMenuItem(this, mnuFile, "mnuOpen", "開く(&O)...");
  mnuOpen->OnClick = [this](TObject* s) { mnuOpenClick(s); };
  mnuSaveAs = NewMenuItem(this, mnuFile, "mnuSaveAs", "保存(&S)...");
  mnuSaveAs->OnClick = [this](TObject* s) { mnuSaveAsClick(s); };
  mnuN = NewMenuItem(this, mnuFile, "mnuN", "-");
  mnuExit = NewMenuItem(this, mnuFile, "mnuExit", "終了(&X)");
  mnuExit->OnClick = [this](TObject* s) { mnuExitClick(s); };
  Help1 = NewMenuItem(this, root, "Help1", "ヘルプ(&H)");
  mnuSearchforHelpOn = NewMenuItem(this, Help1, "mnuSearchforHelpOn", "ヘルプの表示(&H)...");
  mnuSearchforHelpOn->OnClick = [this](TObject* s) { mnuSearchforHelpOnClick(s); };
  N1 = NewMenuItem(this, Help1, "N1", "-");
  mnuAbout = NewMenuItem(this, Help1, "mnuAbout", "バージョン情報(&A)...");
  mnuAbout->OnClick = [this](TObject* s) { mnuAboutClick(s); };
}

void TfrmMain::CreateDialogs() {
  cd = new TColorDialog(this);
  cd->Name = "cd";
  cd->Options = {cdFullOpen};
  od = new TOpenDialog(this);
  od->Name = "od";
  sd = new TSaveDialog(this);
  sd->Name = "sd";
  SetUpPictureDialogs(od, sd);
}

TNamedColourLists TfrmMain::ColourLists() const {
  return TNamedColourLists{{cmbSkeletonBarachip, cmbSkeletonBarachip2, cmbCharaChip, cmbCharaChip2},
                           {lstPaint, lstSkeleton}};
}

// Window, open and save.

void TfrmMain::FormCreate(TObject*) {
  SheetBitmap = NewWorkingBitmap();
  BaraChipBitmap = NewWorkingBitmap();
  CharaChipBitmap = NewWorkingBitmap();
  SColorF5();
  lblCR->SetCaption(ComposerCreditText);
}

void TfrmMain::FormClose(TObject*, TCloseAction&) {
  SheetBitmap.reset();
  BaraChipBitmap.reset();
  CharaChipBitmap.reset();
}

void TfrmMain::FormPaint(TObject*) {
  // After FormClose the bitmaps are gone; a late paint has nothing to show.
  if (!SheetBitmap) return;
  ShowFramed(imgSet, SheetBitmap.get(), SheetGrid.CellRect(SheetCol, SheetRow));
}

void TfrmMain::mnuOpenClick(TObject*) {
  if (OpenWorkingSheet(od, SheetBitmap.get(), SheetCol, SheetRow)) FormPaint(this);
}

void TfrmMain::btnOpenBaraChipClick(TObject*) {
  OpenSourcePicture(od, BaraChipBitmap.get(), imgBaraChip, BaraCol, BaraRow);
}

void TfrmMain::btnOpenCharaChipClick(TObject*) {
  OpenSourcePicture(od, CharaChipBitmap.get(), imgCharaChip, CharaCol, CharaRow);
}

void TfrmMain::mnuSaveAsClick(TObject*) { SaveSheet(SheetBitmap.get(), sd); }

void TfrmMain::mnuExitClick(TObject*) { Close(); }

void TfrmMain::mnuSearchforHelpOnClick(TObject*) { OpenHelpPage(this); }

void TfrmMain::mnuAboutClick(TObject*) { MessageDlg(ComposerCreditText, mtInformation, {mbOK}, 0); }

// Selection, transfer, fill.

void TfrmMain::imgSetMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  if (!SelectCell(button, X, Y, SheetGrid, SheetCol, SheetRow)) return;
  if (PaintMode) FillCell(SheetBitmap.get(), SheetGrid.CellRect(SheetCol, SheetRow), Color_Paint->Color());
  FormPaint(this);
}

void TfrmMain::imgBaraChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  if (!SelectCell(button, X, Y, BaraGrid, BaraCol, BaraRow)) return;
  ShowFramed(imgBaraChip, BaraChipBitmap.get(), BaraGrid.CellRect(BaraCol, BaraRow));
}

void TfrmMain::imgCharaChipMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  if (!SelectCell(button, X, Y, CharaGrid, CharaCol, CharaRow)) return;
  ShowFramed(imgCharaChip, CharaChipBitmap.get(), CharaGrid.CellRect(CharaCol, CharaRow));
}

void TfrmMain::btnAddBaraChipClick(TObject*) {
  const TRect cell = SheetGrid.CellRect(SheetCol, SheetRow);
  TransferChip(BaraChipBitmap.get(), BaraGrid.CellRect(BaraCol, BaraRow), SheetBitmap.get(),
               Point(cell.Left, cell.Top), gbBaraChipCChange->Checked(), Color_BaraChip->Color(),
               Color_BaraChip2->Color());
  FormPaint(this);
}

void TfrmMain::btnMelsireChipClick(TObject*) {
  const TRect cell = SheetGrid.CellRect(SheetCol, SheetRow);
  TransferChip(CharaChipBitmap.get(), CharaGrid.CellRect(CharaCol, CharaRow), SheetBitmap.get(),
               Point(cell.Left, cell.Top), gbCharaChipCChange->Checked(), Color_CharaChip->Color(),
               Color_CharaChip2->Color());
  FormPaint(this);
}

void TfrmMain::gbBaraChipCChangeClick(TObject*) { GroupBox1->SetVisible(gbBaraChipCChange->Checked()); }

void TfrmMain::gbCharaChipCChangeClick(TObject*) { GroupBox2->SetVisible(gbCharaChipCChange->Checked()); }

void TfrmMain::tabChange(TObject*, int NewTab, bool&) { PaintMode = NewTab == FillPage; }

// Named colours.

void TfrmMain::SColorF5() { ReloadNamedColours(SkeletonNames, SkeletonColors, ColourLists()); }

void TfrmMain::btnSkeletonAddClick(TObject*) {
  StoreEditedColour(Color_Skeleton, edtSkeletonName, SkeletonNames, SkeletonColors, ColourLists());
}

void TfrmMain::btnSkeletonDeleteClick(TObject*) {
  EraseSelectedColour(lstSkeleton, SkeletonNames, SkeletonColors, ColourLists());
}

void TfrmMain::lstSkeletonClick(TObject*) {
  LoadColourIntoEditor(lstSkeleton, Color_Skeleton, edtSkeletonName, SkeletonNames.get(), SkeletonColors);
}

void TfrmMain::SkeletonSpoit(TObject*) { OpenEyedropperPicture(od, imgSkeleton); }

void TfrmMain::imgSkeletonMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  PickPixelColour(button, imgSkeleton, X, Y, Color_Skeleton);
}

void TfrmMain::ColorTickerClick(TObject* sender) {
  if (auto* panel = dynamic_cast<TPanel*>(sender)) EditPanelColour(cd, panel);
}

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

void TfrmMain::lstPaintClick(TObject*) { PickNamedColour(lstPaint->ItemIndex(), Color_Paint, SkeletonColors); }
