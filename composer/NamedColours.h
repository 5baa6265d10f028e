// The named transparent colours kept in "SkeletonSetting.ini" beside the program: one
// section per title with the keys "r", "g" and "b".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classlib/forms/controls.h"
#include "classlib/graphics.h"
#include "classlib/strings.h"

class TPanel;
class TImage;
class TListBox;
class TComboBox;
class TLabeledEdit;
class TColorDialog;
class TOpenDialog;

// The file's place: the program's folder followed by "SkeletonSetting.ini".
std::string SkeletonSettingPath();

// Reads every section of the file, in file order, into names, and the colour of each into
// colours (same index). A missing key or a value that is no integer reads as 0, and each
// channel counts by its low byte only. A missing file gives empty lists.
void ReadNamedColours(const std::string& path, TStringList* names, std::vector<TColor>& colours);

// Stores colour under title (a title that exists, compared without regard to case, keeps
// its place and spelling), and erases a title with all its keys. A failed write raises
// EIniFileException.
void WriteNamedColour(const std::string& path, const std::string& title, TColor colour);
void EraseNamedColour(const std::string& path, const std::string& title);

// The lists that show the titles: every one holds them in the same order, so an entry's
// index in any list is its index in the names and the colours.
struct TNamedColourLists {
  std::vector<TComboBox*> ComboBoxes;
  std::vector<TListBox*> ListBoxes;
};

// The reload: new names and colours from the file, and every list refilled with the
// titles and without a selection. The colour panels keep their colours.
void ReloadNamedColours(std::unique_ptr<TStringList>& names, std::vector<TColor>& colours,
                        const TNamedColourLists& lists);

// The editor's "保存": colour of the panel under the edit's text, unchanged; then the reload.
void StoreEditedColour(TPanel* colourPanel, TLabeledEdit* titleEdit, std::unique_ptr<TStringList>& names,
                       std::vector<TColor>& colours, const TNamedColourLists& lists);
// The editor's "削除": erases the title selected in the list (the list's index error when
// none is), then the reload.
void EraseSelectedColour(TListBox* list, std::unique_ptr<TStringList>& names, std::vector<TColor>& colours,
                         const TNamedColourLists& lists);

// Puts the list's selected entry into the editor; nothing without a selection.
void LoadColourIntoEditor(TListBox* list, TPanel* colourPanel, TLabeledEdit* titleEdit, const TStringList* names,
                          const std::vector<TColor>& colours);

// A picker: the panel takes the colour of the selected entry; nothing without a selection.
void PickNamedColour(int selectedIndex, TPanel* panel, const std::vector<TColor>& colours);

// The eyedropper: the right button puts the colour under the pointer into the panel;
// every other button does nothing here.
void PickPixelColour(TMouseButton button, TImage* view, int x, int y, TPanel* panel);

// Runs od and opens the chosen file as the eyedropper's reference picture in view.
void OpenEyedropperPicture(TOpenDialog* od, TImage* view);

// The colour dialog starts at the panel's colour; the panel takes the dialog's colour
// only when the user confirms.
void EditPanelColour(TColorDialog* cd, TPanel* panel);
