// Corvane's main window: the chipset, its two source pictures, the named colours, open
// and save. The document lives in this module's variables; the window holds its controls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "composer/ComposerForm.h"

// The sheet's view (imgSet), the credit label, the fill and editor pages, the menu's
// shared entries and the dialogs come with TComposerForm.
class TfrmMain : public TComposerForm {
public:
  CLASSLIB_CLASS(TfrmMain)
  explicit TfrmMain(TComponent* owner);

  TGroupBox* G_Set;
  TPanel* P_Set;
  TTabbedNotebook* tab;

  // Page "バラチップ".
  TBitBtn* btnAddBaraChip;
  TBitBtn* btnOpenBaraChip;
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
  TBitBtn* btnMelsireChip;
  TBitBtn* btnOpenCharaChip;
  TScrollBox* ScrollBox1;
  TImage* imgCharaChip;
  TCheckBox* gbCharaChipCChange;
  TGroupBox* GroupBox2;
  TPanel* Color_CharaChip;
  TComboBox* cmbCharaChip;
  TLabel* Label2;
  TPanel* Color_CharaChip2;
  TComboBox* cmbCharaChip2;

  // Page "透過色エディタ": the reference picture's box.
  TScrollBox* ScrollBox2;

  TMenuItem* mnuFile;
  TMenuItem* mnuN;
  TMenuItem* mnuExit;

  // Window, sources, exit and about; FormCreate and FormClose make and free the sources too.
  void FormPaint(TObject* sender) override;
  void btnOpenBaraChipClick(TObject* sender);
  void btnOpenCharaChipClick(TObject* sender);
  void mnuExitClick(TObject* sender);
  void mnuAboutClick(TObject* sender) override;

  // Selection, transfer, fill.
  void imgSetMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void imgBaraChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void imgCharaChipMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void btnAddBaraChipClick(TObject* sender);
  void btnMelsireChipClick(TObject* sender);
  void gbBaraChipCChangeClick(TObject* sender);
  void gbCharaChipCChangeClick(TObject* sender);
  void tabChange(TObject* sender, int NewTab, bool& AllowChange);

  // Named colours: the reference picture and the pickers of the replacement groups.
  void SkeletonSpoit(TObject* sender);
  void cmbSkeletonBarachipChange(TObject* sender);
  void cmbSkeletonBarachip2Change(TObject* sender);
  void cmbCharaChipChange(TObject* sender);
  void cmbCharaChip2Change(TObject* sender);

protected:
  TNamedColourLists ColourLists() const override;
  std::vector<std::unique_ptr<TBitmap>*> SourceBitmaps() const override;

private:
  void CreateSheetControls();
  void CreatePages();
};

extern TfrmMain* frmMain;

// The document; the sheet, its selection and the named colours are declared with
// TComposerForm.
extern std::unique_ptr<TBitmap> BaraChipBitmap;
extern int BaraCol;
extern int BaraRow;
extern std::unique_ptr<TBitmap> CharaChipBitmap;
extern int CharaCol;
extern int CharaRow;
extern bool PaintMode;
