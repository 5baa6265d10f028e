// Opening the chipset and the source pictures: which loader a name reaches, what the
// sheet becomes, and what an open resets.
#include "corvane/fixture.h"

namespace {

TColor SheetPattern(int x, int y) { return RGB(x * 7 % 256, y * 5 % 256, (x + y) * 3 % 256); }
// Few enough colours for a palette.
TColor CellPattern(int x, int y) { return RGB(40 * (x / 16), 60 * (y / 16), 200); }
int CellIndex(int x, int y) { return (y / 16) * 4 + x / 16; }
std::vector<TColor> CellPalette() {
  std::vector<TColor> palette;
  for (int i = 0; i < 8; ++i) palette.push_back(CellPattern(16 * (i % 4), 16 * (i / 4)));
  return palette;
}

enum class Content { Png, Bmp };

struct ExtensionCase {
  const char* name;
  Content content;
  bool opens;
  friend void PrintTo(const ExtensionCase& c, std::ostream* out) { *out << c.name; }
};

class ExtensionRule : public CorvaneTest, public testing::WithParamInterface<ExtensionCase> {};

// Only ".png" and ".PNG" reach the codec; every other name goes to the bitmap loader,
// which reads BMP content whatever the name says and refuses anything else.
const ExtensionCase ExtensionCases[] = {
    {"lower.png", Content::Png, true},   {"upper.PNG", Content::Png, true},
    {"mixed.Png", Content::Png, false},  {"mixed_bmp.Png", Content::Bmp, true},
    {"plain.bmp", Content::Bmp, true},   {"upper.BMP", Content::Bmp, true},
    {"photo.jpg", Content::Png, false},  {"noext", Content::Bmp, true},
};

TEST_P(ExtensionRule, ChoosesTheLoaderByTheExactExtension) {
  const ExtensionCase& c = GetParam();
  const std::string path = Path(c.name);
  if (c.content == Content::Png)
    WriteRgbPng(path, 32, 32, SheetPattern);
  else
    WritePicture(c.name, 32, 32, SheetPattern);

  if (!c.opens) ExpectErrorBox();
  OpenSheet(path);
  const std::vector<std::string> errors = TakeErrors();
  if (c.opens) {
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(SheetBitmap->PixelFormat(), pf24bit);
    EXPECT_TRUE(SameAs(SheetBitmap.get(), 32, 32, SheetPattern));
  } else {
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], ErrorBoxText(SInvalidBitmap));
    EXPECT_EQ(SheetBitmap->Width(), 0) << "a refused file leaves the empty sheet";
  }

  // The sources follow the same rule.
  if (!c.opens) ExpectErrorBox();
  OpenBaraChip(path);
  EXPECT_EQ(TakeErrors().size(), c.opens ? 0u : 1u);
  EXPECT_EQ(BaraChipBitmap->Width(), c.opens ? 32 : 0);
}

INSTANTIATE_TEST_SUITE_P(Names, ExtensionRule, testing::ValuesIn(ExtensionCases), CaseName());

TEST_F(CorvaneTest, EveryFormatBecomesATwentyFourBitSheetWithTheSameColours) {
  WritePicture("rgb.bmp", 64, 32, CellPattern);
  MakeIndexedBitmap(8, 64, 32, CellPalette(), CellIndex)->SaveToFileName(Path("indexed.bmp"));
  WritePalettePng(Path("indexed.png"), 64, 32, CellPalette(), CellIndex);
  for (const char* name : {"rgb.bmp", "indexed.bmp", "indexed.png"}) {
    SCOPED_TRACE(name);
    OpenSheet(Path(name));
    EXPECT_TRUE(TakeErrors().empty());
    EXPECT_EQ(SheetBitmap->PixelFormat(), pf24bit);
    EXPECT_TRUE(SameAs(SheetBitmap.get(), 64, 32, CellPattern));
  }
  // A source keeps the format loading gave it.
  OpenCharaChip(Path("indexed.bmp"));
  EXPECT_EQ(CharaChipBitmap->PixelFormat(), pf8bit);
}

TEST_F(CorvaneTest, OpeningTheSheetResetsTheSelectionAndFramesCellZeroAtOnce) {
  OpenSheet(WritePicture("sheet.bmp", 64, 32, CellPattern));
  ClickSheet(40, 20);
  EXPECT_EQ(SheetCol, 2);
  EXPECT_EQ(SheetRow, 1);

  OpenSheet(Path("sheet.bmp"));
  EXPECT_EQ(SheetCol, 0);
  EXPECT_EQ(SheetRow, 0);
  // The frame band, two pixels wide inside cell 0,0, is inverted on the view only.
  for (auto [x, y, framed] : {std::tuple{0, 0, true}, {1, 8, true}, {15, 8, true}, {8, 14, true}, {2, 2, false},
                              {8, 8, false}, {16, 0, false}, {40, 20, false}}) {
    const TColor expected = framed ? CellPattern(x, y) ^ 0xFFFFFF : CellPattern(x, y);
    EXPECT_EQ(PixelOf(frmMain->imgSet, x, y), expected) << x << "," << y;
    EXPECT_EQ(PixelOf(SheetBitmap.get(), x, y), CellPattern(x, y)) << "the sheet never carries the frame";
  }
}

TEST_F(CorvaneTest, OpeningASourceResetsItsSelectionAndShowsItWithoutAFrame) {
  const std::string chips = WritePicture("chips.bmp", 64, 32, CellPattern);
  struct Source {
    TImage* view;
    std::function<void()> open;
    int& col;
    int& row;
  };
  for (const Source& source : {Source{frmMain->imgBaraChip, [&] { OpenBaraChip(chips); }, BaraCol, BaraRow},
                               Source{frmMain->imgCharaChip, [&] { OpenCharaChip(chips); }, CharaCol, CharaRow}}) {
    source.open();
    UserMouse(source.view, mbLeft, {}, 30, 20);
    EXPECT_EQ(source.col, 1);
    EXPECT_EQ(source.row, 1);
    source.open();
    EXPECT_EQ(source.col, 0);
    EXPECT_EQ(source.row, 0);
    EXPECT_TRUE(SameAs(source.view->Picture()->Bitmap(), 64, 32, CellPattern));
  }
}

TEST_F(CorvaneTest, CancellingTheOpenDialogChangesNothing) {
  OpenSheet(WritePicture("sheet.bmp", 64, 32, CellPattern));
  ClickSheet(20, 20);
  TAutomation::Push(TModalAnswer::Cancel());
  UserChooseMenu(frmMain->mnuOpen);
  EXPECT_EQ(SheetCol, 1);
  EXPECT_TRUE(SameAs(SheetBitmap.get(), 64, 32, CellPattern));
}

TEST_F(CorvaneTest, AFileThatCannotBeOpenedShowsTheLoadErrorAndKeepsTheSheet) {
  OpenSheet(WritePicture("sheet.bmp", 64, 32, CellPattern));
  for (const char* name : {"missing.bmp", "missing.png"}) {
    ExpectErrorBox();
    OpenSheet(Path(name));
    EXPECT_EQ(TakeErrors().size(), 1u) << name;
    EXPECT_TRUE(SameAs(SheetBitmap.get(), 64, 32, CellPattern));
  }
}

TEST_F(CorvaneTest, TheFileDialogsOfferTheirFilters) {
  const std::string pictures =
      "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.png)|*.jpg;*.jpeg;*.bmp;*.png|JPEG イメージファイル (*.jpg;*.jpeg)|"
      "*.jpg;*.jpeg|ビットマップ (*.bmp)|*.bmp|PortableNetworkGraphic\u3000（*.png)|*.png";
  TAutomation::Push(TModalAnswer::Cancel());
  UserChooseMenu(frmMain->mnuOpen);
  TAutomation::Push(Drive<TfrmDColor>([](TfrmDColor* dialog) { UserClick(dialog->btnOK); }));
  TAutomation::Push(TModalAnswer::Cancel());
  UserChooseMenu(frmMain->mnuSaveAs);

  const std::vector<TModalShown> shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].Kind, TModalKind::OpenDialog);
  EXPECT_EQ(shown[0].Filter, pictures);
  EXPECT_EQ(shown[2].Kind, TModalKind::SaveDialog);
  EXPECT_EQ(shown[2].Filter, "ビットマップ (*.bmp)|*.bmp|PortableNetworkGraphic\u3000（*.png)|*.png");
  EXPECT_EQ(shown[2].DefaultExt, "*.png");
  EXPECT_EQ(frmDColor->od->Filter, pictures);
}

}  // namespace
