// The portable conversions; the code-page specific ones are in win32/ and posix/.
#include "platform/CodePages.h"

#include <cstdint>
#include <cstring>

namespace kv::platform {

String DecodeUtf8Lenient(std::string_view s) {
  // Every byte gives at most one unit (a four-byte sequence two): the text is
  // written in place and cut to its length at the end.
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  String out(n, u'\0');
  char16_t* o = out.data();
  size_t i = 0;
  while (i < n) {
    unsigned char c = p[i];
    if (c < 0x80) {
      // Fast run of ASCII: eight bytes at a time while none has its top bit.
      while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL) break;
        for (int k = 0; k < 8; ++k) o[k] = p[i + k];
        o += 8;
        i += 8;
      }
      while (i < n && p[i] < 0x80) *o++ = p[i++];
      continue;
    }
    unsigned need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      *o++ = u'\uFFFD';
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (unsigned k = 0; k < need; ++k, ++j) {
      if (j >= n || p[j] < lo || p[j] > hi) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (p[j] & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    if (!ok) {
      *o++ = u'\uFFFD';
      i = j;  // the maximal subpart is replaced once
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
    i = j;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

bool IsValidUtf8(std::string_view s) {
  String d = DecodeUtf8Lenient(s);
  if (d.find(u'\uFFFD') == String::npos) return true;
  return EncodeUtf8(d) == s;  // a literal U+FFFD in the input is valid
}

std::string EncodeUtf8(StringView s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {
// Windows-1252 0x80..0x9F; the undefined bytes keep their own value.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string EncodeUtf16Le(StringView text) {
  std::string out(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

String DecodeUtf16Le(std::string_view bytes) {
  String out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

char16_t Windows1252ToChar(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? k1252High[b - 0x80] : static_cast<char16_t>(b);
}

String DecodeWindows1252(std::string_view bytes) {
  String out(bytes.size(), u'\0');
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  char16_t* o = out.data();
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    // Runs of eight ASCII bytes widen without a look at the table.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, in + i, 8);
      if (w & 0x8080808080808080ull) break;
      for (size_t k = 0; k < 8; ++k) o[i + k] = in[i + k];
      i += 8;
    }
    if (i >= n) break;
    o[i] = Windows1252ToChar(in[i]);
    ++i;
  }
  return out;
}

}  // namespace kv::platform
