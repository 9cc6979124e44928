// A window system in memory: windows are records, the message queue is a
// list, time is virtual (waiting for a timer moves the clock to it), text
// metrics follow a fixed rule, and input is scripted. Layout and protocol
// run here exactly as on real windows, deterministically and fast.
#pragma once

#include <deque>
#include <functional>
#include <map>

#include "toolkit/WindowSystem.h"

namespace kv {

class THeadlessWindowSystem final : public TWindowSystem {
 public:
  // Scripted: a test drives it with scripted input (the default); a program
  // that merely runs on it has nobody to answer its windows.
  explicit THeadlessWindowSystem(bool scripted = true);
  const char* Name() const override { return "headless"; }
  bool Interactive() const override { return FScripted; }

  HWND CreateWindow(TWindowSink* sink, const TWindowParams& params) override;
  void DestroyWindow(HWND window) override;
  void SetClientBounds(HWND window, int left, int top, int clientWidth, int clientHeight) override;
  TSize FrameSize(const TWindowParams& params, int clientWidth, int clientHeight) override;
  void SetWindowParams(HWND window, const TWindowParams& params) override;
  void ShowWindow(HWND window, TShowCommand command) override;
  bool IsWindowVisible(HWND window) override;
  bool IsIconic(HWND window) override;
  void EnableWindow(HWND window, bool enabled) override;
  bool IsWindowEnabled(HWND window) override;
  void SetForegroundWindow(HWND window) override;
  HWND ForegroundWindow() override { return FForeground; }
  void Invalidate(HWND window) override;
  void SetIcon(HWND window, const TBitmap& icon) override;
  bool PostMessage(HWND window, const TMessage& message) override;
  std::intptr_t SendMessage(HWND window, const TMessage& message) override;
  bool ProcessMessage(bool wait) override;
  void SetTimer(HWND window, std::uintptr_t id, unsigned intervalMs) override;
  void KillTimer(HWND window, std::uintptr_t id) override;
  TShiftState KeyShiftState() override { return FShift; }
  std::uint32_t TickCount() override { return FClock; }
  std::unique_ptr<TCanvas> MeasureCanvas() override;
  int ScreenPixelsPerInch() override { return FPixelsPerInch; }
  TSize ScreenSize() override { return FScreen; }
  void SetClipboardText(StringView text) override { FClipboard.assign(text); }
  String ClipboardText() override { return FClipboard; }
  TBitmap StockIcon(TStockIcon icon, int size) override;
  TBitmap IconFromHandle(std::uintptr_t icon, int size) override;
  TBitmap Snapshot(HWND) override { return {}; }

  // --- For tests -------------------------------------------------------------
  void SetScreen(TSize size, int pixelsPerInch) {
    FScreen = size;
    FPixelsPerInch = pixelsPerInch;
  }
  // Scripted input, queued like real input: dropped when its window is
  // disabled or hidden by the time it is handled. Points are in client
  // coordinates of the window.
  void MoveMouse(HWND window, TPoint at);
  // The mouse wheel turned over the window: notches of 120, positive away
  // from the user.
  void Wheel(HWND window, int delta);
  // A press and release of the button (the left one by default).
  void Click(HWND window, TPoint at, TMouseButton button = TMouseButton::mbLeft);
  // A key press on the foreground window: key down (with Alt a system key),
  // the character it types when it types one, key up; the modifiers are held
  // for all three.
  void PressKey(std::uint16_t key, TShiftState shift = {}, char16_t typed = 0);
  // An icon handle for a bitmap, as an icon a caller would pass in.
  std::uintptr_t RegisterIcon(const TBitmap& icon);
  // Runs f when the queue reaches this point (after what is queued now).
  void Enqueue(std::function<void()> f);

  // What the last painting of the window drew, one operation per line.
  const std::vector<String>& PaintLog(HWND window) const;
  int PaintCount(HWND window) const;
  // Outer bounds, caption and flags as the window system holds them.
  TRect WindowRect(HWND window) const;
  String WindowCaption(HWND window) const;
  const TWindowParams* Params(HWND window) const;
  int WindowCount() const { return static_cast<int>(FWindows.size()); }
  // How many measuring canvases were made so far (layout work done).
  int MeasureCanvasCount() const { return FMeasureCanvases; }

  // The fixed text metrics: every character is CharWidth wide (one more in
  // bold), a line LineHeight high.
  static int CharWidth(int pixelHeight) { return (pixelHeight * 6 + 10) / 11; }
  static int LineHeight(int pixelHeight) { return (pixelHeight * 13 + 10) / 11; }

 private:
  struct Window {
    TWindowSink* Sink = nullptr;
    TWindowParams Params;
    TRect Rect;
    bool Visible = false, Enabled = true, Iconic = false, Invalid = false;
    std::vector<String> PaintLog;
    int PaintCount = 0;
  };
  struct Item {
    HWND Window = 0;
    TMessage Message;
    bool Input = false;
    TShiftState Shift;
    std::function<void()> Action;
  };
  struct Timer {
    unsigned Interval = 1;
    std::uint32_t Due = 0;
  };
  Window* Find(HWND window);
  const Window* Find(HWND window) const;
  void Deliver(Item& item);
  void QueueInput(HWND window, std::uint32_t msg, std::uintptr_t w, std::intptr_t l, TShiftState shift);

  std::map<HWND, Window> FWindows;
  std::deque<Item> FQueue;
  std::map<std::pair<HWND, std::uintptr_t>, Timer> FTimers;
  HWND FNextHandle = 0x100;
  HWND FForeground = 0;
  std::uint32_t FClock = 1000;
  TShiftState FShift;
  TSize FScreen{1280, 1024};
  int FPixelsPerInch = 96;
  String FClipboard;
  std::map<std::uintptr_t, TBitmap> FIcons;
  int FMeasureCanvases = 0;
  bool FScripted = true;
};

// The headless system in use; raises when another one is installed.
THeadlessWindowSystem& Headless();

}  // namespace kv
