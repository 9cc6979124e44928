#include "ui/KVTaskDlg.h"

#include "toolkit/Controls.h"

namespace kv {

namespace {

constexpr std::uintptr_t Bool(bool v) { return v ? 1 : 0; }
std::uintptr_t Id(int id) { return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(id)); }

}  // namespace

bool CommonButtonOfId(int Id, TTaskDialogCommonButton& Button) {
  switch (Id) {
    case kIdOk: Button = tdcbOk; return true;
    case kIdCancel: Button = tdcbCancel; return true;
    case kIdClose: Button = tdcbClose; return true;
    case kIdRetry: Button = tdcbRetry; return true;
    case kIdYes: Button = tdcbYes; return true;
    case kIdNo: Button = tdcbNo; return true;
    default: return false;
  }
}

// --- Progress bar ------------------------------------------------------------------------

void TKVTaskProgressBar::SendRange() {
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_RANGE, 0,
                       static_cast<std::intptr_t>((static_cast<std::uint32_t>(FMax) & 0xFFFF) << 16 |
                                                  (static_cast<std::uint32_t>(FMin) & 0xFFFF)));
}

void TKVTaskProgressBar::SendMarquee() {
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_MARQUEE, Bool(FMarquee), FMarqueSpeed);
}

void TKVTaskProgressBar::SetMin(int v) {
  if (v == FMin) return;
  FMin = v;
  SendRange();
}

void TKVTaskProgressBar::SetMax(int v) {
  if (v == FMax) return;
  FMax = v;
  SendRange();
}

void TKVTaskProgressBar::SetPosition(int v) {
  if (v == FPosition) return;
  FPosition = v;
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_POS, Id(v), 0);
}

void TKVTaskProgressBar::SetState(TTaskDlgProgressState v) {
  if (v == FState) return;
  FState = v;
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_STATE, static_cast<std::uintptr_t>(v) + 1, 0);
}

void TKVTaskProgressBar::SetMarquee(bool v) {
  if (v == FMarquee) return;
  FMarquee = v;
  SendMarquee();
}

void TKVTaskProgressBar::SetMarqueSpeed(int v) {
  if (v == FMarqueSpeed) return;
  FMarqueSpeed = v;
  SendMarquee();
}

void TKVTaskProgressBar::ApplyToDialog() {
  SendMarquee();
  SendRange();
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_POS, Id(FPosition), 0);
  FOwner->SendToDialog(TDM_SET_PROGRESS_BAR_STATE, static_cast<std::uintptr_t>(FState) + 1, 0);
}

void TKVTaskProgressBar::Assign(const TKVTaskProgressBar& Source) {
  SetMin(Source.Min());
  SetMax(Source.Max());
  SetPosition(Source.Position());
  SetState(Source.State());
  SetMarquee(Source.Marquee());
  SetMarqueSpeed(Source.MarqueSpeed());
}

// --- Buttons -----------------------------------------------------------------------------

TKVTaskDialog* TKVTaskDlgBaseButton::Dialog() const { return FCollection->Dialog(); }

TKVTaskDlgButton::TKVTaskDlgButton(TKVTaskDlgButtons* ACollection) : TKVTaskDlgBaseButton(ACollection) {}

bool TKVTaskDlgButton::GetIsDefault() const { return Dialog()->Config().nDefaultButton == FButtonId; }

void TKVTaskDlgButton::SetIsDefault(bool v) {
  std::int32_t& def = Dialog()->MutableConfig().nDefaultButton;
  if (v)
    def = FButtonId;
  else if (def == FButtonId)
    def = 0;
}

void TKVTaskDlgButton::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Dialog()->SendToDialog(TDM_ENABLE_BUTTON, Id(FButtonId), Bool(v));
}

void TKVTaskDlgButton::SetIsElevationButton(bool v) {
  if (v == FIsElevationButton) return;
  FIsElevationButton = v;
  Dialog()->SendToDialog(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, Id(FButtonId), Bool(v));
}

void TKVTaskDlgButton::ApplyToDialog() {
  Dialog()->SendToDialog(TDM_ENABLE_BUTTON, Id(FButtonId), Bool(FEnabled));
  Dialog()->SendToDialog(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, Id(FButtonId), Bool(FIsElevationButton));
}

void TKVTaskDlgButton::Click() { Dialog()->SendToDialog(TDM_CLICK_BUTTON, Id(FButtonId), 0); }

void TKVTaskDlgButton::DoClick(TObject* Sender, bool& ANoCloseDialog) {
  // A copy: the handler may delete this item.
  if (TOnTaskDialogButtonClick handler = OnClick) handler(Sender, ANoCloseDialog);
}

void TKVTaskDlgButton::Assign(const TKVTaskDlgBaseButton& Source) {
  SetCaption(Source.Caption());
  SetEnabled(Source.Enabled());
  SetButtonId(Source.ButtonId());
  SetIsDefault(Source.IsDefault());
  if (auto* b = dynamic_cast<const TKVTaskDlgButton*>(&Source)) {
    SetIsElevationButton(b->IsElevationButton());
    OnClick = b->OnClick;
  }
}

TKVTaskDlgRadioButton::TKVTaskDlgRadioButton(TKVTaskDlgButtons* ACollection) : TKVTaskDlgBaseButton(ACollection) {}

bool TKVTaskDlgRadioButton::GetIsDefault() const { return Dialog()->Config().nDefaultRadioButton == FButtonId; }

void TKVTaskDlgRadioButton::SetIsDefault(bool v) {
  std::int32_t& def = Dialog()->MutableConfig().nDefaultRadioButton;
  if (v)
    def = FButtonId;
  else if (def == FButtonId)
    def = 0;
}

void TKVTaskDlgRadioButton::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Dialog()->SendToDialog(TDM_ENABLE_RADIO_BUTTON, Id(FButtonId), Bool(v));
}

void TKVTaskDlgRadioButton::ApplyToDialog() {
  Dialog()->SendToDialog(TDM_ENABLE_RADIO_BUTTON, Id(FButtonId), Bool(FEnabled));
}

void TKVTaskDlgRadioButton::Click() { Dialog()->SendToDialog(TDM_CLICK_RADIO_BUTTON, Id(FButtonId), 0); }

void TKVTaskDlgRadioButton::DoClick(TObject* Sender) {
  if (TNotifyHandler handler = OnClick) handler(Sender);
}

void TKVTaskDlgRadioButton::Assign(const TKVTaskDlgBaseButton& Source) {
  SetCaption(Source.Caption());
  SetEnabled(Source.Enabled());
  SetButtonId(Source.ButtonId());
  SetIsDefault(Source.IsDefault());
  if (auto* r = dynamic_cast<const TKVTaskDlgRadioButton*>(&Source)) OnClick = r->OnClick;
}

TKVTaskDlgBaseButton* TKVTaskDlgButtons::GetButton(int Index) const {
  CheckListIndex(Index, Count());
  return FItems[static_cast<std::size_t>(Index)].get();
}

TKVTaskDlgBaseButton* TKVTaskDlgButtons::Add() {
  std::unique_ptr<TKVTaskDlgBaseButton> item;
  const int number = FNextNumber++;
  if (FKind == TItemKind::Button) {
    item = std::make_unique<TKVTaskDlgButton>(this);
    item->SetButtonId(200 + number);
  } else {
    item = std::make_unique<TKVTaskDlgRadioButton>(this);
    item->SetButtonId(300 + number);
  }
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

void TKVTaskDlgButtons::Delete(int Index) {
  CheckListIndex(Index, Count());
  FItems.erase(FItems.begin() + Index);
}

void TKVTaskDlgButtons::Clear() { FItems.clear(); }

void TKVTaskDlgButtons::Assign(const TKVTaskDlgButtons& Source) {
  if (&Source == this) return;
  Clear();
  for (int i = 0; i < Source.Count(); ++i) Add()->Assign(*Source.GetButton(i));
}

std::unique_ptr<TaskDialogButtonEntry[]> TKVTaskDlgButtons::BuildArray() const {
  auto array = std::make_unique<TaskDialogButtonEntry[]>(FItems.size());
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    array[i].nButtonID = FItems[i]->ButtonId();
    array[i].pszButtonText = FItems[i]->Caption().c_str();
  }
  return array;
}

// --- The component --------------------------------------------------------------------------

TKVTaskDialog::TKVTaskDialog(TComponent* AOwner) : TComponent(AOwner) {
  FConfig.pfCallback = &NotificationDispatcher;
  FConfig.lpCallbackData = reinterpret_cast<std::intptr_t>(this);
  SetCommonButtons({tdcbOk});
  SetFlags({tdfEnableHyperlinks, tdfExpandFooterArea, tdfNoDefaultRadioButton});
  FProgressBar = std::make_unique<TKVTaskProgressBar>(this);
  FRadioButtons = std::make_unique<TKVTaskDlgButtons>(this, TKVTaskDlgButtons::TItemKind::RadioButton);
  FButtons = std::make_unique<TKVTaskDlgButtons>(this, TKVTaskDlgButtons::TItemKind::Button);
}

TKVTaskDialog::~TKVTaskDialog() {
  FButtonArray.reset();
  FRadioArray.reset();
  FButtons.reset();
  FRadioButtons.reset();
  FProgressBar.reset();
}

std::intptr_t TKVTaskDialog::SendToDialog(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  if (FHandle == 0) return 0;
  return WindowSystem().SendMessage(FHandle, TMessage{Msg, WParam, LParam, 0});
}

bool TKVTaskDialog::SetText(String& field, const String& v, const char16_t*& configText) {
  if (v == field) return false;
  field = v;
  configText = field.c_str();
  return true;
}

void TKVTaskDialog::SetTitle(const String& v) { SetText(FTitle, v, FConfig.pszWindowTitle); }

void TKVTaskDialog::SetMainInstruction(const String& v) {
  if (SetText(FMainInstruction, v, FConfig.pszMainInstruction))
    SendToDialog(TDM_SET_ELEMENT_TEXT, TDE_MAIN_INSTRUCTION, reinterpret_cast<std::intptr_t>(FMainInstruction.c_str()));
}

void TKVTaskDialog::SetVerificationText(const String& v) {
  SetText(FVerificationText, v, FConfig.pszVerificationText);
}

void TKVTaskDialog::SetExpandedInformation(const String& v) {
  if (SetText(FExpandedInformation, v, FConfig.pszExpandedInformation))
    SendToDialog(TDM_SET_ELEMENT_TEXT, TDE_EXPANDED_INFORMATION,
                 reinterpret_cast<std::intptr_t>(FExpandedInformation.c_str()));
}

void TKVTaskDialog::SetExpandedControlText(const String& v) {
  SetText(FExpandedControlText, v, FConfig.pszExpandedControlText);
}

void TKVTaskDialog::SetCollapsedControlText(const String& v) {
  SetText(FCollapsedControlText, v, FConfig.pszCollapsedControlText);
}

void TKVTaskDialog::SetFooterText(const String& v) {
  if (SetText(FFooterText, v, FConfig.pszFooter))
    SendToDialog(TDM_SET_ELEMENT_TEXT, TDE_FOOTER, reinterpret_cast<std::intptr_t>(FFooterText.c_str()));
}

void TKVTaskDialog::SetContent(const String& v) {
  if (SetText(FContent, v, FConfig.pszContent))
    SendToDialog(TDM_SET_ELEMENT_TEXT, TDE_CONTENT, reinterpret_cast<std::intptr_t>(FContent.c_str()));
}

void TKVTaskDialog::SetMainIcon(TTaskDlgIcon v) {
  if (v == FMainIcon || FFlags.Contains(tdfUseHiconMain)) return;
  FMainIcon = v;
  FConfig.hMainIcon = kTaskIconBlank + v;
  SendToDialog(TDM_UPDATE_ICON, TDIE_ICON_MAIN, static_cast<std::intptr_t>(FConfig.hMainIcon));
}

void TKVTaskDialog::SetCustomMainIcon(const TIcon& v) {
  FCustomMainIcon.Assign(v);
  if (!FFlags.Contains(tdfUseHiconMain)) return;
  FConfig.hMainIcon = v.Handle();
  SendToDialog(TDM_UPDATE_ICON, TDIE_ICON_MAIN, static_cast<std::intptr_t>(FConfig.hMainIcon));
}

void TKVTaskDialog::SetFooterIcon(TTaskDlgIcon v) {
  if (v == FFooterIcon || FFlags.Contains(tdfUseHiconFooter)) return;
  FFooterIcon = v;
  FConfig.hFooterIcon = kTaskIconBlank + v;
  SendToDialog(TDM_UPDATE_ICON, TDIE_ICON_FOOTER, static_cast<std::intptr_t>(FConfig.hFooterIcon));
}

void TKVTaskDialog::SetCustomFooterIcon(const TIcon& v) {
  FCustomFooterIcon.Assign(v);
  if (!FFlags.Contains(tdfUseHiconFooter)) return;
  FConfig.hFooterIcon = v.Handle();
  SendToDialog(TDM_UPDATE_ICON, TDIE_ICON_FOOTER, static_cast<std::intptr_t>(FConfig.hFooterIcon));
}

void TKVTaskDialog::SetFlags(TTaskDialogFlags v) {
  FFlags = v;
  FConfig.dwFlags = v.Bits() & 0xFFFF;
}

void TKVTaskDialog::SetCommonButtons(TTaskDialogCommonButtons v) {
  if (v == FCommonButtons) return;
  FCommonButtons = v;
  FConfig.dwCommonButtons = v.Bits() & 0x3F;
}

void TKVTaskDialog::Assign(TObject* Source) {
  auto* s = dynamic_cast<TKVTaskDialog*>(Source);
  if (!s)
    throw EConvertError(u"Cannot assign " + String(Source ? u"this object" : u"nil") + u" to a TKVTaskDialog");
  if (s == this) return;
  SetMainInstruction(s->MainInstruction());
  SetContent(s->Content());
  SetProgressBar(s->ProgressBar());
  SetRadioButtons(s->RadioButtons());
  SetButtons(s->Buttons());
  SetVerificationText(s->VerificationText());
  SetCollapsedControlText(s->CollapsedControlText());
  SetExpandedControlText(s->ExpandedControlText());
  SetFlags(s->Flags());
  SetCommonButtons(s->CommonButtons());
  SetTitle(s->Title());
  SetExpandedInformation(s->ExpandedInformation());
  SetFooterText(s->FooterText());
  SetMainIcon(s->MainIcon());
  SetCustomMainIcon(s->CustomMainIcon());
  SetFooterIcon(s->FooterIcon());
  SetCustomFooterIcon(s->CustomFooterIcon());
  SetWidth(s->Width());
}

bool TKVTaskDialog::Execute() {
  HWND parent = 0;
  if (auto* control = dynamic_cast<TControl*>(Owner()))
    if (TCustomForm* form = control->Form()) parent = form->Handle();
  return Execute(parent);
}

bool TKVTaskDialog::Execute(HWND ParentHandle) {
  FConfig.cbSize = kTaskDialogConfigSize;
  FConfig.hwndParent = ParentHandle;
  FConfig.hInstance = 0;
  // The arrays of the previous Execute go once this one is over.
  std::unique_ptr<TaskDialogButtonEntry[]> oldButtons = std::move(FButtonArray);
  std::unique_ptr<TaskDialogButtonEntry[]> oldRadios = std::move(FRadioArray);
  try {
    FButtonArray = FButtons->BuildArray();
    FConfig.pButtons = FButtonArray.get();
    FConfig.cButtons = static_cast<std::uint32_t>(FButtons->Count());
  } catch (...) {
    FButtonArray.reset();
    FConfig.pButtons = nullptr;
    FConfig.cButtons = 0;
  }
  try {
    FRadioArray = FRadioButtons->BuildArray();
    FConfig.pRadioButtons = FRadioArray.get();
    FConfig.cRadioButtons = static_cast<std::uint32_t>(FRadioButtons->Count());
  } catch (...) {
    FRadioArray.reset();
    FConfig.pRadioButtons = nullptr;
    FConfig.cRadioButtons = 0;
  }
  FConfig.dwFlags = FFlags.Bits() & 0xFFFF;
  std::int32_t verification = FResultVerificationState ? 1 : 0;
  HRESULT32 hr;
  try {
    hr = EmulatedTaskDialogIndirect(&FConfig, &FResultButtonId, &FResultRadioButtonId, &verification);
  } catch (...) {
    // The window is gone: nothing may be sent to it any more.
    FHandle = 0;
    throw;
  }
  FHandle = 0;
  FResultVerificationState = verification != 0;
  return hr == kS_OK && FResultButtonId != kIdCancel;
}

void TKVTaskDialog::InitTaskDialog() {
  if (FFlags.Contains(tdfShowProgressBar) || FFlags.Contains(tdfShowMarqueeProgressBar)) FProgressBar->ApplyToDialog();
  for (int i = 0; i < FButtons->Count(); ++i) FButtons->GetButton(i)->ApplyToDialog();
  for (int i = 0; i < FRadioButtons->Count(); ++i) FRadioButtons->GetButton(i)->ApplyToDialog();
}

HRESULT32 KV_CALLBACK TKVTaskDialog::NotificationDispatcher(std::uintptr_t hwnd, std::uint32_t msg,
                                                            std::uintptr_t wParam, std::intptr_t lParam,
                                                            std::intptr_t lpRefData) {
  auto* d = reinterpret_cast<TKVTaskDialog*>(lpRefData);
  if (!d) return kE_FAIL;
  d->FHandle = hwnd;
  const int id = static_cast<int>(static_cast<std::intptr_t>(wParam));
  switch (msg) {
    case TDN_CREATED: d->DoCreated(); break;
    case TDN_NAVIGATED: d->DoNavigated(); break;
    case TDN_BUTTON_CLICKED: return d->DoButtonClicked(id) ? 1 : 0;
    case TDN_HYPERLINK_CLICKED:
      d->DoHyperlinkClicked(lParam ? String(reinterpret_cast<const char16_t*>(lParam)) : String());
      break;
    case TDN_TIMER: d->DoTimer(static_cast<std::uint32_t>(wParam)); break;
    case TDN_DESTROYED: d->DoDestroyed(); break;
    case TDN_RADIO_BUTTON_CLICKED: d->DoRadioButtonClicked(id); break;
    case TDN_DIALOG_CONSTRUCTED: d->DoDialogConstructed(); break;
    case TDN_VERIFICATION_CLICKED: d->DoVerificationClicked(wParam == 1); break;
    case TDN_HELP: d->DoHelp(); break;
    case TDN_EXPANDO_BUTTON_CLICKED: d->DoExpandoButtonClicked((wParam & 0xFF) != 0); break;
    default: break;
  }
  return 0;
}

bool TKVTaskDialog::DoButtonClicked(int AButtonId) {
  bool keepOpen = false;
  TTaskDialogCommonButton common;
  if (CommonButtonOfId(AButtonId, common) && FCommonButtons.Contains(common)) {
    DoCommonButtonClick(common, keepOpen);
    return keepOpen;
  }
  for (int i = 0; i < FButtons->Count(); ++i) {
    auto* b = static_cast<TKVTaskDlgButton*>(FButtons->GetButton(i));
    if (b->ButtonId() == AButtonId) {
      b->DoClick(this, keepOpen);
      break;
    }
  }
  return keepOpen;
}

void TKVTaskDialog::DoCreated() {
  InitTaskDialog();
  if (OnCreated) OnCreated(this);
}

void TKVTaskDialog::DoRadioButtonClicked(int AButtonId) {
  // Counted again on every turn: a handler may change the collection.
  for (int i = 0; i < FRadioButtons->Count(); ++i) {
    auto* r = static_cast<TKVTaskDlgRadioButton*>(FRadioButtons->GetButton(i));
    if (r->ButtonId() == AButtonId) r->DoClick(this);
  }
}

void TKVTaskDialog::DoHyperlinkClicked(const String& AHref) {
  if (OnHyperlink) OnHyperlink(this, AHref);
}
void TKVTaskDialog::DoNavigated() {
  if (OnNavigated) OnNavigated(this);
}
void TKVTaskDialog::DoTimer(std::uint32_t ATickCount) {
  if (OnTimer) OnTimer(this, ATickCount);
}
void TKVTaskDialog::DoDestroyed() {
  if (OnDestroyed) OnDestroyed(this);
}
void TKVTaskDialog::DoDialogConstructed() {
  if (OnDialogConstructed) OnDialogConstructed(this);
}
void TKVTaskDialog::DoVerificationClicked(bool AState) {
  if (OnVerificationClicked) OnVerificationClicked(this, AState);
}
void TKVTaskDialog::DoHelp() {
  if (OnHelp) OnHelp(this);
}
void TKVTaskDialog::DoExpandoButtonClicked(bool AState) {
  if (OnExpandoButtonClicked) OnExpandoButtonClicked(this, AState);
}
void TKVTaskDialog::DoCommonButtonClick(TTaskDialogCommonButton AButtonId, bool& ANoCloseDialog) {
  if (OnCommonButtonClick) OnCommonButtonClick(this, AButtonId, ANoCloseDialog);
}

}  // namespace kv
