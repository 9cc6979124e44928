// Random sequences of document operations on a document loaded from part of
// the input, then its bytes as a flush writes them and a load of those: the
// reloaded document must read back exactly as the changed one did (a
// differential round trip), all in memory.
#include <cstdint>
#include <string>

#include "ini/KVBigIni.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* d, std::size_t n) : FData(d), FSize(n) {}
  bool More() const { return FPos < FSize; }
  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  // A character of a line: ASCII, or one of a few that stress the codings
  // and the name comparison. Never NUL or LF, which no line can hold.
  char16_t Char() {
    static const char16_t special[] = {u'\u00E4', u'\u00C4', u'\u00DF', u'\u20AC', u'\u4E2D', static_cast<char16_t>(0xD800),
                                       static_cast<char16_t>(0xDC00), u'\u0081', u'\uFFFD', u'\r',     u'\t',     u'\x1A',
                                       u'=',      u'[',      u']',      u';',      u'"',      u' '};
    std::uint8_t b = Byte();
    if (b >= 0x20 && b < 0x7F) return b;
    return special[b % (sizeof special / sizeof special[0])];
  }
  kv::String Text(int maxLen) {
    int n = Byte() % (maxLen + 1);
    kv::String s;
    for (int i = 0; i < n && More(); ++i) s += Char();
    return s;
  }
  // Names from a small pool, so that operations meet each other.
  kv::String Name() {
    static const char16_t* pool[] = {u"A", u"a", u"B", u"Key", u"KEY", u"\u00C4", u"AE", u"", u"x y"};
    std::uint8_t b = Byte();
    if (b < 200) return pool[b % 9];
    return Text(6);
  }

 private:
  const std::uint8_t* FData;
  std::size_t FSize, FPos = 0;
};

// A line that a reload gives back unchanged as a line of its section.
bool SurvivesReload(const kv::String& line) {
  if (line.empty() || line == u"\x1A") return false;
  return !(line.size() >= 2 && line.front() == u'[' && line.back() == u']');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t fileLen = std::min<std::size_t>(size - 2, data[0] * 16u);
  bool force = data[1] & 1;
  Input in(data + 2 + fileLen, size - 2 - fileLen);
  kv::TKVStringList before;
  std::string written;
  {
    kv::TBiggerIniFile ini(kv::String(), force);
    ini.LoadFromBytes(std::string(reinterpret_cast<const char*>(data) + 2, fileLen));
    for (int ops = 0; ops < 64 && in.More(); ++ops) {
      kv::String section = in.Name(), key = in.Name();
      switch (in.Byte() % 10) {
        case 0:
        case 1:
          if (!key.empty()) ini.WriteString(section, key, in.Text(12));
          break;
        case 2: ini.DeleteKey(section, key); break;
        case 3: ini.EraseSection(section); break;
        case 4: {
          kv::String to = in.Name();
          if (!to.empty()) ini.RenameKey(section, key, to);
          break;
        }
        case 5: {
          // Onto another section's name would make two sections of one name,
          // which a reload resolves on purpose.
          kv::String to = in.Name();
          int other = ini.SectionNames().IndexOf(to);
          int self = ini.SectionNames().IndexOf(section);
          if (other < 0 || other == self) ini.RenameSection(section, to);
          break;
        }
        case 6: {
          kv::TKVStringList items;
          for (int n = in.Byte() % 4; n > 0; --n) items.Add(in.Text(5));
          ini.WriteNumberedList(section, items, key, in.Byte() % 3, in.Byte() & 1);
          break;
        }
        case 7: {
          kv::TKVStringList lines;
          for (int n = in.Byte() % 4; n > 0; --n) {
            kv::String l = in.Text(8);
            if (SurvivesReload(l)) lines.Add(l);
          }
          ini.WriteSectionValues(section, lines);
          break;
        }
        case 8:
          if (!key.empty()) ini.WriteBoolDef(section, key, in.Byte() & 1, in.Byte() & 2);
          break;
        default:
          if (!key.empty()) ini.WriteColor(section, key, static_cast<kv::TColor>(in.Byte() * 0x01010101u));
          break;
      }
    }
    ini.ReadAll(before);
    written = ini.DocumentBytes();
  }
  kv::TBigIniFile reloaded(kv::String(), force);
  reloaded.LoadFromBytes(std::move(written));
  kv::TKVStringList after;
  reloaded.ReadAll(after);
  if (after.Count() != before.Count()) __builtin_trap();
  for (int i = 0; i < before.Count(); ++i)
    if (after.Strings(i) != before.Strings(i)) __builtin_trap();
  return 0;
}
