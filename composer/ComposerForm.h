// What both composers' main windows have in common: the working sheet's view, the credit
// label, the fill page, the colour editor page, the menu, the dialogs and the handlers
// that act on them alike. Each program's TfrmMain derives from it, adds its own source
// pages and its grid, and builds the shared parts with its own names and places.
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
#include "composer/NamedColours.h"
#include "composer/WindowParts.h"

// The document state the shared handlers work on. Each program's Unit_Main defines one
// set, as it defines the palette dialog's PaletteSource.
extern std::unique_ptr<TBitmap> SheetBitmap;
extern int SheetCol;
extern int SheetRow;
extern std::unique_ptr<TStringList> SkeletonNames;
extern std::vector<TColor> SkeletonColors;

class TComposerForm : public TForm {
public:
  CLASSLIB_CLASS(TComposerForm)
  explicit TComposerForm(TComponent* owner) : TForm(owner) {}

  TImage* imgSet = nullptr;
  TLabel* lblCR = nullptr;

  // Page "塗りつぶし".
  TListBox* lstPaint = nullptr;
  TPanel* Color_Paint = nullptr;

  // Page "透過色エディタ".
  TListBox* lstSkeleton = nullptr;
  TPanel* Color_Skeleton = nullptr;
  TImage* imgSkeleton = nullptr;
  TLabeledEdit* edtSkeletonName = nullptr;
  TBitBtn* btnSkeletonAdd = nullptr;
  TBitBtn* btnSkeletonDelete = nullptr;
  TLabel* Warning = nullptr;

  TMainMenu* MainMenu = nullptr;
  TMenuItem* mnuOpen = nullptr;
  TMenuItem* mnuSaveAs = nullptr;
  TMenuItem* Help1 = nullptr;
  TMenuItem* mnuSearchforHelpOn = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* mnuAbout = nullptr;

  TColorDialog* cd = nullptr;
  TOpenDialog* od = nullptr;
  TSaveDialog* sd = nullptr;

  // Creates the sheet and the program's sources, each empty and 24-bit, loads the named
  // colours and fills the credit label.
  virtual void FormCreate(TObject* sender);
  // Frees the sheet and the sources.
  virtual void FormClose(TObject* sender, TCloseAction& action);
  // Shows the sheet with the frame of its selection on the program's grid.
  virtual void FormPaint(TObject* sender) = 0;
  void mnuOpenClick(TObject* sender);
  void mnuSaveAsClick(TObject* sender);
  void mnuSearchforHelpOnClick(TObject* sender);
  virtual void mnuAboutClick(TObject* sender) = 0;

  void SColorF5();
  void btnSkeletonAddClick(TObject* sender);
  void btnSkeletonDeleteClick(TObject* sender);
  void lstSkeletonClick(TObject* sender);
  void imgSkeletonMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y);
  void ColorTickerClick(TObject* sender);
  void lstPaintClick(TObject* sender);

protected:
  // The program's six lists of named colours.
  virtual TNamedColourLists ColourLists() const = 0;
  // The program's source bitmaps, which live as long as the sheet.
  virtual std::vector<std::unique_ptr<TBitmap>*> SourceBitmaps() const { return {}; }

  // OnCreate, OnClose and OnPaint.
  void BindFormEvents();
  void CreateFillPage(TTabPage* page);
  // box: the reference picture's scroll box, a member of the program's own; a click on it
  // or on the picture goes to the given handlers.
  void CreateColourEditorPage(TTabPage* page, const TSlot<TScrollBox>& box, const TColourEditorLayout& layout,
                              TNotifyEvent onBoxClick, TNotifyEvent onPictureClick);
  // file, fileLine and exit carry the program's own names.
  void CreateMenu(const TSlot<TMenuItem>& file, const TSlot<TMenuItem>& fileLine, const TSlot<TMenuItem>& exit,
                  TNotifyEvent onExit);
  void CreateDialogs(TColorDialogOptions options);
};
