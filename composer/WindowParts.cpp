#include "composer/WindowParts.h"

#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/stdctrls.h"
#include "colour/Unit_DColor.h"

TPanel* NewColourPanel(TWinControl* parent, const char* name, int left, int top, int width, int height,
                       TNotifyEvent onClick) {
  auto* panel = Place(new TPanel(parent), name, left, top, width, height);
  panel->SetBevelOuter(bvLowered);
  panel->SetColor(clFuchsia);
  panel->OnClick = std::move(onClick);
  return panel;
}

TComboBox* NewNamedColourCombo(TWinControl* parent, const char* name, int left, int top, int width,
                               TNotifyEvent onChange) {
  auto* combo = new TComboBox(parent);
  Place(combo, name, left, top, width, combo->Height());
  combo->OnChange = std::move(onChange);
  return combo;
}

void SetUpPictureDialogs(TOpenDialog* od, TSaveDialog* sd) {
  od->Filter = PictureFileFilter;
  sd->DefaultExt = "*.png";
  sd->Filter = "ビットマップ (*.bmp)|*.bmp|PortableNetworkGraphic\u3000（*.png)|*.png";
}

std::unique_ptr<TBitmap> NewWorkingBitmap() {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  return bitmap;
}

TBitBtn* NewButton(TWinControl* parent, const TSlot<TBitBtn>& slot, const char* caption, TGlyph glyph, int left, int top,
                   int width, int height, TNotifyEvent onClick) {
  TBitBtn* button = FillSlot(slot, Place(new TBitBtn(parent), slot.Name, left, top, width, height));
  button->SetCaption(caption);
  button->SetGlyph(glyph);
  button->OnClick = std::move(onClick);
  return button;
}

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
  NewButton(page, slots.Transfer, "転送", TGlyph::Transfer, 8, 8, layout.TransferWidth, 33, events.OnTransfer);
  NewButton(page, slots.Open, "開く...", TGlyph::Open, right, 8, layout.OpenWidth, 33, events.OnOpen);
  TScrollBox* box = FillSlot(slots.Box, Place(new TScrollBox(page), slots.Box.Name, 8, 48, layout.TransferWidth + 3, 260));
  FillSlot(slots.View, NewPictureView(box, slots.View.Name, layout.TransferWidth - 1, 256, events.OnViewMouseDown));

  TGroupBox* group = FillSlot(slots.Group, Place(new TGroupBox(page), slots.Group.Name, right, 48, layout.GroupWidth, 121));
  group->SetVisible(false);
  const int listWidth = layout.GroupWidth - 48;
  FillSlot(slots.From, NewColourPanel(group, slots.From.Name, 8, 24, 25, 25, events.OnPanel));
  FillSlot(slots.FromList, NewNamedColourCombo(group, slots.FromList.Name, 40, 26, listWidth, events.OnFromList));
  FillSlot(slots.Arrow, Place(new TLabel(group), slots.Arrow.Name, 16, 56))->SetCaption("↓");
  FillSlot(slots.To, NewColourPanel(group, slots.To.Name, 8, 80, 25, 25, events.OnPanel));
  FillSlot(slots.ToList, NewNamedColourCombo(group, slots.ToList.Name, 40, 82, listWidth, events.OnToList));

  // Made after its group so that it lies in front of the group's top edge.
  TCheckBox* check = FillSlot(slots.Check, Place(new TCheckBox(page), slots.Check.Name, right + 8, 48, 97, 17));
  check->SetCaption("色の置き換え");
  check->OnClick = events.OnCheck;
}

