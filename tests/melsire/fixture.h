// What the Melsire tests share: a scratch folder standing in for the program's folder,
// pictures whose every pixel tells where it lies, and the window made afresh per test.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "melsire/Unit_Main.h"

using PixelFn = std::function<TColor(int x, int y)>;

// The sheet every test opens (288×256) and the two sources.
TColor Ground(int x, int y);
TColor CharaPixel(int x, int y);
TColor MapPixel(int x, int y);

TColor Inverted(TColor colour);
TColor PixelOf(TImage* view, int x, int y);
TColor PixelOf(TBitmap* bitmap, int x, int y);

class MelsireTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Writes a 24-bit BMP into the scratch folder and answers its path.
  std::string WritePicture(const std::string& name, int width, int height, const PixelFn& colour);

  // The user's acts: the open dialog answered with a file, clicks on the sheet.
  void OpenWith(TMenuItem* item, const std::string& fileName);
  void OpenWith(TControl* button, const std::string& fileName);
  void ClickSheet(int x, int y, TMouseButton button = mbLeft);

  // The frame on the sheet's view: exactly the two-pixel band inside `frame` is inverted
  // (checked at its corners and just outside and inside them); an empty rect: no frame.
  void ExpectSheetFrame(const TRect& frame);

  std::string folder_;
};
