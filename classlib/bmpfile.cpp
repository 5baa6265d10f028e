#include "classlib/bmpfile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "classlib/errors.h"
#include "classlib/sizes.h"

namespace {

constexpr std::uint64_t kFileHeaderBytes = 14;
constexpr std::uint64_t kInfoHeaderBytes = 40;
constexpr std::uint64_t kMaskBytes = 12;

[[noreturn]] void Invalid() { throw EInvalidGraphic(SInvalidBitmap); }
[[noreturn]] void TooLarge() { throw EOutOfResources(SOutOfResources); }
[[noreturn]] void Unwritable() { throw EWriteError(SWriteError); }

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

bool IsIndexed(unsigned bits) { return bits == 1 || bits == 4 || bits == 8; }

// A short read means the file ends inside something its header promised.
void ReadExact(TStream* stream, void* buffer, std::uint64_t count) {
  if (count != 0 && stream->Read(buffer, static_cast<std::int64_t>(count)) != static_cast<std::int64_t>(count))
    Invalid();
}

// One colour channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct Channel {
  std::uint32_t Mask = 0;
  unsigned Shift = 0;
  std::uint64_t Max = 0;  // the channel's largest value, 2^width - 1

  std::uint8_t Scale(std::uint32_t pixel) const {
    const std::uint64_t v = (pixel & Mask) >> Shift;
    return static_cast<std::uint8_t>((v * 255 + Max / 2) / Max);
  }
};

// Masks must be non-empty runs of bits inside the pixel and must not overlap: anything
// else has no defined colour.
std::array<Channel, 3> MakeChannels(const std::array<std::uint32_t, 3>& masks, unsigned bits) {
  std::array<Channel, 3> channels;
  std::uint32_t seen = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint32_t mask = masks[i];
    if (mask == 0 || (mask & seen) != 0) Invalid();
    if (bits == 16 && mask > 0xFFFF) Invalid();
    seen |= mask;
    unsigned shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const std::uint64_t max = std::uint64_t{mask} >> shift;
    if ((max & (max + 1)) != 0) Invalid();  // a gap inside the run
    channels[i] = Channel{mask, shift, max};
  }
  return channels;
}

// What the headers say, checked against the room the file gives them.
struct Layout {
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // always positive
  bool TopDown = false;
  unsigned Bits = 0;
  DWORD Compression = BI_RGB;
  std::array<std::uint32_t, 3> Masks{};  // red, green, blue
  bool HasMasks = false;
  bool Core = false;
  std::uint64_t TableEntries = 0;  // entries the file holds
  std::uint64_t PixelOffset = 0;
  std::uint64_t PixelBytes = 0;  // compressed size for RLE, 0 when unknown
  std::uint64_t FileSize = 0;
  LONG XPelsPerMeter = 0;
  LONG YPelsPerMeter = 0;
};

Layout ReadLayout(TStream* stream, std::uint64_t available) {
  std::uint8_t head[kFileHeaderBytes + 4];
  ReadExact(stream, head, sizeof head);
  if (head[0] != 'B' || head[1] != 'M') Invalid();
  Layout layout;
  layout.FileSize = Le32(head + 2);
  layout.PixelOffset = Le32(head + 10);
  const std::uint32_t headerSize = Le32(head + 14);
  if (layout.FileSize > available) Invalid();

  // Core (12), info (40), its two extensions with masks (52, 56), and the 108 and 124 forms.
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
      headerSize != 124)
    Invalid();
  std::uint8_t h[124] = {};
  ReadExact(stream, h + 4, headerSize - 4);

  unsigned planes = 0;
  std::uint64_t clrUsed = 0;
  if (headerSize == 12) {
    layout.Core = true;
    layout.Width = Le16(h + 4);
    layout.Height = Le16(h + 6);
    planes = Le16(h + 8);
    layout.Bits = Le16(h + 10);
  } else {
    layout.Width = static_cast<std::int32_t>(Le32(h + 4));
    layout.Height = static_cast<std::int32_t>(Le32(h + 8));
    planes = Le16(h + 12);
    layout.Bits = Le16(h + 14);
    layout.Compression = Le32(h + 16);
    layout.PixelBytes = Le32(h + 20);
    layout.XPelsPerMeter = static_cast<std::int32_t>(Le32(h + 24));
    layout.YPelsPerMeter = static_cast<std::int32_t>(Le32(h + 28));
    clrUsed = Le32(h + 32);
  }
  if (layout.Height < 0) {
    layout.TopDown = true;
    layout.Height = -layout.Height;
  }
  if (planes != 1 || layout.Width <= 0 || layout.Height <= 0) Invalid();

  const unsigned bits = layout.Bits;
  switch (layout.Compression) {
    case BI_RGB:
      if (!IsIndexed(bits) && bits != 16 && bits != 24 && bits != 32) Invalid();
      if (layout.Core && bits != 1 && bits != 4 && bits != 8 && bits != 24) Invalid();
      break;
    case BI_RLE8:
    case BI_RLE4:
      // Run-length data can only be stored bottom-up.
      if (bits != (layout.Compression == BI_RLE8 ? 8u : 4u) || layout.TopDown) Invalid();
      break;
    case BI_BITFIELDS:
      if (bits != 16 && bits != 32) Invalid();
      layout.HasMasks = true;
      break;
    default:
      Invalid();
  }

  std::uint64_t tableStart = kFileHeaderBytes + headerSize;
  if (layout.HasMasks) {
    if (headerSize == 40) {
      ReadExact(stream, h + 40, kMaskBytes);
      tableStart += kMaskBytes;
    }
    layout.Masks = {Le32(h + 40), Le32(h + 44), Le32(h + 48)};
  }
  if (layout.PixelOffset < tableStart || layout.PixelOffset > available) Invalid();
  const std::uint64_t room = layout.PixelOffset - tableStart;

  if (layout.Core) {
    // The core form has no count: the table fills the room before the pixels, up to 2^bits.
    layout.TableEntries = IsIndexed(bits) ? std::min<std::uint64_t>(std::uint64_t{1} << bits, room / 3) : 0;
  } else {
    if (IsIndexed(bits)) {
      const std::uint64_t full = std::uint64_t{1} << bits;
      if (clrUsed > full) Invalid();
      layout.TableEntries = clrUsed == 0 ? full : clrUsed;
    } else {
      layout.TableEntries = clrUsed;  // a table of suggestions, skipped
    }
    const auto tableBytes = CheckedMulAdd(static_cast<std::int64_t>(layout.TableEntries), 4);
    if (!tableBytes || static_cast<std::uint64_t>(*tableBytes) > room) Invalid();
  }
  return layout;
}

std::vector<RGBQUAD> ReadColors(TStream* stream, const Layout& layout) {
  if (!IsIndexed(layout.Bits)) return {};
  std::vector<RGBQUAD> colours(std::size_t{1} << layout.Bits, RGBQUAD{0, 0, 0, 0});
  const unsigned entryBytes = layout.Core ? 3 : 4;
  std::vector<std::uint8_t> table(layout.TableEntries * entryBytes);
  ReadExact(stream, table.data(), table.size());
  for (std::size_t i = 0; i < layout.TableEntries; ++i) {
    const std::uint8_t* e = table.data() + i * entryBytes;
    colours[i] = RGBQUAD{e[0], e[1], e[2], 0};
  }
  return colours;
}

// Every pixel of an indexed image must name an entry the file gave. Whole bytes go through
// a table of the values that hold a missing index, so even the largest image checks quickly.
void CheckIndices(const BITMAPINFOHEADER& header, const std::uint8_t* rows, std::uint64_t entries) {
  const unsigned bits = header.biBitCount;
  if (entries >= (std::uint64_t{1} << bits)) return;
  const unsigned perByte = 8 / bits;
  const unsigned valueMask = (1u << bits) - 1;
  bool bad[256] = {};
  for (unsigned byte = 0; byte < 256; ++byte)
    for (unsigned i = 0; i < perByte; ++i)
      bad[byte] = bad[byte] || ((byte >> (i * bits)) & valueMask) >= entries;

  const std::uint64_t width = static_cast<std::uint64_t>(header.biWidth);
  const std::uint64_t stride = DibRowBytes(width, bits);
  const std::uint64_t wholeBytes = width / perByte;
  const unsigned rest = static_cast<unsigned>(width % perByte);  // pixels of a last, partial byte
  for (const std::uint8_t* row = rows; row < rows + header.biSizeImage; row += stride) {
    for (std::uint64_t x = 0; x < wholeBytes; ++x)
      if (bad[row[x]]) Invalid();
    for (unsigned i = 0; i < rest; ++i)
      if (((row[wholeBytes] >> (8 - bits * (i + 1))) & valueMask) >= entries) Invalid();
  }
}

// The bit-field layouts the bitmap keeps as they are; other masks are widened to 8 bits a channel.
bool IsPlain555(const std::array<std::uint32_t, 3>& m) { return m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F; }
bool IsPlain565(const std::array<std::uint32_t, 3>& m) { return m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F; }
bool IsPlain888(const std::array<std::uint32_t, 3>& m) {
  return m[0] == 0x00FF0000 && m[1] == 0x0000FF00 && m[2] == 0x000000FF;
}

void ConvertRow(const std::uint8_t* src, std::uint8_t* dst, std::uint64_t width, unsigned srcBits,
                unsigned dstBits, const std::array<Channel, 3>& channels) {
  const unsigned srcStep = srcBits / 8;
  const unsigned dstStep = dstBits / 8;
  for (std::uint64_t x = 0; x < width; ++x) {
    const std::uint8_t* s = src + x * srcStep;
    const std::uint32_t pixel = srcBits == 16 ? Le16(s) : Le32(s);
    std::uint8_t* d = dst + x * dstStep;
    d[0] = channels[2].Scale(pixel);
    d[1] = channels[1].Scale(pixel);
    d[2] = channels[0].Scale(pixel);
    if (dstStep == 4) d[3] = 0;
  }
}

// The bytes of pixel data to read, refused when the file does not hold them.
std::uint64_t PixelDataBytes(const Layout& layout, std::uint64_t available) {
  const std::uint64_t room = available - layout.PixelOffset;
  if (layout.PixelBytes > room) Invalid();
  if (layout.Compression != BI_RLE8 && layout.Compression != BI_RLE4) {
    const auto rows = CheckedMulAdd(static_cast<std::int64_t>(DibRowBytes(static_cast<std::uint64_t>(layout.Width), layout.Bits)),
                                    layout.Height);
    if (!rows || static_cast<std::uint64_t>(*rows) > room) Invalid();
    return static_cast<std::uint64_t>(*rows);
  }
  std::uint64_t size = layout.PixelBytes;
  if (size == 0) size = layout.FileSize > layout.PixelOffset ? layout.FileSize - layout.PixelOffset : room;
  if (size > std::uint64_t{MaxPixelBytes}) TooLarge();
  return size;
}

void ReadRows(TStream* stream, const Layout& layout, const BITMAPINFOHEADER& header, std::uint8_t* rows,
              bool convert) {
  const std::uint64_t width = static_cast<std::uint64_t>(layout.Width);
  const std::uint64_t height = static_cast<std::uint64_t>(layout.Height);
  const std::uint64_t srcStride = DibRowBytes(width, layout.Bits);

  const unsigned dstBits = header.biBitCount;
  const std::uint64_t dstStride = DibRowBytes(width, dstBits);
  if (!convert && !layout.TopDown) {
    ReadExact(stream, rows, header.biSizeImage);
    return;
  }
  std::array<Channel, 3> channels{};
  if (convert) channels = MakeChannels(layout.Masks, layout.Bits);
  std::vector<std::uint8_t> source(convert ? srcStride : 0);
  for (std::uint64_t r = 0; r < height; ++r) {
    const std::uint64_t y = layout.TopDown ? height - 1 - r : r;
    std::uint8_t* dst = rows + y * dstStride;
    if (!convert) {
      ReadExact(stream, dst, dstStride);
      continue;
    }
    ReadExact(stream, source.data(), srcStride);
    ConvertRow(source.data(), dst, width, layout.Bits, dstBits, channels);
  }
}

void ReadRle(TStream* stream, const Layout& layout, const BITMAPINFOHEADER& header, std::uint8_t* rows,
             std::uint64_t size) {
  std::vector<std::uint8_t> data(size);
  ReadExact(stream, data.data(), size);
  if (!ExpandRle(data.data(), data.size(), layout.Compression, header.biWidth, header.biHeight, rows)) Invalid();
}

}  // namespace

std::uint64_t DibRowBytes(std::uint64_t width, unsigned bits) { return (width * bits + 31) / 32 * 4; }

DibImage DecodeBmp(TStream* stream) {
  std::vector<std::uint8_t> rows;
  DibImage image = DecodeBmp(stream, [&rows](const DibImage& described) {
    rows.assign(described.Header.biSizeImage, 0);
    return rows.data();
  });
  image.Bits = std::move(rows);
  return image;
}

DibImage DecodeBmp(TStream* stream, const DibPixels& pixels) {
  const std::int64_t start = stream->Position();
  const std::int64_t end = stream->Size();
  if (start < 0 || end < start) Invalid();
  const std::uint64_t available = static_cast<std::uint64_t>(end - start);

  const Layout layout = ReadLayout(stream, available);
  DibImage image;
  image.Colors = ReadColors(stream, layout);

  unsigned bits = layout.Bits;
  bool convert = false;
  if (layout.HasMasks) {
    MakeChannels(layout.Masks, bits);  // refuses masks with no defined colour up front
    if (bits == 16 && IsPlain565(layout.Masks)) {
      image.Is565 = true;
    } else if (bits == 16 ? !IsPlain555(layout.Masks) : !IsPlain888(layout.Masks)) {
      convert = true;
      if (bits == 16) bits = 24;
    }
  }
  BITMAPINFOHEADER& header = image.Header;
  header.biSize = kInfoHeaderBytes;
  header.biWidth = static_cast<LONG>(layout.Width);
  header.biHeight = static_cast<LONG>(layout.Height);
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biCompression = BI_RGB;
  header.biXPelsPerMeter = layout.XPelsPerMeter;
  header.biYPelsPerMeter = layout.YPelsPerMeter;
  header.biClrUsed = static_cast<DWORD>(image.Colors.size());

  // Refuse before anything large is allocated or read.
  const auto pixelBytes =
      CheckedMulAdd(static_cast<std::int64_t>(DibRowBytes(static_cast<std::uint64_t>(layout.Width), bits)), layout.Height);
  if (!pixelBytes || static_cast<std::uint64_t>(*pixelBytes) > MaxPixelBytes) TooLarge();
  const auto bytes = static_cast<std::uint64_t>(*pixelBytes);

  const std::uint64_t dataBytes = PixelDataBytes(layout, available);

  stream->SetPosition(start + static_cast<std::int64_t>(layout.PixelOffset));
  header.biSizeImage = static_cast<DWORD>(bytes);
  std::uint8_t* const rows = pixels(image);
  if (rows == nullptr) TooLarge();
  if (layout.Compression == BI_RLE8 || layout.Compression == BI_RLE4)
    ReadRle(stream, layout, header, rows, dataBytes);
  else
    ReadRows(stream, layout, header, rows, convert);
  if (IsIndexed(bits)) CheckIndices(header, rows, layout.TableEntries);
  return image;
}

void EncodeBmp(TStream* stream, const DibImage& image) {
  const BITMAPINFOHEADER& in = image.Header;
  const unsigned bits = in.biBitCount;
  if (in.biWidth <= 0 || in.biHeight <= 0) Unwritable();
  if (!IsIndexed(bits) && bits != 16 && bits != 24 && bits != 32) Unwritable();
  if (image.Is565 && bits != 16) Unwritable();
  const std::uint64_t stride = DibRowBytes(static_cast<std::uint64_t>(in.biWidth), bits);
  const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(in.biHeight);
  if (image.Bits.size() < pixelBytes) Unwritable();
  const std::uint64_t entries = IsIndexed(bits) ? std::uint64_t{1} << bits : 0;
  if (image.Colors.size() > entries) Unwritable();

  const std::uint64_t maskBytes = image.Is565 ? kMaskBytes : 0;
  const std::uint64_t offset = kFileHeaderBytes + kInfoHeaderBytes + maskBytes + entries * 4;
  const std::uint64_t fileSize = offset + pixelBytes;
  if (fileSize > 0xFFFFFFFFu) Unwritable();

  std::vector<std::uint8_t> head(offset, 0);
  std::uint8_t* p = head.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<std::uint32_t>(fileSize));
  Put32(p + 10, static_cast<std::uint32_t>(offset));
  p += kFileHeaderBytes;
  Put32(p, kInfoHeaderBytes);
  Put32(p + 4, static_cast<std::uint32_t>(in.biWidth));
  Put32(p + 8, static_cast<std::uint32_t>(in.biHeight));
  Put16(p + 12, 1);
  Put16(p + 14, bits);
  Put32(p + 16, image.Is565 ? BI_BITFIELDS : BI_RGB);
  Put32(p + 20, static_cast<std::uint32_t>(pixelBytes));
  Put32(p + 24, static_cast<std::uint32_t>(in.biXPelsPerMeter));
  Put32(p + 28, static_cast<std::uint32_t>(in.biYPelsPerMeter));
  Put32(p + 32, static_cast<std::uint32_t>(entries));
  p += kInfoHeaderBytes;
  if (image.Is565) {
    Put32(p, 0xF800);
    Put32(p + 4, 0x07E0);
    Put32(p + 8, 0x001F);
    p += kMaskBytes;
  }
  for (const RGBQUAD& c : image.Colors) {
    p[0] = c.rgbBlue;
    p[1] = c.rgbGreen;
    p[2] = c.rgbRed;
    p += 4;  // the fourth byte stays 0; entries the image lacks stay black
  }
  stream->WriteBuffer(head.data(), static_cast<std::int64_t>(head.size()));
  stream->WriteBuffer(image.Bits.data(), static_cast<std::int64_t>(pixelBytes));
}

bool ExpandRle(const std::uint8_t* data, std::size_t size, DWORD compression, int width, int height,
               std::uint8_t* rows) {
  if ((compression != BI_RLE8 && compression != BI_RLE4) || width <= 0 || height <= 0) return false;
  const bool eight = compression == BI_RLE8;
  const std::uint64_t w = static_cast<std::uint64_t>(width);
  const std::uint64_t h = static_cast<std::uint64_t>(height);
  const std::uint64_t stride = DibRowBytes(w, eight ? 8 : 4);
  // Encoders in the wild run past the row (some encode the padding too) and leave out the
  // end-of-bitmap code; the platform shows such pictures, so pixels beyond the row are
  // dropped while the codes are still read in step, and a move below the last row or the
  // end of the data ends the picture. x may pass w; nothing is placed there.
  std::uint64_t x = 0;
  std::uint64_t y = 0;
  std::size_t pos = 0;

  // Places pixels x .. x + count - 1 that lie inside the row; pixel i has value(i).
  auto place = [&](std::uint64_t count, auto value) {
    std::uint8_t* row = rows + y * stride;
    const std::uint64_t end = std::min(x + count, w);
    for (std::uint64_t at = x; at < end; ++at) {
      const unsigned v = value(at - x);
      if (eight) {
        row[at] = static_cast<std::uint8_t>(v);
      } else if (at % 2 == 0) {
        row[at / 2] = static_cast<std::uint8_t>((row[at / 2] & 0x0F) | (v << 4));
      } else {
        row[at / 2] = static_cast<std::uint8_t>((row[at / 2] & 0xF0) | (v & 0x0F));
      }
    }
    x += count;
  };

  while (size - pos >= 2 && y < h) {
    const unsigned count = data[pos];
    const unsigned code = data[pos + 1];
    pos += 2;
    if (count > 0) {
      // A run: count pixels of one value (RLE4: two values taking turns).
      place(count, [&](std::uint64_t i) { return eight ? code : (i % 2 == 0 ? code >> 4 : code & 0x0F); });
      continue;
    }
    switch (code) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta: move right and up
        if (size - pos < 2) return true;
        x += data[pos];
        y += data[pos + 1];
        pos += 2;
        break;
      default: {  // literal pixels, padded to a 16-bit boundary; a cut literal places what it holds
        const std::size_t bytes = eight ? code : (code + 1) / 2;
        const std::size_t held = std::min(bytes, size - pos);
        const std::uint8_t* literal = data + pos;
        place(std::min<std::uint64_t>(code, eight ? held : held * 2), [&](std::uint64_t i) -> unsigned {
          return eight ? literal[i] : (i % 2 == 0 ? literal[i / 2] >> 4 : literal[i / 2] & 0x0F);
        });
        pos += std::min(bytes + (bytes & 1), size - pos);
        break;
      }
    }
  }
  return true;
}
