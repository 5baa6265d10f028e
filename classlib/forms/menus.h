// Menus: the form's menu bar, context menus and their entries.
#pragma once

#include <string>
#include <vector>

#include "classlib/forms/controls.h"
#include "classlib/forms/glyphs.h"

class QAction;
class QMenu;
class QMenuBar;
class TMenu;

// One entry. "&" before a letter makes it the entry's accelerator; the caption "-" makes a
// separator. An entry with entries of its own opens them as a submenu.
class TMenuItem : public TComponent {
public:
  CLASSLIB_CLASS(TMenuItem)
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // The small picture before the caption.
  TGlyph Glyph() const { return glyph_; }
  void SetGlyph(TGlyph glyph);

  void Add(TMenuItem* item);
  void Remove(TMenuItem* item) noexcept;
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const;
  TMenuItem* Parent() const { return parent_; }
  bool IsLine() const { return caption_ == "-"; }

  // Runs OnClick as a code call would.
  void Click();
  // The user chose the entry: OnClick inside the exception guard.
  void UserClick();

  TNotifyEvent OnClick;

  QAction* Action() const;
  QMenu* SubMenu() const;

private:
  void Apply();
  void Rebuild();

  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  TGlyph glyph_ = TGlyph::None;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
  friend class TMenu;
  TMenu* menu_ = nullptr;
};

// An entry owned by owner, with its name, caption and glyph, appended to parent ("-" makes
// a separator).
TMenuItem* NewMenuItem(TComponent* owner, TMenuItem* parent, const char* name, const char* caption,
                       TGlyph glyph = TGlyph::None);

class TMenu : public TComponent {
public:
  CLASSLIB_CLASS(TMenu)
  explicit TMenu(TComponent* owner);
  // The invisible root whose entries are the menu's top level.
  TMenuItem* Items() const { return items_; }

protected:
  friend class TMenuItem;
  virtual void Changed() {}
  TMenuItem* items_;
};

// The menu bar of the form that owns it.
class TMainMenu : public TMenu {
public:
  CLASSLIB_CLASS(TMainMenu)
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;

  QMenuBar* MenuBar() const;

protected:
  void Changed() override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TForm* form_ = nullptr;
};

class TPopupMenu : public TMenu {
public:
  CLASSLIB_CLASS(TPopupMenu)
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;

  // Shows the menu at a desktop position without waiting for the choice.
  void Popup(int x, int y);
  QMenu* Menu() const;

protected:
  void Changed() override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
