// Geometry, window messages and keys shared by the forms framework and its
// window systems.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Base.h"

namespace kv {

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  bool operator==(const TRect&) const = default;
};

inline TRect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// a * b / c, rounded to the nearest, as the platform's MulDiv; -1 for c = 0
// and for a result beyond the 32-bit range.
int MulDiv(int a, int b, int c);

// A window handle; 0 is none.
using HWND = std::uintptr_t;

struct TMessage {
  std::uint32_t Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

// The message numbers are the platform's, so that both window systems and
// callers that post raw messages agree on them.
constexpr std::uint32_t WM_NULL = 0x0000, WM_DESTROY = 0x0002, WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006,
                        WM_SETFOCUS = 0x0007, WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012,
                        WM_SHOWWINDOW = 0x0018, WM_HELP = 0x0053, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101,
                        WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104, WM_SYSCHAR = 0x0106, WM_COMMAND = 0x0111,
                        WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113, WM_MOUSEMOVE = 0x0200,
                        WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_RBUTTONDOWN = 0x0204,
                        WM_RBUTTONUP = 0x0205, WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MOUSEWHEEL = 0x020A,
                        WM_MOUSELEAVE = 0x02A3, WM_USER = 0x0400,
                        WM_APP = 0x8000;

constexpr std::uintptr_t SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030, SC_CLOSE = 0xF060, SC_RESTORE = 0xF120;

// Virtual key codes.
constexpr std::uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                        VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
                        VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27,
                        VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_F1 = 0x70;

enum class TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

struct TShiftState {
  bool Shift = false, Alt = false, Ctrl = false;
  bool operator==(const TShiftState&) const = default;
};

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
                       mrNo = 7, mrClose = 8;

KV_DECLARE_EXCEPTION(EInvalidOperation, Exception)

class TObject;
using TNotifyHandler = std::function<void(TObject* Sender)>;

}  // namespace kv
