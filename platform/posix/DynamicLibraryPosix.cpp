#include "platform/DynamicLibrary.h"

namespace kv::platform {

// The libraries asked for by name are Windows system libraries, which do
// not exist here.
LibraryHandle LoadDynamicLibrary(StringView, bool) { return 0; }
void* LibraryFunction(LibraryHandle, const char*) { return nullptr; }
void FreeDynamicLibrary(LibraryHandle) {}

TWindowsVersion WindowsVersion() { return {10, 0, 0}; }

}  // namespace kv::platform
