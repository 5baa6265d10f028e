// The common dialogs and the message dialogs of the class library.
#pragma once

#include <string>

#include "classlib/forms/controls.h"
#include "classlib/forms/forms.h"

// Open and save dialogs. Filter holds pairs "caption|patterns" joined by "|" (patterns
// separated by ";"); FilterIndex counts from 1. FileName is kept from run to run.
class TOpenDialog : public TComponent {
public:
  CLASSLIB_CLASS(TOpenDialog)
  explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}

  std::string FileName;
  std::string Filter;
  int FilterIndex = 1;
  // Appended to a name given without an extension (a leading "*" or "." is not part of it).
  std::string DefaultExt;
  std::string InitialDir;
  // The dialog's caption; empty gives the desktop's own.
  std::string Title;

  // True when the user chose a file: FileName (and FilterIndex) then hold the choice.
  virtual bool Execute();

protected:
  virtual bool Saving() const { return false; }
};

class TSaveDialog : public TOpenDialog {
public:
  CLASSLIB_CLASS(TSaveDialog)
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}

protected:
  bool Saving() const override { return true; }
};

enum TColorDialogOption { cdFullOpen, cdPreventFullOpen };
class TColorDialogOptions {
public:
  TColorDialogOptions() = default;
  TColorDialogOptions(std::initializer_list<TColorDialogOption> options) {
    for (TColorDialogOption option : options) Bits |= 1u << option;
  }
  bool Contains(TColorDialogOption option) const { return (Bits & (1u << option)) != 0; }
  unsigned Bits = 0;
};

class TColorDialog : public TComponent {
public:
  CLASSLIB_CLASS(TColorDialog)
  explicit TColorDialog(TComponent* owner) : TComponent(owner) {}

  TColor Color = clBlack;
  // cdFullOpen: the dialog opens with its custom-colour part shown.
  TColorDialogOptions Options;

  // True when the user confirmed: Color then holds the choice.
  bool Execute();
};

// The name that a dialog returns for a typed name: DefaultExt appended when the name has
// no extension.
std::string ApplyDefaultExt(const std::string& fileName, const std::string& defaultExt);

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel };
class TMsgDlgButtons {
public:
  TMsgDlgButtons() = default;
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (TMsgDlgBtn button : buttons) Bits |= 1u << button;
  }
  bool Contains(TMsgDlgBtn button) const { return (Bits & (1u << button)) != 0; }
  unsigned Bits = 0;
};

// The caption comes from the kind: "警告", "エラー", "情報", "確認"; mtCustom takes the
// application title. The result is the modal result of the button pressed.
int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);
// A plain notice captioned with the application title.
void ShowMessage(const std::string& message);
