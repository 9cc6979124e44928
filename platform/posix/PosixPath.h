// Internal to the Linux implementation: a framework path as a native path.
#pragma once

#include <string>

#include "platform/Base.h"

namespace kv::platform {
// "\" becomes "/"; a missing name is looked up ignoring letter case.
std::string NativePath(StringView name);
}  // namespace kv::platform
