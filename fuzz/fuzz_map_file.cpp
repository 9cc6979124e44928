// Symbol maps from arbitrary bytes: a map that is not whole gives no symbols
// at all, and lookups and stack lines of any address never crash.
#include <cstdint>
#include <string_view>

#include "diagnostics/KVDebugInfo.h"
#include "diagnostics/KVMapFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  kv::TMapFile map;
  bool parsed = map.Parse(text, size % 3 == 0 ? "00ff" : "");
  if (!parsed && !map.Empty()) __builtin_trap();

  const std::uintptr_t base = 0x400000;
  auto name = [&](std::uintptr_t address, bool isReturn) {
    kv::TFrameInfo info;
    info.Address = address;
    info.ModuleBase = base;
    info.ModuleName = u"Fuzz.exe";
    kv::LocateInMap(map, address, isReturn, info);
    kv::String line = kv::FormatStackLine(info);
    if (line.size() < 2 * sizeof(std::uintptr_t) + 16) __builtin_trap();
  };
  // The edges of every procedure and line record, and addresses from the input.
  std::size_t n = 0;
  for (const auto& p : map.Procedures()) {
    if (++n > 64) break;
    name(base + static_cast<std::uintptr_t>(p.Start), true);
    name(base + static_cast<std::uintptr_t>(p.Start + p.Size), true);
    name(base + static_cast<std::uintptr_t>(p.Start + p.Size - 1), false);
  }
  n = 0;
  for (const auto& l : map.Lines()) {
    if (++n > 64) break;
    name(base + static_cast<std::uintptr_t>(l.Address), false);
  }
  for (std::size_t i = 0; i + sizeof(std::uint32_t) <= size && i < 64; i += sizeof(std::uint32_t)) {
    std::uint32_t v;
    __builtin_memcpy(&v, data + i, sizeof v);
    name(base + v, (v & 1) != 0);
    name(v, false);
  }
  return 0;
}
