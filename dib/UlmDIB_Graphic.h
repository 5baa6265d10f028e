// TUlmDIB, the bitmap library's picture class: a device-independent bitmap shared between
// graphics and copied only when one of them changes it; TUlmDIBCanvas, a canvas that draws
// straight into a TUlmDIB's pixel memory; and the registration with the picture loader.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/graphics.h"
#include "dib/UlmDIB_Data.h"
#include "dib/UlmDIB_Types.h"
#include "dib/UlmGraph.h"

class TUlmDIB : public TUlmGraphic {
public:
  CLASSLIB_CLASS(TUlmDIB)
  static const char* StaticClassName() { return "TUlmDIB"; }

  // A 1×1, 8-bit bitmap with 256 black entries.
  TUlmDIB();
  ~TUlmDIB() override;

  // A TUlmDIB destination shares this bitmap's data; a TBitmap gets the picture at the
  // data's depth with the image's own palette; anything else is refused.
  void AssignTo(TPersistent* dest) override;
  // None: a new blank bitmap. A TUlmDIB: its data is shared. A TBitmap: its pixels and
  // colour table at its depth (16 and 32 bits become 24). Others: the clipboard, or the
  // source's own AssignTo.
  void Assign(TPersistent* source) override;
  void DrawOnCanvas(TCanvas* canvas, const TRect& rect) override;
  bool GetEmpty() const override;
  int GetHeight() const override;
  HPALETTE GetPalette() const override;
  int GetWidth() const override;
  void SetImageHeight(int height) override;
  void SetPalette(HPALETTE palette) override;
  void SetWidth(int width) override;
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) override;
  void SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) override;
  WORD ClipboardFormat() const override;

  void ReleaseInternalDIB();
  int GetBitCount() const;
  void SetBitCount(int bitCount);
  // Colour-table entry index (0..255) as 0x00BBGGRR, whatever biClrUsed says.
  TColor GetColors(int index) const;
  // Changes the entry's colour; no pixel changes.
  void SetColors(int index, TColor colour);
  TUlmPixelFormat GetPixelFormat() const;
  void ChangePixelFormat(TUlmPixelFormat target);
  // Copy-on-write: after this call the data belongs to this bitmap alone.
  void UniqueDIB();
  void UpdatePaletteModified();
  bool GetUseFMO() const;
  void SetProgress(std::int32_t total, const std::string& message);
  void ProgressBegin();
  void ProgressStep();
  void ProgressEnd();

  // Possibly shared with other TUlmDIB objects; never changed while shared.
  TUlmInternalDIB* InternalDIB = nullptr;
  std::uint8_t ConvertQuality = 0;  // 0 Low, 1 High
  TColor MaskColor = clWhite;
  std::uint8_t HalftoneMode = 0;    // 0 own colours, 1 halftone palette, 2 black and white
  std::int32_t ProgressCount = 0;
  std::int32_t ProgressTotal = 0;
  std::string ProgressMessage;

private:
  // Replaces the data by new, unshared data and tells the world.
  void Adopt(TUlmInternalDIB* data);
  void AssignFromBitmap(TBitmap* bitmap);
  void AssignToBitmap(TBitmap* bitmap);
  void DrawPlain(TCanvas* canvas, const TRect& rect);
  void DrawHalftone(TCanvas* canvas, const TRect& rect);
  // Blank data of the given geometry (CreateDIB's rules), adopted.
  void AdoptBlank(std::int32_t width, std::int32_t height, std::int32_t bitCount, std::int32_t colorCount);
};

// A canvas over a TUlmDIB's own pixel memory: what it draws is in the bitmap at once. The
// bitmap must stay unshared and unconverted while the canvas lives.
class TUlmDIBCanvas : public TCanvas {
public:
  CLASSLIB_CLASS(TUlmDIBCanvas)
  explicit TUlmDIBCanvas(TUlmDIB* bitmap);
  ~TUlmDIBCanvas() override;

  HDC MemoryDC = 0;
  HBITMAP SectionHandle = 0;
  TUlmDIB* TargetDIB = nullptr;  // not owned
  HGDIOBJ OldBitmap = 0;

private:
  void Open();
  // Lets go of the device objects and tells the bitmap it was drawn on.
  void Close();
};

// The shared palettes of the halftone modes: 0 until first asked for.
extern HPALETTE HalftonePalette;
extern HPALETTE BlackWhitePalette;

// Registers TUlmDIB for the extension "dib" and the clipboard format CF_DIB, and removes it
// again with the shared palettes. Each runs once per process however often it is called.
void UlmDIB_Initialize();
void UlmDIB_Finalize();
