// Helpers of the PNG writer tests: bitmaps with known pixels, a save wrapper, a chunk
// splitter that checks every CRC, the libpng oracle and pngcheck.
#pragma once

#include <png.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "classlib/gdi.h"
#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "png/SFunc.h"
#include "png/ZelPNGStream.h"

namespace writer_test {

struct Chunk {
  std::string Type;
  std::vector<std::uint8_t> Data;
};

inline std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint32_t Be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

// Splits a PNG file into its chunks; every CRC must match and the signature must lead.
inline std::vector<Chunk> SplitChunks(const std::vector<std::uint8_t>& file, bool signature = true) {
  std::vector<Chunk> chunks;
  std::size_t at = 0;
  if (signature) {
    EXPECT_GE(file.size(), 8u);
    if (file.size() < 8) return chunks;
    EXPECT_EQ(0, std::memcmp(file.data(), PngSignature, 8));
    at = 8;
  }
  while (at + 12 <= file.size()) {
    const std::uint32_t length = Be32(&file[at]);
    if (at + 12 + std::size_t{length} > file.size()) {
      ADD_FAILURE() << "chunk runs past the end at " << at;
      break;
    }
    Chunk chunk;
    chunk.Type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
    chunk.Data.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    const uLong crc = crc32(0, &file[at + 4], length + 4);
    EXPECT_EQ(crc, Be32(&file[at + 8 + length])) << "CRC of " << chunk.Type;
    chunks.push_back(std::move(chunk));
    at += 12 + std::size_t{length};
  }
  EXPECT_EQ(at, file.size()) << "bytes after the last chunk";
  return chunks;
}

inline std::vector<std::string> ChunkTypes(const std::vector<Chunk>& chunks) {
  std::vector<std::string> types;
  for (const Chunk& c : chunks) types.push_back(c.Type);
  return types;
}

inline const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& type, int nth = 0) {
  for (const Chunk& c : chunks) {
    if (c.Type == type && nth-- == 0) return &c;
  }
  return nullptr;
}

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// A palette handle for the given colours (0x00BBGGRR).
inline HPALETTE MakePalette(const std::vector<TColor>& colours) {
  std::vector<RGBQUAD> quads;
  for (TColor c : colours) {
    quads.push_back(RGBQUAD{static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c), 0});
  }
  return CreatePaletteFromQuads(quads.data(), static_cast<std::int32_t>(quads.size()));
}

// A deterministic byte pattern that is neither constant nor trivially compressible.
inline std::uint8_t PatternByte(std::uint32_t seed, int x, int y, int k) {
  std::uint32_t v = seed * 2654435761u ^ static_cast<std::uint32_t>(x) * 73856093u ^
                    static_cast<std::uint32_t>(y) * 19349663u ^ static_cast<std::uint32_t>(k) * 83492791u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  v ^= v >> 15;
  return static_cast<std::uint8_t>(v);
}

// A bitmap of the format, filled with pattern pixels; indexed formats get a palette of
// distinct colours with 2^bits entries.
inline std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int width, int height, std::uint32_t seed = 1) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  const int bits = PixelFormatToBits(format);
  if (bits <= 8) {
    std::vector<TColor> colours;
    for (int i = 0; i < (1 << bits); ++i) {
      colours.push_back(PatternByte(seed, i, 0, 0) | (PatternByte(seed, i, 1, 1) << 8) |
                        (PatternByte(seed, i, 2, 2) << 16));
    }
    bitmap->SetPalette(MakePalette(colours));
  }
  const int rowBytes = DibRowBytes(width, bits);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int i = 0; i < rowBytes; ++i) row[i] = PatternByte(seed, i, y, 7);
  }
  return bitmap;
}

// An 8-bit alpha bitmap of the size with a grey palette and pattern values.
inline std::unique_ptr<TBitmap> MakeAlpha(int width, int height, std::uint32_t seed = 5) {
  auto alpha = std::make_unique<TBitmap>();
  alpha->SetPixelFormat(pf8bit);
  alpha->SetSize(width, height);
  RGBQUAD grey[256];
  FillGreyQuads(grey, 8);
  alpha->SetPalette(CreatePaletteFromQuads(grey, 256));
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(alpha->ScanLine(y));
    for (int x = 0; x < width; ++x) row[x] = PatternByte(seed, x, y, 3);
  }
  return alpha;
}

inline std::vector<std::uint8_t> StreamBytes(TMemoryStream& stream) {
  const auto* p = static_cast<const std::uint8_t*>(stream.Memory());
  return std::vector<std::uint8_t>(p, p + stream.Size());
}

// Saves bitmap with a fresh writer prepared by setup; returns the bytes written.
inline std::vector<std::uint8_t> Save(TBitmap* bitmap, const std::function<void(TZelPNGWriteStream&)>& setup = {}) {
  TZelPNGWriteStream writer;
  // A fixed time keeps files comparable; tests of tIME turn it back on.
  writer.UseCurrentTime = false;
  if (setup) setup(writer);
  TMemoryStream stream;
  writer.WriteTo(bitmap, &stream);
  return StreamBytes(stream);
}

// What libpng decodes, expanded to 8-bit RGBA (grey to RGB, palette to RGB, low depths to 8
// bits, no tRNS expansion, alpha 255 where the file has none). CRC and Adler-32 errors fail.
struct Decoded {
  bool Ok = false;
  std::string Error;
  std::uint32_t Width = 0, Height = 0;
  int ColorType = 0, BitDepth = 0, Interlace = 0;
  std::vector<std::uint8_t> Rgba;
  const std::uint8_t* Pixel(int x, int y) const { return &Rgba[(static_cast<std::size_t>(y) * Width + x) * 4]; }
};

inline Decoded DecodeWithLibpng(const std::vector<std::uint8_t>& file) {
  Decoded result;
  struct Source {
    const std::vector<std::uint8_t>* Data;
    std::size_t At;
  } source{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &result, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    result.Ok = false;
    result.Error = "libpng refused the file";
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t count) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->At + count > s->Data->size()) png_error(p, "read past the end");
    std::memcpy(out, s->Data->data() + s->At, count);
    s->At += count;
  });
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_read_info(png, info);
  result.Width = png_get_image_width(png, info);
  result.Height = png_get_image_height(png, info);
  result.ColorType = png_get_color_type(png, info);
  result.BitDepth = png_get_bit_depth(png, info);
  result.Interlace = png_get_interlace_type(png, info);
  if (result.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (result.ColorType == PNG_COLOR_TYPE_GRAY && result.BitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (result.BitDepth == 16) png_set_strip_16(png);
  if (result.ColorType == PNG_COLOR_TYPE_GRAY || result.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (!(result.ColorType & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  result.Rgba.assign(static_cast<std::size_t>(result.Width) * result.Height * 4, 0);
  for (std::uint32_t y = 0; y < result.Height; ++y) rows.push_back(&result.Rgba[static_cast<std::size_t>(y) * result.Width * 4]);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  result.Ok = true;
  return result;
}

// Runs pngcheck over the bytes; returns its verdict line(s) when it refuses, else "".
inline std::string PngcheckComplaint(const std::vector<std::uint8_t>& file) {
  char path[] = "/tmp/pngw_check_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "cannot make a temporary file";
  const bool written = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
  ::close(fd);
  if (!written) {
    ::unlink(path);
    return "cannot write a temporary file";
  }
  const std::string command = std::string("/usr/bin/pngcheck -q ") + path + " 2>&1";
  std::string output;
  int status = -1;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    status = ::pclose(pipe);
  }
  ::unlink(path);
  return status == 0 ? std::string() : (output.empty() ? std::string("pngcheck failed") : output);
}

}  // namespace writer_test
