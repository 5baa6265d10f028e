#include "corvane/fixture.h"

#include <cstdio>

#include <png.h>

#include "classlib/filenames.h"

namespace {

// Frees libpng's state and closes the file however reading or writing ends.
struct PngFile {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false;
  ~PngFile() {
    if (png && writing) png_destroy_write_struct(&png, &info);
    if (png && !writing) png_destroy_read_struct(&png, &info, nullptr);
    if (file) std::fclose(file);
  }
};

// An 8-bit PNG: RGB from colour without a palette, indices from index with one.
void WritePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
              const std::function<void(int x, int y, png_bytep samples)>& pixel) {
  PngFile w{std::fopen(path.c_str(), "wb"), nullptr, nullptr, true};
  ASSERT_NE(w.file, nullptr) << path;
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  w.info = png_create_info_struct(w.png);
  if (setjmp(png_jmpbuf(w.png))) {
    ADD_FAILURE() << "libpng failed writing " << path;
    return;
  }
  png_init_io(w.png, w.file);
  const int channels = palette.empty() ? 3 : 1;
  png_set_IHDR(w.png, w.info, width, height, 8, palette.empty() ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> entries;
  for (TColor c : palette) entries.push_back(png_color{GetRValue(c), GetGValue(c), GetBValue(c)});
  if (!palette.empty()) png_set_PLTE(w.png, w.info, entries.data(), static_cast<int>(entries.size()));
  png_write_info(w.png, w.info);
  std::vector<png_byte> row(static_cast<std::size_t>(channels) * width);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixel(x, y, &row[static_cast<std::size_t>(channels) * x]);
    png_write_row(w.png, row.data());
  }
  png_write_end(w.png, nullptr);
}

}  // namespace

void WriteRgbPng(const std::string& path, int width, int height, const PixelFn& colour) {
  WritePng(path, width, height, {}, [&](int x, int y, png_bytep samples) {
    const TColor c = colour(x, y);
    samples[0] = GetRValue(c);
    samples[1] = GetGValue(c);
    samples[2] = GetBValue(c);
  });
}

void WritePalettePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
                     const IndexFn& index) {
  WritePng(path, width, height, palette,
           [&](int x, int y, png_bytep samples) { samples[0] = static_cast<png_byte>(index(x, y)); });
}

PngImage ReadPng(const std::string& path) {
  PngImage image;
  PngFile r{std::fopen(path.c_str(), "rb")};
  if (r.file == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return image;
  }
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  r.info = png_create_info_struct(r.png);
  if (setjmp(png_jmpbuf(r.png))) {
    ADD_FAILURE() << "libpng refused " << path;
    return PngImage{};
  }
  png_init_io(r.png, r.file);
  png_read_info(r.png, r.info);
  image.Width = static_cast<int>(png_get_image_width(r.png, r.info));
  image.Height = static_cast<int>(png_get_image_height(r.png, r.info));
  image.ColorType = png_get_color_type(r.png, r.info);
  image.BitDepth = png_get_bit_depth(r.png, r.info);
  png_colorp entries = nullptr;
  int count = 0;
  if (png_get_PLTE(r.png, r.info, &entries, &count) != 0)
    for (int i = 0; i < count; ++i) image.Palette.push_back(RGB(entries[i].red, entries[i].green, entries[i].blue));
  if (image.BitDepth < 8) png_set_packing(r.png);
  png_read_update_info(r.png, r.info);
  const std::size_t rowBytes = png_get_rowbytes(r.png, r.info);
  image.Samples.assign(rowBytes * image.Height, 0);
  std::vector<png_bytep> rows(image.Height);
  for (int y = 0; y < image.Height; ++y) rows[y] = image.Samples.data() + rowBytes * y;
  png_read_image(r.png, rows.data());
  png_read_end(r.png, nullptr);
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
  delete frmMain;
  frmMain = nullptr;
  delete frmDColor;
  frmDColor = nullptr;
  SetExeNameForTesting("");
}

void CorvaneTest::Open(const std::string& fileName, const std::function<void()>& act) {
  TAutomation::Push(TModalAnswer::File(fileName));
  AnswerExpectedError();
  act();
}

void CorvaneTest::SaveWithPalette(const std::function<void(TfrmDColor*)>& choose, const std::string& fileName) {
  TAutomation::Push(TModalAnswer::DriveForm([&](TForm* form) {
    auto* dialog = dynamic_cast<TfrmDColor*>(form);
    ASSERT_NE(dialog, nullptr);
    choose(dialog);
    UserClick(dialog->btnOK);
    // The save dialog comes after the palette dialog has ended.
    TAutomation::Push(fileName.empty() ? TModalAnswer::Cancel() : TModalAnswer::File(fileName));
    AnswerExpectedError();
  }));
  UserChooseMenu(frmMain->mnuSaveAs);
}
