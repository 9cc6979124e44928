// The task dialog's own controls: the command link button, the expand and
// collapse button and the progress bar with a marquee mode.
#pragma once

#include "toolkit/StdCtrls.h"

namespace kv {

// A large flat button: an arrow, a one-line caption in 11 point and a
// smaller note under it.
class TCommandLinkButton : public TWinControl {
 public:
  explicit TCommandLinkButton(TComponent* AOwner);

  const String& Note() const { return FNote; }
  void SetNote(StringView v);
  bool IsDefault() const { return FIsDefault; }
  // Makes the link the focused control of its form, then stores the value.
  void SetIsDefault(bool v);
  bool IsElevationButton() const { return FIsElevationButton; }
  void SetIsElevationButton(bool v);
  int MarginVertical() const { return FMarginVertical; }
  void SetMarginVertical(int v);
  int MarginHorizontal() const { return FMarginHorizontal; }
  void SetMarginHorizontal(int v);
  bool ShowIcon() const { return FShowIcon; }
  void SetShowIcon(bool v);
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }
  // The caption's rectangle from origin 0, as last measured.
  const TRect& TextRect() const { return FTextRect; }
  bool ButtonDown() const { return FButtonDown; }

  bool CanFocusKind() const override { return true; }
  bool IsButton() const override { return true; }
  bool IsDefaultButton() const override { return FIsDefault; }
  // OnClick, then (with ModalResult >= 0) the form's modal result.
  void Click() override;
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;
  void MouseDown(TPoint At) override;
  void MouseUp(TPoint At) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;

  // The images: arrow, highlighted arrow, grey arrow, shield.
  const TImageList& Images() const { return FImages; }
  // The index of the image Paint draws (-1 for none).
  int ImageIndex() const;
  static constexpr TColor kDefaultFrame = 0xFFEA97, kHotFrame = 0xC6C6C6, kPressedFrame = 0xADADAD,
                          kCaptionColor = 0x911C15, kDisabledCaption = 0xADADAD, kNoteColor = 0xFF0000,
                          kDisabledNote = 0x0000FF;

 protected:
  // The font of the control's own canvas at a size in points.
  TFont DrawFont(int size) const;
  TFont FDrawFont;
  // The height of the caption and of the note, one line each.
  TSize MeasureLine(StringView text, int size) const;

 private:
  bool FIsDefault = false, FIsElevationButton = false;
  int FModalResult = 0;
  int FDefaultHeight = 41;
  String FNote;
  bool FShowIcon = true;
  int FMarginVertical = 10, FMarginHorizontal = 10;
  TRect FTextRect;
  bool FButtonDown = false;
  TImageList FImages{16, 16};
};

// The framework's command link: the form font, and the width it needs.
class TKVCommandLinkButton : public TCommandLinkButton {
 public:
  explicit TKVCommandLinkButton(TComponent* AOwner);
  // The width for caption and note on one line each (plus the arrow and
  // margins when it shows the icon), at most the screen width less 100.
  int NeededWidth() const;
};

// A chevron with a caption that switches between a collapsed and an
// expanded text.
class TCollapseButton : public TWinControl {
 public:
  explicit TCollapseButton(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  // Stores the value, takes the matching text as caption and repaints.
  void SetChecked(bool v);
  const String& CollapsedText() const { return FCollapsedText; }
  void SetCollapsedText(StringView v);
  const String& ExpandedText() const { return FExpandedText; }
  void SetExpandedText(StringView v);
  bool Down() const { return FDown; }

  // Toggles Checked, then OnClick.
  void Click() override;
  void Paint(TCanvas& Canvas) override;
  // CalcNewSize: 19 + padding + text width wide, at least 19 high.
  void AdjustSize() override;
  void MouseDown(TPoint At) override;
  void MouseUp(TPoint At) override;
  void MouseEnter() override;
  void MouseLeave() override;
  int ImageIndex() const;
  const TImageList& Images() const { return FImages; }

 private:
  bool FChecked = false;
  int FCaptionPadding = 5;
  String FCollapsedText, FExpandedText;
  bool FMouseAbove = false, FDown = false;
  TImageList FImages{19, 19};
  int FTextWidth = 0, FTextHeight = 0;
};

constexpr std::uint32_t PBS_MARQUEE = 0x08;
constexpr std::uint32_t PBM_SETMARQUEE = 1034;

// A progress bar; in marquee mode a block runs through it instead.
class TMarqueeProgressBar : public TWinControl {
 public:
  explicit TMarqueeProgressBar(TComponent* AOwner);
  ~TMarqueeProgressBar() override;
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetRange(int AMin, int AMax);
  void SetPosition(int v);
  bool Marquee() const { return FMarquee; }
  // Sets or clears PBS_MARQUEE in the style, then UpdateProgressBar.
  void SetMarquee(bool v);
  std::uint32_t MarqueeSpeed() const { return FMarqueeSpeed; }
  void SetMarqueeSpeed(std::uint32_t v);
  // Sends PBM_SETMARQUEE with Marquee and MarqueeSpeed.
  void UpdateProgressBar();
  std::uint32_t Style() const { return FStyle; }
  // The bar's own messages (PBM_SETMARQUEE: wParam on/off, lParam the
  // interval in milliseconds, 0 for the default 30).
  std::intptr_t Perform(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);
  bool Animating() const { return FTimer != nullptr; }
  int MarqueeOffset() const { return FOffset; }
  void Paint(TCanvas& Canvas) override;

 private:
  int FMin = 0, FMax = 100, FPosition = 0;
  bool FMarquee = false;
  std::uint32_t FMarqueeSpeed = 0;
  std::uint32_t FStyle = 0;
  TTimer* FTimer = nullptr;
  int FOffset = 0;
};

}  // namespace kv
