// TZelPNGWriteStream: writes one TBitmap, with an optional 8-bit alpha bitmap
// (255 - alpha), as a complete PNG data stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/graphics.h"
#include "png/ZelPNGStream_Common.h"
#include "png/ZelStream.h"
#include "png/ZelZLIB.h"

inline constexpr const char* SWriteIdatSizeError = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
inline constexpr const char* SWriteImageError = "Write Image (PNG): Write Error";
inline constexpr const char* SSoftwareKeyword = "Software";
inline constexpr const char* SSoftwareName = "ZelPNG ver 3.4";
inline constexpr const char* SCommentKeyword = "Comment";
inline constexpr std::int32_t MinIdatSize = 256;
inline constexpr std::int32_t MaxIdatSize = 100000;

class TZelPNGWriteStream : public TZelCustomGraphicWriteStream {
public:
  CLASSLIB_CLASS(TZelPNGWriteStream)
  TZelPNGWriteStream();
  ~TZelPNGWriteStream() override;

  void WriteImage() override;

  std::int32_t IdatSize() const { return idatSize_; }
  // 256 to 100000; anything else raises EZelPNG and keeps the old size.
  void SetIdatSize(std::int32_t value);

  // Settings, set between construction and WriteTo.
  std::int32_t CompressionLevel = -1;
  std::uint32_t FilterMode = 1;
  std::uint32_t Interlace = 0;
  bool Grayscale = false;
  TColor BackgroundColor = -1;
  TColor TransparentColor = -1;
  std::string Comment;
  // Comment texts passed through from a file: each its own chunk after Comment's, as it
  // stands, an empty one too.
  std::vector<std::string> CommentTexts;
  double Gamma = 0.0;
  std::uint32_t PhysUnit = 0;
  std::int32_t PhysX = 0;
  std::int32_t PhysY = 0;
  std::uint32_t SignificantBits = 0;
  std::string RowHookKey;
  RowHook OnWriteRow;
  bool UseCurrentTime = true;
  // Not owned; none writes no tIME when UseCurrentTime is off.
  const PngTimeRecord* ModifiedTime = nullptr;
  // Eight values, not owned.
  const std::uint32_t* Chromaticities = nullptr;
  // Four bytes, not owned.
  const std::uint8_t* GifControl = nullptr;
  // The offered AlphaMask; used only when it fits the image.
  TBitmap* AlphaBitmap = nullptr;
  bool WriteSignature = true;
  bool WritePaletteIndexInGrey = false;

  void WriteChunk(std::uint32_t type, const void* data, std::int64_t length);
  static std::int32_t StoreIdatData(EncoderContext* context);

  // Working state of one WriteImage.
  std::int32_t BitmapBits = 0;
  std::int32_t DepthCode = 0;
  TBitmap* AcceptedAlpha = nullptr;
  bool AlphaWritten = false;
  bool GreyscaleOutput = false;
  bool PaletteIndexInGrey = false;
  std::uint8_t GreyTable[256] = {};
  std::int32_t RowStride = 0;
  std::int32_t PassWidth = 0;
  std::int32_t PixelOffset = 0;
  std::int32_t PixelStep = 0;
  std::int32_t AlphaOffset = 0;
  std::int32_t AlphaStep = 1;
  std::int32_t RowCounter = 0;
  // Turns one bitmap row (and its alpha row, when alpha is written) into the PNG row at
  // out; one per picture, chosen by the bitmap's depth and the output form.
  using TRowConverter = void (*)(const TZelPNGWriteStream& writer, const std::uint8_t* source,
                                 const std::uint8_t* alpha, std::uint8_t* out);
  TRowConverter RowConverter = nullptr;
  EncoderContext Encoder;

private:
  void ClearWorkingState();
  void ChooseOutputForm();
  void WriteHeaderChunks();
  void WriteHeader();
  void WriteTime();
  // Leaves an empty text out; WriteTextChunk writes it.
  void WriteText(const char* keyword, const std::string& text);
  void WriteTextChunk(const char* keyword, const std::string& text);
  void WritePrivateChunk();
  void WriteGifControl();
  void WriteGamma();
  void WriteChromaticities();
  void WriteSignificantBits();
  void WritePalette();
  // The body of a grey or RGB bKGD or tRNS chunk: the colour as 16-bit samples. A palette
  // index that names no entry writes nothing.
  void WriteGreySample(std::uint32_t type, TColor colour);
  // The 1-bit grey sample that the colour's pixels are written as; -1 when none is.
  std::int32_t OneBitGreySample(TColor colour);
  void WriteRgbSamples(std::uint32_t type, TColor colour);
  void WriteBackground();
  void WriteTransparency();
  bool WritePaletteAlpha();
  void WritePhysicalSize();
  void WriteImageData();
  void WritePass(std::int32_t pass);
  void AllocRowBuffers();
  void FreeRowBuffers() noexcept;
  void BuildGreyTable();
  TRowConverter ChooseRowConverter() const;
  // The palette index a colour names (flagged index or nearest entry), or -1.
  std::int32_t ColorToIndex(TColor colour);

  std::int32_t idatSize_ = 32768;
  std::int32_t colourType_ = 0;
  std::int32_t bitDepth_ = 0;
  // Entries the PLTE chunk holds (0: no palette).
  std::int32_t paletteEntries_ = 0;
  RGBQUAD palette_[256] = {};
  WorkBuffer rowMemory_;
  std::uint8_t* currentRow_ = nullptr;
  std::uint8_t* previousRow_ = nullptr;
};
