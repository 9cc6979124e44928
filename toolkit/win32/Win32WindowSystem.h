// The window system of the Windows builds: real top-level windows, the
// thread's message queue and GDI drawing.
#pragma once

#include <memory>

#include "toolkit/WindowSystem.h"

namespace kv {

std::unique_ptr<TWindowSystem> CreateWin32WindowSystem();

}  // namespace kv
