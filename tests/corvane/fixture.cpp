#include "corvane/fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <png.h>

#include "classlib/filenames.h"
#include "classlib/forms/automation.h"

std::unique_ptr<TBitmap> MakeBitmap(int width, int height, const PixelFn& colour) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < width; ++x) {
      const TColor c = colour(x, y);
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  return bitmap;
}

std::unique_ptr<TBitmap> MakeIndexedBitmap(int width, int height, const std::vector<TColor>& palette,
                                           const std::function<int(int x, int y)>& index) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf8bit);
  bitmap->SetSize(width, height);
  LOGPALETTE log{};
  log.palVersion = 0x300;
  log.palNumEntries = static_cast<WORD>(palette.size());
  for (size_t i = 0; i < palette.size(); ++i)
    log.palPalEntry[i] = PALETTEENTRY{GetRValue(palette[i]), GetGValue(palette[i]), GetBValue(palette[i]), 0};
  bitmap->SetPalette(CreatePalette(&log));
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < width; ++x) row[x] = static_cast<std::uint8_t>(index(x, y));
  }
  return bitmap;
}

TColor PixelOf(TBitmap* bitmap, int x, int y) { return bitmap->Canvas()->Pixels(x, y); }

TColor PixelOf(TImage* view, int x, int y) { return PixelOf(view->Picture()->Bitmap(), x, y); }

namespace {

struct PngWriter {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriter() {
    if (png) png_destroy_write_struct(&png, &info);
    if (file) std::fclose(file);
  }
};

void WritePng(const std::string& path, int width, int height, int colorType, const std::vector<TColor>& palette,
              const std::function<void(int y, std::vector<png_byte>& row)>& fillRow) {
  PngWriter w;
  w.file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(w.file, nullptr) << path;
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  w.info = png_create_info_struct(w.png);
  if (setjmp(png_jmpbuf(w.png))) {
    ADD_FAILURE() << "libpng failed writing " << path;
    return;
  }
  png_init_io(w.png, w.file);
  png_set_IHDR(w.png, w.info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> entries;
  for (TColor c : palette) entries.push_back(png_color{GetRValue(c), GetGValue(c), GetBValue(c)});
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(w.png, w.info, entries.data(), static_cast<int>(entries.size()));
  png_write_info(w.png, w.info);
  std::vector<png_byte> row;
  for (int y = 0; y < height; ++y) {
    fillRow(y, row);
    png_write_row(w.png, row.data());
  }
  png_write_end(w.png, nullptr);
}

}  // namespace

void WriteRgbPng(const std::string& path, int width, int height, const PixelFn& colour) {
  WritePng(path, width, height, PNG_COLOR_TYPE_RGB, {}, [&](int y, std::vector<png_byte>& row) {
    row.assign(3 * width, 0);
    for (int x = 0; x < width; ++x) {
      const TColor c = colour(x, y);
      row[3 * x] = GetRValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetBValue(c);
    }
  });
}

void WritePalettePng(const std::string& path, int width, int height, const std::vector<TColor>& palette,
                     const std::function<int(int x, int y)>& index) {
  WritePng(path, width, height, PNG_COLOR_TYPE_PALETTE, palette, [&](int y, std::vector<png_byte>& row) {
    row.assign(width, 0);
    for (int x = 0; x < width; ++x) row[x] = static_cast<png_byte>(index(x, y));
  });
}

namespace {

struct PngReader {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() {
    if (png) png_destroy_read_struct(&png, &info, nullptr);
    if (file) std::fclose(file);
  }
};

}  // namespace

PngImage ReadPng(const std::string& path) {
  PngImage image;
  PngReader r;
  r.file = std::fopen(path.c_str(), "rb");
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
  if (png_get_PLTE(r.png, r.info, &entries, &count) != 0) {
    for (int i = 0; i < count; ++i) image.Palette.push_back(RGB(entries[i].red, entries[i].green, entries[i].blue));
  }
  if (image.BitDepth < 8) png_set_packing(r.png);
  png_read_update_info(r.png, r.info);
  image.Channels = png_get_channels(r.png, r.info);
  const size_t rowBytes = png_get_rowbytes(r.png, r.info);
  image.Samples.assign(rowBytes * image.Height, 0);
  std::vector<png_bytep> rows(image.Height);
  for (int y = 0; y < image.Height; ++y) rows[y] = image.Samples.data() + rowBytes * y;
  png_read_image(r.png, rows.data());
  png_read_end(r.png, nullptr);
  return image;
}

bool FileExistsAt(const std::string& path) { return std::filesystem::exists(path); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

void CorvaneTest::SetUp() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  folder_ = std::string(TEST_BUILD_DIR) + "/corvane_scratch/" + name;
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(folder_);
  SetExeNameForTesting(Path("corvane"));
  TAutomation::Clear();

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
  EXPECT_EQ(TAutomation::Pending(), 0u) << "answers left unused";
  TAutomation::Clear();
  delete frmMain;
  frmMain = nullptr;
  delete frmDColor;
  frmDColor = nullptr;
  SetExeNameForTesting("");
}

void CorvaneTest::OpenSheet(const std::string& fileName) {
  TAutomation::Push(TModalAnswer::File(fileName));
  AnswerExpectedError();
  UserChooseMenu(frmMain->mnuOpen);
}

void CorvaneTest::OpenBaraChip(const std::string& fileName) {
  TAutomation::Push(TModalAnswer::File(fileName));
  AnswerExpectedError();
  UserClick(frmMain->btnOpenBaraChip);
}

void CorvaneTest::OpenCharaChip(const std::string& fileName) {
  TAutomation::Push(TModalAnswer::File(fileName));
  AnswerExpectedError();
  UserClick(frmMain->btnOpenCharaChip);
}

void CorvaneTest::ClickSheet(int x, int y, TMouseButton button) { UserMouse(frmMain->imgSet, button, {}, x, y); }

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

void CorvaneTest::SaveAuto(const std::string& fileName) {
  SaveWithPalette([](TfrmDColor* dialog) { UserClick(dialog->rbAuto); }, fileName);
}

void CorvaneTest::AnswerExpectedError() {
  if (errorNext_) AnswerErrorBox();
  errorNext_ = false;
}

std::vector<std::string> CorvaneTest::TakeErrors() {
  std::vector<std::string> errors;
  for (const TModalShown& shown : TAutomation::TakeShown())
    if (shown.Kind == TModalKind::ErrorBox) errors.push_back(shown.Text);
  return errors;
}
