#include "pandrel/fixture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <png.h>

namespace {

void Put(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t Get(const std::string& in, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(in.at(at + i));
  return value;
}

int RowBytes(const IndexedPicture& p) { return (p.Width * p.Bits + 31) / 32 * 4; }

// A row's indices packed at the picture's depth, the leftmost pixel in the high bits.
std::vector<std::uint8_t> PackRow(const IndexedPicture& p, int y, std::size_t size) {
  std::vector<std::uint8_t> row(size, 0);
  const int perByte = 8 / p.Bits;
  for (int x = 0; x < p.Width; ++x) {
    const int shift = 8 - p.Bits * (x % perByte + 1);
    row[x / perByte] |= static_cast<std::uint8_t>(p.Indices[y * p.Width + x] << shift);
  }
  return row;
}

struct PngHandles {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool reading = false;
  ~PngHandles() {
    if (png && reading) png_destroy_read_struct(&png, &info, nullptr);
    if (png && !reading) png_destroy_write_struct(&png, &info);
    if (file) std::fclose(file);
  }
};

IndexedPicture ReadBmpBytes(const std::string& in) {
  IndexedPicture p;
  const std::uint32_t offset = Get(in, 10, 4);
  const std::uint32_t headerSize = Get(in, 14, 4);
  p.Width = static_cast<int>(Get(in, 18, 4));
  const auto height = static_cast<std::int32_t>(Get(in, 22, 4));
  p.Height = height < 0 ? -height : height;
  p.Bits = static_cast<int>(Get(in, 28, 2));
  EXPECT_EQ(Get(in, 30, 4), 0u) << "uncompressed";
  std::uint32_t used = Get(in, 46, 4);
  if (used == 0) used = 1u << p.Bits;
  for (std::uint32_t i = 0; i < used; ++i) {
    const std::size_t at = 14 + headerSize + 4 * i;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(in.at(i)); };
    p.Palette.push_back(RGB(byte(at + 2), byte(at + 1), byte(at)));
  }
  const int perByte = 8 / p.Bits;
  for (int y = 0; y < p.Height; ++y) {
    const int stored = height < 0 ? y : p.Height - 1 - y;
    const std::size_t row = offset + static_cast<std::size_t>(stored) * RowBytes(p);
    for (int x = 0; x < p.Width; ++x) {
      const int shift = 8 - p.Bits * (x % perByte + 1);
      p.Indices.push_back(static_cast<std::uint8_t>((static_cast<std::uint8_t>(in.at(row + x / perByte)) >> shift) &
                                                    ((1 << p.Bits) - 1)));
    }
  }
  return p;
}

IndexedPicture ReadPngFile(const std::string& path) {
  IndexedPicture p;
  PngHandles h;
  h.reading = true;
  h.file = std::fopen(path.c_str(), "rb");
  if (h.file == nullptr) return p;
  h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  h.info = png_create_info_struct(h.png);
  if (setjmp(png_jmpbuf(h.png))) {
    ADD_FAILURE() << "libpng refused " << path;
    return IndexedPicture{};
  }
  png_init_io(h.png, h.file);
  png_read_info(h.png, h.info);
  p.Width = static_cast<int>(png_get_image_width(h.png, h.info));
  p.Height = static_cast<int>(png_get_image_height(h.png, h.info));
  p.Bits = png_get_bit_depth(h.png, h.info);
  EXPECT_EQ(png_get_color_type(h.png, h.info), PNG_COLOR_TYPE_PALETTE) << path;
  png_colorp entries = nullptr;
  int count = 0;
  if (png_get_PLTE(h.png, h.info, &entries, &count) != 0) {
    for (int i = 0; i < count; ++i) p.Palette.push_back(RGB(entries[i].red, entries[i].green, entries[i].blue));
  }
  if (p.Bits < 8) png_set_packing(h.png);
  png_read_update_info(h.png, h.info);
  std::vector<png_byte> row(png_get_rowbytes(h.png, h.info));
  for (int y = 0; y < p.Height; ++y) {
    png_read_row(h.png, row.data(), nullptr);
    p.Indices.insert(p.Indices.end(), row.begin(), row.begin() + p.Width);
  }
  return p;
}

}  // namespace

IndexedPicture Cycling(int bits, const std::vector<TColor>& palette, int width, int height) {
  IndexedPicture p;
  p.Bits = bits;
  p.Width = width;
  p.Height = height;
  p.Palette = palette;
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) p.Indices.push_back(static_cast<std::uint8_t>((x + 2 * y) % palette.size()));
  return p;
}

void WriteBmp(const std::string& path, const IndexedPicture& p) {
  const std::uint32_t paletteBytes = 4 * static_cast<std::uint32_t>(p.Palette.size());
  const std::uint32_t imageBytes = static_cast<std::uint32_t>(RowBytes(p) * p.Height);
  std::string out = "BM";
  Put(out, 14 + 40 + paletteBytes + imageBytes, 4);
  Put(out, 0, 4);
  Put(out, 14 + 40 + paletteBytes, 4);
  for (std::uint32_t v : {40u, static_cast<std::uint32_t>(p.Width), static_cast<std::uint32_t>(p.Height)}) Put(out, v, 4);
  Put(out, 1, 2);
  Put(out, static_cast<std::uint32_t>(p.Bits), 2);
  for (std::uint32_t v : {0u, imageBytes, 3780u, 3780u, static_cast<std::uint32_t>(p.Palette.size()), 0u}) Put(out, v, 4);
  for (TColor c : p.Palette) Put(out, GetBValue(c) | GetGValue(c) << 8 | GetRValue(c) << 16, 4);
  for (int y = p.Height - 1; y >= 0; --y) {
    const std::vector<std::uint8_t> row = PackRow(p, y, RowBytes(p));
    out.append(row.begin(), row.end());
  }
  WriteWholeFile(path, out);
}

void WritePng(const std::string& path, const IndexedPicture& p) {
  PngHandles h;
  h.file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(h.file, nullptr) << path;
  h.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  h.info = png_create_info_struct(h.png);
  if (setjmp(png_jmpbuf(h.png))) {
    ADD_FAILURE() << "libpng failed writing " << path;
    return;
  }
  png_init_io(h.png, h.file);
  png_set_IHDR(h.png, h.info, p.Width, p.Height, p.Bits, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> entries;
  for (TColor c : p.Palette) entries.push_back(png_color{GetRValue(c), GetGValue(c), GetBValue(c)});
  png_set_PLTE(h.png, h.info, entries.data(), static_cast<int>(entries.size()));
  png_write_info(h.png, h.info);
  for (int y = 0; y < p.Height; ++y) {
    std::vector<std::uint8_t> row = PackRow(p, y, (p.Width * p.Bits + 7) / 8);
    png_write_row(h.png, row.data());
  }
  png_write_end(h.png, nullptr);
}

ReadBack ReadIndexed(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  if (bytes.compare(0, 2, "BM") == 0) return {"BMP", ReadBmpBytes(bytes)};
  if (bytes.compare(0, 4, "\x89PNG") == 0) return {"PNG", ReadPngFile(path)};
  return {};
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

void PandrelTest::SetUp() {
  std::string name = testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
  name += std::string(".") + testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : name)
    if (c == '/') c = '_';
  folder_ = std::string(TEST_BUILD_DIR) + "/pandrel_scratch/" + name;
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
  std::filesystem::create_directories(Path(name));
  return Path(name);
}

std::vector<std::string> PandrelTest::ListItems() const {
  std::vector<std::string> items;
  TStringList* list = frmMain->lstFileList->Items();
  for (int i = 0; i < list->Count(); ++i) items.push_back(list->Strings(i));
  return items;
}

std::vector<std::string> PandrelTest::TakeTexts(TModalKind kind) {
  std::vector<std::string> texts;
  for (const TModalShown& shown : TAutomation::TakeShown())
    if (shown.Kind == kind) texts.push_back(shown.Text);
  return texts;
}
