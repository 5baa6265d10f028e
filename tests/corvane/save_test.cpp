// Saving: the palette step, the format chosen by the name, the dialogs' cancel buttons,
// a whole composition from generated pictures, and the window's other commands.
#include "corvane/fixture.h"

#include "classlib/forms/dialogs.h"
#include "composer/Credits.h"
#include "composer/Pictures.h"

namespace {

// Colours that fall into distinct cells of the reduction's histogram, so "auto" keeps them.
TColor Cells(int x, int y) { return RGB(40 * (x / 16), 60 * (y / 16), 200); }
const std::vector<TColor> OtherPalette = {RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 255, 0),
                                          RGB(0, 0, 255), RGB(255, 255, 255), RGB(128, 128, 128)};

int Nearest(const std::vector<TColor>& palette, TColor colour) {
  int best = 0;
  long bestDistance = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    const long dr = GetRValue(palette[i]) - GetRValue(colour);
    const long dg = GetGValue(palette[i]) - GetGValue(colour);
    const long db = GetBValue(palette[i]) - GetBValue(colour);
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

// A pixel of a written palette PNG: its index, and the colour that index stands for.
std::uint8_t PngIndex(const PngImage& png, int x, int y) { return png.Samples.at(static_cast<size_t>(y) * png.Width + x); }
TColor PngColour(const PngImage& png, int x, int y) { return png.Palette.at(PngIndex(png, x, y)); }

class SaveTest : public CorvaneTest {
protected:
  void SetUp() override {
    CorvaneTest::SetUp();
    OpenSheet(WritePicture("sheet.bmp", 64, 48, Cells));
  }
  void ChooseOtherPalette(TfrmDColor* dialog, const std::string& picture) {
    UserClick(dialog->RadioButton1);
    TAutomation::Push(TModalAnswer::File(picture));
    UserClick(dialog->btnOpenPalPic);
  }
};

TEST_F(SaveTest, AutoWritesAPalettePngWithOneEntryPerColourAndKeepsTheSheet) {
  SaveAuto(Path("auto.png"));
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_EQ(PaletteSource, "auto");
  const PngImage png = ReadPng(Path("auto.png"));
  EXPECT_EQ(png.ColorType, 3);
  EXPECT_EQ(png.BitDepth, 8);
  EXPECT_EQ(png.Palette.size(), 12u);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(PngColour(png, x, y), Cells(x, y)) << x << "," << y;

  // The sheet goes on at full colour, so a second "auto" save works on it again.
  EXPECT_EQ(SheetBitmap->PixelFormat(), pf24bit);
  EXPECT_EQ(PalettePicture, nullptr) << "a completed save releases the preview's holder";
  SaveAuto(Path("again.png"));
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_TRUE(std::filesystem::exists(Path("again.png")));
}

TEST_F(SaveTest, AnotherPicturesPaletteIsAppliedUnchanged) {
  MakeIndexedBitmap(8, 4, 4, OtherPalette, [](int x, int y) { return (x + y) % 6; })->SaveToFileName(Path("pal.bmp"));
  WritePalettePng(Path("pal.png"), 4, 4, OtherPalette, [](int x, int) { return x; });
  for (const char* palettePicture : {"pal.bmp", "pal.png"}) {
    SCOPED_TRACE(palettePicture);
    SaveWithPalette([&](TfrmDColor* dialog) { ChooseOtherPalette(dialog, Path(palettePicture)); }, Path("out.png"));
    EXPECT_TRUE(TakeErrors().empty());
    EXPECT_EQ(PaletteSource, Path(palettePicture));
    // The palette of the picture as the class library reads it (a BMP's table may hold
    // more entries than the picture uses).
    TBitmap reference;
    LoadBitmapByExtension(&reference, Path(palettePicture));
    const std::vector<COLORREF> entries = core_test::Entries(reference.Palette());
    const std::vector<TColor> palette(entries.begin(), entries.end());
    ASSERT_GE(palette.size(), OtherPalette.size());
    EXPECT_TRUE(std::equal(OtherPalette.begin(), OtherPalette.end(), palette.begin()));

    const PngImage png = ReadPng(Path("out.png"));
    EXPECT_EQ(png.ColorType, 3);
    EXPECT_EQ(png.Palette, palette);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const std::uint8_t index = PngIndex(png, x, y);
        ASSERT_LT(index, palette.size());
        ASSERT_EQ(index, Nearest(palette, Cells(x, y))) << x << "," << y;
      }
    EXPECT_EQ(SheetBitmap->PixelFormat(), pf24bit);
    EXPECT_EQ(PixelOf(SheetBitmap.get(), 20, 20), Cells(20, 20));
  }
}

TEST_F(SaveTest, TheNameAloneChoosesTheWrittenFormat) {
  struct Case {
    const char* name;
    bool png;
    int filterIndex;
  };
  for (const Case& c : {Case{"a.png", true, 1}, Case{"b.PNG", true, 1}, Case{"c.Png", false, 2},
                        Case{"d.bmp", false, 2}, Case{"e.out", false, 1}}) {
    SCOPED_TRACE(c.name);
    TAutomation::Push(Drive<TfrmDColor>([&](TfrmDColor* dialog) {
      UserClick(dialog->btnOK);
      TAutomation::Push(TModalAnswer::File(Path(c.name), c.filterIndex));
    }));
    UserChooseMenu(frmMain->mnuSaveAs);
    const std::string bytes = ReadAll(Path(c.name));
    EXPECT_TRUE(bytes.starts_with(c.png ? "\x89PNG\r\n\x1a\n" : "BM"));
    if (!c.png) {
      TBitmap reloaded;
      reloaded.LoadFromFile(Path(c.name));
      EXPECT_EQ(reloaded.PixelFormat(), pf8bit);
      EXPECT_EQ(PixelOf(&reloaded, 40, 40), Cells(40, 40));
    }
  }
}

TEST_F(SaveTest, CancelInEitherDialogWritesNothing) {
  PaletteSource = "earlier";
  // The palette dialog's own cancel button, then its window's close box.
  TAutomation::Push(Drive<TfrmDColor>([](TfrmDColor* dialog) {
    UserClick(dialog->RadioButton1);
    UserClick(dialog->btnCancel);
  }));
  UserChooseMenu(frmMain->mnuSaveAs);
  TAutomation::Push(TModalAnswer::Cancel());
  UserChooseMenu(frmMain->mnuSaveAs);
  EXPECT_EQ(PaletteSource, "earlier");
  // OK in the palette dialog, then cancel in the save dialog.
  SaveAuto("");
  EXPECT_EQ(PaletteSource, "auto");

  const std::vector<TModalShown> shown = TAutomation::TakeShown();
  int saveDialogs = 0;
  for (const TModalShown& s : shown) saveDialogs += s.Kind == TModalKind::SaveDialog;
  EXPECT_EQ(saveDialogs, 1) << "the save dialog shows only after OK";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 1)
      << "only the opened sheet lies in the folder";
  EXPECT_EQ(SheetBitmap->PixelFormat(), pf24bit);
}

TEST_F(SaveTest, AMissingPalettePictureStopsTheSaveBeforeAnythingIsWritten) {
  // "他パレットをそのまま適用" without ever choosing a picture stores the empty name.
  SaveWithPalette(
      [this](TfrmDColor* dialog) {
        UserClick(dialog->RadioButton1);
        ExpectErrorBox();
      },
      Path("out.png"));
  EXPECT_EQ(PaletteSource, "");
  EXPECT_EQ(TakeErrors().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(Path("out.png")));
  EXPECT_EQ(PixelOf(SheetBitmap.get(), 20, 20), Cells(20, 20));
}

TEST_F(SaveTest, ASaveOverAnExistingFileThatFailsKeepsTheOldFile) {
  WriteAll(Path("keep.png"), "old content");
  // A file name inside a missing folder cannot be created.
  ExpectErrorBox();
  SaveAuto(Path("missing/keep.png"));
  EXPECT_EQ(TakeErrors().size(), 1u);
  EXPECT_EQ(ReadAll(Path("keep.png")), "old content");
}

// Loose chips on a palette PNG, character chips on an RGB PNG with a backdrop colour that
// the transfer replaces, a filled cell: saved as PNG and BMP, then checked by libpng and
// by reading the files back.
TEST_F(CorvaneTest, AComposedChipsetSurvivesSavingAsPngAndBmp) {
  const TColor backdrop = RGB(0, 255, 0);
  const TColor transparent = RGB(255, 0, 255);
  const TColor paint = RGB(0, 0, 160);
  const std::vector<TColor> looseColours = {RGB(200, 40, 40), RGB(40, 200, 40), RGB(40, 40, 200), RGB(220, 220, 40)};
  WritePalettePng(Path("loose.png"), 32, 32, looseColours, [](int x, int y) { return (x / 16) + 2 * (y / 16); });
  WriteRgbPng(Path("chara.png"), 72, 32, [&](int x, int y) {
    return (x % 24 < 8 || y % 16 < 4) ? backdrop : RGB(100 + x, 100, 50 + y);
  });

  OpenSheet(WritePicture("blank.bmp", 48, 32, [](int, int) { return RGB(250, 250, 250); }));
  OpenBaraChip(Path("loose.png"));
  OpenCharaChip(Path("chara.png"));
  UserMouse(frmMain->imgBaraChip, mbLeft, {}, 20, 20);   // loose chip 1,1
  ClickSheet(0, 0);
  UserClick(frmMain->btnAddBaraChip);
  UserMouse(frmMain->imgCharaChip, mbLeft, {}, 50, 20);  // column 2, row 1: x 52..67, y 16..31
  UserClick(frmMain->gbCharaChipCChange);
  frmMain->Color_CharaChip->SetColor(backdrop);
  frmMain->Color_CharaChip2->SetColor(transparent);
  ClickSheet(16, 0);
  UserClick(frmMain->btnMelsireChip);
  UserSelectTab(frmMain->tab, 2);
  frmMain->Color_Paint->SetColor(paint);
  ClickSheet(40, 20);
  EXPECT_TRUE(TakeErrors().empty());

  auto expected = [&](int x, int y) -> TColor {
    if (y < 16 && x < 16) return looseColours[3];
    if (y < 16 && x < 32) {
      const int sx = 52 + (x - 16), sy = 16 + y;
      return (sx % 24 < 8 || sy % 16 < 4) ? transparent : RGB(100 + sx, 100, 50 + sy);
    }
    if (y >= 16 && x >= 32) return paint;
    return RGB(250, 250, 250);
  };

  SaveAuto(Path("chipset.png"));
  SaveAuto(Path("chipset.bmp"));
  EXPECT_TRUE(TakeErrors().empty());

  const PngImage png = ReadPng(Path("chipset.png"));
  ASSERT_EQ(png.Width, 48);
  ASSERT_EQ(png.Height, 32);
  EXPECT_EQ(png.ColorType, 3);
  EXPECT_EQ(png.BitDepth, 8);
  EXPECT_LE(png.Palette.size(), 256u);
  // The reduction may merge the chip's shades; the plain colours stay exact.
  for (auto [x, y] : {std::pair{3, 3}, {20, 2}, {40, 20}, {5, 25}})
    EXPECT_EQ(PngColour(png, x, y), expected(x, y)) << x << "," << y;

  TBitmap bmp;
  bmp.LoadFromFile(Path("chipset.bmp"));
  EXPECT_EQ(bmp.PixelFormat(), pf8bit);
  OpenSheet(Path("chipset.png"));
  EXPECT_TRUE(TakeErrors().empty());
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      const TColor written = PngColour(png, x, y);
      ASSERT_EQ(PixelOf(&bmp, x, y), written) << "BMP and PNG hold one picture: " << x << "," << y;
      ASSERT_EQ(PixelOf(SheetBitmap.get(), x, y), written) << "the PNG reads back: " << x << "," << y;
    }
}

TEST_F(CorvaneTest, TheAboutBoxAndTheLabelShowTheSameThreeParagraphs) {
  TAutomation::Push(TModalAnswer::Ok());
  UserChooseMenu(frmMain->mnuAbout);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::MessageDlg);
  EXPECT_EQ(shown.Caption, "情報");
  EXPECT_EQ(shown.DlgType, mtInformation);
  EXPECT_EQ(shown.Text, frmMain->lblCR->Caption());
  const std::string text = ComposerCreditText;
  size_t paragraphs = 1;
  for (size_t at = text.find("\r\r"); at != std::string::npos; at = text.find("\r\r", at + 2)) ++paragraphs;
  EXPECT_EQ(paragraphs, 3u);
}

TEST_F(CorvaneTest, EveryButtonAndMenuEntryCarriesAGlyph) {
  EXPECT_EQ(WithoutGlyph(frmMain), std::vector<std::string>{});
  EXPECT_EQ(WithoutGlyph(frmDColor), std::vector<std::string>{});
}

TEST_F(CorvaneTest, ScreenshotOfTheMainWindow) {
  const std::string sheet = WritePicture("sheet.bmp", 480, 256, [](int x, int y) { return RGB(x / 2, y, 128); });
  OpenSheet(sheet);
  OpenBaraChip(sheet);
  WriteAll(IniPath(), "[Black]\nr=0\ng=0\nb=0\n[Pink]\nr=255\ng=128\nb=192\n");
  frmMain->SColorF5();
  ClickSheet(40, 40);
  UserMouse(frmMain->imgBaraChip, mbLeft, {}, 70, 30);
  UserClick(frmMain->gbBaraChipCChange);
  EXPECT_TRUE(GrabFormToFile(frmMain, std::string(TEST_BUILD_DIR) + "/corvane_main.png"));
  UserSelectTab(frmMain->tab, 3);
  EXPECT_TRUE(GrabFormToFile(frmMain, std::string(TEST_BUILD_DIR) + "/corvane_editor.png"));
}

}  // namespace
