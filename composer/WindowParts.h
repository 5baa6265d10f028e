// The larger pieces both composers' windows are built from: the window's frame, a transfer
// page with its colour-replacement group, the fill page, the colour editor page, the menu
// and the dialogs. Each builder creates the controls, names them after the window's
// members it fills, places them and binds their events; the layouts differ between the
// programs only in the widths and places passed in.
#pragma once

#include "classlib/forms/controls.h"
#include "classlib/forms/dialogs.h"

class TButton;
class TCheckBox;
class TComboBox;
class TForm;
class TGroupBox;
class TImage;
class TLabel;
class TLabeledEdit;
class TListBox;
class TMainMenu;
class TMenuItem;
class TPanel;
class TScrollBox;
class TTabPage;

// A window's member that a builder fills, and the name the control carries.
template <class T>
struct TSlot {
  T*& Control;
  const char* Name;
};
#define CONTROL_SLOT(member) {member, #member}

// A window's method as an event of its controls.
template <class Form>
TNotifyEvent Handler(Form* form, void (Form::*method)(TObject*)) {
  return [form, method](TObject* sender) { (form->*method)(sender); };
}
template <class Form>
TMouseEvent Handler(Form* form, void (Form::*method)(TObject*, TMouseButton, TShiftState, int, int)) {
  return [form, method](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
    (form->*method)(sender, button, shift, x, y);
  };
}

// Caption, single border, system menu and minimise button only, the client size and the
// window's font.
void SetUpComposerWindow(TForm* form, const char* caption, int clientWidth, int clientHeight);

// A view of a working bitmap at the top left of its box, as large as its picture.
TImage* NewPictureView(TWinControl* parent, const char* name, int width, int height, TMouseEvent onMouseDown);

// A transfer page: "転送" and "開く..." side by side at the top, the source's view in a
// scroll box below the transfer button, and beside it the check box "色の置き換え" over
// its hidden group (from-panel and list, an arrow, to-panel and list).
struct TTransferPageSlots {
  TSlot<TButton> Transfer;
  TSlot<TButton> Open;
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

// The fill page: the named colours on the left, the fill colour's panel beside them.
void BuildFillPage(TTabPage* page, TSlot<TListBox> list, TSlot<TPanel> panel, TNotifyEvent onListClick,
                   TNotifyEvent onPanelClick);

// The colour editor page: the titles, the colour's panel, the reference picture in its
// scroll box, the title's edit, "保存" and "削除", and the warning that changes are stored
// at once.
struct TColourEditorSlots {
  TSlot<TListBox> List;
  TSlot<TPanel> Colour;
  TSlot<TScrollBox> Box;
  TSlot<TImage> Picture;
  TSlot<TLabeledEdit> Title;
  TSlot<TButton> Add;
  TSlot<TButton> Delete;
  TSlot<TLabel> Warning;
};
struct TColourEditorLayout {
  int ListWidth;
  int BoxWidth;
  int ButtonTop;
  const char* Warning;
};
struct TColourEditorEvents {
  TNotifyEvent OnListClick;
  TNotifyEvent OnPanelClick;
  TNotifyEvent OnBoxClick;
  TNotifyEvent OnPictureClick;
  TMouseEvent OnPictureMouseDown;
  TNotifyEvent OnAdd;
  TNotifyEvent OnDelete;
};
void BuildColourEditorPage(TTabPage* page, const TColourEditorSlots& slots, const TColourEditorLayout& layout,
                           const TColourEditorEvents& events);

// The menu bar: the file menu (open, save, a line, exit) and the help menu (help page, a
// line, about).
struct TComposerMenuSlots {
  TSlot<TMainMenu> Menu;
  TSlot<TMenuItem> File;
  TSlot<TMenuItem> Open;
  TSlot<TMenuItem> SaveAs;
  TSlot<TMenuItem> FileLine;
  TSlot<TMenuItem> Exit;
  TSlot<TMenuItem> Help;
  TSlot<TMenuItem> HelpOn;
  TSlot<TMenuItem> HelpLine;
  TSlot<TMenuItem> About;
};
struct TComposerMenuEvents {
  TNotifyEvent OnOpen;
  TNotifyEvent OnSaveAs;
  TNotifyEvent OnExit;
  TNotifyEvent OnHelpOn;
  TNotifyEvent OnAbout;
};
void BuildComposerMenu(TForm* form, const TComposerMenuSlots& slots, const TComposerMenuEvents& events);

// The colour dialog with the program's options, and the picture dialogs with their filters.
void BuildComposerDialogs(TComponent* owner, TSlot<TColorDialog> cd, TColorDialogOptions options,
                          TSlot<TOpenDialog> od, TSlot<TSaveDialog> sd);
