// The tree of controls: parents and children, bounds, looks, focus, and
// painting.
#include "toolkit/Controls.h"

#include <algorithm>

#include "platform/Locale.h"

namespace kv {

// --- TControl ----------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

void TControl::DetachFromForm() {
  if (TCustomForm* f = Form(); f && f != this) {
    if (f->FActiveControl == this) f->FActiveControl = nullptr;
    if (f->FCapture == this) f->FCapture = nullptr;
    if (f->FHover == this) f->FHover = nullptr;
  }
}

TControl::~TControl() {
  DetachFromForm();
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    FParent = nullptr;
  }
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation(u"A control cannot be its own parent");
  Invalidate();
  if (FParent) {
    DetachFromForm();
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = AParent;
  if (FParent) {
    FParent->FControls.push_back(this);
    if (FParentFont) {
      FFont = FParent->FFont;
      FontChanged();
    }
  }
  Invalidate();
}

TCustomForm* TControl::Form() {
  TControl* c = this;
  while (c && !c->IsForm()) c = c->FParent;
  return static_cast<TCustomForm*>(c);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  Invalidate();
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max(0, AWidth);
  FHeight = std::max(0, AHeight);
  Invalidate();
}

TPoint TControl::FormOrigin() const {
  TPoint p;
  for (const TControl* c = this; c && !c->IsForm(); c = c->FParent) {
    p.X += c->FLeft;
    p.Y += c->FTop;
  }
  return p;
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (TCustomForm* f = Form(); f && !v && f != this && f->FActiveControl && !f->FActiveControl->VisibleUpToForm())
    f->FActiveControl = nullptr;
  Invalidate();
  if (FParent) FParent->Invalidate();
}

bool TControl::VisibleUpToForm() const {
  for (const TControl* c = this; c && !c->IsForm(); c = c->FParent)
    if (!c->FVisible) return false;
  return true;
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->FParent) {
    if (!c->FVisible) return false;
    if (c->IsForm()) return true;
  }
  return true;
}

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Invalidate();
}

bool TControl::EnabledChain() const {
  for (const TControl* c = this; c; c = c->FParent) {
    if (!c->FEnabled) return false;
    if (c->IsForm()) break;
  }
  return true;
}

void TControl::SetColor(TColor c) {
  FColor = c;
  Invalidate();
}

void TControl::SetFont(const TFont& f) {
  FFont = f;
  FParentFont = false;
  FontChanged();
}

void TControl::SetParentFont(bool v) {
  FParentFont = v;
  if (v && FParent) {
    FFont = FParent->FFont;
    FontChanged();
  }
}

void TControl::FontChanged() {
  AdjustSize();
  Invalidate();
}

void TControl::SetCaption(StringView c) {
  if (c == FCaption) return;
  FCaption.assign(c);
  TextChanged();
}

void TControl::TextChanged() {
  AdjustSize();
  Invalidate();
}

String TControl::PlainCaption() const {
  String r;
  for (std::size_t i = 0; i < FCaption.size(); ++i) {
    if (FCaption[i] == u'&') {
      if (i + 1 < FCaption.size() && FCaption[i + 1] == u'&') {
        r += u'&';
        ++i;
      }
      continue;
    }
    r += FCaption[i];
  }
  return r;
}

char16_t TControl::Accelerator() const {
  for (std::size_t i = 0; i + 1 < FCaption.size(); ++i) {
    if (FCaption[i] != u'&') continue;
    if (FCaption[i + 1] == u'&') {
      ++i;
      continue;
    }
    return platform::UpperCaseTable()[FCaption[i + 1]];
  }
  return 0;
}

void TControl::SetTransparent(bool v) {
  FTransparent = v;
  Invalidate();
}

void TControl::SetThemeMode(TThemeMode v) {
  FThemeMode = v;
  Invalidate();
}

void TControl::SetAutoSize(bool v) {
  FAutoSize = v;
  if (v) AdjustSize();
}

bool TControl::Focused() {
  TCustomForm* f = Form();
  return f && f->ActiveControl() == this;
}

void TControl::SetFocus() {
  TCustomForm* f = Form();
  if (!f) throw EInvalidOperation(u"Cannot focus a control that is on no form");
  if (!CanFocus()) throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  f->SetActiveControl(this);
}

void TControl::Invalidate() {
  TCustomForm* f = FParent || IsForm() ? Form() : nullptr;
  if (f && f->HandleAllocated()) WindowSystem().Invalidate(f->Handle());
}

void TControl::Paint(TCanvas&) {}
void TControl::MouseDown(TMouseButton, TPoint) {}
void TControl::MouseUp(TMouseButton, TPoint) {}
void TControl::MouseMove(TPoint) {}
void TControl::MouseEnter() {
  FMouseInControl = true;
  Invalidate();
}
void TControl::MouseLeave() {
  FMouseInControl = false;
  Invalidate();
}
void TControl::MouseWheel(int) {}
void TControl::KeyDown(std::uint16_t&, TShiftState) {}
void TControl::KeyPress(char16_t&) {}
bool TControl::WantsKey(std::uint16_t) const { return false; }

void TControl::ClickOnSpace(std::uint16_t& Key) {
  if (Key != VK_SPACE) return;
  Key = 0;
  Click();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

TColor TControl::EffectiveColor() const {
  if ((FTransparent || FParentBackground) && FParent) return FParent->EffectiveColor();
  return FColor;
}

void TControl::PrepareCanvas(TCanvas& Canvas) const {
  Canvas.Font = FFont;
  Canvas.BrushColor = FColor;
}

// --- TWinControl ---------------------------------------------------------------------

TWinControl::~TWinControl() {
  // Children go with their parent, the last one first.
  while (!FControls.empty()) delete FControls.back();
}

TControl* TWinControl::Controls(int Index) const {
  CheckListIndex(Index, ControlCount());
  return FControls[static_cast<std::size_t>(Index)];
}

TControl* TWinControl::ControlAtPos(TPoint At) {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (!c->Visible() || !c->BoundsRect().Contains(At)) continue;
    if (!c->Enabled()) return nullptr;
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
      if (TControl* inner = w->ControlAtPos({At.X - c->Left(), At.Y - c->Top()})) return inner;
    }
    return c;
  }
  return nullptr;
}

void TWinControl::Paint(TCanvas& Canvas) {
  if (FTransparent) return;
  Canvas.BrushColor = EffectiveColor();
  Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
}

void TWinControl::PaintControls(TCanvas& Canvas, TPoint Origin) {
  for (TControl* c : FControls) {
    if (!c->Visible()) continue;
    const TPoint at{Origin.X + c->Left(), Origin.Y + c->Top()};
    TOffsetCanvas sub(Canvas, at);
    const TRect clip = Bounds(0, 0, c->Width(), c->Height());
    sub.SetClip(&clip);
    c->PrepareCanvas(sub);
    c->Paint(sub);
    sub.SetClip(nullptr);
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->PaintControls(Canvas, at);
  }
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : FControls) {
    if (c->FParentFont) {
      c->FFont = FFont;
      c->FontChanged();
    }
  }
}

}  // namespace kv
