#include "composer/Pictures.h"

#include "classlib/forms/dialogs.h"
#include "colour/MedianCut.h"
#include "colour/Unit_DColor.h"
#include "composer/Cells.h"
#include "png/ZelPNG.h"
#include "png/ZelPNG_ByExtension.h"

void LoadBitmapByExtension(TBitmap* dest, const std::string& fileName) {
  LoadByExtension(dest, fileName, HasPngExtensionLowerOrUpper);
}

void LoadReferencePicture(TPicture* picture, const std::string& fileName) {
  LoadAsBitmapByExtension(picture, fileName, HasPngExtensionLowerOrUpper);
}

namespace {

std::unique_ptr<TBitmap> MapIntoPalette(TBitmap* sheet, const std::string& palettePath) {
  // Loaded first: a palette picture that fails to load stops the save before anything is made.
  auto palettePicture = std::make_unique<TBitmap>();
  LoadBitmapByExtension(palettePicture.get(), palettePath);

  auto picture = std::make_unique<TBitmap>();
  picture->SetPixelFormat(pf8bit);
  picture->SetSize(sheet->Width(), sheet->Height());
  // The palette picture's handle is borrowed, so the new bitmap takes a copy. A palette
  // picture without a palette of its own leaves the 8-bit bitmap's default table.
  if (HPALETTE palette = CopyPalette(palettePicture->Palette())) picture->SetPalette(palette);
  // The device maps every pixel to the nearest entry: the palette is applied unchanged.
  BitBlt(picture->Canvas()->Handle(), 0, 0, sheet->Width(), sheet->Height(), sheet->Canvas()->Handle(), 0, 0,
         SRCCOPY);
  return picture;
}

}  // namespace

std::unique_ptr<TBitmap> MakeSavePicture(TBitmap* sheet, const std::string& paletteSource) {
  if (paletteSource == "auto") return ReduceColors(sheet, 8);
  return MapIntoPalette(sheet, paletteSource);
}

void WriteSheetPicture(TBitmap* picture, const std::string& fileName) {
  if (HasPngExtensionLowerOrUpper(fileName)) {
    TZelPNG png;
    png.Assign(picture);
    png.SaveToFileName(fileName);
  } else {
    picture->SaveToFileName(fileName);
  }
}

bool OpenWorkingSheet(TOpenDialog* od, TBitmap* sheet, int& col, int& row) {
  if (!od->Execute()) return false;
  LoadBitmapByExtension(sheet, od->FileName);
  sheet->SetPixelFormat(pf24bit);
  col = 0;
  row = 0;
  return true;
}

bool OpenSourcePicture(TOpenDialog* od, TBitmap* source, TImage* view, int& col, int& row) {
  if (!od->Execute()) return false;
  LoadBitmapByExtension(source, od->FileName);
  ShowPlain(view, source);
  col = 0;
  row = 0;
  return true;
}

void SaveSheet(TBitmap* sheet, TSaveDialog* sd) {
  if (frmDColor->RunModal() != mrOk) return;
  if (!sd->Execute()) return;
  const std::unique_ptr<TBitmap> picture = MakeSavePicture(sheet, PaletteSource);
  WriteSheetPicture(picture.get(), sd->FileName);
  PalettePicture.reset();
}
