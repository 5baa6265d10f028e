// Reading and writing the composers' pictures: the extension rule, opening the working
// sheet and the source pictures, and the save command with its palette step.
#pragma once

#include <memory>
#include <string>

#include "classlib/graphics.h"

class TImage;
class TOpenDialog;
class TSaveDialog;

// Exactly ".png" or ".PNG" goes through the PNG codec; every other name goes to the
// bitmap's own loader, which reads BMP only.
void LoadBitmapByExtension(TBitmap* dest, const std::string& fileName);

// The same two comparisons, but other names go to the picture loader, which picks the
// graphic class by the extension without regard to case. A PNG read by the codec lands
// as a bitmap, so the eyedropper can read its pixels.
void LoadReferencePicture(TPicture* picture, const std::string& fileName);

// The 8-bit picture a save writes: "auto" reduces the sheet to at most 256 colours;
// anything else is the path of a picture whose palette the sheet's pixels are mapped
// into. The sheet itself stays as it is, so later edits keep their full colour.
std::unique_ptr<TBitmap> MakeSavePicture(TBitmap* sheet, const std::string& paletteSource);

// Writes by the name's extension alone: ".png" or ".PNG" as PNG, anything else as BMP.
void WriteSheetPicture(TBitmap* picture, const std::string& fileName);

// Runs od and loads the chosen file as the working sheet at 24 bits; the selection goes
// back to cell 0,0. False when the user cancelled. On a failed load nothing has changed.
bool OpenWorkingSheet(TOpenDialog* od, TBitmap* sheet, int& col, int& row);

// Runs od and loads the chosen file as a source picture in the format loading gave it;
// the view shows it without a frame and the source's selection goes back to 0,0.
bool OpenSourcePicture(TOpenDialog* od, TBitmap* source, TImage* view, int& col, int& row);

// The save command: the palette dialog, then the save dialog, then the picture is made
// and written. Cancelling either dialog writes nothing.
void SaveSheet(TBitmap* sheet, TSaveDialog* sd);
