// The stand-in for the platform's graphics device interface, memory and time calls.
// Handles are entries of checked tables: a zero, stale or wrong-kind handle makes a call
// fail the way the platform reports failure (0 or false), never crash.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = int;
using COLORREF = DWORD;

using HANDLE = std::uintptr_t;
using HGDIOBJ = HANDLE;
using HPALETTE = HANDLE;
using HBITMAP = HANDLE;
using HDC = HANDLE;
using HGLOBAL = HANDLE;
using HWND = HANDLE;

inline constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE{0};

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPCOREHEADER {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == 12);

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct RGBTRIPLE {
  BYTE rgbtBlue;
  BYTE rgbtGreen;
  BYTE rgbtRed;
};

// Room for the largest colour table, so a BITMAPINFO can be declared on the stack.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[256];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_RLE8 = 1;
inline constexpr DWORD BI_RLE4 = 2;
inline constexpr DWORD BI_BITFIELDS = 3;

inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr UINT DIB_PAL_COLORS = 1;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

inline constexpr WORD CF_DIB = 8;
inline constexpr WORD CF_PALETTE = 9;

inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD FILE_MAP_WRITE = 0x0002;
inline constexpr DWORD FILE_MAP_READ = 0x0004;
inline constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;

inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GMEM_DDESHARE = 0x2000;

inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

inline constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c); }
inline constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>(c >> 8); }
inline constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>(c >> 16); }
inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return r | (g << 8) | (DWORD{b} << 16); }

// Palettes.
HPALETTE CreatePalette(const LOGPALETTE* palette);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, void* buffer);

// Device contexts: a memory context draws into the DIB section selected into it.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteDC(HDC dc);

// Device-independent bitmaps. A section made over a file mapping shares its bytes.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info,
              UINT usage);
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);
int SetStretchBltMode(HDC dc, int mode);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc, DWORD rop);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);

// Shared memory (file mappings backed by anonymous memory).
HANDLE CreateFileMappingA(HANDLE file, void* attributes, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, const char* name);
void* MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytes);
BOOL UnmapViewOfFile(const void* base);
BOOL CloseHandle(HANDLE handle);

// Global memory blocks (clipboard data).
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
std::size_t GlobalSize(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);

void GetSystemTime(SYSTEMTIME* time);
