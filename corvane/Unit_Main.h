// Corvane's main window: the chipset, its two source pictures, the named colours, open
// and save. The document lives in this module's variables; the window holds its controls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "classlib/strings.h"
#include "colour/Unit_DColor.h"
#include "composer/NamedColours.h"

class TfrmMain : public TForm {
public:
  CLASSLIB_CLASS(TfrmMain)
  explicit TfrmMain(TComponent* owner);

  TGroupBox* G_Set;
  TPanel* P_Set;
  TImage* imgSet;
  TLabel* lblCR;
  TTabbedNotebook* tab;

  // Page "バラチップ".
  TButton* btnAddBaraChip;
  TButton* btnOpenBaraChip;
  TScrollBox* ScrollBox0;
  TImage* imgBaraChip;
  TCheckBox* gbBaraChipCChange;
  TGroupBox* GroupBox1;
  TPanel* Color_BaraChip;
  TComboBox* cmbSkeletonBarachip;
  TLabel* Label1;
  TPanel* Color_BaraChip2;
  TComboBox* cmbSkeletonBarachip2;

  // Page "キャラチップ".
  TButton* btnMelsireChip;
  TButton* btnOpenCharaChip;
  TScrollBox* ScrollBox1;
  TImage* imgCharaChip;
  TCheckBox* gbCharaChipCChange;
  TGroupBox* GroupBox2;
  TPanel* Color_CharaChip;
  TComboBox* cmbCharaChip;
  TLabel* Label2;
  TPanel* Color_CharaChip2;
  TComboBox* cmbCharaChip2;

  // Page "塗りつぶし".
  TListBox* lstPaint;
  TPanel* Color_Paint;

  // Page "透過色エディタ".
  TListBox* lstSkeleton;
  TPanel* Color_Skeleton;
  TScrollBox* ScrollBox2;
  TImage* imgSkeleton;
  TLabeledEdit* edtSkeletonName;
  TButton* btnSkeletonAdd;
  TButton* btnSkeletonDelete;
  TLabel* Warning;

  TMainMenu* MainMenu;
  TMenuItem* mnuFile;
  TMenuItem* mnuOpen;
  TMenuItem* mnuSaveAs;
  TMenuItem* mnuN;
  TMenuItem* mnuExit;
  TMenuItem* Help1;
  TMenuItem* mnuSearchforHelpOn;
  TMenuItem* N1;
  TMenuItem* mnuAbout;

  TColorDialog* cd;
  TOpenDialog* od;
  TSaveDialog* sd;

  // Window, open and save.
  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormPaint(TObject* sender);
  void mnuOpenClick(TObject* sender);
  void btnOpenBaraChipClick(TObject* sender);
  void btnOpenCharaChipClick(TObject* sender);
  void mnuSaveAsClick(TObject* sender);
  void mnuExitClick(TObject* sender);
  void mnuSearchforHelpOnClick(TObject* sender);
  void mnuAboutClick(TObject* sender);

  // Selection, transfer, fill.
  void imgSetMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void imgBaraChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void imgCharaChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void btnAddBaraChipClick(TObject* sender);
  void btnMelsireChipClick(TObject* sender);
  void gbBaraChipCChangeClick(TObject* sender);
  void gbCharaChipCChangeClick(TObject* sender);
  void tabChange(TObject* sender, int NewTab, bool& AllowChange);

  // Named colours.
  void SColorF5();
  void btnSkeletonAddClick(TObject* sender);
  void btnSkeletonDeleteClick(TObject* sender);
  void lstSkeletonClick(TObject* sender);
  void SkeletonSpoit(TObject* sender);
  void imgSkeletonMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void ColorTickerClick(TObject* sender);
  void cmbSkeletonBarachipChange(TObject* sender);
  void cmbSkeletonBarachip2Change(TObject* sender);
  void cmbCharaChipChange(TObject* sender);
  void cmbCharaChip2Change(TObject* sender);
  void lstPaintClick(TObject* sender);

private:
  void CreateSheetControls();
  void CreateBaraChipPage(TTabPage* page);
  void CreateCharaChipPage(TTabPage* page);
  void CreatePaintPage(TTabPage* page);
  void CreateSkeletonPage(TTabPage* page);
  void CreateMenu();
  void CreateDialogs();
  TPanel* NewColourPanel(TWinControl* parent, const char* name, int left, int top, int width, int height);
  TNamedColourLists ColourLists() const;
};

extern TfrmMain* frmMain;

// The document.
extern std::unique_ptr<TBitmap> SheetBitmap;
extern int SheetCol;
extern int SheetRow;
extern std::unique_ptr<TBitmap> BaraChipBitmap;
extern int BaraCol;
extern int BaraRow;
extern std::unique_ptr<TBitmap> CharaChipBitmap;
extern int CharaCol;
extern int CharaRow;
extern bool PaintMode;
extern std::unique_ptr<TStringList> SkeletonNames;
extern std::vector<TColor> SkeletonColors;
