#include "composer/ComposerForm.h"

#include "composer/Credits.h"
#include "composer/Pictures.h"

void TComposerForm::BindFormEvents() {
  OnCreate = Handler(this, &TComposerForm::FormCreate);
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
  OnPaint = Handler(this, &TComposerForm::FormPaint);
}

void TComposerForm::CreateFillPage(TTabPage* page) {
  lstPaint = Place(new TListBox(page), "lstPaint", 8, 8, 193, 297);
  lstPaint->OnClick = Handler(this, &TComposerForm::lstPaintClick);
  Color_Paint = NewColourPanel(page, "Color_Paint", 208, 16, 65, 65, Handler(this, &TComposerForm::ColorTickerClick));
}

void TComposerForm::CreateColourEditorPage(TTabPage* page, const TSlot<TScrollBox>& box,
                                           const TColourEditorLayout& layout, TNotifyEvent onBoxClick,
                                           TNotifyEvent onPictureClick) {
  const int left = 8 + layout.ListWidth + 7;
  lstSkeleton = Place(new TListBox(page), "lstSkeleton", 8, 8, layout.ListWidth, 281);
  lstSkeleton->OnClick = Handler(this, &TComposerForm::lstSkeletonClick);
  Color_Skeleton =
      NewColourPanel(page, "Color_Skeleton", left, 16, 25, 185, Handler(this, &TComposerForm::ColorTickerClick));
  FillSlot(box, Place(new TScrollBox(page), box.Name, left + 32, 16, layout.BoxWidth, 185))->OnClick =
      std::move(onBoxClick);
  // The image control's design size; a reference picture resizes it.
  imgSkeleton = NewPictureView(box.Control, "imgSkeleton", 9, 9, Handler(this, &TComposerForm::imgSkeletonMouseDown));
  imgSkeleton->OnClick = std::move(onPictureClick);

  edtSkeletonName = Place(new TLabeledEdit(page), "edtSkeletonName", left, 224, layout.EditWidth, 20);
  edtSkeletonName->EditLabel()->SetCaption("透過色のタイトル(&T)：");
  NewButton(page, CONTROL_SLOT(btnSkeletonAdd), "保存", TGlyph::Save, left, layout.ButtonTop, 193, 33,
            Handler(this, &TComposerForm::btnSkeletonAddClick));
  NewButton(page, CONTROL_SLOT(btnSkeletonDelete), "削除", TGlyph::Delete, left + 200, layout.ButtonTop, 81, 33,
            Handler(this, &TComposerForm::btnSkeletonDeleteClick));
  Warning = Place(new TLabel(page), "Warning", layout.WarningAt.X, layout.WarningAt.Y);
  Warning->SetCaption(layout.Warning);
}

void TComposerForm::CreateMenu(const TSlot<TMenuItem>& file, const TSlot<TMenuItem>& fileLine,
                               const TSlot<TMenuItem>& exit, TNotifyEvent onExit) {
  MainMenu = new TMainMenu(this);
  MainMenu->Name = "MainMenu";
  TMenuItem* root = MainMenu->Items();
  FillSlot(file, NewMenuItem(this, root, file.Name, "ファイル(&F)"));
  mnuOpen = NewMenuItem(this, file.Control, "mnuOpen", "開く(&O)...", TGlyph::Open);
  mnuOpen->OnClick = Handler(this, &TComposerForm::mnuOpenClick);
  mnuSaveAs = NewMenuItem(this, file.Control, "mnuSaveAs", "保存(&S)...", TGlyph::SaveAs);
  mnuSaveAs->OnClick = Handler(this, &TComposerForm::mnuSaveAsClick);
  FillSlot(fileLine, NewMenuItem(this, file.Control, fileLine.Name, "-"));
  FillSlot(exit, NewMenuItem(this, file.Control, exit.Name, "終了(&X)", TGlyph::Exit))->OnClick = std::move(onExit);

  Help1 = NewMenuItem(this, root, "Help1", "ヘルプ(&H)");
  mnuSearchforHelpOn = NewMenuItem(this, Help1, "mnuSearchforHelpOn", "ヘルプの表示(&H)...", TGlyph::Help);
  mnuSearchforHelpOn->OnClick = Handler(this, &TComposerForm::mnuSearchforHelpOnClick);
  N1 = NewMenuItem(this, Help1, "N1", "-");
  mnuAbout = NewMenuItem(this, Help1, "mnuAbout", "バージョン情報(&A)...", TGlyph::About);
  mnuAbout->OnClick = Handler(this, &TComposerForm::mnuAboutClick);
}

void TComposerForm::CreateDialogs(TColorDialogOptions options) {
  cd = new TColorDialog(this);
  cd->Name = "cd";
  cd->Options = options;
  od = new TOpenDialog(this);
  od->Name = "od";
  sd = new TSaveDialog(this);
  sd->Name = "sd";
  SetUpPictureDialogs(od, sd);
}

// Window, open, save and help.

void TComposerForm::FormCreate(TObject*) {
  SheetBitmap = NewWorkingBitmap();
  for (std::unique_ptr<TBitmap>* source : SourceBitmaps()) *source = NewWorkingBitmap();
  SColorF5();
  lblCR->SetCaption(ComposerCreditText);
}

void TComposerForm::FormClose(TObject*, TCloseAction&) {
  SheetBitmap.reset();
  for (std::unique_ptr<TBitmap>* source : SourceBitmaps()) source->reset();
}

void TComposerForm::mnuOpenClick(TObject*) {
  if (OpenWorkingSheet(od, SheetBitmap.get(), SheetCol, SheetRow)) FormPaint(this);
}

void TComposerForm::mnuSaveAsClick(TObject*) { SaveSheet(SheetBitmap.get(), sd); }

void TComposerForm::mnuSearchforHelpOnClick(TObject*) { OpenHelpPage(this); }

// Named colours.

void TComposerForm::SColorF5() { ReloadNamedColours(SkeletonNames, SkeletonColors, ColourLists()); }

void TComposerForm::btnSkeletonAddClick(TObject*) {
  StoreEditedColour(Color_Skeleton, edtSkeletonName, SkeletonNames, SkeletonColors, ColourLists());
}

void TComposerForm::btnSkeletonDeleteClick(TObject*) {
  EraseSelectedColour(lstSkeleton, SkeletonNames, SkeletonColors, ColourLists());
}

void TComposerForm::lstSkeletonClick(TObject*) {
  LoadColourIntoEditor(lstSkeleton, Color_Skeleton, edtSkeletonName, SkeletonNames.get(), SkeletonColors);
}

void TComposerForm::imgSkeletonMouseDown(TObject*, TMouseButton button, TShiftState, int X, int Y) {
  PickPixelColour(button, imgSkeleton, X, Y, Color_Skeleton);
}

void TComposerForm::ColorTickerClick(TObject* sender) {
  if (auto* panel = dynamic_cast<TPanel*>(sender)) EditPanelColour(cd, panel);
}

void TComposerForm::lstPaintClick(TObject*) { PickNamedColour(lstPaint->ItemIndex(), Color_Paint, SkeletonColors); }
