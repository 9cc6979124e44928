// Bitmap files and packed DIBs from arbitrary bytes: decoding either gives a
// bitmap that encodes and decodes to the same pixels, or raises EInvalidGraphic.
#include <cstdint>
#include <string_view>

#include "toolkit/Canvas.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const kv::TBitmap b = kv::DecodeBmp(bytes);
    const kv::TBitmap again = kv::DecodeBmp(kv::EncodeBmp(b));
    if (again.Pixels() != b.Pixels() || again.Width() != b.Width()) __builtin_trap();
  } catch (const kv::EInvalidGraphic&) {
  }
  return 0;
}
