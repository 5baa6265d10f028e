// TUlmDIB as a graphic: data shared until changed, assignment with the class library's
// bitmap and the PNG graphic, colours by index, refusals that keep the picture, progress of
// pixel-format changes, drawing, the canvas over the pixel memory, clipboard, registration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "classlib/clipboard.h"
#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "dib/UlmDIB.h"
#include "png/ZelPNG.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 32 pixels wide, so that no depth has row padding and whole rows can be compared.
constexpr int W = 32, H = 3;

// A bitmap with a table of distinct colours whose every byte differs from its neighbours,
// or, with runs, whose bytes come in runs of 24 (whole pixels at every depth), so that
// run-length coding pays.
std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, bool runs = false) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(W, H);
  const int bits = format == pf1bit ? 1 : format == pf4bit ? 4 : format == pf8bit ? 8 : 0;
  if (bits != 0) {
    LOGPALETTE log{0x300, static_cast<WORD>(1 << bits), {}};
    for (int i = 0; i < (1 << bits); ++i)
      log.palPalEntry[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 0};
    bitmap->SetPalette(CreatePalette(&log));
  }
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < bitmap->RowBytes(); ++x) row[x] = static_cast<std::uint8_t>(runs ? x / 24 * 37 + y * 101 : x * 37 + y * 101 + 5);
  }
  return bitmap;
}

// Rows in memory order (bottom-up), as the bitmap library holds them.
Bytes Rows(TBitmap* bitmap) {
  Bytes bytes;
  for (int y = bitmap->Height() - 1; y >= 0; --y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap->ScanLine(y));
    bytes.insert(bytes.end(), row, row + bitmap->RowBytes());
  }
  return bytes;
}

Bytes Pixels(const TUlmDIB& dib) {
  const DIBInfos& d = dib.InternalDIB->DIBInfos;
  const auto* p = static_cast<const std::uint8_t*>(d.Bits);
  return Bytes(p, p + d.ImageSize);
}

std::vector<TColor> Colours(TBitmap* bitmap) {
  std::vector<TColor> colours;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) colours.push_back(bitmap->Canvas()->Pixels(x, y));
  return colours;
}

std::unique_ptr<TUlmDIB> DibOf(TPixelFormat format, bool runs = false) {
  auto dib = std::make_unique<TUlmDIB>();
  dib->Assign(MakeBitmap(format, runs).get());
  return dib;
}

std::vector<PALETTEENTRY> Entries(HPALETTE palette) {
  std::vector<PALETTEENTRY> entries(256);
  entries.resize(GetPaletteEntries(palette, 0, 256, entries.data()));
  return entries;
}

TEST(UlmDIB, ANewBitmapIsOneBlackPixelOfEightBits) {
  for (const bool viaAssignNone : {false, true}) {
    TUlmDIB dib;
    if (viaAssignNone) {
      dib.Assign(DibOf(pf24bit).get());
      dib.Assign(nullptr);
    }
    EXPECT_EQ(dib.Width(), 1);
    EXPECT_EQ(dib.Height(), 1);
    EXPECT_FALSE(dib.Empty());
    EXPECT_EQ(dib.GetBitCount(), 8);
    EXPECT_EQ(dib.InternalDIB->DIBInfos.Header.biClrUsed, 256u);
    EXPECT_EQ(Pixels(dib), Bytes(4, 0));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(dib.GetColors(i), 0) << i;
    EXPECT_TRUE(dib.PaletteModified);
    EXPECT_EQ(dib.ConvertQuality, 0);
    EXPECT_EQ(dib.MaskColor, 0x00FFFFFF);
    EXPECT_EQ(dib.HalftoneMode, 0);
  }
}

TEST(UlmDIB, AChangeToOneSharingBitmapNeverShowsInTheOther) {
  const std::vector<std::pair<const char*, std::function<void(TUlmDIB&)>>> changes = {
      {"SetColors", [](TUlmDIB& b) { b.SetColors(0, clRed); }},
      {"SetPalette", [](TUlmDIB& b) { b.SetPalette(CopyPalette(b.GetPalette())); b.SetPalette(0); }},
      {"ChangePixelFormat", [](TUlmDIB& b) { b.ChangePixelFormat(TUlmPixelFormat::Bit24); }},
      {"canvas", [](TUlmDIB& b) {
         TUlmDIBCanvas canvas(&b);
         canvas.Brush()->Color = clWhite;
         canvas.FillRect(Rect(0, 0, W, H));
       }},
  };
  for (const auto& [name, change] : changes) {
    auto a = DibOf(pf8bit);
    a->MaskColor = clRed;
    a->HalftoneMode = 2;
    const Bytes before = Pixels(*a);
    const TColor colour0 = a->GetColors(0);
    TUlmDIB b;
    b.Assign(a.get());
    EXPECT_EQ(b.InternalDIB, a->InternalDIB) << name;
    EXPECT_EQ(a->InternalDIB->RefCount, 2) << name;
    EXPECT_EQ(b.MaskColor, clRed);
    EXPECT_EQ(b.HalftoneMode, 2);
    b.HalftoneMode = 0;
    change(b);
    EXPECT_NE(b.InternalDIB, a->InternalDIB) << name;
    EXPECT_EQ(a->InternalDIB->RefCount, 1) << name;
    EXPECT_EQ(Pixels(*a), before) << name;
    EXPECT_EQ(a->GetColors(0), colour0) << name;
  }
}

// Each depth goes in and comes back out with its pixels; 15, 16 and 32 bits become 24.
TEST(UlmDIB, AssignFromAndToTheClassLibrarysBitmapAtEveryDepth) {
  const struct {
    TPixelFormat In;
    int Bits;
    TPixelFormat Out;
  } rows[] = {{pf1bit, 1, pf1bit},   {pf4bit, 4, pf4bit},   {pf8bit, 8, pf8bit},   {pf15bit, 24, pf24bit},
              {pf16bit, 24, pf24bit}, {pf24bit, 24, pf24bit}, {pf32bit, 24, pf24bit}};
  for (const auto& row : rows) {
    auto source = MakeBitmap(row.In);
    TUlmDIB dib;
    dib.Assign(source.get());
    EXPECT_EQ(dib.GetBitCount(), row.Bits) << row.In;
    EXPECT_EQ(dib.InternalDIB->DIBInfos.Header.biClrUsed, static_cast<DWORD>(ColorsOfBitCount(row.Bits)));
    EXPECT_EQ(dib.GetPalette() == 0, row.Bits == 24);
    const std::vector<RGBQUAD> table = source->ColorTable();
    for (std::size_t i = 0; i < table.size(); ++i)
      EXPECT_EQ(dib.GetColors(static_cast<int>(i)), RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
    if (row.In == row.Out) {
      EXPECT_EQ(Pixels(dib), Rows(source.get())) << row.In;
    }

    TBitmap back;
    back.Assign(&dib);
    EXPECT_EQ(back.PixelFormat(), row.Out) << row.In;
    EXPECT_EQ(Colours(&back), Colours(source.get())) << row.In;
    if (row.In == row.Out) {
      EXPECT_EQ(Rows(&back), Rows(source.get())) << row.In;
    }
  }
}

TEST(UlmDIB, RunLengthDataLeavesAsAPlainBitmapOfItsDepth) {
  for (const auto& [format, rle] : {std::pair{pf4bit, TUlmPixelFormat::Bit4RLE}, std::pair{pf8bit, TUlmPixelFormat::Bit8RLE}}) {
    auto source = MakeBitmap(format, true);
    TUlmDIB dib;
    dib.Assign(source.get());
    dib.ChangePixelFormat(rle);
    TBitmap back;
    back.Assign(&dib);
    EXPECT_EQ(back.PixelFormat(), format);
    EXPECT_EQ(Rows(&back), Rows(source.get()));
  }
}

// The batch's round: a palette PNG in, two entries exchanged, a PNG out; indices stay.
TEST(UlmDIB, APalettePngComesInAndGoesOutWithItsPaletteAndIndices) {
  auto source = MakeBitmap(pf8bit);
  auto throughPng = [](TGraphic* picture) {
    TZelPNG png;
    png.Assign(picture);
    TMemoryStream file;
    png.SaveToStream(&file);
    file.SetPosition(0);
    auto loaded = std::make_unique<TZelPNG>();
    loaded->LoadFromStream(&file);
    return loaded;
  };
  TUlmDIB dib;
  dib.Assign(throughPng(source.get()).get());
  EXPECT_EQ(dib.GetBitCount(), 8);
  EXPECT_EQ(Pixels(dib), Rows(source.get()));
  const TColor zero = dib.GetColors(0), five = dib.GetColors(5);
  dib.SetColors(0, five);
  dib.SetColors(5, zero);
  auto out = throughPng(&dib);
  std::vector<RGBQUAD> table = source->ColorTable();
  std::swap(table[0], table[5]);
  const std::vector<RGBQUAD> written = out->CurrentImage()->ColorTable();
  ASSERT_EQ(written.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i)
    EXPECT_EQ(RGB(written[i].rgbRed, written[i].rgbGreen, written[i].rgbBlue),
              RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue)) << i;
  EXPECT_EQ(Rows(out->CurrentImage()), Rows(source.get()));
}

TEST(UlmDIB, SetColorsChangesTheEntryAndItsPaletteButNoPixel) {
  auto dib = DibOf(pf8bit);
  const Bytes before = Pixels(*dib);
  dib->GetPalette();
  dib->PaletteModified = false;
  int changes = 0;
  dib->OnChange = [&changes](TObject*) { ++changes; };
  dib->SetColors(3, clLime);
  EXPECT_EQ(dib->GetColors(3), clLime);
  EXPECT_EQ(Pixels(*dib), before);
  const auto entries = Entries(dib->GetPalette());
  ASSERT_EQ(entries.size(), 256u);
  EXPECT_EQ(RGB(entries[3].peRed, entries[3].peGreen, entries[3].peBlue), static_cast<COLORREF>(clLime));
  EXPECT_TRUE(dib->PaletteModified);
  EXPECT_EQ(changes, 1);
}

// Refusals, and requests that ask for what is already there: the picture stays and no
// change is announced.
TEST(UlmDIB, RefusedAndEmptyRequestsKeepThePictureAndAnnounceNothing) {
  TPicture picture;
  HGLOBAL block = GlobalAlloc(GHND, 64);
  const struct {
    const char* Class;
    const char* Message;
    std::function<void(TUlmDIB&)> Act;
  } rows[] = {
      {"EUlmDIBInvalidDIBPara", "TUlmInternalDIB.CreateDIB: Invalid Parameters",
       [](TUlmDIB& d) { TBitmap empty; d.Assign(&empty); }},
      {"EUlmDIBInvalidDIBFile", "TUlmInternalDIB.LoadFromFile: File type is invalid",
       [](TUlmDIB& d) { TMemoryStream s; s.WriteBuffer("XX0123456789ABCDEF", 18); s.SetPosition(0); d.LoadFromStream(&s); }},
      {"EInvalidGraphic", "TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data",
       [block](TUlmDIB& d) { d.LoadFromClipboardFormat(CF_DIB + 1, block, 0); }},
      {"EInvalidGraphic", "TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data",
       [](TUlmDIB& d) { d.LoadFromClipboardFormat(CF_DIB, 0, 0); }},
      {"EUlmDIBInvalidDIBPara", "TUlmDIB.SetWidth: Invalid Width", [](TUlmDIB& d) { d.SetWidth(0); }},
      {"EUlmDIBInvalidDIBPara", "TUlmDIB.SetWidth: Invalid Width", [](TUlmDIB& d) { d.SetWidth(-5); }},
      {"EUlmDIBInvalidDIBPara", "TUlmDIB.SetImageHeight: Invalid Height", [](TUlmDIB& d) { d.SetImageHeight(0); }},
      {"EUlmDIBInvalidDIBPara", "TUlmDIB.SetBitCount: Invalid BitCount", [](TUlmDIB& d) { d.SetBitCount(2); }},
      {"EUlmDIBInvalidDIBPara", "TUlmDIB.SetBitCount: Invalid BitCount", [](TUlmDIB& d) { d.SetBitCount(16); }},
      {"EUlmDIBPaletteIndexRange", "TUlmDIB.GetColors: Palette Index is Out of Range", [](TUlmDIB& d) { d.GetColors(256); }},
      {"EUlmDIBPaletteIndexRange", "TUlmDIB.GetColors: Palette Index is Out of Range", [](TUlmDIB& d) { d.GetColors(-1); }},
      {"EUlmDIBPaletteIndexRange", "TUlmDIB.SetColors: Palette Index is Out of Range", [](TUlmDIB& d) { d.SetColors(256, 0); }},
      {"EUlmDIBInvalidPalette", "TUlmDIB.SetPalette: Invalid Palette", [](TUlmDIB& d) { d.SetPalette(12345); }},
      {"EConvertError", "TUlmDIB を TPicture に代入することはできません", [&picture](TUlmDIB& d) { d.AssignTo(&picture); }},
      {"EInvalidGraphic", "TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data",
       [](TUlmDIB& d) { Clipboard()->Clear(); d.Assign(Clipboard()); }},
      {"", "", [](TUlmDIB& d) { d.SetWidth(W); }},
      {"", "", [](TUlmDIB& d) { d.SetImageHeight(H); }},
      {"", "", [](TUlmDIB& d) { d.SetBitCount(8); }},
      {"", "", [](TUlmDIB& d) { d.Assign(&d); }},
      {"", "", [](TUlmDIB& d) { d.ChangePixelFormat(TUlmPixelFormat::Bit8); }},
  };
  for (const auto& row : rows) {
    auto dib = DibOf(pf8bit);
    const Bytes before = Pixels(*dib);
    const TUlmInternalDIB* data = dib->InternalDIB;
    int changes = 0;
    dib->OnChange = [&changes](TObject*) { ++changes; };
    std::string raised, message;
    try {
      row.Act(*dib);
    } catch (const Exception& e) {
      raised = e.ClassName();
      message = e.Message;
    }
    EXPECT_EQ(raised, row.Class) << row.Message;
    EXPECT_EQ(message, row.Message);
    EXPECT_EQ(dib->InternalDIB, data) << row.Message;
    EXPECT_EQ(Pixels(*dib), before) << row.Message;
    EXPECT_EQ(changes, 0) << row.Message;
  }
  EXPECT_FALSE(Clipboard()->IsOpen());
  GlobalFree(block);
}

TEST(UlmDIB, SizeAndDepthSettersMakeBlankDataOfTheNewGeometry) {
  auto dib = DibOf(pf8bit);
  dib->SetImageHeight(-H);
  EXPECT_EQ(dib->InternalDIB->DIBInfos.Header.biHeight, -H);
  EXPECT_EQ(dib->Height(), H);
  EXPECT_EQ(Pixels(*dib), Bytes(W * H, 0));
  dib->SetWidth(W + 1);
  EXPECT_EQ(dib->InternalDIB->DIBInfos.Header.biHeight, H);  // top-down data becomes bottom-up
  dib->SetBitCount(24);
  EXPECT_EQ(dib->InternalDIB->DIBInfos.Header.biClrUsed, 0u);
  EXPECT_EQ(dib->GetPalette(), 0u);
  auto rle = DibOf(pf4bit, true);
  rle->ChangePixelFormat(TUlmPixelFormat::Bit4RLE);
  rle->SetBitCount(4);
  EXPECT_EQ(rle->GetPixelFormat(), TUlmPixelFormat::Bit4RLE);
}

TEST(UlmDIB, OnlyQuantisingConversionsReportProgress) {
  const struct {
    TUlmPixelFormat Target;
    int Total;
    const char* Message;
  } rows[] = {{TUlmPixelFormat::Bit8, 256, "PixelFormat 24Bit -> 8Bit"},
              {TUlmPixelFormat::Bit8RLE, 256, "PixelFormat 24Bit -> 8BitRLE"},
              {TUlmPixelFormat::Bit4, 16, "PixelFormat 24Bit -> 4Bit"},
              {TUlmPixelFormat::Bit1, 0, ""},
              {TUlmPixelFormat::HalfTone, 0, ""},
              {TUlmPixelFormat::Bit24, 0, ""}};
  for (const auto& row : rows) {
    auto dib = DibOf(pf24bit, true);
    std::vector<std::tuple<TProgressStage, int, bool, std::string>> events;
    dib->OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw, const TRect& rect,
                          const std::string& message) {
      EXPECT_EQ(sender, dib.get());
      EXPECT_EQ(rect, Rect(0, 0, W, H));
      events.emplace_back(stage, percent, redraw, message);
    };
    dib->ChangePixelFormat(row.Target);
    if (row.Total == 0) {
      EXPECT_TRUE(events.empty()) << row.Message;
      continue;
    }
    ASSERT_EQ(events.size(), static_cast<std::size_t>(row.Total) + 1) << row.Message;
    EXPECT_EQ(events.front(), std::make_tuple(psStarting, 0, false, std::string(row.Message)));
    for (int k = 1; k < row.Total; ++k)
      EXPECT_EQ(events[k], std::make_tuple(psRunning, k * 100 / row.Total, false, std::string(row.Message)));
    EXPECT_EQ(events.back(), std::make_tuple(psEnding, 100, true, std::string(row.Message)));
  }
}

TEST(UlmDIB, HalftoneModesReportSharedPalettesButAssignTheImagesOwn) {
  auto a = DibOf(pf8bit), b = DibOf(pf4bit);
  a->HalftoneMode = b->HalftoneMode = 1;
  ASSERT_EQ(a->GetPalette(), b->GetPalette());
  const auto halftone = Entries(a->GetPalette());
  ASSERT_EQ(halftone.size(), 215u);
  const auto rgb = [](const PALETTEENTRY& e) { return RGB(e.peRed, e.peGreen, e.peBlue); };
  EXPECT_EQ(rgb(halftone[0]), 0u);
  EXPECT_EQ(rgb(halftone[209]), 0xFFFFFFu);
  EXPECT_EQ(rgb(halftone[213]), RGB(192, 192, 192));
  a->HalftoneMode = 2;
  const auto blackWhite = Entries(a->GetPalette());
  ASSERT_EQ(blackWhite.size(), 2u);
  EXPECT_EQ(rgb(blackWhite[0]), 0u);
  EXPECT_EQ(rgb(blackWhite[1]), 0xFFFFFFu);
  TBitmap back;
  back.Assign(a.get());
  EXPECT_EQ(Colours(&back), Colours(MakeBitmap(pf8bit).get()));
  EXPECT_EQ(a->HalftoneMode, 2);
}

// Plain drawing stretches the image's colours; halftone drawing diffuses at the
// destination's size, mirrored by a mirroring rectangle, and draws nothing into no area.
TEST(UlmDIB, DrawsPlainlyOrThroughAHalftoneCopy) {
  auto dib = DibOf(pf8bit);
  auto original = MakeBitmap(pf8bit);
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(2 * W, 2 * H);
  target.Canvas()->StretchDraw(Rect(0, 0, 2 * W, 2 * H), dib.get());
  for (int y = 0; y < 2 * H; ++y)
    for (int x = 0; x < 2 * W; ++x)
      ASSERT_EQ(target.Canvas()->Pixels(x, y), original->Canvas()->Pixels(x / 2, y / 2)) << x << "," << y;

  TUlmDIB halves;  // left half black, right half white
  halves.SetBitCount(24);
  halves.SetWidth(2);
  static_cast<std::uint8_t*>(halves.InternalDIB->DIBInfos.Bits)[3] = 0xFF;
  static_cast<std::uint8_t*>(halves.InternalDIB->DIBInfos.Bits)[4] = 0xFF;
  static_cast<std::uint8_t*>(halves.InternalDIB->DIBInfos.Bits)[5] = 0xFF;
  halves.HalftoneMode = 2;
  const struct {
    TRect Rect;
    TColor Left, Right;
  } rows[] = {{Rect(0, 0, 4, 1), clBlack, clWhite}, {Rect(4, 0, 0, 1), clWhite, clBlack}, {Rect(0, 0, 0, 1), clRed, clRed}};
  for (const auto& row : rows) {
    TBitmap out;
    out.SetSize(4, 1);
    out.Canvas()->Brush()->Color = clRed;
    out.Canvas()->FillRect(Rect(0, 0, 4, 1));
    halves.DrawOnCanvas(out.Canvas(), row.Rect);
    EXPECT_EQ(Colours(&out), (std::vector<TColor>{row.Left, row.Left, row.Right, row.Right})) << row.Rect.Left;
  }
  EXPECT_EQ(halves.HalftoneMode, 2);
}

TEST(UlmDIB, TheCanvasDrawsIntoThePixelMemoryAndAnnouncesItWhenFreed) {
  auto dib = DibOf(pf24bit);
  int changes = 0;
  dib->OnChange = [&changes](TObject*) { ++changes; };
  {
    TUlmDIBCanvas canvas(dib.get());
    canvas.Brush()->Color = clRed;
    canvas.FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(changes, 0);
  }
  EXPECT_EQ(changes, 1);
  const Bytes pixels = Pixels(*dib);
  const std::size_t topLeft = static_cast<std::size_t>(3 * W * (H - 1));
  EXPECT_EQ(Bytes(pixels.begin() + topLeft, pixels.begin() + topLeft + 3), (Bytes{0, 0, 0xFF}));

  auto rle = DibOf(pf8bit, true);
  rle->ChangePixelFormat(TUlmPixelFormat::Bit8RLE);
  auto heap = DibOf(pf8bit);
  heap->ReleaseInternalDIB();
  heap->InternalDIB = new TUlmInternalDIB(false);
  const struct {
    TUlmDIB* Bitmap;
    const char* Class;
    const char* Message;
  } refusals[] = {{nullptr, "EUlmDIBCanvasFailed", "TUlmDIBCanvas.Create: Cannot Create Canvas"},
                  {heap.get(), "EUlmDIBCanvasFailed", "TUlmDIBCanvas.Create: Cannot Create Canvas"},
                  {rle.get(), "EOutOfResources", "TUlmDIBCanvas.Create: Cannot Create Memory DC"}};
  for (const auto& row : refusals) {
    try {
      TUlmDIBCanvas canvas(row.Bitmap);
      ADD_FAILURE() << row.Message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), row.Class);
      EXPECT_EQ(e.Message, row.Message);
    }
  }
}

TEST(UlmDIB, TheClipboardCarriesThePictureAsCFDIB) {
  auto dib = DibOf(pf8bit);
  WORD format = 0;
  HANDLE data = 0;
  HPALETTE palette = 1;
  dib->SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  EXPECT_EQ(palette, 0u);
  EXPECT_EQ(dib->ClipboardFormat(), CF_DIB);
  Clipboard()->SetAsHandle(CF_DIB, data);
  TUlmDIB copy;
  copy.Assign(Clipboard());
  EXPECT_FALSE(Clipboard()->IsOpen());
  EXPECT_EQ(Pixels(copy), Pixels(*dib));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(copy.GetColors(i), dib->GetColors(i));
  Clipboard()->Clear();
}

TEST(UlmDIB, RegisteredForDibFilesAndCFDIBOncePerProcess) {
  UlmDIB_Initialize();
  UlmDIB_Initialize();
  EXPECT_EQ(FindPictureFormat("dib"), ClassOf<TUlmDIB>());
  EXPECT_EQ(FindPictureClipboardFormat(CF_DIB), ClassOf<TUlmDIB>());
  const std::string path = std::string(TEST_BUILD_DIR) + "/graphic_test_" + std::to_string(::getpid()) + ".dib";
  DibOf(pf4bit)->SaveToFileName(path);
  TPicture picture;
  picture.LoadFromFile(path);
  std::remove(path.c_str());
  auto* loaded = dynamic_cast<TUlmDIB*>(picture.Graphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(Pixels(*loaded), Pixels(*DibOf(pf4bit)));
  EXPECT_EXIT(
      {
        UlmDIB_Finalize();
        const bool gone = FindPictureFormat("dib") == nullptr && FindPictureClipboardFormat(CF_DIB) == nullptr;
        UlmDIB_Initialize();
        std::exit(gone && FindPictureFormat("dib") == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
