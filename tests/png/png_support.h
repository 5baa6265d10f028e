// What the PNG codec tests share: a byte-level PNG builder, a load and a save wrapper,
// pixel access to bitmaps, a chunk splitter that checks every CRC, and the two outside
// judges (libpng through the shared oracle, pngcheck).
#pragma once

#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "classlib/core_test_support.h"
#include "classlib/gdi.h"
#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "png/SFunc.h"
#include "png/ZelPNGStream.h"
#include "support/png_oracle.h"
#include "support/case_name.h"

namespace png_test {

using namespace png_oracle;

// ------------------------------------------------------------------ building files

inline std::string Be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
inline std::string Be16(std::uint32_t v) { return {char(v >> 8), char(v)}; }
inline std::uint32_t GetBe16(std::string_view s, std::size_t at = 0) {
  return (std::uint32_t(std::uint8_t(s[at])) << 8) | std::uint8_t(s[at + 1]);
}
inline std::uint32_t GetBe32(std::string_view s, std::size_t at = 0) { return (GetBe16(s, at) << 16) | GetBe16(s, at + 2); }

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += char(v);
  return s;
}

// One chunk: length, type, data, CRC over type and data. length overrides the stated length.
inline std::string Chunk(std::string_view type, std::string_view data, std::int64_t length = -1) {
  const std::string typed = std::string(type) + std::string(data);
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  return Be32(static_cast<std::uint32_t>(length < 0 ? std::int64_t(data.size()) : length)) + typed +
         Be32(static_cast<std::uint32_t>(crc));
}

inline std::string Ihdr(std::uint32_t width, std::uint32_t height, int depth, int colorType, int interlace = 0,
                        int compression = 0, int filter = 0) {
  return Chunk("IHDR", Be32(width) + Be32(height) + Bytes({depth, colorType, compression, filter, interlace}));
}

inline std::string Deflate(std::string_view raw, std::string_view dictionary = {}, int level = Z_BEST_SPEED) {
  z_stream s{};
  deflateInit(&s, level);
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

// A tEXt chunk's data (keyword, NUL, text), and the whole chunk.
inline std::string TextData(std::string_view keyword, std::string_view text) {
  return std::string(keyword) + '\0' + std::string(text);
}
inline std::string Text(std::string_view keyword, std::string_view text) { return Chunk("tEXt", TextData(keyword, text)); }

inline std::string Iend() { return Chunk("IEND", ""); }
inline std::string Signature() { return std::string(reinterpret_cast<const char*>(PngSignature), 8); }

// Raw rows with filter type 0 in front of each.
inline std::string Rows(const std::vector<std::string>& rows) {
  std::string out;
  for (const auto& r : rows) out += '\0' + r;
  return out;
}

inline std::string StreamBytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<std::size_t>(m.Size()));
}

using core_test::ReadAll;

inline const std::string SuiteDir = std::string(CORPORA_DIR) + "/pngsuite/";

// The suite's file names without extension, sorted. A missing folder gives none, so that
// the suite's tests fail by name instead of test discovery aborting.
inline std::vector<std::string> SuiteFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(SuiteDir, error))
    if (entry.path().extension() == ".png") files.push_back(entry.path().stem().string());
  std::sort(files.begin(), files.end());
  return files;
}

// CPU time of the process: a limit on it holds however loaded the machine is.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// -------------------------------------------------------------------- reading

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

  // Reads the bytes; the result is the error's message (other classes prefixed by their
  // name), or empty on success.
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

// Pixel (x, y) as the bitmap holds it: a palette index, a 5-5-5 or 5-6-5 word, or 0xRRGGBB.
inline std::uint32_t PixelAt(TBitmap& b, int x, int y) {
  const auto* row = core_test::Row(b, y);
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

// The alpha bitmap's values, none when the read gave the picture no alpha bitmap.
inline std::vector<std::uint32_t> AlphaPixels(Load& load) {
  return load.alpha->Empty() ? std::vector<std::uint32_t>{} : AllPixels(*load.alpha);
}

// The colour table as 0xRRGGBB values.
inline std::vector<std::uint32_t> Colours(const TBitmap& b) {
  std::vector<std::uint32_t> out;
  for (const RGBQUAD& q : b.ColorTable()) out.push_back(q.rgbBlue | (q.rgbGreen << 8) | (std::uint32_t(q.rgbRed) << 16));
  return out;
}

// -------------------------------------------------------------------- writing

// A palette handle for the given colours (0x00BBGGRR).
inline HPALETTE MakePalette(const std::vector<TColor>& colours) {
  std::vector<RGBQUAD> quads;
  for (TColor c : colours) quads.push_back(RGBQUAD{BYTE(c >> 16), BYTE(c >> 8), BYTE(c), 0});
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

// A bitmap of the format filled with pattern bytes (row padding included); indexed formats
// get 2^bits distinct pattern colours, or evenly spaced greys.
inline std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int width, int height, std::uint32_t seed = 1,
                                           bool greyPalette = false) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  const int bits = PixelFormatToBits(format);
  if (bits <= 8) {
    std::vector<TColor> colours;
    for (int i = 0, n = 1 << bits; i < n; ++i)
      colours.push_back(greyPalette ? TColor(std::uint32_t(i * 255 / (n - 1)) * 0x010101u)
                                    : TColor(PatternByte(seed, i, 0, 0) | (PatternByte(seed, i, 1, 1) << 8) |
                                             (PatternByte(seed, i, 2, 2) << 16)));
    bitmap->SetPalette(MakePalette(colours));
  }
  for (int y = 0; y < height; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    for (int i = 0; i < DibRowBytes(width, bits); ++i) row[i] = PatternByte(seed, i, y, 7);
  }
  return bitmap;
}

// An 8-bit alpha bitmap of the size with a grey palette and pattern values.
inline std::unique_ptr<TBitmap> MakeAlpha(int width, int height, std::uint32_t seed = 5) {
  return MakeBitmap(pf8bit, width, height, seed, true);
}

// The message of the codec error that act raises, or "" when it raises none.
template <class Act>
std::string ErrorOf(Act&& act) {
  try {
    act();
  } catch (const EZelPNG& e) {
    return e.what();
  }
  return {};
}

// Saves bitmap with a fresh writer prepared by setup; returns the bytes written.
inline std::string Save(TBitmap* bitmap, const std::function<void(TZelPNGWriteStream&)>& setup = {}) {
  TZelPNGWriteStream writer;
  // A fixed time keeps files comparable; tests of tIME turn it back on.
  writer.UseCurrentTime = false;
  if (setup) setup(writer);
  TMemoryStream stream;
  writer.WriteTo(bitmap, &stream);
  return StreamBytes(stream);
}

struct ParsedChunk {
  std::string Type, Data;
};

// Splits a PNG file into its chunks; every CRC must match and the signature must lead.
inline std::vector<ParsedChunk> SplitChunks(const std::string& file, bool signature = true) {
  std::vector<ParsedChunk> chunks;
  std::size_t at = 0;
  if (signature) {
    EXPECT_EQ(file.substr(0, 8), Signature());
    at = 8;
  }
  while (at + 12 <= file.size()) {
    const std::uint32_t length = GetBe32(file, at);
    if (at + 12 + std::size_t{length} > file.size()) {
      ADD_FAILURE() << "chunk runs past the end at " << at;
      break;
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(&file[at + 4]), length + 4);
    chunks.push_back({file.substr(at + 4, 4), file.substr(at + 8, length)});
    EXPECT_EQ(crc, GetBe32(file, at + 8 + length)) << "CRC of " << chunks.back().Type;
    at += 12 + std::size_t{length};
  }
  EXPECT_EQ(at, file.size()) << "bytes after the last chunk";
  return chunks;
}

// A two-pixel palette PNG with a "Comment" chunk for each text, and the Comment texts of a
// file, chunk for chunk.
inline std::string CommentedPng(const std::vector<std::string>& texts) {
  std::string comments;
  for (const std::string& text : texts) comments += Text("Comment", text);
  return Signature() + Ihdr(2, 1, 8, 3) + comments + Chunk("PLTE", Bytes({255, 0, 0, 0, 0, 255})) +
         Idat(Bytes({0, 0, 1})) + Iend();
}
inline std::vector<std::string> CommentTexts(const std::string& file) {
  const std::string keyword = TextData("Comment", "");
  std::vector<std::string> texts;
  for (const ParsedChunk& chunk : SplitChunks(file))
    if (chunk.Type == "tEXt" && chunk.Data.starts_with(keyword)) texts.push_back(chunk.Data.substr(keyword.size()));
  return texts;
}

inline std::vector<std::string> ChunkTypes(const std::vector<ParsedChunk>& chunks) {
  std::vector<std::string> types;
  for (const ParsedChunk& c : chunks) types.push_back(c.Type);
  return types;
}

inline const ParsedChunk* FindChunk(const std::vector<ParsedChunk>& chunks, const std::string& type, int nth = 0) {
  for (const ParsedChunk& c : chunks)
    if (c.Type == type && nth-- == 0) return &c;
  return nullptr;
}

// ------------------------------------------------------------------ the judges

// Runs pngcheck over the bytes; returns its verdict line(s) when it refuses, else "".
inline std::string PngcheckComplaint(const std::string& file) {
  char path[] = "/tmp/pngw_check_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "cannot make a temporary file";
  const bool written = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
  ::close(fd);
  std::string output;
  int status = -1;
  if (FILE* pipe = written ? ::popen(("/usr/bin/pngcheck -q " + std::string(path) + " 2>&1").c_str(), "r") : nullptr) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    status = ::pclose(pipe);
  }
  ::unlink(path);
  if (status == 0) return {};
  return output.empty() ? "pngcheck failed" : output;
}

}  // namespace png_test
