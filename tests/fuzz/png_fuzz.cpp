// Fuzz target: any byte string loaded as a PNG through the graphic class, and what loads
// saved again. A refusal with the codec's or the class library's error is a correct answer;
// a crash, a sanitizer report, a hang or a runaway allocation is a finding.
#include <cstddef>
#include <cstdint>

#include "classlib/errors.h"
#include "classlib/streams.h"
#include "png/ZelPNG.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream input;
  input.Write(data, static_cast<std::int64_t>(size));
  input.SetPosition(0);
  TZelPNG png;
  try {
    png.LoadFromStream(&input);
  } catch (const Exception&) {
    return 0;
  }
  TMemoryStream output;
  try {
    png.SaveToStream(&output);
  } catch (const Exception&) {
  }
  return 0;
}
