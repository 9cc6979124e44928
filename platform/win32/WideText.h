// Our UTF-16 strings as the Windows API's wide texts and back: on Windows
// wchar_t and char16_t have the same size and representation.
#pragma once

#include <cwchar>

#include "platform/Base.h"

namespace kv::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide texts are UTF-16 on Windows");

inline const wchar_t* W(const String& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline String FromWide(const wchar_t* s) { return s ? String(reinterpret_cast<const char16_t*>(s)) : String(); }
inline String FromWide(const wchar_t* s, std::size_t n) { return String(reinterpret_cast<const char16_t*>(s), n); }

}  // namespace kv::platform
