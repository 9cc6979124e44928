// The registry store's file format from arbitrary bytes: a text that parses
// is written again and parses to the same keys and values, exactly.
#include <cstdint>
#include <string_view>

#include "platform/CodePages.h"
#include "platform/Registry.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Both forms the store reads: UTF-16 with its mark, or UTF-8.
  const String text = size % 2 == 0 ? platform::DecodeUtf16Le(bytes) : platform::DecodeUtf8Lenient(bytes);
  std::vector<platform::RegKeyRecord> keys, again;
  String error;
  if (!platform::ParseRegText(text, &keys, &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const String written = platform::FormatRegText(keys);
  if (!platform::ParseRegText(written, &again, &error)) __builtin_trap();
  if (again.size() != keys.size()) __builtin_trap();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (again[k].Path != keys[k].Path || again[k].Values.size() != keys[k].Values.size()) __builtin_trap();
    for (std::size_t v = 0; v < keys[k].Values.size(); ++v) {
      const auto &a = keys[k].Values[v], &b = again[k].Values[v];
      if (a.Name != b.Name || a.Type != b.Type || a.Data != b.Data) __builtin_trap();
    }
  }
  return 0;
}
