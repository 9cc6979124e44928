#include "system/DelayedHandler.h"

#include "text/SysUtils.h"

namespace kv {

void* DelayLoadFailureHook(int Notification, const platform::DelayLoadInfo& Info) {
  const String library = FromUtf8(Info.DllName);
  switch (Notification) {
    case platform::kDelayLoadFailLoadLibrary: throw ELoadLibrary(u"Could not load " + library);
    case platform::kDelayLoadFailGetProcAddress:
      if (Info.ImportByName) throw EGetProcAddress(u"Could not load " + FromUtf8(Info.ProcName) + u" from " + library);
      throw EGetProcAddress(u"Could not load index " + IntToStr(Info.Ordinal) + u" from " + library);
    default: return nullptr;
  }
}

void DelayedHandler_Initialize() { platform::ExchangeDelayLoadFailureHook(&DelayLoadFailureHook); }
void DelayedHandler_Finalize() { platform::ExchangeDelayLoadFailureHook(nullptr); }

namespace {

using TSetProcessDepPolicy = std::int32_t(KV_STDCALL*)(std::uint32_t flags);
bool gDepLookedUp = false;
TSetProcessDepPolicy gSetProcessDepPolicy = nullptr;
bool gProcessDepEnabled = false;

}  // namespace

std::int32_t EnableProcessDep(bool Enable) {
  if (!gDepLookedUp) {
    gDepLookedUp = true;
    if (platform::LibraryHandle kernel = platform::LoadDynamicLibrary(u"Kernel32.dll", true))
      gSetProcessDepPolicy =
          reinterpret_cast<TSetProcessDepPolicy>(platform::LibraryFunction(kernel, "SetProcessDEPPolicy"));
  }
  if (!gSetProcessDepPolicy) return 0;
  constexpr std::uint32_t PROCESS_DEP_ENABLE = 1;
  const std::int32_t result = gSetProcessDepPolicy(Enable ? PROCESS_DEP_ENABLE : 0);
  gProcessDepEnabled = Enable && result != 0;
  return result;
}

bool ProcessDepEnabled() { return gProcessDepEnabled; }

}  // namespace kv
