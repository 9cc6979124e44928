// Internal to the Linux implementation: a framework path as a native path.
#pragma once

#include <string>
#include <string_view>

#include "platform/Base.h"

namespace kv::platform {
// "\" becomes "/"; a missing name is looked up ignoring letter case.
std::string NativePath(StringView name);
// A native path as the framework writes paths: "/" becomes "\".
String WindowsStylePath(std::string_view native);
// The home folder ($HOME, else the account's), empty when unknown.
std::string HomeFolder();
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string UserConfigFolder();
}  // namespace kv::platform
