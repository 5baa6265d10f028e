#include "colour/Unit_DColor.h"

#include "png/ZelPNG_ByExtension.h"

std::unique_ptr<TPicture> PalettePicture;
TfrmDColor* frmDColor = nullptr;

const char* const PictureFileFilter =
    "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.png)|*.jpg;*.jpeg;*.bmp;*.png|"
    "JPEG イメージファイル (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
    "ビットマップ (*.bmp)|*.bmp|"
    "PortableNetworkGraphic\u3000（*.png)|*.png";

TfrmDColor::TfrmDColor(TComponent* owner) : TForm(owner) {
  Name = "frmDColor";
  SetCaption("パレットの設定");
  SetBorderStyle(bsDialog);
  SetBorderIcons({});
  SetBounds(708, 216, Width(), Height());
  SetClientWidth(277);
  SetClientHeight(316);

  rbAuto = Place(new TRadioButton(this), "rbAuto", 16, 8, 177, 17);
  rbAuto->SetCaption("256色で自動減色（MedianCut）");
  rbAuto->SetChecked(true);
  rbAuto->OnClick = [this](TObject* s) { rbAutoClick(s); };

  GroupBox1 = Place(new TGroupBox(this), "GroupBox1", 8, 32, 265, 249);
  GroupBox1->SetVisible(false);
  btnOpenPalPic = Place(new TButton(GroupBox1), "btnOpenPalPic", 8, 24, 97, 25);
  btnOpenPalPic->SetCaption("ピクチャを選択...");
  btnOpenPalPic->OnClick = [this](TObject* s) { btnOpenPalPicClick(s); };
  ScrollBox2 = Place(new TScrollBox(GroupBox1), "ScrollBox2", 8, 56, 249, 185);
  imgPalPic = Place(new TImage(ScrollBox2), "imgPalPic", 0, 0, 9, 9);
  imgPalPic->SetAutoSize(true);

  // Made after the group so that it lies in front of the group's top edge.
  RadioButton1 = Place(new TRadioButton(this), "RadioButton1", 16, 32, 153, 17);
  RadioButton1->SetCaption("他パレットをそのまま適用");
  RadioButton1->OnClick = [this](TObject* s) { RadioButton1Click(s); };

  btnOK = Place(new TBitBtn(this), "btnOK", 88, 288, 89, 25);
  btnOK->SetKind(bkOK);
  btnOK->OnClick = [this](TObject* s) { btnOKClick(s); };
  btnCancel = Place(new TBitBtn(this), "btnCancel", 184, 288, 89, 25);
  btnCancel->SetCaption("キャンセル");
  btnCancel->SetGlyph(TGlyph::Cancel);
  btnCancel->Cancel = true;
  btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

  od = new TOpenDialog(this);
  od->Name = "od";
  od->Filter = PictureFileFilter;

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TfrmDColor::FormShow(TObject*) { PalettePicture = std::make_unique<TPicture>(); }

void TfrmDColor::rbAutoClick(TObject*) { GroupBox1->SetVisible(RadioButton1->Checked()); }

void TfrmDColor::RadioButton1Click(TObject*) { GroupBox1->SetVisible(RadioButton1->Checked()); }

void TfrmDColor::btnOpenPalPicClick(TObject*) {
  if (!od->Execute()) return;
  const std::string fileName = od->FileName;
  if (!PalettePicture) PalettePicture = std::make_unique<TPicture>();
  LoadByExtension(PalettePicture.get(), fileName, HasPngExtensionLowerOrUpper);
  imgPalPic->Picture()->Assign(PalettePicture.get());
}

void TfrmDColor::btnOKClick(TObject*) { PaletteSource = rbAuto->Checked() ? std::string("auto") : od->FileName; }

void TfrmDColor::btnCancelClick(TObject*) { Close(); }
