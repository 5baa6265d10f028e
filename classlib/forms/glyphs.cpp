#include "classlib/forms/glyphs.h"

#include <QApplication>
#include <QIcon>
#include <QStandardPaths>
#include <QStyle>

#include "classlib/forms/widgets_p.h"

namespace {

// The freedesktop name of each glyph, and the style's picture for a theme that lacks it.
struct GlyphSource {
  TGlyph Glyph;
  const char* ThemeName;
  QStyle::StandardPixmap Fallback;
};

constexpr GlyphSource GlyphSources[] = {
    {TGlyph::Open, "document-open", QStyle::SP_DialogOpenButton},
    {TGlyph::Save, "document-save", QStyle::SP_DialogSaveButton},
    {TGlyph::SaveAs, "document-save-as", QStyle::SP_DialogSaveButton},
    {TGlyph::Delete, "edit-delete", QStyle::SP_TrashIcon},
    {TGlyph::DeleteAll, "edit-clear-all", QStyle::SP_DialogResetButton},
    // A transfer puts the chosen chip into the sheet.
    {TGlyph::Transfer, "insert-image", QStyle::SP_ArrowUp},
    {TGlyph::Start, "system-run", QStyle::SP_MediaPlay},
    {TGlyph::OK, "dialog-ok", QStyle::SP_DialogOkButton},
    {TGlyph::Cancel, "dialog-cancel", QStyle::SP_DialogCancelButton},
    {TGlyph::Exit, "application-exit", QStyle::SP_DialogCloseButton},
    {TGlyph::Help, "help-contents", QStyle::SP_DialogHelpButton},
    {TGlyph::About, "help-about", QStyle::SP_MessageBoxInformation},
    {TGlyph::ChipsetProgram, "applications-graphics", QStyle::SP_DesktopIcon},
    {TGlyph::CharacterSheetProgram, "applications-games", QStyle::SP_DesktopIcon},
    {TGlyph::BatchProgram, "preferences-desktop-theme", QStyle::SP_DesktopIcon},
};

}  // namespace

QIcon GlyphIcon(TGlyph glyph) {
  for (const GlyphSource& source : GlyphSources) {
    if (source.Glyph == glyph)
      return QIcon::fromTheme(QString::fromLatin1(source.ThemeName), QApplication::style()->standardIcon(source.Fallback));
  }
  return QIcon();
}

void UseDesktopIconTheme() {
  // Without a desktop platform (offscreen, say) Qt searches no theme folder at all.
  QStringList paths = QIcon::themeSearchPaths();
  const QStringList shared =
      QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
  for (const QString& folder : shared) {
    if (!paths.contains(folder)) paths.append(folder);
  }
  QIcon::setThemeSearchPaths(paths);
  // A session without a desktop names no theme, or only the bare fallback theme; the
  // desktop's default theme then stands in, and a chosen theme stays as the user set it.
  const QString theme = QIcon::themeName();
  if (theme.isEmpty() || theme == QStringLiteral("hicolor")) QIcon::setThemeName(QStringLiteral("Adwaita"));
}
