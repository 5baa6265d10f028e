// The PNG reader's pixel side: the bitmap format chosen per image, the bitmaps' preparation,
// the row converters and the placement of whole rows and Adam7 passes.
#include <cstring>

#include "png/PixelShuffles.h"
#include "png/SFunc.h"
#include "png/ZelPNGStream_Read.h"

namespace {

constexpr const char* SErrorBitdepthGrey = "Read Header(PNG): Error Bitdepth";
constexpr const char* SNoAlphaChannel = "Read Header(PNG): not Use AlphaChannel";
constexpr const char* SErrorBitDepth = "Read Header(PNG): Error BitDepth";

// Each 2-bit byte p0 p1 p2 p3 becomes the 4-bit bytes p0p1 and p2p3, stored as one
// little-endian word so that a row expands with one table look-up per source byte.
struct Expand2Table {
  std::uint16_t words[256];
  constexpr Expand2Table() : words() {
    for (int b = 0; b < 256; ++b) {
      const int high = (((b >> 6) & 3) << 4) | ((b >> 4) & 3);
      const int low = (((b >> 2) & 3) << 4) | (b & 3);
      words[b] = static_cast<std::uint16_t>(high | (low << 8));
    }
  }
};
constexpr Expand2Table Expand2 {};

bool IsHighColorSbit(std::uint32_t bits) {
  const std::uint32_t rgb = bits & 0xFFFFFFu;
  return rgb == 0x050505u || rgb == 0x050605u;
}

}  // namespace

void TZelPNGReadStream::SetupConverters() {
  if (BaseColorType < 0) return;
  std::int32_t pixelBits = BitDepth;
  switch (BaseColorType) {
    case ctGrey:
      if (BitDepth != 1 && BitDepth != 2 && BitDepth != 4 && BitDepth != 8 && BitDepth != 16)
        Fail(SErrorBitdepthGrey);
      if (HasAlpha && BitDepth < 8) Fail(SNoAlphaChannel);
      SourceBits = BitDepth;
      if (HasAlpha) {
        OutputBits = 8;
        pixelBits = BitDepth * 2;
        RowConverter = BitDepth == 8 ? &GreyAlpha8 : &GreyAlpha16To8;
      } else if (BitDepth == 2) {
        OutputBits = 4;
        RowConverter = &Expand2To4;
      } else if (BitDepth == 16) {
        OutputBits = 8;
        RowConverter = &Grey16To8;
      } else {
        OutputBits = BitDepth;
        RowConverter = &CopyRawRow;
      }
      break;
    case ctRGB: {
      if (BitDepth != 8 && BitDepth != 16) Fail(SErrorBitDepth);
      pixelBits = BitDepth * (HasAlpha ? 4 : 3);
      if (ReadHighColor && IsHighColorSbit(SignificantBits)) {
        OutputBits = 16;
        SourceBits = (SignificantBits & 0xFF00u) == 0x0500u ? 15 : 16;
        RowConverter = HasAlpha ? &RgbaTo565 : &RgbTo565;
      } else {
        OutputBits = 24;
        SourceBits = BitDepth * 3;
        if (HasAlpha)
          RowConverter = BitDepth == 8 ? &Rgba8ToBgr : &Rgba16ToBgr;
        else
          RowConverter = BitDepth == 8 ? &Rgb8ToBgr : &Rgb16ToBgr;
      }
      break;
    }
    default:  // palette
      if (BitDepth != 1 && BitDepth != 2 && BitDepth != 4 && BitDepth != 8) Fail(SErrorBitDepth);
      SourceBits = BitDepth;
      if (BitDepth == 2) {
        OutputBits = 4;
        RowConverter = &Expand2To4;
      } else {
        OutputBits = BitDepth;
        RowConverter = &CopyRawRow;
      }
      break;
  }
  Decoder.PixelBits = pixelBits;
  BitsPerPixel = OutputBits;

  const bool alphaRows = HasAlpha;
  if (Interlace == 0) {
    LastPass = 0;
    ImagePlacer = &PlaceRow;
    AlphaPlacer = alphaRows ? &PlaceAlphaRow : nullptr;
  } else {
    LastPass = 6;
    switch (OutputBits) {
      case 1: ImagePlacer = &PlacePass1; break;
      case 4: ImagePlacer = &PlacePass4; break;
      case 8: ImagePlacer = &PlacePass8; break;
      case 16: ImagePlacer = &PlacePass16; break;
      default: ImagePlacer = &PlacePass24; break;
    }
    // Palette transparency fills the alpha bitmap after the last chunk; rows carry none.
    AlphaPlacer = alphaRows ? &PlacePassAlpha : nullptr;
  }
}

bool TZelPNGReadStream::SetupPass(std::int32_t pass) {
  const std::int32_t bytesPerPixel = OutputBits == 24 ? 3 : OutputBits == 16 ? 2 : 1;
  if (LastPass == 0) {
    PassWidth = Width;
    PassRowFirst = 0;
    PassRowStep = 1;
    ImageStart = AlphaStart = 0;
    ImageStep = bytesPerPixel;
    AlphaStep = 1;
    return Width > 0 && Height > 0;
  }
  const Adam7Pass& geometry = Adam7Passes[pass];
  const std::int32_t column = geometry.StartColumn;
  const std::int32_t step = geometry.ColumnStep;
  PassWidth = Adam7PassWidth(pass, Width);
  const bool hasRows = Adam7PassHeight(pass, Height) > 0;
  PassRowFirst = geometry.StartRow;
  PassRowStep = geometry.RowStep;
  ImageStart = column * bytesPerPixel;
  ImageStep = step * bytesPerPixel;
  AlphaStart = column;
  AlphaStep = step;
  return PassWidth > 0 && hasRows;
}

void TZelPNGReadStream::ResolvePaletteAlpha() {
  std::int32_t zeros = 0;
  std::int32_t index = -1;
  bool partial = false;
  for (std::int32_t i = 0; i < 256; ++i) {
    if (PaletteAlpha[i] == 0) {
      ++zeros;
      index = i;
    } else if (PaletteAlpha[i] != 255) {
      partial = true;
    }
  }
  if (!partial && zeros == 1) {
    TransparentColor = PaletteIndexFlag + index;
  } else {
    TransparentColor = -1;
    PaletteAlphaPresent = true;
  }
}

void TZelPNGReadStream::PrepareBitmap() {
  if (!PaletteIndexInGrey && BaseColorType == ctGrey && OutputBits <= 8)
    PaletteCount = FillGreyQuads(PaletteBuffer(), BitDepth);
  if (TransparentColor == PaletteAlphaMarker) ResolvePaletteAlpha();
  TZelCustomGraphicReadStream::PrepareBitmap();
  if (HeaderOnly || TargetBitmap == nullptr) return;
  // An alpha bitmap that is the image itself would be overwritten by its own pixels.
  if ((HasAlpha || PaletteAlphaPresent) && AlphaBitmap != nullptr && AlphaBitmap != TargetBitmap) {
    AlphaBitmap->Assign(nullptr);
    AlphaBitmap->SetTransparent(false);
    AlphaBitmap->SetHandleType(bmDIB);
    AlphaBitmap->SetPixelFormat(pf8bit);
    AlphaBitmap->SetWidth(TargetBitmap->Width());
    AlphaBitmap->SetHeight(TargetBitmap->Height());
    RGBQUAD grey[256];
    FillGreyQuads(grey, 8);
    const HPALETTE palette = CreatePaletteFromQuads(grey, 256);
    if (palette != 0) AlphaBitmap->SetPalette(palette);
    AlphaInUse = AlphaBitmap;
  }
}

void TZelPNGReadStream::FillAlphaFromPalette() {
  std::uint8_t alphaOf[256];
  for (int i = 0; i < 256; ++i) alphaOf[i] = static_cast<std::uint8_t>(255 - PaletteAlpha[i]);
  const std::int32_t width = AlphaInUse->Width();
  const std::int32_t height = AlphaInUse->Height();
  for (std::int32_t y = 0; y < height; ++y) {
    const auto* pixels = static_cast<const std::uint8_t*>(TargetBitmap->ScanLine(y));
    auto* alpha = static_cast<std::uint8_t*>(AlphaInUse->ScanLine(y));
    switch (OutputBits) {
      case 1:
        for (std::int32_t x = 0; x < width; ++x) alpha[x] = alphaOf[(pixels[x >> 3] >> (7 - (x & 7))) & 1];
        break;
      case 4:
        for (std::int32_t x = 0; x < width; ++x)
          alpha[x] = alphaOf[(x & 1) ? (pixels[x >> 1] & 15) : (pixels[x >> 1] >> 4)];
        break;
      default:
        for (std::int32_t x = 0; x < width; ++x) alpha[x] = alphaOf[pixels[x]];
        break;
    }
  }
  HasAlpha = true;
}

// ------------------------------------------------------------------ row converters
// Each reads PassWidth pixels after the filter byte of the current raw row, writes the
// bitmap row to ConvertTarget and 255 - alpha to AlphaTarget, and returns the row to place.

const std::uint8_t* TZelPNGReadStream::CopyRawRow(TZelPNGReadStream* r) { return r->RawRow + 1; }

const std::uint8_t* TZelPNGReadStream::Expand2To4(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  const std::int64_t count = (std::int64_t{r->PassWidth} * 2 + 7) / 8;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint16_t w = Expand2.words[s[i]];
    d[2 * i] = static_cast<std::uint8_t>(w);
    d[2 * i + 1] = static_cast<std::uint8_t>(w >> 8);
  }
  return d;
}

const std::uint8_t* TZelPNGReadStream::Grey16To8(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  const std::int64_t n = r->PassWidth;
  for (std::int64_t i = 0; i < n; ++i) d[i] = s[2 * i];
  return d;
}

const std::uint8_t* TZelPNGReadStream::GreyAlpha8(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  std::uint8_t* a = r->AlphaTarget;
  const std::int64_t n = r->PassWidth;
  for (std::int64_t i = 0; i < n; ++i) {
    d[i] = s[2 * i];
    a[i] = static_cast<std::uint8_t>(255 - s[2 * i + 1]);
  }
  return d;
}

const std::uint8_t* TZelPNGReadStream::GreyAlpha16To8(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  std::uint8_t* a = r->AlphaTarget;
  const std::int64_t n = r->PassWidth;
  for (std::int64_t i = 0; i < n; ++i) {
    d[i] = s[4 * i];
    a[i] = static_cast<std::uint8_t>(255 - s[4 * i + 2]);
  }
  return d;
}

const std::uint8_t* TZelPNGReadStream::Rgb8ToBgr(TZelPNGReadStream* r) {
  SwapRedAndBlue(r->RawRow + 1, r->ConvertTarget, r->PassWidth);
  return r->ConvertTarget;
}

const std::uint8_t* TZelPNGReadStream::Rgb16ToBgr(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  const std::int64_t n = r->PassWidth;
  for (std::int64_t i = 0; i < n; ++i, s += 6, d += 3) {
    d[0] = s[4];
    d[1] = s[2];
    d[2] = s[0];
  }
  return r->ConvertTarget;
}

const std::uint8_t* TZelPNGReadStream::Rgba8ToBgr(TZelPNGReadStream* r) {
  SplitColourAndInvertedAlpha(r->RawRow + 1, r->ConvertTarget, r->AlphaTarget, r->PassWidth);
  return r->ConvertTarget;
}

const std::uint8_t* TZelPNGReadStream::Rgba16ToBgr(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  std::uint8_t* a = r->AlphaTarget;
  const std::int64_t n = r->PassWidth;
  for (std::int64_t i = 0; i < n; ++i, s += 8, d += 3) {
    d[0] = s[4];
    d[1] = s[2];
    d[2] = s[0];
    a[i] = static_cast<std::uint8_t>(255 - s[6]);
  }
  return r->ConvertTarget;
}

static inline void Store565(std::uint8_t* d, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const unsigned word = (unsigned(red >> 3) << 11) | (unsigned(green >> 2) << 5) | unsigned(blue >> 3);
  d[0] = static_cast<std::uint8_t>(word);
  d[1] = static_cast<std::uint8_t>(word >> 8);
}

const std::uint8_t* TZelPNGReadStream::RgbTo565(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  const std::int64_t n = r->PassWidth;
  // At 16 bits each sample's high byte, which comes first, stands for it.
  const std::int64_t sample = r->BitDepth == 16 ? 2 : 1;
  const std::int64_t stride = 3 * sample;
  for (std::int64_t i = 0; i < n; ++i, s += stride, d += 2) Store565(d, s[0], s[sample], s[2 * sample]);
  return r->ConvertTarget;
}

const std::uint8_t* TZelPNGReadStream::RgbaTo565(TZelPNGReadStream* r) {
  const std::uint8_t* s = r->RawRow + 1;
  std::uint8_t* d = r->ConvertTarget;
  std::uint8_t* a = r->AlphaTarget;
  const std::int64_t n = r->PassWidth;
  const std::int64_t sample = r->BitDepth == 16 ? 2 : 1;
  const std::int64_t stride = 4 * sample;
  for (std::int64_t i = 0; i < n; ++i, s += stride, d += 2) {
    Store565(d, s[0], s[sample], s[2 * sample]);
    a[i] = static_cast<std::uint8_t>(255 - s[3 * sample]);
  }
  return r->ConvertTarget;
}

// ------------------------------------------------------------------------- placers

void TZelPNGReadStream::PlaceRow(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  // A converter that wrote straight into the scanline leaves nothing to copy. A raw row may
  // lie in the decoder's block and own no byte past its pixels: the scanline's padding is
  // never copied and stays as the new bitmap had it, zero.
  if (dest != source) std::memcpy(dest, source, static_cast<std::size_t>(r->ImagePixelBytes));
}

void TZelPNGReadStream::PlaceAlphaRow(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  if (dest != source) std::memcpy(dest, source, static_cast<std::size_t>(r->PassWidth));
}

void TZelPNGReadStream::PlacePass1(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::int64_t x = r->ImageStart;
  const std::int64_t step = r->ImageStep;
  for (std::int64_t k = 0; k < n; ++k, x += step) {
    const unsigned mask = 0x80u >> (x & 7);
    std::uint8_t& byte = dest[x >> 3];
    if ((source[k >> 3] >> (7 - (k & 7))) & 1)
      byte = static_cast<std::uint8_t>(byte | mask);
    else
      byte = static_cast<std::uint8_t>(byte & ~mask);
  }
}

void TZelPNGReadStream::PlacePass4(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::int64_t x = r->ImageStart;
  const std::int64_t step = r->ImageStep;
  for (std::int64_t k = 0; k < n; ++k, x += step) {
    const unsigned nibble = (k & 1) ? (source[k >> 1] & 15u) : (source[k >> 1] >> 4);
    std::uint8_t& byte = dest[x >> 1];
    if (x & 1)
      byte = static_cast<std::uint8_t>((byte & 0xF0u) | nibble);
    else
      byte = static_cast<std::uint8_t>((byte & 0x0Fu) | (nibble << 4));
  }
}

void TZelPNGReadStream::PlacePass8(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::uint8_t* d = dest + r->ImageStart;
  const std::int64_t step = r->ImageStep;
  for (std::int64_t k = 0; k < n; ++k, d += step) *d = source[k];
}

void TZelPNGReadStream::PlacePass16(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::uint8_t* d = dest + r->ImageStart;
  const std::int64_t step = r->ImageStep;
  for (std::int64_t k = 0; k < n; ++k, d += step, source += 2) {
    d[0] = source[0];
    d[1] = source[1];
  }
}

void TZelPNGReadStream::PlacePass24(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::uint8_t* d = dest + r->ImageStart;
  const std::int64_t step = r->ImageStep;
  for (std::int64_t k = 0; k < n; ++k, d += step, source += 3) {
    d[0] = source[0];
    d[1] = source[1];
    d[2] = source[2];
  }
}

void TZelPNGReadStream::PlacePassAlpha(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source) {
  const std::int64_t n = r->PassWidth;
  std::uint8_t* d = dest + r->AlphaStart;
  const std::int64_t step = r->AlphaStep;
  for (std::int64_t k = 0; k < n; ++k, d += step) *d = source[k];
}
