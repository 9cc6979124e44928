// The task dialog component: a task dialog described by properties, kept in
// step with its configuration record and shown by the framework's own task
// dialog form. Notifications of the open dialog become virtual operations
// and events; property changes while it is open reach it as task dialog
// messages.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"
#include "ui/KVTaskDialogTemplate.h"

namespace kv {

enum TTaskDlgIcon : std::uint8_t {
  tdiBlank,
  tdiWarning,
  tdiQuestion,
  tdiError,
  tdiInformation,
  tdiBlankAgain,
  tdiShield
};

// Bit n of the set is the configuration flag bit n.
enum TTaskDialogFlag : std::uint8_t {
  tdfEnableHyperlinks,
  tdfUseHiconMain,
  tdfUseHiconFooter,
  tdfAllowDialogCancellation,
  tdfUseCommandLinks,
  tdfUseCommandLinksNoIcon,
  tdfExpandFooterArea,
  tdfExpandedByDefault,
  tdfVerificationFlagChecked,
  tdfShowProgressBar,
  tdfShowMarqueeProgressBar,
  tdfCallbackTimer,
  tdfPositionRelativeToWindow,
  tdfRtlLayout,
  tdfNoDefaultRadioButton,
  tdfCanBeMinimized
};
using TTaskDialogFlags = TSmallSet<TTaskDialogFlag>;

// Bit n of the set is the configuration's common-button bit n.
enum TTaskDialogCommonButton : std::uint8_t { tdcbOk, tdcbYes, tdcbNo, tdcbCancel, tdcbRetry, tdcbClose };
using TTaskDialogCommonButtons = TSmallSet<TTaskDialogCommonButton>;

enum TTaskDlgProgressState : std::uint8_t { tdpsNormal, tdpsError, tdsPaused };

class TKVTaskDialog;

using TOnTaskDialogHyperlink = std::function<void(TObject* Sender, const String& AHref)>;
using TOnTaskDialogTimer = std::function<void(TObject* Sender, std::uint32_t ATickCount)>;
using TOnTaskDialogChecked = std::function<void(TObject* Sender, bool AState)>;
using TOnTaskDialogButtonClick = std::function<void(TObject* Sender, bool& ANoCloseDialog)>;
using TOnTaskDialogCommonButtonClick =
    std::function<void(TObject* Sender, TTaskDialogCommonButton AButtonId, bool& ANoCloseDialog)>;

// A part of the dialog that knows its task dialog and can bring the open
// dialog up to date.
class TKVTaskDlgControl : public TObject {
 public:
  explicit TKVTaskDlgControl(TKVTaskDialog* AOwner) : FOwner(AOwner) {}
  TKVTaskDialog* Owner() const { return FOwner; }
  virtual void ApplyToDialog() = 0;

 protected:
  TKVTaskDialog* FOwner;
};

class TKVTaskProgressBar : public TKVTaskDlgControl {
 public:
  using TKVTaskDlgControl::TKVTaskDlgControl;
  int Min() const { return FMin; }
  int Position() const { return FPosition; }
  int Max() const { return FMax; }
  TTaskDlgProgressState State() const { return FState; }
  bool Marquee() const { return FMarquee; }
  int MarqueSpeed() const { return FMarqueSpeed; }
  void SetMin(int v);
  void SetMax(int v);
  void SetPosition(int v);
  void SetState(TTaskDlgProgressState v);
  void SetMarquee(bool v);
  void SetMarqueSpeed(int v);
  // Marquee, range, position, state.
  void ApplyToDialog() override;
  // Min, Max, Position, State, Marquee, MarqueSpeed, through the setters.
  void Assign(const TKVTaskProgressBar& Source);

 private:
  void SendRange();
  void SendMarquee();
  int FMin = 0, FPosition = 0, FMax = 100;
  TTaskDlgProgressState FState = tdpsNormal;
  bool FMarquee = false;
  int FMarqueSpeed = 0;
};

class TKVTaskDlgButtons;

// An item of a button collection.
class TKVTaskDlgBaseButton : public TObject {
 public:
  explicit TKVTaskDlgBaseButton(TKVTaskDlgButtons* ACollection) : FCollection(ACollection) {}
  TKVTaskDlgButtons* Collection() const { return FCollection; }
  TKVTaskDialog* Dialog() const;
  int ButtonId() const { return FButtonId; }
  void SetButtonId(int v) { FButtonId = v; }
  const String& Caption() const { return FCaption; }
  void SetCaption(StringView v) { FCaption.assign(v); }
  bool Enabled() const { return FEnabled; }

  // --- Virtual operations, in slot order ---
  virtual bool GetIsDefault() const = 0;
  virtual void ApplyToDialog() = 0;
  virtual void SetEnabled(bool v) = 0;
  virtual void SetIsDefault(bool v) = 0;
  virtual void Click() = 0;

  bool IsDefault() const { return GetIsDefault(); }
  virtual void Assign(const TKVTaskDlgBaseButton& Source) = 0;

 protected:
  TKVTaskDlgButtons* FCollection;
  int FButtonId = 0;
  String FCaption;
  bool FEnabled = true;
};

class TKVTaskDlgButton : public TKVTaskDlgBaseButton {
 public:
  explicit TKVTaskDlgButton(TKVTaskDlgButtons* ACollection);
  bool IsElevationButton() const { return FIsElevationButton; }
  void SetIsElevationButton(bool v);
  TOnTaskDialogButtonClick OnClick;
  virtual void DoClick(TObject* Sender, bool& ANoCloseDialog);

  bool GetIsDefault() const override;
  void ApplyToDialog() override;
  void SetEnabled(bool v) override;
  void SetIsDefault(bool v) override;
  void Click() override;
  void Assign(const TKVTaskDlgBaseButton& Source) override;

 private:
  bool FIsElevationButton = false;
};

class TKVTaskDlgRadioButton : public TKVTaskDlgBaseButton {
 public:
  explicit TKVTaskDlgRadioButton(TKVTaskDlgButtons* ACollection);
  TNotifyHandler OnClick;
  virtual void DoClick(TObject* Sender);

  bool GetIsDefault() const override;
  void ApplyToDialog() override;
  void SetEnabled(bool v) override;
  void SetIsDefault(bool v) override;
  void Click() override;
  void Assign(const TKVTaskDlgBaseButton& Source) override;
};

// The buttons or the radio buttons of a task dialog. Items are numbered from
// 200 (buttons) or 300 (radio buttons) by a running number that is never
// given twice.
class TKVTaskDlgButtons : public TObject {
 public:
  enum class TItemKind : std::uint8_t { Button, RadioButton };
  TKVTaskDlgButtons(TKVTaskDialog* ADialog, TItemKind AKind) : FDialog(ADialog), FKind(AKind) {}
  TKVTaskDialog* Dialog() const { return FDialog; }
  TItemKind Kind() const { return FKind; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError outside 0 .. Count - 1.
  TKVTaskDlgBaseButton* GetButton(int Index) const;
  TKVTaskDlgBaseButton* Buttons(int Index) const { return GetButton(Index); }
  TKVTaskDlgBaseButton* Add();
  void Delete(int Index);
  void Clear();
  // Replaces the items with copies of the other collection's.
  void Assign(const TKVTaskDlgButtons& Source);
  // The engine's entries: identifier and caption of every item, in order.
  std::unique_ptr<TaskDialogButtonEntry[]> BuildArray() const;

 private:
  TKVTaskDialog* FDialog;
  TItemKind FKind;
  std::vector<std::unique_ptr<TKVTaskDlgBaseButton>> FItems;
  int FNextNumber = 0;
};

class TKVTaskDialog : public TComponent {
 public:
  explicit TKVTaskDialog(TComponent* AOwner);
  ~TKVTaskDialog() override;

  // --- Published properties ---
  const String& Title() const { return FTitle; }
  void SetTitle(const String& v);
  const String& MainInstruction() const { return FMainInstruction; }
  void SetMainInstruction(const String& v);
  const String& VerificationText() const { return FVerificationText; }
  void SetVerificationText(const String& v);
  const String& ExpandedInformation() const { return FExpandedInformation; }
  void SetExpandedInformation(const String& v);
  const String& ExpandedControlText() const { return FExpandedControlText; }
  void SetExpandedControlText(const String& v);
  const String& CollapsedControlText() const { return FCollapsedControlText; }
  void SetCollapsedControlText(const String& v);
  const String& FooterText() const { return FFooterText; }
  void SetFooterText(const String& v);
  const String& Content() const { return FContent; }
  void SetContent(const String& v);
  TTaskDlgIcon MainIcon() const { return FMainIcon; }
  void SetMainIcon(TTaskDlgIcon v);
  const TIcon& CustomMainIcon() const { return FCustomMainIcon; }
  void SetCustomMainIcon(const TIcon& v);
  TTaskDlgIcon FooterIcon() const { return FFooterIcon; }
  void SetFooterIcon(TTaskDlgIcon v);
  const TIcon& CustomFooterIcon() const { return FCustomFooterIcon; }
  void SetCustomFooterIcon(const TIcon& v);
  TTaskDialogFlags Flags() const { return FFlags; }
  void SetFlags(TTaskDialogFlags v);
  TKVTaskProgressBar& ProgressBar() { return *FProgressBar; }
  void SetProgressBar(const TKVTaskProgressBar& v) { FProgressBar->Assign(v); }
  TKVTaskDlgButtons& RadioButtons() { return *FRadioButtons; }
  void SetRadioButtons(const TKVTaskDlgButtons& v) { FRadioButtons->Assign(v); }
  TKVTaskDlgButtons& Buttons() { return *FButtons; }
  void SetButtons(const TKVTaskDlgButtons& v) { FButtons->Assign(v); }
  TTaskDialogCommonButtons CommonButtons() const { return FCommonButtons; }
  void SetCommonButtons(TTaskDialogCommonButtons v);
  int Width() const { return static_cast<int>(FConfig.cxWidth); }
  void SetWidth(int v) { FConfig.cxWidth = static_cast<std::uint32_t>(v); }

  TNotifyHandler OnCreated, OnHelp, OnNavigated, OnDestroyed, OnDialogConstructed;
  TOnTaskDialogHyperlink OnHyperlink;
  TOnTaskDialogTimer OnTimer;
  TOnTaskDialogChecked OnVerificationClicked, OnExpandoButtonClicked;
  TOnTaskDialogCommonButtonClick OnCommonButtonClick;

  // --- Public ---
  HWND Handle() const { return FHandle; }
  void SetHandle(HWND v) { FHandle = v; }
  bool HandleAllocated() const { return FHandle != 0; }
  int ResultButtonId() const { return FResultButtonId; }
  int ResultRadioButtonId() const { return FResultRadioButtonId; }
  bool ResultVerificationState() const { return FResultVerificationState; }
  // The configuration as it stands (for the engine and for inspection).
  const TaskDialogConfig& Config() const { return FConfig; }
  TaskDialogConfig& MutableConfig() { return FConfig; }

  // --- Virtual operations, in slot order ---
  virtual bool DoButtonClicked(int AButtonId);
  virtual void DoCreated();
  virtual void DoRadioButtonClicked(int AButtonId);
  virtual void DoHyperlinkClicked(const String& AHref);
  virtual void DoNavigated();
  virtual void DoTimer(std::uint32_t ATickCount);
  virtual void DoDestroyed();
  virtual void DoDialogConstructed();
  virtual void DoVerificationClicked(bool AState);
  virtual void DoHelp();
  virtual void DoExpandoButtonClicked(bool AState);
  virtual void DoCommonButtonClick(TTaskDialogCommonButton AButtonId, bool& ANoCloseDialog);

  // From another task dialog, in the order of its properties; events are
  // not copied. Any other source raises EConvertError.
  void Assign(TObject* Source);
  // Shows the dialog modally over the window. True when it was shown and
  // closed with another button than Cancel.
  bool Execute(HWND ParentHandle);
  // Over the owner's window when the owner is a form.
  bool Execute();
  // Brings the open dialog up to date: progress bar, buttons, radio buttons.
  void InitTaskDialog();
  // Sends a task dialog message to the open dialog; nothing while Handle is 0.
  std::intptr_t SendToDialog(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);

  // The engine's callback: notifications to the virtual operations.
  static HRESULT32 KV_CALLBACK NotificationDispatcher(std::uintptr_t hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                                      std::intptr_t lParam, std::intptr_t lpRefData);

 private:
  // Stores a text and points the configuration at it; once set, a text stays
  // present, also when empty.
  bool SetText(String& field, const String& v, const char16_t*& configText);

  HWND FHandle = 0;
  TaskDialogConfig FConfig{};
  String FTitle, FMainInstruction, FVerificationText, FExpandedInformation, FExpandedControlText,
      FCollapsedControlText, FFooterText, FContent;
  TTaskDlgIcon FMainIcon = tdiBlank, FFooterIcon = tdiBlank;
  TIcon FCustomMainIcon, FCustomFooterIcon;
  TTaskDialogFlags FFlags;
  TTaskDialogCommonButtons FCommonButtons;
  std::unique_ptr<TKVTaskProgressBar> FProgressBar;
  std::unique_ptr<TKVTaskDlgButtons> FRadioButtons, FButtons;
  std::unique_ptr<TaskDialogButtonEntry[]> FButtonArray, FRadioArray;
  int FResultButtonId = 0, FResultRadioButtonId = 0;
  bool FResultVerificationState = false;
};

// The common button a button identifier stands for (OK 1, Cancel 2, Close 3,
// Retry 4, Yes 6, No 7); false for any other identifier.
bool CommonButtonOfId(int Id, TTaskDialogCommonButton& Button);

}  // namespace kv
