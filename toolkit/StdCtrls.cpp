#include "toolkit/StdCtrls.h"

#include <algorithm>

#include "platform/Locale.h"

namespace kv {

namespace {

// Colours of the themed look, as TColor (0x00BBGGRR).
constexpr TColor kFaceNormal = 0xE1E1E1, kFaceHot = 0xFBF1E5, kFacePressed = 0xF7E4CC, kBorderNormal = 0xADADAD,
                 kBorderFocus = 0xD77800, kBoxBorder = 0x333333;

template <class T>
T& As(TObject& o) {
  return static_cast<T&>(o);
}

// ThemeMode and ParentThemeMode, and with buffering ParentDoubleBuffered.
void AddThemeProperties(TPropertyRegister& r, bool buffering) {
  r.Add(u"ThemeMode", TPropertyKind::Ordinal,
        [](TObject& o, std::int64_t v) { As<TControl>(o).SetThemeMode(static_cast<TThemeMode>(v)); });
  r.Add(u"ParentThemeMode", TPropertyKind::Boolean,
        [](TObject& o, std::int64_t v) { As<TControl>(o).SetParentThemeMode(v != 0); });
  if (buffering)
    r.Add(u"ParentDoubleBuffered", TPropertyKind::Boolean,
          [](TObject& o, std::int64_t v) { As<TControl>(o).SetParentDoubleBuffered(v != 0); });
}

// Box (or circle) and caption side by side.
TSize BoxAndCaptionSize(const TFont& font, StringView caption) {
  const TSize t = MeasuringCanvas(font)->TextExtent(caption);
  return {TThemedCheckBox::kBoxSize + TThemedCheckBox::kGap + t.cx + 1, std::max(TThemedCheckBox::kBoxSize + 4, t.cy)};
}

}  // namespace

// --- Timer --------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { Update(); }

TTimer::~TTimer() {
  if (FId) Application().RemoveTimer(FId);
}

void TTimer::SetInterval(unsigned ms) {
  FInterval = ms;
  Update();
}

void TTimer::SetEnabled(bool v) {
  FEnabled = v;
  Update();
}

void TTimer::Update() {
  if (FId) {
    Application().RemoveTimer(FId);
    FId = 0;
  }
  if (FEnabled && FInterval > 0)
    FId = Application().AddTimer(FInterval, [this] {
      if (OnTimer) OnTimer(this);
    });
}

// --- Themed windowed controls -----------------------------------------------------------

TThemedControl::TThemedControl(TComponent* AOwner) : TWinControl(AOwner) { FTabStop = true; }

const TPropertyRegister& TThemedControl::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TWinControl::ClassProperties();
    AddThemeProperties(r, true);
    return r;
  }();
  return reg;
}

// Push button.

TThemedButton::TThemedButton(TComponent* AOwner) : TThemedControl(AOwner) { SetBounds(0, 0, 75, 25); }

void TThemedButton::SetDefault(bool v) {
  FDefault = v;
  Invalidate();
}

void TThemedButton::Click() {
  if (FModalResult != mrNone)
    if (TCustomForm* f = Form()) f->SetModalResult(FModalResult);
  TControl::Click();
}

void TThemedButton::MouseDown(TMouseButton Button, TPoint) {
  if (Button != TMouseButton::mbLeft) return;
  FPressed = true;
  Invalidate();
}

void TThemedButton::MouseUp(TMouseButton Button, TPoint) {
  if (Button != TMouseButton::mbLeft) return;
  FPressed = false;
  Invalidate();
}

void TThemedButton::KeyDown(std::uint16_t& Key, TShiftState) {
  ClickOnSpace(Key);
}

void TThemedButton::Paint(TCanvas& Canvas) {
  const bool enabled = EnabledChain();
  const bool focused = Focused();
  Canvas.BrushColor = !enabled ? clBtnFace : FPressed ? kFacePressed : FMouseInControl ? kFaceHot : kFaceNormal;
  Canvas.PenColor = enabled && (focused || FDefault || FMouseInControl) ? kBorderFocus : kBorderNormal;
  Canvas.RoundRect(Bounds(0, 0, FWidth, FHeight), 3);
  if (focused) {
    Canvas.PenColor = clBtnShadow;
    Canvas.FrameRect({3, 3, FWidth - 3, FHeight - 3});
  }
  Canvas.Font.Color = enabled ? FFont.Color : clGrayText;
  TTextFormat fmt;
  fmt.Align = TTextFormat::Center;
  fmt.VerticalCenter = true;
  fmt.EndEllipsis = true;
  Canvas.TextRect(Bounds(2, 0, FWidth - 4, FHeight), PlainCaption(), fmt);
}

// Check box.

TThemedCheckBox::TThemedCheckBox(TComponent* AOwner) : TThemedControl(AOwner) {
  FAutoSize = true;
  FParentBackground = true;
  SetBounds(0, 0, 97, 17);
}

void TThemedCheckBox::SetChecked(bool v) {
  if (v == FChecked) return;
  FChecked = v;
  Invalidate();
}

void TThemedCheckBox::Click() {
  SetChecked(!FChecked);
  TControl::Click();
}

void TThemedCheckBox::KeyDown(std::uint16_t& Key, TShiftState) {
  ClickOnSpace(Key);
}

void TThemedCheckBox::AdjustSize() {
  if (!FAutoSize) return;
  const TSize size = BoxAndCaptionSize(FFont, PlainCaption());
  TControl::SetBounds(FLeft, FTop, size.cx, size.cy);
}

void TThemedCheckBox::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  const bool enabled = EnabledChain();
  const int top = (FHeight - kBoxSize) / 2;
  const TRect box = Bounds(0, top, kBoxSize, kBoxSize);
  Canvas.BrushColor = enabled ? (FMouseInControl ? kFaceHot : clWindow) : clBtnFace;
  Canvas.FillRect(box);
  Canvas.PenColor = enabled ? (FMouseInControl ? kBorderFocus : kBoxBorder) : kBorderNormal;
  Canvas.FrameRect(box);
  if (FChecked) {
    Canvas.PenColor = enabled ? clWindowText : clGrayText;
    Canvas.Line({3, top + 6}, {5, top + 9});
    Canvas.Line({5, top + 9}, {10, top + 3});
  }
  Canvas.Font.Color = enabled ? FFont.Color : clGrayText;
  const TRect text{kBoxSize + kGap, 0, FWidth, FHeight};
  TTextFormat fmt;
  fmt.VerticalCenter = true;
  Canvas.TextRect(text, PlainCaption(), fmt);
  if (Focused()) {
    Canvas.PenColor = clBtnShadow;
    Canvas.FrameRect(text);
  }
}

// Radio button.

TThemedRadioButton::TThemedRadioButton(TComponent* AOwner) : TThemedControl(AOwner) {
  FAutoSize = true;
  FParentBackground = true;
  SetBounds(0, 0, 113, 17);
}

void TThemedRadioButton::SetChecked(bool v) {
  if (v == FChecked) return;
  FChecked = v;
  if (v && FParent) {
    for (int i = 0; i < FParent->ControlCount(); ++i)
      if (auto* r = dynamic_cast<TThemedRadioButton*>(FParent->Controls(i)); r && r != this) r->SetChecked(false);
  }
  Invalidate();
}

void TThemedRadioButton::Click() {
  SetChecked(true);
  TControl::Click();
}

void TThemedRadioButton::KeyDown(std::uint16_t& Key, TShiftState) {
  ClickOnSpace(Key);
  if (!FParent || (Key != VK_UP && Key != VK_DOWN && Key != VK_LEFT && Key != VK_RIGHT)) return;
  std::vector<TThemedRadioButton*> group;
  for (int i = 0; i < FParent->ControlCount(); ++i)
    if (auto* r = dynamic_cast<TThemedRadioButton*>(FParent->Controls(i)); r && r->CanFocus()) group.push_back(r);
  auto it = std::find(group.begin(), group.end(), this);
  if (it == group.end()) return;
  const std::size_t n = group.size(), i = static_cast<std::size_t>(it - group.begin());
  TThemedRadioButton* next = group[(Key == VK_UP || Key == VK_LEFT) ? (i + n - 1) % n : (i + 1) % n];
  Key = 0;
  next->SetFocus();
  next->Click();
}

void TThemedRadioButton::AdjustSize() {
  if (!FAutoSize) return;
  const TSize size = BoxAndCaptionSize(FFont, PlainCaption());
  TControl::SetBounds(FLeft, FTop, size.cx, size.cy);
}

void TThemedRadioButton::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  const bool enabled = EnabledChain();
  const int size = TThemedCheckBox::kBoxSize;
  const int top = (FHeight - size) / 2;
  Canvas.BrushColor = enabled ? clWindow : clBtnFace;
  Canvas.PenColor = enabled ? (FMouseInControl ? kBorderFocus : kBoxBorder) : kBorderNormal;
  Canvas.RoundRect(Bounds(0, top, size, size), size / 2);
  if (FChecked) {
    Canvas.BrushColor = enabled ? clWindowText : clGrayText;
    Canvas.PenColor = Canvas.BrushColor;
    Canvas.RoundRect(Bounds(3, top + 3, size - 6, size - 6), (size - 6) / 2);
  }
  Canvas.Font.Color = enabled ? FFont.Color : clGrayText;
  TTextFormat fmt;
  fmt.VerticalCenter = true;
  const TRect text{size + TThemedCheckBox::kGap, 0, FWidth, FHeight};
  Canvas.TextRect(text, PlainCaption(), fmt);
  if (Focused()) {
    Canvas.PenColor = clBtnShadow;
    Canvas.FrameRect(text);
  }
}

// Memo.

TThemedMemo::TThemedMemo(TComponent* AOwner) : TThemedControl(AOwner) {
  FColor = clWindow;
  SetBounds(0, 0, 185, 89);
}

void TThemedMemo::SetScrollBars(TScrollStyle v) {
  FScrollBars = v;
  Invalid();
  Invalidate();
}

void TThemedMemo::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (AWidth != FWidth || AHeight != FHeight) Invalid();
  TThemedControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TThemedMemo::TextChanged() {
  Invalid();
  const int size = static_cast<int>(FCaption.size());
  FCaret = std::min(FCaret, size);
  FAnchor = std::min(FAnchor, size);
  TThemedControl::TextChanged();
}

void TThemedMemo::FontChanged() {
  Invalid();
  TThemedControl::FontChanged();
}

int TThemedMemo::LineHeight() {
  Arrange();
  return std::max(1, FLineHeight);
}

void TThemedMemo::Arrange() {
  if (FArranged) return;
  FArranged = true;
  auto m = MeasuringCanvas(FFont);
  FLineHeight = m->TextHeight(u"Ag");
  const bool horzAllowed = FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth;
  const bool vertAllowed = FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth;
  const int innerWidth = FWidth - 4, innerHeight = FHeight - 4;
  const StringView text = FCaption;
  // Lines wrap unless the box can scroll sideways; with a vertical scroll bar
  // they wrap at the width left beside it.
  auto layout = [&](int wrapWidth) {
    FLines.clear();
    FWidest = 0;
    std::size_t start = 0;
    while (true) {
      std::size_t end = text.find_first_of(u"\r\n", start);
      if (end == StringView::npos) end = text.size();
      std::size_t pos = start;
      do {
        std::size_t lineEnd = end;
        if (wrapWidth > 0 && m->TextWidth(text.substr(pos, end - pos)) > wrapWidth) {
          // The longest start that fits, by halving; then back to its last blank.
          std::size_t lo = pos + 1, hi = end;
          while (lo < hi) {
            const std::size_t mid = lo + (hi - lo + 1) / 2;
            if (m->TextWidth(text.substr(pos, mid - pos)) <= wrapWidth)
              lo = mid;
            else
              hi = mid - 1;
          }
          lineEnd = lo;
          const std::size_t blank = text.substr(pos, lineEnd - pos).rfind(u' ');
          if (blank != StringView::npos && blank > 0) lineEnd = pos + blank + 1;
        }
        FLines.push_back({static_cast<int>(pos), static_cast<int>(lineEnd - pos)});
        FWidest = std::max(FWidest, m->TextWidth(text.substr(pos, lineEnd - pos)));
        pos = lineEnd;
      } while (pos < end);
      if (end >= text.size()) break;
      start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
      if (start >= text.size()) {
        FLines.push_back({static_cast<int>(start), 0});
        break;
      }
    }
  };
  FHorzShown = FVertShown = false;
  if (horzAllowed) {
    layout(0);
    FHorzShown = FWidest > innerWidth - (vertAllowed ? kScrollBarSize : 0);
    FVertShown = vertAllowed && static_cast<int>(FLines.size()) * FLineHeight >
                                    innerHeight - (FHorzShown ? kScrollBarSize : 0);
    if (!FVertShown) FHorzShown = FWidest > innerWidth;
  } else {
    layout(innerWidth);
    if (vertAllowed && static_cast<int>(FLines.size()) * FLineHeight > innerHeight) {
      FVertShown = true;
      layout(innerWidth - kScrollBarSize);
    }
  }
  FTopLine = std::clamp(FTopLine, 0, std::max(0, static_cast<int>(FLines.size()) - 1));
}

bool TThemedMemo::HorzScrollBarShown() {
  Arrange();
  return FHorzShown;
}

bool TThemedMemo::VertScrollBarShown() {
  Arrange();
  return FVertShown;
}

TRect TThemedMemo::TextArea() {
  Arrange();
  return {2, 2, FWidth - 2 - (FVertShown ? kScrollBarSize : 0), FHeight - 2 - (FHorzShown ? kScrollBarSize : 0)};
}

int TThemedMemo::LineCount() {
  Arrange();
  return static_cast<int>(FLines.size());
}

String TThemedMemo::LineText(int Line) {
  Arrange();
  CheckListIndex(Line, static_cast<int>(FLines.size()));
  const auto& l = FLines[static_cast<std::size_t>(Line)];
  return FCaption.substr(static_cast<std::size_t>(l.Start), static_cast<std::size_t>(l.Length));
}

int TThemedMemo::VisibleLines() { return std::max(1, TextArea().Height() / LineHeight()); }

void TThemedMemo::SetTopLine(int Line) {
  Arrange();
  const int last = std::max(0, static_cast<int>(FLines.size()) - VisibleLines());
  const int v = std::clamp(Line, 0, last);
  if (v == FTopLine) return;
  FTopLine = v;
  Invalidate();
}

String TThemedMemo::SelText() const {
  return FCaption.substr(static_cast<std::size_t>(SelStart()), static_cast<std::size_t>(SelLength()));
}

void TThemedMemo::SetSel(int Start, int Length) {
  const int size = static_cast<int>(FCaption.size());
  FAnchor = std::clamp(Start, 0, size);
  FCaret = std::clamp(Start + std::max(0, Length), 0, size);
  ScrollToCaret();
  Invalidate();
}

void TThemedMemo::SelectAll() { SetSel(0, static_cast<int>(FCaption.size())); }

int TThemedMemo::LineOf(int Pos) {
  Arrange();
  // The last line that starts at or before the position.
  auto it = std::upper_bound(FLines.begin(), FLines.end(), Pos, [](int p, const Line& l) { return p < l.Start; });
  return std::max(0, static_cast<int>(it - FLines.begin()) - 1);
}

int TThemedMemo::XOf(int Pos) {
  const Line& l = FLines[static_cast<std::size_t>(LineOf(Pos))];
  const int n = std::clamp(Pos - l.Start, 0, l.Length);
  return MeasuringCanvas(FFont)->TextWidth(StringView(FCaption).substr(static_cast<std::size_t>(l.Start),
                                                                           static_cast<std::size_t>(n)));
}

int TThemedMemo::PosAt(TPoint At) {
  Arrange();
  if (FLines.empty()) return 0;
  const TRect area = TextArea();
  const int line = std::clamp(FTopLine + (At.Y - area.Top) / LineHeight(), 0, static_cast<int>(FLines.size()) - 1);
  const Line& l = FLines[static_cast<std::size_t>(line)];
  const int x = At.X - area.Left + FLeftOffset;
  auto m = MeasuringCanvas(FFont);
  const StringView text = StringView(FCaption).substr(static_cast<std::size_t>(l.Start), static_cast<std::size_t>(l.Length));
  // The character boundary nearest to x: the widths of the starts grow with
  // their length, so halving finds the last start not beyond x.
  auto width = [&](int n) { return m->TextWidth(text.substr(0, static_cast<std::size_t>(n))); };
  int lo = 0, hi = l.Length;
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (width(mid) <= x)
      lo = mid;
    else
      hi = mid - 1;
  }
  if (lo < l.Length && width(lo + 1) - x < x - width(lo)) ++lo;
  return l.Start + lo;
}

void TThemedMemo::ScrollToCaret() {
  Arrange();
  const int line = LineOf(FCaret);
  const int shown = VisibleLines();
  if (line < FTopLine)
    FTopLine = line;
  else if (line >= FTopLine + shown)
    FTopLine = line - shown + 1;
  if (FHorzShown) {
    const int x = XOf(FCaret), width = TextArea().Width();
    if (x < FLeftOffset)
      FLeftOffset = x;
    else if (x > FLeftOffset + width - 2)
      FLeftOffset = x - width + 2;
  } else {
    FLeftOffset = 0;
  }
}

void TThemedMemo::MoveCaret(int Pos, bool Extend) {
  FCaret = std::clamp(Pos, 0, static_cast<int>(FCaption.size()));
  if (!Extend) FAnchor = FCaret;
  ScrollToCaret();
  Invalidate();
}

void TThemedMemo::ReplaceSelection(StringView Text) {
  const int start = SelStart();
  String s = FCaption;
  s.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(SelLength()), Text);
  FCaret = FAnchor = start + static_cast<int>(Text.size());
  SetCaption(s);
  ScrollToCaret();
}

void TThemedMemo::KeyPress(char16_t& Key) {
  if (FReadOnly) return;
  if (Key == u'\b') {
    if (SelLength() == 0 && FCaret > 0) {
      // A line end CR LF goes as one.
      const int back = FCaret >= 2 && FCaption[static_cast<std::size_t>(FCaret - 1)] == u'\n' &&
                               FCaption[static_cast<std::size_t>(FCaret - 2)] == u'\r'
                           ? 2
                           : 1;
      FAnchor = FCaret - back;
    }
    ReplaceSelection(u"");
  } else if (Key == u'\r') {
    ReplaceSelection(u"\r\n");
  } else if (Key >= u' ') {
    ReplaceSelection(StringView(&Key, 1));
  }
  Key = 0;
}

void TThemedMemo::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  Arrange();
  const bool extend = Shift.Shift;
  const int line = LineOf(FCaret);
  const int lines = static_cast<int>(FLines.size());
  // The same pixel column on another line.
  auto toLine = [&](int target) {
    target = std::clamp(target, 0, std::max(0, lines - 1));
    const TRect area = TextArea();
    const int x = area.Left + XOf(FCaret) - FLeftOffset;
    // PosAt measures against the lines shown, so scroll there first.
    if (target < FTopLine)
      FTopLine = target;
    else if (target >= FTopLine + VisibleLines())
      FTopLine = target - VisibleLines() + 1;
    MoveCaret(PosAt({x, area.Top + (target - FTopLine) * LineHeight()}), extend);
  };
  const Line& cur = FLines.empty() ? Line{} : FLines[static_cast<std::size_t>(line)];
  switch (Key) {
    case VK_LEFT: {
      int p = FCaret;
      if (!extend && SelLength() > 0) p = SelStart();
      else if (p >= 2 && FCaption[static_cast<std::size_t>(p - 1)] == u'\n' && FCaption[static_cast<std::size_t>(p - 2)] == u'\r') p -= 2;
      else p = std::max(0, p - 1);
      MoveCaret(p, extend);
      break;
    }
    case VK_RIGHT: {
      int p = FCaret;
      const int size = static_cast<int>(FCaption.size());
      if (!extend && SelLength() > 0) p = SelStart() + SelLength();
      else if (p + 1 < size && FCaption[static_cast<std::size_t>(p)] == u'\r' && FCaption[static_cast<std::size_t>(p + 1)] == u'\n') p += 2;
      else p = std::min(size, p + 1);
      MoveCaret(p, extend);
      break;
    }
    case VK_UP: toLine(line - 1); break;
    case VK_DOWN: toLine(line + 1); break;
    case VK_PRIOR: toLine(line - VisibleLines()); break;
    case VK_NEXT: toLine(line + VisibleLines()); break;
    case VK_HOME: MoveCaret(Shift.Ctrl ? 0 : cur.Start, extend); break;
    case VK_END: MoveCaret(Shift.Ctrl ? static_cast<int>(FCaption.size()) : cur.Start + cur.Length, extend); break;
    case VK_DELETE:
      if (FReadOnly) return;
      if (SelLength() == 0 && FCaret < static_cast<int>(FCaption.size())) {
        const bool crlf = FCaption[static_cast<std::size_t>(FCaret)] == u'\r' && FCaret + 1 < static_cast<int>(FCaption.size()) &&
                          FCaption[static_cast<std::size_t>(FCaret + 1)] == u'\n';
        FAnchor = FCaret + (crlf ? 2 : 1);
      }
      ReplaceSelection(u"");
      break;
    default:
      if (Shift.Ctrl && Key == u'A') {
        SelectAll();
      } else if (Shift.Ctrl && (Key == u'C' || Key == VK_INSERT)) {
        // Copies the selection; without one the key goes on (to the form).
        if (SelLength() == 0) return;
        WindowSystem().SetClipboardText(SelText());
      } else {
        return;
      }
  }
  Key = 0;
}

void TThemedMemo::MouseDown(TMouseButton Button, TPoint At) {
  if (Button != TMouseButton::mbLeft) return;
  Arrange();
  const TRect area = TextArea();
  if (FVertShown && At.X >= area.Right) {
    // On the vertical bar: a page towards the click.
    const int track = area.Height();
    const int lines = static_cast<int>(FLines.size());
    const int thumbTop = lines > 0 ? track * FTopLine / lines : 0;
    SetTopLine(FTopLine + (At.Y < thumbTop ? -VisibleLines() : VisibleLines()));
    return;
  }
  if (FHorzShown && At.Y >= area.Bottom) {
    const int step = std::max(1, area.Width() / 2);
    const int thumbLeft = FWidest > 0 ? area.Width() * FLeftOffset / FWidest : 0;
    FLeftOffset = std::clamp(FLeftOffset + (At.X < thumbLeft ? -step : step), 0, std::max(0, FWidest - area.Width() + 2));
    Invalidate();
    return;
  }
  FSelecting = true;
  MoveCaret(PosAt(At), false);
}

void TThemedMemo::MouseMove(TPoint At) {
  if (FSelecting) MoveCaret(PosAt(At), true);
}

void TThemedMemo::MouseUp(TMouseButton Button, TPoint At) {
  if (Button != TMouseButton::mbLeft) return;
  if (FSelecting) MoveCaret(PosAt(At), true);
  FSelecting = false;
}

void TThemedMemo::MouseWheel(int Delta) {
  // Three lines a notch of 120; what is left of finer steps adds up.
  FWheelRest += Delta;
  const int lines = FWheelRest / 40;
  FWheelRest -= lines * 40;
  if (lines != 0) SetTopLine(FTopLine - lines);
}

void TThemedMemo::Paint(TCanvas& Canvas) {
  Arrange();
  const bool enabled = EnabledChain(), focused = Focused();
  Canvas.BrushColor = enabled ? FColor : clBtnFace;
  Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  Canvas.PenColor = focused ? kBorderFocus : kBorderNormal;
  Canvas.FrameRect(Bounds(0, 0, FWidth, FHeight));
  const TRect area = TextArea();
  const int lh = LineHeight();
  const int selFrom = SelStart(), selTo = SelStart() + SelLength();
  Canvas.SetClip(&area);
  const int lines = static_cast<int>(FLines.size());
  for (int i = FTopLine; i < lines; ++i) {
    const int y = area.Top + (i - FTopLine) * lh;
    if (y >= area.Bottom) break;
    const Line& l = FLines[static_cast<std::size_t>(i)];
    const StringView text = StringView(FCaption).substr(static_cast<std::size_t>(l.Start), static_cast<std::size_t>(l.Length));
    const int x0 = area.Left - FLeftOffset;
    // Before, inside and after the selection.
    const int a = std::clamp(selFrom - l.Start, 0, l.Length), b = std::clamp(selTo - l.Start, 0, l.Length);
    Canvas.Font.Color = enabled ? FFont.Color : clGrayText;
    if (a > 0) Canvas.TextOut(x0, y, text.substr(0, static_cast<std::size_t>(a)));
    const int xa = x0 + Canvas.TextWidth(text.substr(0, static_cast<std::size_t>(a)));
    if (b > a) {
      const StringView sel = text.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
      Canvas.BrushColor = focused ? clHighlight : clBtnFace;
      Canvas.FillRect(Bounds(xa, y, Canvas.TextWidth(sel), lh));
      Canvas.Font.Color = focused ? clHighlightText : FFont.Color;
      Canvas.TextOut(xa, y, sel);
      Canvas.Font.Color = enabled ? FFont.Color : clGrayText;
    }
    if (b < l.Length)
      Canvas.TextOut(x0 + Canvas.TextWidth(text.substr(0, static_cast<std::size_t>(b))), y, text.substr(static_cast<std::size_t>(b)));
    if (focused && LineOf(FCaret) == i) {
      const int cx = x0 + Canvas.TextWidth(text.substr(0, static_cast<std::size_t>(std::clamp(FCaret - l.Start, 0, l.Length))));
      Canvas.PenColor = clWindowText;
      Canvas.Line({cx, y}, {cx, y + lh - 1});
    }
  }
  Canvas.SetClip(nullptr);
  // Scroll bars: the track and a thumb for the part shown.
  if (FVertShown) {
    const TRect track{FWidth - 1 - kScrollBarSize, 1, FWidth - 1, area.Bottom};
    Canvas.BrushColor = clScrollBar;
    Canvas.FillRect(track);
    const int total = std::max(1, lines), shown = std::min(total, VisibleLines());
    const int h = std::max(8, track.Height() * shown / total);
    const int top = track.Top + (track.Height() - h) * FTopLine / std::max(1, total - shown);
    Canvas.BrushColor = clBtnFace;
    Canvas.FillRect({track.Left + 2, top, track.Right - 2, top + h});
    Canvas.PenColor = kBorderNormal;
    Canvas.FrameRect({track.Left + 2, top, track.Right - 2, top + h});
  }
  if (FHorzShown) {
    const TRect track{1, FHeight - 1 - kScrollBarSize, area.Right, FHeight - 1};
    Canvas.BrushColor = clScrollBar;
    Canvas.FillRect(track);
    const int total = std::max(1, FWidest + 2), shown = std::min(total, area.Width());
    const int w = std::max(8, track.Width() * shown / total);
    const int left = track.Left + (track.Width() - w) * FLeftOffset / std::max(1, total - shown);
    Canvas.BrushColor = clBtnFace;
    Canvas.FillRect({left, track.Top + 2, left + w, track.Bottom - 2});
    Canvas.PenColor = kBorderNormal;
    Canvas.FrameRect({left, track.Top + 2, left + w, track.Bottom - 2});
  }
}

// List box and page control: what the theme rules set on them.

TThemedListBox::TThemedListBox(TComponent* AOwner) : TThemedControl(AOwner) {
  FColor = clWindow;
  SetBounds(0, 0, 121, 97);
}

void TThemedListBox::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = FColor;
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  const int lh = Canvas.TextHeight(u"Ag");
  for (std::size_t i = 0; i < Items.size(); ++i) Canvas.TextOut(2, 2 + lh * static_cast<int>(i), Items[i]);
}

const TPropertyRegister& TThemedListBox::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TThemedControl::ClassProperties();
    r.Add(u"TransparentSelection", TPropertyKind::Boolean,
          [](TObject& o, std::int64_t v) { As<TThemedListBox>(o).SetTransparentSelection(v != 0); });
    return r;
  }();
  return reg;
}

TThemedPageControl::TThemedPageControl(TComponent* AOwner) : TThemedControl(AOwner) { SetBounds(0, 0, 289, 193); }

const TPropertyRegister& TThemedPageControl::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TThemedControl::ClassProperties();
    r.Add(u"Flat", TPropertyKind::Boolean, [](TObject& o, std::int64_t v) { As<TThemedPageControl>(o).SetFlat(v != 0); });
    return r;
  }();
  return reg;
}

// --- Panels ---------------------------------------------------------------------------------

TCustomThemedPanel::TCustomThemedPanel(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 185, 41); }

void TCustomThemedPanel::SetBorderStyle(TPanelBorder v) {
  FBorderStyle = v;
  Invalidate();
}
void TCustomThemedPanel::SetBorderWidth(int v) {
  FBorderWidth = std::max(0, v);
  Invalidate();
}
void TCustomThemedPanel::SetEtchedTopLine(bool v) {
  FEtchedTopLine = v;
  Invalidate();
}

void TCustomThemedPanel::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  if (FBorderStyle == TPanelBorder::bsSingle) {
    Canvas.PenColor = clBtnShadow;
    Canvas.FrameRect(Bounds(0, 0, FWidth, FHeight));
  }
  if (FEtchedTopLine) {
    Canvas.PenColor = clBtnShadow;
    Canvas.Line({0, 0}, {FWidth, 0});
    Canvas.PenColor = clBtnHighlight;
    Canvas.Line({0, 1}, {FWidth, 1});
  }
}

const TPropertyRegister& TCustomThemedPanel::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TWinControl::ClassProperties();
    using K = TPropertyKind;
    auto p = [](TObject& o) -> TCustomThemedPanel& { return As<TCustomThemedPanel>(o); };
    AddThemeProperties(r, true);
    r.Add(u"ThemeGlobalMode", K::Boolean, [p](TObject& o, std::int64_t v) { p(o).SetThemeGlobalMode(v != 0); });
    r.Add(u"TransparentXPThemes", K::Boolean, [p](TObject& o, std::int64_t v) { p(o).SetTransparentXPThemes(v != 0); });
    r.Add(u"BorderWidth", K::Ordinal, [p](TObject& o, std::int64_t v) { p(o).SetBorderWidth(static_cast<int>(v)); });
    r.Add(u"BorderStyle", K::Ordinal,
          [p](TObject& o, std::int64_t v) { p(o).SetBorderStyle(v ? TPanelBorder::bsSingle : TPanelBorder::bsNone); });
    return r;
  }();
  return reg;
}

// --- Graphic controls ------------------------------------------------------------------------

TCustomThemedGraphicButton::TCustomThemedGraphicButton(TComponent* AOwner) : TControl(AOwner) {}

const TPropertyRegister& TCustomThemedGraphicButton::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TControl::ClassProperties();
    AddThemeProperties(r, false);
    return r;
  }();
  return reg;
}

// Plain label.

TCustomThemedLabel::TCustomThemedLabel(TComponent* AOwner) : TControl(AOwner) {
  FAutoSize = true;
  FParentBackground = true;  // a label shows what it sits on
  FWrapWidth = 65;
  SetBounds(0, 0, 65, 13);
}

void TCustomThemedLabel::SetWordWrap(bool v) {
  FWordWrap = v;
  AdjustSize();
  Invalidate();
}

void TCustomThemedLabel::SetEndEllipsis(bool v) {
  FEndEllipsis = v;
  Invalidate();
}

void TCustomThemedLabel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (!FSizing) FWrapWidth = AWidth;
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!FSizing) AdjustSize();
}

void TCustomThemedLabel::AdjustSize() {
  if (!FAutoSize || FSizing) return;
  auto m = MeasuringCanvas(FFont);
  const auto lines = m->WrapLines(PlainCaption(), FWordWrap ? FWrapWidth : 0);
  int widest = 0;
  for (const String& l : lines) widest = std::max(widest, m->TextWidth(l));
  FSizing = true;
  TControl::SetBounds(FLeft, FTop, widest, m->TextHeight(u"Ag") * static_cast<int>(std::max<std::size_t>(1, lines.size())));
  FSizing = false;
}

void TCustomThemedLabel::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  Canvas.Font.Color = EnabledChain() ? FFont.Color : clGrayText;
  TTextFormat fmt;
  fmt.WordWrap = FWordWrap;
  fmt.EndEllipsis = FEndEllipsis;
  Canvas.TextRect(Bounds(0, 0, FWidth, FHeight), PlainCaption(), fmt);
}

const TPropertyRegister& TCustomThemedLabel::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TControl::ClassProperties();
    AddThemeProperties(r, false);
    r.Add(u"WordWrap", TPropertyKind::Boolean,
          [](TObject& o, std::int64_t v) { As<TCustomThemedLabel>(o).SetWordWrap(v != 0); });
    return r;
  }();
  return reg;
}

// --- HTML label ---------------------------------------------------------------------------------

namespace {

void AppendCodePoint(String& s, std::uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    s += u'\uFFFD';
  } else if (cp >= 0x10000) {
    cp -= 0x10000;
    s += static_cast<char16_t>(0xD800 + (cp >> 10));
    s += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    s += static_cast<char16_t>(cp);
  }
}

// The character of "&...;" at text[i]; how much it takes in used. False when
// it is no reference (the "&" then stands for itself).
bool CharacterReference(StringView text, std::size_t i, String& out, std::size_t& used) {
  const std::size_t end = text.find(u';', i);
  if (end == StringView::npos || end - i > 10) return false;
  const StringView name = text.substr(i + 1, end - i - 1);
  used = end - i + 1;
  if (!name.empty() && name[0] == u'#') {
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const StringView digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return false;
    std::uint32_t v = 0;
    for (char16_t c : digits) {
      int d;
      if (c >= u'0' && c <= u'9') d = c - u'0';
      else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
      else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
      else return false;
      v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
      if (v > 0x10FFFF) v = 0x110000;  // stays out of range
    }
    AppendCodePoint(out, v);
    return true;
  }
  static const std::pair<StringView, char16_t> kNamed[] = {
      {u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", u'\u00A0'}};
  for (const auto& [n, c] : kNamed)
    if (name == n) {
      out += c;
      return true;
    }
  return false;
}

// The tag's name in upper case, with the "/" of a closing tag ("/A"); "br/"
// and "br " give "BR".
String TagName(StringView tag) {
  const std::size_t from = !tag.empty() && tag[0] == u'/' ? 1 : 0;
  return AsciiUpperCase(tag.substr(0, tag.find_first_of(u" /\t\r\n", from)));
}

bool IsTagBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The value of the attribute named so (letter case ignored) among the
// tag's attributes: name, optional blanks, "=", optional blanks, a value in
// double or single quotes or up to the next blank. Empty when it is absent.
String AttributeValue(StringView tag, StringView attribute) {
  std::size_t p = 0;
  while (p < tag.size() && !IsTagBlank(tag[p])) ++p;  // the tag's own name
  while (p < tag.size()) {
    while (p < tag.size() && (IsTagBlank(tag[p]) || tag[p] == u'/')) ++p;
    const std::size_t nameStart = p;
    while (p < tag.size() && !IsTagBlank(tag[p]) && tag[p] != u'=' && tag[p] != u'/') ++p;
    const StringView name = tag.substr(nameStart, p - nameStart);
    if (name.empty()) {
      ++p;  // a stray "="
      continue;
    }
    std::size_t q = p;
    while (q < tag.size() && IsTagBlank(tag[q])) ++q;
    if (q >= tag.size() || tag[q] != u'=') continue;  // an attribute without value
    p = q + 1;
    while (p < tag.size() && IsTagBlank(tag[p])) ++p;
    std::size_t valueStart = p, valueEnd;
    if (p < tag.size() && (tag[p] == u'"' || tag[p] == u'\'')) {
      const char16_t quote = tag[p];
      valueStart = p + 1;
      valueEnd = tag.find(quote, valueStart);
      if (valueEnd == StringView::npos) valueEnd = tag.size();
      p = valueEnd + 1;
    } else {
      while (p < tag.size() && !IsTagBlank(tag[p])) ++p;
      valueEnd = p;
    }
    if (!EqualsIgnoringAsciiCase(name, attribute)) continue;
    String value;
    const StringView raw = tag.substr(valueStart, valueEnd - valueStart);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      std::size_t used = 0;
      if (raw[i] == u'&' && CharacterReference(raw, i, value, used)) {
        i += used - 1;
        continue;
      }
      value += raw[i];
    }
    return value;
  }
  return {};
}

}  // namespace

std::vector<THtmlLabel::Run> THtmlLabel::Parse(StringView html) {
  std::vector<Run> runs;
  Run cur;
  auto flush = [&] {
    if (!cur.Text.empty()) runs.push_back(cur);
    cur.Text.clear();
  };
  for (std::size_t i = 0; i < html.size(); ++i) {
    const char16_t c = html[i];
    if (c == u'<') {
      const std::size_t end = html.find(u'>', i);
      if (end != StringView::npos) {
        const StringView tag = html.substr(i + 1, end - i - 1);
        const String name = TagName(tag);
        if (name == u"BR") {
          flush();
          Run br;
          br.Break = true;
          runs.push_back(br);
        } else if (name == u"A") {
          flush();
          cur.HRef = AttributeValue(tag, u"href");
        } else if (name == u"/A") {
          flush();
          cur.HRef.clear();
        } else if (name == u"B" || name == u"STRONG") {
          flush();
          cur.Bold = true;
        } else if (name == u"/B" || name == u"/STRONG") {
          flush();
          cur.Bold = false;
        }
        i = end;
        continue;
      }
    }
    if (c == u'&') {
      std::size_t used = 0;
      if (CharacterReference(html, i, cur.Text, used)) {
        i += used - 1;
        continue;
      }
    }
    // Line breaks in the source are white space, as in HTML.
    cur.Text += (c == u'\r' || c == u'\n' || c == u'\t') ? u' ' : c;
  }
  flush();
  return runs;
}

THtmlLabel::THtmlLabel(TComponent* AOwner) : TCustomThemedLabel(AOwner) {}

String THtmlLabel::PlainText() const {
  String s;
  for (const Run& r : Parse(FCaption)) s += r.Break ? String(u"\r\n") : r.Text;
  return s;
}

void THtmlLabel::TextChanged() {
  FRunsValid = false;
  FLayoutWidth = -1;
  TCustomThemedLabel::TextChanged();
}

void THtmlLabel::FontChanged() {
  FLayoutWidth = -1;
  TCustomThemedLabel::FontChanged();
}

const std::vector<THtmlLabel::Run>& THtmlLabel::Runs() {
  if (!FRunsValid) {
    FRuns = Parse(FCaption);
    FRunsValid = true;
  }
  return FRuns;
}

const THtmlLabel::Layout& THtmlLabel::CachedLayout(int width) {
  if (width != FLayoutWidth) {
    auto m = WindowSystem().MeasureCanvas();
    FLayout = Arrange(*m, width);
    FLayoutWidth = width;
  }
  return FLayout;
}

THtmlLabel::Layout THtmlLabel::Arrange(TCanvas& canvas, int width) {
  Layout lay;
  canvas.Font = FFont;
  lay.LineHeight = canvas.TextHeight(u"Ag");
  lay.Lines.emplace_back();
  int x = 0;
  auto measure = [&](StringView text, bool bold) {
    TFont f = FFont;
    if (bold) f.Style.Include(TFontStyle::fsBold);
    canvas.Font = f;
    return canvas.TextWidth(text);
  };
  // Words: pieces between blanks, which may change style inside.
  struct Word {
    std::vector<Piece> Parts;
    bool BlankBefore = false;
  };
  std::vector<Word> words;
  bool blank = false;
  for (const Run& r : Runs()) {
    if (r.Break) {
      words.push_back({});  // an empty word with no parts marks the break
      blank = false;
      continue;
    }
    std::size_t p = 0;
    while (p <= r.Text.size()) {
      std::size_t q = r.Text.find(u' ', p);
      if (q == String::npos) q = r.Text.size();
      if (q > p) {
        Piece piece{{}, r.Text.substr(p, q - p), r.HRef, r.Bold, false};
        if (!blank && !words.empty() && !words.back().Parts.empty())
          words.back().Parts.push_back(piece);  // glued to the word before
        else
          words.push_back({{piece}, blank});
        blank = false;
      }
      if (q < r.Text.size()) blank = true;
      p = q + 1;
    }
  }
  for (const Word& w : words) {
    if (w.Parts.empty()) {
      lay.Lines.emplace_back();
      x = 0;
      continue;
    }
    int wordWidth = 0;
    for (const Piece& p : w.Parts) wordWidth += measure(p.Text, p.Bold);
    const int blankWidth = w.BlankBefore && !lay.Lines.back().empty() ? measure(u" ", false) : 0;
    int gap = blankWidth;
    if (width > 0 && !lay.Lines.back().empty() && x + blankWidth + wordWidth > width) {
      lay.Lines.emplace_back();
      x = 0;
      gap = 0;
    }
    x += gap;
    const int top = lay.LineHeight * static_cast<int>(lay.Lines.size() - 1);
    bool first = true;
    for (const Piece& p : w.Parts) {
      Piece placed = p;
      placed.BlankBefore = first && gap > 0;
      const int pw = measure(p.Text, p.Bold);
      placed.Rect = Bounds(x, top, pw, lay.LineHeight);
      x += pw;
      lay.Lines.back().push_back(std::move(placed));
      first = false;
    }
  }
  for (const auto& line : lay.Lines)
    if (!line.empty()) lay.Width = std::max(lay.Width, line.back().Rect.Right);
  lay.Height = lay.LineHeight * static_cast<int>(lay.Lines.size());
  canvas.Font = FFont;
  return lay;
}

void THtmlLabel::AdjustSize() {
  if (!FAutoSize || FSizing) return;
  const Layout& lay = CachedLayout(LayoutWidth());
  // A word wider than the width stays cut (and ends in "..." with
  // EndEllipsis) instead of widening the label.
  const int width = FWordWrap && FWrapWidth > 0 ? std::min(lay.Width, FWrapWidth) : lay.Width;
  FSizing = true;
  TControl::SetBounds(FLeft, FTop, width, lay.Height);
  FSizing = false;
}

int THtmlLabel::LineCount() { return static_cast<int>(CachedLayout(LayoutWidth()).Lines.size()); }

std::vector<String> THtmlLabel::LineTexts() {
  std::vector<String> out;
  for (const auto& line : CachedLayout(LayoutWidth()).Lines) {
    String s;
    for (const Piece& p : line) s += (p.BlankBefore ? u" " : u"") + p.Text;
    out.push_back(s);
  }
  return out;
}

String THtmlLabel::LinkAt(TPoint At) {
  for (const auto& line : CachedLayout(LayoutWidth()).Lines)
    for (const Piece& p : line)
      if (!p.HRef.empty() && p.Rect.Contains(At)) return p.HRef;
  return {};
}

void THtmlLabel::MouseMove(TPoint At) {
  FMouse = At;
  const String hot = LinkAt(At);
  if (hot != FHotLink) {
    FHotLink = hot;
    Invalidate();
  }
}

void THtmlLabel::MouseUp(TMouseButton Button, TPoint At) {
  FMouse = At;
  if (Button != TMouseButton::mbLeft) return;
  const String href = LinkAt(At);
  if (!href.empty() && OnLinkClick) OnLinkClick(this, href);
}

void THtmlLabel::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  Layout lay = CachedLayout(LayoutWidth());
  // Lines below the bottom are dropped; with EndEllipsis the last one kept,
  // and any line wider than the control, ends in "...".
  const int fit = std::max(1, FHeight / std::max(1, lay.LineHeight));
  bool cut = false;
  if (static_cast<int>(lay.Lines.size()) > fit) {
    lay.Lines.resize(static_cast<std::size_t>(fit));
    cut = true;
  }
  const bool enabled = EnabledChain();
  for (std::size_t li = 0; li < lay.Lines.size(); ++li) {
    auto& line = lay.Lines[li];
    const bool last = li + 1 == lay.Lines.size();
    if (FEndEllipsis && !line.empty() && ((cut && last) || line.back().Rect.Right > FWidth)) {
      // Pieces that start beyond the edge go; the last one left is cut with "...".
      while (line.size() > 1 && line.back().Rect.Left >= FWidth) line.pop_back();
      Piece& p = line.back();
      Canvas.Font = FFont;
      if (p.Bold) Canvas.Font.Style.Include(TFontStyle::fsBold);
      p.Text = Canvas.EllipsisText(p.Text, FWidth - p.Rect.Left, cut && last);
      p.Rect.Right = p.Rect.Left + Canvas.TextWidth(p.Text);
    }
    for (const Piece& p : line) {
      Canvas.Font = FFont;
      if (p.Bold) Canvas.Font.Style.Include(TFontStyle::fsBold);
      if (!p.HRef.empty()) {
        Canvas.Font.Style.Include(TFontStyle::fsUnderline);
        Canvas.Font.Color = clHotLight;
      }
      if (!enabled) Canvas.Font.Color = clGrayText;
      Canvas.TextOut(p.Rect.Left, p.Rect.Top, p.Text);
    }
  }
}

// --- Image ---------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 105, 105); }

void TImage::SetPicture(const TBitmap& b) {
  FPicture = b;
  AdjustSize();
  Invalidate();
}

void TImage::SetStretch(bool v) {
  FStretch = v;
  Invalidate();
}

void TImage::AdjustSize() {
  if (FAutoSize && !FPicture.Empty()) TControl::SetBounds(FLeft, FTop, FPicture.Width(), FPicture.Height());
}

void TImage::Paint(TCanvas& Canvas) {
  if (FPicture.Empty()) return;
  if (FStretch && (FPicture.Width() != FWidth || FPicture.Height() != FHeight))
    Canvas.Draw(0, 0, FPicture.Scaled(FWidth, FHeight));
  else
    Canvas.Draw(0, 0, FPicture);
}

}  // namespace kv
