// The standard controls, drawn by our own code: labels (plain and HTML),
// panels, push buttons, check boxes, radio buttons, a multi-line edit box,
// images, list boxes, page controls, and the message timer. The themed
// class names are those the theme rules of the forms refer to.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "toolkit/Controls.h"

namespace kv {

// A message timer: OnTimer every Interval milliseconds while Enabled.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned ms);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  TNotifyHandler OnTimer;

 private:
  void Update();
  unsigned FInterval = 1000;
  bool FEnabled = true;
  std::uintptr_t FId = 0;
};

// --- Windowed themed controls -------------------------------------------------------

class TThemedControl : public TWinControl {
 public:
  explicit TThemedControl(TComponent* AOwner);
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();
};

// A push button with its own themed look: a rounded face that lights up
// under the mouse and darkens while pressed, a focus frame, and the default
// button's stronger border.
class TThemedButton : public TThemedControl {
 public:
  explicit TThemedButton(TComponent* AOwner);
  bool CanFocusKind() const override { return true; }
  bool IsButton() const override { return true; }
  bool IsDefaultButton() const override { return FDefault; }
  bool IsCancelButton() const override { return FCancel; }
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  // Passes the modal result to the form, then OnClick.
  void Click() override;
  void Paint(TCanvas& Canvas) override;
  void MouseDown(TMouseButton Button, TPoint At) override;
  void MouseUp(TMouseButton Button, TPoint At) override;
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  bool Pressed() const { return FPressed; }

 private:
  bool FDefault = false, FCancel = false, FPressed = false;
  TModalResult FModalResult = mrNone;
};

// A check box; with AutoSize (on by default) as wide as box and caption.
class TThemedCheckBox : public TThemedControl {
 public:
  explicit TThemedCheckBox(TComponent* AOwner);
  bool CanFocusKind() const override { return true; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  // Toggles, then OnClick.
  void Click() override;
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;
  static constexpr int kBoxSize = 13, kGap = 4;

 private:
  bool FChecked = false;
};

// A radio button: checking one unchecks the others of the same parent.
class TThemedRadioButton : public TThemedControl {
 public:
  explicit TThemedRadioButton(TComponent* AOwner);
  bool CanFocusKind() const override { return true; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  void Click() override;
  // Space clicks; the arrow keys move to the next or previous radio button
  // of the same parent and click it.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;

 private:
  bool FChecked = false;
};

enum class TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit box with a caret, a selection and scrolling; the scroll
// bars it is given show only when the text needs them. Without a horizontal
// scroll bar the lines wrap at the box's width.
class TThemedMemo : public TThemedControl {
 public:
  explicit TThemedMemo(TComponent* AOwner);
  bool CanFocusKind() const override { return true; }
  bool WantsChars() const override { return !FReadOnly; }
  bool WantsKey(std::uint16_t Key) const override { return Key == VK_RETURN && !FReadOnly; }
  const String& Text() const { return FCaption; }
  void SetText(StringView t) { SetCaption(t); }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v) { FReadOnly = v; }
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle v);
  bool HorzScrollBarShown();
  bool VertScrollBarShown();

  // Caret and selection, as offsets into the text: the selection runs from
  // the anchor to the caret.
  int SelStart() const { return std::min(FAnchor, FCaret); }
  int SelLength() const { return std::abs(FCaret - FAnchor); }
  String SelText() const;
  void SetSel(int Start, int Length);
  void SelectAll();
  int CaretPos() const { return FCaret; }
  // The first line shown and the first pixel column shown.
  int TopLine() const { return FTopLine; }
  void SetTopLine(int Line);
  int LeftOffset() const { return FLeftOffset; }
  // The lines as laid out (split at line ends, wrapped where the box wraps).
  int LineCount();
  String LineText(int Line);
  // How many whole lines the box shows at once.
  int VisibleLines();

  void KeyPress(char16_t& Key) override;
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TPoint At) override;
  void MouseMove(TPoint At) override;
  void MouseUp(TMouseButton Button, TPoint At) override;
  void MouseWheel(int Delta) override;
  void Paint(TCanvas& Canvas) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  static constexpr int kScrollBarSize = 17;

 protected:
  void TextChanged() override;
  void FontChanged() override;

 private:
  struct Line {
    int Start = 0, Length = 0;
  };
  // Lays the text out again when text, font, size or scroll bars changed.
  void Arrange();
  void Invalid() { FArranged = false; }
  // The text area inside the frame and the shown scroll bars.
  TRect TextArea();
  int LineOf(int Pos);
  int XOf(int Pos);
  int PosAt(TPoint At);
  void MoveCaret(int Pos, bool Extend);
  void ScrollToCaret();
  void ReplaceSelection(StringView Text);
  int LineHeight();

  bool FReadOnly = false;
  TScrollStyle FScrollBars = TScrollStyle::ssNone;
  bool FArranged = false;
  std::vector<Line> FLines;
  int FLineHeight = 0, FWidest = 0;
  bool FHorzShown = false, FVertShown = false;
  int FCaret = 0, FAnchor = 0;
  int FTopLine = 0, FLeftOffset = 0;
  bool FSelecting = false;
  int FWheelRest = 0;
};

class TThemedListBox : public TThemedControl {
 public:
  explicit TThemedListBox(TComponent* AOwner);
  std::vector<String> Items;
  bool TransparentSelection() const { return FTransparentSelection; }
  void SetTransparentSelection(bool v) { FTransparentSelection = v; }
  void Paint(TCanvas& Canvas) override;
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 private:
  bool FTransparentSelection = true;
};

class TThemedPageControl : public TThemedControl {
 public:
  explicit TThemedPageControl(TComponent* AOwner);
  bool Flat() const { return FFlat; }
  void SetFlat(bool v) { FFlat = v; }
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 private:
  bool FFlat = false;
};

// --- Panels -----------------------------------------------------------------------------

enum class TPanelBorder : std::uint8_t { bsNone, bsSingle };

class TCustomThemedPanel : public TWinControl {
 public:
  explicit TCustomThemedPanel(TComponent* AOwner);
  TPanelBorder BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TPanelBorder v);
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int v);
  bool ThemeGlobalMode() const { return FThemeGlobalMode; }
  void SetThemeGlobalMode(bool v) { FThemeGlobalMode = v; }
  bool TransparentXPThemes() const { return FTransparentXPThemes; }
  void SetTransparentXPThemes(bool v) { FTransparentXPThemes = v; }
  // One etched line (shadow over highlight) along the top edge.
  bool EtchedTopLine() const { return FEtchedTopLine; }
  void SetEtchedTopLine(bool v);
  void Paint(TCanvas& Canvas) override;
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 private:
  TPanelBorder FBorderStyle = TPanelBorder::bsSingle;
  int FBorderWidth = 0;
  bool FThemeGlobalMode = true, FTransparentXPThemes = true, FEtchedTopLine = false;
};

class TThemedPanel : public TCustomThemedPanel {
 public:
  using TCustomThemedPanel::TCustomThemedPanel;
};

// --- Graphic controls (no focus) ------------------------------------------------------

class TCustomThemedGraphicButton : public TControl {
 public:
  explicit TCustomThemedGraphicButton(TComponent* AOwner);
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();
};

class TCustomThemedLabel : public TControl {
 public:
  explicit TCustomThemedLabel(TComponent* AOwner);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  // A cut text ends in "...".
  bool EndEllipsis() const { return FEndEllipsis; }
  void SetEndEllipsis(bool v);
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 protected:
  // The width to wrap at: the width last given from outside.
  int FWrapWidth = 0;
  bool FWordWrap = false, FEndEllipsis = false;
  bool FSizing = false;
};

class TThemedLabel : public TCustomThemedLabel {
 public:
  using TCustomThemedLabel::TCustomThemedLabel;
};

// A label whose caption is a little HTML: "<br>" breaks the line, "<a
// href=...>" marks a link whose target OnLinkClick reports, "<b>" bold;
// "&#NNN;", "&#xHH;" and &amp; &lt; &gt; &quot; &nbsp; are characters. Other
// tags are left out.
class THtmlLabel : public TCustomThemedLabel {
 public:
  explicit THtmlLabel(TComponent* AOwner);
  // The caption without markup, "<br>" as CR LF.
  String PlainText() const;
  std::function<void(TObject* Sender, const String& HRef)> OnLinkClick;
  // The link target at a point of the control; empty when none.
  String LinkAt(TPoint At);
  int LineCount();
  // The laid-out lines' texts (for inspection).
  std::vector<String> LineTexts();
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;
  void MouseUp(TMouseButton Button, TPoint At) override;
  void MouseMove(TPoint At) override;

  struct Run {
    String Text;
    String HRef;
    bool Bold = false;
    bool Break = false;  // a line break instead of text
  };
  static std::vector<Run> Parse(StringView html);

 private:
  struct Piece {
    TRect Rect;
    String Text;
    String HRef;
    bool Bold = false;
    // Drawn after a blank (the gap lies before Rect).
    bool BlankBefore = false;
  };
  struct Layout {
    std::vector<std::vector<Piece>> Lines;
    int Width = 0, Height = 0, LineHeight = 0;
  };
  Layout Arrange(TCanvas& canvas, int width);
  // The parsed caption and its layout at a width, made again only when the
  // caption, the font or the width changes.
  const std::vector<Run>& Runs();
  const Layout& CachedLayout(int width);
  // The width the text wraps at (0: no wrapping): the width given from
  // outside, which sizing to the text does not change.
  int LayoutWidth() const { return FWordWrap ? FWrapWidth : 0; }
  void TextChanged() override;
  void FontChanged() override;
  TPoint FMouse;
  String FHotLink;
  std::vector<Run> FRuns;
  bool FRunsValid = false;
  Layout FLayout;
  int FLayoutWidth = -1;
};

// An image: a bitmap drawn at the top left (stretched to the bounds with
// Stretch), sized to it with AutoSize.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* AOwner);
  const TBitmap& Picture() const { return FPicture; }
  void SetPicture(const TBitmap& b);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v);
  void Paint(TCanvas& Canvas) override;
  void AdjustSize() override;

 private:
  TBitmap FPicture;
  bool FStretch = false;
};

}  // namespace kv
