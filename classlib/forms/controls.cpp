#include "classlib/forms/controls.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <map>

#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/widgets_p.h"

// ---------------------------------------------------------------- components

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->InsertComponent(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(Format(SListIndexError, {index}));
  return components_[static_cast<std::size_t>(index)];
}

void TComponent::DestroyComponents() noexcept {
  while (!components_.empty()) {
    TComponent* component = components_.back();
    components_.pop_back();
    component->owner_ = nullptr;
    delete component;
  }
}

void TComponent::InsertComponent(TComponent* component) { components_.push_back(component); }

void TComponent::RemoveComponent(TComponent* component) noexcept {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
}

// ---------------------------------------------------------------- fonts

void TFont::SetName(const std::string& name) {
  name_ = name;
  Changed();
}

void TFont::SetHeight(int height) {
  height_ = height;
  Changed();
}

int TFont::Size() const { return static_cast<int>(std::lround(-height_ * 72.0 / 96.0)); }

void TFont::SetSize(int points) { SetHeight(-static_cast<int>(std::lround(points * 96.0 / 72.0))); }

void TFont::Assign(TPersistent* source) {
  if (auto* font = dynamic_cast<TFont*>(source)) {
    name_ = font->name_;
    height_ = font->height_;
    Charset = font->Charset;
    Color = font->Color;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

std::string TFont::FamilyName() const {
  static const char* const japaneseUiFonts[] = {"ＭＳ Ｐゴシック", "ＭＳ ゴシック", "MS UI Gothic", "MS PGothic",
                                                "MS Gothic"};
  for (const char* font : japaneseUiFonts) {
    if (name_ == font) return "Noto Sans CJK JP";
  }
  return name_;
}

int TFont::PixelSize() const { return height_ < 0 ? -height_ : std::max(1, height_ * 3 / 4); }

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- window handles

namespace {

std::map<HWND, TWinControl*>& HandleTable() {
  static std::map<HWND, TWinControl*> table;
  return table;
}

HWND NextHandle() {
  // Handles are never reused, so a stale one can never name a newer control.
  static HWND next = 0x10000;
  next += 4;
  return next;
}

}  // namespace

TWinControl* FindControl(HWND handle) {
  auto it = HandleTable().find(handle);
  return it == HandleTable().end() ? nullptr : it->second;
}

TForm* GetParentForm(TControl* control) {
  for (TControl* c = control; c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

// ---------------------------------------------------------------- mouse and drop filter

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState shift;
  if (modifiers & Qt::ShiftModifier) shift.Include(ssShift);
  if (modifiers & Qt::AltModifier) shift.Include(ssAlt);
  if (modifiers & Qt::ControlModifier) shift.Include(ssCtrl);
  if (buttons & Qt::LeftButton) shift.Include(ssLeft);
  if (buttons & Qt::RightButton) shift.Include(ssRight);
  if (buttons & Qt::MiddleButton) shift.Include(ssMiddle);
  return shift;
}

bool ButtonOf(Qt::MouseButton qtButton, TMouseButton& button) {
  switch (qtButton) {
    case Qt::LeftButton: button = mbLeft; return true;
    case Qt::RightButton: button = mbRight; return true;
    case Qt::MiddleButton: button = mbMiddle; return true;
    default: return false;
  }
}

std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.push_back(FromQ(url.toLocalFile()));
  }
  return files;
}

// Dropped files are only ever copied, whatever the source proposes: a source that honours
// a move answer would delete the user's originals. A source that cannot copy is refused.
bool AcceptAsCopy(QDropEvent* event) {
  if (!(event->possibleActions() & Qt::CopyAction) || LocalFiles(event->mimeData()).empty()) return false;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return true;
}

}  // namespace

bool ControlFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (!ReportMouse) break;
      auto* mouse = static_cast<QMouseEvent*>(event);
      TMouseButton button;
      if (!ButtonOf(mouse->button(), button)) break;
      TShiftState shift = ShiftOf(mouse->modifiers(), mouse->buttons());
      // The second press of a double click is a press with ssDouble; its release is no
      // second click.
      if (event->type() == QEvent::MouseButtonDblClick) {
        shift.Include(ssDouble);
      } else if (button == mbLeft) {
        leftPressed_ = true;
      }
      const QPoint at = mouse->position().toPoint();
      control_->UserMouseDown(button, shift, at.x(), at.y());
      return true;
    }
    case QEvent::MouseButtonRelease: {
      if (!ReportMouse) break;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || !leftPressed_) break;
      leftPressed_ = false;
      auto* widget = static_cast<QWidget*>(watched);
      if (widget->rect().contains(mouse->position().toPoint())) control_->UserClick();
      return true;
    }
    case QEvent::ContextMenu:
      if (control_->PopupMenu() != nullptr) {
        const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
        control_->PopupMenu()->Popup(at.x(), at.y());
        return true;
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
      if (AcceptDrops) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (AcceptAsCopy(drag)) return true;
      }
      break;
    case QEvent::Drop:
      if (AcceptDrops) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (AcceptAsCopy(drop)) {
          DeliverDroppedFiles(control_, LocalFiles(drop->mimeData()));
          return true;
        }
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

Qt::CursorShape CursorShape(TCursor cursor) {
  switch (cursor) {
    case crCross: return Qt::CrossCursor;
    case crHourGlass: return Qt::WaitCursor;
    default: return Qt::ArrowCursor;
  }
}

QString CaptionToDisplay(const std::string& caption) {
  QString text = ToQ(caption);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  return text;
}

// ---------------------------------------------------------------- controls

namespace {

// The widget property that leads from a widget back to the control it draws.
constexpr char ControlProperty[] = "classlib.control";

}  // namespace

struct TControl::Impl {
  QPointer<QWidget> widget;
  QPointer<QWidget> client;
  ControlFilter* filter = nullptr;
  bool enabled = true;
};

TControl::TControl(TComponent* owner, TWinControl* parent, QWidget* widget)
    : TComponent(owner), impl_(std::make_unique<Impl>()) {
  impl_->widget = widget;
  widget->setProperty(ControlProperty, QVariant::fromValue(static_cast<void*>(this)));
  impl_->filter = new ControlFilter(this, widget);
  widget->installEventFilter(impl_->filter);
  if (parent != nullptr) {
    parent_ = parent;
    parent->InsertControl(this);
    widget->setParent(parent->ClientWidget());
    // Shown explicitly, so that the widget follows its parent onto the screen.
    widget->show();
  } else {
    impl_->filter->ReportMouse = false;
  }
}

TControl::~TControl() {
  DestroyComponents();
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (QWidget* widget = impl_->widget.data()) {
    widget->setProperty(ControlProperty, QVariant());
    delete widget;
  }
}

TControl* ControlOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const QVariant value = w->property(ControlProperty);
    if (value.isValid()) return static_cast<TControl*>(value.value<void*>());
    if (w->isWindow()) break;
  }
  return nullptr;
}

void TControl::SetReportMouse(bool report) { impl_->filter->ReportMouse = report; }

ControlFilter* FilterOf(TControl* control) { return control->impl_->filter; }

QWidget* TControl::Widget() const { return impl_->widget.data(); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = parent;
  QWidget* widget = Widget();
  if (parent_ != nullptr) {
    parent_->InsertControl(this);
    if (widget != nullptr) {
      const bool hidden = widget->isHidden();
      widget->setParent(parent_->ClientWidget());
      widget->setVisible(!hidden);
    }
    if (align_ == alClient) parent_->AlignControls();
  } else if (widget != nullptr) {
    widget->hide();
    widget->setParent(nullptr);
  }
}

int TControl::Left() const { return Widget() ? Widget()->x() : 0; }
int TControl::Top() const { return Widget() ? Widget()->y() : 0; }
int TControl::Width() const { return Widget() ? Widget()->width() : 0; }
int TControl::Height() const { return Widget() ? Widget()->height() : 0; }

void TControl::SetBounds(int left, int top, int width, int height) {
  if (QWidget* widget = Widget()) widget->setGeometry(left, top, std::max(0, width), std::max(0, height));
  BoundsChanged();
  if (parent_ != nullptr) parent_->ChildBoundsChanged(this);
}

bool TControl::Visible() const { return Widget() != nullptr && !Widget()->isHidden(); }

void TControl::SetVisible(bool visible) {
  if (QWidget* widget = Widget()) widget->setVisible(visible);
}

bool TControl::Enabled() const { return impl_->enabled; }

void TControl::SetEnabled(bool enabled) {
  impl_->enabled = enabled;
  if (QWidget* widget = Widget()) widget->setEnabled(enabled);
}

void TControl::SetCaption(const std::string& caption) {
  caption_ = caption;
  CaptionChanged();
}

void TControl::SetColor(TColor colour) {
  color_ = colour;
  ColorChanged();
}

void TControl::ColorChanged() {
  QWidget* widget = Widget();
  if (widget == nullptr) return;
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ToQColor(color_));
  palette.setColor(QPalette::Base, ToQColor(color_));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
  widget->update();
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  if (QWidget* widget = Widget()) {
    if (cursor == crDefault) {
      widget->unsetCursor();
    } else {
      widget->setCursor(QCursor(CursorShape(cursor)));
    }
  }
}

void TControl::SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

void TControl::Invalidate() {
  if (QWidget* widget = Widget()) widget->update();
}

void TControl::Repaint() {
  if (QWidget* widget = Widget()) widget->repaint();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::UserMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (!OnMouseDown || !Enabled()) return;
  CallGuarded([&] { OnMouseDown(this, button, shift, x, y); });
}

void TControl::UserClick() {
  if (!Enabled()) return;
  CallGuarded([&] { Click(); });
}

// ---------------------------------------------------------------- windowed controls

namespace {

// Realigns the children when the client area changes size.
class ResizeWatcher : public QObject {
public:
  ResizeWatcher(TWinControl* control, QObject* parent) : QObject(parent), control_(control) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) control_->AlignControls();
    return QObject::eventFilter(watched, event);
  }

private:
  TWinControl* control_;
};

}  // namespace

TWinControl::TWinControl(TComponent* owner, TWinControl* parent, QWidget* widget, QWidget* client)
    : TControl(owner, parent, widget) {
  SetClientWidget(client != nullptr ? client : widget);
}

TWinControl::~TWinControl() {
  // The owned controls go while this control's list and widgets are still whole.
  DestroyComponents();
  for (TControl* control : controls_) control->parent_ = nullptr;
  controls_.clear();
  if (handle_ != 0) HandleTable().erase(handle_);
}

void TWinControl::SetClientWidget(QWidget* client) {
  TControl::impl_->client = client;
  client->installEventFilter(new ResizeWatcher(this, client));
}

QWidget* TWinControl::ClientWidget() const { return TControl::impl_->client.data(); }

int TWinControl::ClientWidth() const { return ClientWidget() ? ClientWidget()->width() : 0; }
int TWinControl::ClientHeight() const { return ClientWidget() ? ClientWidget()->height() : 0; }

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format(SListIndexError, {index}));
  return controls_[static_cast<std::size_t>(index)];
}

HWND TWinControl::Handle() {
  if (handle_ == 0) {
    handle_ = NextHandle();
    HandleTable()[handle_] = this;
  }
  return handle_;
}

void TWinControl::AlignControls() {
  QWidget* client = ClientWidget();
  if (client == nullptr) return;
  for (TControl* control : controls_) {
    if (control->Align() == alClient) control->SetBounds(0, 0, client->width(), client->height());
  }
}

void TWinControl::InsertControl(TControl* control) { controls_.push_back(control); }

void TWinControl::RemoveControl(TControl* control) noexcept {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it != controls_.end()) controls_.erase(it);
}
