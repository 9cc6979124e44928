// Linux has no system code pages: the ANSI code page is Windows-1252 and the
// OEM code page is 850 (Western European), whose upper half comes from iconv.
#include <iconv.h>

#include <array>
#include <mutex>
#include <unordered_map>

#include "platform/CodePages.h"

namespace kv::platform {

namespace {

struct Tables {
  std::array<char16_t, 256> oem{};
  std::unordered_map<char16_t, unsigned char> toAnsi;
  std::unordered_map<char16_t, unsigned char> toOem;
};

const Tables& GetTables() {
  static const Tables t = [] {
    Tables r;
    for (int b = 0; b < 256; ++b) r.oem[b] = static_cast<char16_t>(b);
    iconv_t cd = iconv_open("UTF-16LE", "CP850");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      for (int b = 0x80; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char outb[8] = {};
        char* ip = &in;
        char* op = reinterpret_cast<char*>(outb);
        size_t il = 1, ol = sizeof outb;
        if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == sizeof outb - 2)
          r.oem[b] = static_cast<char16_t>(outb[0] | (outb[1] << 8));
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
      iconv_close(cd);
    }
    for (int b = 255; b >= 0; --b) {
      r.toAnsi[Windows1252ToChar(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
      r.toOem[r.oem[b]] = static_cast<unsigned char>(b);
    }
    return r;
  }();
  return t;
}

}  // namespace

unsigned AnsiCodePage() { return 1252; }
unsigned OemCodePage() { return 850; }

String DecodeAnsi(std::string_view bytes) { return DecodeWindows1252(bytes); }

std::string EncodeAnsi(StringView text, bool* lossy) {
  const auto& t = GetTables();
  std::string out;
  out.reserve(text.size());
  bool lost = false;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    auto it = t.toAnsi.find(c);
    if (it == t.toAnsi.end()) {
      out += '?';
      lost = true;
    } else {
      out += static_cast<char>(it->second);
    }
  }
  if (lossy) *lossy = lost;
  return out;
}

std::string OemBytesToAnsi(std::string_view bytes) {
  const auto& t = GetTables();
  String u;
  u.reserve(bytes.size());
  for (unsigned char b : bytes) u += t.oem[b];
  return EncodeAnsi(u);
}

std::string AnsiBytesToOem(std::string_view bytes) {
  const auto& t = GetTables();
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char16_t c = Windows1252ToChar(b);
    auto it = t.toOem.find(c);
    out += it == t.toOem.end() ? '?' : static_cast<char>(it->second);
  }
  return out;
}

}  // namespace kv::platform
