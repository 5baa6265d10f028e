// What the Melsire tests share beyond the programs' support: pictures whose every pixel
// tells where it lies, and the window made afresh per test with the sheet opened.
#pragma once

#include "composer_support/support.h"
#include "melsire/Unit_Main.h"

// The sheet every test opens (288×256) and the two sources.
TColor Ground(int x, int y);
TColor CharaPixel(int x, int y);
TColor MapPixel(int x, int y);

inline TColor Inverted(TColor colour) { return colour ^ 0xFFFFFF; }

class MelsireTest : public ProgramTest {
protected:
  MelsireTest() : ProgramTest("melsire") {}
  void SetUp() override;
  void TearDown() override;

  // Writes a 24-bit BMP into the scratch folder and answers its path.
  std::string WritePicture(const std::string& name, int width, int height, const PixelFn& colour) {
    MakeBitmap(width, height, colour)->SaveToFileName(Path(name));
    return Path(name);
  }

  // The user's acts: the open dialog answered with a file, clicks on the sheet.
  void OpenWith(TMenuItem* item, const std::string& fileName) {
    TAutomation::Push(TModalAnswer::File(fileName));
    UserChooseMenu(item);
  }
  void OpenWith(TControl* button, const std::string& fileName) {
    TAutomation::Push(TModalAnswer::File(fileName));
    UserClick(button);
  }
  void ClickSheet(int x, int y, TMouseButton button = mbLeft) { UserMouse(frmMain->imgSet, button, {}, x, y); }

  // The frame on the sheet's view: exactly the two-pixel band inside `frame` is inverted
  // (checked at its corners and just outside and inside them); an empty rect: no frame.
  void ExpectSheetFrame(const TRect& frame);
};
