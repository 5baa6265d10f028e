// Pandrel's main window: a list of dropped BMP and PNG files, a preview with an
// eyedropper, the output folder, and the batch that moves the picked colour to palette
// entry 0 of every listed file. All state lives in the controls.
#pragma once

#include <string>

#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"

class TfrmMain : public TForm {
public:
  CLASSLIB_CLASS(TfrmMain)
  explicit TfrmMain(TComponent* owner);

  TListBox* lstFileList;
  TScrollBox* ScrollBox;
  TImage* imgSpoit;
  TBitBtn* btnStart;
  TButton* btnShow;
  TLabeledEdit* edtSavePath;
  TPanel* pColor;
  TPanel* pALL;
  TPopupMenu* PopupMenu;
  TMenuItem* mnuDelete;
  TMenuItem* mnuAllDel;

  void FormCreate(TObject* sender);
  void WMDropFiles(TWMDropFiles& message) override;
  void lstFileListClick(TObject* sender);
  void imgSpoitMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void btnShowClick(TObject* sender);
  void btnStartClick(TObject* sender);
  void mnuDeleteClick(TObject* sender);
  void mnuAllDelClick(TObject* sender);

private:
  void RunBatch();
};

extern TfrmMain* frmMain;

// The shell's folder browser owned by the window; the chosen folder's path, or "" when the
// user cancels.
std::string BrowseForFolder(HWND owner);
