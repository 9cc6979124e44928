#include "toolkit/WindowSystem.h"

#ifdef _WIN32
#include "toolkit/win32/Win32WindowSystem.h"
#endif

namespace kv {

void UsePlatformWindowSystem() {
#ifdef _WIN32
  // Where no window can be made the program still runs, on the headless system.
  if (Win32WindowsAvailable()) SetWindowSystem(CreateWin32WindowSystem());
#endif
}

}  // namespace kv
