// Every mode of the line reader on arbitrary bytes: no crash, no leak, and the
// reading always ends.
#include <cstdint>

#include "FuzzFile.h"
#include "text/_4Files.h"

namespace {
// A descendant, so that the per-character walk is exercised as well.
class Hooked : public kv::TUnicodeFileReader {
  using TUnicodeFileReader::TUnicodeFileReader;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::String file = kvfuzz::WriteInput(data, size);
  for (int mode = 0; mode < 8; ++mode) {
    bool utf8 = mode & 1, unixBreaks = mode & 2, hooked = mode & 4;
    kv::TUnicodeFileReader plain(file, utf8);
    Hooked other(file, utf8);
    kv::TUnicodeFileReader& r = hooked ? static_cast<kv::TUnicodeFileReader&>(other) : plain;
    r.SetSupportUnixLineBreak(unixBreaks);
    r.SetAsciiType(static_cast<kv::TASCIIType>(mode % 3));
    std::size_t lines = 0;
    while (!r.Eof()) {
      r.ReadLine();
      if (++lines > size + 1) __builtin_trap();  // every line consumes at least one byte
    }
  }
  return 0;
}
