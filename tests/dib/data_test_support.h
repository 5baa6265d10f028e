// What the tests of the shared DIB data and of the pixel formats share: a BMP file builder,
// a renderer of plain pixel data, the reference PNG reader and a count of open mappings.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "classlib/streams.h"
#include "dib/UlmDIB_Data.h"

namespace dib_test {

inline const std::string kSuite = std::string(CORPORA_DIR) + "/bmpsuite/";

// Little-endian bytes of a BMP file or a CF_DIB block.
struct Bytes {
  std::string data;
  Bytes& U8(unsigned v) { data.push_back(char(v)); return *this; }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8 & 0xFF); }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Fill(std::size_t n, unsigned v = 0) { data.append(n, char(v)); return *this; }
};

struct InfoHeader {
  std::int32_t width = 1, height = 1;
  unsigned bits = 8;
  std::uint32_t compression = BI_RGB, clrUsed = 0;
};

// A file with a 40-byte header; offBits and fileSize of 0 mean "as the parts add up".
inline std::string BmpFile(const InfoHeader& h, const Bytes& tableAndGap, const Bytes& pixels,
                           std::uint32_t offBits = 0, std::uint32_t fileSize = 0) {
  if (offBits == 0) offBits = 54 + std::uint32_t(tableAndGap.data.size());
  if (fileSize == 0) fileSize = offBits + std::uint32_t(pixels.data.size());
  Bytes b;
  b.U8('B').U8('M').U32(fileSize).U32(0).U32(offBits);
  b.U32(40).U32(std::uint32_t(h.width)).U32(std::uint32_t(h.height)).U16(1).U16(h.bits).U32(h.compression);
  b.U32(0).U32(0).U32(0).U32(h.clrUsed).U32(0);
  return b.data + tableAndGap.data + pixels.data;
}

inline std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

inline std::string Saved(const TUlmInternalDIB& dib) {
  TMemoryStream stream;
  dib.SaveToStream(&stream);
  std::string bytes(std::size_t(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), stream.Size());
  return bytes;
}

inline std::uint32_t U32At(const std::string& s, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

// Plain 1-, 4-, 8- or 24-bit data as RGB triples, top row first.
inline std::vector<std::uint8_t> Render(const DIBInfos& d) {
  const BITMAPINFOHEADER& h = d.Header;
  const std::int64_t height = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
  const std::int64_t stride = UlmRowBytes(h.biWidth, h.biBitCount);
  std::vector<std::uint8_t> out;
  for (std::int64_t y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(d.Bits) + (h.biHeight < 0 ? y : height - 1 - y) * stride;
    for (std::int64_t x = 0; x < h.biWidth; ++x) {
      if (h.biBitCount == 24) {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        continue;
      }
      const unsigned bits = h.biBitCount, bit = unsigned(x) * bits;
      const RGBQUAD& c = d.Colors[(row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1)];
      out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
    }
  }
  return out;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

// The suite's reference rendering, as RGB triples.
inline Picture ReadPng(const std::string& fileName) {
  Picture out;
  FILE* f = std::fopen(fileName.c_str(), "rb");
  if (f == nullptr) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_strip_alpha(png);
    png_read_update_info(png, info);
    out.width = int(png_get_image_width(png, info));
    out.height = int(png_get_image_height(png, info));
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    std::vector<png_bytep> rows;
    for (int y = 0; y < out.height; ++y) rows.push_back(out.rgb.data() + std::size_t(y) * out.width * 3);
    png_read_image(png, rows.data());
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

// Every file mapping holds one descriptor: a leaked mapping shows as one more.
inline int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

}  // namespace dib_test
