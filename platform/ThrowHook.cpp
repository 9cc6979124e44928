// The raising of C++ exceptions, hooked: every program is linked with
// --wrap=__cxa_throw, so each throw of the program's own code (and, in the
// static Windows programs, of the C++ library's) comes here first.
#include <atomic>

#include "platform/StackWalk.h"

extern "C" {
// The C++ runtime's own function (the destructor pointer has the runtime's
// calling convention; it is only passed on).
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
}

namespace kv::platform {
namespace {
std::atomic<ThrowHook> gThrowHook{nullptr};
}

void SetThrowHook(ThrowHook hook) { gThrowHook.store(hook, std::memory_order_release); }

}  // namespace kv::platform

extern "C" [[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
  if (kv::platform::ThrowHook hook = kv::platform::gThrowHook.load(std::memory_order_acquire)) hook(object, type);
  __real___cxa_throw(object, type, destructor);
}
