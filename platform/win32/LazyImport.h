// Functions of system libraries that the program needs only now and then
// (the shell, COM, the network API, version resources): the library is
// loaded from the system folder and the function looked up at the first
// call, not when the program starts. A library or function that cannot be
// had is reported as a failed delay load is (RequireFunction).
#pragma once

#include <atomic>

namespace kv::platform {

// The function name of the system library dll, looked up once per call site.
void* LazyImportAddress(const char* dll, const char* name);

// A function of a system library, bound at its first call:
//   static const LazyImport<decltype(&ShellExecuteExW)> shellExecute("shell32.dll", "ShellExecuteExW");
template <class Fn>
class LazyImport {
 public:
  constexpr LazyImport(const char* dll, const char* name) : FDll(dll), FName(name) {}
  template <class... Args>
  auto operator()(Args&&... args) const {
    Fn f = FFunction.load(std::memory_order_acquire);
    if (!f) {
      f = reinterpret_cast<Fn>(LazyImportAddress(FDll, FName));
      FFunction.store(f, std::memory_order_release);
    }
    return f(static_cast<Args&&>(args)...);
  }

 private:
  const char* FDll;
  const char* FName;
  mutable std::atomic<Fn> FFunction{nullptr};
};

}  // namespace kv::platform
