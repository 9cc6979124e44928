#include "toolkit/win32/Win32WindowSystem.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/win32/WideText.h"

// The framework's names, not the A/W macros.
#undef CreateWindow
#undef PostMessage
#undef SendMessage
#undef TextOut

namespace kv {

namespace {

const wchar_t* const kClassName = L"KVFormWindow";

using platform::FromWide;
using platform::W;

COLORREF Ref(TColor c) {
  const std::uint32_t rgb = ColorToRGB(c);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A 32-bit top-down device-independent bitmap of that size.
BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

// The window's styles for its params.
void Styles(const TWindowParams& p, DWORD& style, DWORD& ex) {
  ex = 0;
  if (p.Hidden) {
    style = WS_POPUP;
    ex = WS_EX_TOOLWINDOW;
    return;
  }
  switch (p.Border) {
    case TWindowBorder::None: style = WS_POPUP; break;
    case TWindowBorder::Single: style = WS_OVERLAPPED | WS_CAPTION | WS_BORDER; break;
    case TWindowBorder::Dialog:
      style = WS_OVERLAPPED | WS_CAPTION | WS_BORDER;
      ex |= WS_EX_DLGMODALFRAME;
      break;
    case TWindowBorder::Sizeable: style = WS_OVERLAPPEDWINDOW & ~(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX); break;
  }
  if (p.Border != TWindowBorder::None && p.SystemMenu) style |= WS_SYSMENU;
  if (p.MinimizeBox) style |= WS_MINIMIZEBOX;
  if (p.Border == TWindowBorder::Sizeable && p.SystemMenu) style |= WS_MAXIMIZEBOX;
  if (p.HelpButton) ex |= WS_EX_CONTEXTHELP;
  if (p.StayOnTop) ex |= WS_EX_TOPMOST;
  if (p.TaskbarButton) ex |= WS_EX_APPWINDOW;
  style |= WS_CLIPCHILDREN;
}

// GDI drawing on a device context; fonts are made once per description.
class TGdiCanvas final : public TCanvas {
 public:
  explicit TGdiCanvas(HDC dc) : FDC(dc) {
    FPixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    if (FPixelsPerInch <= 0) FPixelsPerInch = 96;
    SetBkMode(dc, TRANSPARENT);
  }
  ~TGdiCanvas() override {
    if (FOldFont) SelectObject(FDC, FOldFont);
    for (auto& [key, font] : FFonts) DeleteObject(font);
  }
  int PixelsPerInch() const override { return FPixelsPerInch; }

  TSize TextExtent(StringView text) override {
    SelectFont();
    SIZE s{0, 0};
    if (text.empty()) {
      TEXTMETRICW tm{};
      GetTextMetricsW(FDC, &tm);
      return {0, tm.tmHeight};
    }
    GetTextExtentPoint32W(FDC, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &s);
    return {s.cx, s.cy};
  }
  void TextOut(int x, int y, StringView text) override {
    SelectFont();
    SetTextColor(FDC, Ref(Font.Color));
    ::TextOutW(FDC, x, y, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()));
  }
  void FillRect(const TRect& r) override {
    HBRUSH b = CreateSolidBrush(Ref(BrushColor));
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    ::FillRect(FDC, &rc, b);
    DeleteObject(b);
  }
  void FrameRect(const TRect& r) override {
    HBRUSH b = CreateSolidBrush(Ref(PenColor));
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    ::FrameRect(FDC, &rc, b);
    DeleteObject(b);
  }
  void RoundRect(const TRect& r, int radius) override {
    HPEN pen = CreatePen(PS_SOLID, 1, Ref(PenColor));
    HBRUSH brush = CreateSolidBrush(Ref(BrushColor));
    HGDIOBJ op = SelectObject(FDC, pen), ob = SelectObject(FDC, brush);
    ::RoundRect(FDC, r.Left, r.Top, r.Right, r.Bottom, radius * 2, radius * 2);
    SelectObject(FDC, op);
    SelectObject(FDC, ob);
    DeleteObject(pen);
    DeleteObject(brush);
  }
  void Line(TPoint a, TPoint b) override {
    HPEN pen = CreatePen(PS_SOLID, 1, Ref(PenColor));
    HGDIOBJ op = SelectObject(FDC, pen);
    MoveToEx(FDC, a.X, a.Y, nullptr);
    LineTo(FDC, b.X, b.Y);
    SelectObject(FDC, op);
    DeleteObject(pen);
  }
  void Draw(int x, int y, const TBitmap& bmp) override {
    if (bmp.Empty()) return;
    BITMAPINFO bi = TopDown32(bmp.Width(), bmp.Height());
    if (!bmp.Transparent) {
      SetDIBitsToDevice(FDC, x, y, bmp.Width(), bmp.Height(), 0, 0, 0, bmp.Height(), bmp.Pixels().data(), &bi,
                        DIB_RGB_COLORS);
      return;
    }
    // Transparent: only the pixels of other colours, row runs at a time.
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(FDC);
    HBITMAP dib = CreateDIBSection(FDC, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
      if (dib) DeleteObject(dib);
      DeleteDC(mem);
      return;
    }
    std::memcpy(bits, bmp.Pixels().data(), bmp.Pixels().size() * 4);
    HGDIOBJ old = SelectObject(mem, dib);
    for (int row = 0; row < bmp.Height(); ++row) {
      int col = 0;
      while (col < bmp.Width()) {
        while (col < bmp.Width() && bmp.Pixel(col, row) == bmp.TransparentColor) ++col;
        const int start = col;
        while (col < bmp.Width() && bmp.Pixel(col, row) != bmp.TransparentColor) ++col;
        if (col > start) BitBlt(FDC, x + start, y + row, col - start, 1, mem, start, row, SRCCOPY);
      }
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
  }
  void SetClip(const TRect* r) override {
    // Paired calls: each clip is undone by the next SetClip(nullptr).
    if (r) {
      SaveDC(FDC);
      IntersectClipRect(FDC, r->Left, r->Top, r->Right, r->Bottom);
    } else {
      RestoreDC(FDC, -1);
      FOldFont = nullptr;  // RestoreDC brought the font of the save back
      FSelected.clear();
    }
  }

 private:
  void SelectFont() {
    const int height = Font.Height != 0 ? Font.Height : -MulDiv(Font.Size, FPixelsPerInch, 72);
    String key = Font.Name + u"|" + IntToStr(height) + u"|" +
                 IntToStr(static_cast<int>(Font.Style.Contains(TFontStyle::fsBold)) |
                          static_cast<int>(Font.Style.Contains(TFontStyle::fsItalic)) << 1 |
                          static_cast<int>(Font.Style.Contains(TFontStyle::fsUnderline)) << 2 |
                          static_cast<int>(Font.Style.Contains(TFontStyle::fsStrikeOut)) << 3);
    if (key == FSelected) return;
    HFONT& f = FFonts[key];
    if (!f) {
      f = CreateFontW(height, 0, 0, 0, Font.Style.Contains(TFontStyle::fsBold) ? FW_BOLD : FW_NORMAL,
                      Font.Style.Contains(TFontStyle::fsItalic), Font.Style.Contains(TFontStyle::fsUnderline),
                      Font.Style.Contains(TFontStyle::fsStrikeOut), DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, W(Font.Name));
    }
    HGDIOBJ old = SelectObject(FDC, f);
    if (!FOldFont) FOldFont = old;
    FSelected = key;
  }

  HDC FDC;
  int FPixelsPerInch = 96;
  std::map<String, HFONT> FFonts;
  HGDIOBJ FOldFont = nullptr;
  String FSelected;
};

// A canvas on a memory device context of its own, for measuring.
class TMeasureCanvas final : public TCanvas {
 public:
  TMeasureCanvas() : FDC(CreateCompatibleDC(nullptr)), FInner(std::make_unique<TGdiCanvas>(FDC)) {}
  ~TMeasureCanvas() override {
    FInner.reset();
    DeleteDC(FDC);
  }
  int PixelsPerInch() const override { return FInner->PixelsPerInch(); }
  TSize TextExtent(StringView text) override {
    FInner->Font = Font;
    return FInner->TextExtent(text);
  }
  void TextOut(int, int, StringView) override {}
  void FillRect(const TRect&) override {}
  void FrameRect(const TRect&) override {}
  void RoundRect(const TRect&, int) override {}
  void Line(TPoint, TPoint) override {}
  void Draw(int, int, const TBitmap&) override {}
  void SetClip(const TRect*) override {}

 private:
  HDC FDC;
  std::unique_ptr<TGdiCanvas> FInner;
};

TSize OuterSize(const TWindowParams& p, int cw, int ch) {
  DWORD style, ex;
  Styles(p, style, ex);
  RECT r{0, 0, cw, ch};
  AdjustWindowRectEx(&r, style, FALSE, ex);
  return {r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK FormWndProc(::HWND h, UINT msg, WPARAM w, LPARAM l);

class TWin32WindowSystem final : public TWindowSystem {
 public:
  TWin32WindowSystem() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
  }
  ~TWin32WindowSystem() override {
    for (auto& [h, icon] : FIcons) DestroyIcon(icon);
  }
  const char* Name() const override { return "win32"; }

  kv::HWND CreateWindow(TWindowSink* sink, const TWindowParams& params) override {
    DWORD style, ex;
    Styles(params, style, ex);
    ::HWND h = CreateWindowExW(ex, kClassName, W(params.Caption), style, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                               reinterpret_cast<::HWND>(params.Owner), nullptr, GetModuleHandleW(nullptr), sink);
    if (!h) throw EInvalidOperation(u"The window could not be created (error " + IntToStr(GetLastError()) + u")");
    FParams[Key(h)] = params;
    return Key(h);
  }
  void DestroyWindow(kv::HWND window) override {
    ::DestroyWindow(Native(window));
    FParams.erase(window);
    if (auto it = FIcons.find(window); it != FIcons.end()) {
      DestroyIcon(it->second);
      FIcons.erase(it);
    }
  }
  void SetClientBounds(kv::HWND window, int left, int top, int cw, int ch) override {
    const TSize outer = OuterSize(FParams[window], cw, ch);
    SetWindowPos(Native(window), nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  TSize FrameSize(const TWindowParams& params, int cw, int ch) override { return OuterSize(params, cw, ch); }
  void SetWindowParams(kv::HWND window, const TWindowParams& params) override {
    FParams[window] = params;
    DWORD style, ex;
    Styles(params, style, ex);
    ::HWND h = Native(window);
    const LONG_PTR visible = GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE;
    SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(style) | visible);
    SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(ex));
    // HWND_TOPMOST and HWND_NOTOPMOST, spelled out: the macros cast to the
    // unqualified HWND, which is the framework's handle type in here.
    SetWindowPos(h, reinterpret_cast<::HWND>(static_cast<LONG_PTR>(params.StayOnTop ? -1 : -2)), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetWindowTextW(h, W(params.Caption));
  }
  void ShowWindow(kv::HWND window, TShowCommand command) override {
    static const int kCmd[] = {SW_HIDE, SW_SHOW, SW_MINIMIZE, SW_RESTORE};
    if (FParams[window].Hidden && command != TShowCommand::Hide) return;
    ::ShowWindow(Native(window), kCmd[static_cast<int>(command)]);
  }
  bool IsWindowVisible(kv::HWND window) override { return ::IsWindowVisible(Native(window)) != FALSE; }
  bool IsIconic(kv::HWND window) override { return ::IsIconic(Native(window)) != FALSE; }
  void EnableWindow(kv::HWND window, bool enabled) override { ::EnableWindow(Native(window), enabled); }
  bool IsWindowEnabled(kv::HWND window) override { return ::IsWindowEnabled(Native(window)) != FALSE; }
  void SetForegroundWindow(kv::HWND window) override { ::SetForegroundWindow(Native(window)); }
  kv::HWND ForegroundWindow() override { return Key(::GetForegroundWindow()); }
  void Invalidate(kv::HWND window) override { InvalidateRect(Native(window), nullptr, FALSE); }
  void SetIcon(kv::HWND window, const TBitmap& icon) override {
    if (icon.Empty()) return;
    HICON h = MakeIcon(icon);
    if (!h) return;
    SendMessageW(Native(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(h));
    SendMessageW(Native(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(h));
    if (auto it = FIcons.find(window); it != FIcons.end()) DestroyIcon(it->second);
    FIcons[window] = h;
  }

  bool PostMessage(kv::HWND window, const TMessage& m) override {
    if (window == 0 && m.Msg == WM_QUIT) {
      PostQuitMessage(0);
      return true;
    }
    return PostMessageW(Native(window), m.Msg, m.WParam, m.LParam) != FALSE;
  }
  std::intptr_t SendMessage(kv::HWND window, const TMessage& m) override {
    return SendMessageW(Native(window), m.Msg, m.WParam, m.LParam);
  }
  bool ProcessMessage(bool wait) override {
    MSG msg;
    if (wait) {
      if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return false;
    } else {
      if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
      if (msg.message == WM_QUIT) return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
  }
  void SetTimer(kv::HWND window, std::uintptr_t id, unsigned ms) override {
    ::SetTimer(Native(window), id, std::max(1u, ms), nullptr);
  }
  void KillTimer(kv::HWND window, std::uintptr_t id) override { ::KillTimer(Native(window), id); }
  TShiftState KeyShiftState() override {
    return {GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_MENU) < 0, GetKeyState(VK_CONTROL) < 0};
  }
  std::uint32_t TickCount() override { return GetTickCount(); }
  std::unique_ptr<TCanvas> MeasureCanvas() override { return std::make_unique<TMeasureCanvas>(); }
  int ScreenPixelsPerInch() override {
    HDC dc = GetDC(nullptr);
    const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : 96;
  }
  TSize ScreenSize() override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

  void SetClipboardText(StringView text) override {
    if (!OpenClipboard(nullptr)) throw EInvalidOperation(u"Cannot open the clipboard");
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
    if (mem) {
      auto* p = static_cast<char16_t*>(GlobalLock(mem));
      std::copy(text.begin(), text.end(), p);
      p[text.size()] = 0;
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    }
    CloseClipboard();
  }
  String ClipboardText() override {
    if (!OpenClipboard(nullptr)) return {};
    String r;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
      if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
        r = FromWide(p, wcslen(p));
        GlobalUnlock(h);
      }
    }
    CloseClipboard();
    return r;
  }

  TBitmap StockIcon(TStockIcon icon, int size) override {
    static const LPCWSTR kIds[] = {reinterpret_cast<LPCWSTR>(IDI_WARNING), reinterpret_cast<LPCWSTR>(IDI_QUESTION),
                                   reinterpret_cast<LPCWSTR>(IDI_ERROR), reinterpret_cast<LPCWSTR>(IDI_INFORMATION)};
    HICON h = static_cast<HICON>(LoadImageW(nullptr, kIds[static_cast<int>(icon)], IMAGE_ICON, size, size, LR_SHARED));
    if (!h) h = LoadIconW(nullptr, kIds[static_cast<int>(icon)]);
    return IconBitmap(h, size);
  }
  TBitmap Snapshot(kv::HWND window) override {
    RECT r;
    if (!GetWindowRect(Native(window), &r)) return {};
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return {};
    TBitmap b(w, h);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = TopDown32(w, h);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
      HGDIOBJ old = SelectObject(mem, dib);
      BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
      GdiFlush();
      const auto* px = static_cast<const std::uint32_t*>(bits);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, px[y * w + x] & 0xFFFFFF);
      SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return b;
  }
  TBitmap IconFromHandle(std::uintptr_t icon, int size) override {
    ICONINFO ii{};
    HICON h = reinterpret_cast<HICON>(icon);
    if (!h || !GetIconInfo(h, &ii)) return {};
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    return IconBitmap(h, size);
  }

  void PaintInto(::HWND h, TWindowSink* sink) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT rc;
    GetClientRect(h, &rc);
    // Drawn off screen first, so a repaint does not flicker.
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, std::max(1L, rc.right), std::max(1L, rc.bottom));
    HGDIOBJ old = SelectObject(mem, bmp);
    {
      TGdiCanvas canvas(mem);
      sink->PaintWindow(canvas);
    }
    BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    EndPaint(h, &ps);
  }

 private:
  // Near white, so that the soft edges of icons, blended with it, look
  // right on the light backgrounds they are shown on.
  static constexpr std::uint32_t kKey = 0xFFFFFE;
  static kv::HWND Key(::HWND h) { return reinterpret_cast<kv::HWND>(h); }
  static ::HWND Native(kv::HWND h) { return reinterpret_cast<::HWND>(h); }

  // The icon drawn at the size over the key colour, which becomes transparent.
  static TBitmap IconBitmap(HICON h, int size) {
    TBitmap b(size, size, kKey);
    b.Transparent = true;
    b.TransparentColor = kKey;
    if (!h) return b;
    BITMAPINFO bi = TopDown32(size, size);
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
      HGDIOBJ old = SelectObject(mem, dib);
      auto* px = static_cast<std::uint32_t*>(bits);
      std::fill(px, px + size * size, kKey);
      DrawIconEx(mem, 0, 0, h, size, size, 0, nullptr, DI_NORMAL);
      GdiFlush();
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) b.SetPixel(x, y, px[y * size + x] & 0xFFFFFF);
      SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    return b;
  }

  static HICON MakeIcon(const TBitmap& icon) {
    HDC dc = GetDC(nullptr);
    BITMAPINFO bi = TopDown32(icon.Width(), icon.Height());
    void* bits = nullptr;
    HBITMAP color = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, dc);
    if (!color || !bits) return nullptr;
    auto* px = static_cast<std::uint32_t*>(bits);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(((icon.Width() + 15) / 16) * 2 * icon.Height()), 0);
    const int stride = ((icon.Width() + 15) / 16) * 2;
    for (int y = 0; y < icon.Height(); ++y)
      for (int x = 0; x < icon.Width(); ++x) {
        const std::uint32_t p = icon.Pixel(x, y);
        const bool clear = icon.Transparent && p == icon.TransparentColor;
        px[y * icon.Width() + x] = clear ? 0 : (p | 0xFF000000u);
        if (clear) mask[static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    HBITMAP maskBmp = CreateBitmap(icon.Width(), icon.Height(), 1, 1, mask.data());
    ICONINFO ii{TRUE, 0, 0, maskBmp, color};
    HICON h = CreateIconIndirect(&ii);
    DeleteObject(maskBmp);
    DeleteObject(color);
    return h;
  }

  std::map<kv::HWND, TWindowParams> FParams;
  std::map<kv::HWND, HICON> FIcons;
};

TWin32WindowSystem* gSystem = nullptr;

LRESULT CALLBACK FormWndProc(::HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return DefWindowProcW(h, msg, w, l);
  }
  auto* sink = reinterpret_cast<TWindowSink*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!sink) return DefWindowProcW(h, msg, w, l);
  TMessage m{msg, w, l, 0};
  switch (msg) {
    case WM_PAINT:
      if (gSystem) gSystem->PaintInto(h, sink);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DESTROY:
      SetWindowLongPtrW(h, GWLP_USERDATA, 0);
      return 0;
    case WM_ACTIVATE:
      m.WParam = LOWORD(w) != WA_INACTIVE ? 1 : 0;
      sink->WindowMessage(m);
      // The system gives the activated window the keyboard focus.
      return DefWindowProcW(h, msg, w, l);
    case WM_SYSCHAR:
      // Alt + a letter of an accelerator is the form's; anything else (Alt +
      // Space: the system menu) the system's.
      sink->WindowMessage(m);
      return m.Result != 0 ? 0 : DefWindowProcW(h, msg, w, l);
    case WM_MOUSEWHEEL:
      sink->WindowMessage(m);
      return 0;
    case WM_SYSCOMMAND: {
      // Minimise, restore, close and context help are the framework's; it
      // also sees maximise, which the system then carries out.
      const UINT cmd = static_cast<UINT>(w & 0xFFF0);
      if (cmd == SC_MINIMIZE || cmd == SC_RESTORE || cmd == SC_CLOSE || cmd == SC_CONTEXTHELP) {
        sink->WindowMessage(m);
        return 0;
      }
      if (cmd == SC_MAXIMIZE) sink->WindowMessage(m);
      return DefWindowProcW(h, msg, w, l);
    }
    case WM_MOUSELEAVE:
      // A move to a point outside every control.
      m = {WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFFFFFFF), 0};
      sink->WindowMessage(m);
      return 0;
    case WM_SYSKEYDOWN:
      sink->WindowMessage(m);
      return DefWindowProcW(h, msg, w, l);  // Alt+F4 and the system menu
    case WM_CLOSE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_TIMER:
    case WM_HELP:
      if (msg == WM_MOUSEMOVE) {
        // Asks for WM_MOUSELEAVE, so that hover states end when the mouse goes.
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
        TrackMouseEvent(&t);
      }
      // The window keeps the mouse while any button is held.
      if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN) SetCapture(h);
      if ((msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP) &&
          (w & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0)
        ReleaseCapture();
      sink->WindowMessage(m);
      return m.Result;
    default:
      if (msg >= WM_USER && msg < 0xC000) {
        sink->WindowMessage(m);
        return m.Result;
      }
      return DefWindowProcW(h, msg, w, l);
  }
}

}  // namespace

bool Win32WindowsAvailable() {
  ::HWND probe = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!probe) return false;
  ::DestroyWindow(probe);
  return true;
}

bool Win32HasTaskbarButton(HWND window) {
  ::HWND h = reinterpret_cast<::HWND>(window);
  const LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
  // The taskbar shows app windows, and unowned windows that are no tool windows.
  return (ex & WS_EX_APPWINDOW) != 0 || (GetWindow(h, GW_OWNER) == nullptr && (ex & WS_EX_TOOLWINDOW) == 0);
}

bool Win32HasHelpButtonStyle(HWND window) {
  return (GetWindowLongPtrW(reinterpret_cast<::HWND>(window), GWL_EXSTYLE) & WS_EX_CONTEXTHELP) != 0;
}

std::unique_ptr<TWindowSystem> CreateWin32WindowSystem() {
  auto s = std::make_unique<TWin32WindowSystem>();
  gSystem = s.get();
  return s;
}

}  // namespace kv
