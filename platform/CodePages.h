// Code page conversions: UTF-8, the system ANSI and OEM code pages, Windows-1252.
#pragma once

#include <string>
#include <string_view>

#include "platform/Base.h"

namespace kv::platform {

// UTF-8 to UTF-16; every malformed sequence (maximal invalid subpart) becomes U+FFFD.
String DecodeUtf8Lenient(std::string_view bytes);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(StringView text);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 little-endian bytes, without byte-order mark; decoding ignores a
// trailing odd byte.
std::string EncodeUtf16Le(StringView text);
String DecodeUtf16Le(std::string_view bytes);

// Windows-1252: bytes 0x80..0x9F to their characters; the five undefined bytes
// and everything else to the code point of the same value.
char16_t Windows1252ToChar(unsigned char b);
String DecodeWindows1252(std::string_view bytes);

// The system ANSI code page (the user's on Windows; Windows-1252 on Linux).
unsigned AnsiCodePage();
String DecodeAnsi(std::string_view bytes);
// Characters the code page cannot hold become "?"; *lossy reports whether any did.
std::string EncodeAnsi(StringView text, bool* lossy = nullptr);

// The OEM code page (the console's on Windows; 850 on Linux).
unsigned OemCodePage();
// OEM bytes to ANSI bytes, as OemToCharA does.
std::string OemBytesToAnsi(std::string_view bytes);
// ANSI bytes to OEM bytes, as CharToOemA does.
std::string AnsiBytesToOem(std::string_view bytes);

}  // namespace kv::platform
