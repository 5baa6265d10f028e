// Panels, images, scroll boxes and the tabbed notebook.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms/controls.h"
#include "classlib/graphics.h"

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// Its colour fills it; the caption stands in the middle; bevels and the border inset the
// area its children lie on.
class TPanel : public TWinControl {
public:
  CLASSLIB_CLASS(TPanel)
  explicit TPanel(TWinControl* parent);

  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut bevel);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut bevel);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  // Width of the frame (border and bevels) around the client area.
  int FrameWidth() const;

protected:
  void CaptionChanged() override;
  void ColorChanged() override;
  void BoundsChanged() override;

private:
  TPanel(TWinControl* parent, QWidget* panel);
  void Relayout();
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  TBorderStyle borderStyle_ = bsNone;
};

// Shows a picture at its top left, 1:1. Canvas gives a bitmap to draw on: a blank one of
// the control's size when the picture is empty.
class TImage : public TControl {
public:
  CLASSLIB_CLASS(TImage)
  explicit TImage(TWinControl* parent);
  ~TImage() override;

  TPicture* Picture();
  void SetPicture(TPicture* picture) { Picture()->Assign(picture); }
  // Raises EInvalidOperation when the picture holds a graphic other than a bitmap.
  TCanvas* Canvas();
  // On: the control takes the size of a non-empty picture.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

  void PictureChanged();

private:
  friend class ImageWidget;
  std::unique_ptr<TPicture> picture_;
  bool autoSize_ = false;
};

// Scrolls its children when they reach beyond its client area.
class TScrollBox : public TWinControl {
public:
  CLASSLIB_CLASS(TScrollBox)
  explicit TScrollBox(TWinControl* parent);

  void ChildBoundsChanged(TControl* child) override;
  void UpdateRange();

protected:
  void BoundsChanged() override;

private:
  TScrollBox(TWinControl* parent, QWidget* area);
};

// One page of a notebook: the parent of the page's controls.
class TTabPage : public TWinControl {
public:
  CLASSLIB_CLASS(TTabPage)
  TTabPage(TWinControl* notebook, QWidget* page);
};

using TPageChangeEvent = std::function<void(TObject* sender, int newTab, bool& allowChange)>;

// Pages with tabs. Whenever the user turns to another page (mouse or keyboard), OnChange
// hears the new page's index first and may refuse; then the page turns; then OnClick.
class TTabbedNotebook : public TWinControl {
public:
  CLASSLIB_CLASS(TTabbedNotebook)
  explicit TTabbedNotebook(TWinControl* parent);
  ~TTabbedNotebook() override;

  TTabPage* AddPage(const std::string& caption);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabPage* Page(int index) const;
  // The index of the page with that caption, or -1.
  int PageByCaption(const std::string& caption) const;
  int PageIndex() const;
  // A change by code turns the page without events.
  void SetPageIndex(int index);
  std::string ActivePage() const;
  void SetActivePage(const std::string& caption);

  TPageChangeEvent OnChange;

  void UserTurned(int newIndex);

private:
  std::vector<TTabPage*> pages_;
  int shownIndex_ = -1;
  bool turning_ = false;
};
