// The palette dialog: before a save, the user chooses between automatic reduction to at
// most 256 colours and the palette of another picture.
#pragma once

#include <memory>
#include <string>

#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/stdctrls.h"

// The last choice confirmed with OK: "auto", or the path of the palette picture (empty
// when none was ever chosen). Each composer's main-window module defines it.
extern std::string PaletteSource;

// The preview's picture holder: every showing makes a new, empty one; a completed save
// releases it.
extern std::unique_ptr<TPicture> PalettePicture;

// The picture filter of the open dialogs: every file the class library might read, JPEG
// included (which no graphic class reads, so choosing one ends in the loader's error).
extern const char* const PictureFileFilter;

class TfrmDColor : public TForm {
public:
  CLASSLIB_CLASS(TfrmDColor)
  explicit TfrmDColor(TComponent* owner);

  TRadioButton* rbAuto;
  TGroupBox* GroupBox1;
  TButton* btnOpenPalPic;
  TScrollBox* ScrollBox2;
  TImage* imgPalPic;
  TRadioButton* RadioButton1;
  TBitBtn* btnOK;
  TBitBtn* btnCancel;
  TOpenDialog* od;

  void FormShow(TObject* sender);
  void rbAutoClick(TObject* sender);
  void RadioButton1Click(TObject* sender);
  void btnOpenPalPicClick(TObject* sender);
  void btnOKClick(TObject* sender);
  void btnCancelClick(TObject* sender);
};

// The one instance: created hidden by the program body and kept for the whole run, so
// every showing finds the state the last one left.
extern TfrmDColor* frmDColor;
