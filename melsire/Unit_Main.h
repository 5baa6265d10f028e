// Melsire's main window: the character sheet, the character-chip and map-chip sources,
// the fill page, the named colours, open, save, the help page and the about box. The
// document lives in this module's variables; the window holds its controls.
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

// The notebook's pages; the current one decides the sheet's grid.
enum TMelsirePage { CharaChipPage = 0, MapChipPage = 1, PaintPage = 2, SkeletonPage = 3 };

class TfrmMain : public TForm {
public:
  CLASSLIB_CLASS(TfrmMain)
  explicit TfrmMain(TComponent* owner);

  TGroupBox* GroupBox1;
  TScrollBox* ScrollBox1;
  TImage* imgSet;
  TLabel* lblCR;
  TTabbedNotebook* TN;

  // Page "キャラチップ".
  TButton* btnMelsireChip;
  TButton* btnOpenCharaChip;
  TScrollBox* ScrollBox2;
  TImage* imgCharaChip;
  TCheckBox* gbCharaChipCChange;
  TGroupBox* GroupBox2;
  TPanel* Color_CharaChip;
  TComboBox* cmbCharachip;
  TLabel* Label1;
  TPanel* Color_CharaChip2;
  TComboBox* cmbCharachip2;

  // Page "マップチップ".
  TButton* btnAddMapChip;
  TButton* btnOpenMapChip;
  TScrollBox* ScrollBox3;
  TImage* imgMapChip;
  TCheckBox* gbMapChipCChange;
  TGroupBox* GroupBox3;
  TPanel* Color_MapChip;
  TComboBox* cmbMapchip;
  TLabel* Label2;
  TPanel* Color_MapChip2;
  TComboBox* cmbMapchip2;

  // Page "塗りつぶし".
  TPanel* Color_Paint;
  TListBox* lstPaint;

  // Page "透過色エディタ".
  TListBox* lstSkeleton;
  TPanel* Color_Skeleton;
  TScrollBox* ScrollBox4;
  TImage* imgSkeleton;
  TLabeledEdit* edtSkeletonName;
  TButton* btnSkeletonAdd;
  TButton* btnSkeletonDelete;
  TLabel* Warning;

  TMainMenu* MainMenu;
  TMenuItem* File1;
  TMenuItem* mnuOpen;
  TMenuItem* mnuSaveAs;
  TMenuItem* N2;
  TMenuItem* Exit1;
  TMenuItem* Help1;
  TMenuItem* mnuSearchforHelpOn;
  TMenuItem* N1;
  TMenuItem* mnuAbout;

  TOpenDialog* od;
  TSaveDialog* sd;
  TColorDialog* cd;

  // Window, open, save, help and about.
  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormPaint(TObject* sender);
  void mnuOpenClick(TObject* sender);
  void mnuSaveAsClick(TObject* sender);
  void Exit1Click(TObject* sender);
  void mnuSearchforHelpOnClick(TObject* sender);
  void mnuAboutClick(TObject* sender);

  // The sheet's grid, the sources, transfers and fill.
  void imgSetMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void TNChange(TObject* sender, int NewTab, bool& AllowChange);
  void TNClick(TObject* sender);
  void imgCharaChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void imgMapChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void btnMelsireChipClick(TObject* sender);
  void btnAddMapChipClick(TObject* sender);
  void gbCharaChipCChangeClick(TObject* sender);
  void gbMapChipCChangeClick(TObject* sender);
  void btnOpenCharaChipClick(TObject* sender);
  void btnOpenMapChipClick(TObject* sender);

  // Named colours.
  void SColorF5();
  void ColorTickerClick(TObject* sender);
  void lstSkeletonClick(TObject* sender);
  void ScrollBox4Click(TObject* sender);
  void imgSkeletonClick(TObject* sender);
  void imgSkeletonMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void btnSkeletonAddClick(TObject* sender);
  void btnSkeletonDeleteClick(TObject* sender);
  void lstPaintClick(TObject* sender);
  void cmbCharachipChange(TObject* sender);
  void cmbCharachip2Change(TObject* sender);
  void cmbMapchipChange(TObject* sender);
  void cmbMapchip2Change(TObject* sender);

private:
  void CreateSheetControls();
  void CreatePages();
  TNamedColourLists ColourLists() const;
};

extern TfrmMain* frmMain;

// The about box's text: four lines, the program's name and version between two credits.
extern const char* const MelsireAboutText;

// The document.
extern std::unique_ptr<TBitmap> SheetBitmap;
extern int SheetCol;
extern int SheetRow;
extern std::unique_ptr<TBitmap> CharaChipBitmap;
extern int CharaCol;
extern int CharaRow;
extern std::unique_ptr<TBitmap> MapChipBitmap;
extern int MapCol;
extern int MapRow;
extern std::unique_ptr<TStringList> SkeletonNames;
extern std::vector<TColor> SkeletonColors;
