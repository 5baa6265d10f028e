// Fuzz target: any byte string loaded as a BMP file by both readers, the class library's
// bitmap and the bitmap library's TUlmDIB. A refusal with an error of either library is a
// correct answer; a crash, a sanitizer report, a hang or a runaway allocation is a finding,
// and so is a picture that, saved again, does not load back at its size.
//
// The last byte picks the pixel format the TUlmDIB is converted to before it is saved, so
// the converters see every depth and compression the readers can produce.
#include <cstddef>
#include <cstdint>

#include "classlib/errors.h"
#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "dib/UlmDIB_Graphic.h"

namespace {

// False when the picture's own reader refuses the stream's bytes with an error of its library.
template <class Picture>
bool Loads(Picture& picture, TStream* input) {
  try {
    picture.LoadFromStream(input);
  } catch (const Exception&) {
    return false;
  }
  return true;
}

template <class Picture>
bool Loads(Picture& picture, const std::uint8_t* data, std::size_t size) {
  TMemoryStream input;
  input.Write(data, static_cast<std::int64_t>(size));
  input.SetPosition(0);
  return Loads(picture, &input);
}

// Read back from the saved stream itself: a copy of a picture near the cap would cost as
// much as the load.
template <class Picture>
void ExpectReloads(Picture& picture) {
  TMemoryStream saved;
  picture.SaveToStream(&saved);
  saved.SetPosition(0);
  Picture again;
  if (!Loads(again, &saved)) __builtin_trap();
  if (again.Width() != picture.Width() || again.Height() != picture.Height()) __builtin_trap();
}

void FuzzBitmap(const std::uint8_t* data, std::size_t size) {
  TBitmap bitmap;
  if (Loads(bitmap, data, size)) ExpectReloads(bitmap);
}

void FuzzDib(const std::uint8_t* data, std::size_t size, std::uint8_t options) {
  TUlmDIB dib;
  if (!Loads(dib, data, size)) return;
  // Conversions walk every pixel, several times for halftones: large pictures only slow
  // the search down without reaching other code.
  // Run-length data is only decoded by a conversion, which may therefore refuse it.
  if (static_cast<std::int64_t>(dib.Width()) * dib.Height() <= (1 << 18)) {
    dib.ConvertQuality = options >> 7;
    try {
      dib.ChangePixelFormat(static_cast<TUlmPixelFormat>((options & 0x7F) % 8));
    } catch (const Exception&) {
      return;
    }
  }
  ExpectReloads(dib);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzBitmap(data, size);
  FuzzDib(data, size, size > 0 ? data[size - 1] : 0);
  return 0;
}
