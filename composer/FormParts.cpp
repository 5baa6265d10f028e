#include "composer/FormParts.h"

#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
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
