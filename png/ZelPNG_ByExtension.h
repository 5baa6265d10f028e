// Loading a picture by its file name: a name taken for a PNG is decoded by TZelPNG, any
// other is left to the class library. Two rules decide what a PNG name is, and they differ
// on purpose: the composers and their palette dialog compare the extension with ".png" and
// ".PNG" only, Pandrel takes it in any letter case.
#pragma once

#include <string>

#include "classlib/graphics.h"

// The extension (from the last point, point included) is exactly ".png" or ".PNG"; a mixed
// spelling such as ".Png" is neither.
bool HasPngExtensionLowerOrUpper(const std::string& fileName);
// The extension is ".png" in any letter case.
bool HasPngExtensionAnyCase(const std::string& fileName);

using TPngNameRule = bool (*)(const std::string& fileName);

// In each load below the codec's picture is freed before it returns, also when the load
// fails, and a failed load leaves the destination as it was.

// A PNG is assigned to the bitmap; any other name goes to the bitmap's own loader (BMP only).
void LoadByExtension(TBitmap* dest, const std::string& fileName, TPngNameRule isPng);
// A PNG is assigned to the picture, which then holds a TZelPNG; any other name goes to the
// picture loader, which picks the graphic class by the extension without regard to case.
void LoadByExtension(TPicture* dest, const std::string& fileName, TPngNameRule isPng);
// As above, but a PNG lands as the picture's bitmap, so that its pixels can be read.
void LoadAsBitmapByExtension(TPicture* dest, const std::string& fileName, TPngNameRule isPng);
