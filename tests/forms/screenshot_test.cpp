// A small form rendered offscreen into a PNG under the build folder, to look at: Japanese
// captions must come out in the CJK family that the class library's UI font maps to.
#include <QFontInfo>
#include <QImage>
#include <QWidget>

#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "forms/fixture.h"

namespace {

class SampleForm : public TForm {
public:
  explicit SampleForm(TComponent* owner) : TForm(owner) {
    SetCaption("Corvane");
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu, biMinimize});
    SetClientWidth(420);
    SetClientHeight(260);
    Font()->SetName("ＭＳ Ｐゴシック");
    Font()->SetHeight(-12);

    auto* menu = new TMainMenu(this);
    auto* file = new TMenuItem(this);
    file->SetCaption("ファイル(&F)");
    menu->Items()->Add(file);
    auto* help = new TMenuItem(this);
    help->SetCaption("ヘルプ(&H)");
    menu->Items()->Add(help);

    auto* group = new TGroupBox(this);
    group->SetCaption("チップセット");
    group->SetBounds(8, 8, 200, 120);
    auto* panel = new TPanel(group);
    panel->SetBorderStyle(bsSingle);
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(5, 16, 188, 96);
    image = new TImage(panel);
    image->SetBounds(0, 0, 184, 92);
    TCanvas* canvas = image->Canvas();
    canvas->Brush()->Color = clFuchsia;
    canvas->FillRect(Rect(16, 16, 32, 32));

    label = new TLabel(this);
    label->SetBounds(216, 16, 196, 20);
    label->SetWordWrap(true);
    label->SetCaption("注意：保存、削除を行った時点で\r変更内容が保存されます。");

    auto* notebook = new TTabbedNotebook(this);
    notebook->SetBounds(8, 136, 404, 116);
    TTabPage* page = notebook->AddPage("バラチップ");
    notebook->AddPage("塗りつぶし");
    auto* button = new TButton(page);
    button->SetCaption("開く...");
    button->SetBounds(8, 8, 120, 25);
    auto* check = new TCheckBox(page);
    check->SetCaption("色の置き換え");
    check->SetBounds(136, 12, 120, 17);
    auto* swatch = new TPanel(page);
    swatch->SetColor(clRed);
    swatch->SetBounds(264, 8, 60, 40);
    auto* ok = new TBitBtn(page);
    ok->SetKind(bkOK);
    ok->SetBounds(8, 44, 89, 25);
  }
  TImage* image;
  TLabel* label;
};

TEST_F(FormsTest, SampleFormRendersJapaneseInTheCjkFont) {
  SampleForm form(nullptr);
  form.Show();
  Application->ProcessMessages();
  EXPECT_EQ(form.ClientWidth(), 420);
  EXPECT_EQ(form.ClientHeight(), 260);
  EXPECT_NE(QFontInfo(form.label->Widget()->font()).family().indexOf("Noto Sans CJK"), -1)
      << QFontInfo(form.label->Widget()->font()).family().toStdString();
  EXPECT_EQ(QFontInfo(form.label->Widget()->font()).pixelSize(), 12);

  const std::string path = std::string(TEST_BUILD_DIR) + "/forms_sample.png";
  ASSERT_TRUE(GrabFormToFile(&form, path));
  QImage shot(QString::fromStdString(path));
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.width(), 420);
  EXPECT_GT(shot.height(), 260);  // the menu bar lies above the client area
  // The fuchsia cell drawn on the image's canvas shows at its place in the window.
  const QPoint cell = form.image->Widget()->mapTo(form.Widget(), QPoint(20, 20));
  EXPECT_EQ(QColor(shot.pixel(cell)), QColor(255, 0, 255));
  form.Hide();
}

}  // namespace
