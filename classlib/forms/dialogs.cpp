#include "classlib/forms/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTreeView>

#include "classlib/filenames.h"
#include "classlib/forms/widgets_p.h"

namespace {

// "caption|patterns|caption|patterns" as the desktop dialog's name filters. The patterns go
// in the parentheses the dialog reads them from; it hides that part and shows the caption.
QStringList NameFilters(const std::string& filter) {
  QStringList parts = ToQ(filter).split(QChar('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QChar(';'), QChar(' '));
    filters << parts[i] + QStringLiteral(" (") + patterns + QStringLiteral(")");
  }
  return filters;
}

// The dialog reports the chosen filter by its shown text, which has the patterns taken
// off and its white space (the ideographic space too) simplified.
int ChosenFilter(const std::string& filter, const QString& selected) {
  const QStringList parts = ToQ(filter).split(QChar('|'));
  const QString wanted = selected.simplified();
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].simplified() == wanted) return static_cast<int>(i / 2) + 1;
  }
  const QStringList full = NameFilters(filter);
  for (qsizetype i = 0; i < full.size(); ++i) {
    if (full[i].simplified() == wanted) return static_cast<int>(i) + 1;
  }
  return 0;
}

// Qt's file model's columns: name, size, type, date modified.
enum FileColumn : int { NameColumn = 0, SizeColumn = 1, ModifiedColumn = 3 };

// Qt's file model writes sizes and dates in the session's locale, which may be any; the
// dialogs write them in Japanese, as every other text of the programs.
class JapaneseFileColumns : public QIdentityProxyModel {
public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr) return QIdentityProxyModel::data(index, role);
    const QModelIndex entry = mapToSource(index);
    if (index.column() == ModifiedColumn) return japanese_.toString(files->lastModified(entry), QLocale::ShortFormat);
    // A folder has no size, as in Qt's own column.
    if (index.column() == SizeColumn && !files->isDir(entry)) return japanese_.formattedDataSize(files->size(entry));
    return QIdentityProxyModel::data(index, role);
  }

private:
  const QLocale japanese_{QLocale::Japanese, QLocale::Japan};
};

}  // namespace

void PrepareFileDialog(QFileDialog& dialog, const QString& title) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(title);
  dialog.setProxyModel(new JapaneseFileColumns(&dialog));
  auto* view = dialog.findChild<QTreeView*>();
  if (view == nullptr) return;
  // Qt sizes the detail view's columns to English samples, too narrow for the Japanese
  // texts ("Wi…画像"). Size, type and date take what the folder shows; the name takes the
  // rest, so a vertical scroll bar narrows the name and never cuts the date.
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
  // The dialog keeps its header in the settings every Qt program's file dialog reads: they
  // get it back with Qt's own modes.
  QObject::connect(&dialog, &QDialog::finished, header, [header] {
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
  });
}

std::string ApplyDefaultExt(const std::string& fileName, const std::string& defaultExt) {
  // A stored "*.png" means "png": appending the pattern itself would make an unusable name.
  std::size_t start = 0;
  while (start < defaultExt.size() && (defaultExt[start] == '*' || defaultExt[start] == '.')) ++start;
  const std::string extension = defaultExt.substr(start);
  if (extension.empty() || fileName.empty() || !ExtractFileExt(fileName).empty()) return fileName;
  if (fileName.back() == PathDelim) return fileName;
  return fileName + "." + extension;
}

bool TOpenDialog::Execute() {
  TModalShown shown;
  shown.Kind = Saving() ? TModalKind::SaveDialog : TModalKind::OpenDialog;
  shown.Caption = Title;
  shown.FileName = FileName;
  shown.Filter = Filter;
  shown.FilterIndex = FilterIndex;
  shown.DefaultExt = DefaultExt;
  shown.InitialDir = InitialDir;
  shown.Cursor = Screen->Cursor();
  TModalAnswer answer;
  if (TAutomation::Take(std::move(shown), answer)) {
    if (!answer.Confirm) return false;
    if (answer.Text.empty()) {
      TAutomation::Fail("a file dialog was answered without a file name");
      return false;
    }
    FileName = ApplyDefaultExt(answer.Text, DefaultExt);
    if (answer.FilterIndex > 0) FilterIndex = answer.FilterIndex;
    return true;
  }

  QFileDialog dialog(DialogParent());
  PrepareFileDialog(dialog, ToQ(!Title.empty() ? Title : Saving() ? "名前を付けて保存" : "開く"));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(Saving() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (Saving()) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  const QStringList filters = NameFilters(Filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = FilterIndex >= 1 && FilterIndex <= filters.size() ? FilterIndex - 1 : 0;
    dialog.selectNameFilter(filters[index]);
  }
  const std::string folder = !InitialDir.empty() ? InitialDir : ExtractFilePath(FileName);
  if (!folder.empty()) dialog.setDirectory(ToQ(folder));
  if (!FileName.empty()) dialog.selectFile(ToQ(ExtractFileName(FileName)));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  FileName = ApplyDefaultExt(FromQ(dialog.selectedFiles().front()), DefaultExt);
  const int chosen = ChosenFilter(Filter, dialog.selectedNameFilter());
  if (chosen > 0) FilterIndex = chosen;
  return true;
}

bool TColorDialog::Execute() {
  TModalShown shown;
  shown.Kind = TModalKind::ColorDialog;
  shown.Color = Color;
  shown.Flags = static_cast<int>(Options.Bits);
  shown.Cursor = Screen->Cursor();
  TModalAnswer answer;
  if (TAutomation::Take(std::move(shown), answer)) {
    if (!answer.Confirm) return false;
    if (answer.HasColor) Color = static_cast<TColor>(ColorToRGB(answer.Color));
    return true;
  }
  QColorDialog dialog(ToQColor(Color), DialogParent());
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return false;
  Color = FromQColor(dialog.selectedColor());
  return true;
}

int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  static const char* const captions[] = {"警告", "エラー", "情報", "確認"};
  static const BoxIcon icons[] = {BoxIcon::Warning, BoxIcon::Error, BoxIcon::Information, BoxIcon::Question,
                                  BoxIcon::None};
  std::vector<BoxButton> boxButtons;
  if (buttons.Contains(mbYes)) boxButtons.push_back({mrYes, "はい(&Y)"});
  if (buttons.Contains(mbNo)) boxButtons.push_back({mrNo, "いいえ(&N)"});
  if (buttons.Contains(mbOK)) boxButtons.push_back({mrOk, "OK"});
  if (buttons.Contains(mbCancel)) boxButtons.push_back({mrCancel, "キャンセル"});
  if (boxButtons.empty()) boxButtons.push_back({mrOk, "OK"});
  const int defaultId = buttons.Contains(mbOK) ? mrOk : buttons.Contains(mbYes) ? mrYes : boxButtons.front().Id;
  const int escapeId = buttons.Contains(mbCancel) ? mrCancel
                       : buttons.Contains(mbNo)   ? mrNo
                       : buttons.Contains(mbOK)   ? mrOk
                                                  : 0;
  TModalShown shown;
  shown.Kind = TModalKind::MessageDlg;
  shown.Caption = type == mtCustom ? Application->Title() : captions[type];
  shown.Text = message;
  shown.Flags = static_cast<int>(buttons.Bits);
  shown.DlgType = type;
  return RunMessageBox(std::move(shown), icons[type], boxButtons, defaultId, escapeId);
}

void ShowMessage(const std::string& message) { MessageDlg(message, mtCustom, {mbOK}); }
