#include "classlib/forms/automation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

#include <cstdio>
#include <deque>

#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "classlib/forms/widgets_p.h"

namespace {

struct AutomationState {
  bool active = false;
  std::deque<TModalAnswer> answers;
  std::vector<TModalShown> shown;
  std::function<void(const std::string&)> failure;
  int failures = 0;
};

AutomationState& State() {
  static AutomationState state;
  return state;
}

}  // namespace

const char* ModalKindName(TModalKind kind) {
  switch (kind) {
    case TModalKind::MessageBox: return "message box";
    case TModalKind::ErrorBox: return "error box";
    case TModalKind::MessageDlg: return "message dialog";
    case TModalKind::OpenDialog: return "open dialog";
    case TModalKind::SaveDialog: return "save dialog";
    case TModalKind::ColorDialog: return "colour dialog";
    case TModalKind::Form: return "modal form";
    case TModalKind::FolderBrowser: return "folder browser";
    case TModalKind::ShellOpen: return "shell opener";
  }
  return "modal window";
}

TModalAnswer TModalAnswer::Cancel() {
  TModalAnswer answer;
  answer.Confirm = false;
  return answer;
}

TModalAnswer TModalAnswer::Ok() { return TModalAnswer(); }

TModalAnswer TModalAnswer::Button(int result) {
  TModalAnswer answer;
  answer.Result = result;
  return answer;
}

TModalAnswer TModalAnswer::File(const std::string& fileName, int filterIndex) {
  TModalAnswer answer;
  answer.Text = fileName;
  answer.FilterIndex = filterIndex;
  return answer;
}

TModalAnswer TModalAnswer::Folder(const std::string& folder) {
  TModalAnswer answer;
  answer.Text = folder;
  return answer;
}

TModalAnswer TModalAnswer::Colour(TColor colour) {
  TModalAnswer answer;
  answer.Color = colour;
  answer.HasColor = true;
  return answer;
}

TModalAnswer TModalAnswer::DriveForm(std::function<void(TForm*)> drive) {
  TModalAnswer answer;
  answer.Drive = std::move(drive);
  return answer;
}

void TAutomation::SetActive(bool active) { State().active = active; }
bool TAutomation::Active() { return State().active; }
void TAutomation::Push(TModalAnswer answer) { State().answers.push_back(std::move(answer)); }
std::size_t TAutomation::Pending() { return State().answers.size(); }
const std::vector<TModalShown>& TAutomation::Shown() { return State().shown; }

std::vector<TModalShown> TAutomation::TakeShown() {
  std::vector<TModalShown> shown;
  shown.swap(State().shown);
  return shown;
}

void TAutomation::Clear() {
  State().answers.clear();
  State().shown.clear();
}

void TAutomation::SetFailureHandler(std::function<void(const std::string&)> handler) {
  State().failure = std::move(handler);
}

int TAutomation::FailureCount() { return State().failures; }

void TAutomation::Fail(const std::string& message) {
  ++State().failures;
  if (State().failure) {
    State().failure(message);
  } else {
    std::fprintf(stderr, "automation: %s\n", message.c_str());
  }
}

bool TAutomation::Take(TModalShown shown, TModalAnswer& answer) {
  AutomationState& state = State();
  if (!state.active) return false;
  const std::string what = std::string(ModalKindName(shown.Kind)) + " \"" + shown.Caption + "\"" +
                           (shown.Text.empty() ? std::string() : ": " + shown.Text);
  state.shown.push_back(std::move(shown));
  if (state.answers.empty()) {
    answer = TModalAnswer::Cancel();
    Fail("no answer queued for the " + what);
    return true;
  }
  answer = std::move(state.answers.front());
  state.answers.pop_front();
  if (answer.Inspect) answer.Inspect(state.shown.back());
  return true;
}

// ---------------------------------------------------------------- the user's hand

namespace {

Qt::KeyboardModifiers ModifiersOf(TShiftState shift) {
  Qt::KeyboardModifiers modifiers;
  if (shift.Contains(ssShift)) modifiers |= Qt::ShiftModifier;
  if (shift.Contains(ssCtrl)) modifiers |= Qt::ControlModifier;
  if (shift.Contains(ssAlt)) modifiers |= Qt::AltModifier;
  return modifiers;
}

void Press(QWidget* widget, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  // The press lands on whatever lies uppermost at that point, as a real one does.
  if (QWidget* child = widget->childAt(at)) {
    at = child->mapFrom(widget, at);
    widget = child;
  }
  const QPointF local(at);
  const QPointF global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, modifiers);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, modifiers);
  QApplication::sendEvent(widget, &release);
}

}  // namespace

void UserClick(TControl* control) {
  QWidget* widget = control != nullptr ? control->Widget() : nullptr;
  if (widget == nullptr) return;
  QPoint at = widget->rect().center();
  // Check and radio buttons answer to their mark, not to the empty end of their line.
  if (dynamic_cast<QAbstractButton*>(widget) != nullptr && dynamic_cast<QPushButton*>(widget) == nullptr) {
    at = QPoint(std::min(6, widget->width() / 2), widget->height() / 2);
  }
  Press(widget, at, Qt::LeftButton, Qt::NoModifier);
}

void UserMouse(TControl* control, TMouseButton button, TShiftState shift, int x, int y) {
  QWidget* widget = control != nullptr ? control->Widget() : nullptr;
  if (widget == nullptr) return;
  const Qt::MouseButton qtButton = button == mbLeft    ? Qt::LeftButton
                                   : button == mbRight ? Qt::RightButton
                                                       : Qt::MiddleButton;
  Press(widget, QPoint(x, y), qtButton, ModifiersOf(shift));
}

void UserSelectTab(TTabbedNotebook* notebook, int index) {
  auto* tabs = static_cast<QTabWidget*>(notebook->Widget());
  QTabBar* bar = tabs->tabBar();
  const QRect rect = bar->tabRect(index);
  if (rect.isValid()) {
    Press(bar, rect.center(), Qt::LeftButton, Qt::NoModifier);
  } else {
    bar->setCurrentIndex(index);
  }
}

void UserTabKey(TTabbedNotebook* notebook, int step) {
  auto* tabs = static_cast<QTabWidget*>(notebook->Widget());
  QKeyEvent key(QEvent::KeyPress, step > 0 ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
  QApplication::sendEvent(tabs->tabBar(), &key);
}

void UserChoose(TComboBox* combo, int index) {
  auto* box = static_cast<QComboBox*>(combo->Widget());
  if (index < 0 || index >= box->count()) return;
  {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index);
  }
  // What the drop-down list reports when the user picks an entry.
  emit box->activated(index);
}

void UserClickItem(TListBox* list, int index, TShiftState shift) {
  auto* widget = static_cast<QListWidget*>(list->Widget());
  QListWidgetItem* item = widget->item(index);
  if (item == nullptr) return;
  widget->scrollToItem(item);
  const QRect rect = widget->visualItemRect(item);
  Press(widget->viewport(), rect.center(), Qt::LeftButton, ModifiersOf(shift));
}

void UserChooseMenu(TMenuItem* item) {
  if (item != nullptr && item->Action() != nullptr) item->Action()->trigger();
}

void UserDropFiles(TControl* control, const std::vector<std::string>& files) {
  QWidget* widget = control != nullptr ? control->Widget() : nullptr;
  if (widget == nullptr) return;
  if (auto* area = dynamic_cast<QAbstractScrollArea*>(widget)) widget = area->viewport();
  QMimeData data;
  QList<QUrl> urls;
  for (const std::string& file : files) urls << QUrl::fromLocalFile(ToQ(file));
  data.setUrls(urls);
  // As from the desktop: the drop reaches only a widget that took the drag's entry.
  const QPoint at = widget->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &enter);
  if (!enter.isAccepted()) {
    QDragLeaveEvent leave;
    QApplication::sendEvent(widget, &leave);
    return;
  }
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &drop);
}

namespace {

void SendKey(TForm* form, int key) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr || target->window() != form->Widget()) target = form->Widget();
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

}  // namespace

void UserPressReturn(TForm* form) { SendKey(form, Qt::Key_Return); }
void UserPressEscape(TForm* form) { SendKey(form, Qt::Key_Escape); }

void UserCloseWindow(TForm* form) {
  QCloseEvent close;
  QApplication::sendEvent(form->Widget(), &close);
}

void UserType(TControl* edit, const std::string& text) {
  auto* line = dynamic_cast<QLineEdit*>(edit->Widget());
  if (line == nullptr) return;
  line->selectAll();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, ToQ(text));
  QApplication::sendEvent(line, &key);
}
