#include "pandrel/Unit_Main.h"

#include <memory>
#include <vector>

#include "classlib/filenames.h"
#include "classlib/forms/dialogs.h"
#include "classlib/forms/shell.h"
#include "dib/UlmDIB.h"
#include "png/ZelPNG.h"
#include "png/ZelPNG_ByExtension.h"

TfrmMain* frmMain = nullptr;

namespace {

// Both removals ask the same question; true on Yes.
bool ConfirmRemovalFromList() {
  return MessageDlg("ファイルをリスト上から削除します。よろしいですか？", mtConfirmation, {mbYes, mbNo}, 0) == mrYes;
}

// The first of all 256 entries that holds the colour, whatever the file's own palette
// holds; -1 when none does.
int FirstEntryOf(TUlmDIB* dib, TColor colour) {
  for (int j = 0; j < 256; ++j)
    if (dib->GetColors(j) == colour) return j;
  return -1;
}

// Entry 0 takes the picked colour from the first entry that holds it, which takes entry
// 0's colour in exchange; the pixels keep their indices.
void MovePickedColourToFront(TUlmDIB* dib, TColor picked) {
  const int j = FirstEntryOf(dib, picked);
  if (j <= 0) return;
  const TColor former = dib->GetColors(0);
  dib->SetColors(0, picked);
  dib->SetColors(j, former);
}

// A transparent colour names pixels by their colour, and the exchange moves colours
// between entries; on a palette picture it is pinned to its entry first, so the same
// pixels stay transparent.
void PinTransparentColour(TZelPNG* picture, TUlmDIB* dib) {
  const TColor colour = picture->TransparentColor;
  const TPixelFormat format = picture->CurrentImage()->PixelFormat();
  if (colour == -1 || (colour & PaletteIndexFlag) != 0 || (format != pf1bit && format != pf4bit && format != pf8bit)) return;
  const int j = FirstEntryOf(dib, colour);
  if (j >= 0) picture->TransparentColor = PaletteIndexFlag | j;
}

// Loads the file, moves the picked colour to entry 0 and writes it under its own name into
// the folder.
void ConvertFile(TUlmDIB* dib, const std::string& source, const std::string& folder, TColor picked) {
  const std::string name = ExtractFileName(source);
  std::unique_ptr<TZelPNG> picture;
  if (HasPngExtensionAnyCase(name)) {
    picture = std::make_unique<TZelPNG>();
    picture->LoadFromFile(source);
    dib->Assign(picture.get());
    PinTransparentColour(picture.get(), dib);
  } else {
    dib->LoadFromFile(source);
  }
  MovePickedColourToFront(dib, picked);
  // Written aside and renamed over the target, so a source in the output folder is
  // never overwritten while it is still being read.
  const std::string target = folder + name;
  if (picture) {
    // The loaded picture takes the new palette and keeps its transparency (its alpha
    // bitmap or transparent colour), which a fresh one would drop. A grey file stays
    // grey only where that keeps its alpha; otherwise it is written with its palette,
    // so that the exchanged entries show.
    picture->Assign(dib);
    picture->Grayscale = picture->Grayscale && picture->HasAlpha();
    picture->SaveToFileName(target);
  } else {
    dib->SaveToFileName(target);
  }
}

// The entry becomes the list's one selected entry, with the focus, at the top of the view
// where the list reaches that far: above the error box, which is centred over the window.
void SelectOnly(TListBox* list, const std::string& entry) {
  const int index = list->Items()->IndexOf(entry);
  if (index < 0) return;
  for (int k = 0; k < list->Items()->Count(); ++k) list->SetSelected(k, k == index);
  list->SetTopIndex(index);
  list->SetItemIndex(index);
}

// Hides the covering panel when the batch ends, however it ends.
class TUncover {
public:
  explicit TUncover(TPanel* panel) : panel_(panel) {}
  TUncover(const TUncover&) = delete;
  TUncover& operator=(const TUncover&) = delete;
  ~TUncover() {
    try {
      panel_->Hide();
    } catch (...) {
      ReportReleaseFailure("Pandrel: uncovering the window after the batch");
    }
  }

private:
  TPanel* panel_;
};

}  // namespace

TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  Name = "frmMain";
  SetCaption("Pandrel");
  SetBorderStyle(bsSingle);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetPosition(poDesktopCenter);
  SetClientWidth(565);
  SetClientHeight(342);

  lstFileList = Place(new TListBox(this), "lstFileList", 8, 8, 553, 137);
  lstFileList->SetMultiSelect(true);
  lstFileList->SetSorted(true);
  lstFileList->ItemHeight = 12;
  lstFileList->OnClick = [this](TObject* sender) { lstFileListClick(sender); };

  ScrollBox = Place(new TScrollBox(this), "ScrollBox", 8, 152, 337, 185);
  imgSpoit = Place(new TImage(ScrollBox), "imgSpoit", 0, 0, 33, 25);
  imgSpoit->SetAutoSize(true);
  imgSpoit->SetCursor(crCross);
  imgSpoit->OnMouseDown = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
    imgSpoitMouseDown(sender, button, shift, x, y);
  };

  btnStart = Place(new TBitBtn(this), "btnStart", 352, 200, 201, 33);
  btnStart->SetCaption("色変換スタート(&S)");
  btnStart->SetGlyph(TGlyph::Start);
  btnStart->OnClick = [this](TObject* sender) { btnStartClick(sender); };

  btnShow = Place(new TButton(this), "btnShow", 536, 168, 20, 20);
  btnShow->SetCaption("...");
  btnShow->OnClick = [this](TObject* sender) { btnShowClick(sender); };

  edtSavePath = Place(new TLabeledEdit(this), "edtSavePath", 352, 168, 177, 20);
  edtSavePath->EditLabel()->SetCaption("保存先(&P)：");
  edtSavePath->SetLabelSpacing(3);
  edtSavePath->SetText("");

  pColor = Place(new TPanel(this), "pColor", 352, 296, 97, 41);
  pColor->SetBevelOuter(bvNone);
  pColor->SetBorderStyle(bsSingle);
  pColor->SetColor(clRed);
  pColor->SetCaption("");

  pALL = Place(new TPanel(this), "pALL", 248, 200, 185, 41);
  pALL->SetBevelOuter(bvNone);
  pALL->SetCaption("pALL");
  pALL->Hide();

  PopupMenu = new TPopupMenu(this);
  PopupMenu->Name = "PopupMenu";
  mnuDelete = NewMenuItem(this, PopupMenu->Items(), "mnuDelete", "選択したファイルをリストから削除(&D)", TGlyph::Delete);
  mnuDelete->OnClick = [this](TObject* sender) { mnuDeleteClick(sender); };
  mnuAllDel = NewMenuItem(this, PopupMenu->Items(), "mnuAllDel", "すべてのファイルをリストから削除(&A)", TGlyph::DeleteAll);
  mnuAllDel->OnClick = [this](TObject* sender) { mnuAllDelClick(sender); };
  lstFileList->SetPopupMenu(PopupMenu);

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

void TfrmMain::FormCreate(TObject*) {
  DragAcceptFiles(lstFileList->Handle(), true);
  pALL->SetAlign(alClient);
}

void TfrmMain::WMDropFiles(TWMDropFiles& message) {
  const UINT count = DragQueryFileA(message.Drop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // Paths have no length limit here: a name cut short could name another file.
    std::vector<char> buffer(DragQueryFileA(message.Drop, i, nullptr, 0) + std::size_t{1});
    DragQueryFileA(message.Drop, i, buffer.data(), static_cast<UINT>(buffer.size()));
    const std::string name = buffer.data();
    if (lstFileList->Items()->IndexOf(name) >= 0) continue;
    const std::string ext = LowerCase(ExtractFileExt(name));
    if (ext == ".png" || ext == ".bmp") lstFileList->Items()->Add(name);
  }
  DragFinish(message.Drop);
}

void TfrmMain::lstFileListClick(TObject*) {
  const int index = lstFileList->ItemIndex();
  if (index < 0) return;
  const std::string fileName = lstFileList->Items()->Strings(index);
  LoadAsBitmapByExtension(imgSpoit->Picture(), fileName, HasPngExtensionAnyCase);
}

void TfrmMain::imgSpoitMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  // Before the first preview, and outside the picture, there is no colour to take (asking
  // an empty image for its canvas would make it a blank picture).
  if (imgSpoit->Picture()->Graphic() == nullptr) return;
  const TColor colour = imgSpoit->Canvas()->Pixels(X, Y);
  if (static_cast<COLORREF>(colour) != CLR_INVALID) pColor->SetColor(colour);
}

void TfrmMain::btnShowClick(TObject*) {
  const std::string folder = BrowseForFolder(Handle());
  if (!folder.empty()) edtSavePath->SetText(folder);
}

void TfrmMain::mnuDeleteClick(TObject*) {
  if (!ConfirmRemovalFromList()) return;
  for (int i = lstFileList->Items()->Count() - 1; i >= 0; --i) {
    if (lstFileList->Selected(i)) lstFileList->Items()->Delete(i);
  }
}

void TfrmMain::mnuAllDelClick(TObject*) {
  if (ConfirmRemovalFromList()) lstFileList->Items()->Clear();
}

void TfrmMain::btnStartClick(TObject*) {
  // Window messages run once per file; a click that arrives through them finds the
  // window covered and must not start a second batch inside the first.
  if (pALL->Visible()) return;
  if (!DirectoryExists(edtSavePath->Text())) {
    ShowMessage("指定された保存先のフォルダは存在しません。");
    return;
  }
  pALL->Show();
  TUncover uncover(pALL);
  RunBatch();
}

void TfrmMain::RunBatch() {
  const std::string folder = IncludeTrailingPathDelimiter(edtSavePath->Text());
  const TColor picked = pColor->Color();
  // The entries are taken once: the messages run during the batch may change the list.
  std::vector<std::string> files;
  for (int i = 0; i < lstFileList->Items()->Count(); ++i) files.push_back(lstFileList->Items()->Strings(i));
  const std::string total = IntToStr(static_cast<std::int64_t>(files.size()));

  auto dib = std::make_unique<TUlmDIB>();
  for (std::size_t i = 0; i < files.size(); ++i) {
    pALL->SetCaption("処理を実行しています。" + IntToStr(static_cast<std::int64_t>(i)) + "/" + total);
    pALL->Repaint();
    Application->ProcessMessages();
    try {
      ConvertFile(dib.get(), files[i], folder, picked);
    } catch (...) {
      // Its message need not name the file (a corrupt picture, a full disk): the list shows
      // which one stopped the batch.
      SelectOnly(lstFileList, files[i]);
      throw;
    }
  }
  pALL->SetCaption("すべての処理が終わりました。");
  dib.reset();
  ShowMessage("すべての処理が終わりました。");
}

std::string BrowseForFolder(HWND owner) {
  char displayName[MAX_PATH] = {};
  BROWSEINFOA info;
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = "フォルダを選んで下さい";
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = nullptr;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
  if (list == nullptr) return "";
  // Taken whole: a folder nested a few levels deep is past the platform's 260 bytes.
  std::string result = PathFromIDList(list);
  CoTaskMemFree(list);
  return result;
}
