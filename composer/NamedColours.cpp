#include "composer/NamedColours.h"

#include "classlib/filenames.h"
#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/stdctrls.h"
#include "classlib/inifile.h"
#include "composer/Pictures.h"

std::string SkeletonSettingPath() { return IncludeTrailingPathDelimiter(ExeFolder()) + "SkeletonSetting.ini"; }

void ReadNamedColours(const std::string& path, TStringList* names, std::vector<TColor>& colours) {
  TIniFile ini(path);
  ini.ReadSections(names);
  colours.assign(names->Count(), 0);
  for (int i = 0; i < names->Count(); ++i) {
    const std::string& title = names->Strings(i);
    const int b = ini.ReadInteger(title, "b", 0);
    const int g = ini.ReadInteger(title, "g", 0);
    const int r = ini.ReadInteger(title, "r", 0);
    colours[i] = (r & 255) + (g & 255) * 256 + (b & 255) * 65536;
  }
}

void WriteNamedColour(const std::string& path, const std::string& title, TColor colour) {
  TIniFile ini(path);
  const COLORREF rgb = ColorToRGB(colour);
  ini.WriteInteger(title, "r", GetRValue(rgb));
  ini.WriteInteger(title, "g", GetGValue(rgb));
  ini.WriteInteger(title, "b", GetBValue(rgb));
}

void EraseNamedColour(const std::string& path, const std::string& title) {
  TIniFile ini(path);
  ini.EraseSection(title);
}

void ReloadNamedColours(std::unique_ptr<TStringList>& names, std::vector<TColor>& colours,
                        const TNamedColourLists& lists) {
  auto fresh = std::make_unique<TStringList>();
  std::vector<TColor> freshColours;
  ReadNamedColours(SkeletonSettingPath(), fresh.get(), freshColours);
  names = std::move(fresh);
  colours = std::move(freshColours);
  // Refilled from the names, so every list holds the same titles at the same indices.
  for (TComboBox* combo : lists.ComboBoxes) {
    combo->Items()->Clear();
    combo->Items()->AddStrings(names.get());
    combo->SetItemIndex(-1);
  }
  for (TListBox* list : lists.ListBoxes) {
    list->Items()->Clear();
    list->Items()->AddStrings(names.get());
    list->SetItemIndex(-1);
  }
}

void StoreEditedColour(TPanel* colourPanel, TLabeledEdit* titleEdit, std::unique_ptr<TStringList>& names,
                       std::vector<TColor>& colours, const TNamedColourLists& lists) {
  WriteNamedColour(SkeletonSettingPath(), titleEdit->Text(), colourPanel->Color());
  ReloadNamedColours(names, colours, lists);
}

void EraseSelectedColour(TListBox* list, std::unique_ptr<TStringList>& names, std::vector<TColor>& colours,
                         const TNamedColourLists& lists) {
  // Strings() raises the list's index error when nothing is selected: nothing is erased.
  const std::string title = list->Items()->Strings(list->ItemIndex());
  EraseNamedColour(SkeletonSettingPath(), title);
  ReloadNamedColours(names, colours, lists);
}

void LoadColourIntoEditor(TListBox* list, TPanel* colourPanel, TLabeledEdit* titleEdit, const TStringList* names,
                          const std::vector<TColor>& colours) {
  const int i = list->ItemIndex();
  if (i < 0 || i >= names->Count() || i >= static_cast<int>(colours.size())) return;
  colourPanel->SetColor(colours[i]);
  titleEdit->SetText(names->Strings(i));
}

void PickNamedColour(int selectedIndex, TPanel* panel, const std::vector<TColor>& colours) {
  if (selectedIndex < 0 || selectedIndex >= static_cast<int>(colours.size())) return;
  panel->SetColor(colours[selectedIndex]);
}

void PickPixelColour(TMouseButton button, TImage* view, int x, int y, TPanel* panel) {
  if (button != mbRight) return;
  panel->SetColor(view->Canvas()->Pixels(x, y));
}

void OpenEyedropperPicture(TOpenDialog* od, TImage* view) {
  if (!od->Execute()) return;
  LoadReferencePicture(view->Picture(), od->FileName);
  view->SetAutoSize(true);
}

void EditPanelColour(TColorDialog* cd, TPanel* panel) {
  cd->Color = panel->Color();
  if (cd->Execute()) panel->SetColor(cd->Color);
}
