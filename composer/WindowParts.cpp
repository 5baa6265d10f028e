#include "composer/WindowParts.h"

#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "composer/FormParts.h"

namespace {

template <class T>
T* Fill(const TSlot<T>& slot, T* control) {
  slot.Control = control;
  return control;
}

TButton* NewButton(TWinControl* parent, const TSlot<TButton>& slot, const char* caption, int left, int top, int width,
                   int height, TNotifyEvent onClick) {
  TButton* button = Fill(slot, Place(new TButton(parent), slot.Name, left, top, width, height));
  button->SetCaption(caption);
  button->OnClick = std::move(onClick);
  return button;
}

TMenuItem* NewEntry(TForm* form, TMenuItem* parent, const TSlot<TMenuItem>& slot, const char* caption,
                    TNotifyEvent onClick = nullptr) {
  TMenuItem* item = Fill(slot, NewMenuItem(form, parent, slot.Name, caption));
  item->OnClick = std::move(onClick);
  return item;
}

}  // namespace

void SetUpComposerWindow(TForm* form, const char* caption, int clientWidth, int clientHeight) {
  form->Name = "frmMain";
  form->SetCaption(caption);
  form->SetBorderStyle(bsSingle);
  form->SetBorderIcons({biSystemMenu, biMinimize});
  form->SetClientWidth(clientWidth);
  form->SetClientHeight(clientHeight);
  form->Font()->SetName("ＭＳ Ｐゴシック");
  form->Font()->SetHeight(-12);
  form->Font()->Charset = SHIFTJIS_CHARSET;
}

TImage* NewPictureView(TWinControl* parent, const char* name, int width, int height, TMouseEvent onMouseDown) {
  TImage* view = Place(new TImage(parent), name, 0, 0, width, height);
  view->SetAutoSize(true);
  view->OnMouseDown = std::move(onMouseDown);
  return view;
}

void BuildTransferPage(TTabPage* page, const TTransferPageSlots& slots, const TTransferPageLayout& layout,
                       const TTransferPageEvents& events) {
  const int right = 8 + layout.TransferWidth + 7;
  NewButton(page, slots.Transfer, "転送", 8, 8, layout.TransferWidth, 33, events.OnTransfer);
  NewButton(page, slots.Open, "開く...", right, 8, layout.OpenWidth, 33, events.OnOpen);
  TScrollBox* box = Fill(slots.Box, Place(new TScrollBox(page), slots.Box.Name, 8, 48, layout.TransferWidth + 3, 260));
  Fill(slots.View, NewPictureView(box, slots.View.Name, layout.TransferWidth - 1, 256, events.OnViewMouseDown));

  TGroupBox* group = Fill(slots.Group, Place(new TGroupBox(page), slots.Group.Name, right, 48, layout.GroupWidth, 121));
  group->SetVisible(false);
  const int listWidth = layout.GroupWidth - 48;
  Fill(slots.From, NewColourPanel(group, slots.From.Name, 8, 24, 25, 25, events.OnPanel));
  Fill(slots.FromList, NewNamedColourCombo(group, slots.FromList.Name, 40, 26, listWidth, events.OnFromList));
  Fill(slots.Arrow, Place(new TLabel(group), slots.Arrow.Name, 16, 56))->SetCaption("↓");
  Fill(slots.To, NewColourPanel(group, slots.To.Name, 8, 80, 25, 25, events.OnPanel));
  Fill(slots.ToList, NewNamedColourCombo(group, slots.ToList.Name, 40, 82, listWidth, events.OnToList));

  // Made after its group so that it lies in front of the group's top edge.
  TCheckBox* check = Fill(slots.Check, Place(new TCheckBox(page), slots.Check.Name, right + 8, 48, 97, 17));
  check->SetCaption("色の置き換え");
  check->OnClick = events.OnCheck;
}

void BuildFillPage(TTabPage* page, TSlot<TListBox> list, TSlot<TPanel> panel, TNotifyEvent onListClick,
                   TNotifyEvent onPanelClick) {
  Fill(list, Place(new TListBox(page), list.Name, 8, 8, 193, 297))->OnClick = std::move(onListClick);
  Fill(panel, NewColourPanel(page, panel.Name, 208, 16, 65, 65, std::move(onPanelClick)));
}

void BuildColourEditorPage(TTabPage* page, const TColourEditorSlots& slots, const TColourEditorLayout& layout,
                           const TColourEditorEvents& events) {
  const int left = 8 + layout.ListWidth + 7;
  Fill(slots.List, Place(new TListBox(page), slots.List.Name, 8, 8, layout.ListWidth, 281))->OnClick =
      events.OnListClick;
  Fill(slots.Colour, NewColourPanel(page, slots.Colour.Name, left, 16, 25, 185, events.OnPanelClick));
  TScrollBox* box = Fill(slots.Box, Place(new TScrollBox(page), slots.Box.Name, left + 32, 16, layout.BoxWidth, 185));
  box->OnClick = events.OnBoxClick;
  // The image control's design size; a reference picture resizes it.
  TImage* picture = Fill(slots.Picture, NewPictureView(box, slots.Picture.Name, 9, 9, events.OnPictureMouseDown));
  picture->OnClick = events.OnPictureClick;

  TLabeledEdit* title =
      Fill(slots.Title, Place(new TLabeledEdit(page), slots.Title.Name, left, 224, layout.BoxWidth + 32, 20));
  title->EditLabel()->SetCaption("透過色のタイトル(&T)：");
  NewButton(page, slots.Add, "保存", left, layout.ButtonTop, 193, 33, events.OnAdd);
  NewButton(page, slots.Delete, "削除", left + 200, layout.ButtonTop, 81, 33, events.OnDelete);
  Fill(slots.Warning, Place(new TLabel(page), slots.Warning.Name, left, layout.ButtonTop + 42))
      ->SetCaption(layout.Warning);
}

void BuildComposerMenu(TForm* form, const TComposerMenuSlots& slots, const TComposerMenuEvents& events) {
  TMainMenu* menu = Fill(slots.Menu, new TMainMenu(form));
  menu->Name = slots.Menu.Name;
  TMenuItem* root = menu->Items();
  TMenuItem* file = NewEntry(form, root, slots.File, "ファイル(&F)");
  NewEntry(form, file, slots.Open, "開く(&O)...", events.OnOpen);
  NewEntry(form, file, slots.SaveAs, "保存(&S)...", events.OnSaveAs);
  NewEntry(form, file, slots.FileLine, "-");
  NewEntry(form, file, slots.Exit, "終了(&X)", events.OnExit);
  TMenuItem* help = NewEntry(form, root, slots.Help, "ヘルプ(&H)");
  NewEntry(form, help, slots.HelpOn, "ヘルプの表示(&H)...", events.OnHelpOn);
  NewEntry(form, help, slots.HelpLine, "-");
  NewEntry(form, help, slots.About, "バージョン情報(&A)...", events.OnAbout);
}

void BuildComposerDialogs(TComponent* owner, TSlot<TColorDialog> cd, TColorDialogOptions options,
                          TSlot<TOpenDialog> od, TSlot<TSaveDialog> sd) {
  Fill(cd, new TColorDialog(owner))->Name = cd.Name;
  cd.Control->Options = options;
  Fill(od, new TOpenDialog(owner))->Name = od.Name;
  Fill(sd, new TSaveDialog(owner))->Name = sd.Name;
  SetUpPictureDialogs(od.Control, sd.Control);
}
