#include "classlib/forms/menus.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

#include "classlib/forms/forms.h"
#include "classlib/forms/widgets_p.h"

struct TMenuItem::Impl {
  std::unique_ptr<QAction> action;
  std::unique_ptr<QMenu> menu;
};

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {
  impl_->action = std::make_unique<QAction>();
  QObject::connect(impl_->action.get(), &QAction::triggered, [this] { UserClick(); });
}

TMenuItem::~TMenuItem() {
  if (parent_ != nullptr) {
    auto& siblings = parent_->items_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  for (TMenuItem* item : items_) item->parent_ = nullptr;
  // The submenu goes before the entry that shows it.
  impl_->menu.reset();
  impl_->action.reset();
}

void TMenuItem::SetCaption(const std::string& caption) {
  caption_ = caption;
  Apply();
}

void TMenuItem::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Apply();
}

void TMenuItem::SetVisible(bool visible) {
  visible_ = visible;
  Apply();
}

void TMenuItem::SetGlyph(TGlyph glyph) {
  glyph_ = glyph;
  impl_->action->setIcon(GlyphIcon(glyph));
}

void TMenuItem::Apply() {
  QAction* action = impl_->action.get();
  action->setSeparator(IsLine());
  // A separator with text is drawn as a titled section: the line shows a "-".
  action->setText(IsLine() ? QString() : ToQ(caption_));
  action->setEnabled(enabled_);
  action->setVisible(visible_);
}

void TMenuItem::Add(TMenuItem* item) {
  if (item == nullptr || item == this) return;
  if (item->parent_ != nullptr) item->parent_->Remove(item);
  item->parent_ = this;
  items_.push_back(item);
  Rebuild();
}

void TMenuItem::Remove(TMenuItem* item) noexcept {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Rebuild();
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, {index}));
  return items_[static_cast<std::size_t>(index)];
}

void TMenuItem::Rebuild() {
  if (menu_ != nullptr) {
    // The root's entries are the top level of its menu.
    menu_->Changed();
    return;
  }
  if (items_.empty()) {
    impl_->action->setMenu(nullptr);
    impl_->menu.reset();
    return;
  }
  if (!impl_->menu) {
    impl_->menu = std::make_unique<QMenu>();
    impl_->action->setMenu(impl_->menu.get());
  }
  impl_->menu->clear();
  for (TMenuItem* item : items_) impl_->menu->addAction(item->Action());
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

void TMenuItem::UserClick() {
  if (!enabled_) return;
  CallGuarded([this] { Click(); });
}

QAction* TMenuItem::Action() const { return impl_->action.get(); }
QMenu* TMenuItem::SubMenu() const { return impl_->menu.get(); }

TMenuItem* NewMenuItem(TComponent* owner, TMenuItem* parent, const char* name, const char* caption, TGlyph glyph) {
  auto* item = new TMenuItem(owner);
  item->Name = name;
  item->SetCaption(caption);
  item->SetGlyph(glyph);
  parent->Add(item);
  return item;
}

// ---------------------------------------------------------------- menus

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) { items_->menu_ = this; }

struct TMainMenu::Impl {
  QPointer<QMenuBar> bar;
};

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner), impl_(std::make_unique<Impl>()) {
  impl_->bar = new QMenuBar();
  // The bar of a window that isn't on the desktop's own menu line.
  impl_->bar->setNativeMenuBar(false);
  form_ = dynamic_cast<TForm*>(owner);
  if (form_ != nullptr) form_->SetMenu(this);
}

TMainMenu::~TMainMenu() {
  // The entries' actions go first, so the bar never shows a freed entry.
  DestroyComponents();
  items_ = nullptr;
  if (form_ != nullptr && form_->Menu() == this) form_->SetMenu(nullptr);
  delete impl_->bar.data();
}

QMenuBar* TMainMenu::MenuBar() const { return impl_->bar.data(); }

void TMainMenu::Changed() {
  QMenuBar* bar = impl_->bar.data();
  if (bar == nullptr || items_ == nullptr) return;
  bar->clear();
  for (int i = 0; i < items_->Count(); ++i) bar->addAction(items_->Items(i)->Action());
}

struct TPopupMenu::Impl {
  std::unique_ptr<QMenu> menu;
};

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner), impl_(std::make_unique<Impl>()) {
  impl_->menu = std::make_unique<QMenu>();
}

TPopupMenu::~TPopupMenu() {
  DestroyComponents();
  items_ = nullptr;
}

void TPopupMenu::Changed() {
  if (items_ == nullptr) return;
  impl_->menu->clear();
  for (int i = 0; i < items_->Count(); ++i) impl_->menu->addAction(items_->Items(i)->Action());
}

void TPopupMenu::Popup(int x, int y) { impl_->menu->popup(QPoint(x, y)); }

QMenu* TPopupMenu::Menu() const { return impl_->menu.get(); }
