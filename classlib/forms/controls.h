// Components and controls of the forms layer: ownership, geometry, visibility, mouse
// events. The window system stays behind forward declarations; the programs never see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "classlib/graphics.h"
#include "classlib/object.h"

class QWidget;
class TWinControl;
class TForm;
class TPopupMenu;
class ControlFilter;

// Owns the components created with it as owner and frees them, newest first, when it goes.
class TComponent : public TPersistent {
public:
  CLASSLIB_CLASS(TComponent)
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;

  std::string Name;

protected:
  // Frees the owned components now; called first by destructors whose state the owned
  // components still use while they go.
  void DestroyComponents() noexcept;

private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component) noexcept;

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

class TShiftState {
public:
  TShiftState() = default;
  TShiftState(std::initializer_list<TShiftStateItem> items) {
    for (TShiftStateItem item : items) Include(item);
  }
  bool Contains(TShiftStateItem item) const { return (Bits & (1u << item)) != 0; }
  void Include(TShiftStateItem item) { Bits |= 1u << item; }
  void Exclude(TShiftStateItem item) { Bits &= ~(1u << item); }
  bool Empty() const { return Bits == 0; }
  friend bool operator==(const TShiftState&, const TShiftState&) = default;

  unsigned Bits = 0;
};

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int X, int Y)>;

using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crHourGlass = -11;

// Only the whole client area is needed; other alignments are placed by their bounds.
enum TAlign { alNone, alClient };

// One enumeration serves forms and bordered controls, as the class library's names overlap.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;

inline constexpr std::uint8_t DEFAULT_CHARSET = 1;
inline constexpr std::uint8_t SHIFTJIS_CHARSET = 128;

// A font as the class library describes it: Height < 0 is the character height in pixels.
class TFont : public TPersistent {
public:
  CLASSLIB_CLASS(TFont)
  TFont() = default;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  int Height() const { return height_; }
  void SetHeight(int height);
  // Points at the class library's 96 pixels per inch.
  int Size() const;
  void SetSize(int points);
  std::uint8_t Charset = SHIFTJIS_CHARSET;
  TColor Color = clBlack;

  void Assign(TPersistent* source) override;
  // The family the desktop really draws with: the class library's Japanese UI fonts map to
  // the installed CJK sans family.
  std::string FamilyName() const;
  int PixelSize() const;

  TNotifyEvent OnChange;

private:
  void Changed();
  std::string name_ = "ＭＳ Ｐゴシック";
  int height_ = -12;
};

class TControl : public TComponent {
public:
  CLASSLIB_CLASS(TControl)
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Moves the control onto another parent; its owner stays.
  virtual void SetParent(TWinControl* parent);

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
  void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
  void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
  void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Rect(Left(), Top(), Left() + Width(), Top() + Height()); }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }

  virtual bool Visible() const;
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const;
  void SetEnabled(bool enabled);

  // Caption and Text are one text, as in the class library.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }

  TColor Color() const { return color_; }
  virtual void SetColor(TColor colour);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);

  void Invalidate();
  void Repaint();
  // Raises OnClick (and whatever the control does on a click) as a code call would.
  virtual void Click();

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;

  // The widget behind the control; only the forms layer looks at it.
  QWidget* Widget() const;

  // Called by the forms layer when the user acts on the control; exceptions stay inside.
  virtual void UserMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void UserClick();

protected:
  // Takes ownership of the widget and places it on the parent's client area. Controls are
  // owned by their parent; a form has no parent and names its owner.
  TControl(TComponent* owner, TWinControl* parent, QWidget* widget);
  virtual void CaptionChanged() {}
  virtual void ColorChanged();
  virtual void BoundsChanged() {}

  // Keeps a text the widget changed itself (an edit the user typed into).
  void StoreCaption(const std::string& caption) { caption_ = caption; }
  // Widgets that report presses and clicks themselves (buttons, lists) turn the generic
  // mouse reports off.
  void SetReportMouse(bool report);

private:
  friend class TWinControl;
  friend ControlFilter* FilterOf(TControl* control);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TWinControl* parent_ = nullptr;
  std::string caption_;
  TColor color_ = clBtnFace;
  TAlign align_ = alNone;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
};

// A control that holds other controls and has a window handle.
class TWinControl : public TControl {
public:
  CLASSLIB_CLASS(TWinControl)
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;
  // The window handle: a checked entry that the shell and drop calls accept.
  HWND Handle();
  // The widget that children are placed on (a panel's inner area, a scroll box's sheet).
  QWidget* ClientWidget() const;
  int ClientWidth() const override;
  int ClientHeight() const override;
  void AlignControls();
  // Called by a child whose bounds changed (a scroll box grows its sheet).
  virtual void ChildBoundsChanged(TControl*) {}

protected:
  TWinControl(TWinControl* parent, QWidget* widget, QWidget* client = nullptr)
      : TWinControl(parent, parent, widget, client) {}
  TWinControl(TComponent* owner, TWinControl* parent, QWidget* widget, QWidget* client);
  void SetClientWidget(QWidget* client);

private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control) noexcept;

  std::vector<TControl*> controls_;
  HWND handle_ = 0;
};

// The control behind a window handle, or none for a stale or unknown handle.
TWinControl* FindControl(HWND handle);
// The form a control lies on, or none.
TForm* GetParentForm(TControl* control);

// Names a control and puts it at its place (and size) on its parent: every form builds
// its controls this way, from the pixel geometry of its layout.
template <class T>
T* Place(T* control, const char* name, int left, int top, int width, int height) {
  control->Name = name;
  control->SetBounds(left, top, width, height);
  return control;
}

// The same, keeping the control's own default size.
template <class T>
T* Place(T* control, const char* name, int left, int top) {
  control->Name = name;
  control->SetBounds(left, top, control->Width(), control->Height());
  return control;
}
