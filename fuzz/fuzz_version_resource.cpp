// The PE resource reader and the version block parser on arbitrary bytes:
// no read out of bounds, and a parsed block answers every query.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/VersionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kv::platform::VersionInfoReader reader;
  std::string block;
  // The input as a whole file, and as a version block of its own.
  if (kv::platform::ExtractVersionResource(bytes, &block)) kv::platform::ParseVersionBlock(block, &reader);
  kv::platform::ParseVersionBlock(bytes, &reader);
  for (std::uint32_t t : reader.Translations()) {
    (void)t;
  }
  std::uint32_t ms, ls;
  reader.FixedFileVersion(&ms, &ls);
  (void)reader.QueryString(u"040904E4", u"FileVersion");
  return 0;
}
