// The platform's message box behind MessageBox, the error box and the message dialogs.
//
// Qt's own message box grows with its text and knows no bound on its height: a message
// naming a deeply nested path pushed its OK button off the screen. This box never exceeds
// the screen it shows on: its text wraps at the words and, where one word (a path) is wider
// than the line, inside the word; a text taller than the screen scrolls inside the box while
// the buttons stay in view. The text shown is the message itself, character for character.
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>

#include <cmath>

#include "classlib/forms/forms.h"
#include "classlib/forms/widgets_p.h"

namespace {

// The style's message-box pictures, at the style's message-box size.
QPixmap IconPixmap(BoxIcon icon, const QWidget* box) {
  QStyle::StandardPixmap picture = QStyle::SP_MessageBoxInformation;
  switch (icon) {
    case BoxIcon::None: return QPixmap();
    case BoxIcon::Error: picture = QStyle::SP_MessageBoxCritical; break;
    case BoxIcon::Question: picture = QStyle::SP_MessageBoxQuestion; break;
    case BoxIcon::Warning: picture = QStyle::SP_MessageBoxWarning; break;
    case BoxIcon::Information: picture = QStyle::SP_MessageBoxInformation; break;
  }
  const int size = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
  return box->style()->standardIcon(picture, nullptr, box).pixmap(QSize(size, size), box->devicePixelRatio());
}

// What the desktop's frame adds around a window, as the program's shown windows have it;
// before any has one, the allowance Qt's dialogs make for a title bar and a border.
QSize FrameAllowance() {
  QSize frame;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible()) frame = frame.expandedTo(window->frameGeometry().size() - window->geometry().size());
  }
  return frame.isEmpty() ? QSize(2 * 10, 40 + 10) : frame;
}

class MessageBoxWindow : public QDialog {
public:
  MessageBoxWindow(QWidget* parent, const std::string& caption, const std::string& text, BoxIcon icon,
                   const std::vector<BoxButton>& buttons, int defaultId, int escapeId);
  // The button the user ended the box with; 0 when none.
  int Clicked() const { return clicked_; }

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void Fit();

  bool hasIcon_;
  QLabel* icon_;
  QTextEdit* text_;
  QDialogButtonBox* buttonBox_;
  QPushButton* escape_ = nullptr;
  std::vector<std::pair<QPushButton*, int>> ids_;
  int clicked_ = 0;
};

MessageBoxWindow::MessageBoxWindow(QWidget* parent, const std::string& caption, const std::string& text, BoxIcon icon,
                                   const std::vector<BoxButton>& buttons, int defaultId, int escapeId)
    : QDialog(parent, Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(ToQ(caption));
  setModal(true);

  hasIcon_ = icon != BoxIcon::None;
  icon_ = new QLabel(this);
  icon_->setPixmap(IconPixmap(icon, this));
  icon_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  icon_->setVisible(hasIcon_);

  // The text lies on the box as a label's would; it only scrolls when the box is full.
  text_ = new QTextEdit(this);
  text_->setReadOnly(true);
  text_->setFrameShape(QFrame::NoFrame);
  text_->setLineWrapMode(QTextEdit::WidgetWidth);
  text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_->document()->setDocumentMargin(0);
  text_->viewport()->setAutoFillBackground(false);
  QPalette palette = text_->palette();
  palette.setColor(QPalette::Text, palette.color(QPalette::WindowText));
  text_->setPalette(palette);
  const auto interaction = static_cast<Qt::TextInteractionFlags>(
      style()->styleHint(QStyle::SH_MessageBox_TextInteractionFlags, nullptr, this));
  text_->setTextInteractionFlags(interaction);
  const bool selectable = (interaction & Qt::TextSelectableByMouse) != 0;
  text_->setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
  if (!selectable) text_->setContextMenuPolicy(Qt::NoContextMenu);
  text_->setPlainText(CaptionToDisplay(text));

  buttonBox_ = new QDialogButtonBox(this);
  buttonBox_->setCenterButtons(style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, this));
  QPushButton* defaultButton = nullptr;
  for (const BoxButton& b : buttons) {
    QPushButton* button = buttonBox_->addButton(ToQ(b.Label), QDialogButtonBox::ActionRole);
    ids_.emplace_back(button, b.Id);
    if (b.Id == defaultId) defaultButton = button;
    if (b.Id == escapeId) escape_ = button;
    QObject::connect(button, &QPushButton::clicked, this, [this, id = b.Id] {
      clicked_ = id;
      accept();
    });
  }
  // A lone button also answers Esc and the close box; a box of several without a cancel
  // button can only be ended by one of them.
  if (escape_ == nullptr && ids_.size() == 1) escape_ = ids_.front().first;

  auto* grid = new QGridLayout(this);
  if (hasIcon_) grid->addWidget(icon_, 0, 0, Qt::AlignTop);
  grid->addItem(new QSpacerItem(hasIcon_ ? 7 : 15, 1, QSizePolicy::Fixed, QSizePolicy::Fixed), 0, hasIcon_ ? 1 : 0);
  grid->addWidget(text_, 0, hasIcon_ ? 2 : 1, Qt::AlignVCenter);
  grid->addWidget(buttonBox_, 1, 0, 1, grid->columnCount());
  grid->setSizeConstraint(QLayout::SetFixedSize);

  if (defaultButton != nullptr) {
    defaultButton->setDefault(true);
    defaultButton->setFocus();
  }
  Fit();
}

// Sizes the box for its screen: as wide as its text up to half the screen (500 pixels at
// most), wider only for its buttons and caption, and no taller than the screen allows.
void MessageBoxWindow::Fit() {
  QScreen* screen = this->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize frame = FrameAllowance();
  const int maxWidth = std::max(1, area.width() - frame.width());
  const int maxHeight = std::max(1, area.height() - frame.height());

  auto* grid = static_cast<QGridLayout*>(layout());
  const QMargins margins = grid->contentsMargins();
  const int spacing = std::max(0, grid->horizontalSpacing());
  const int iconWidth = hasIcon_ ? icon_->sizeHint().width() + spacing : 0;
  const int indent = (hasIcon_ ? 7 : 15) + spacing;
  const int besideText = margins.left() + margins.right() + iconWidth + indent;

  // Measured on a document of its own: the text's own follows its widget's width.
  QTextDocument measure;
  measure.setDefaultFont(text_->font());
  measure.setDocumentMargin(0);
  QTextOption option = measure.defaultTextOption();
  option.setWrapMode(QTextOption::NoWrap);
  measure.setDefaultTextOption(option);
  measure.setPlainText(text_->toPlainText());
  const int natural = static_cast<int>(std::ceil(measure.idealWidth()));
  const int softLimit = std::min(area.width() / 2, 500);
  int width = std::min(besideText + natural, softLimit);
  width = std::max(width, margins.left() + margins.right() + buttonBox_->sizeHint().width());
  const QFontMetrics titleFont(QApplication::font("QMdiSubWindowTitleBar"));
  width = std::max(width, titleFont.horizontalAdvance(windowTitle()) + 50);
  width = std::min(width, maxWidth);
  const int textWidth = std::max(1, width - besideText);

  option.setWrapMode(text_->wordWrapMode());
  measure.setDefaultTextOption(option);
  measure.setTextWidth(textWidth);
  const int textHeight = static_cast<int>(std::ceil(measure.size().height()));
  const int belowText = margins.top() + margins.bottom() + std::max(0, grid->verticalSpacing()) +
                        buttonBox_->sizeHint().height();
  const int iconHeight = hasIcon_ ? icon_->sizeHint().height() : 0;
  if (belowText + std::max(textHeight, iconHeight) <= maxHeight) {
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setFixedSize(textWidth, textHeight);
  } else {
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setFixedSize(textWidth, std::max(1, maxHeight - belowText));
  }
}

void MessageBoxWindow::showEvent(QShowEvent* event) {
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
  QDialog::showEvent(event);
}

void MessageBoxWindow::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    if (escape_ != nullptr) escape_->click();
    return;
  }
  // A button's underlined letter works without Alt, as in the platform's boxes.
  if (!(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))) {
    for (const auto& [button, id] : ids_) {
      const QKeySequence shortcut = button->shortcut();
      if (!shortcut.isEmpty() && event->key() == shortcut[0].key()) {
        button->animateClick();
        return;
      }
    }
  }
  QDialog::keyPressEvent(event);
}

void MessageBoxWindow::closeEvent(QCloseEvent* event) {
  if (escape_ == nullptr) {
    event->ignore();
    return;
  }
  for (const auto& [button, id] : ids_) {
    if (button == escape_) clicked_ = id;
  }
  QDialog::closeEvent(event);
}

}  // namespace

int RunMessageBox(TModalShown shown, BoxIcon icon, const std::vector<BoxButton>& buttons, int defaultId,
                  int escapeId) {
  shown.Cursor = Screen->Cursor();
  auto hasButton = [&](int id) {
    for (const BoxButton& b : buttons) {
      if (b.Id == id) return true;
    }
    return false;
  };
  // A box without a cancel button can only be ended by one of its buttons: the last one.
  const int cancelId = escapeId != 0 ? escapeId : buttons.back().Id;
  const std::string caption = shown.Caption;
  const std::string text = shown.Text;
  TModalAnswer answer;
  if (TAutomation::Take(std::move(shown), answer)) {
    if (!answer.Confirm) return cancelId;
    if (answer.Result == 0) return defaultId;
    if (hasButton(answer.Result)) return answer.Result;
    TAutomation::Fail("the box has no button " + std::to_string(answer.Result) + ": " + text);
    return cancelId;
  }
  MessageBoxWindow box(DialogParent(), caption, text, icon, buttons, defaultId, escapeId);
  box.exec();
  return box.Clicked() != 0 ? box.Clicked() : cancelId;
}
