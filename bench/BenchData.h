// Generated INI files for the benchmarks: sections of 100 keys each.
#pragma once

#include <string>

#include "platform/Base.h"

namespace kvbench {
enum class Coding { Utf8, Utf16Le, Ansi };
const char* CodingName(Coding c);
// The native path of a generated file of about megabytes MB, made once.
std::string GeneratedFile(int megabytes, Coding coding);
kv::String FrameworkPath(const std::string& native);
}  // namespace kvbench
