// Start-up safeguards of the process: the failure hook for libraries bound
// at run time, literal date formats, and data execution prevention.
#pragma once

#include "platform/DynamicLibrary.h"
#include "text/SysUtils.h"

namespace kv {

// A library bound at run time could not be loaded.
KV_DECLARE_EXCEPTION(ELoadLibrary, Exception)
// A function could not be found in a library bound at run time.
KV_DECLARE_EXCEPTION(EGetProcAddress, Exception)

// Raises ELoadLibrary "Could not load <library>" for notification 3 and
// EGetProcAddress "Could not load <function> from <library>" (or "Could not
// load index <number> from <library>") for notification 4; null for any
// other notification, which leaves it to the default handling.
void* DelayLoadFailureHook(int Notification, const platform::DelayLoadInfo& Info);
// Installs the hook (module start) and removes it again (module stop).
void DelayedHandler_Initialize();
void DelayedHandler_Finalize();

// Switches data execution prevention on (or asks for off) through
// "SetProcessDEPPolicy" of "Kernel32.dll": its result, 0 where the function
// does not exist. Switched on it stays on for the life of the process.
std::int32_t EnableProcessDep(bool Enable);
bool ProcessDepEnabled();

}  // namespace kv
