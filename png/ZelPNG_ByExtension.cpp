#include "png/ZelPNG_ByExtension.h"

#include "classlib/filenames.h"
#include "png/ZelPNG.h"

namespace {

// The one road every load by extension takes: land receives the decoded PNG; loader loads
// any other name itself.
template <class Loader, class Land>
void Load(Loader* loader, const std::string& fileName, TPngNameRule isPng, Land land) {
  if (!isPng(fileName)) {
    loader->LoadFromFile(fileName);
    return;
  }
  TZelPNG png;
  png.LoadFromFile(fileName);
  land(&png);
}

}  // namespace

bool HasPngExtensionLowerOrUpper(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  return ext == ".png" || ext == ".PNG";
}

bool HasPngExtensionAnyCase(const std::string& fileName) { return LowerCase(ExtractFileExt(fileName)) == ".png"; }

void LoadByExtension(TBitmap* dest, const std::string& fileName, TPngNameRule isPng) {
  Load(dest, fileName, isPng, [dest](TZelPNG* png) { dest->Assign(png); });
}

void LoadByExtension(TPicture* dest, const std::string& fileName, TPngNameRule isPng) {
  Load(dest, fileName, isPng, [dest](TZelPNG* png) { dest->Assign(png); });
}

void LoadAsBitmapByExtension(TPicture* dest, const std::string& fileName, TPngNameRule isPng) {
  // The bitmap is asked for only once the decode has succeeded: asking earlier would
  // replace the picture's graphic even when the load fails.
  Load(dest, fileName, isPng, [dest](TZelPNG* png) { dest->Bitmap()->Assign(png); });
}
