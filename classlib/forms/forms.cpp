#include "classlib/forms/forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <new>

#include "classlib/filenames.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "classlib/forms/widgets_p.h"

static TApplication applicationInstance;
TApplication* Application = &applicationInstance;
static TScreen screenInstance;
TScreen* Screen = &screenInstance;

// ---------------------------------------------------------------- the exception guard

std::string ErrorBoxText(const std::string& message) {
  if (message.empty()) return message;
  // The last character, not its last byte: a multi-byte character sorts above "." as a whole.
  std::size_t start = message.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(message[start]) & 0xC0) == 0x80) --start;
  const unsigned char lead = static_cast<unsigned char>(message[start]);
  if (lead > '.') return message + ".";
  return message;
}

void CallGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    Application->HandleException(nullptr);
  }
}

void TApplication::HandleException(TObject*) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const EAbort&) {
    // Silent by design: the handler wanted to stop, nothing to report.
  } catch (const Exception& e) {
    ShowException(e.Message);
  } catch (const std::bad_alloc&) {
    ShowException(SOutOfMemory);
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Exception");
  }
}

void TApplication::ShowException(const std::string& message) {
  try {
    TModalShown shown;
    shown.Kind = TModalKind::ErrorBox;
    shown.Caption = Title();
    shown.Text = ErrorBoxText(message);
    shown.Flags = MB_OK | MB_ICONSTOP;
    RunMessageBox(std::move(shown), BoxIcon::Error, {{IDOK, "OK"}}, IDOK, IDOK);
  } catch (...) {
    // The error box is the last resort; a failure to show it must not leave the handler.
  }
}

// ---------------------------------------------------------------- message boxes

QWidget* DialogParent() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (Application->MainForm() != nullptr && Application->MainForm()->Visible()) return Application->MainForm()->Widget();
  return nullptr;
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, int flags) {
  std::vector<BoxButton> buttons;
  int escapeId = 0;
  switch (flags & 0x0F) {
    case MB_OKCANCEL:
      buttons = {{IDOK, "OK"}, {IDCANCEL, "キャンセル"}};
      escapeId = IDCANCEL;
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{IDABORT, "中止(&A)"}, {IDRETRY, "再試行(&R)"}, {IDIGNORE, "無視(&I)"}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{IDYES, "はい(&Y)"}, {IDNO, "いいえ(&N)"}, {IDCANCEL, "キャンセル"}};
      escapeId = IDCANCEL;
      break;
    case MB_YESNO:
      buttons = {{IDYES, "はい(&Y)"}, {IDNO, "いいえ(&N)"}};
      break;
    case MB_RETRYCANCEL:
      buttons = {{IDRETRY, "再試行(&R)"}, {IDCANCEL, "キャンセル"}};
      escapeId = IDCANCEL;
      break;
    default:
      buttons = {{IDOK, "OK"}};
      escapeId = IDOK;
      break;
  }
  std::size_t defaultIndex = 0;
  if ((flags & 0x0F00) == MB_DEFBUTTON2) defaultIndex = 1;
  if ((flags & 0x0F00) == MB_DEFBUTTON3) defaultIndex = 2;
  if (defaultIndex >= buttons.size()) defaultIndex = 0;
  BoxIcon icon = BoxIcon::None;
  switch (flags & 0xF0) {
    case MB_ICONHAND: icon = BoxIcon::Error; break;
    case MB_ICONQUESTION: icon = BoxIcon::Question; break;
    case MB_ICONEXCLAMATION: icon = BoxIcon::Warning; break;
    case MB_ICONASTERISK: icon = BoxIcon::Information; break;
    default: break;
  }
  TModalShown shown;
  shown.Kind = TModalKind::MessageBox;
  shown.Caption = caption;
  shown.Text = text;
  shown.Flags = flags;
  return RunMessageBox(std::move(shown), icon, buttons, buttons[defaultIndex].Id, escapeId);
}

// ---------------------------------------------------------------- the application

namespace {

// Enter and Esc of the class library's forms: Enter clicks the focused button or else the
// default button, Esc clicks the cancel button.
class FormKeys : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

class FormWindow : public QWidget {
public:
  explicit FormWindow(QWidget* parent = nullptr) : QWidget(parent, Qt::Window) {}
  TForm* form = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (form != nullptr) form->UserCloseWindow();
  }
};

class FormClient : public QWidget {
public:
  using QWidget::QWidget;
  TForm* form = nullptr;

protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (form != nullptr) form->UserPaint();
  }
};

QFont ToQFont(const TFont& font) {
  QFont result(ToQ(font.FamilyName()));
  result.setPixelSize(font.PixelSize());
  return result;
}

// The room a form's menu bar takes above its client area.
int MenuBarHeight(TMainMenu* menu) {
  return menu != nullptr && menu->MenuBar() != nullptr ? menu->MenuBar()->sizeHint().height() : 0;
}

// What Qt draws itself (its dialogs' labels, standard buttons and file types) speaks the
// programs' language, whatever the user's locale: every text of the programs is
// Japanese. Without the translation those texts stay English.
void LoadQtTranslation() {
  const QLocale japanese(QLocale::Japanese, QLocale::Japan);
  QLocale::setDefault(japanese);
  auto* translator = new QTranslator(qApp);
  if (translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

TForm* FormOfWindow(QWidget* window) {
  auto* formWindow = dynamic_cast<FormWindow*>(window);
  return formWindow != nullptr ? formWindow->form : nullptr;
}

bool FormKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const bool isReturn = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  const bool isEscape = key->key() == Qt::Key_Escape;
  if (!isReturn && !isEscape) return false;
  TForm* form = FormOfWindow(static_cast<QWidget*>(watched)->window());
  if (form == nullptr) return false;
  if (isReturn) {
    form->UserPressReturn();
  } else {
    form->UserPressEscape();
  }
  return true;
}

}  // namespace

struct TApplication::Impl {
  std::unique_ptr<QApplication> ownApp;
  int argc = 1;
  char name[16] = "sheettools";
  char* argv[2] = {name, nullptr};
  std::string title;
  bool titleSet = false;
  QPointer<FormKeys> keys;
  QEventLoop* runLoop = nullptr;
};

TApplication::TApplication() : TComponent(nullptr), impl_(std::make_unique<Impl>()) {}

TApplication::~TApplication() { Done(); }

void TApplication::Initialize() {
  if (QCoreApplication::instance() == nullptr) {
    impl_->ownApp = std::make_unique<QApplication>(impl_->argc, impl_->argv);
  }
  QApplication::setQuitOnLastWindowClosed(false);
  if (!impl_->keys) {
    impl_->keys = new FormKeys(qApp);
    qApp->installEventFilter(impl_->keys);
    LoadQtTranslation();
    UseDesktopIconTheme();
  }
  // Message boxes and dialogs speak Japanese too: the class library's UI font everywhere.
  QApplication::setFont(ToQFont(TFont()));
}

const std::string& TApplication::Title() const {
  if (!impl_->titleSet) {
    std::string name = ExeName();
    name = name.substr(name.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    impl_->title = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    impl_->titleSet = true;
  }
  return impl_->title;
}

void TApplication::SetTitle(const std::string& title) {
  impl_->title = title;
  impl_->titleSet = true;
}

std::string TApplication::ExeName() const { return ::ExeName(); }

void TApplication::SetIcon(TGlyph glyph) { QApplication::setWindowIcon(GlyphIcon(glyph)); }

void TApplication::FormCreated(TForm* form) {
  if (!impl_->keys) Initialize();
  if (mainForm_ == nullptr) mainForm_ = form;
  form->DoCreate();
}

void TApplication::FormDestroyed(TForm* form) noexcept {
  if (mainForm_ == form) mainForm_ = nullptr;
}

void TApplication::Run() {
  if (!impl_->keys) Initialize();
  terminated_ = false;
  if (mainForm_ != nullptr && !mainForm_->Visible()) {
    CallGuarded([this] { mainForm_->Show(); });
  }
  if (mainForm_ == nullptr || terminated_) return;
  QEventLoop loop;
  impl_->runLoop = &loop;
  loop.exec();
  impl_->runLoop = nullptr;
}

void TApplication::Terminate() {
  terminated_ = true;
  if (impl_->runLoop != nullptr) impl_->runLoop->quit();
}

void TApplication::MainFormClosed() { Terminate(); }

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::Done() noexcept {
  if (QCoreApplication::instance() == nullptr) return;
  DestroyComponents();
  mainForm_ = nullptr;
  delete impl_->keys.data();
  impl_->ownApp.reset();
}

// ---------------------------------------------------------------- the screen

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  const TCursor previous = cursor_;
  cursor_ = cursor;
  if (QGuiApplication::instance() == nullptr) return;
  if (previous != crDefault) QGuiApplication::restoreOverrideCursor();
  if (cursor != crDefault) QGuiApplication::setOverrideCursor(QCursor(CursorShape(cursor)));
}

// ---------------------------------------------------------------- forms

namespace {

FormWindow* NewFormWindow() {
  auto* window = new FormWindow();
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(new FormClient(window));
  return window;
}

QWidget* ClientOf(QWidget* window) { return window->layout()->itemAt(0)->widget(); }

}  // namespace

TForm::TForm(TComponent* owner) : TForm(owner, NewFormWindow()) {}

TForm::TForm(TComponent* owner, QWidget* window) : TWinControl(owner, static_cast<TWinControl*>(nullptr), window, ClientOf(window)) {
  static_cast<FormWindow*>(window)->form = this;
  static_cast<FormClient*>(ClientWidget())->form = this;
  font_.OnChange = [this](TObject*) {
    if (QWidget* widget = Widget()) widget->setFont(ToQFont(font_));
  };
  font_.OnChange(&font_);
  clientWidth_ = 320;
  clientHeight_ = 240;
  ApplyWindowFlags();
  ApplyClientSize();
}

TForm::~TForm() {
  if (auto* window = static_cast<FormWindow*>(Widget())) window->form = nullptr;
  if (auto* client = static_cast<FormClient*>(ClientWidget())) client->form = nullptr;
  DestroyComponents();
  if (Application != nullptr) Application->FormDestroyed(this);
}

void TForm::DoCreate() {
  if (created_) return;
  created_ = true;
  if (OnCreate) CallGuarded([this] { OnCreate(this); });
}

int TForm::ClientWidth() const { return clientWidth_; }
int TForm::ClientHeight() const { return clientHeight_; }

void TForm::SetClientWidth(int width) {
  clientWidth_ = std::max(0, width);
  ApplyClientSize();
}

void TForm::SetClientHeight(int height) {
  clientHeight_ = std::max(0, height);
  ApplyClientSize();
}

void TForm::SetBounds(int left, int top, int width, int height) {
  if (QWidget* window = Widget()) window->move(left, top);
  // Moving alone keeps the client size as it is.
  if (width == Width() && height == Height()) return;
  clientWidth_ = std::max(0, width);
  clientHeight_ = std::max(0, height - MenuBarHeight(menu_));
  ApplyClientSize();
}

void TForm::ApplyClientSize() {
  QWidget* window = Widget();
  QWidget* client = ClientWidget();
  if (window == nullptr || client == nullptr) return;
  const bool fixed = borderStyle_ != bsSizeable && borderStyle_ != bsSizeToolWin;
  if (fixed) {
    client->setFixedSize(clientWidth_, clientHeight_);
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);
  } else {
    client->setMinimumSize(0, 0);
    client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    client->resize(clientWidth_, clientHeight_);
  }
  window->resize(clientWidth_, clientHeight_ + MenuBarHeight(menu_));
  window->layout()->activate();
  // A hidden window hears of its new size only when shown; the aligned controls follow now.
  AlignControls();
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  borderStyle_ = style;
  ApplyWindowFlags();
  ApplyClientSize();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  borderIcons_ = icons;
  ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
  QWidget* window = Widget();
  if (window == nullptr) return;
  Qt::WindowFlags flags = borderStyle_ == bsDialog ? Qt::Dialog : Qt::Window;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (borderStyle_ == bsNone) flags |= Qt::FramelessWindowHint;
  if (borderIcons_.Contains(biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (borderStyle_ != bsDialog && borderIcons_.Contains(biSystemMenu)) {
    if (borderIcons_.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    if (borderIcons_.Contains(biMaximize) && borderStyle_ == bsSizeable) flags |= Qt::WindowMaximizeButtonHint;
  }
  const bool visible = window->isVisible();
  window->setWindowFlags(flags);
  if (visible) window->show();
}

void TForm::SetMenu(TMainMenu* menu) {
  menu_ = menu;
  if (QWidget* window = Widget()) window->layout()->setMenuBar(menu != nullptr ? menu->MenuBar() : nullptr);
  ApplyClientSize();
}

void TForm::PlaceWindow() {
  QWidget* window = Widget();
  QRect area;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
      break;
    case poMainFormCenter:
      if (TForm* main = Application->MainForm(); main != nullptr && main != this) area = main->Widget()->geometry();
      break;
    default:
      return;
  }
  if (area.isEmpty()) return;
  const QSize size = window->size();
  window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

bool TForm::Visible() const { return Widget() != nullptr && Widget()->isVisible(); }

void TForm::SetVisible(bool visible) {
  QWidget* window = Widget();
  if (window == nullptr || visible == window->isVisible()) return;
  if (visible) {
    if (OnShow) OnShow(this);
    PlaceWindow();
    window->show();
  } else {
    window->hide();
  }
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  if (closing_) return;
  closing_ = true;
  TCloseAction action = caHide;
  try {
    if (OnClose) OnClose(this, action);
  } catch (...) {
    closing_ = false;
    throw;
  }
  closing_ = false;
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Hide();
    Application->MainFormClosed();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    Widget()->showMinimized();
  } else {
    Hide();
    // Freed once the event that closed it has finished with it.
    QTimer::singleShot(0, Widget(), [this] { delete this; });
  }
}

void TForm::SetModalResult(TModalResult result) {
  modalResult_ = result;
  if (modal_ && result != mrNone && endModal_) endModal_();
}

int TForm::ShowModal() {
  QWidget* window = Widget();
  if (modal_ || Visible()) throw EInvalidOperation("可視ウィンドウはモーダルにできません");
  modalResult_ = mrNone;
  modal_ = true;
  struct ModalEnd {
    TForm* form;
    ~ModalEnd() {
      form->modal_ = false;
      form->endModal_ = nullptr;
      if (QWidget* w = form->Widget()) {
        w->hide();
        w->setWindowModality(Qt::NonModal);
      }
    }
  } end{this};

  TModalShown shown;
  shown.Kind = TModalKind::Form;
  shown.Caption = Caption();
  shown.Cursor = Screen->Cursor();
  shown.Form = this;
  TModalAnswer answer;
  const bool automated = TAutomation::Take(std::move(shown), answer);
  if (OnShow) OnShow(this);
  PlaceWindow();
  if (!automated) window->setWindowModality(Qt::ApplicationModal);
  window->show();
  for (;;) {
    if (automated) {
      if (!answer.Confirm) {
        modalResult_ = mrCancel;
      } else if (answer.Drive) {
        auto drive = std::move(answer.Drive);
        drive(this);
      } else if (answer.Result != 0) {
        modalResult_ = answer.Result;
      }
      if (modalResult_ == mrNone) {
        TAutomation::Fail("the modal form \"" + Caption() + "\" was left without a modal result");
        modalResult_ = mrCancel;
      }
    } else if (modalResult_ == mrNone) {
      QEventLoop loop;
      endModal_ = [&loop] { loop.quit(); };
      loop.exec();
      endModal_ = nullptr;
    }
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action != caNone || automated) break;
    modalResult_ = mrNone;
  }
  return modalResult_;
}

void TForm::ClickButton(bool defaultButton) {
  QWidget* window = Widget();
  std::vector<TWinControl*> pending{this};
  while (!pending.empty()) {
    TWinControl* parent = pending.back();
    pending.pop_back();
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* control = parent->Controls(i);
      if (auto* button = dynamic_cast<TButton*>(control)) {
        const bool wanted = defaultButton ? button->Default() : button->Cancel;
        if (wanted && button->Enabled() && button->Widget()->isVisibleTo(window)) {
          button->UserClick();
          return;
        }
      }
      if (auto* child = dynamic_cast<TWinControl*>(control)) pending.push_back(child);
    }
  }
}

void TForm::UserPressReturn() {
  if (QWidget* focus = QApplication::focusWidget(); focus != nullptr && focus->window() == Widget()) {
    // A focused button takes Enter itself, as the class library's buttons do.
    if (auto* button = dynamic_cast<TButton*>(ControlOfWidget(focus))) {
      button->UserClick();
      return;
    }
  }
  ClickButton(true);
}

void TForm::UserPressEscape() { ClickButton(false); }

void TForm::UserCloseWindow() {
  CallGuarded([this] { Close(); });
}

void TForm::UserPaint() {
  if (OnPaint) CallGuarded([this] { OnPaint(this); });
}

void TForm::ColorChanged() {
  QWidget* client = ClientWidget();
  if (client == nullptr) return;
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, ToQColor(Color()));
  client->setPalette(palette);
  client->setAutoFillBackground(true);
  client->update();
}

void TForm::CaptionChanged() {
  if (QWidget* window = Widget()) window->setWindowTitle(ToQ(Caption()));
}

bool GrabFormToFile(TForm* form, const std::string& path) {
  if (form == nullptr || form->Widget() == nullptr) return false;
  QWidget* window = form->Widget();
  window->ensurePolished();
  window->layout()->activate();
  const QPixmap picture = window->grab();
  return !picture.isNull() && picture.save(ToQ(path), "PNG");
}
