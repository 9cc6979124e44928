// Resources linked into the running program (Windows: its resource section).
#pragma once

#include <string>

#include "platform/Base.h"

namespace kv::platform {

constexpr std::uint32_t kResourceBitmap = 2;  // RT_BITMAP

// The bytes of the named resource of that type in the program's module;
// false when there is none (always on Linux, whose builds carry their
// resources as data instead).
bool LoadModuleResource(StringView name, std::uint32_t type, std::string& bytes);

}  // namespace kv::platform
