// Fuzz target: any byte string loaded as a PNG through the graphic class, and what loads
// saved again. A refusal with the codec's or the class library's error is a correct answer;
// a crash, a sanitizer report, a hang or a runaway allocation is a finding, and so is a
// saved file that the codec cannot read back.
//
// The reader never checks a chunk's CRC, so the input's last byte (the end chunk's CRC in
// a well-formed file) is free to pick the read and write options; the seeds stay valid PNG.
#include <cstddef>
#include <cstdint>

#include "classlib/errors.h"
#include "classlib/streams.h"
#include "png/ZelPNG.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t options = size > 0 ? data[size - 1] : 0;
  TMemoryStream input;
  input.Write(data, static_cast<std::int64_t>(size));
  input.SetPosition(0);
  TZelPNG png;
  png.ReadHighColor = (options & 1) != 0;
  try {
    png.LoadFromStream(&input);
  } catch (const Exception&) {
    return 0;
  }
  png.Interlace = (options >> 1) & 1;
  png.Grayscale = ((options >> 2) & 1) != 0;
  png.FilterMode = static_cast<std::uint8_t>(((options >> 3) & 7) % 6);
  if (options & 0x40) png.CompressionLevel = 1;
  TMemoryStream output;
  try {
    png.SaveToStream(&output);
  } catch (const Exception&) {
    return 0;
  }
  output.SetPosition(0);
  TZelPNG again;
  try {
    again.LoadFromStream(&output);
  } catch (const Exception&) {
    __builtin_trap();
  }
  if (again.Width() != png.Width() || again.Height() != png.Height()) __builtin_trap();
  return 0;
}
