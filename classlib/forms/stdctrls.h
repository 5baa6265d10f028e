// The standard controls: buttons, labels, edits, check and radio buttons, group boxes,
// list and combo boxes.
#pragma once

#include <memory>
#include <string>

#include "classlib/forms/controls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/glyphs.h"
#include "classlib/strings.h"

class TButton : public TWinControl {
public:
  CLASSLIB_CLASS(TButton)
  explicit TButton(TWinControl* parent);

  // Enter on the form clicks the default button, Esc the cancel button.
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel = false;
  // A click hands this result to the form (a modal form then ends with it).
  TModalResult ModalResult = mrNone;

  void Click() override;

protected:
  void CaptionChanged() override;

private:
  bool default_ = false;
};

enum TBitBtnKind { bkCustom, bkOK };

// A button with a glyph; the OK kind brings the class library's OK caption and glyph, is
// the default button and ends a modal form with mrOk.
class TBitBtn : public TButton {
public:
  CLASSLIB_CLASS(TBitBtn)
  explicit TBitBtn(TWinControl* parent);
  TBitBtnKind Kind() const { return kind_; }
  void SetKind(TBitBtnKind kind);
  TGlyph Glyph() const { return glyph_; }
  void SetGlyph(TGlyph glyph);

private:
  TBitBtnKind kind_ = bkCustom;
  TGlyph glyph_ = TGlyph::None;
};

// Carriage returns in the caption break lines.
class TLabel : public TControl {
public:
  CLASSLIB_CLASS(TLabel)
  explicit TLabel(TWinControl* parent);

  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap);
  // On: the label takes the size of its text (with word wrap, only its height follows).
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

protected:
  TLabel(TComponent* owner, TWinControl* parent);
  void CaptionChanged() override;
  void AdjustSize();

private:
  bool wordWrap_ = false;
  bool autoSize_ = true;
};

class TLabeledEdit;

// The label of a labelled edit: it lies on the edit's parent, above the edit.
class TBoundLabel : public TLabel {
public:
  CLASSLIB_CLASS(TBoundLabel)
  explicit TBoundLabel(TLabeledEdit* edit);

protected:
  void CaptionChanged() override;

private:
  TLabeledEdit* edit_;
};

class TLabeledEdit : public TWinControl {
public:
  CLASSLIB_CLASS(TLabeledEdit)
  explicit TLabeledEdit(TWinControl* parent);

  TBoundLabel* EditLabel() const { return label_; }
  int LabelSpacing() const { return labelSpacing_; }
  void SetLabelSpacing(int spacing);
  void SetParent(TWinControl* parent) override;
  void PlaceLabel();

protected:
  void CaptionChanged() override;
  void BoundsChanged() override;

private:
  TBoundLabel* label_ = nullptr;
  int labelSpacing_ = 3;
};

class TCheckBox : public TWinControl {
public:
  CLASSLIB_CLASS(TCheckBox)
  explicit TCheckBox(TWinControl* parent);

  bool Checked() const;
  // A change of state raises OnClick, from code as from the user.
  void SetChecked(bool checked);

protected:
  void CaptionChanged() override;
  void BoundsChanged() override;
};

// Radio buttons with one parent form one group: checking one unchecks the others.
class TRadioButton : public TWinControl {
public:
  CLASSLIB_CLASS(TRadioButton)
  explicit TRadioButton(TWinControl* parent);

  bool Checked() const;
  // Checking raises OnClick; unchecking (by code or by a sibling) does not.
  void SetChecked(bool checked);

  void UserClicked(bool nowChecked);

protected:
  void CaptionChanged() override;
  void BoundsChanged() override;

private:
  void UncheckSiblings();
};

class TGroupBox : public TWinControl {
public:
  CLASSLIB_CLASS(TGroupBox)
  explicit TGroupBox(TWinControl* parent);
  void ChildBoundsChanged(TControl* child) override;

protected:
  void CaptionChanged() override;

private:
  void KeepCaptionClear(TControl* child);
};

// Items is a TStringList the box follows: change it and the box shows the change.
class TListBox : public TWinControl {
public:
  CLASSLIB_CLASS(TListBox)
  explicit TListBox(TWinControl* parent);
  ~TListBox() override;

  TStringList* Items() const { return items_.get(); }
  bool Sorted() const { return items_->Sorted(); }
  void SetSorted(bool sorted) { items_->SetSorted(sorted); }
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool multiSelect);
  // Several selected entries: the entry with the focus; one: the selected entry; -1: none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The entry at the top of the view; setting it scrolls that entry there, as far as the
  // list reaches.
  int TopIndex() const;
  void SetTopIndex(int index);
  // Raises EListError with the index outside 0..Count-1.
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int SelCount() const;
  // Kept for owner-drawn lists; a standard list takes the height of its font.
  int ItemHeight = 13;

private:
  void SyncItems();
  std::unique_ptr<TStringList> items_;
  bool multiSelect_ = false;
};

// A drop-down list without free text. OnChange reports only the user's choice.
class TComboBox : public TWinControl {
public:
  CLASSLIB_CLASS(TComboBox)
  explicit TComboBox(TWinControl* parent);
  ~TComboBox() override;

  TStringList* Items() const { return items_.get(); }
  int ItemIndex() const;
  void SetItemIndex(int index);

  TNotifyEvent OnChange;
  void UserChose();

private:
  void SyncItems();
  std::unique_ptr<TStringList> items_;
};
