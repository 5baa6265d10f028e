#include "dib/UlmDIB_Data.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// The core-header conversion and the readers treat Header and Colors as one byte area,
// the way a packed DIB lies in memory.
static_assert(offsetof(DIBInfos, Colors) == offsetof(DIBInfos, Header) + sizeof(BITMAPINFOHEADER));

namespace {

constexpr LONG kDefaultPelsPerMeter = 3780;
constexpr WORD kBitmapType = 0x4D42;  // "BM"
constexpr std::int64_t kHeaderAreaBytes = sizeof(BITMAPINFOHEADER) + sizeof(DIBInfos::Colors);

const char* const kInvalidWidthOrHeight = "TUlmInternalDIB.LoadFromStream: Invalid Width or Height";
const char* const kInvalidMasks = "TUlmInternalDIB.LoadFromStream: Invalid Masks";
const char* const kBfOffBitsTooSmall = "TUlmInternalDIB.LoadFromFile: bfOffBits is too small";
const char* const kInvalidClipboardData = "TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Data";

unsigned char* HeaderArea(DIBInfos& infos) {
  return reinterpret_cast<unsigned char*>(&infos) + offsetof(DIBInfos, Header);
}

std::int64_t AbsHeight(const BITMAPINFOHEADER& header) {
  return header.biHeight < 0 ? -std::int64_t{header.biHeight} : std::int64_t{header.biHeight};
}

bool IsRunLength(const BITMAPINFOHEADER& header) {
  return (header.biBitCount == 8 && header.biCompression == BI_RLE8) ||
         (header.biBitCount == 4 && header.biCompression == BI_RLE4);
}

// Releases a reader's scratch memory unless the data adopted it.
class ScratchGuard {
public:
  ScratchGuard(DIBInfos& infos, bool useFMO) : infos_(infos), useFMO_(useFMO) {}
  ScratchGuard(const ScratchGuard&) = delete;
  ScratchGuard& operator=(const ScratchGuard&) = delete;
  ~ScratchGuard() {
    if (kept_ || infos_.Bits == nullptr) return;
    try {
      ReleaseMemory(infos_.MappingHandle, infos_.Bits, useFMO_);
    } catch (...) {
      ReportReleaseFailure("TUlmDIB: releasing a reader's scratch memory");
    }
  }
  void Keep() { kept_ = true; }

private:
  DIBInfos& infos_;
  bool useFMO_;
  bool kept_ = false;
};

// Checks what width, height and bit count ask of memory before anything is allocated.
// Run-length data carry their own size; everything else must hold every row.
void CheckPixelData(const BITMAPINFOHEADER& header, std::int64_t imageSize, const std::function<void()>& shortData) {
  const auto checked = CheckedMulAdd(UlmRowBytes(header.biWidth, header.biBitCount), AbsHeight(header));
  if (!checked || *checked > MaxPixelBytes) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);
  const std::int64_t rows = *checked;
  if (IsRunLength(header)) {
    // Run-length data run from the bottom row up; a top-down run-length bitmap is no bitmap.
    if (header.biHeight < 0) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);
    if (imageSize <= 0) shortData();
  } else if (imageSize < rows) {
    shortData();
  }
}

// The 24-bit rows of 16- or 32-bit data must fit the cap, and the source rows the data,
// before any row is fetched or a row buffer allocated. Gives the size of the 24-bit rows.
std::int64_t CheckHighColorSize(const BITMAPINFOHEADER& header, std::int64_t available,
                                const std::function<void()>& shortData) {
  const auto rows = CheckedMulAdd(UlmRowBytes(header.biWidth, 24), AbsHeight(header));
  if (!rows || *rows > MaxPixelBytes) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);
  const auto sourceRows = CheckedMulAdd(UlmRowBytes(header.biWidth, header.biBitCount), AbsHeight(header));
  if (!sourceRows || *sourceRows > available) shortData();
  return *rows;
}

// 16- and 32-bit pixels become 24-bit rows of imageSize bytes (as CheckHighColorSize gave
// it); fetchRow(r) gives source row r in stored order.
void ConvertHighColor(DIBInfos& scratch, bool useFMO, std::int64_t imageSize,
                      const std::function<const unsigned char*(std::int64_t)>& fetchRow) {
  BITMAPINFOHEADER& header = scratch.Header;
  const std::int64_t width = header.biWidth;
  const std::int64_t height = AbsHeight(header);
  const std::int64_t destStride = UlmRowBytes(width, 24);

  const bool is16 = header.biBitCount == 16;
  std::uint32_t masks[3];  // red, green, blue
  if (header.biCompression == BI_RGB) {
    if (is16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
      masks[0] = 0x00FF0000, masks[1] = 0x0000FF00, masks[2] = 0x000000FF;
    }
  } else if (header.biCompression == BI_BITFIELDS) {
    std::memcpy(masks, scratch.Colors, sizeof(masks));
  } else {
    // No masks were read for any other compression: nothing to take the channels from.
    throw EUlmDIBInvalidDIB(kInvalidMasks);
  }
  if (masks[0] == 0 || masks[1] == 0 || masks[2] == 0) throw EUlmDIBInvalidDIB(kInvalidMasks);
  std::int32_t shifts[3];
  std::uint32_t tops[3];
  for (int c = 0; c < 3; ++c) {
    shifts[c] = MaskShift(masks[c]);
    tops[c] = shifts[c] >= 0 ? masks[c] >> shifts[c] : masks[c] << -shifts[c];
  }

  GetMemory(imageSize, scratch.MappingHandle, scratch.Bits, useFMO);
  scratch.ImageSize = static_cast<std::int32_t>(imageSize);
  auto* dest = static_cast<unsigned char*>(scratch.Bits);
  for (std::int64_t r = 0; r < height; ++r) {
    const unsigned char* source = fetchRow(r);
    // The row padding stays as GetMemory left it: zero.
    unsigned char* row = dest + r * destStride;
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint32_t p;
      if (is16) {
        p = source[2 * x] | (std::uint32_t{source[2 * x + 1]} << 8);
      } else {
        std::memcpy(&p, source + 4 * x, 4);
      }
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t masked = p & masks[c];
        const std::uint32_t value = shifts[c] >= 0 ? masked >> shifts[c] : masked << -shifts[c];
        row[3 * x + 2 - c] = static_cast<unsigned char>(value * 255 / tops[c]);
      }
    }
  }
  if (header.biCompression == BI_BITFIELDS) std::memmove(scratch.Colors, scratch.Colors + 3, 256 * sizeof(RGBQUAD));
  header.biCompression = BI_RGB;
  header.biBitCount = 24;
  header.biSizeImage = 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Free routines

void GetMemory(std::int64_t size, HANDLE& mappingHandle, void*& bits, bool useFMO) {
  mappingHandle = 0;
  bits = nullptr;
  const bool sizeOk = size >= 0 && size <= MaxPixelBytes;
  if (useFMO) {
    const HANDLE mapping = sizeOk ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                       static_cast<DWORD>(size), nullptr)
                                  : 0;
    if (mapping == 0) throw EOutOfResources("GetMemory: Cannot Make File Mapping Object");
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (view == nullptr) {
      CloseHandle(mapping);
      throw EOutOfResources("GetMemory: Cannot Make View of File Map");
    }
    mappingHandle = mapping;
    bits = view;
    return;
  }
  void* block = sizeOk ? std::calloc(static_cast<std::size_t>(std::max<std::int64_t>(size, 1)), 1) : nullptr;
  if (block == nullptr) throw EOutOfMemory(SOutOfMemory);
  bits = block;
}

void ReleaseMemory(HANDLE mappingHandle, void* bits, bool useFMO) {
  if (!useFMO) {
    std::free(bits);
    return;
  }
  if (bits == nullptr && mappingHandle == 0) return;
  const bool unmapped = UnmapViewOfFile(bits);
  const bool closed = CloseHandle(mappingHandle);
  UlmDIBAssert(unmapped, "ReleaseMemory: Failed To Unmap View of File map");
  UlmDIBAssert(closed, "ReleaseMemory: Failed To Close File Map");
}

HPALETTE GetPaletteFromDIBInfos(const DIBInfos& infos) {
  const DWORD count = std::min<DWORD>(infos.Header.biClrUsed, 256);
  if (count == 0) return 0;
  auto palette = std::make_unique<LOGPALETTE>();
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(count);
  for (DWORD i = 0; i < count; ++i) {
    const RGBQUAD& c = infos.Colors[i];
    palette->palPalEntry[i] = PALETTEENTRY{c.rgbRed, c.rgbGreen, c.rgbBlue, 0};
  }
  const HPALETTE handle = CreatePalette(palette.get());
  if (handle == 0) throw EOutOfResources("GetPaletteFromDIBInfos: Cannot Make Palette");
  return handle;
}

void FixResolutions(BITMAPINFOHEADER& header) {
  if (header.biXPelsPerMeter == 0) header.biXPelsPerMeter = kDefaultPelsPerMeter;
  if (header.biYPelsPerMeter == 0) header.biYPelsPerMeter = kDefaultPelsPerMeter;
}

std::int32_t ColorsOfBitCount(std::int32_t bitCount) {
  switch (bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

std::int32_t MaskShift(std::uint32_t mask) {
  if (mask == 0) return 0;  // callers refuse zero masks; never spin on one
  std::int32_t shift = 0;
  while (mask >= 256) mask >>= 1, ++shift;
  while (mask < 128) mask <<= 1, --shift;
  return shift;
}

void ConvertCoreHeader(DIBInfos& infos) {
  const unsigned char* raw = HeaderArea(infos);
  BITMAPCOREHEADER core;
  std::memcpy(&core, raw, sizeof(core));
  const std::int32_t count = ColorsOfBitCount(core.bcBitCount);
  // The triples lie where the new header and table go: build aside, then write back.
  DIBInfos converted = infos;
  converted.Header = BITMAPINFOHEADER{};
  BITMAPINFOHEADER& h = converted.Header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = core.bcWidth;
  h.biHeight = core.bcHeight;
  h.biPlanes = core.bcPlanes;
  h.biBitCount = core.bcBitCount;
  h.biCompression = BI_RGB;
  h.biXPelsPerMeter = kDefaultPelsPerMeter;
  h.biYPelsPerMeter = kDefaultPelsPerMeter;
  h.biClrUsed = static_cast<DWORD>(count);
  std::memset(converted.Colors, 0, sizeof(converted.Colors));
  for (std::int32_t i = 0; i < count; ++i) {
    const unsigned char* t = raw + sizeof(core) + 3 * i;
    converted.Colors[i] = RGBQUAD{t[0], t[1], t[2], 0};
  }
  infos = converted;
}

// ---------------------------------------------------------------------------------------------
// TUlmInternalDIB

TUlmInternalDIB::TUlmInternalDIB(bool useFMO) : UseFMO(useFMO ? 1 : 0) { CreateDIB(1, 1, 8, 256); }

TUlmInternalDIB::~TUlmInternalDIB() {
  try {
    FreeDIB();
  } catch (...) {
    ReportReleaseFailure("TUlmInternalDIB: releasing the pixel memory");
  }
}

void TUlmInternalDIB::CreateDIB(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                                std::int32_t colorCount) {
  const bool bitsOk = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
  if (width <= 0 || height == 0 || colorCount < 0 || colorCount > 256 || !bitsOk) {
    throw EUlmDIBInvalidDIBPara("TUlmInternalDIB.CreateDIB: Invalid Parameters");
  }
  const std::int64_t absHeight = height < 0 ? -std::int64_t{height} : height;
  // A size past 64 bits is refused by GetMemory like any size beyond its cap.
  const std::int64_t size = CheckedMulAdd(absHeight, UlmRowBytes(width, bitCount)).value_or(-1);
  HANDLE mapping = 0;
  void* bits = nullptr;
  GetMemory(size, mapping, bits, UseFMO != 0);

  DIBInfos.ImageSize = static_cast<std::int32_t>(size);
  DIBInfos.MappingHandle = mapping;
  DIBInfos.Bits = bits;
  PaletteHandle = 0;
  Width = width;
  Height = static_cast<std::int32_t>(absHeight);
  BITMAPINFOHEADER& h = DIBInfos.Header;
  h = BITMAPINFOHEADER{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bitCount);
  h.biCompression = BI_RGB;
  h.biXPelsPerMeter = kDefaultPelsPerMeter;
  h.biYPelsPerMeter = kDefaultPelsPerMeter;
  h.biClrUsed = static_cast<DWORD>(colorCount);
  std::memset(DIBInfos.Colors, 0, sizeof(DIBInfos.Colors));
  PaletteChanged = 1;
}

void TUlmInternalDIB::FreeDIB() {
  const HANDLE mapping = DIBInfos.MappingHandle;
  void* bits = DIBInfos.Bits;
  DIBInfos.ImageSize = 0;
  DIBInfos.MappingHandle = 0;
  DIBInfos.Bits = nullptr;
  if (PaletteHandle != 0) DeleteObject(PaletteHandle);
  PaletteHandle = 0;
  if (bits != nullptr) ReleaseMemory(mapping, bits, UseFMO != 0);
}

void TUlmInternalDIB::UpdatePalette() {
  UlmDIBAssert(RefCount == 1, "TUlmInternalDIB.UpdatePalette: RefCount Must be 1");
  if (PaletteHandle != 0) DeleteObject(PaletteHandle);
  PaletteHandle = 0;
  PaletteChanged = 1;
}

HPALETTE TUlmInternalDIB::MakePalette() const { return GetPaletteFromDIBInfos(DIBInfos); }

void TUlmInternalDIB::Adopt(const ::DIBInfos& loaded) {
  FreeDIB();
  DIBInfos = loaded;
  Width = loaded.Header.biWidth;
  Height = static_cast<std::int32_t>(AbsHeight(loaded.Header));
  UpdatePalette();
}

void TUlmInternalDIB::LoadFromStream(TStream* stream) {
  ::DIBInfos scratch;
  ScratchGuard guard(scratch, UseFMO != 0);
  BITMAPINFOHEADER& h = scratch.Header;
  unsigned char* raw = HeaderArea(scratch);
  const auto readError = [] { throw EReadError(SReadError); };

  BITMAPFILEHEADER file;
  stream->ReadBuffer(&file, sizeof(file));
  if (file.bfType != kBitmapType) throw EUlmDIBInvalidDIBFile("TUlmInternalDIB.LoadFromFile: File type is invalid");
  DWORD headerSize;
  stream->ReadBuffer(&headerSize, sizeof(headerSize));
  std::memcpy(raw, &headerSize, sizeof(headerSize));
  const std::int64_t offBits = file.bfOffBits;
  const std::int64_t imageSize = std::int64_t{file.bfSize} - offBits;

  if (headerSize == sizeof(BITMAPINFOHEADER)) {
    stream->ReadBuffer(raw + 4, sizeof(BITMAPINFOHEADER) - 4);
    FixResolutions(h);
    const WORD bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.LoadFromStream: Invalid BitCout");
    }
    std::int64_t count = h.biClrUsed;
    if (count == 0) {
      count = ColorsOfBitCount(bits);
      h.biClrUsed = static_cast<DWORD>(count);
    }
    const std::int64_t maskBytes = h.biCompression == BI_BITFIELDS ? 12 : 0;
    // A 32-bit count always fits; past 64 bits it would be refused as a short offset.
    const std::int64_t expected = CheckedMulAdd(count, 4, 14 + 40 + maskBytes).value_or(INT64_MAX);
    stream->ReadBuffer(scratch.Colors, maskBytes + std::min<std::int64_t>(count, 256) * 4);
    if (count > 256) stream->Seek(expected - (14 + 40 + maskBytes + 256 * 4), TSeekOrigin::soCurrent);
    if (offBits < expected) throw EUlmDIBInvalidDIB(kBfOffBitsTooSmall);
    stream->Seek(offBits - expected, TSeekOrigin::soCurrent);
    if (count > 256) h.biClrUsed = 256;
  } else if (headerSize == sizeof(BITMAPCOREHEADER)) {
    stream->ReadBuffer(raw + 4, sizeof(BITMAPCOREHEADER) - 4);
    BITMAPCOREHEADER core;
    std::memcpy(&core, raw, sizeof(core));
    const WORD bits = core.bcBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
      throw EUlmDIBInvalidDIB("TUlmInternalDIB.LoadFromStream: Invalid BitCount");
    }
    const std::int64_t count = ColorsOfBitCount(bits);
    stream->ReadBuffer(raw + sizeof(core), count * 3);
    const std::int64_t expected = 14 + 12 + count * 3;
    if (offBits < expected) throw EUlmDIBInvalidDIB(kBfOffBitsTooSmall);
    stream->Seek(offBits - expected, TSeekOrigin::soCurrent);
    ConvertCoreHeader(scratch);
  } else {
    throw EUlmDIBInvalidDIB("TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size");
  }
  if (h.biWidth <= 0 || h.biHeight == 0) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);

  // A size the file cannot hold is a file that ends early: say so before allocating.
  const std::int64_t remaining = stream->Size() - stream->Position();
  if (h.biBitCount == 16 || h.biBitCount == 32) {
    const std::int64_t sourceStride = UlmRowBytes(h.biWidth, h.biBitCount);
    const std::int64_t converted = CheckHighColorSize(h, remaining, readError);
    std::vector<unsigned char> row(static_cast<std::size_t>(sourceStride));
    ConvertHighColor(scratch, UseFMO != 0, converted, [&](std::int64_t) {
      stream->ReadBuffer(row.data(), sourceStride);
      return row.data();
    });
  } else {
    // A bfSize that leaves no room for the rows is a header at odds with itself, not a
    // file that failed to read.
    CheckPixelData(h, imageSize, [] { throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight); });
    if (imageSize > remaining) readError();
    if (imageSize > MaxPixelBytes) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);
    GetMemory(imageSize, scratch.MappingHandle, scratch.Bits, UseFMO != 0);
    scratch.ImageSize = static_cast<std::int32_t>(imageSize);
    stream->ReadBuffer(scratch.Bits, imageSize);
  }
  Adopt(scratch);
  guard.Keep();
}

void TUlmInternalDIB::SaveToStream(TStream* stream) const {
  const std::int64_t count = std::min<DWORD>(DIBInfos.Header.biClrUsed, 256);
  const std::int64_t offBits = 14 + 40 + 4 * count;
  std::vector<unsigned char> head(static_cast<std::size_t>(offBits));
  BITMAPFILEHEADER file{};
  file.bfType = kBitmapType;
  file.bfSize = static_cast<DWORD>(offBits + DIBInfos.ImageSize);
  file.bfOffBits = static_cast<DWORD>(offBits);
  std::memcpy(head.data(), &file, sizeof(file));
  std::memcpy(head.data() + 14, &DIBInfos.Header, sizeof(BITMAPINFOHEADER));
  std::memcpy(head.data() + 54, DIBInfos.Colors, static_cast<std::size_t>(4 * count));
  stream->WriteBuffer(head.data(), offBits);
  if (DIBInfos.ImageSize > 0) stream->WriteBuffer(DIBInfos.Bits, DIBInfos.ImageSize);
}

void TUlmInternalDIB::LoadFromClipboardFormat(HGLOBAL block) {
  const std::int64_t blockSize = static_cast<std::int64_t>(GlobalSize(block));
  const auto* base = static_cast<const unsigned char*>(GlobalLock(block));
  if (base == nullptr) throw EUlmDIBInvalidDIB(kInvalidClipboardData);
  struct Unlock {
    HGLOBAL block;
    ~Unlock() { GlobalUnlock(block); }
  } unlock{block};

  ::DIBInfos scratch;
  ScratchGuard guard(scratch, UseFMO != 0);
  BITMAPINFOHEADER& h = scratch.Header;
  unsigned char* raw = HeaderArea(scratch);
  const auto badData = [] { throw EUlmDIBInvalidDIB(kInvalidClipboardData); };

  DWORD headerSize = 0;
  if (blockSize >= 4) std::memcpy(&headerSize, base, 4);
  std::int64_t headerBytes;  // header and table, where the pixels start
  if (headerSize == sizeof(BITMAPINFOHEADER) && blockSize >= headerSize) {
    std::memcpy(&h, base, sizeof(h));
    std::int64_t count = h.biClrUsed != 0 ? std::int64_t{h.biClrUsed} : ColorsOfBitCount(h.biBitCount);
    headerBytes = CheckedMulAdd(count, 4, 40 + (h.biCompression == BI_BITFIELDS ? 12 : 0)).value_or(INT64_MAX);
    if (headerBytes > blockSize) badData();
    std::memcpy(raw, base, static_cast<std::size_t>(std::min(headerBytes, kHeaderAreaBytes)));
    FixResolutions(h);
    h.biClrUsed = static_cast<DWORD>(std::min<std::int64_t>(count, 256));
  } else if (headerSize == sizeof(BITMAPCOREHEADER) && blockSize >= headerSize) {
    BITMAPCOREHEADER core;
    std::memcpy(&core, base, sizeof(core));
    headerBytes = 12 + 3 * std::int64_t{ColorsOfBitCount(core.bcBitCount)};
    if (headerBytes > blockSize) badData();
    std::memcpy(raw, base, static_cast<std::size_t>(headerBytes));
    ConvertCoreHeader(scratch);
  } else {
    badData();
    return;
  }
  const std::int64_t imageSize = blockSize - headerBytes;
  if (h.biWidth <= 0 || h.biHeight == 0) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);

  const WORD bits = h.biBitCount;
  if (bits == 1 || bits == 4 || bits == 8 || bits == 24) {
    CheckPixelData(h, imageSize, badData);
    if (imageSize > MaxPixelBytes) throw EUlmDIBInvalidDIB(kInvalidWidthOrHeight);
    GetMemory(imageSize, scratch.MappingHandle, scratch.Bits, UseFMO != 0);
    scratch.ImageSize = static_cast<std::int32_t>(imageSize);
    std::memcpy(scratch.Bits, base + headerBytes, static_cast<std::size_t>(imageSize));
  } else if (bits == 16 || bits == 32) {
    const std::int64_t sourceStride = UlmRowBytes(h.biWidth, bits);
    const std::int64_t converted = CheckHighColorSize(h, imageSize, badData);
    ConvertHighColor(scratch, UseFMO != 0, converted,
                     [&](std::int64_t r) { return base + headerBytes + r * sourceStride; });
  } else {
    throw EUlmDIBInvalidDIB("TUlmInternalDIB.LoadFromClipboardFormat: Invalid biBitCount");
  }
  Adopt(scratch);
  guard.Keep();
}

void TUlmInternalDIB::SaveToClipboardFormat(HGLOBAL& block) const {
  const std::int64_t count = std::min<DWORD>(DIBInfos.Header.biClrUsed, 256);
  const std::int64_t headerBytes = 40 + 4 * count;
  const std::int64_t imageSize = std::max(DIBInfos.ImageSize, 0);
  const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<std::size_t>(headerBytes + imageSize));
  auto* base = memory != 0 ? static_cast<unsigned char*>(GlobalLock(memory)) : nullptr;
  if (base == nullptr) {
    if (memory != 0) GlobalFree(memory);
    throw EOutOfMemory("TUlmInternalDIB.SaveToClipboardFormat: Out Of Memory");
  }
  std::memcpy(base, &DIBInfos.Header, sizeof(BITMAPINFOHEADER));
  std::memcpy(base + 40, DIBInfos.Colors, static_cast<std::size_t>(4 * count));
  if (imageSize > 0) std::memcpy(base + headerBytes, DIBInfos.Bits, static_cast<std::size_t>(imageSize));
  GlobalUnlock(memory);
  block = memory;
}
