// libpng as the outside judge of PNG files: every test that reads or writes a PNG without
// the codec under test goes through here.
#pragma once

#include <png.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace png_oracle {

// What libpng sees in a file: 8-bit samples (16-bit ones cut to their high byte, small
// depths one per byte, unscaled), the palette, the transparency and the background.
struct Oracle {
  bool Ok = false;
  png_uint_32 Width = 0, Height = 0;
  int Depth = 0, ColorType = 0, Interlace = 0, Channels = 0;
  std::vector<std::vector<std::uint8_t>> Rows;
  std::vector<png_color> Palette;
  std::vector<std::uint8_t> PaletteAlpha;
  bool HasTransColor = false, HasBackground = false;
  png_color_16 TransColor{}, Background{};

  // The pixel as 8-bit RGBA: palette and grey expanded, alpha 255 where the file has none.
  std::array<std::uint8_t, 4> Rgba(int x, int y) const;
};

// strict: a wrong CRC or Adler-32 fails the decode, else CRCs are not checked (two suite
// files carry a wrong one on purpose).
Oracle DecodeWithLibpng(std::string_view file, bool strict = true);
// The file at path; not Ok when it cannot be read either.
Oracle DecodeFileWithLibpng(const std::string& path);

// A picture as red, green, blue, alpha bytes, top row first: palette, grey and transparency
// expanded, 16-bit channels rounded to 8 bits.
struct RgbaPicture {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Pixels;
};
// Empty when the file is missing or libpng refuses it.
RgbaPicture ReadRgba(const std::string& path);

// An 8-bit PNG of samples, top row first: RGB triples without a palette, one index a pixel
// with one. False when the file could not be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<png_color>& palette,
              const std::vector<std::uint8_t>& samples);

}  // namespace png_oracle
