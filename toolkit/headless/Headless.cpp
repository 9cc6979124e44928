#include "toolkit/headless/Headless.h"

#include <algorithm>

namespace kv {

namespace {

String Hex(std::uint32_t rgb) {
  static const char16_t* digits = u"0123456789ABCDEF";
  String s = u"#";
  for (int shift = 20; shift >= 0; shift -= 4) s += digits[(rgb >> shift) & 0xF];
  return s;
}

String RectText(const TRect& r) {
  return IntToStr(r.Left) + u"," + IntToStr(r.Top) + u"," + IntToStr(r.Width()) + u"x" + IntToStr(r.Height());
}

// Measures with the fixed metrics and writes down what it is asked to draw.
class THeadlessCanvas final : public TCanvas {
 public:
  THeadlessCanvas(std::vector<String>* log, int ppi) : FLog(log), FPixelsPerInch(ppi) {}
  int PixelsPerInch() const override { return FPixelsPerInch; }
  TSize TextExtent(StringView text) override {
    const int px = FontPixelHeight();
    const int w = THeadlessWindowSystem::CharWidth(px) + (Font.Style.Contains(TFontStyle::fsBold) ? 1 : 0);
    return {w * static_cast<int>(text.size()), THeadlessWindowSystem::LineHeight(px)};
  }
  void TextOut(int x, int y, StringView text) override {
    Write(u"text " + IntToStr(x) + u"," + IntToStr(y) + u" " + Hex(ColorToRGB(Font.Color)) + u" " + String(text));
  }
  void FillRect(const TRect& r) override { Write(u"fill " + RectText(r) + u" " + Hex(ColorToRGB(BrushColor))); }
  void FrameRect(const TRect& r) override { Write(u"frame " + RectText(r) + u" " + Hex(ColorToRGB(PenColor))); }
  void RoundRect(const TRect& r, int radius) override {
    Write(u"round " + RectText(r) + u" r" + IntToStr(radius) + u" " + Hex(ColorToRGB(PenColor)) + u"/" +
          Hex(ColorToRGB(BrushColor)));
  }
  void Line(TPoint a, TPoint b) override {
    Write(u"line " + IntToStr(a.X) + u"," + IntToStr(a.Y) + u"-" + IntToStr(b.X) + u"," + IntToStr(b.Y) + u" " +
          Hex(ColorToRGB(PenColor)));
  }
  void Draw(int x, int y, const TBitmap& b) override {
    // The centre pixel tells images of a list apart.
    Write(u"image " + IntToStr(x) + u"," + IntToStr(y) + u" " + IntToStr(b.Width()) + u"x" + IntToStr(b.Height()) +
          (b.Empty() ? String() : u" " + Hex(b.Pixel(b.Width() / 2, b.Height() / 2))));
  }
  void SetClip(const TRect*) override {}

 private:
  void Write(String s) {
    if (FLog) FLog->push_back(std::move(s));
  }
  std::vector<String>* FLog;
  int FPixelsPerInch;
};

std::intptr_t PointParam(TPoint p) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(p.Y & 0xFFFF) << 16) |
                                    static_cast<std::uint32_t>(p.X & 0xFFFF));
}

}  // namespace

THeadlessWindowSystem::THeadlessWindowSystem(bool scripted) : FScripted(scripted) {}

THeadlessWindowSystem::Window* THeadlessWindowSystem::Find(HWND window) {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}
const THeadlessWindowSystem::Window* THeadlessWindowSystem::Find(HWND window) const {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}

HWND THeadlessWindowSystem::CreateWindow(TWindowSink* sink, const TWindowParams& params) {
  const HWND h = FNextHandle;
  FNextHandle += 4;
  Window& w = FWindows[h];
  w.Sink = sink;
  w.Params = params;
  return h;
}

void THeadlessWindowSystem::DestroyWindow(HWND window) {
  FWindows.erase(window);
  for (auto it = FTimers.begin(); it != FTimers.end();) it = it->first.first == window ? FTimers.erase(it) : ++it;
  if (FForeground == window) FForeground = 0;
}

TSize THeadlessWindowSystem::FrameSize(const TWindowParams& params, int clientWidth, int clientHeight) {
  if (params.Border == TWindowBorder::None) return {clientWidth, clientHeight};
  return {clientWidth + 8, clientHeight + 31};
}

void THeadlessWindowSystem::SetClientBounds(HWND window, int left, int top, int clientWidth, int clientHeight) {
  if (Window* w = Find(window)) {
    const TSize outer = FrameSize(w->Params, clientWidth, clientHeight);
    w->Rect = Bounds(left, top, outer.cx, outer.cy);
    w->Invalid = true;
  }
}

void THeadlessWindowSystem::SetWindowParams(HWND window, const TWindowParams& params) {
  if (Window* w = Find(window)) w->Params = params;
}

void THeadlessWindowSystem::ShowWindow(HWND window, TShowCommand command) {
  Window* w = Find(window);
  if (!w || w->Params.Hidden) return;
  switch (command) {
    case TShowCommand::Hide: w->Visible = false; break;
    case TShowCommand::Show:
      w->Visible = true;
      w->Invalid = true;
      break;
    case TShowCommand::Minimize: w->Iconic = true; break;
    case TShowCommand::Restore:
      w->Iconic = false;
      w->Invalid = true;
      break;
  }
}

bool THeadlessWindowSystem::IsWindowVisible(HWND window) {
  const Window* w = Find(window);
  return w && w->Visible;
}
bool THeadlessWindowSystem::IsIconic(HWND window) {
  const Window* w = Find(window);
  return w && w->Iconic;
}
void THeadlessWindowSystem::EnableWindow(HWND window, bool enabled) {
  if (Window* w = Find(window)) w->Enabled = enabled;
}
bool THeadlessWindowSystem::IsWindowEnabled(HWND window) {
  const Window* w = Find(window);
  return w && w->Enabled;
}
void THeadlessWindowSystem::SetForegroundWindow(HWND window) {
  if (Find(window)) FForeground = window;
}
void THeadlessWindowSystem::Invalidate(HWND window) {
  if (Window* w = Find(window)) w->Invalid = true;
}
void THeadlessWindowSystem::SetIcon(HWND, const TBitmap&) {}

bool THeadlessWindowSystem::PostMessage(HWND window, const TMessage& message) {
  if (window != 0 && !Find(window)) return false;
  if (window == 0 && message.Msg != WM_QUIT) return false;
  Item item;
  item.Window = window;
  item.Message = message;
  FQueue.push_back(std::move(item));
  return true;
}

std::intptr_t THeadlessWindowSystem::SendMessage(HWND window, const TMessage& message) {
  Window* w = Find(window);
  if (!w || !w->Sink) return 0;
  TMessage m = message;
  w->Sink->WindowMessage(m);
  return m.Result;
}

void THeadlessWindowSystem::Deliver(Item& item) {
  if (item.Action) {
    item.Action();
    return;
  }
  Window* w = Find(item.Window);
  if (!w || !w->Sink) return;
  if (item.Input && (!w->Enabled || !w->Visible)) return;
  FShift = item.Shift;
  w->Sink->WindowMessage(item.Message);
  FShift = {};
}

bool THeadlessWindowSystem::ProcessMessage(bool wait) {
  if (!FQueue.empty()) {
    Item item = std::move(FQueue.front());
    FQueue.pop_front();
    if (item.Window == 0 && !item.Action && item.Message.Msg == WM_QUIT) return false;
    Deliver(item);
    return true;
  }
  for (auto& [h, w] : FWindows) {
    if (w.Invalid && w.Visible && w.Sink) {
      w.Invalid = false;
      w.PaintLog.clear();
      ++w.PaintCount;
      THeadlessCanvas canvas(&w.PaintLog, FPixelsPerInch);
      w.Sink->PaintWindow(canvas);
      return true;
    }
  }
  if (FTimers.empty()) return false;
  auto next = std::min_element(FTimers.begin(), FTimers.end(),
                               [](const auto& a, const auto& b) { return a.second.Due < b.second.Due; });
  if (next->second.Due > FClock) {
    if (!wait) return false;
    FClock = next->second.Due;  // waiting: time passes until the timer is due
  }
  const HWND h = next->first.first;
  const std::uintptr_t id = next->first.second;
  next->second.Due = FClock + next->second.Interval;
  Item item;
  item.Window = h;
  item.Message = {WM_TIMER, id, 0, 0};
  Deliver(item);
  return true;
}

void THeadlessWindowSystem::SetTimer(HWND window, std::uintptr_t id, unsigned intervalMs) {
  if (!Find(window)) return;
  Timer& t = FTimers[{window, id}];
  t.Interval = std::max(1u, intervalMs);
  t.Due = FClock + t.Interval;
}

void THeadlessWindowSystem::KillTimer(HWND window, std::uintptr_t id) { FTimers.erase({window, id}); }

std::unique_ptr<TCanvas> THeadlessWindowSystem::MeasureCanvas() {
  ++FMeasureCanvases;
  return std::make_unique<THeadlessCanvas>(nullptr, FPixelsPerInch);
}

TBitmap THeadlessWindowSystem::StockIcon(TStockIcon icon, int size) {
  static constexpr std::uint32_t kColors[] = {0xFFCC00, 0x2A6FD6, 0xD32F2F, 0x1E88E5};
  TBitmap b(size, size, 0xFF00FF);
  const int r = size / 2;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const int dx = x - r, dy = y - r;
      if (dx * dx + dy * dy <= r * r) b.SetPixel(x, y, kColors[static_cast<int>(icon)]);
    }
  b.Transparent = true;
  b.TransparentColor = 0xFF00FF;
  return b;
}

std::uintptr_t THeadlessWindowSystem::RegisterIcon(const TBitmap& icon) {
  const std::uintptr_t h = 0x10000 + FIcons.size() * 4;
  FIcons[h] = icon;
  return h;
}

TBitmap THeadlessWindowSystem::IconFromHandle(std::uintptr_t icon, int size) {
  auto it = FIcons.find(icon);
  return it == FIcons.end() ? TBitmap() : it->second.Scaled(size, size);
}

void THeadlessWindowSystem::QueueInput(HWND window, std::uint32_t msg, std::uintptr_t w, std::intptr_t l,
                                       TShiftState shift) {
  Item item;
  item.Window = window;
  item.Message = {msg, w, l, 0};
  item.Input = true;
  item.Shift = shift;
  FQueue.push_back(std::move(item));
}

void THeadlessWindowSystem::MoveMouse(HWND window, TPoint at) { QueueInput(window, WM_MOUSEMOVE, 0, PointParam(at), {}); }

void THeadlessWindowSystem::Wheel(HWND window, int delta) {
  QueueInput(window, WM_MOUSEWHEEL, static_cast<std::uintptr_t>(static_cast<std::uint16_t>(delta)) << 16, 0, {});
}

void THeadlessWindowSystem::Click(HWND window, TPoint at, TMouseButton button) {
  // The message numbers and the key-state flag (MK_LBUTTON, MK_RBUTTON, MK_MBUTTON) of each button.
  static constexpr std::uint32_t kDown[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  static constexpr std::uintptr_t kFlag[] = {0x01, 0x02, 0x10};
  const auto b = static_cast<std::size_t>(button);
  QueueInput(window, WM_MOUSEMOVE, 0, PointParam(at), {});
  QueueInput(window, kDown[b], kFlag[b], PointParam(at), {});
  QueueInput(window, kDown[b] + 1, 0, PointParam(at), {});
}

void THeadlessWindowSystem::PressKey(std::uint16_t key, TShiftState shift, char16_t typed) {
  // The foreground window at the time the key is handled, as with a real
  // keyboard.
  Enqueue([this, key, shift, typed] {
    const HWND target = FForeground;
    const bool sys = shift.Alt && !shift.Ctrl;
    Item down;
    down.Window = target;
    down.Message = {sys ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1, 0};
    down.Input = true;
    down.Shift = shift;
    Deliver(down);
    if (typed != 0 && !shift.Ctrl) {
      Item ch = down;
      ch.Message = {sys ? WM_SYSCHAR : WM_CHAR, typed, 1, 0};
      Deliver(ch);
    }
    Item up = down;
    up.Message = {WM_KEYUP, key, 1, 0};
    Deliver(up);
  });
}

void THeadlessWindowSystem::Enqueue(std::function<void()> f) {
  Item item;
  item.Action = std::move(f);
  FQueue.push_back(std::move(item));
}

const std::vector<String>& THeadlessWindowSystem::PaintLog(HWND window) const {
  static const std::vector<String> none;
  const Window* w = Find(window);
  return w ? w->PaintLog : none;
}
int THeadlessWindowSystem::PaintCount(HWND window) const {
  const Window* w = Find(window);
  return w ? w->PaintCount : 0;
}
TRect THeadlessWindowSystem::WindowRect(HWND window) const {
  const Window* w = Find(window);
  return w ? w->Rect : TRect{};
}
String THeadlessWindowSystem::WindowCaption(HWND window) const {
  const Window* w = Find(window);
  return w ? w->Params.Caption : String();
}
const TWindowParams* THeadlessWindowSystem::Params(HWND window) const {
  const Window* w = Find(window);
  return w ? &w->Params : nullptr;
}

THeadlessWindowSystem& Headless() {
  auto* h = dynamic_cast<THeadlessWindowSystem*>(&WindowSystem());
  if (!h) throw EInvalidOperation(u"The headless window system is not the one in use");
  return *h;
}

}  // namespace kv
