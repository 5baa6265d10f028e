#include "corvane/fixture.h"

#include "classlib/filenames.h"
#include "support/png_oracle.h"

void WriteRgbPng(const std::string& path, int width, int height, const PixelFn& colour) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const TColor c = colour(x, y);
      samples.insert(samples.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  EXPECT_TRUE(png_oracle::WritePng(path, width, height, {}, samples)) << path;
}

void WritePalettePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
                     const IndexFn& index) {
  std::vector<png_color> entries;
  for (TColor c : palette) entries.push_back(png_color{GetRValue(c), GetGValue(c), GetBValue(c)});
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) samples.push_back(static_cast<std::uint8_t>(index(x, y)));
  EXPECT_TRUE(png_oracle::WritePng(path, width, height, entries, samples)) << path;
}

PngImage ReadPng(const std::string& path) {
  const png_oracle::Oracle o = png_oracle::DecodeFileWithLibpng(path);
  EXPECT_TRUE(o.Ok) << "libpng refused " << path;
  PngImage image{static_cast<int>(o.Width), static_cast<int>(o.Height), o.ColorType, o.Depth, {}, {}};
  for (const png_color& c : o.Palette) image.Palette.push_back(RGB(c.red, c.green, c.blue));
  for (const auto& row : o.Rows) image.Samples.insert(image.Samples.end(), row.begin(), row.end());
  return image;
}

void CorvaneTest::SetUp() {
  ProgramTest::SetUp();
  SetExeNameForTesting(Path("corvane"));
  // The module's document as a fresh program run starts with it.
  SheetCol = SheetRow = BaraCol = BaraRow = CharaCol = CharaRow = 0;
  PaintMode = false;
  PaletteSource.clear();
  frmDColor = new TfrmDColor(Application);
  frmMain = nullptr;
  RecreateWindow();
}

void CorvaneTest::RecreateWindow() {
  delete frmMain;
  frmMain = new TfrmMain(Application);
  frmMain->DoCreate();
  frmMain->Show();
}

void CorvaneTest::TearDown() {
  ProgramTest::TearDown();
  delete std::exchange(frmMain, nullptr);
  delete std::exchange(frmDColor, nullptr);
  SetExeNameForTesting("");
}

void CorvaneTest::Open(const std::string& fileName, const std::function<void()>& act) {
  TAutomation::Push(TModalAnswer::File(fileName));
  AnswerExpectedError();
  act();
}

void CorvaneTest::SaveWithPalette(const std::function<void(TfrmDColor*)>& choose, const std::string& fileName) {
  TAutomation::Push(Drive<TfrmDColor>([&](TfrmDColor* dialog) {
    choose(dialog);
    UserClick(dialog->btnOK);
    // The save dialog comes after the palette dialog has ended.
    TAutomation::Push(fileName.empty() ? TModalAnswer::Cancel() : TModalAnswer::File(fileName));
    AnswerExpectedError();
  }));
  UserChooseMenu(frmMain->mnuSaveAs);
}
