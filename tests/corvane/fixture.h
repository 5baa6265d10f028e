// What the Corvane tests share beyond the programs' support: an independent PNG reader and
// writer (libpng) as the oracle, and the window created afresh for every test.
#pragma once

#include "colour/Unit_DColor.h"
#include "composer_support/support.h"
#include "corvane/Unit_Main.h"

struct PngImage {
  int Width = 0;
  int Height = 0;
  int ColorType = -1;
  int BitDepth = 0;
  std::vector<TColor> Palette;        // colour type 3
  std::vector<std::uint8_t> Samples;  // rows of raw samples after unpacking to bytes
};

// libpng as the oracle: an RGB or palette PNG written and read without the codec under test.
void WriteRgbPng(const std::string& path, int width, int height, const PixelFn& colour);
void WritePalettePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
                     const IndexFn& index);
PngImage ReadPng(const std::string& path);

class CorvaneTest : public ProgramTest {
protected:
  CorvaneTest() : ProgramTest("corvane") {}
  void SetUp() override;
  void TearDown() override;

  std::string IniPath() const { return Path("SkeletonSetting.ini"); }
  // Writes a 24-bit BMP into the scratch folder and answers its path.
  std::string WritePicture(const std::string& name, int width, int height, const PixelFn& colour) {
    MakeBitmap(width, height, colour)->SaveToFileName(Path(name));
    return Path(name);
  }

  // The user's acts.
  void OpenSheet(const std::string& fileName) { Open(fileName, [] { UserChooseMenu(frmMain->mnuOpen); }); }
  void OpenBaraChip(const std::string& fileName) { Open(fileName, [] { UserClick(frmMain->btnOpenBaraChip); }); }
  void OpenCharaChip(const std::string& fileName) { Open(fileName, [] { UserClick(frmMain->btnOpenCharaChip); }); }
  void ClickSheet(int x, int y, TMouseButton button = mbLeft) { UserMouse(frmMain->imgSet, button, {}, x, y); }
  // The save command: the palette dialog answered by choose, then the save dialog.
  void SaveWithPalette(const std::function<void(TfrmDColor*)>& choose, const std::string& fileName);
  void SaveAuto(const std::string& fileName) {
    SaveWithPalette([](TfrmDColor* dialog) { UserClick(dialog->rbAuto); }, fileName);
  }

  // Answers the error box that the next act shows before any other window.
  void AnswerErrorBox() { TAutomation::Push(TModalAnswer::Ok()); }
  // The next open or save helper answers an error box after its own dialogs.
  void ExpectErrorBox() { errorNext_ = true; }

  // Creates the window again (after the ini file was written by hand).
  void RecreateWindow();

private:
  void Open(const std::string& fileName, const std::function<void()>& act);
  void AnswerExpectedError() {
    if (errorNext_) AnswerErrorBox();
    errorNext_ = false;
  }
  bool errorNext_ = false;
};
