// The window system of the Windows builds: real top-level windows, the
// thread's message queue and GDI drawing.
#pragma once

#include <memory>

#include "toolkit/WindowSystem.h"

namespace kv {

std::unique_ptr<TWindowSystem> CreateWin32WindowSystem();
// Whether windows can be made at all (not, for instance, under Wine without
// a display).
bool Win32WindowsAvailable();
// Whether the window has a button of its own on the taskbar.
bool Win32HasTaskbarButton(HWND window);
// Whether the window's style asks for the caption's help button.
bool Win32HasHelpButtonStyle(HWND window);

}  // namespace kv
