// TZelPNG: a PNG picture as a graphic of the class library. The picture lives in a
// TBitmap (the image) with an optional 8-bit alpha bitmap (255 - alpha, 0 opaque);
// loading and saving go through the PNG reader and writer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/graphics.h"
#include "png/ZelPNGStream_Common.h"
#include "png/ZelPNGStream_Read.h"

class TZelPNGWriteStream;

// The Comment text: read and set as a string. A load also keeps the chunks the text was
// collected from, and a save writes them back as they came until the text is set again.
// The collected form cannot be split back into its chunks ("a\r\n\r\nb" as one text and
// "a", "b" as two collect alike), and written as one text it would gain a line break on
// every load and save.
class TZelPNGComment {
public:
  TZelPNGComment& operator=(std::string text) {
    text_ = std::move(text);
    loadedChunks_.reset();
    return *this;
  }
  operator const std::string&() const noexcept { return text_; }
  friend bool operator==(const TZelPNGComment& comment, std::string_view text) { return comment.text_ == text; }

  void TakeLoaded(std::string text, std::vector<std::string> chunks) {
    text_ = std::move(text);
    loadedChunks_ = std::move(chunks);
  }
  // The chunks of the last load while the text was not set since; nullptr otherwise.
  const std::vector<std::string>* LoadedChunks() const noexcept {
    return loadedChunks_ ? &*loadedChunks_ : nullptr;
  }

private:
  std::string text_;
  std::optional<std::vector<std::string>> loadedChunks_;
};

class TZelPNG : public TGraphic {
public:
  CLASSLIB_CLASS(TZelPNG)
  static const char* StaticClassName() { return "TZelPNG"; }
  TZelPNG();
  ~TZelPNG() override;

  void Assign(TPersistent* source) override;
  void AssignTo(TPersistent* dest) override;
  void DrawOnCanvas(TCanvas* canvas, const TRect& rect) override;
  void ReadStoredData(TStream* stream) override;
  void WriteStoredData(TStream* stream) override;
  void SetWidth(int width) override;
  void SetImageHeight(int height) override;
  void SetPalette(HPALETTE palette) override;
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) override;
  void SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) override;

  // The external bitmaps, when set, stand in for the own ones; the graphic never frees them.
  TBitmap* CurrentImage() const { return ExternalImage ? ExternalImage : OwnImage.get(); }
  TBitmap* CurrentAlpha() const { return ExternalAlpha ? ExternalAlpha : OwnAlpha.get(); }

  // Settings: plain values, no checks and no notification when set.
  std::int32_t IdatSize = 32768;
  std::int32_t CompressionLevel = -1;
  std::uint8_t FilterMode = 1;
  std::uint8_t Interlace = 0;
  bool Grayscale = false;
  TBitmap* ExternalAlpha = nullptr;
  TBitmap* ExternalImage = nullptr;
  TColor BackgroundColor = -1;
  TColor TransparentColor = -1;
  TZelPNGComment Comment;
  double Gamma = 0.45455;
  std::string RowHookKey;
  std::uint32_t SignificantBits = 0;
  std::uint8_t PhysUnit = 0;
  std::int32_t PhysX = 0;
  std::int32_t PhysY = 0;
  bool SkipMacBinary = true;
  bool UseCurrentTime = true;
  PngTimeRecord ModifiedTime{};
  std::array<std::uint32_t, 8> Chromaticities{};
  std::array<std::uint8_t, 4> GifControl{};
  bool ReadHighColor = false;
  // Asked for the row key when a file says its rows went through a row hook; the key
  // comes pre-set to RowHookKey.
  TKeyRequestEvent OnKeyRequest;
  RowHook OnWriteRow;
  RowHook OnReadRow;

  // Results of the last load.
  bool HasAlpha() const { return hasAlpha_; }
  std::int32_t SourceBits() const { return sourceBits_; }

  // Takes the image bitmap's transparency into the graphic after a load or an assignment,
  // raising exactly one change notification.
  void SyncAfterLoad(TBitmap* bitmap);

protected:
  bool GetEmpty() const override;
  int GetWidth() const override;
  int GetHeight() const override;
  HPALETTE GetPalette() const override;
  void ApplyTransparent(bool value) override;

private:
  // Copies what a successful read hands back (Interlace only when asked).
  void TakeResults(const TZelPNGReadStream& reader, bool withInterlace);
  // Hands the writer the chunk settings that both a save and the stored form carry.
  void GiveChunkSettings(TZelPNGWriteStream& writer) const;

  bool TransparentSyncing = false;
  std::unique_ptr<TBitmap> OwnAlpha;
  std::unique_ptr<TBitmap> OwnImage;
  bool hasAlpha_ = false;
  std::int32_t sourceBits_ = 0;
};

// Registers TZelPNG with the picture loader under "PNG" ("PNG Format"), and removes it
// again. Each runs once per process however often it is called.
void ZelPNG_Initialize();
void ZelPNG_Finalize();
