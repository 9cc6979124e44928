// The line reader on arbitrary bytes read from memory, in the mode the first
// byte chooses (UTF-8 on request or not, line feed or CR LF line ends, the
// reader's own walk or a descendant's hooked one, the single-byte coding):
// no crash, no leak, and the reading always ends.
#include <cstdint>
#include <memory>
#include <string>

#include "text/_4Files.h"

namespace {
// A descendant, so that the per-character walk is exercised as well.
class Hooked : public kv::TUnicodeFileReader {
  using TUnicodeFileReader::TUnicodeFileReader;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const bool utf8 = mode & 1, unixBreaks = mode & 2, hooked = mode & 4;
  auto source = std::make_unique<kv::TBytesStream>(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::unique_ptr<kv::TUnicodeFileReader> r = hooked ? std::make_unique<Hooked>(std::move(source), utf8)
                                                     : std::make_unique<kv::TUnicodeFileReader>(std::move(source), utf8);
  r->SetSupportUnixLineBreak(unixBreaks);
  r->SetAsciiType(static_cast<kv::TASCIIType>((mode >> 3) % 3));
  std::size_t lines = 0;
  while (!r->Eof()) {
    r->ReadLine();
    if (++lines > size) __builtin_trap();  // every line consumes at least one byte
  }
  return 0;
}
