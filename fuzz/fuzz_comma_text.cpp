// Comma text from arbitrary UTF-16 input: parsing what was formatted gives the
// same elements back, and the comma-separated info's accessors never crash.
#include <cstdint>
#include <cstring>

#include "ini/KVBigIni.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::String text(size / 2, u'\0');
  if (size >= 2) std::memcpy(text.data(), data, text.size() * 2);
  kv::TKVStringList list;
  list.SetCommaText(text);
  kv::String formatted = list.CommaText();
  kv::TKVStringList again;
  again.SetCommaText(formatted);
  if (again.Count() != list.Count()) __builtin_trap();
  for (int i = 0; i < list.Count(); ++i)
    if (again.Strings(i) != list.Strings(i)) __builtin_trap();
  if (again.CommaText() != formatted) __builtin_trap();

  kv::TCSIFont font;
  font.SetValue(text);
  int n = font.Values().Count();
  for (int i = 0; i < n && i < 16; ++i) {
    font.AsInteger(i);
    font.AsBoolean(i);
    font.GetColor(i);
  }
  if (n >= 9) {
    font.FontStyle();
    font.SetFontColor(font.FontColor());
    font.SetFontStyle(font.FontStyle());
  }
  // Any element survives the comma text, up to a NUL, which ends every text.
  if (size) font.SetElement(data[0] % 20, text.substr(0, text.find(u'\0')));
  kv::TCSIFont copy;
  copy.SetValue(font.Value());
  if (copy.Value() != font.Value()) __builtin_trap();
  return 0;
}
