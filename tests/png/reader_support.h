// Helpers of the PNG reader tests: a small PNG builder (chunks with CRCs, zlib-compressed
// rows), a load wrapper around TZelPNGReadStream, and pixel access to the bitmaps.
#pragma once

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "png/ZelPNGStream.h"

namespace reader_test {

inline std::string Be32(std::uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
inline std::string Be16(std::uint16_t v) { return {char(v >> 8), char(v)}; }

// One chunk: length, type, data, CRC over type and data. length overrides the stated length.
inline std::string Chunk(std::string_view type, std::string_view data, std::int64_t length = -1) {
  std::string typed = std::string(type) + std::string(data);
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  return Be32(length < 0 ? static_cast<std::uint32_t>(data.size()) : static_cast<std::uint32_t>(length)) + typed +
         Be32(static_cast<std::uint32_t>(crc));
}

inline std::string Ihdr(std::uint32_t width, std::uint32_t height, int depth, int colorType, int interlace = 0,
                        int compression = 0, int filter = 0) {
  return Chunk("IHDR", Be32(width) + Be32(height) + char(depth) + char(colorType) + char(compression) + char(filter) +
                           char(interlace));
}

inline std::string Deflate(std::string_view raw, std::string_view dictionary = {}) {
  z_stream s{};
  deflateInit(&s, Z_BEST_SPEED);
  if (!dictionary.empty())
    deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
  std::string out(deflateBound(&s, static_cast<uLong>(raw.size())) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  s.avail_in = static_cast<uInt>(raw.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

// Filtered rows (each with its filter byte) compressed into IDAT chunks of at most split bytes.
inline std::string Idat(std::string_view rows, std::size_t split = 0) {
  const std::string z = Deflate(rows);
  if (split == 0) return Chunk("IDAT", z);
  std::string out;
  for (std::size_t at = 0; at < z.size(); at += split) out += Chunk("IDAT", z.substr(at, split));
  return out;
}

inline std::string Iend() { return Chunk("IEND", ""); }

inline std::string Signature() { return std::string(reinterpret_cast<const char*>(PngSignature), 8); }

// Raw rows with filter type 0 in front of each.
inline std::string Rows(const std::vector<std::string>& rows) {
  std::string out;
  for (const auto& r : rows) out += '\0' + r;
  return out;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += char(v);
  return s;
}

inline std::string ReadFileBytes(const std::string& path) {
  TMemoryStream m;
  m.LoadFromFile(path);
  return std::string(static_cast<const char*>(m.Memory()), static_cast<std::size_t>(m.Size()));
}

// One read of a byte string, with the records and bitmaps a graphic would hand over.
struct Load {
  std::unique_ptr<TBitmap> image = std::make_unique<TBitmap>();
  std::unique_ptr<TBitmap> alpha = std::make_unique<TBitmap>();
  TZelPNGReadStream reader;
  PngTimeRecord time{};
  std::array<std::uint32_t, 8> chromaticities{};
  std::array<std::uint8_t, 4> gifControl{};
  TMemoryStream stream;

  Load() {
    reader.ModifiedTime = &time;
    reader.Chromaticities = &chromaticities;
    reader.GifControl = &gifControl;
    reader.AlphaBitmap = alpha.get();
  }

  // Reads the bytes; the result is the error's class and message, or empty on success.
  std::string Run(std::string_view bytes, bool headerOnly = false) {
    stream.Clear();
    if (!bytes.empty()) stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    try {
      reader.ReadFrom(headerOnly ? nullptr : image.get(), &stream, 0);
    } catch (const EZelPNG& e) {
      return e.Message;
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message;
    }
    return {};
  }
};

inline int BitsOf(const TBitmap& b) { return PixelFormatToBits(b.PixelFormat()); }

// Pixel (x, y) as the bitmap holds it: a palette index, a 5-6-5 word, or 0xRRGGBB.
inline std::uint32_t PixelAt(TBitmap& b, int x, int y) {
  const auto* row = static_cast<const std::uint8_t*>(b.ScanLine(y));
  switch (BitsOf(b)) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 15u) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 15:
    case 16: return row[2 * x] | (std::uint32_t(row[2 * x + 1]) << 8);
    case 32: return row[4 * x] | (std::uint32_t(row[4 * x + 1]) << 8) | (std::uint32_t(row[4 * x + 2]) << 16);
    default: return row[3 * x] | (std::uint32_t(row[3 * x + 1]) << 8) | (std::uint32_t(row[3 * x + 2]) << 16);
  }
}

inline std::vector<std::uint32_t> AllPixels(TBitmap& b) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out.push_back(PixelAt(b, x, y));
  return out;
}

// The colour table as 0xRRGGBB values.
inline std::vector<std::uint32_t> Colours(const TBitmap& b) {
  std::vector<std::uint32_t> out;
  for (const RGBQUAD& q : b.ColorTable()) out.push_back(q.rgbBlue | (q.rgbGreen << 8) | (std::uint32_t(q.rgbRed) << 16));
  return out;
}

}  // namespace reader_test
