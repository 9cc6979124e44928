// The task dialog's own controls (the command link button, the expand and
// collapse button, the progress bar with a marquee mode) and the task dialog
// form built from them, with its entry points.
#pragma once

#include <vector>

#include "platform/TaskDialogAbi.h"
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
  void MouseDown(TMouseButton Button, TPoint At) override;
  void MouseUp(TMouseButton Button, TPoint At) override;
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

  bool CanFocusKind() const override { return true; }
  // Toggles Checked, then OnClick.
  void Click() override;
  // Space clicks.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void Paint(TCanvas& Canvas) override;
  // CalcNewSize: 19 + padding + text width wide, at least 19 high.
  void AdjustSize() override;
  void MouseDown(TMouseButton Button, TPoint At) override;
  void MouseUp(TMouseButton Button, TPoint At) override;
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

// --- The task dialog form ----------------------------------------------------------------

namespace kv {

// Flags of a task dialog configuration.
constexpr std::uint32_t TDF_ENABLE_HYPERLINKS = 0x0001, TDF_USE_HICON_MAIN = 0x0002, TDF_USE_HICON_FOOTER = 0x0004,
                        TDF_ALLOW_DIALOG_CANCELLATION = 0x0008, TDF_USE_COMMAND_LINKS = 0x0010,
                        TDF_USE_COMMAND_LINKS_NO_ICON = 0x0020, TDF_EXPAND_FOOTER_AREA = 0x0040,
                        TDF_EXPANDED_BY_DEFAULT = 0x0080, TDF_VERIFICATION_FLAG_CHECKED = 0x0100,
                        TDF_SHOW_PROGRESS_BAR = 0x0200, TDF_SHOW_MARQUEE_PROGRESS_BAR = 0x0400,
                        TDF_CALLBACK_TIMER = 0x0800, TDF_POSITION_RELATIVE_TO_WINDOW = 0x1000,
                        TDF_RTL_LAYOUT = 0x2000, TDF_NO_DEFAULT_RADIO_BUTTON = 0x4000,
                        TDF_CAN_BE_MINIMIZED = 0x8000;
// Common buttons.
constexpr std::uint32_t TDCBF_OK_BUTTON = 0x01, TDCBF_YES_BUTTON = 0x02, TDCBF_NO_BUTTON = 0x04,
                        TDCBF_CANCEL_BUTTON = 0x08, TDCBF_RETRY_BUTTON = 0x10, TDCBF_CLOSE_BUTTON = 0x20;
// Notifications to the callback.
constexpr std::uint32_t TDN_CREATED = 0, TDN_NAVIGATED = 1, TDN_BUTTON_CLICKED = 2, TDN_HYPERLINK_CLICKED = 3,
                        TDN_TIMER = 4, TDN_DESTROYED = 5, TDN_RADIO_BUTTON_CLICKED = 6, TDN_DIALOG_CONSTRUCTED = 7,
                        TDN_VERIFICATION_CLICKED = 8, TDN_HELP = 9, TDN_EXPANDO_BUTTON_CLICKED = 10;
// Messages to the dialog's window.
constexpr std::uint32_t TDM_NAVIGATE_PAGE = WM_USER + 101, TDM_CLICK_BUTTON = WM_USER + 102,
                        TDM_SET_MARQUEE_PROGRESS_BAR = WM_USER + 103, TDM_SET_PROGRESS_BAR_STATE = WM_USER + 104,
                        TDM_SET_PROGRESS_BAR_RANGE = WM_USER + 105, TDM_SET_PROGRESS_BAR_POS = WM_USER + 106,
                        TDM_SET_PROGRESS_BAR_MARQUEE = WM_USER + 107, TDM_SET_ELEMENT_TEXT = WM_USER + 108,
                        TDM_CLICK_RADIO_BUTTON = WM_USER + 110, TDM_ENABLE_BUTTON = WM_USER + 111,
                        TDM_ENABLE_RADIO_BUTTON = WM_USER + 112, TDM_CLICK_VERIFICATION = WM_USER + 113,
                        TDM_UPDATE_ELEMENT_TEXT = WM_USER + 114,
                        TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE = WM_USER + 115, TDM_UPDATE_ICON = WM_USER + 116,
                        // The form's own: replaces the configuration's flags, nothing rebuilt.
                        TDM_SET_FLAGS = WM_USER + 130;
// Elements of TDM_SET_ELEMENT_TEXT and TDM_UPDATE_ICON.
constexpr std::uintptr_t TDE_CONTENT = 0, TDE_EXPANDED_INFORMATION = 1, TDE_FOOTER = 2, TDE_MAIN_INSTRUCTION = 3;
constexpr std::uintptr_t TDIE_ICON_MAIN = 0, TDIE_ICON_FOOTER = 1;
// Icon codes (without the handle flags).
constexpr std::uintptr_t kTaskIconBlank = 100, kTaskIconWarning = 101, kTaskIconQuestion = 102,
                         kTaskIconError = 103, kTaskIconInformation = 104, kTaskIconBlankAgain = 105,
                         kTaskIconShield = 106;
// The identifiers of the common buttons.
constexpr int kIdOk = 1, kIdCancel = 2, kIdClose = 3, kIdRetry = 4, kIdYes = 6, kIdNo = 7;

// The framework's task dialog: a form built from a task dialog
// configuration, shown modally, reporting to the configuration's callback
// and answering the task dialog messages.
class TKVCustomTaskDialog : public TForm {
 public:
  explicit TKVCustomTaskDialog(TComponent* AOwner);
  ~TKVCustomTaskDialog() override;

  // --- Virtual operations, in slot order ---
  virtual void NotifyCreated();
  virtual void NotifyNavigated();
  virtual void NotifyDialogConstructed();
  virtual void RadioButtonClick(TObject* Sender);
  virtual void ButtonClick(TObject* Sender);
  virtual void CallbackTimerTick(TObject* Sender);
  virtual void LinkClick(TObject* Sender, const String& HRef);
  virtual void CollapseButtonClick(TObject* Sender);
  virtual void CreateRadioButtons();
  virtual void SetupProgressBar();
  virtual void SetupContent();
  virtual void SetupMainInstruction();

  // Takes a copy of the configuration and builds the dialog from it.
  void SetConfig(const TaskDialogConfig& Config);
  // Builds (or, at a page navigation, rebuilds) the dialog from FConfig.
  void BuildDialog();
  void HorizontalLayout();
  void VerticalLayout();
  // The dialog's text as the copy keys put it on the clipboard.
  String DialogText();
  // Where nobody can see the window: the dialog's text goes to standard
  // error, and the button that Enter would click is clicked.
  void AnswerWithoutWindow();

  void WndProc(TMessage& Message) override;
  void PaintAfterControls(TCanvas& Canvas) override;

  // --- State, for the entry points and for inspection ---
  const TaskDialogConfig& Config() const { return FConfig; }
  int ResultButton() const { return FResultButton; }
  // The identifier of the first checked radio button, 0 when none.
  int CheckedRadioButton() const;
  bool VerificationChecked() const;
  std::uint32_t TimerCount() const { return FTimerCount; }
  void StartTimerCount();
  bool Expanded() const;
  int LeftMargin() const { return FLeftMargin; }
  int CalculatedWidth() const { return FCalculatedWidth; }
  THtmlLabel* MainInstructionLabel() const { return FMainInstruction; }
  THtmlLabel* ContentLabel() const { return FContent; }
  THtmlLabel* FooterLabel() const { return FFooterText; }
  TThemedMemo* ExpandedMemo() const { return FExpandedMemo; }
  TMarqueeProgressBar* ProgressBar() const { return FProgressBar; }
  TThemedPanel* ButtonPanel() const { return FButtonPanel; }
  TThemedPanel* FooterPanel() const { return FFooterPanel; }
  TThemedPanel* ExpandedInfoPanel() const { return FExpandedInfo; }
  TThemedCheckBox* Verification() const { return FVerification; }
  TCollapseButton* CollapseButton() const { return FCollapse; }
  TImage* MainIcon() const { return FMainIcon; }
  TImage* FooterIcon() const { return FFooterIcon; }
  TTimer* CallbackTimer() const { return FCallbackTimer; }
  // Common buttons (right to left), custom buttons or command links (as
  // built), radio buttons, and what a navigation discarded.
  const std::vector<TControl*>& CommonButtons() const { return FCommonButtons; }
  const std::vector<TControl*>& Buttons() const { return FButtons; }
  const std::vector<TThemedRadioButton*>& RadioButtons() const { return FRadioButtons; }
  const std::vector<TControl*>& GarbageList() const { return FGarbageList; }
  // MulDiv(n, screen resolution, 96).
  int Scaled(int n) const;

 protected:
  // Calls the configuration's callback when the window exists and there is
  // one; 0 otherwise.
  HRESULT32 Notify(std::uint32_t Code, std::uintptr_t WParam, std::intptr_t LParam);
  bool UsesCommandLinks() const;
  bool HasCustomButtons() const;
  bool HasRadioButtons() const;
  void FormKeyDown(std::uint16_t& Key, TShiftState Shift);
  // Raises when the counts are beyond any dialog (nothing is read then).
  static void CheckCounts(const TaskDialogConfig& Config);
  // Hides the buttons and radio buttons and keeps them in the garbage list,
  // freeing what was there unless a callback is running.
  void DiscardControls();
  // The shown image of an icon value; false when the icon is hidden.
  bool IconPicture(std::uintptr_t Value, bool IsHandle, bool Main, TBitmap& Picture);
  void SetupIcon(TImage* Image, std::uintptr_t Value, bool IsHandle, bool Main);
  void ShiftButtons(int SinceWidth);
  TControl* FindButtonById(int Id);
  TThemedRadioButton* FindRadioById(int Id);
  // The whole client width needed so that neither the verification check
  // box nor the collapse button runs into the leftmost push button.
  void KeepBottomRowApart();
  void ChooseInitialFocus();

  // Fields, in the form's order.
  int FVericalControlPadding = 13;
  int FHorzPadding = 10;
  int FCalculatedWidth = 0;
  int FLeftMargin = 10;
  TBitmap FShieldBmp, FSmallShield;
  THtmlLabel* FMainInstruction = nullptr;
  THtmlLabel* FContent = nullptr;
  TThemedMemo* FExpandedMemo = nullptr;
  TMarqueeProgressBar* FProgressBar = nullptr;
  TThemedPanel* FButtonPanel = nullptr;
  TThemedPanel* FFooterPanel = nullptr;
  TThemedPanel* FExpandedInfo = nullptr;
  THtmlLabel* FFooterText = nullptr;
  std::vector<TControl*> FCommonButtons;
  std::vector<TControl*> FButtons;
  std::vector<TThemedRadioButton*> FRadioButtons;
  std::vector<TControl*> FGarbageList;
  TTimer* FCallbackTimer = nullptr;
  std::uint32_t FTimerCount = 0;
  TaskDialogConfig FConfig;
  TThemedCheckBox* FVerification = nullptr;
  TCollapseButton* FCollapse = nullptr;
  TImage* FFooterIcon = nullptr;
  TImage* FMainIcon = nullptr;
  int FResultButton = 0;
  // Whether the bottom row got a system menu because the configuration has
  // no button at all (it could not be closed otherwise).
  bool FForcedSystemMenu = false;
  int FInCallback = 0;
};

// Shows the dialog the configuration describes and, when it closes, writes
// the last clicked button's identifier (0: none), the checked radio button's
// identifier (0: none) and the verification state into the outputs that are
// given. 0, or kE_OUTOFMEMORY when anything failed once the form existed.
HRESULT32 KV_CALLBACK EmulatedTaskDialogIndirect(const TaskDialogConfig* Config, int* Button, int* RadioButton,
                                                 std::int32_t* VerificationFlagChecked);
HRESULT32 KV_CALLBACK EmulatedTaskDialog(std::uintptr_t ParentWindow, std::uintptr_t Instance,
                                         const char16_t* WindowTitle, const char16_t* MainInstruction,
                                         const char16_t* Content, std::uint32_t CommonButtons, std::uintptr_t Icon,
                                         int* Button);

using TTaskDialogIndirectFunc = HRESULT32(KV_CALLBACK*)(const TaskDialogConfig*, int*, int*, std::int32_t*);
using TTaskDialogFunc = HRESULT32(KV_CALLBACK*)(std::uintptr_t, std::uintptr_t, const char16_t*, const char16_t*,
                                                const char16_t*, std::uint32_t, std::uintptr_t, int*);

// Set at start-up: the platform's task dialog functions where the platform
// has both, the emulated ones where it lacks one, empty where it has no
// task dialog library at all. Nothing calls through them; every task dialog
// of the program is the form above.
extern TTaskDialogIndirectFunc TaskDialogIndirectEntry;
extern TTaskDialogFunc TaskDialogEntry;
extern bool NativeTaskDialogAvailable;
extern const TTaskDialogIndirectFunc EmulatedTaskDialogIndirectEntry;
extern const TTaskDialogFunc EmulatedTaskDialogEntry;

void TaskDialogModule_Initialize();
void TaskDialogModule_Finalize();

}  // namespace kv
