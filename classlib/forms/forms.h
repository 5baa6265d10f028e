// The application object, the screen, forms and the platform's message-box constants.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms/controls.h"
#include "classlib/forms/glyphs.h"

class TMainMenu;

// Message-box flags and results of the platform.
inline constexpr int MB_OK = 0x0000;
inline constexpr int MB_OKCANCEL = 0x0001;
inline constexpr int MB_ABORTRETRYIGNORE = 0x0002;
inline constexpr int MB_YESNOCANCEL = 0x0003;
inline constexpr int MB_YESNO = 0x0004;
inline constexpr int MB_RETRYCANCEL = 0x0005;
inline constexpr int MB_ICONHAND = 0x0010;
inline constexpr int MB_ICONSTOP = MB_ICONHAND;
inline constexpr int MB_ICONERROR = MB_ICONHAND;
inline constexpr int MB_ICONQUESTION = 0x0020;
inline constexpr int MB_ICONEXCLAMATION = 0x0030;
inline constexpr int MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr int MB_ICONASTERISK = 0x0040;
inline constexpr int MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr int MB_DEFBUTTON2 = 0x0100;
inline constexpr int MB_DEFBUTTON3 = 0x0200;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = IDOK;
inline constexpr TModalResult mrCancel = IDCANCEL;
inline constexpr TModalResult mrAbort = IDABORT;
inline constexpr TModalResult mrRetry = IDRETRY;
inline constexpr TModalResult mrIgnore = IDIGNORE;
inline constexpr TModalResult mrYes = IDYES;
inline constexpr TModalResult mrNo = IDNO;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

// The error box's text: the message with "." added when its last character sorts above ".".
std::string ErrorBoxText(const std::string& message);

class TApplication : public TComponent {
public:
  CLASSLIB_CLASS(TApplication)
  TApplication();
  ~TApplication() override;

  // Makes the desktop connection when the program has none yet (tests make their own).
  void Initialize();
  const std::string& Title() const;
  void SetTitle(const std::string& title);
  // The running executable's full path.
  std::string ExeName() const;
  // The icon of every window the program shows.
  void SetIcon(TGlyph glyph);

  // Creates a form owned by the application and runs its OnCreate; the first form created
  // this way is the main form.
  template <class T>
  void CreateForm(T*& reference) {
    reference = nullptr;
    T* form = new T(this);
    reference = form;
    FormCreated(form);
  }
  TForm* MainForm() const { return mainForm_; }
  // Shows the main form and runs the message loop until it closes.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();

  // The platform's message box: text, caption, MB_* flags; the result is the ID of the
  // button pressed.
  int MessageBox(const std::string& text, const std::string& caption, int flags);
  // The default error box for the exception being handled (call inside a catch block).
  void HandleException(TObject* sender);
  void ShowException(const std::string& message);

  // Frees every form while the desktop connection still exists, then the connection the
  // application made itself. Called at the end of a program's and a test's main.
  void Done() noexcept;

private:
  friend class TForm;
  void FormCreated(TForm* form);
  void FormDestroyed(TForm* form) noexcept;
  void MainFormClosed();

  struct Impl;
  std::unique_ptr<Impl> impl_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

extern TApplication* Application;

class TScreen : public TComponent {
public:
  CLASSLIB_CLASS(TScreen)
  TScreen() : TComponent(nullptr) {}
  TCursor Cursor() const { return cursor_; }
  // A cursor other than crDefault overrides every window's cursor until crDefault comes back.
  void SetCursor(TCursor cursor);

private:
  TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
class TBorderIcons {
public:
  TBorderIcons() = default;
  TBorderIcons(std::initializer_list<TBorderIcon> icons) {
    for (TBorderIcon icon : icons) Bits |= 1u << icon;
  }
  bool Contains(TBorderIcon icon) const { return (Bits & (1u << icon)) != 0; }
  unsigned Bits = 0;
};

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poScreenCenter, poDesktopCenter, poMainFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

inline constexpr UINT WM_DROPFILES = 0x0233;
using HDROP = HANDLE;
struct TWMDropFiles {
  UINT Msg = WM_DROPFILES;
  HDROP Drop = 0;
  std::intptr_t Result = 0;
};

class TForm : public TWinControl {
public:
  CLASSLIB_CLASS(TForm)
  explicit TForm(TComponent* owner);
  ~TForm() override;

  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int width);
  void SetClientHeight(int height);
  void SetBounds(int left, int top, int width, int height) override;

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TFont* Font() { return &font_; }
  TMainMenu* Menu() const { return menu_; }

  bool Visible() const override;
  void SetVisible(bool visible) override;
  // Asks OnClose; the main form's close ends the application; a modal form's ends its loop.
  void Close();
  // Runs the form modally until ModalResult is set; the result is that ModalResult.
  int ShowModal();
  int RunModal() { return ShowModal(); }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult result);
  bool Modal() const { return modal_; }

  // Runs OnCreate inside the exception guard; CreateForm calls it once construction ends.
  void DoCreate();

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TCloseEvent OnClose;
  TNotifyEvent OnPaint;

  // The drop of files on a control that accepts them (DragAcceptFiles) arrives here.
  virtual void WMDropFiles(TWMDropFiles& message) { (void)message; }

  // The forms layer's hooks for the keyboard and the window frame.
  void UserPressReturn();
  void UserPressEscape();
  void UserCloseWindow();
  void UserPaint();

protected:
  void CaptionChanged() override;
  void ColorChanged() override;

private:
  friend class TMainMenu;
  TForm(TComponent* owner, QWidget* window);
  void SetMenu(TMainMenu* menu);
  void ApplyWindowFlags();
  void ApplyClientSize();
  void PlaceWindow();
  void ClickButton(bool defaultButton);

  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TFont font_;
  TMainMenu* menu_ = nullptr;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool created_ = false;
  bool closing_ = false;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  std::function<void()> endModal_;
};

// Renders the form as it looks now into a PNG file; false when the file cannot be written.
bool GrabFormToFile(TForm* form, const std::string& path);
