#include "classlib/forms/shell.h"

#include <QAbstractScrollArea>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/filenames.h"
#include "classlib/forms/widgets_p.h"

struct ITEMIDLIST {
  std::string Path;
};

namespace {

std::map<HDROP, std::vector<std::string>>& Drops() {
  static std::map<HDROP, std::vector<std::string>> drops;
  return drops;
}

std::map<const ITEMIDLIST*, std::unique_ptr<ITEMIDLIST>>& ItemLists() {
  static std::map<const ITEMIDLIST*, std::unique_ptr<ITEMIDLIST>> lists;
  return lists;
}

// Bytes of a UTF-8 text that fit in limit without cutting a character in two.
std::size_t WholeCharacters(const std::string& text, std::size_t limit) {
  if (limit >= text.size()) return text.size();
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return end;
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand) {
  std::string path = file != nullptr ? file : "";
  if (directory != nullptr && *directory != '\0' && !path.empty() && path.front() != PathDelim) {
    path = IncludeTrailingPathDelimiter(directory) + path;
  }
  TModalShown shown;
  shown.Kind = TModalKind::ShellOpen;
  shown.Verb = verb != nullptr ? verb : "";
  shown.Text = file != nullptr ? file : "";
  shown.Parameters = parameters != nullptr ? parameters : "";
  shown.Directory = directory != nullptr ? directory : "";
  shown.Flags = showCommand;
  shown.Cursor = Screen->Cursor();
  TModalAnswer answer;
  if (TAutomation::Take(std::move(shown), answer)) {
    if (!answer.Confirm) return SE_ERR_NOASSOC;
    return static_cast<HINSTANCE>(answer.Result != 0 ? answer.Result : 42);
  }
  if (verb != nullptr && *verb != '\0' && std::strcmp(verb, "open") != 0) return SE_ERR_NOASSOC;
  if (path.empty() || !(FileExists(path) || DirectoryExists(path))) return ERROR_FILE_NOT_FOUND;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(path))) ? 42 : SE_ERR_NOASSOC;
}

void DragAcceptFiles(HWND window, BOOL accept) {
  TWinControl* control = FindControl(window);
  if (control == nullptr || control->Widget() == nullptr) return;
  ControlFilter* filter = FilterOf(control);
  filter->AcceptDrops = accept != 0;
  QWidget* target = control->Widget();
  // Lists take drops on their viewport, not on their frame.
  if (auto* area = dynamic_cast<QAbstractScrollArea*>(target)) {
    target = area->viewport();
    target->removeEventFilter(filter);
    target->installEventFilter(filter);
  }
  target->setAcceptDrops(accept != 0);
}

void DeliverDroppedFiles(TControl* control, const std::vector<std::string>& files) {
  TForm* form = GetParentForm(control);
  if (form == nullptr || files.empty()) return;
  static HDROP next = 0x20000;
  next += 4;
  const HDROP drop = next;
  Drops()[drop] = files;
  // The record goes when the handler is done, whatever it did: one that throws before its
  // DragFinish would otherwise leave it in the table for good.
  struct TDropRelease {
    HDROP Drop;
    ~TDropRelease() { DragFinish(Drop); }
  } release{drop};
  TWMDropFiles message;
  message.Drop = drop;
  CallGuarded([&] { form->WMDropFiles(message); });
}

UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size) {
  auto it = Drops().find(drop);
  if (it == Drops().end()) return 0;
  const std::vector<std::string>& files = it->second;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(files.size());
  if (index >= files.size()) return 0;
  const std::string& name = files[index];
  if (buffer == nullptr) return static_cast<UINT>(name.size());
  if (size == 0) return 0;
  const std::size_t copied = WholeCharacters(name, size - 1);
  std::memcpy(buffer, name.data(), copied);
  buffer[copied] = '\0';
  return static_cast<UINT>(copied);
}

void DragFinish(HDROP drop) { Drops().erase(drop); }

PIDLIST_ABSOLUTE SHBrowseForFolderA(BROWSEINFOA* info) {
  if (info == nullptr) return nullptr;
  TModalShown shown;
  shown.Kind = TModalKind::FolderBrowser;
  shown.Caption = info->lpszTitle != nullptr ? info->lpszTitle : "";
  shown.Flags = static_cast<int>(info->ulFlags);
  shown.Cursor = Screen->Cursor();
  std::string folder;
  TModalAnswer answer;
  if (TAutomation::Take(std::move(shown), answer)) {
    if (!answer.Confirm) return nullptr;
    if (answer.Text.empty()) {
      TAutomation::Fail("the folder browser was answered without a folder");
      return nullptr;
    }
    folder = answer.Text;
  } else {
    QFileDialog dialog(DialogParent());
    PrepareFileDialog(dialog, ToQ(info->lpszTitle != nullptr ? info->lpszTitle : ""));
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return nullptr;
    folder = FromQ(dialog.selectedFiles().front());
  }
  if (info->pszDisplayName != nullptr) {
    const std::string name = ExtractFileName(ExcludeTrailingPathDelimiter(folder));
    const std::size_t copied = WholeCharacters(name, MAX_PATH - 1);
    std::memcpy(info->pszDisplayName, name.data(), copied);
    info->pszDisplayName[copied] = '\0';
  }
  auto list = std::make_unique<ITEMIDLIST>(ITEMIDLIST{folder});
  ITEMIDLIST* result = list.get();
  ItemLists()[result] = std::move(list);
  return result;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, char* path) {
  if (path == nullptr) return 0;
  path[0] = '\0';
  const std::string folder = PathFromIDList(list);
  // The platform refuses a path that does not fit rather than cutting it.
  if (folder.empty() || folder.size() >= MAX_PATH) return 0;
  std::memcpy(path, folder.c_str(), folder.size() + 1);
  return 1;
}

std::string PathFromIDList(LPCITEMIDLIST list) {
  auto it = ItemLists().find(list);
  return it == ItemLists().end() ? std::string() : it->second->Path;
}

void CoTaskMemFree(void* memory) { ItemLists().erase(static_cast<const ITEMIDLIST*>(memory)); }
