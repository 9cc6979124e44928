// Loads arbitrary bytes as an INI document (from memory) with cleaning flags
// taken from the first byte, then reads it every way (the first sections and
// keys, so that one input stays cheap): no crash, no leak, no undefined
// behaviour.
#include <cstdint>
#include <string>

#include "ini/KVBigIni.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::uint8_t flags = data[0];
  kv::TBigIniFile ini(kv::String(), (flags & 0x80) != 0);
  ini.SetFlagDropCommentLines(flags & 1);
  ini.SetFlagDropWhiteSpace(flags & 2);
  ini.SetFlagDropApostrophes(flags & 4);
  ini.SetFlagTrimRight(flags & 8);
  ini.SetFlagFilterOutInvalid(flags & 16);
  ini.SetFlagClearOnReadSectionValues(flags & 32);
  if (flags & 64) {
    ini.SetEraseSectionCallback(
        [](const kv::String&, const kv::TKVStringList& a, const kv::TKVStringList& b) { return a.Count() >= b.Count(); });
  }
  ini.LoadFromBytes(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  kv::TKVStringList all, sections;
  ini.ReadAll(all);
  ini.ReadSections(sections);
  for (int i = 0; i < sections.Count() && i < 8; ++i) {
    const kv::String& s = sections.Strings(i);
    kv::TKVStringList keys, values;
    ini.ReadSection(s, keys);
    ini.ReadSectionValues(s, values);
    for (int k = 0; k < keys.Count() && k < 4; ++k) {
      ini.ReadString(s, keys.Strings(k), u"");
      ini.ReadInteger(s, keys.Strings(k), 0);
      ini.ReadFloat(s, keys.Strings(k), 0);
      ini.ReadDateTime(s, keys.Strings(k), 0);
      ini.ValueExists(s, keys.Strings(k));
    }
  }
  return 0;
}
