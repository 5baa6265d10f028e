// BMP files in and out of the platform's own bitmap layout. A plain record with no tie to
// TBitmap, so that the bitmap and the device stand-in can share one reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "classlib/gdi.h"
#include "classlib/streams.h"

// What a BMP file decodes to.
struct DibImage {
  // biSize 40, biWidth > 0, biHeight > 0 (rows bottom-up), biPlanes 1, BI_RGB (also when Is565),
  // biBitCount 1, 4, 8, 16 (5-5-5, or 5-6-5 with Is565), 24 or 32 (B, G, R, x);
  // biSizeImage holds the bytes of the rows, biClrUsed the number of Colors.
  BITMAPINFOHEADER Header{};
  bool Is565 = false;
  // 2^bits entries for 1, 4 and 8 bits (entries the file lacks are black), empty otherwise.
  std::vector<RGBQUAD> Colors;
  // Rows padded to four bytes, bottom-up (empty when they were decoded into a caller's memory).
  std::vector<std::uint8_t> Bits;
};

// Bytes of one row of width pixels at bits per pixel, padded to four bytes.
std::uint64_t DibRowBytes(std::uint64_t width, unsigned bits);

// Where the rows go: given the image's header and colours, returns Header.biSizeImage
// zeroed bytes, the caller's own, that stay valid while the reader fills them; or throws.
using DibPixels = std::function<std::uint8_t*(const DibImage& image)>;

// Reads a BMP file at the stream's position, leaving the position after what it read.
// Anything the header cannot honour raises EInvalidGraphic(SInvalidBitmap); pixel memory
// beyond MaxPixelBytes raises EOutOfResources(SOutOfResources), before any is asked for.
// The first form keeps the rows in the image's Bits. The second decodes them straight into
// the memory pixels gives and returns the image without Bits, so that a load holds one
// copy of a picture, not two; after a throw that memory holds a part of the rows.
DibImage DecodeBmp(TStream* stream);
DibImage DecodeBmp(TStream* stream, const DibPixels& pixels);

// Writes the file header, a 40-byte info header, the colour table (2^bits entries for
// indexed images), then the rows bottom-up. 5-6-5 images carry BI_BITFIELDS masks.
// An empty image, or one whose header disagrees with its colours or bits, raises
// EWriteError(SWriteError) before anything is written.
void EncodeBmp(TStream* stream, const DibImage& image);

// Expands BI_RLE8 (8 bits) or BI_RLE4 (4 bits) codes into plain bottom-up rows of
// width × height pixels, each row padded to four bytes, as the platform draws them: pixels
// of a run beyond the row are dropped, a move below the last row or the end of the data
// ends the picture, and nothing is written outside the picture's pixels. rows must hold
// DibRowBytes(width, bits) × height bytes; pixels the codes skip keep what rows held, so a
// caller that zeroes rows first gets index 0 there. Returns false only when compression is
// not RLE or the size is not positive.
bool ExpandRle(const std::uint8_t* data, std::size_t size, DWORD compression, int width, int height,
               std::uint8_t* rows);
