#include "pandrel/fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "classlib/filenames.h"
#include "png/ZelPNG.h"

namespace {

// The leftmost pixel of a byte lies in its high bits.
int Shift(int bits, int x) { return 8 - bits * (x % (8 / bits) + 1); }

std::unique_ptr<TBitmap> ToBitmap(const IndexedPicture& p) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(p.Bits == 4 ? pf4bit : pf8bit);
  bitmap->SetSize(p.Width, p.Height);
  LOGPALETTE log{};
  log.palVersion = 0x300;
  log.palNumEntries = static_cast<WORD>(p.Palette.size());
  for (std::size_t i = 0; i < p.Palette.size(); ++i)
    log.palPalEntry[i] = PALETTEENTRY{GetRValue(p.Palette[i]), GetGValue(p.Palette[i]), GetBValue(p.Palette[i]), 0};
  bitmap->SetPalette(CreatePalette(&log));
  for (int y = 0; y < p.Height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    std::fill(row, row + bitmap->RowBytes(), 0);
    for (int x = 0; x < p.Width; ++x) row[x * p.Bits / 8] |= p.Indices[y * p.Width + x] << Shift(p.Bits, x);
  }
  return bitmap;
}

IndexedPicture FromBitmap(TBitmap* bitmap) {
  IndexedPicture p;
  p.Bits = bitmap->PixelFormat() == pf4bit ? 4 : bitmap->PixelFormat() == pf8bit ? 8 : 0;
  p.Width = bitmap->Width();
  p.Height = bitmap->Height();
  for (const RGBQUAD& q : bitmap->ColorTable()) p.Palette.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
  for (int y = 0; p.Bits != 0 && y < p.Height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < p.Width; ++x)
      p.Indices.push_back((row[x * p.Bits / 8] >> Shift(p.Bits, x)) & ((1 << p.Bits) - 1));
  }
  return p;
}

}  // namespace

IndexedPicture Cycling(int bits, const std::vector<TColor>& palette, int width, int height) {
  IndexedPicture p{bits, width, height, palette, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.Indices.push_back(static_cast<std::uint8_t>((x + 2 * y) % palette.size()));
  return p;
}

void WritePicture(const std::string& path, const IndexedPicture& picture) {
  std::unique_ptr<TBitmap> bitmap = ToBitmap(picture);
  if (LowerCase(ExtractFileExt(path)) != ".png") return bitmap->SaveToFile(path);
  TZelPNG png;
  png.Assign(bitmap.get());
  png.SaveToFile(path);
}

ReadBack ReadPicture(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  if (bytes.starts_with("\x89PNG")) {
    TZelPNG png;
    png.LoadFromFile(path);
    return {"PNG", FromBitmap(png.CurrentImage())};
  }
  TBitmap bitmap;
  bitmap.LoadFromFile(path);
  return {bytes.starts_with("BM") ? "BMP" : "", FromBitmap(&bitmap)};
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void PandrelTest::SetUp() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  folder_ = std::string(TEST_BUILD_DIR) + "/pandrel_scratch/" + info->test_suite_name() + "." + info->name();
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(folder_);
  TAutomation::Clear();
  frmMain = new TfrmMain(Application);
  frmMain->DoCreate();
  frmMain->Show();
}

void PandrelTest::TearDown() {
  EXPECT_EQ(TAutomation::Pending(), 0u) << "answers left unused";
  TAutomation::Clear();
  delete frmMain;
  frmMain = nullptr;
}

std::string PandrelTest::Folder(const std::string& name) const {
  std::filesystem::remove_all(Path(name));
  std::filesystem::create_directories(Path(name));
  return Path(name);
}

std::vector<std::string> PandrelTest::FilesIn(const std::string& folder) const {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> PandrelTest::ListItems() const {
  std::vector<std::string> items;
  for (int i = 0; i < frmMain->lstFileList->Items()->Count(); ++i) items.push_back(frmMain->lstFileList->Items()->Strings(i));
  return items;
}
