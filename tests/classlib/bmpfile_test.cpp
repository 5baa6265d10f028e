// The BMP reader and writer on files made here, one property per table.
#include "classlib/bmpfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

#include "classlib/errors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& out, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

// A BMP file as a writer might lay it out, faults included.
struct FileRecipe {
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 3, Height = 2;
  std::uint16_t Planes = 1, Bits = 8;
  std::uint32_t Compression = BI_RGB, SizeImage = 0, ClrUsed = 4;
  std::vector<std::uint32_t> Masks;  // after a 40-byte header, inside longer ones
  Bytes Table = {1, 2, 3, 0x55, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
  std::int64_t OffsetDelta = 0, FileSizeDelta = 0;
  Bytes Pixels = {0, 1, 2, 0, 3, 2, 1, 0};  // bottom row first
};

Bytes Build(const FileRecipe& s) {
  Bytes h;
  if (s.HeaderSize == 12) {
    Put(h, 12, 4), Put(h, s.Width, 2), Put(h, s.Height, 2), Put(h, s.Planes, 2), Put(h, s.Bits, 2);
  } else {
    Put(h, s.HeaderSize, 4), Put(h, s.Width, 4), Put(h, s.Height, 4), Put(h, s.Planes, 2), Put(h, s.Bits, 2);
    Put(h, s.Compression, 4), Put(h, s.SizeImage, 4), Put(h, 2835, 4), Put(h, 2835, 4), Put(h, s.ClrUsed, 4);
    Put(h, 0, 4);
    for (std::uint32_t m : s.Masks) Put(h, m, 4);
    h.resize(std::max<std::size_t>(h.size(), s.HeaderSize), 0);
  }
  h.insert(h.end(), s.Table.begin(), s.Table.end());
  const std::int64_t offset = 14 + std::int64_t(h.size());
  Bytes f = {'B', 'M'};
  Put(f, std::uint32_t(offset + std::int64_t(s.Pixels.size()) + s.FileSizeDelta), 4), Put(f, 0, 4);
  Put(f, std::uint32_t(offset + s.OffsetDelta), 4);
  f.insert(f.end(), h.begin(), h.end());
  if (s.OffsetDelta > 0) f.resize(f.size() + s.OffsetDelta, 0xAA);
  f.insert(f.end(), s.Pixels.begin(), s.Pixels.end());
  return f;
}

DibImage Decode(const Bytes& file) {
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), std::int64_t(file.size()));
  stream.SetPosition(0);
  return DecodeBmp(&stream);
}

Bytes Encode(const DibImage& image) {
  TMemoryStream stream;
  EncodeBmp(&stream, image);
  const auto* p = static_cast<const std::uint8_t*>(stream.Memory());
  return Bytes(p, p + stream.Size());
}

std::uint32_t Field(const Bytes& f, std::size_t at) { return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | f[at + 3] << 24; }

TEST(BmpFile, EncodeThenDecodeIsTheIdentityForEveryDepthAndRowPadding) {
  std::mt19937 random(7);
  for (int bits : {1, 4, 8, 16, 16565, 24, 32}) {
    for (int width = 1; width <= 9; ++width) {
      SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
      DibImage image;
      image.Is565 = bits == 16565;
      image.Header.biWidth = width, image.Header.biHeight = 3, image.Header.biBitCount = WORD(image.Is565 ? 16 : bits);
      const std::size_t entries = bits <= 8 ? std::size_t{1} << bits : 0;
      const std::size_t given = entries ? entries / 2 + 1 : 0;  // a short table comes back padded black
      for (std::size_t i = 0; i < given; ++i)
        image.Colors.push_back({BYTE(random()), BYTE(random()), BYTE(random()), 0});
      for (std::size_t i = 0; i < 3 * DibRowBytes(width, image.Header.biBitCount); ++i) image.Bits.push_back(BYTE(random()));

      const Bytes file = Encode(image);
      const std::uint32_t offset = 54 + (image.Is565 ? 12 : 0) + 4 * std::uint32_t(entries);
      EXPECT_EQ(file.size(), Field(file, 2));
      EXPECT_EQ(offset, Field(file, 10));
      EXPECT_EQ(image.Is565 ? BI_BITFIELDS : BI_RGB, Field(file, 30));
      if (image.Is565) { EXPECT_EQ(0x07E0u, Field(file, 58)); }

      const DibImage back = Decode(file);
      EXPECT_EQ(image.Is565, back.Is565);
      EXPECT_EQ(width, back.Header.biWidth);
      EXPECT_EQ(3, back.Header.biHeight);
      EXPECT_EQ(image.Header.biBitCount, back.Header.biBitCount);
      image.Colors.resize(entries, RGBQUAD{0, 0, 0, 0});
      if (entries) {
        EXPECT_EQ(0, std::memcmp(image.Colors.data(), back.Colors.data(), entries * 4));
      }
      EXPECT_EQ(image.Colors.size(), back.Colors.size());
      EXPECT_EQ(image.Bits, back.Bits);
    }
  }
}

TEST(BmpFile, EveryHeaderFormGivesTheSamePicture) {
  const std::vector<std::function<void(FileRecipe&)>> forms = {
      [](FileRecipe&) {},
      [](FileRecipe& s) { s.HeaderSize = 52; },
      [](FileRecipe& s) { s.HeaderSize = 56; },
      [](FileRecipe& s) { s.HeaderSize = 108; },
      [](FileRecipe& s) { s.HeaderSize = 124; },
      [](FileRecipe& s) { s.OffsetDelta = 9; },  // a gap before the pixels
      [](FileRecipe& s) { s.Height = -2, s.Pixels = {3, 2, 1, 0, 0, 1, 2, 0}; },
      [](FileRecipe& s) { s.Compression = BI_RLE8, s.Pixels = {1, 0, 1, 1, 1, 2, 0, 0, 0, 3, 3, 2, 1, 0, 0, 1}; },
      [](FileRecipe& s) {  // core header: three-byte entries filling the room before the pixels
        s.HeaderSize = 12;
        s.Table = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
      },
  };
  for (std::size_t i = 0; i < forms.size(); ++i) {
    SCOPED_TRACE(i);
    FileRecipe recipe;
    forms[i](recipe);
    const DibImage image = Decode(Build(recipe));
    EXPECT_EQ(3, image.Header.biWidth);
    EXPECT_EQ(2, image.Header.biHeight);
    EXPECT_EQ((Bytes{0, 1, 2, 0, 3, 2, 1, 0}), image.Bits);
    ASSERT_EQ(256u, image.Colors.size());
    EXPECT_EQ(0, image.Colors[0].rgbReserved);
    EXPECT_EQ(10, image.Colors[3].rgbBlue);
    EXPECT_EQ(12, image.Colors[3].rgbRed);
    EXPECT_EQ(0, image.Colors[4].rgbRed + image.Colors[255].rgbGreen);
  }
}

TEST(BmpFile, BitFieldsKeepTheBitmapLayoutsAndScaleOthers) {
  struct Case {
    WORD Bits;
    std::vector<std::uint32_t> Masks;
    std::uint32_t Pixel;
    WORD OutBits;
    bool Is565;
    Bytes Out;  // the first pixel's bytes
  };
  const Case cases[] = {
      {16, {0xF800, 0x07E0, 0x001F}, 0x8421, 16, true, {0x21, 0x84}},
      {16, {0x7C00, 0x03E0, 0x001F}, 0xFC21, 16, false, {0x21, 0xFC}},
      {16, {0x0030, 0x000E, 0x0001}, 0x0015, 24, false, {255, 73, 85}},  // 2, 3 and 1 bits, rounded
      {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x200FFC00, 32, false, {0, 255, 128, 0}},
      {32, {0xFF000000, 0x00FF0000, 0x0000FF00}, 0x11223344, 32, false, {0x33, 0x22, 0x11, 0}},
      {32, {0x00FF0000, 0x0000FF00, 0x000000FF}, 0x7F010203, 32, false, {3, 2, 1, 0x7F}},
  };
  for (const Case& c : cases) {
    for (std::uint32_t headerSize : {40u, 56u}) {
      SCOPED_TRACE(testing::Message() << std::hex << c.Masks[0] << " header " << std::dec << headerSize);
      FileRecipe recipe{.HeaderSize = headerSize, .Width = 1, .Height = 1, .Bits = c.Bits,
                    .Compression = BI_BITFIELDS, .ClrUsed = 0, .Masks = c.Masks, .Table = {}, .Pixels = {}};
      Put(recipe.Pixels, c.Pixel, 4);
      const DibImage image = Decode(Build(recipe));
      EXPECT_EQ(c.OutBits, image.Header.biBitCount);
      EXPECT_EQ(c.Is565, image.Is565);
      EXPECT_EQ(c.Out, Bytes(image.Bits.begin(), image.Bits.begin() + c.Out.size()));
    }
  }
}

TEST(BmpFile, RunLengthCodesExpandAsThePlatformDrawsThem) {
  struct Case {
    DWORD Compression;
    int Width, Height;
    Bytes Data;
    bool Ok;
    Bytes Rows;  // what the rows hold afterwards, when Ok
    std::uint8_t Fill = 0;  // what they held before
  };
  const Case cases[] = {
      {BI_RLE8, 4, 2, {3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}, true, {7, 7, 7, 0, 1, 2, 3, 0}},
      {BI_RLE8, 4, 2, {0, 2, 1, 1, 2, 9, 0, 1}, true, {0, 0, 0, 0, 0, 9, 9, 0}},  // delta skips stay 0
      {BI_RLE8, 4, 2, {0, 0, 0, 0, 0, 1}, true, {0, 0, 0, 0, 0, 0, 0, 0}},        // a line end after the last row
      {BI_RLE4, 5, 1, {3, 0x12, 0, 1}, true, {0x12, 0x10, 0, 0}},
      {BI_RLE4, 5, 2, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 1}, true, {0x12, 0x34, 0x50, 0, 0, 0, 0, 0}},
      {BI_RLE4, 8, 1, {0, 2, 2, 0, 1, 0x50, 0, 1}, true, {0xFF, 0x5F, 0xFF, 0xFF}, 0xFF},  // skipped nibbles kept
      // Beyond the row or the data: clipped, never written outside the picture.
      {BI_RLE8, 3, 2, {5, 7, 0, 0, 1, 8, 0, 1}, true, {7, 7, 7, 0xEE, 8, 0xEE, 0xEE, 0xEE}, 0xEE},  // a run past the row
      {BI_RLE8, 4, 2, {0, 4, 1, 2, 3}, true, {1, 2, 3, 0, 0, 0, 0, 0}},             // a literal past the data
      {BI_RLE8, 4, 2, {0, 2, 5, 0, 2, 9, 0, 0, 1, 8, 0, 1}, true, {0, 0, 0, 0, 8, 0, 0, 0}},  // a delta past the row
      {BI_RLE8, 4, 2, {1, 6, 0, 2, 0, 2, 1, 9, 0, 1}, true, {6, 0, 0, 0, 0, 0, 0, 0}},  // a delta past the image
      {BI_RLE8, 4, 1, {0, 0, 1, 7, 0, 1}, true, {0, 0, 0, 0}},                      // a run after the last row
      {BI_RLE8, 4, 2, {0, 0, 0, 0, 0, 0, 1, 7}, true, {0, 0, 0, 0, 0, 0, 0, 0}},    // line ends past the image
      {BI_RLE8, 4, 2, {2, 7}, true, {7, 7, 0, 0, 0, 0, 0, 0}},                      // no end-of-bitmap code
      {BI_RLE8, 4, 2, {1, 5, 0, 2, 1}, true, {5, 0, 0, 0, 0, 0, 0, 0}},             // a cut delta
      {BI_RLE4, 3, 1, {0, 4, 0x12, 0x34, 0, 1}, true, {0x12, 0x3F, 0xFF, 0xFF}, 0xFF},  // literal nibbles past the row
      {BI_RLE4, 3, 1, {4, 0x56, 0, 1}, true, {0x56, 0x5F, 0xFF, 0xFF}, 0xFF},      // a run into the padding nibble
      {BI_RGB, 4, 2, {0, 1}, false, {}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    Bytes rows(DibRowBytes(c.Width, c.Compression == BI_RLE4 ? 4 : 8) * c.Height, c.Fill);
    EXPECT_EQ(c.Ok, ExpandRle(c.Data.data(), c.Data.size(), c.Compression, c.Width, c.Height, rows.data()));
    if (c.Ok) { EXPECT_EQ(c.Rows, rows); }
  }
}

TEST(BmpFile, RefusesWhatTheHeaderCannotHonour) {
  enum Kind { Bad, Huge };
  struct Case {
    const char* What;
    std::function<void(FileRecipe&)> Change;
    Kind Expect = Bad;
    std::size_t Keep = SIZE_MAX;  // bytes of the file that remain
    char Signature = 'B';
  };
  auto bits16 = [&](std::vector<std::uint32_t> masks) {
    return [=](FileRecipe& s) {
      s.Bits = 16, s.Compression = BI_BITFIELDS, s.ClrUsed = 0, s.Table = {}, s.Masks = masks;
      s.Pixels.assign(16, 0);
    };
  };
  const Case cases[] = {
      {"header size 64", [](FileRecipe& s) { s.HeaderSize = 64; }},
      {"width 0", [](FileRecipe& s) { s.Width = 0; }},
      {"negative width", [](FileRecipe& s) { s.Width = -3; }},
      {"height 0", [](FileRecipe& s) { s.Height = 0; }},
      {"two planes", [](FileRecipe& s) { s.Planes = 2; }},
      {"2 bits", [](FileRecipe& s) { s.Bits = 2; }},
      {"0 bits", [](FileRecipe& s) { s.Bits = 0; }},
      {"16-bit core", [](FileRecipe& s) { s.HeaderSize = 12, s.Bits = 16, s.Table = {}; }},
      {"RLE8 on 4 bits", [](FileRecipe& s) { s.Bits = 4, s.Compression = BI_RLE8; }},
      {"RLE top-down", [](FileRecipe& s) { s.Height = -2, s.Compression = BI_RLE8, s.Pixels = {0, 1}; }},
      {"bit fields on 8 bits", [](FileRecipe& s) { s.Compression = BI_BITFIELDS, s.Masks = {1, 2, 4}; }},
      {"embedded JPEG", [](FileRecipe& s) { s.Compression = 4; }},
      {"zero mask", bits16({0x7C00, 0, 0x1F})},
      {"overlapping masks", bits16({0x7C00, 0x0FE0, 0x1F})},
      {"mask with a gap", bits16({0x7C00, 0x03E0, 0x15})},
      {"mask beyond 16 bits", bits16({0x1F0000, 0x03E0, 0x1F})},
      {"257 colours", [](FileRecipe& s) { s.ClrUsed = 257; }},
      {"table beyond its room", [](FileRecipe& s) { s.OffsetDelta = -1; }},
      {"24-bit table beyond its room", [](FileRecipe& s) { s.Bits = 24, s.ClrUsed = 5, s.Pixels.assign(24, 0); }},
      {"pixels beyond the file", [](FileRecipe& s) { s.OffsetDelta = 4, s.Pixels = {}, s.FileSizeDelta = -9; }, Bad, 72},
      {"file size beyond the data", [](FileRecipe& s) { s.FileSizeDelta = 1; }},
      {"image size beyond the data", [](FileRecipe& s) { s.SizeImage = 9; }},
      {"index beyond the table", [](FileRecipe& s) { s.Pixels[1] = 4; }},
      {"rows one byte short", [](FileRecipe& s) { s.Pixels.pop_back(); }},
      {"cut inside the header", [](FileRecipe& s) { s.FileSizeDelta = -60; }, Bad, 30},
      {"not a bitmap", [](FileRecipe&) {}, Bad, SIZE_MAX, 'X'},
      {"over the pixel memory cap", [](FileRecipe& s) { s.Width = s.Height = 0x7FFFFFFF, s.Bits = 24; }, Huge},
      {"rows past 64 bits", [](FileRecipe& s) { s.Width = s.Height = 0x7FFFFFFF, s.Bits = 32, s.ClrUsed = 0, s.Table = {}; }, Huge},
      {"run-length codes over the cap", [](FileRecipe& s) { s.Width = s.Height = 40000, s.Compression = BI_RLE8; }, Huge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    FileRecipe recipe;
    c.Change(recipe);
    Bytes file = Build(recipe);
    file.resize(std::min(file.size(), c.Keep));
    file[0] = std::uint8_t(c.Signature);
    if (c.Expect == Huge) EXPECT_THROW(Decode(file), EOutOfResources);
    else EXPECT_THROW(Decode(file), EInvalidGraphic);
  }
}

TEST(BmpFile, PixelsMustNameAnEntryOfTheTableWhilePaddingIsFree) {
  struct Case {
    WORD Bits;
    std::uint32_t Entries;
    Bytes Row;  // one row of 3 pixels
    bool Ok;
  };
  const Case cases[] = {
      {1, 1, {0x1F, 0, 0, 0}, true},  {1, 1, {0x20, 0, 0, 0}, false}, {4, 3, {0x22, 0x2F, 0, 0}, true},
      {4, 3, {0x22, 0x32, 0, 0}, false}, {4, 3, {0x23, 0x22, 0, 0}, false}, {8, 3, {2, 2, 3, 0}, false},
      {8, 3, {2, 2, 2, 9}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Bits << " bits, " << int(c.Row[0]) << " " << int(c.Row[1]));
    FileRecipe recipe;
    recipe.Height = 1, recipe.Bits = c.Bits, recipe.ClrUsed = c.Entries, recipe.Pixels = c.Row;
    recipe.Table.resize(c.Entries * 4);
    if (c.Ok) EXPECT_NO_THROW(Decode(Build(recipe)));
    else EXPECT_THROW(Decode(Build(recipe)), EInvalidGraphic);
  }
}

TEST(BmpFile, ReadsFromTheStreamPositionAndStopsAfterThePixels) {
  FileRecipe recipe;
  recipe.Pixels[0] = 2;
  const Bytes first = Build(FileRecipe{}), second = Build(recipe);
  TMemoryStream stream;
  stream.WriteBuffer("abc", 3);
  stream.WriteBuffer(first.data(), std::int64_t(first.size()));
  stream.WriteBuffer(second.data(), std::int64_t(second.size()));
  stream.SetPosition(3);
  EXPECT_EQ(0, DecodeBmp(&stream).Bits[0]);
  EXPECT_EQ(std::int64_t(3 + first.size()), stream.Position());
  EXPECT_EQ(2, DecodeBmp(&stream).Bits[0]);
}

TEST(BmpFile, WriterRefusesAnImageItCannotWriteAndWritesNothing) {
  const std::vector<std::function<void(DibImage&)>> faults = {
      [](DibImage& i) { i.Header.biWidth = 0; },
      [](DibImage& i) { i.Header.biHeight = 0; },
      [](DibImage& i) { i.Header.biBitCount = 2; },
      [](DibImage& i) { i.Is565 = true; },
      [](DibImage& i) { i.Bits.pop_back(); },
      [](DibImage& i) { i.Colors.resize(257); },
  };
  for (std::size_t n = 0; n < faults.size(); ++n) {
    SCOPED_TRACE(n);
    DibImage image = Decode(Build(FileRecipe{}));
    faults[n](image);
    TMemoryStream stream;
    EXPECT_THROW(EncodeBmp(&stream, image), EWriteError);
    EXPECT_EQ(0, stream.Size());
  }
}

// Spoiled copies of good files: each either decodes or is refused, never read out of bounds.
TEST(BmpFile, SpoiledFilesDecodeOrAreRefused) {
  std::mt19937 random(11);
  const std::string folder = CORPORA_DIR "/bmpsuite/g";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++files;
    TMemoryStream original;
    original.LoadFromFile(entry.path().string());
    const auto* p = static_cast<const std::uint8_t*>(original.Memory());
    for (int round = 0; round < 60; ++round) {
      Bytes file(p, p + original.Size());
      for (int n = random() % 4 + 1; n > 0; --n) {
        const std::size_t at = random() % (round % 2 ? file.size() : 80);  // headers more often
        file[at] = std::uint8_t(random() % 3 == 0 ? 0xFF : random());
      }
      if (round % 5 == 0) file.resize(random() % file.size());
      try {
        Decode(file);
      } catch (const EInvalidGraphic&) {
      } catch (const EOutOfResources&) {
      }
    }
  }
  EXPECT_GT(files, 20) << "the BMP suite is missing from " << folder;
}

}  // namespace
