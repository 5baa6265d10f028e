// Private to the forms layer: the bridge between the class library's controls and the
// widgets that draw them. Nothing outside classlib/forms includes this file.
#pragma once

#include <QColor>
#include <QEvent>
#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

#include "classlib/forms/automation.h"
#include "classlib/forms/controls.h"
#include "classlib/forms/glyphs.h"

class QIcon;

inline QString ToQ(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string FromQ(const QString& text) { return text.toUtf8().toStdString(); }
inline QColor ToQColor(TColor colour) {
  const COLORREF rgb = ColorToRGB(colour);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}
inline TColor FromQColor(const QColor& colour) {
  return static_cast<TColor>(RGB(static_cast<BYTE>(colour.red()), static_cast<BYTE>(colour.green()),
                                 static_cast<BYTE>(colour.blue())));
}

// Carriage returns, alone or before a line feed, become line breaks.
QString CaptionToDisplay(const std::string& caption);

// Runs an event handler the way the application runs every handler the user causes:
// EAbort is dropped, any other exception shows the error box; nothing crosses the event loop.
void CallGuarded(const std::function<void()>& handler);

Qt::CursorShape CursorShape(TCursor cursor);

// Watches a control's widget for what the class library reports from the mouse and the
// desktop: presses, clicks (press and release of the left button inside), context menus,
// dropped files and client-area resizes.
class ControlFilter : public QObject {
public:
  ControlFilter(TControl* control, QObject* parent) : QObject(parent), control_(control) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

  bool ReportMouse = true;
  bool AcceptDrops = false;

private:
  TControl* control_;
  bool leftPressed_ = false;
};

ControlFilter* FilterOf(TControl* control);

// A drop of local files on a control: makes the drop handle and raises the form's handler.
void DeliverDroppedFiles(TControl* control, const std::vector<std::string>& files);

// The platform's message box behind MessageBox, the error box and the message dialogs:
// records the box, takes the automation's answer or shows the real box.
struct BoxButton {
  int Id;
  const char* Label;
};
enum class BoxIcon { None, Error, Question, Warning, Information };
int RunMessageBox(TModalShown shown, BoxIcon icon, const std::vector<BoxButton>& buttons, int defaultId,
                  int escapeId);

// The window a dialog belongs to: the active window or the main form's.
QWidget* DialogParent();

// Qt's own file dialog with its title, as every program shows it: its widgets rather than
// the platform's dialog, so that it speaks the programs' language, sizes and dates too.
void PrepareFileDialog(QFileDialog& dialog, const QString& title);

// The control whose widget this is, or none.
TControl* ControlOfWidget(const QWidget* widget);

// The glyph's picture from the desktop's icon theme, or the style's standard picture for it.
QIcon GlyphIcon(TGlyph glyph);
// Lets the glyphs find the desktop's icon theme, also where no desktop names one.
void UseDesktopIconTheme();
