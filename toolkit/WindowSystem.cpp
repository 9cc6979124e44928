// The window system in use: headless until a program or test installs
// another one.
#include "toolkit/WindowSystem.h"

#include <atomic>

#include "toolkit/Canvas.h"
#include "toolkit/headless/Headless.h"

#ifdef _WIN32
#include "toolkit/win32/Win32WindowSystem.h"
#endif

namespace kv {

namespace {
// Never destroyed at exit: objects released by other static destructors
// (the application and its window) may still need it then.
std::unique_ptr<TWindowSystem>& Current() {
  static auto* system = new std::unique_ptr<TWindowSystem>();
  return *system;
}

// The platform's window system was asked for: it is made, after a probe
// window, at the first call for the window system.
std::atomic<bool> gPlatformPending{false};
}  // namespace

TWindowSystem& WindowSystem() {
  auto& s = Current();
#ifdef _WIN32
  if (gPlatformPending.exchange(false)) {
    // Where no window can be made the program still runs, on the system it
    // had (headless unless another was installed).
    if (Win32WindowsAvailable()) s = CreateWin32WindowSystem();
  }
#endif
  if (!s) s = std::make_unique<THeadlessWindowSystem>(false);
  return *s;
}

std::unique_ptr<TCanvas> MeasuringCanvas(const TFont& font) {
  auto c = WindowSystem().MeasureCanvas();
  c->Font = font;
  return c;
}

void SetWindowSystem(std::unique_ptr<TWindowSystem> system) {
  gPlatformPending = false;
  Current() = std::move(system);
}

void UsePlatformWindowSystem() {
#ifdef _WIN32
  // Decided when a window system is first needed: a program that shows
  // nothing makes no window, not even the probe.
  gPlatformPending = true;
#endif
}

}  // namespace kv
