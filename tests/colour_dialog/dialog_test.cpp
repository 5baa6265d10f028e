// The palette dialog driven as the user drives it: the choice it records, the picture
// group, the preview's loaders, and what carries over from one showing to the next.

#include "colour/Unit_DColor.h"
#include "composer_support/support.h"

namespace {

// Four coloured quarters.
std::unique_ptr<TBitmap> Quarters(int width, int height) {
  return MakeBitmap(width, height, [=](int x, int y) {
    const TColor colours[] = {clRed, clLime, clBlue, clYellow};
    return colours[(x * 2 / width) + 2 * (y * 2 / height)];
  });
}

class DialogTest : public ProgramTest {
protected:
  DialogTest() : ProgramTest("colour_dialog") {}
  void SetUp() override {
    ProgramTest::SetUp();
    PaletteSource.clear();
    PalettePicture.reset();
    frmDColor = new TfrmDColor(Application);
  }
  void TearDown() override {
    ProgramTest::TearDown();
    delete std::exchange(frmDColor, nullptr);
  }

  // Shows the dialog modally; drive acts on it and must end it.
  int Show(const std::function<void(TfrmDColor*)>& drive) {
    TAutomation::Push(Drive(drive));
    return frmDColor->RunModal();
  }
  // "ピクチャを選択..." with the file chosen; an error box, when one comes, is answered.
  static void ChoosePicture(TfrmDColor* dialog, const std::string& fileName, bool fails = false) {
    TAutomation::Push(TModalAnswer::File(fileName));
    if (fails) TAutomation::Push(TModalAnswer::Ok());
    UserClick(dialog->btnOpenPalPic);
  }
};

TEST_F(DialogTest, OkAtTheFirstShowingStoresAuto) {
  const int result = Show([](TfrmDColor* dialog) {
    EXPECT_TRUE(dialog->rbAuto->Checked());
    EXPECT_FALSE(dialog->RadioButton1->Checked());
    EXPECT_FALSE(dialog->GroupBox1->Visible());
    UserClick(dialog->btnOK);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(PaletteSource, "auto");
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Caption, "パレットの設定");
  EXPECT_NE(PalettePicture, nullptr) << "every showing makes a new holder";
}

TEST_F(DialogTest, ThePictureGroupShowsExactlyWhileTheOtherPaletteIsChosen) {
  SavePng(Quarters(40, 30).get(), Path("pal.png"));
  Show([&](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    EXPECT_TRUE(dialog->GroupBox1->Visible());
    EXPECT_FALSE(dialog->rbAuto->Checked());
    ChoosePicture(dialog, Path("pal.png"));
    UserClick(dialog->rbAuto);
    EXPECT_FALSE(dialog->GroupBox1->Visible());
    EXPECT_FALSE(dialog->RadioButton1->Checked());
    EXPECT_EQ(dialog->imgPalPic->Picture()->Width(), 40) << "the preview keeps its picture";
    UserClick(dialog->RadioButton1);
    EXPECT_TRUE(dialog->GroupBox1->Visible());
    UserClick(dialog->btnOK);
  });
  EXPECT_EQ(PaletteSource, Path("pal.png"));
}

struct LoaderCase {
  const char* name;
  bool pngContent;
  bool loaderKnowsPng;  // the picture loader has the PNG class registered
  bool loads;
  const char* graphicClass;
  friend void PrintTo(const LoaderCase& c, std::ostream* out) { *out << c.name; }
};

class PreviewLoader : public DialogTest, public testing::WithParamInterface<LoaderCase> {};

// Exactly ".png" and ".PNG" reach the codec directly; every other name goes to the picture
// loader, which finds the PNG class by the extension in any letter case while it is
// registered and refuses the name when it is not.
const LoaderCase LoaderCases[] = {
    {"a.PNG", true, true, true, "TZelPNG"},   {"b.png", true, false, true, "TZelPNG"},
    {"c.PNG", true, false, true, "TZelPNG"},  {"d.Png", true, true, true, "TZelPNG"},
    {"e.Png", true, false, false, nullptr},   {"f.bmp", false, true, true, "TBitmap"},
    {"g.BMP", false, false, true, "TBitmap"},
};

TEST_P(PreviewLoader, ChoosesTheLoaderByTheExactExtension) {
  const LoaderCase& c = GetParam();
  const std::unique_ptr<TBitmap> picture = Quarters(24, 16);
  if (c.pngContent)
    SavePng(picture.get(), Path(c.name));
  else
    picture->SaveToFileName(Path(c.name));
  if (!c.loaderKnowsPng) UnregisterPictureFormat(ClassOf<TZelPNG>());
  Show([&](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    ChoosePicture(dialog, Path(c.name), !c.loads);
    UserClick(dialog->btnOK);
  });
  if (!c.loaderKnowsPng) RegisterPictureFormat("PNG", "PNG Format", ClassOf<TZelPNG>());

  EXPECT_EQ(TakeErrors().size(), c.loads ? 0u : 1u);
  ASSERT_NE(PalettePicture, nullptr);
  if (c.loads) {
    ASSERT_NE(PalettePicture->Graphic(), nullptr);
    EXPECT_EQ(PalettePicture->Graphic()->ClassName(), c.graphicClass);
    EXPECT_EQ(frmDColor->imgPalPic->Picture()->Width(), 24);
  } else {
    EXPECT_EQ(PalettePicture->Graphic(), nullptr);
  }
  // OK stores the chosen name whether or not it loaded.
  EXPECT_EQ(PaletteSource, Path(c.name));
}

INSTANTIATE_TEST_SUITE_P(Names, PreviewLoader, testing::ValuesIn(LoaderCases), [](const auto& info) {
  return TestName(std::string(info.param.name) + (info.param.loaderKnowsPng ? "" : "_unregistered"));
});

TEST_F(DialogTest, CancelKeepsTheChoiceTheLastOkLeft) {
  SavePng(Quarters(8, 8).get(), Path("pal.png"));
  PaletteSource = "auto";
  struct Case {
    const char* how;
    std::function<void(TfrmDColor*)> end;
  };
  for (const Case& c : {Case{"button", [](TfrmDColor* d) { UserClick(d->btnCancel); }},
                        Case{"escape", [](TfrmDColor* d) { UserPressEscape(d); }}}) {
    SCOPED_TRACE(c.how);
    const int result = Show([&](TfrmDColor* dialog) {
      UserClick(dialog->RadioButton1);
      ChoosePicture(dialog, Path("pal.png"));
      c.end(dialog);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(PaletteSource, "auto");
  }
}

TEST_F(DialogTest, ASecondShowingFindsTheFirstOnesState) {
  SavePng(Quarters(60, 20).get(), Path("pal.png"));
  Show([&](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    ChoosePicture(dialog, Path("pal.png"));
    UserClick(dialog->btnOK);
  });
  TPicture* firstHolder = PalettePicture.get();
  Show([&](TfrmDColor* dialog) {
    EXPECT_TRUE(dialog->RadioButton1->Checked());
    EXPECT_TRUE(dialog->GroupBox1->Visible());
    EXPECT_EQ(dialog->imgPalPic->Picture()->Width(), 60);
    EXPECT_EQ(dialog->od->FileName, Path("pal.png"));
    UserClick(dialog->btnOK);
  });
  EXPECT_NE(PalettePicture.get(), firstHolder);
  EXPECT_EQ(PalettePicture->Graphic(), nullptr) << "the new showing's holder starts empty";
  EXPECT_EQ(PaletteSource, Path("pal.png"));
}

TEST_F(DialogTest, ARefusedPictureShowsTheLoaderErrorAndKeepsThePreview) {
  SavePng(Quarters(30, 10).get(), Path("pal.png"));
  std::filesystem::copy_file(Path("pal.png"), Path("photo.jpg"));
  std::ofstream(Path("broken.PNG")) << "not a picture";
  Show([&](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    ChoosePicture(dialog, Path("pal.png"));
    ChoosePicture(dialog, Path("photo.jpg"), true);
    ChoosePicture(dialog, Path("broken.PNG"), true);
    EXPECT_EQ(dialog->imgPalPic->Picture()->Width(), 30);
    EXPECT_EQ(PalettePicture->Width(), 30);
    UserClick(dialog->btnOK);
  });
  const std::vector<std::string> errors = TakeErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], ErrorBoxText(Format(SUnknownExtension, {"jpg"})));
  EXPECT_EQ(PaletteSource, Path("broken.PNG")) << "the refused name is the dialog's file name";
}

TEST_F(DialogTest, OkWithTheOtherPaletteAndNoPictureEverChosenStoresTheEmptyName) {
  PaletteSource = "auto";
  Show([](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    UserClick(dialog->btnOK);
  });
  EXPECT_EQ(PaletteSource, "");
}

TEST_F(DialogTest, Screenshot) {
  SavePng(Quarters(300, 220).get(), Path("pal.png"));
  Show([&](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    ChoosePicture(dialog, Path("pal.png"));
    EXPECT_TRUE(GrabFormToFile(dialog, std::string(TEST_BUILD_DIR) + "/colour_dialog.png"));
    UserClick(dialog->btnOK);
  });
}

}  // namespace
