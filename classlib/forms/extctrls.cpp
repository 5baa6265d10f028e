#include "classlib/forms/extctrls.h"

#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QProxyStyle>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

#include "classlib/forms/widgets_p.h"

// ---------------------------------------------------------------- panels

namespace {

class PanelWidget : public QWidget {
public:
  TPanel* owner = nullptr;

protected:
  void paintEvent(QPaintEvent*) override;
};

void DrawEdge(QPainter& painter, QRect& area, TBevelCut cut) {
  if (cut == bvNone) return;
  const QColor light(255, 255, 255);
  const QColor dark(128, 128, 128);
  if (cut != bvSpace) {
    const QColor topLeft = cut == bvRaised ? light : dark;
    const QColor bottomRight = cut == bvRaised ? dark : light;
    painter.setPen(topLeft);
    painter.drawLine(area.left(), area.top(), area.right(), area.top());
    painter.drawLine(area.left(), area.top(), area.left(), area.bottom());
    painter.setPen(bottomRight);
    painter.drawLine(area.left(), area.bottom(), area.right(), area.bottom());
    painter.drawLine(area.right(), area.top(), area.right(), area.bottom());
  }
  area.adjust(1, 1, -1, -1);
}

void PanelWidget::paintEvent(QPaintEvent*) {
  if (owner == nullptr) return;
  QPainter painter(this);
  QRect area = rect();
  painter.fillRect(area, ToQColor(owner->Color()));
  if (owner->BorderStyle() == bsSingle) {
    // The sunken client edge: two lines on each side.
    DrawEdge(painter, area, bvLowered);
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(area.left(), area.top(), area.right(), area.top());
    painter.drawLine(area.left(), area.top(), area.left(), area.bottom());
    painter.setPen(QColor(212, 208, 200));
    painter.drawLine(area.left(), area.bottom(), area.right(), area.bottom());
    painter.drawLine(area.right(), area.top(), area.right(), area.bottom());
    area.adjust(1, 1, -1, -1);
  }
  DrawEdge(painter, area, owner->BevelOuter());
  DrawEdge(painter, area, owner->BevelInner());
  if (!owner->Caption().empty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignCenter, CaptionToDisplay(owner->Caption()));
  }
}

QWidget* NewPanelWidget() {
  auto* panel = new PanelWidget();
  new QWidget(panel);
  return panel;
}

QWidget* PanelClient(QWidget* panel) { return panel->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly); }

}  // namespace

TPanel::TPanel(TWinControl* parent) : TPanel(parent, NewPanelWidget()) {}

TPanel::TPanel(TWinControl* parent, QWidget* panel) : TWinControl(parent, parent, panel, PanelClient(panel)) {
  static_cast<PanelWidget*>(Widget())->owner = this;
  // The panel fills all of itself, so a change inside it never repaints the form below
  // (whose OnPaint may well change the panel's contents again).
  Widget()->setAttribute(Qt::WA_OpaquePaintEvent);
  // A click anywhere on the panel is the panel's click.
  ClientWidget()->installEventFilter(FilterOf(this));
  SetBounds(Left(), Top(), 185, 41);
}

int TPanel::FrameWidth() const {
  int width = borderStyle_ == bsSingle ? 2 : 0;
  if (bevelOuter_ != bvNone) ++width;
  if (bevelInner_ != bvNone) ++width;
  return width;
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  bevelOuter_ = bevel;
  Relayout();
}

void TPanel::SetBevelInner(TBevelCut bevel) {
  bevelInner_ = bevel;
  Relayout();
}

void TPanel::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style == bsSingle ? bsSingle : bsNone;
  Relayout();
}

void TPanel::Relayout() {
  const int frame = FrameWidth();
  if (QWidget* client = ClientWidget()) {
    client->setGeometry(frame, frame, std::max(0, Width() - 2 * frame), std::max(0, Height() - 2 * frame));
  }
  AlignControls();
  Invalidate();
}

void TPanel::CaptionChanged() { Invalidate(); }
void TPanel::ColorChanged() { Invalidate(); }
void TPanel::BoundsChanged() { Relayout(); }

// ---------------------------------------------------------------- images

namespace {

QRgb Rgb(const RGBQUAD& entry) { return qRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue); }

// A 5- or 6-bit channel widened to 8 bits, repeating its top bits so full scale stays full.
int Five(unsigned c) { return static_cast<int>((c << 3) | (c >> 2)); }
int Six(unsigned c) { return static_cast<int>((c << 2) | (c >> 4)); }

QRgb Expand555(unsigned v) {
  return qRgb(Five((v >> 10) & 31), Five((v >> 5) & 31), Five(v & 31));
}

QRgb Expand565(unsigned v) {
  return qRgb(Five((v >> 11) & 31), Six((v >> 5) & 63), Five(v & 31));
}

// The rows of a device-independent bitmap as the desktop's image.
QImage ToQImage(TBitmap* bitmap) {
  const int width = bitmap->Width();
  const int height = bitmap->Height();
  if (width <= 0 || height <= 0) return QImage();
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return QImage();
  const TPixelFormat format = bitmap->PixelFormat();
  const std::vector<RGBQUAD> table = bitmap->ColorTable();
  auto entry = [&table](unsigned index) { return index < table.size() ? Rgb(table[index]) : qRgb(0, 0, 0); };
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      switch (format) {
        case pf1bit: out[x] = entry((row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case pf4bit: out[x] = entry((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4); break;
        case pf8bit: out[x] = entry(row[x]); break;
        case pf15bit: out[x] = Expand555(row[2 * x] | (row[2 * x + 1] << 8)); break;
        case pf16bit: out[x] = Expand565(row[2 * x] | (row[2 * x + 1] << 8)); break;
        case pf32bit: out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]); break;
        default: out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
      }
    }
  }
  return image;
}

QImage GraphicToQImage(TGraphic* graphic) {
  if (graphic == nullptr || graphic->Empty()) return QImage();
  if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) return ToQImage(bitmap);
  // Other graphics draw themselves into a plain bitmap first.
  TBitmap drawn;
  drawn.SetPixelFormat(pf24bit);
  drawn.SetSize(graphic->Width(), graphic->Height());
  graphic->DrawOnCanvas(drawn.Canvas(), Rect(0, 0, graphic->Width(), graphic->Height()));
  return ToQImage(&drawn);
}

}  // namespace

class ImageWidget : public QWidget {
public:
  TImage* owner = nullptr;
  QImage shown;
  bool stale = true;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (owner == nullptr) return;
    if (stale) {
      stale = false;
      try {
        shown = GraphicToQImage(owner->picture_->Graphic());
      } catch (...) {
        // A graphic that cannot draw itself shows as nothing; painting must go on.
        shown = QImage();
      }
    }
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!shown.isNull()) painter.drawImage(0, 0, shown);
  }
};

namespace {

// The widget converts the picture again at its next paint.
void ShowPictureAgain(QWidget* image) {
  if (auto* widget = static_cast<ImageWidget*>(image)) {
    widget->stale = true;
    widget->update();
  }
}

}  // namespace

TImage::TImage(TWinControl* parent)
    : TControl(parent, parent, new ImageWidget()), picture_(std::make_unique<TPicture>()) {
  auto* widget = static_cast<ImageWidget*>(Widget());
  widget->owner = this;
  // Drawn whole by itself, so a change repaints the image alone and not what lies below.
  widget->setAttribute(Qt::WA_OpaquePaintEvent);
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(Left(), Top(), 105, 105);
}

TImage::~TImage() {
  if (auto* widget = static_cast<ImageWidget*>(Widget())) widget->owner = nullptr;
  picture_->OnChange = nullptr;
}

TPicture* TImage::Picture() {
  // Whoever takes the picture may draw on it; show what it holds at the next paint.
  ShowPictureAgain(Widget());
  return picture_.get();
}

void TImage::PictureChanged() {
  if (autoSize_ && picture_->Width() > 0 && picture_->Height() > 0) {
    SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
  }
  ShowPictureAgain(Widget());
}

void TImage::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  PictureChanged();
}

TCanvas* TImage::Canvas() {
  TGraphic* graphic = picture_->Graphic();
  if (graphic == nullptr) {
    TBitmap* blank = picture_->Bitmap();
    blank->SetPixelFormat(pf24bit);
    blank->SetSize(Width(), Height());
    blank->Canvas()->FillRect(Rect(0, 0, Width(), Height()));
  } else if (dynamic_cast<TBitmap*>(graphic) == nullptr) {
    throw EInvalidOperation("ビットマップを持っている時のみイメージの変更が可能です");
  }
  Picture();
  return picture_->Bitmap()->Canvas();
}

// ---------------------------------------------------------------- scroll boxes

namespace {

QWidget* NewScrollArea() {
  auto* area = new QScrollArea();
  area->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  area->setLineWidth(2);
  area->setWidgetResizable(false);
  area->setWidget(new QWidget());
  area->widget()->setAutoFillBackground(false);
  return area;
}

}  // namespace

TScrollBox::TScrollBox(TWinControl* parent) : TScrollBox(parent, NewScrollArea()) {}

TScrollBox::TScrollBox(TWinControl* parent, QWidget* area)
    : TWinControl(parent, parent, area, static_cast<QScrollArea*>(area)->widget()) {
  // A click on the box's free area is the box's click.
  ClientWidget()->installEventFilter(FilterOf(this));
  SetBounds(Left(), Top(), 185, 41);
}

void TScrollBox::UpdateRange() {
  auto* area = static_cast<QScrollArea*>(Widget());
  QWidget* sheet = ClientWidget();
  if (area == nullptr || sheet == nullptr) return;
  int right = 0;
  int bottom = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* control = Controls(i);
    if (!control->Visible()) continue;
    right = std::max(right, control->Left() + control->Width());
    bottom = std::max(bottom, control->Top() + control->Height());
  }
  const int frame = area->frameWidth();
  const int viewWidth = std::max(0, Width() - 2 * frame);
  const int viewHeight = std::max(0, Height() - 2 * frame);
  const bool horizontal = right > viewWidth;
  const bool vertical = bottom > viewHeight;
  const int scrollBar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  sheet->resize(std::max(right, viewWidth - (vertical ? scrollBar : 0)),
                std::max(bottom, viewHeight - (horizontal ? scrollBar : 0)));
}

void TScrollBox::ChildBoundsChanged(TControl*) { UpdateRange(); }
void TScrollBox::BoundsChanged() { UpdateRange(); }

// ---------------------------------------------------------------- tabbed notebooks

namespace {

// The application's style with tabs no taller than the class library draws them.
class TLowTabStyle : public QProxyStyle {
public:
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_TabBarTab) result.setHeight(std::min(result.height(), 21));
    return result;
  }
};

QStyle* LowTabStyle() {
  static TLowTabStyle* style = new TLowTabStyle();  // lives as long as the application's widgets
  return style;
}

}  // namespace

TTabPage::TTabPage(TWinControl* notebook, QWidget* page) : TWinControl(notebook, page) {}

TTabbedNotebook::TTabbedNotebook(TWinControl* parent) : TWinControl(parent, new QTabWidget()) {
  SetReportMouse(false);
  auto* tabs = static_cast<QTabWidget*>(Widget());
  QObject::connect(tabs, &QTabWidget::currentChanged, [this](int index) { UserTurned(index); });
  // The forms place their pages' controls for the class library's low tabs; the style's
  // taller ones would clip the bottom row of every page.
  tabs->tabBar()->setStyle(LowTabStyle());
  SetBounds(Left(), Top(), 300, 250);
}

TTabbedNotebook::~TTabbedNotebook() {
  // Freeing the pages turns the widget's page; nobody may hear of that any more.
  turning_ = true;
  if (QWidget* tabs = Widget()) QObject::disconnect(tabs, nullptr, nullptr, nullptr);
}

TTabPage* TTabbedNotebook::AddPage(const std::string& caption) {
  auto* tabs = static_cast<QTabWidget*>(Widget());
  auto* widget = new QWidget();
  auto* page = new TTabPage(this, widget);
  page->SetCaption(caption);
  turning_ = true;
  tabs->addTab(widget, ToQ(caption));
  turning_ = false;
  shownIndex_ = tabs->currentIndex();
  pages_.push_back(page);
  return page;
}

TTabPage* TTabbedNotebook::Page(int index) const {
  if (index < 0 || index >= PageCount()) throw EListError(Format(SListIndexError, {index}));
  return pages_[static_cast<std::size_t>(index)];
}

int TTabbedNotebook::PageByCaption(const std::string& caption) const {
  for (int i = 0; i < PageCount(); ++i) {
    if (pages_[static_cast<std::size_t>(i)]->Caption() == caption) return i;
  }
  return -1;
}

int TTabbedNotebook::PageIndex() const { return shownIndex_; }

void TTabbedNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount()) return;
  auto* tabs = static_cast<QTabWidget*>(Widget());
  turning_ = true;
  tabs->setCurrentIndex(index);
  turning_ = false;
  shownIndex_ = tabs->currentIndex();
}

std::string TTabbedNotebook::ActivePage() const {
  return shownIndex_ >= 0 ? pages_[static_cast<std::size_t>(shownIndex_)]->Caption() : std::string();
}

void TTabbedNotebook::SetActivePage(const std::string& caption) { SetPageIndex(PageByCaption(caption)); }

void TTabbedNotebook::UserTurned(int newIndex) {
  if (turning_) return;
  const int oldIndex = shownIndex_;
  if (newIndex == oldIndex) return;
  auto* tabs = static_cast<QTabWidget*>(Widget());
  // The widget has already turned; turn it back before anything repaints, so that
  // OnChange runs while the old page is still the current one.
  turning_ = true;
  tabs->setCurrentIndex(oldIndex);
  turning_ = false;
  CallGuarded([&] {
    bool allowChange = true;
    if (OnChange) OnChange(this, newIndex, allowChange);
    if (!allowChange) return;
    turning_ = true;
    tabs->setCurrentIndex(newIndex);
    turning_ = false;
    shownIndex_ = tabs->currentIndex();
    Click();
  });
}
