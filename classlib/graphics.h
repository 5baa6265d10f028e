// The class library's graphics: abstract graphics, the device-independent bitmap, the
// canvas that draws into it, and the picture holder with its registry of graphic classes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/gdi.h"
#include "classlib/object.h"
#include "classlib/streams.h"

// 0x00BBGGRR; 0x01000000 | index names a palette index; -1 means no colour.
using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = 0xF0F0F0;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// Plain RGB of a colour: a palette-index colour keeps its low three bytes.
inline COLORREF ColorToRGB(TColor colour) { return static_cast<COLORREF>(colour) & 0x00FFFFFF; }

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType { bmDIB, bmDDB };
enum TTransparentMode { tmAuto, tmFixed };
enum TProgressStage { psStarting, psRunning, psEnding };

using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, std::uint8_t percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;

class TCanvas;
class TBitmap;
class TPicture;
class TGraphic;

// A graphic class as the picture loader knows it: its name and how to make one.
struct TGraphicClassInfo {
  const char* Name;
  std::unique_ptr<TGraphic> (*Create)();
};
using TGraphicClass = const TGraphicClassInfo*;

template <class T>
TGraphicClass ClassOf() {
  static const TGraphicClassInfo info{T::StaticClassName(), []() -> std::unique_ptr<TGraphic> {
                                        return std::make_unique<T>();
                                      }};
  return &info;
}

// Abstract picture. Subclasses override the virtual slots. Every graphic class also has
// a static StaticClassName(), so that ClassOf<T>() can register it with the picture loader.
class TGraphic : public TPersistent {
public:
  CLASSLIB_CLASS(TGraphic)
  TGraphic() = default;

  bool Empty() const { return GetEmpty(); }
  int Width() const { return GetWidth(); }
  int Height() const { return GetHeight(); }
  virtual void SetWidth(int width) = 0;
  virtual void SetImageHeight(int height) = 0;
  void SetHeight(int height) { SetImageHeight(height); }
  HPALETTE Palette() const { return GetPalette(); }
  virtual void SetPalette(HPALETTE) {}
  bool Transparent() const { return GetTransparent(); }
  void SetTransparent(bool value) { ApplyTransparent(value); }

  // Opens the file for reading (others may read, not write) and loads from it.
  virtual void LoadFromFile(const std::string& fileName);
  // Writes the file atomically: the old file survives any failure.
  virtual void SaveToFileName(const std::string& fileName);
  void SaveToFile(const std::string& fileName) { SaveToFileName(fileName); }

  virtual void LoadFromStream(TStream* stream) = 0;
  virtual void SaveToStream(TStream* stream) = 0;
  virtual void LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) = 0;
  virtual void SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) = 0;

  // The stored-component form of the picture (a form file's data).
  virtual void ReadStoredData(TStream* stream) { LoadFromStream(stream); }
  virtual void WriteStoredData(TStream* stream) { SaveToStream(stream); }

  // Draws the picture stretched into rect.
  virtual void DrawOnCanvas(TCanvas* canvas, const TRect& rect) = 0;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;
  bool Modified = false;
  bool PaletteModified = false;

protected:
  virtual bool GetEmpty() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual HPALETTE GetPalette() const { return 0; }
  virtual bool GetTransparent() const { return transparent_; }
  // Stores the flag and notifies when it changed.
  virtual void ApplyTransparent(bool value);

public:
  // Marks the graphic modified and raises OnChange.
  virtual void NotifyChanged();
  void Progress(TObject* sender, TProgressStage stage, std::uint8_t percent, bool redrawNow,
                const TRect& rect, const std::string& message);

private:
  bool transparent_ = false;
};

// A device-independent bitmap: header, colour table (1, 4, 8 bits), rows padded to four
// bytes and stored bottom-up. 15, 16 and 32 bits are plain RGB layouts (5-5-5, 5-6-5,
// B-G-R-x). It never holds pfDevice or pfCustom. New pixel memory is zero.
class TBitmap : public TGraphic {
public:
  CLASSLIB_CLASS(TBitmap)
  static const char* StaticClassName() { return "TBitmap"; }
  TBitmap();
  ~TBitmap() override;

  // None empties the bitmap; a TBitmap gives a deep, independent copy; a TPicture gives
  // its graphic; any other graphic is asked to AssignTo this bitmap.
  void Assign(TPersistent* source) override;
  // Another TBitmap is assigned from this one; other destinations refuse.
  void AssignTo(TPersistent* dest) override;

  TCanvas* Canvas();
  HBITMAP Handle();
  TBitmapHandleType HandleType() const { return handleType_; }
  void SetHandleType(TBitmapHandleType type) { handleType_ = type; }

  TPixelFormat PixelFormat() const;
  // Going up keeps every colour; going down maps each pixel to the nearest entry of the
  // new colour table (the current one when it fits, else a default 256-colour table).
  void SetPixelFormat(TPixelFormat format);
  void SetSize(int width, int height);

  // Row y counted from the top; raises EInvalidGraphicOperation outside 0..Height-1.
  void* ScanLine(int y);
  int RowBytes() const;

  // Palette(): the colour table as a palette handle owned by the bitmap (0 without a table).
  // SetPalette adopts the handle: its entries become the colour table, the old handle is deleted.
  void SetPalette(HPALETTE palette) override;
  void SetWidth(int width) override;
  void SetImageHeight(int height) override;
  // A copy of the colour table (empty for 15, 16, 24 and 32 bits).
  std::vector<RGBQUAD> ColorTable() const;

  TColor TransparentColor() const;
  void SetTransparentColor(TColor colour);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }

  // The class library's BMP reader: 1, 4, 8, 16, 24 and 32 bits, RLE4, RLE8, bit fields,
  // top-down rows, core, info, V4 and V5 headers. Malformed or truncated data raises
  // EInvalidGraphic and leaves the previous picture as it was.
  void LoadFromStream(TStream* stream) override;
  // Writes a BMP file of the bitmap's own depth with its colour table.
  void SaveToStream(TStream* stream) override;
  void LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) override;
  void SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) override;
  void DrawOnCanvas(TCanvas* canvas, const TRect& rect) override;

  // The whole bitmap as the platform sees it: header and colour table.
  const BITMAPINFO& Info() const;

protected:
  bool GetEmpty() const override;
  int GetWidth() const override;
  int GetHeight() const override;
  HPALETTE GetPalette() const override;

private:
  struct Image;
  // Installs a new image, keeping the canvas pointed at the bitmap's pixels.
  void Replace(std::unique_ptr<Image> image);
  std::unique_ptr<Image> image_;
  std::unique_ptr<TCanvas> canvas_;
  TBitmapHandleType handleType_ = bmDIB;
  TTransparentMode transparentMode_ = tmAuto;
  TColor transparentColor_ = clDefault;
};

enum TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmXor };
enum TBrushStyle { bsSolid, bsClear };

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenMode Mode = pmCopy;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

// Draws into a device context; a bitmap's canvas draws into that bitmap (1, 4, 8, 15, 16,
// 24, 32 bits), mapping colours to the nearest colour-table entry where it has one.
class TCanvas : public TPersistent {
public:
  CLASSLIB_CLASS(TCanvas)
  TCanvas();
  ~TCanvas() override;

  HDC Handle();
  // Attaches a device context (0 detaches it); the canvas does not own it.
  void SetHandle(HDC dc);

  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  DWORD CopyMode = SRCCOPY;

  // Pen frame and brush interior of [x1, x2) × [y1, y2). With pmNot the frame band
  // (pen width wide, inside the rectangle) inverts each of its pixels exactly once.
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
  void FillRect(const TRect& rect);
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor colour);
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& rect, TGraphic* graphic);
  void CopyRect(const TRect& dest, TCanvas* source, const TRect& sourceRect);

  TNotifyEvent OnChange;

protected:
  // A bitmap's canvas makes its device context on first use.
  virtual void CreateHandle() {}
  HDC handle_ = 0;

private:
  TPen pen_;
  TBrush brush_;
};

// A new palette with the same entries (0 when the handle is not a palette). The caller owns it.
HPALETTE CopyPalette(HPALETTE palette);

// Holds one graphic of any registered class.
class TPicture : public TPersistent {
public:
  CLASSLIB_CLASS(TPicture)
  TPicture();
  ~TPicture() override;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Keeps a copy of graphic (a new graphic of its class assigned from it); none empties.
  void SetGraphic(TGraphic* graphic);
  // The picture as a bitmap: a picture of another class is replaced by an empty bitmap.
  TBitmap* Bitmap();
  int Width() const;
  int Height() const;

  // Picks the graphic class by the file's extension (lower-cased); an unknown extension
  // raises EInvalidGraphic "拡張子 .%s の画像形式は処理できません".
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  void Assign(TPersistent* source) override;
  void AssignTo(TPersistent* dest) override;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

private:
  void Changed(TObject* sender);
  void Adopt(std::unique_ptr<TGraphic> graphic);
  std::unique_ptr<TGraphic> graphic_;
};

// The picture loader's registry. Extensions are stored and matched in lower case (a
// leading point is dropped); the latest registration of an extension wins. "bmp" is known
// from the start.
void RegisterPictureFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass);
// Removes the class from the file formats and from the clipboard formats.
void UnregisterPictureFormat(TGraphicClass graphicClass);
void RegisterPictureClipboardFormat(WORD format, TGraphicClass graphicClass);
// The class registered for an extension (with or without its point), or none.
TGraphicClass FindPictureFormat(const std::string& extension);
TGraphicClass FindPictureClipboardFormat(WORD format);
