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

void TThemedButton::MouseDown(TPoint) {
  FPressed = true;
  Invalidate();
}

void TThemedButton::MouseUp(TPoint) {
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
  Canvas.TextRect({size + TThemedCheckBox::kGap, 0, FWidth, FHeight}, PlainCaption(), fmt);
}

// Memo.

TThemedMemo::TThemedMemo(TComponent* AOwner) : TThemedControl(AOwner) {
  FColor = clWindow;
  SetBounds(0, 0, 185, 89);
}

void TThemedMemo::SetScrollBars(TScrollStyle v) {
  FScrollBars = v;
  Invalidate();
}

bool TThemedMemo::HorzScrollBarShown() {
  if (FScrollBars != TScrollStyle::ssHorizontal && FScrollBars != TScrollStyle::ssBoth) return false;
  auto m = MeasuringCanvas(FFont);
  int widest = 0;
  for (const String& l : m->WrapLines(FCaption, 0)) widest = std::max(widest, m->TextWidth(l));
  return widest > FWidth - 4 - (FScrollBars == TScrollStyle::ssBoth ? kScrollBarSize : 0);
}

bool TThemedMemo::VertScrollBarShown() {
  if (FScrollBars != TScrollStyle::ssVertical && FScrollBars != TScrollStyle::ssBoth) return false;
  auto m = MeasuringCanvas(FFont);
  const bool wrap = FScrollBars == TScrollStyle::ssVertical;
  const auto lines = m->WrapLines(FCaption, wrap ? FWidth - 4 - kScrollBarSize : 0);
  const int height = m->TextHeight(u"Ag") * static_cast<int>(lines.size());
  return height > FHeight - 4 - (HorzScrollBarShown() ? kScrollBarSize : 0);
}

void TThemedMemo::KeyPress(char16_t& Key) {
  if (FReadOnly) return;
  if (Key == u'\b') {
    if (!FCaption.empty()) SetCaption(StringView(FCaption).substr(0, FCaption.size() - 1));
  } else if (Key == u'\r') {
    SetCaption(FCaption + u"\r\n");
  } else if (Key >= u' ') {
    SetCaption(FCaption + Key);
  }
  Key = 0;
}

void TThemedMemo::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // Ctrl+C copies the whole text (there is no selection of parts).
  if (Shift.Ctrl && (Key == u'C' || Key == u'A')) {
    WindowSystem().SetClipboardText(FCaption);
    Key = 0;
  }
}

void TThemedMemo::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = EnabledChain() ? FColor : clBtnFace;
  Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  Canvas.PenColor = Focused() ? kBorderFocus : kBorderNormal;
  Canvas.FrameRect(Bounds(0, 0, FWidth, FHeight));
  const bool h = HorzScrollBarShown(), v = VertScrollBarShown();
  const TRect text{2, 2, FWidth - 2 - (v ? kScrollBarSize : 0), FHeight - 2 - (h ? kScrollBarSize : 0)};
  TTextFormat fmt;
  fmt.WordWrap = FScrollBars == TScrollStyle::ssNone || FScrollBars == TScrollStyle::ssVertical;
  Canvas.TextRect(text, FCaption, fmt);
  Canvas.BrushColor = clScrollBar;
  if (v) Canvas.FillRect({FWidth - 1 - kScrollBarSize, 1, FWidth - 1, FHeight - 1 - (h ? kScrollBarSize : 0)});
  if (h) Canvas.FillRect({1, FHeight - 1 - kScrollBarSize, FWidth - 1 - (v ? kScrollBarSize : 0), FHeight - 1});
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

// attribute in upper case, as "HREF".
String AttributeValue(StringView tag, StringView attribute) {
  const String upper = AsciiUpperCase(tag);
  std::size_t p = upper.find(String(attribute) + u"=");
  if (p == String::npos) return {};
  p += attribute.size() + 1;
  if (p >= tag.size()) return {};
  const char16_t q = tag[p];
  std::size_t end;
  if (q == u'"' || q == u'\'') {
    ++p;
    end = tag.find(q, p);
    if (end == StringView::npos) end = tag.size();
  } else {
    end = tag.find(u' ', p);
    if (end == StringView::npos) end = tag.size();
  }
  String value;
  for (std::size_t i = p; i < end; ++i) {
    std::size_t used = 0;
    if (tag[i] == u'&' && CharacterReference(tag, i, value, used)) {
      i += used - 1;
      continue;
    }
    value += tag[i];
  }
  return value;
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
          cur.HRef = AttributeValue(tag, u"HREF");
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
  for (const Run& r : Parse(FCaption)) {
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
  auto m = WindowSystem().MeasureCanvas();
  const Layout lay = Arrange(*m, FWordWrap ? FWrapWidth : 0);
  FSizing = true;
  TControl::SetBounds(FLeft, FTop, lay.Width, lay.Height);
  FSizing = false;
}

int THtmlLabel::LineCount() {
  auto m = WindowSystem().MeasureCanvas();
  return static_cast<int>(Arrange(*m, FWordWrap ? FWidth : 0).Lines.size());
}

std::vector<String> THtmlLabel::LineTexts() {
  auto m = WindowSystem().MeasureCanvas();
  std::vector<String> out;
  for (const auto& line : Arrange(*m, FWordWrap ? FWidth : 0).Lines) {
    String s;
    for (const Piece& p : line) s += (p.BlankBefore ? u" " : u"") + p.Text;
    out.push_back(s);
  }
  return out;
}

String THtmlLabel::LinkAt(TPoint At) {
  auto m = WindowSystem().MeasureCanvas();
  for (const auto& line : Arrange(*m, FWordWrap ? FWidth : 0).Lines)
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

void THtmlLabel::MouseUp(TPoint At) {
  FMouse = At;
  const String href = LinkAt(At);
  if (!href.empty() && OnLinkClick) OnLinkClick(this, href);
}

void THtmlLabel::Paint(TCanvas& Canvas) {
  if (!FTransparent) {
    Canvas.BrushColor = EffectiveColor();
    Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  }
  Layout lay = Arrange(Canvas, FWordWrap ? FWidth : 0);
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
