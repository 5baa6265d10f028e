#include "support/png_oracle.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace png_oracle {
namespace {

enum class Samples {
  AsStored,  // see Oracle
  Rgba,      // see RgbaPicture
};

Oracle Decode(std::string_view file, bool strict, Samples samples) {
  Oracle o;
  struct Source {
    std::string_view Data;
    std::size_t At;
  } source{file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> pointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Oracle{};
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t count) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->At + count > s->Data.size()) png_error(p, "read past the end");
    std::memcpy(out, s->Data.data() + s->At, count);
    s->At += count;
  });
  const int action = strict ? PNG_CRC_ERROR_QUIT : PNG_CRC_QUIET_USE;
  png_set_crc_action(png, action, action);
  png_read_info(png, info);
  o.Width = png_get_image_width(png, info);
  o.Height = png_get_image_height(png, info);
  o.Depth = png_get_bit_depth(png, info);
  o.ColorType = png_get_color_type(png, info);
  o.Interlace = png_get_interlace_type(png, info);
  png_colorp pal = nullptr;
  int palCount = 0;
  if (png_get_PLTE(png, info, &pal, &palCount)) o.Palette.assign(pal, pal + palCount);
  png_bytep trans = nullptr;
  int transCount = 0;
  png_color_16p transValue = nullptr;
  if (png_get_tRNS(png, info, &trans, &transCount, &transValue)) {
    if (o.ColorType == PNG_COLOR_TYPE_PALETTE) {
      o.PaletteAlpha.assign(trans, trans + transCount);
    } else if (transValue) {
      o.HasTransColor = true;
      o.TransColor = *transValue;
    }
  }
  png_color_16p bkgd = nullptr;
  if ((o.HasBackground = png_get_bKGD(png, info, &bkgd) != 0)) o.Background = *bkgd;
  if (samples == Samples::Rgba) {
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    if (o.Depth == 16) png_set_strip_16(png);
    if (o.Depth < 8) png_set_packing(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  o.Channels = png_get_channels(png, info);
  o.Rows.assign(o.Height, std::vector<std::uint8_t>(png_get_rowbytes(png, info)));
  for (auto& r : o.Rows) pointers.push_back(r.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  o.Ok = true;
  return o;
}

std::optional<std::string> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::array<std::uint8_t, 4> Oracle::Rgba(int x, int y) const {
  const std::uint8_t* p = &Rows[std::size_t(y)][std::size_t(x) * Channels];
  const bool alpha = ColorType & PNG_COLOR_MASK_ALPHA;
  const std::uint8_t a = alpha ? p[Channels - 1] : 255;
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    const png_color c = p[0] < Palette.size() ? Palette[p[0]] : png_color{};
    return {c.red, c.green, c.blue, a};
  }
  if (ColorType & PNG_COLOR_MASK_COLOR) return {p[0], p[1], p[2], a};
  const auto grey = std::uint8_t(Depth >= 8 ? p[0] : p[0] * 255 / ((1 << Depth) - 1));
  return {grey, grey, grey, a};
}

Oracle DecodeWithLibpng(std::string_view file, bool strict) { return Decode(file, strict, Samples::AsStored); }

Oracle DecodeFileWithLibpng(const std::string& path) {
  const std::optional<std::string> file = FileBytes(path);
  return file ? Decode(*file, true, Samples::AsStored) : Oracle{};
}

RgbaPicture ReadRgba(const std::string& path) {
  const std::optional<std::string> file = FileBytes(path);
  const Oracle o = file ? Decode(*file, true, Samples::Rgba) : Oracle{};
  RgbaPicture picture;
  if (!o.Ok) return picture;
  picture.Width = static_cast<int>(o.Width);
  picture.Height = static_cast<int>(o.Height);
  for (const auto& row : o.Rows) picture.Pixels.insert(picture.Pixels.end(), row.begin(), row.end());
  return picture;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<png_color>& palette,
              const std::vector<std::uint8_t>& samples) {
  const std::size_t rowBytes = std::size_t(palette.empty() ? 3 : 1) * std::size_t(width);
  if (samples.size() < rowBytes * std::size_t(height)) return false;
  // Frees libpng's state and closes the file however writing ends.
  struct Writer {
    FILE* File;
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~Writer() {
      if (Png) png_destroy_write_struct(&Png, &Info);
      if (File) std::fclose(File);
    }
  } w{std::fopen(path.c_str(), "wb")};
  if (!w.File) return false;
  w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  w.Info = png_create_info_struct(w.Png);
  if (setjmp(png_jmpbuf(w.Png))) return false;
  png_init_io(w.Png, w.File);
  png_set_IHDR(w.Png, w.Info, width, height, 8, palette.empty() ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(w.Png, w.Info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(w.Png, w.Info);
  for (int y = 0; y < height; ++y) png_write_row(w.Png, samples.data() + rowBytes * std::size_t(y));
  png_write_end(w.Png, nullptr);
  return true;
}

}  // namespace png_oracle
