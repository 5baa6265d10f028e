// What the Pandrel tests share beyond the programs' support: indexed pictures written and
// read back through the class library's bitmap and the PNG codec, and the window made
// afresh for every test.
#pragma once

#include "composer_support/support.h"
#include "pandrel/Unit_Main.h"

// Bits per pixel, the palette's own entries and one index per pixel, rows top to bottom.
struct IndexedPicture {
  int Bits = 8;
  int Width = 7;
  int Height = 5;
  std::vector<TColor> Palette;
  std::vector<std::uint8_t> Indices;
};

// Width × height pixels cycling through the palette's entries.
IndexedPicture Cycling(int bits, const std::vector<TColor>& palette, int width = 7, int height = 5);
// PNG for a name ending in ".png" in any case, BMP otherwise.
void WritePicture(const std::string& path, const IndexedPicture& picture);
// Format is "PNG" or "BMP" by the file's signature.
struct ReadBack {
  std::string Format;
  IndexedPicture Picture;
};
ReadBack ReadPicture(const std::string& path);

// The notice that ends a batch that converted every file.
inline const std::string Done = "すべての処理が終わりました。";

class PandrelTest : public ProgramTest {
protected:
  PandrelTest() : ProgramTest("pandrel") {}
  void SetUp() override;
  void TearDown() override;

  // A folder in the scratch folder, made afresh.
  std::string Folder(const std::string& name) const;
  static std::vector<std::string> FilesIn(const std::string& folder) { return core_test::NamesIn(folder); }
  void Drop(const std::vector<std::string>& files) { UserDropFiles(frmMain->lstFileList, files); }
  void DropOnEmptyList(const std::vector<std::string>& files) {
    frmMain->lstFileList->Items()->Clear();
    Drop(files);
  }
  std::vector<std::string> ListItems() const;
  // Starts the batch into the folder and answers the one window that ends it (the closing
  // notice, the folder notice or the error box), after inspect has looked at it; what was
  // shown.
  std::vector<TModalShown> Start(const std::string& output, std::function<void(const TModalShown&)> inspect = {}) {
    frmMain->edtSavePath->SetText(output);
    TModalAnswer answer = TModalAnswer::Ok();
    answer.Inspect = std::move(inspect);
    TAutomation::Push(std::move(answer));
    UserClick(frmMain->btnStart);
    EXPECT_FALSE(frmMain->pALL->Visible());
    return TAutomation::TakeShown();
  }
};
