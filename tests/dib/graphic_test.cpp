// TUlmDIB as a graphic: data shared until changed, assignment with the class library's
// bitmap and the PNG graphic, refusals that keep the picture, progress of pixel-format
// changes, drawing, the canvas over the pixel memory, clipboard and registration.
#include <unistd.h>

#include <cstdio>
#include <tuple>

#include "classlib/clipboard.h"
#include "classlib/core_test_support.h"
#include "dib/UlmDIB.h"
#include "dib_test_support.h"
#include "png/ZelPNG.h"
#include "support/png_oracle.h"

namespace {

using dib_test::Raised;
using Bytes = dib_test::TBytes;
using Action = std::function<void(TUlmDIB&)>;
constexpr int W = 32, H = 3;  // no row padding at any depth, so whole rows compare

// Distinct colours in the table; bytes that differ from their neighbours or, with runs,
// come in runs of 24 (whole pixels at every depth) so that run-length coding pays.
std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, bool runs = false) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(W, H);
  const int bits = format == pf1bit ? 1 : format == pf4bit ? 4 : format == pf8bit ? 8 : 0;
  if (bits != 0) {
    LOGPALETTE log{0x300, static_cast<WORD>(1 << bits), {}};
    for (int i = 0; i < (1 << bits); ++i) log.palPalEntry[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    bitmap->SetPalette(CreatePalette(&log));
  }
  for (int y = 0; y < H; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    for (int x = 0; x < bitmap->RowBytes(); ++x) row[x] = std::uint8_t(runs ? x / 24 * 37 + y * 101 : x * 37 + y * 101 + 5);
  }
  return bitmap;
}

std::unique_ptr<TUlmDIB> DibOf(TPixelFormat format, bool runs = false) {
  auto dib = std::make_unique<TUlmDIB>();
  dib->Assign(MakeBitmap(format, runs).get());
  return dib;
}

Bytes Rows(TBitmap* bitmap) { return core_test::ScanBytes(*bitmap, true); }  // bottom-up, as the bitmap library holds them

Bytes Pixels(const TUlmDIB& dib) { return dib_test::Raw(dib.InternalDIB->DIBInfos); }

using core_test::Entries;

TEST(UlmDIB, AChangeToOneSharingBitmapNeverShowsInTheOther) {
  const std::pair<const char*, Action> changes[] = {
      {"SetColors", [](TUlmDIB& b) { b.SetColors(0, clRed); }},
      {"SetPalette", [](TUlmDIB& b) { b.SetPalette(0); }},
      {"SetPalette of the shared handle", [](TUlmDIB& b) {
         b.SetPalette(b.GetPalette());
         b.SetColors(0, clRed);
       }},
      {"ChangePixelFormat", [](TUlmDIB& b) { b.ChangePixelFormat(TUlmPixelFormat::Bit24); }},
      {"canvas", [](TUlmDIB& b) { TUlmDIBCanvas(&b).FillRect(Rect(0, 0, W, H)); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    auto a = DibOf(pf8bit);
    a->MaskColor = clRed;
    const Bytes before = Pixels(*a);
    TUlmDIB b;
    b.Assign(a.get());
    EXPECT_EQ(b.InternalDIB, a->InternalDIB);
    EXPECT_EQ(b.MaskColor, clRed);
    change(b);
    EXPECT_EQ(a->InternalDIB->RefCount, 1);
    EXPECT_EQ(Pixels(*a), before);
    EXPECT_EQ(Entries(a->GetPalette()), Entries(MakeBitmap(pf8bit)->ColorTable()));
  }
}

// In at each depth and out again (directly, or after run-length coding); 15, 16 and 32
// bits become 24; indexed pixels keep their indices.
TEST(UlmDIB, AssignFromAndToTheClassLibrarysBitmapAtEveryDepth) {
  const struct {
    TPixelFormat In;
    int Bits;
    TPixelFormat Out;
    TUlmPixelFormat Via;
  } rows[] = {{pf1bit, 1, pf1bit, TUlmPixelFormat::Bit1},         {pf4bit, 4, pf4bit, TUlmPixelFormat::Bit4},
              {pf4bit, 4, pf4bit, TUlmPixelFormat::Bit4RLE},      {pf8bit, 8, pf8bit, TUlmPixelFormat::Bit8},
              {pf8bit, 8, pf8bit, TUlmPixelFormat::Bit8RLE},      {pf15bit, 24, pf24bit, TUlmPixelFormat::Bit24},
              {pf16bit, 24, pf24bit, TUlmPixelFormat::Bit24},     {pf24bit, 24, pf24bit, TUlmPixelFormat::Bit24},
              {pf32bit, 24, pf24bit, TUlmPixelFormat::Bit24}};
  for (const auto& row : rows) {
    const bool rle = row.Via == TUlmPixelFormat::Bit4RLE || row.Via == TUlmPixelFormat::Bit8RLE;
    SCOPED_TRACE(testing::Message() << row.In << (rle ? " through run-length data" : ""));
    auto source = MakeBitmap(row.In, rle);
    TUlmDIB dib;
    dib.Assign(source.get());
    EXPECT_EQ(dib.GetBitCount(), row.Bits);
    EXPECT_EQ(Entries(dib.GetPalette()), Entries(source->ColorTable()));
    if (row.In == row.Out) {
      EXPECT_EQ(Pixels(dib), Rows(source.get()));
    }
    dib.ChangePixelFormat(row.Via);
    TBitmap back;
    back.Assign(&dib);
    EXPECT_EQ(back.PixelFormat(), row.Out);
    EXPECT_EQ(core_test::Pixels(back), core_test::Pixels(*source));
    if (row.In == row.Out) {
      EXPECT_EQ(Rows(&back), Rows(source.get()));
    }
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
  EXPECT_EQ(Pixels(dib), Rows(source.get()));
  dib.GetPalette();  // a palette made before the exchange must not leave with the picture
  const TColor zero = dib.GetColors(0), five = dib.GetColors(5);
  dib.SetColors(0, five);
  dib.SetColors(5, zero);
  std::vector<RGBQUAD> table = source->ColorTable();
  std::swap(table[0], table[5]);
  auto out = throughPng(&dib);
  EXPECT_EQ(Entries(out->CurrentImage()->ColorTable()), Entries(table));
  EXPECT_EQ(Rows(out->CurrentImage()), Rows(source.get()));
}

// Refusals, and requests for what is already there: the picture stays, nothing announced.
TEST(UlmDIB, RefusedAndEmptyRequestsKeepThePictureAndAnnounceNothing) {
  TPicture picture;
  HGLOBAL block = GlobalAlloc(GHND, 64);
  const char* const clip = "EInvalidGraphic: TUlmDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data";
  const std::pair<std::string, Action> rows[] = {
      {"EUlmDIBInvalidDIBPara: TUlmInternalDIB.CreateDIB: Invalid Parameters", [](TUlmDIB& d) { TBitmap e; d.Assign(&e); }},
      {"EUlmDIBInvalidDIBFile: TUlmInternalDIB.LoadFromFile: File type is invalid",
       [](TUlmDIB& d) { TMemoryStream s; s.WriteBuffer("XX0123456789ABCDEF", 18); s.SetPosition(0); d.LoadFromStream(&s); }},
      {std::string("EOutOfMemory: ") + SOutOfMemory,
       [](TUlmDIB& d) { core_test::TAllocationFailingStream s; d.LoadFromStream(&s); }},
      {clip, [block](TUlmDIB& d) { d.LoadFromClipboardFormat(CF_DIB + 1, block, 0); }},
      {clip, [](TUlmDIB& d) { Clipboard()->Clear(); d.Assign(Clipboard()); }},
      {"EUlmDIBInvalidDIBPara: TUlmDIB.SetWidth: Invalid Width", [](TUlmDIB& d) { d.SetWidth(0); }},
      {"EUlmDIBInvalidDIBPara: TUlmDIB.SetImageHeight: Invalid Height", [](TUlmDIB& d) { d.SetImageHeight(0); }},
      {"EUlmDIBInvalidDIBPara: TUlmDIB.SetBitCount: Invalid BitCount", [](TUlmDIB& d) { d.SetBitCount(2); }},
      {"EUlmDIBPaletteIndexRange: TUlmDIB.GetColors: Palette Index is Out of Range", [](TUlmDIB& d) { d.GetColors(256); }},
      {"EUlmDIBPaletteIndexRange: TUlmDIB.SetColors: Palette Index is Out of Range", [](TUlmDIB& d) { d.SetColors(256, 0); }},
      {"EUlmDIBInvalidPalette: TUlmDIB.SetPalette: Invalid Palette", [](TUlmDIB& d) { d.SetPalette(12345); }},
      {"EConvertError: TUlmDIB を TPicture に代入することはできません", [&picture](TUlmDIB& d) { d.AssignTo(&picture); }},
      {"", [](TUlmDIB& d) { d.SetWidth(W); }},
      {"", [](TUlmDIB& d) { d.SetImageHeight(H); }},
      {"", [](TUlmDIB& d) { d.SetBitCount(8); }},
      {"", [](TUlmDIB& d) { d.Assign(&d); }},
      {"", [](TUlmDIB& d) { d.ChangePixelFormat(TUlmPixelFormat::Bit8); }},
  };
  for (const auto& [text, act] : rows) {
    SCOPED_TRACE(text);
    auto dib = DibOf(pf8bit);
    const Bytes before = Pixels(*dib);
    const TUlmInternalDIB* data = dib->InternalDIB;
    int changes = 0;
    dib->OnChange = [&changes](TObject*) { ++changes; };
    EXPECT_EQ(Raised([&] { act(*dib); }), text);
    EXPECT_TRUE(dib->InternalDIB == data && Pixels(*dib) == before && changes == 0);
  }
  EXPECT_FALSE(Clipboard()->IsOpen());
  GlobalFree(block);
}

TEST(UlmDIB, SizeAndDepthSettersMakeBlankDataOfTheNewGeometry) {
  auto dib = DibOf(pf8bit);
  dib->SetImageHeight(-H);
  EXPECT_EQ(dib->InternalDIB->DIBInfos.Header.biHeight, -H);
  EXPECT_EQ(Pixels(*dib), Bytes(W * H, 0));
  dib->SetWidth(W + 1);
  EXPECT_EQ(dib->InternalDIB->DIBInfos.Header.biHeight, H);  // top-down data becomes bottom-up
  dib->SetBitCount(24);
  EXPECT_EQ(dib->GetPalette(), 0u);
}

// A failed conversion still ends its progress, and announces no change.
TEST(UlmDIB, OnlyQuantisingConversionsReportProgress) {
  const char* const noRoom = "EUlmDIBCompressionFailed: Convert8BitRGBTo8BitRLE: Compression Failed";
  const std::tuple<TUlmPixelFormat, int, std::string, std::string> rows[] = {
      {TUlmPixelFormat::Bit8, 256, "PixelFormat 24Bit -> 8Bit", ""},
      {TUlmPixelFormat::Bit8RLE, 256, "PixelFormat 24Bit -> 8BitRLE", ""},
      {TUlmPixelFormat::Bit8RLE, 256, "PixelFormat 24Bit -> 8BitRLE", noRoom},
      {TUlmPixelFormat::Bit4, 16, "PixelFormat 24Bit -> 4Bit", ""},
      {TUlmPixelFormat::Bit1, 0, "", ""},
      {TUlmPixelFormat::HalfTone, 0, "", ""},
      {TUlmPixelFormat::Bit24, 0, "", ""}};
  for (const auto& [target, total, text, error] : rows) {
    SCOPED_TRACE(testing::Message() << int(target) << " " << error);
    auto dib = DibOf(pf24bit, error.empty());  // without runs the pixels do not compress
    std::vector<std::tuple<TProgressStage, int, bool, std::string>> events;
    dib->OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw, const TRect& rect,
                          const std::string& message) {
      EXPECT_TRUE(sender == dib.get() && rect == Rect(0, 0, W, H));
      events.emplace_back(stage, percent, redraw, message);
    };
    int changes = 0;
    dib->OnChange = [&changes](TObject*) { ++changes; };
    EXPECT_EQ(Raised([&] { dib->ChangePixelFormat(target); }), error);
    EXPECT_EQ(changes, error.empty() && target != TUlmPixelFormat::Bit24 ? 1 : 0);
    ASSERT_EQ(events.size(), total == 0 ? 0u : total + 1u);
    if (total == 0) continue;
    EXPECT_EQ(events.front(), std::make_tuple(psStarting, 0, false, text));
    for (int k = 1; k < total; ++k) EXPECT_EQ(events[k], std::make_tuple(psRunning, k * 100 / total, false, text));
    EXPECT_EQ(events.back(), std::make_tuple(psEnding, 100, true, text));
  }
}

// Two colours of one 5-6-5 bin: the low quality gives them one entry, the high quality two
// (the brighter first); the mask colour marks its own pixel. The settings travel with Assign.
TEST(UlmDIB, ConversionsTakeTheQualityAndMaskColourOfTheBitmap) {
  const std::tuple<std::uint8_t, TColor, TUlmPixelFormat, Bytes> rows[] = {
      {0, clWhite, TUlmPixelFormat::Bit8, {0, 0, 0, 0}},    {1, clWhite, TUlmPixelFormat::Bit8, {1, 0, 0, 0}},
      {0, clWhite, TUlmPixelFormat::Bit4, {0x00, 0, 0, 0}}, {1, clWhite, TUlmPixelFormat::Bit4, {0x10, 0, 0, 0}},
      {0, RGB(4, 0, 0), TUlmPixelFormat::Bit1, {0x40, 0, 0, 0}}};
  for (const auto& [quality, mask, target, pixels] : rows) {
    TUlmDIB source, dib;
    source.SetBitCount(24);
    source.SetWidth(2);
    static_cast<std::uint8_t*>(source.InternalDIB->DIBInfos.Bits)[5] = 4;  // the second pixel's red
    source.ConvertQuality = quality;
    source.MaskColor = mask;
    dib.Assign(&source);
    dib.ChangePixelFormat(target);
    EXPECT_EQ(Pixels(dib), pixels) << int(quality) << " " << int(target);
  }
}

TEST(UlmDIB, HalftoneModesReportSharedPalettesButAssignTheImagesOwn) {
  auto a = DibOf(pf8bit), b = DibOf(pf4bit);
  a->HalftoneMode = b->HalftoneMode = 1;
  ASSERT_EQ(a->GetPalette(), b->GetPalette());
  EXPECT_EQ(Entries(a->GetPalette()), Entries({HalftoneQuads.begin(), HalftoneQuads.end()}));
  a->HalftoneMode = 2;
  EXPECT_EQ(Entries(a->GetPalette()), (std::vector<COLORREF>{0, 0xFFFFFF}));
  TUlmDIB copy;
  copy.Assign(a.get());
  EXPECT_EQ(copy.GetPalette(), a->GetPalette());
  TBitmap back;
  back.Assign(a.get());
  EXPECT_EQ(Entries(back.ColorTable()), Entries(MakeBitmap(pf8bit)->ColorTable()));
}

// Plain drawing stretches the image's colours; halftone drawing diffuses at the
// destination's size, mirrored by a mirroring rectangle, and draws nothing into no area.
TEST(UlmDIB, DrawsPlainlyOrThroughAHalftoneCopy) {
  auto original = MakeBitmap(pf8bit);
  TBitmap target;
  target.SetSize(2 * W, 2 * H);
  target.Canvas()->StretchDraw(Rect(0, 0, 2 * W, 2 * H), DibOf(pf8bit).get());
  for (int y = 0; y < 2 * H; ++y)
    for (int x = 0; x < 2 * W; ++x) ASSERT_EQ(target.Canvas()->Pixels(x, y), original->Canvas()->Pixels(x / 2, y / 2));

  TUlmDIB halves;  // black on the left, white on the right
  halves.SetBitCount(24);
  halves.SetWidth(2);
  for (int i = 3; i < 6; ++i) static_cast<std::uint8_t*>(halves.InternalDIB->DIBInfos.Bits)[i] = 0xFF;
  halves.HalftoneMode = 2;
  const std::tuple<TRect, TColor, TColor> rows[] = {
      {Rect(0, 0, 4, 1), clBlack, clWhite}, {Rect(4, 0, 0, 1), clWhite, clBlack}, {Rect(0, 0, 0, 1), clRed, clRed}};
  for (const auto& [rect, left, right] : rows) {
    TBitmap out;
    out.SetSize(4, 1);
    out.Canvas()->Brush()->Color = clRed;
    out.Canvas()->FillRect(Rect(0, 0, 4, 1));
    halves.DrawOnCanvas(out.Canvas(), rect);
    EXPECT_EQ(core_test::Pixels(out), (std::vector<TColor>{left, left, right, right})) << rect.Left;
  }
  EXPECT_EQ(halves.HalftoneMode, 2);
}

// Run-length data as other programs write them, kept compressed, reach the class library's
// bitmap with the pixels other decoders show, whether the library's own decoder accepts
// them or not: assigned and drawn alike.
TEST(UlmDIB, ForeignRunLengthDataAssignAndDrawAsOtherDecodersShowThem) {
  for (const char* name : {"rle8-odd-width", "rle8-no-end", "rle4-padding-nibble"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(CORPORA_DIR "/foreign/") + name;
    const png_oracle::RgbaPicture reference = png_oracle::ReadRgba(base + ".png");
    const Bytes& rgba = reference.Pixels;
    std::vector<TColor> want;
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) want.push_back(RGB(rgba[i], rgba[i + 1], rgba[i + 2]));
    TUlmDIB dib;
    dib.LoadFromFile(base + ".bmp");
    TBitmap assigned, drawn;
    assigned.Assign(&dib);
    EXPECT_EQ(core_test::Pixels(assigned), want);
    drawn.SetSize(reference.Width, reference.Height);
    drawn.Canvas()->Draw(0, 0, &dib);
    EXPECT_EQ(core_test::Pixels(drawn), want);
  }
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
  EXPECT_EQ(Bytes(pixels.end() - 3 * W, pixels.end() - 3 * W + 3), (Bytes{0, 0, 0xFF}));  // top left

  auto rle = DibOf(pf8bit, true), heap = DibOf(pf8bit);
  rle->ChangePixelFormat(TUlmPixelFormat::Bit8RLE);
  heap->ReleaseInternalDIB();
  heap->InternalDIB = new TUlmInternalDIB(false);
  const std::pair<TUlmDIB*, const char*> refusals[] = {
      {nullptr, "EUlmDIBCanvasFailed: TUlmDIBCanvas.Create: Cannot Create Canvas"},
      {heap.get(), "EUlmDIBCanvasFailed: TUlmDIBCanvas.Create: Cannot Create Canvas"},
      {rle.get(), "EOutOfResources: TUlmDIBCanvas.Create: Cannot Create Memory DC"}};
  for (const auto& [bitmap, text] : refusals) EXPECT_EQ(Raised([&] { TUlmDIBCanvas canvas(bitmap); }), text);
}

TEST(UlmDIB, TheClipboardCarriesThePictureAsCFDIB) {
  auto dib = DibOf(pf8bit);
  WORD format = 0;
  HANDLE data = 0;
  HPALETTE palette = 1;
  dib->SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(std::make_tuple(format, palette, dib->ClipboardFormat()), std::make_tuple(CF_DIB, HPALETTE{0}, CF_DIB));
  Clipboard()->SetAsHandle(CF_DIB, data);
  TUlmDIB copy;
  copy.Assign(Clipboard());
  EXPECT_FALSE(Clipboard()->IsOpen());
  EXPECT_EQ(Pixels(copy), Pixels(*dib));
  EXPECT_EQ(Entries(copy.GetPalette()), Entries(dib->GetPalette()));
  Clipboard()->Clear();
}

TEST(UlmDIB, RegisteredForDibFilesAndCFDIBOncePerProcess) {
  UlmDIB_Initialize();
  UlmDIB_Initialize();
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
