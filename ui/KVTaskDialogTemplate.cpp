#include "ui/KVTaskDialogTemplate.h"

#include <algorithm>

#include "ui/KVForms.h"
#include "ui/KVResources.h"

namespace kv {

// --- Command link --------------------------------------------------------------------------

TCommandLinkButton::TCommandLinkButton(TComponent* AOwner) : TWinControl(AOwner) {
  FTabStop = true;
  FColor = clWindow;
  FDrawFont = FFont;
  FImages.AddStrip(LoadBitmapResource(u"BMPCL_ARROWS"));
  SetBounds(0, 0, 185, FDefaultHeight);
  AdjustSize();
}

TFont TCommandLinkButton::DrawFont(int size) const {
  TFont f = FDrawFont;
  f.Size = size;
  f.Height = 0;
  return f;
}

TSize TCommandLinkButton::MeasureLine(StringView text, int size) const {
  return MeasuringCanvas(DrawFont(size))->TextExtent(text);
}

void TCommandLinkButton::AdjustSize() {
  const TSize caption = MeasureLine(PlainCaption(), 11);
  // An empty note takes no room.
  const TSize note = FNote.empty() ? TSize{} : MeasureLine(FNote, 7);
  FTextRect = Bounds(0, 0, caption.cx, caption.cy);
  TControl::SetBounds(FLeft, FTop, FWidth, std::max(caption.cy + note.cy + 2 * FMarginVertical, FDefaultHeight));
}

void TCommandLinkButton::SetNote(StringView v) {
  if (v == FNote) return;
  FNote.assign(v);
  AdjustSize();
  Invalidate();
}

void TCommandLinkButton::SetIsDefault(bool v) {
  if (v == FIsDefault) return;
  if (TCustomForm* f = Form(); f && CanFocusOnForm()) f->SetActiveControl(this);
  FIsDefault = v;
  Invalidate();
}

void TCommandLinkButton::SetIsElevationButton(bool v) {
  if (v == FIsElevationButton) return;
  FIsElevationButton = v;
  Invalidate();
}

void TCommandLinkButton::SetShowIcon(bool v) {
  if (v == FShowIcon) return;
  FShowIcon = v;
  Invalidate();
}

void TCommandLinkButton::SetMarginVertical(int v) {
  if (v == FMarginVertical) return;
  FMarginVertical = v;
  AdjustSize();
}

void TCommandLinkButton::SetMarginHorizontal(int v) {
  if (v == FMarginHorizontal) return;
  FMarginHorizontal = v;
  AdjustSize();
}

void TCommandLinkButton::Click() {
  TControl::Click();
  if (FModalResult >= 0)
    if (TCustomForm* f = Form()) f->SetModalResult(FModalResult);
}

int TCommandLinkButton::ImageIndex() const {
  if (!FShowIcon) return -1;
  if (FIsElevationButton) return 3;
  if (FMouseInControl && !FButtonDown) return 1;
  return EnabledChain() ? 0 : 2;
}

void TCommandLinkButton::Paint(TCanvas& Canvas) {
  const TRect all = Bounds(0, 0, FWidth, FHeight);
  Canvas.BrushColor = clWindow;
  Canvas.FillRect(all);
  if (FIsDefault) {
    Canvas.PenColor = kDefaultFrame;
    Canvas.RoundRect(all, 3);
  }
  if (FMouseInControl) {
    Canvas.PenColor = FButtonDown ? kPressedFrame : kHotFrame;
    Canvas.RoundRect(all, 3);
  }
  const int captionHeight = FTextRect.Height();
  if (const int index = ImageIndex(); index >= 0)
    Canvas.Draw(5, (captionHeight - 16) / 2 + FMarginVertical, FImages.Image(index));
  const bool enabled = EnabledChain();
  const int left = FShowIcon ? 16 + FMarginHorizontal : FMarginHorizontal;
  Canvas.Font = DrawFont(11);
  Canvas.Font.Color = enabled ? kCaptionColor : kDisabledCaption;
  Canvas.TextOut(left, FMarginVertical, PlainCaption());
  Canvas.Font = DrawFont(7);
  Canvas.Font.Color = enabled ? kNoteColor : kDisabledNote;
  TTextFormat wrap;
  wrap.WordWrap = true;
  Canvas.TextRect({left + 2, captionHeight + FMarginVertical, FWidth, FHeight}, FNote, wrap);
}

void TCommandLinkButton::MouseDown(TMouseButton Button, TPoint) {
  if (Button != TMouseButton::mbLeft) return;
  FButtonDown = true;
  Invalidate();
}

void TCommandLinkButton::MouseUp(TMouseButton Button, TPoint) {
  if (Button != TMouseButton::mbLeft) return;
  FButtonDown = false;
  Invalidate();
}

void TCommandLinkButton::MouseEnter() { TControl::MouseEnter(); }

void TCommandLinkButton::MouseLeave() {
  FButtonDown = false;
  TControl::MouseLeave();
}

void TCommandLinkButton::KeyDown(std::uint16_t& Key, TShiftState) {
  ClickOnSpace(Key);
}

TKVCommandLinkButton::TKVCommandLinkButton(TComponent* AOwner) : TCommandLinkButton(AOwner) {
  FDrawFont.Name = DefaultFormFontName();
  AdjustSize();
}

int TKVCommandLinkButton::NeededWidth() const {
  int w = std::max(MeasureLine(PlainCaption(), 11).cx, MeasureLine(Note(), 7).cx);
  if (ShowIcon()) w += 16 + 2 * MarginHorizontal();
  return std::min(w, Screen().Width() - 100);
}

// --- Collapse button ---------------------------------------------------------------------------

TCollapseButton::TCollapseButton(TComponent* AOwner) : TWinControl(AOwner) {
  FTabStop = true;
  FImages.AddStrip(LoadBitmapResource(u"BMPCOL_BUTTON"));
  SetBounds(0, 0, 19, 19);
  AdjustSize();
}

void TCollapseButton::AdjustSize() {
  const TSize t = MeasuringCanvas(FFont)->TextExtent(FCaption);
  FTextWidth = t.cx;
  FTextHeight = t.cy;
  TControl::SetBounds(FLeft, FTop, 19 + FCaptionPadding + FTextWidth, std::max(19, FTextHeight));
}

void TCollapseButton::SetChecked(bool v) {
  FChecked = v;
  SetCaption(v ? FExpandedText : FCollapsedText);
  Invalidate();
}

void TCollapseButton::SetCollapsedText(StringView v) {
  FCollapsedText.assign(v);
  Invalidate();
}

void TCollapseButton::SetExpandedText(StringView v) {
  FExpandedText.assign(v);
  Invalidate();
}

void TCollapseButton::Click() {
  SetChecked(!FChecked);
  TControl::Click();
}

void TCollapseButton::KeyDown(std::uint16_t& Key, TShiftState) { ClickOnSpace(Key); }

int TCollapseButton::ImageIndex() const {
  const int index = FDown ? 5 : FMouseAbove ? 4 : 3;
  return FChecked ? index - 3 : index;
}

void TCollapseButton::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = EffectiveColor();
  Canvas.FillRect(Bounds(0, 0, FWidth, FHeight));
  Canvas.Draw(0, (FHeight - 19) / 2, FImages.Image(ImageIndex()));
  Canvas.Font = FFont;
  Canvas.TextOut(19 + FCaptionPadding, (FHeight - FTextHeight) / 2, FCaption);
  if (Focused() && !FCaption.empty()) {
    Canvas.PenColor = clBtnShadow;
    Canvas.FrameRect(Bounds(19 + FCaptionPadding - 1, 0, FTextWidth + 2, FHeight));
  }
}

// Any button shows the press, as the left one does; only the left one clicks.
void TCollapseButton::MouseDown(TMouseButton, TPoint) {
  FDown = true;
  Invalidate();
}

void TCollapseButton::MouseUp(TMouseButton, TPoint) {
  FDown = false;
  Invalidate();
}

void TCollapseButton::MouseEnter() {
  FMouseAbove = true;
  TControl::MouseEnter();
}

void TCollapseButton::MouseLeave() {
  FMouseAbove = false;
  TControl::MouseLeave();
}

// --- Marquee progress bar ------------------------------------------------------------------------

TMarqueeProgressBar::TMarqueeProgressBar(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 150, 17); }

TMarqueeProgressBar::~TMarqueeProgressBar() { delete FTimer; }

void TMarqueeProgressBar::SetRange(int AMin, int AMax) {
  FMin = AMin;
  FMax = std::max(AMin, AMax);
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TMarqueeProgressBar::SetPosition(int v) {
  FPosition = std::clamp(v, FMin, FMax);
  Invalidate();
}

void TMarqueeProgressBar::SetMarquee(bool v) {
  if (v == FMarquee) return;
  FMarquee = v;
  FStyle = v ? (FStyle | PBS_MARQUEE) : (FStyle & ~PBS_MARQUEE);
  UpdateProgressBar();
}

void TMarqueeProgressBar::SetMarqueeSpeed(std::uint32_t v) {
  if (v == FMarqueeSpeed) return;
  FMarqueeSpeed = v;
  UpdateProgressBar();
}

void TMarqueeProgressBar::UpdateProgressBar() { Perform(PBM_SETMARQUEE, FMarquee ? 1 : 0, FMarqueeSpeed); }

std::intptr_t TMarqueeProgressBar::Perform(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  if (Msg != PBM_SETMARQUEE) return 0;
  delete FTimer;
  FTimer = nullptr;
  // Only a bar with the marquee style animates, as the platform's.
  if (WParam != 0 && (FStyle & PBS_MARQUEE) != 0) {
    FTimer = new TTimer(nullptr);
    FTimer->SetInterval(LParam > 0 ? static_cast<unsigned>(LParam) : 30u);
    FTimer->OnTimer = [this](TObject*) {
      FOffset = (FOffset + 5) % std::max(1, FWidth + FWidth / 4);
      Invalidate();
    };
  }
  Invalidate();
  return 1;
}

void TMarqueeProgressBar::Paint(TCanvas& Canvas) {
  const TRect all = Bounds(0, 0, FWidth, FHeight);
  Canvas.BrushColor = 0xE6E6E6;
  Canvas.FillRect(all);
  Canvas.PenColor = 0xBCBCBC;
  Canvas.FrameRect(all);
  Canvas.BrushColor = 0x25B006;  // the platform's green
  if ((FStyle & PBS_MARQUEE) != 0) {
    const int block = FWidth / 4;
    const int left = FOffset - block;
    Canvas.FillRect({std::max(1, left), 1, std::min(FWidth - 1, left + block), FHeight - 1});
  } else if (FMax > FMin) {
    const int filled = static_cast<int>(static_cast<long long>(FWidth - 2) * (FPosition - FMin) / (FMax - FMin));
    if (filled > 0) Canvas.FillRect(Bounds(1, 1, filled, FHeight - 2));
  }
}

}  // namespace kv
