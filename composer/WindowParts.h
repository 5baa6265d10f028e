// Pieces both composers' windows are built from: the window's frame, its working bitmaps,
// the colour swatches and named-colour lists, the picture dialogs, a picture's view and a
// transfer page with its colour-replacement group. Each builder creates the controls,
// names them after the window's members it fills, places them and binds their events;
// the layouts differ between the programs only in the widths and places passed in.
#pragma once

#include <memory>

#include "classlib/forms/controls.h"
#include "classlib/forms/glyphs.h"
#include "classlib/graphics.h"

class TBitBtn;
class TCheckBox;
class TComboBox;
class TForm;
class TGroupBox;
class TImage;
class TLabel;
class TOpenDialog;
class TPanel;
class TSaveDialog;
class TScrollBox;
class TTabPage;

// A window's member that a builder fills, and the name the control carries.
template <class T>
struct TSlot {
  T*& Control;
  const char* Name;
};
#define CONTROL_SLOT(member) {member, #member}

// Puts the control into the slot's member and answers it.
template <class T>
T* FillSlot(const TSlot<T>& slot, T* control) {
  slot.Control = control;
  return control;
}

// A window's method as an event of its controls.
template <class Form, class Owner>
TNotifyEvent Handler(Form* form, void (Owner::*method)(TObject*)) {
  return [form, method](TObject* sender) { (form->*method)(sender); };
}
template <class Form, class Owner>
TMouseEvent Handler(Form* form, void (Owner::*method)(TObject*, TMouseButton, TShiftState, int, int)) {
  return [form, method](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
    (form->*method)(sender, button, shift, x, y);
  };
}

// Caption, single border, system menu and minimise button only, the client size and the
// window's font.
void SetUpComposerWindow(TForm* form, const char* caption, int clientWidth, int clientHeight);

// A working bitmap as the window starts with it: empty, 24 bits per pixel.
std::unique_ptr<TBitmap> NewWorkingBitmap();

// The open dialog's picture filter and the save dialog's filter and default extension.
void SetUpPictureDialogs(TOpenDialog* od, TSaveDialog* sd);

// A colour swatch: fuchsia at start, the colour dialog on a click.
TPanel* NewColourPanel(TWinControl* parent, const char* name, int left, int top, int width, int height,
                       TNotifyEvent onClick);

// A drop-down list of the named colours, without free text; it reports the user's choice.
TComboBox* NewNamedColourCombo(TWinControl* parent, const char* name, int left, int top, int width,
                               TNotifyEvent onChange);

// A button with its caption, glyph and click, in its slot.
TBitBtn* NewButton(TWinControl* parent, const TSlot<TBitBtn>& slot, const char* caption, TGlyph glyph, int left, int top,
                   int width, int height, TNotifyEvent onClick);

// A view of a working bitmap at the top left of its box, as large as its picture.
TImage* NewPictureView(TWinControl* parent, const char* name, int width, int height, TMouseEvent onMouseDown);

// A transfer page: "転送" and "開く..." side by side at the top, the source's view in a
// scroll box below the transfer button, and beside it the check box "色の置き換え" over
// its hidden group (from-panel and list, an arrow, to-panel and list).
struct TTransferPageSlots {
  TSlot<TBitBtn> Transfer;
  TSlot<TBitBtn> Open;
  TSlot<TScrollBox> Box;
  TSlot<TImage> View;
  TSlot<TCheckBox> Check;
  TSlot<TGroupBox> Group;
  TSlot<TPanel> From;
  TSlot<TComboBox> FromList;
  TSlot<TLabel> Arrow;
  TSlot<TPanel> To;
  TSlot<TComboBox> ToList;
};
// The scroll box is as wide as the transfer button plus its border; the group stands
// under the open button.
struct TTransferPageLayout {
  int TransferWidth;
  int OpenWidth;
  int GroupWidth;
};
struct TTransferPageEvents {
  TNotifyEvent OnTransfer;
  TNotifyEvent OnOpen;
  TMouseEvent OnViewMouseDown;
  TNotifyEvent OnCheck;
  TNotifyEvent OnFromList;
  TNotifyEvent OnToList;
  TNotifyEvent OnPanel;
};
void BuildTransferPage(TTabPage* page, const TTransferPageSlots& slots, const TTransferPageLayout& layout,
                       const TTransferPageEvents& events);

// The colour editor page's widths, the row of its buttons, and the warning's place and text.
// The title edit has a width of its own: it need not end where the picture box ends.
struct TColourEditorLayout {
  int ListWidth;
  int BoxWidth;
  int EditWidth;
  int ButtonTop;
  TPoint WarningAt;
  const char* Warning;
};
