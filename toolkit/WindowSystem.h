// What the forms framework needs of a window system: top-level windows, a
// message queue with posted and sent messages and timers, a canvas to paint
// and measure with, the screen, the clipboard and the stock icons. Controls
// inside a form have no windows of their own; the form draws them and
// routes input to them, so they behave alike on every window system.
#pragma once

#include <memory>

#include "toolkit/Canvas.h"

namespace kv {

// Receives the messages of one window. Must not let exceptions out.
class TWindowSink {
 public:
  virtual ~TWindowSink() = default;
  virtual void WindowMessage(TMessage& message) = 0;
  // Paints the window's client area.
  virtual void PaintWindow(TCanvas& canvas) = 0;
};

enum class TWindowBorder : std::uint8_t { None, Single, Dialog, Sizeable };

struct TWindowParams {
  HWND Owner = 0;
  String Caption;
  TWindowBorder Border = TWindowBorder::Sizeable;
  bool SystemMenu = true;
  bool MinimizeBox = true;
  // The caption's help button (the system shows it only on windows without
  // minimise and maximise buttons).
  bool HelpButton = false;
  bool StayOnTop = false;
  // A button on the taskbar of its own, for windows that have no visible
  // owner (the application's window is never shown), so that a dialog that
  // is the program's only window can be found there.
  bool TaskbarButton = false;
  // Never shown: the application's window.
  bool Hidden = false;
};

enum class TShowCommand : std::uint8_t { Hide, Show, Minimize, Restore };

class TWindowSystem {
 public:
  virtual ~TWindowSystem() = default;
  virtual const char* Name() const = 0;
  // Whether what a window shows reaches somebody who can answer it: a user
  // at real windows, or a test's scripted input. Dialogs of a program
  // without either answer on their own.
  virtual bool Interactive() const { return true; }

  virtual HWND CreateWindow(TWindowSink* sink, const TWindowParams& params) = 0;
  virtual void DestroyWindow(HWND window) = 0;
  // Places the window so that its client area has this size and its outer
  // edge this top left corner.
  virtual void SetClientBounds(HWND window, int left, int top, int clientWidth, int clientHeight) = 0;
  // The outer size for a client area of the given size with these params.
  virtual TSize FrameSize(const TWindowParams& params, int clientWidth, int clientHeight) = 0;
  virtual void SetWindowParams(HWND window, const TWindowParams& params) = 0;
  virtual void ShowWindow(HWND window, TShowCommand command) = 0;
  virtual bool IsWindowVisible(HWND window) = 0;
  virtual bool IsIconic(HWND window) = 0;
  virtual void EnableWindow(HWND window, bool enabled) = 0;
  virtual bool IsWindowEnabled(HWND window) = 0;
  virtual void SetForegroundWindow(HWND window) = 0;
  virtual HWND ForegroundWindow() = 0;
  virtual void Invalidate(HWND window) = 0;
  // The window's icon.
  virtual void SetIcon(HWND window, const TBitmap& icon) = 0;

  // Queued for the window; false when the window does not exist.
  virtual bool PostMessage(HWND window, const TMessage& message) = 0;
  // Delivered before this returns; the result of the handler.
  virtual std::intptr_t SendMessage(HWND window, const TMessage& message) = 0;
  // Handles one message (painting and timers count); with wait, blocks until
  // there is one. False when there was none to handle (and, with wait, none
  // will ever come) or the queue was told to quit.
  virtual bool ProcessMessage(bool wait) = 0;
  // WM_TIMER with this id to the window every interval milliseconds (1 ms is
  // allowed); the same id again replaces the timer.
  virtual void SetTimer(HWND window, std::uintptr_t id, unsigned intervalMs) = 0;
  virtual void KillTimer(HWND window, std::uintptr_t id) = 0;
  // Which modifier keys are down now (for the key being handled).
  virtual TShiftState KeyShiftState() = 0;
  // Milliseconds since some start, as the platform's tick count.
  virtual std::uint32_t TickCount() = 0;

  // A canvas for measuring text (drawing on it shows nothing).
  virtual std::unique_ptr<TCanvas> MeasureCanvas() = 0;
  virtual int ScreenPixelsPerInch() = 0;
  virtual TSize ScreenSize() = 0;

  virtual void SetClipboardText(StringView text) = 0;
  // Empty when the clipboard holds no text.
  virtual String ClipboardText() = 0;

  // The platform's icon at (about) this size.
  virtual TBitmap StockIcon(TStockIcon icon, int size) = 0;
  // What the window shows on the screen now, frame included; empty where
  // the system keeps no pixels (headless).
  virtual TBitmap Snapshot(HWND window) = 0;
  // A copy of the icon behind a handle at this size; empty when the handle
  // is no icon.
  virtual TBitmap IconFromHandle(std::uintptr_t icon, int size) = 0;
};

// The window system in use: headless unless one was installed (the Windows
// builds install win32 at start-up of programs with a user interface). The
// headless system made when none was installed is not interactive: nobody
// scripts its input.
TWindowSystem& WindowSystem();
// Installs a window system (null: back to a fresh headless one). Only when
// no window exists.
void SetWindowSystem(std::unique_ptr<TWindowSystem> system);
// A measuring canvas of the window system in use, set to the font.
std::unique_ptr<TCanvas> MeasuringCanvas(const TFont& font);

// Installs the platform's own window system: win32 in the Windows builds
// where windows can be made (tried when a window system is first needed);
// elsewhere the headless one stays.
void UsePlatformWindowSystem();

}  // namespace kv
