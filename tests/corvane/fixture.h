// What the Corvane tests share: a scratch folder that stands in for the program's folder,
// pictures made to order, an independent PNG reader and writer (libpng), and the window
// created afresh for every test.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "classlib/graphics.h"
#include "colour/Unit_DColor.h"
#include "corvane/Unit_Main.h"

using PixelFn = std::function<TColor(int x, int y)>;

// A 24-bit bitmap whose pixel (x, y) is colour(x, y).
std::unique_ptr<TBitmap> MakeBitmap(int width, int height, const PixelFn& colour);
// Reads a pixel as the colour the canvas reports.
TColor PixelOf(TBitmap* bitmap, int x, int y);
TColor PixelOf(TImage* view, int x, int y);

// An 8-bit bitmap with the given colour table whose pixel (x, y) is index(x, y).
std::unique_ptr<TBitmap> MakeIndexedBitmap(int width, int height, const std::vector<TColor>& palette,
                                           const std::function<int(int x, int y)>& index);

struct PngImage {
  int Width = 0;
  int Height = 0;
  int ColorType = -1;
  int BitDepth = 0;
  std::vector<TColor> Palette;          // colour type 3
  std::vector<std::uint8_t> Samples;    // rows of raw samples after unpacking to bytes
  int Channels = 0;
};

// libpng as the oracle: an RGB or palette PNG written and read without the codec under test.
void WriteRgbPng(const std::string& path, int width, int height, const PixelFn& colour);
void WritePalettePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
                     const std::function<int(int x, int y)>& index);
PngImage ReadPng(const std::string& path);

bool FileExistsAt(const std::string& path);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text);

class CorvaneTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A file in the scratch folder.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  std::string IniPath() const { return Path("SkeletonSetting.ini"); }

  // The user's acts.
  void OpenSheet(const std::string& fileName);
  void OpenBaraChip(const std::string& fileName);
  void OpenCharaChip(const std::string& fileName);
  void ClickSheet(int x, int y, TMouseButton button = mbLeft);
  // The save command: the palette dialog answered by drive, then the save dialog.
  void SaveWithPalette(const std::function<void(TfrmDColor*)>& choose, const std::string& fileName);
  void SaveAuto(const std::string& fileName);

  // Answers the error box that the next act shows before any other window.
  void AnswerErrorBox() { TAutomation::Push(TModalAnswer::Ok()); }
  // The next open or save helper answers an error box after its own dialogs.
  void ExpectErrorBox() { errorNext_ = true; }
  // The texts of the error boxes shown since the last call.
  std::vector<std::string> TakeErrors();

  // Creates the window again (after the ini file was written by hand).
  void RecreateWindow();

  std::string folder_;

private:
  void AnswerExpectedError();
  bool errorNext_ = false;
};
