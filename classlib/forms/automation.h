// Test automation: every window that would wait for the user (common dialogs, modal forms,
// message boxes, the error box, the folder browser) and the shell opener take their answer
// from one queue instead, and record what they showed. With automation off the real
// windows show. With it on, an empty queue reports a failure and answers "cancel".
//
// The User* calls act on controls the way the user does, through the same event paths as
// the mouse and the keyboard (the exception guard included).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "classlib/forms/controls.h"

class TForm;
class TTabbedNotebook;
class TComboBox;
class TListBox;
class TMenuItem;

enum class TModalKind { MessageBox, ErrorBox, MessageDlg, OpenDialog, SaveDialog, ColorDialog, Form, FolderBrowser, ShellOpen };

const char* ModalKindName(TModalKind kind);

// What a modal window showed, as it was when it appeared.
struct TModalShown {
  TModalKind Kind = TModalKind::MessageBox;
  std::string Caption;  // window caption, dialog title or folder-browser title
  std::string Text;     // message text; the shell opener: the file
  int Flags = 0;        // MB_* flags, message-dialog buttons, dialog options, BIF_* flags, show command
  int DlgType = -1;     // message dialogs: the TMsgDlgType
  std::string FileName; // open and save dialogs: the file name they started with
  std::string Filter;
  int FilterIndex = 0;
  std::string DefaultExt;
  std::string InitialDir;
  TColor Color = 0;          // colour dialog: the colour it started with
  std::string Verb;          // shell opener
  std::string Parameters;    // shell opener
  std::string Directory;     // shell opener
  TCursor Cursor = crDefault;  // the screen cursor while the window was up
  TForm* Form = nullptr;     // modal forms
};

// The user's answer to one modal window.
struct TModalAnswer {
  bool Confirm = true;        // false: Cancel, Esc or the window's close box
  int Result = 0;             // the button or modal result; 0 takes the window's own default
  std::string Text;           // file name or folder
  int FilterIndex = 0;        // open and save dialogs: the filter entry chosen (0 keeps it)
  TColor Color = 0;           // colour dialog (with HasColor)
  bool HasColor = false;
  std::function<void(TForm*)> Drive;  // modal forms: acts on the shown form until it ends
  // Any window: called with what it shows as it comes up, before it takes its answer, so a
  // test can look at the program at that moment.
  std::function<void(const TModalShown&)> Inspect;

  static TModalAnswer Cancel();
  static TModalAnswer Ok();
  static TModalAnswer Button(int result);
  static TModalAnswer File(const std::string& fileName, int filterIndex = 0);
  static TModalAnswer Folder(const std::string& folder);
  static TModalAnswer Colour(TColor colour);
  static TModalAnswer DriveForm(std::function<void(TForm*)> drive);
};

class TAutomation {
public:
  static void SetActive(bool active);
  static bool Active();
  static void Push(TModalAnswer answer);
  static std::size_t Pending();
  static const std::vector<TModalShown>& Shown();
  static std::vector<TModalShown> TakeShown();
  // Drops unused answers and the record (between tests).
  static void Clear();
  // Where a failure goes (a test framework's failure call); without one it goes to stderr.
  static void SetFailureHandler(std::function<void(const std::string&)> handler);
  static int FailureCount();

  // The forms layer's side: records the window and takes its answer. False when automation
  // is off (the real window shows). An empty queue reports a failure and gives a cancel
  // answer, so a test never waits for a hand that isn't there.
  static bool Take(TModalShown shown, TModalAnswer& answer);
  static void Fail(const std::string& message);
};

// The user's hand.
void UserClick(TControl* control);
// Presses and releases the button at x, y of the control.
void UserMouse(TControl* control, TMouseButton button, TShiftState shift, int x, int y);
void UserSelectTab(TTabbedNotebook* notebook, int index);
// Moves to the next (+1) or previous (-1) page with the keyboard.
void UserTabKey(TTabbedNotebook* notebook, int step);
void UserChoose(TComboBox* combo, int index);
void UserClickItem(TListBox* list, int index, TShiftState shift = {});
void UserChooseMenu(TMenuItem* item);
void UserDropFiles(TControl* control, const std::vector<std::string>& files);
void UserPressReturn(TForm* form);
void UserPressEscape(TForm* form);
void UserCloseWindow(TForm* form);
void UserType(TControl* edit, const std::string& text);
