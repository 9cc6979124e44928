#include "platform/DynamicLibrary.h"

#include <atomic>
#include <cstdlib>

namespace kv::platform {

namespace {
std::atomic<DelayLoadFailureHookFunc> gFailureHook{nullptr};

// "#12" names the function of ordinal 12.
bool IsOrdinal(const char* name) { return name && name[0] == '#'; }
}  // namespace

DelayLoadFailureHookFunc ExchangeDelayLoadFailureHook(DelayLoadFailureHookFunc hook) { return gFailureHook.exchange(hook); }

LibraryHandle RequireLibrary(const char* name) {
  if (LibraryHandle h = LoadDynamicLibrary(FromUtf8(name))) return h;
  DelayLoadInfo info;
  info.DllName = name;
  if (DelayLoadFailureHookFunc hook = gFailureHook.load())
    if (void* replacement = hook(kDelayLoadFailLoadLibrary, info))
      return reinterpret_cast<LibraryHandle>(replacement);
  throw EOSError(u"The library " + FromUtf8(name) + u" could not be loaded", 126);
}

void* RequireFunction(LibraryHandle library, const char* libraryName, const char* name) {
  if (void* f = LibraryFunction(library, name)) return f;
  DelayLoadInfo info;
  info.DllName = libraryName;
  info.ImportByName = !IsOrdinal(name);
  if (info.ImportByName)
    info.ProcName = name ? name : "";
  else
    info.Ordinal = static_cast<std::uint32_t>(std::strtoul(name + 1, nullptr, 10));
  if (DelayLoadFailureHookFunc hook = gFailureHook.load())
    if (void* replacement = hook(kDelayLoadFailGetProcAddress, info)) return replacement;
  throw EOSError(u"The function " + FromUtf8(name ? name : "") + u" is missing from " + FromUtf8(libraryName), 127);
}

}  // namespace kv::platform
