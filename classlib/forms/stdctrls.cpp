#include "classlib/forms/stdctrls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include "classlib/forms/widgets_p.h"

namespace {

// Brings a widget's rows in line with a string list with the fewest removals and
// insertions, so that rows the change did not touch keep their selection. Returns where
// the row `followed` went (-1 when it was removed).
template <class TextAt, class RemoveAt, class InsertAt>
int SyncRows(int rows, const TStringList& items, int followed, TextAt textAt, RemoveAt removeAt, InsertAt insertAt) {
  const int count = items.Count();
  int prefix = 0;
  while (prefix < rows && prefix < count && textAt(prefix) == items.Strings(prefix)) ++prefix;
  int suffix = 0;
  while (suffix < rows - prefix && suffix < count - prefix &&
         textAt(rows - 1 - suffix) == items.Strings(count - 1 - suffix)) {
    ++suffix;
  }
  for (int row = rows - suffix - 1; row >= prefix; --row) removeAt(row);
  for (int index = prefix; index < count - suffix; ++index) insertAt(index, items.Strings(index));
  if (followed < 0) return -1;
  if (followed < prefix) return followed;
  if (followed >= rows - suffix) return followed - rows + count;
  return -1;
}

// Code that sets a button's state reports the change itself, not through the widget's signal.
void SetCheckedQuietly(QAbstractButton* button, bool checked) {
  const QSignalBlocker quiet(button);
  button->setChecked(checked);
}

class ListWidget : public QListWidget {
public:
  TListBox* owner = nullptr;

protected:
  void mousePressEvent(QMouseEvent* event) override {
    // The class library's lists keep their selection under a right press (the context
    // menu acts on it).
    if (event->button() != Qt::LeftButton) {
      event->accept();
      return;
    }
    QListWidget::mousePressEvent(event);
    if (itemAt(event->position().toPoint()) != nullptr && owner != nullptr) owner->UserClick();
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && owner != nullptr) owner->UserClick();
  }
};

}  // namespace

// ---------------------------------------------------------------- buttons
//
// A new control has the class library's default size; forms that give only a position
// (a check box at 504,48) rely on it.

TButton::TButton(TWinControl* parent) : TWinControl(parent, new QPushButton()) {
  SetReportMouse(false);
  auto* button = static_cast<QPushButton*>(Widget());
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, [this] { UserClick(); });
  SetBounds(Left(), Top(), 75, 25);
}

void TButton::SetDefault(bool value) {
  default_ = value;
  static_cast<QPushButton*>(Widget())->setDefault(value);
}

void TButton::Click() {
  if (ModalResult != mrNone) {
    if (TForm* form = GetParentForm(this)) form->SetModalResult(ModalResult);
  }
  TControl::Click();
}

void TButton::CaptionChanged() { static_cast<QPushButton*>(Widget())->setText(ToQ(Caption())); }

TBitBtn::TBitBtn(TWinControl* parent) : TButton(parent) {}

void TBitBtn::SetKind(TBitBtnKind kind) {
  kind_ = kind;
  if (kind == bkOK) {
    SetCaption("OK");
    SetDefault(true);
    ModalResult = mrOk;
    SetGlyph(TGlyph::OK);
  } else {
    SetGlyph(TGlyph::None);
  }
}

void TBitBtn::SetGlyph(TGlyph glyph) {
  glyph_ = glyph;
  static_cast<QPushButton*>(Widget())->setIcon(GlyphIcon(glyph));
}

// ---------------------------------------------------------------- labels

TLabel::TLabel(TWinControl* parent) : TLabel(parent, parent) {}

TLabel::TLabel(TComponent* owner, TWinControl* parent) : TControl(owner, parent, new QLabel()) {
  auto* label = static_cast<QLabel*>(Widget());
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TLabel::SetWordWrap(bool wrap) {
  wordWrap_ = wrap;
  static_cast<QLabel*>(Widget())->setWordWrap(wrap);
  AdjustSize();
}

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  AdjustSize();
}

void TLabel::CaptionChanged() {
  static_cast<QLabel*>(Widget())->setText(CaptionToDisplay(Caption()));
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  auto* label = static_cast<QLabel*>(Widget());
  if (wordWrap_) {
    const int width = std::max(1, Width());
    SetBounds(Left(), Top(), width, label->heightForWidth(width));
  } else {
    const QSize size = label->sizeHint();
    SetBounds(Left(), Top(), size.width(), size.height());
  }
}

TBoundLabel::TBoundLabel(TLabeledEdit* edit) : TLabel(edit, edit->Parent()), edit_(edit) {
  // The label's "&" marks the edit's accelerator.
  static_cast<QLabel*>(Widget())->setTextFormat(Qt::PlainText);
}

void TBoundLabel::CaptionChanged() {
  auto* label = static_cast<QLabel*>(Widget());
  label->setText(CaptionToDisplay(Caption()));
  label->setBuddy(edit_->Widget());
  AdjustSize();
  edit_->PlaceLabel();
}

TLabeledEdit::TLabeledEdit(TWinControl* parent) : TWinControl(parent, new QLineEdit()) {
  SetReportMouse(false);
  label_ = new TBoundLabel(this);
  auto* edit = static_cast<QLineEdit*>(Widget());
  QObject::connect(edit, &QLineEdit::textEdited, [this](const QString& text) { StoreCaption(FromQ(text)); });
  SetBounds(Left(), Top(), 121, 21);
}

void TLabeledEdit::SetLabelSpacing(int spacing) {
  labelSpacing_ = spacing;
  PlaceLabel();
}

void TLabeledEdit::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  if (label_ != nullptr) label_->SetParent(parent);
}

void TLabeledEdit::PlaceLabel() {
  if (label_ == nullptr) return;
  label_->SetBounds(Left(), Top() - label_->Height() - labelSpacing_, label_->Width(), label_->Height());
}

void TLabeledEdit::CaptionChanged() {
  auto* edit = static_cast<QLineEdit*>(Widget());
  const QString text = ToQ(Caption());
  if (edit->text() != text) edit->setText(text);
}

void TLabeledEdit::BoundsChanged() { PlaceLabel(); }

// ---------------------------------------------------------------- check and radio buttons

TCheckBox::TCheckBox(TWinControl* parent) : TWinControl(parent, new QCheckBox()) {
  SetReportMouse(false);
  QObject::connect(static_cast<QCheckBox*>(Widget()), &QCheckBox::clicked, [this] { UserClick(); });
  SetBounds(Left(), Top(), 97, 17);
}

bool TCheckBox::Checked() const { return static_cast<QCheckBox*>(Widget())->isChecked(); }

void TCheckBox::SetChecked(bool checked) {
  if (checked == Checked()) return;
  SetCheckedQuietly(static_cast<QCheckBox*>(Widget()), checked);
  Click();
}

namespace {

// The stand-in font is wider than the one the forms were laid out for: a check box or
// radio button whose caption would be cut grows to the right, as far as its parent allows.
void FitCaption(QAbstractButton* button) {
  const int wanted = button->sizeHint().width();
  if (wanted <= button->width()) return;
  const QWidget* parent = button->parentWidget();
  const int room = parent != nullptr ? parent->width() - button->x() : wanted;
  if (room > button->width()) button->resize(std::min(wanted, room), button->height());
}

}  // namespace

void TCheckBox::CaptionChanged() {
  static_cast<QCheckBox*>(Widget())->setText(ToQ(Caption()));
  FitCaption(static_cast<QCheckBox*>(Widget()));
}

void TCheckBox::BoundsChanged() { FitCaption(static_cast<QCheckBox*>(Widget())); }

TRadioButton::TRadioButton(TWinControl* parent) : TWinControl(parent, new QRadioButton()) {
  SetReportMouse(false);
  auto* radio = static_cast<QRadioButton*>(Widget());
  // Exclusivity is the parent's business here, so that code and user follow one rule.
  radio->setAutoExclusive(false);
  QObject::connect(radio, &QRadioButton::clicked, [this](bool checked) { UserClicked(checked); });
  SetBounds(Left(), Top(), 113, 17);
}

bool TRadioButton::Checked() const { return static_cast<QRadioButton*>(Widget())->isChecked(); }

void TRadioButton::UncheckSiblings() {
  TWinControl* parent = Parent();
  if (parent == nullptr) return;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* sibling = dynamic_cast<TRadioButton*>(parent->Controls(i));
    if (sibling != nullptr && sibling != this) SetCheckedQuietly(static_cast<QRadioButton*>(sibling->Widget()), false);
  }
}

void TRadioButton::SetChecked(bool checked) {
  if (checked == Checked()) return;
  SetCheckedQuietly(static_cast<QRadioButton*>(Widget()), checked);
  if (checked) {
    UncheckSiblings();
    Click();
  }
}

void TRadioButton::UserClicked(bool nowChecked) {
  if (!nowChecked) {
    // A click on the checked button leaves it checked and reports nothing.
    SetCheckedQuietly(static_cast<QRadioButton*>(Widget()), true);
    return;
  }
  UncheckSiblings();
  UserClick();
}

void TRadioButton::CaptionChanged() {
  static_cast<QRadioButton*>(Widget())->setText(ToQ(Caption()));
  FitCaption(static_cast<QRadioButton*>(Widget()));
}

void TRadioButton::BoundsChanged() { FitCaption(static_cast<QRadioButton*>(Widget())); }

// ---------------------------------------------------------------- group boxes

TGroupBox::TGroupBox(TWinControl* parent) : TWinControl(parent, new QGroupBox()) { SetBounds(Left(), Top(), 185, 105); }

void TGroupBox::CaptionChanged() {
  static_cast<QGroupBox*>(Widget())->setTitle(ToQ(Caption()));
  for (int i = 0; i < ControlCount(); ++i) KeepCaptionClear(Controls(i));
}

void TGroupBox::ChildBoundsChanged(TControl* child) { KeepCaptionClear(child); }

// The layouts were made for a caption 12 pixels high; the Japanese sans draws it taller.
// A child that would cover part of the caption moves down just below it, and no further.
void TGroupBox::KeepCaptionClear(TControl* child) {
  auto* box = static_cast<QGroupBox*>(Widget());
  QWidget* widget = child != nullptr ? child->Widget() : nullptr;
  if (box->title().isEmpty() || widget == nullptr) return;
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.textAlignment = box->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
  const QRect bounds = widget->geometry();
  if (!bounds.intersects(label)) return;
  child->SetBounds(bounds.left(), label.bottom() + 1, bounds.width(), bounds.height());
}

// ---------------------------------------------------------------- list boxes

TListBox::TListBox(TWinControl* parent) : TWinControl(parent, new ListWidget()), items_(std::make_unique<TStringList>()) {
  SetReportMouse(false);
  auto* list = static_cast<ListWidget*>(Widget());
  list->owner = this;
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  SetColor(clWhite);
  items_->OnChange = [this](TObject*) { SyncItems(); };
  SetBounds(Left(), Top(), 121, 97);
}

TListBox::~TListBox() {
  items_->OnChange = nullptr;
  if (auto* list = static_cast<ListWidget*>(Widget())) list->owner = nullptr;
}

void TListBox::SyncItems() {
  auto* list = static_cast<QListWidget*>(Widget());
  const QSignalBlocker quiet(list);
  SyncRows(
      list->count(), *items_, -1, [list](int row) { return FromQ(list->item(row)->text()); },
      [list](int row) { delete list->takeItem(row); },
      [list](int row, const std::string& text) { list->insertItem(row, ToQ(text)); });
}

void TListBox::SetMultiSelect(bool multiSelect) {
  multiSelect_ = multiSelect;
  static_cast<QListWidget*>(Widget())->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                                                    : QAbstractItemView::SingleSelection);
}

int TListBox::ItemIndex() const {
  auto* list = static_cast<QListWidget*>(Widget());
  const int row = list->currentRow();
  if (multiSelect_) return row;
  return row >= 0 && list->item(row)->isSelected() ? row : -1;
}

void TListBox::SetItemIndex(int index) {
  auto* list = static_cast<QListWidget*>(Widget());
  if (index < 0 || index >= list->count()) {
    if (!multiSelect_) list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
    return;
  }
  list->setCurrentRow(index, multiSelect_ ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
}

int TListBox::TopIndex() const {
  auto* list = static_cast<QListWidget*>(Widget());
  return std::max(0, list->indexAt(QPoint(1, 1)).row());
}

void TListBox::SetTopIndex(int index) {
  auto* list = static_cast<QListWidget*>(Widget());
  if (QListWidgetItem* item = list->item(index)) list->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

bool TListBox::Selected(int index) const {
  auto* list = static_cast<QListWidget*>(Widget());
  if (index < 0 || index >= list->count()) throw EListError(Format(SListIndexError, {index}));
  return list->item(index)->isSelected();
}

void TListBox::SetSelected(int index, bool selected) {
  auto* list = static_cast<QListWidget*>(Widget());
  if (index < 0 || index >= list->count()) throw EListError(Format(SListIndexError, {index}));
  if (!multiSelect_ && selected) list->clearSelection();
  list->item(index)->setSelected(selected);
}

int TListBox::SelCount() const {
  auto* list = static_cast<QListWidget*>(Widget());
  return static_cast<int>(list->selectedItems().size());
}

// ---------------------------------------------------------------- combo boxes

TComboBox::TComboBox(TWinControl* parent) : TWinControl(parent, new QComboBox()), items_(std::make_unique<TStringList>()) {
  SetReportMouse(false);
  auto* combo = static_cast<QComboBox*>(Widget());
  combo->setEditable(false);
  QObject::connect(combo, &QComboBox::activated, [this](int) { UserChose(); });
  items_->OnChange = [this](TObject*) { SyncItems(); };
  SetBounds(Left(), Top(), 145, 21);
}

TComboBox::~TComboBox() { items_->OnChange = nullptr; }

void TComboBox::SyncItems() {
  auto* combo = static_cast<QComboBox*>(Widget());
  const QSignalBlocker quiet(combo);
  const int kept = SyncRows(
      combo->count(), *items_, combo->currentIndex(), [combo](int row) { return FromQ(combo->itemText(row)); },
      [combo](int row) { combo->removeItem(row); },
      [combo](int row, const std::string& text) { combo->insertItem(row, ToQ(text)); });
  // The widget would pick a neighbour when its entry goes, or the first entry of a new list;
  // the class library's box keeps no selection then.
  combo->setCurrentIndex(kept);
}

int TComboBox::ItemIndex() const { return static_cast<QComboBox*>(Widget())->currentIndex(); }

void TComboBox::SetItemIndex(int index) {
  auto* combo = static_cast<QComboBox*>(Widget());
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void TComboBox::UserChose() {
  if (OnChange) CallGuarded([this] { OnChange(this); });
}
