// TZelPNGReadStream: reads a PNG data stream into a TBitmap (1, 4, 8, 16 or 24 bits) and,
// where the file carries transparency, an 8-bit alpha bitmap holding 255 - alpha; the
// ancillary chunks are collected into the result fields and the caller's records.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/graphics.h"
#include "png/ZelPNGStream_Common.h"
#include "png/ZelStream.h"
#include "png/ZelZLIB.h"

// Asked for the row key when a file says its rows went through a row hook; the handler
// may change the key it is given.
using TKeyRequestEvent = std::function<void(TObject* sender, std::string& key)>;

class TZelPNGReadStream : public TZelCustomGraphicReadStream {
public:
  CLASSLIB_CLASS(TZelPNGReadStream)
  TZelPNGReadStream();
  ~TZelPNGReadStream() override;

  void ReadImage() override;
  void PrepareBitmap() override;

  // Options, set before ReadFrom.
  bool CheckSignature = true;
  bool AcceptPaletteIndexInGrey = false;
  bool ReadHighColor = false;
  std::string RowHookKey;
  TBitmap* AlphaBitmap = nullptr;
  PngTimeRecord* ModifiedTime = nullptr;
  std::array<std::uint32_t, 8>* Chromaticities = nullptr;
  std::array<std::uint8_t, 4>* GifControl = nullptr;
  TKeyRequestEvent OnKeyRequest;
  RowHook OnReadRow;

  // Results (Comment, SourceBits and the physical size are the base class's fields).
  bool HasAlpha = false;
  bool Grayscale = false;
  std::uint8_t Interlace = 0;
  TColor BackgroundColor = -1;
  TColor TransparentColor = -1;
  std::uint32_t SignificantBits = 0;
  double Gamma = 0.0;
  // Each "Comment" text as the file holds it, chunk for chunk and empty ones too: Comment
  // is what the texts collect to, and cannot be split back into them.
  std::vector<std::string> CommentTexts;

  // Chunk flags.
  static constexpr std::uint32_t cfHeader = 1;
  static constexpr std::uint32_t cfDataDone = 2;
  static constexpr std::uint32_t cfEnd = 4;
  static constexpr std::uint32_t cfPalette = 8;
  static constexpr std::uint32_t cfPrivate = 16;

  // Marks a palette tRNS that is resolved once the bitmap is prepared.
  static constexpr TColor PaletteAlphaMarker = 0x01FFFFFF;

  using TRowConverter = const std::uint8_t* (*)(TZelPNGReadStream* reader);
  using TRowPlacer = void (*)(TZelPNGReadStream* reader, std::uint8_t* dest, const std::uint8_t* source);

  // Working state of one read.
  std::int32_t BitDepth = 0;
  // The colour type without its alpha bit: grey, RGB or palette.
  std::int32_t BaseColorType = -1;
  static constexpr std::int32_t ctGrey = 0;
  static constexpr std::int32_t ctRGB = 2;
  static constexpr std::int32_t ctPalette = 3;
  std::int64_t ChunkBytesLeft = 0;
  std::uint32_t ChunkType = 0;
  std::uint32_t ChunkFlags = 0;
  std::array<std::uint8_t, 256> PaletteAlpha{};
  bool PaletteAlphaPresent = false;
  bool PaletteIndexInGrey = false;
  std::string RowKey;
  TBitmap* AlphaInUse = nullptr;
  DecoderContext Decoder{};

  // Per-image choices.
  std::int32_t OutputBits = 0;
  TRowConverter RowConverter = nullptr;
  TRowPlacer ImagePlacer = nullptr;
  TRowPlacer AlphaPlacer = nullptr;
  std::int32_t LastPass = 0;
  std::int32_t PassWidth = 0;
  std::int32_t PassRowFirst = 0;
  std::int32_t PassRowStep = 1;
  std::int32_t ImageStart = 0;
  std::int32_t ImageStep = 1;
  std::int32_t AlphaStart = 0;
  std::int32_t AlphaStep = 1;
  // Bytes of an image row up to its last pixel, without the padding to four bytes.
  std::int64_t ImagePixelBytes = 0;
  // True once every row of every pass has been placed.
  bool ImageComplete = false;

  // Row memory: current and previous raw rows (filter byte first), converted row, alpha row.
  // The raw rows point into the two row buffers or into the decoder's block of inflated rows.
  std::uint8_t* RawRow = nullptr;
  std::uint8_t* PreviousRow = nullptr;
  std::uint8_t* ConvertedRow = nullptr;
  std::uint8_t* AlphaRow = nullptr;
  // Where a converter writes: the converted row, or the scanline itself when the row
  // is placed whole, which saves a copy per row.
  std::uint8_t* ConvertTarget = nullptr;
  std::uint8_t* AlphaTarget = nullptr;

  void ReadChunks();
  void SkipChunkRest();
  void ReadHeader();
  void ReadPalette();
  void ReadImageData();
  void ReadTextChunk();
  void ReadPrivateChunk();
  void ReadEnd();
  // The three 16-bit samples of an RGB bKGD or tRNS body as a colour; the caller has
  // checked that the chunk holds them.
  TColor ReadRgbSamples();
  void ReadTransparency();
  void ReadBackground();
  void ReadGamma();
  void ReadChromaticities();
  void ReadSignificantBits();
  void ReadPhysicalSize();
  void ReadTime();
  void ReadGifControl();
  static std::int32_t FetchIdatData(DecoderContext* context);
  // The row memory's parts and total, sized alike for the memory check before decoding
  // and for the allocation.
  std::int64_t RawRowBytes() const;
  std::int64_t ConvertedRowBytes() const;
  std::int64_t RowBufferBytes() const;
  void AllocRowBuffers();
  void FreeRowBuffers() noexcept;

  void SetupConverters();
  void FillAlphaFromPalette();
  // Replaces the palette tRNS marker by a transparent index or by the alpha table.
  void ResolvePaletteAlpha();
  // Sets the pass geometry for pass (0 to 6); false when the pass holds no pixels.
  bool SetupPass(std::int32_t pass);

  // Row converters.
  static const std::uint8_t* CopyRawRow(TZelPNGReadStream* r);
  static const std::uint8_t* Expand2To4(TZelPNGReadStream* r);
  static const std::uint8_t* Grey16To8(TZelPNGReadStream* r);
  static const std::uint8_t* GreyAlpha8(TZelPNGReadStream* r);
  static const std::uint8_t* GreyAlpha16To8(TZelPNGReadStream* r);
  static const std::uint8_t* Rgb8ToBgr(TZelPNGReadStream* r);
  static const std::uint8_t* Rgb16ToBgr(TZelPNGReadStream* r);
  static const std::uint8_t* Rgba8ToBgr(TZelPNGReadStream* r);
  static const std::uint8_t* Rgba16ToBgr(TZelPNGReadStream* r);
  static const std::uint8_t* RgbTo565(TZelPNGReadStream* r);
  static const std::uint8_t* RgbaTo565(TZelPNGReadStream* r);

  // Placers.
  static void PlaceRow(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlaceAlphaRow(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePass1(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePass4(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePass8(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePass16(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePass24(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);
  static void PlacePassAlpha(TZelPNGReadStream* r, std::uint8_t* dest, const std::uint8_t* source);

private:
  void ResetResults();
  void DecodeImage();
  void DecodePasses();
  [[noreturn]] static void Fail(const char* message);
  // A chunk whose stated length is negative or runs past the data ends the input.
  bool ChunkLengthFits(std::uint32_t length);

  WorkBuffer rowMemory_;
  // The two raw-row buffers carved from it: a row assembled across blocks, or a previous row
  // kept while the decoder refills its block.
  std::uint8_t* rowBufferA_ = nullptr;
  std::uint8_t* rowBufferB_ = nullptr;
};
