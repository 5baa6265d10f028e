// What the Pandrel tests share: a scratch folder, indexed pictures written and read back
// without the code under test (BMP by hand, PNG through libpng), and the window created
// afresh for every test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "pandrel/Unit_Main.h"

// An indexed picture as it lies in a file: bits per pixel, the palette's own entries and
// one index per pixel, rows top to bottom.
struct IndexedPicture {
  int Bits = 8;
  int Width = 7;
  int Height = 5;
  std::vector<TColor> Palette;
  std::vector<std::uint8_t> Indices;
};

// Width × height pixels cycling through the palette's entries.
IndexedPicture Cycling(int bits, const std::vector<TColor>& palette, int width = 7, int height = 5);

void WriteBmp(const std::string& path, const IndexedPicture& picture);
void WritePng(const std::string& path, const IndexedPicture& picture);
// Reads either format by its signature; Format is "BMP", "PNG" or "" when neither.
struct ReadBack {
  std::string Format;
  IndexedPicture Picture;
};
ReadBack ReadIndexed(const std::string& path);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

class PandrelTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // A folder inside the scratch folder, made when missing.
  std::string Folder(const std::string& name) const;

  void Drop(const std::vector<std::string>& files) { UserDropFiles(frmMain->lstFileList, files); }
  std::vector<std::string> ListItems() const;
  // The texts of the windows shown since the last call, of one kind.
  std::vector<std::string> TakeTexts(TModalKind kind);

  std::string folder_;
};
