#include "pandrel/fixture.h"

#include "classlib/filenames.h"

namespace {

IndexedPicture FromBitmap(TBitmap* bitmap) {
  IndexedPicture p;
  p.Bits = bitmap->PixelFormat() == pf4bit ? 4 : bitmap->PixelFormat() == pf8bit ? 8 : 0;
  p.Width = bitmap->Width();
  p.Height = bitmap->Height();
  for (const RGBQUAD& q : bitmap->ColorTable()) p.Palette.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
  for (int y = 0; p.Bits != 0 && y < p.Height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < p.Width; ++x)
      p.Indices.push_back((row[x * p.Bits / 8] >> PackedShift(p.Bits, x)) & ((1 << p.Bits) - 1));
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
  std::unique_ptr<TBitmap> bitmap = MakeIndexedBitmap(picture.Bits, picture.Width, picture.Height, picture.Palette,
                                                      [&](int x, int y) { return picture.Indices[y * picture.Width + x]; });
  if (LowerCase(ExtractFileExt(path)) != ".png") return bitmap->SaveToFile(path);
  SavePng(bitmap.get(), path);
}

ReadBack ReadPicture(const std::string& path) {
  const std::string bytes = ReadAll(path);
  if (bytes.starts_with("\x89PNG")) {
    TZelPNG png;
    png.LoadFromFile(path);
    return {"PNG", FromBitmap(png.CurrentImage())};
  }
  TBitmap bitmap;
  bitmap.LoadFromFile(path);
  return {bytes.starts_with("BM") ? "BMP" : "", FromBitmap(&bitmap)};
}

void PandrelTest::SetUp() {
  ProgramTest::SetUp();
  frmMain = new TfrmMain(Application);
  frmMain->DoCreate();
  frmMain->Show();
}

void PandrelTest::TearDown() {
  ProgramTest::TearDown();
  delete std::exchange(frmMain, nullptr);
}

std::string PandrelTest::Folder(const std::string& name) const {
  std::filesystem::remove_all(Path(name));
  std::filesystem::create_directories(Path(name));
  return Path(name);
}

std::vector<std::string> PandrelTest::ListItems() const {
  return core_test::Items(*frmMain->lstFileList->Items());
}
