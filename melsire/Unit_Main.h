// Melsire's main window: the character sheet, the character-chip and map-chip sources,
// the fill page, the named colours, open, save, the help page and the about box. The
// document lives in this module's variables; the window holds its controls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "colour/Unit_DColor.h"
#include "composer/ComposerForm.h"

// The notebook's pages; the current one decides the sheet's grid.
enum TMelsirePage { CharaChipPage = 0, MapChipPage = 1, PaintPage = 2, SkeletonPage = 3 };

// The sheet's view (imgSet), the credit label, the fill and editor pages, the menu's
// shared entries and the dialogs come with TComposerForm.
class TfrmMain : public TComposerForm {
public:
  CLASSLIB_CLASS(TfrmMain)
  explicit TfrmMain(TComponent* owner);

  TGroupBox* GroupBox1;
  TScrollBox* ScrollBox1;
  TTabbedNotebook* TN;

  // Page "キャラチップ".
  TBitBtn* btnMelsireChip;
  TBitBtn* btnOpenCharaChip;
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
  TBitBtn* btnAddMapChip;
  TBitBtn* btnOpenMapChip;
  TScrollBox* ScrollBox3;
  TImage* imgMapChip;
  TCheckBox* gbMapChipCChange;
  TGroupBox* GroupBox3;
  TPanel* Color_MapChip;
  TComboBox* cmbMapchip;
  TLabel* Label2;
  TPanel* Color_MapChip2;
  TComboBox* cmbMapchip2;

  // Page "透過色エディタ": the reference picture's box.
  TScrollBox* ScrollBox4;

  TMenuItem* File1;
  TMenuItem* N2;
  TMenuItem* Exit1;

  // Window, exit and about; FormCreate and FormClose make and free the sources too.
  void FormPaint(TObject* sender) override;
  void Exit1Click(TObject* sender);
  void mnuAboutClick(TObject* sender) override;

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

  // Named colours: the reference picture and the pickers of the replacement groups.
  void ScrollBox4Click(TObject* sender);
  void imgSkeletonClick(TObject* sender);
  void cmbCharachipChange(TObject* sender);
  void cmbCharachip2Change(TObject* sender);
  void cmbMapchipChange(TObject* sender);
  void cmbMapchip2Change(TObject* sender);

protected:
  TNamedColourLists ColourLists() const override;
  std::vector<std::unique_ptr<TBitmap>*> SourceBitmaps() const override;

private:
  void CreateSheetControls();
  void CreatePages();
};

extern TfrmMain* frmMain;

// The about box's text: four lines, the program's name and version between two credits.
extern const char* const MelsireAboutText;

// The document; the sheet, its selection and the named colours are declared with
// TComposerForm.
extern std::unique_ptr<TBitmap> CharaChipBitmap;
extern int CharaCol;
extern int CharaRow;
extern std::unique_ptr<TBitmap> MapChipBitmap;
extern int MapCol;
extern int MapRow;
