// The task dialog form: built from a task dialog configuration, laid out,
// shown modally, and answering the task dialog messages and keys.
#include <algorithm>
#include <memory>

#include "localisation/KVTranslate.h"
#include "platform/Console.h"
#include "platform/DynamicLibrary.h"
#include "platform/Process.h"
#include "ui/KVForms.h"
#include "ui/KVResources.h"
#include "ui/KVTaskDialogTemplate.h"

namespace kv {

namespace {

constexpr TColor kPanelColor = 0xF0F0F0;
// More buttons or radio buttons than any dialog can show: the counts are
// taken to be wrong and nothing is read behind the arrays.
constexpr std::uint32_t kMaxButtons = 1024;

// The text behind a configuration pointer; empty for none.
String Text(const char16_t* p) { return p ? String(p) : String(); }

// "<br>" for every CR LF and then every remaining CR; a lone LF stays.
String LineBreaksToHtml(const char16_t* p) {
  String s = Text(p), out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r') {
      out += u"<br>";
      if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

String Translated(const String& text) {
  String r;
  TranslateWithLanguage(text, u"", true, r);
  return r;
}

struct TCommonButton {
  std::uint32_t Bit;
  const char16_t* Caption;
  int Id;
  bool Cancel;
};
// From right to left on the screen.
constexpr TCommonButton kCommonButtons[] = {
    {TDCBF_CLOSE_BUTTON, u"!!Schlie\u00DFen", kIdClose, false},
    {TDCBF_RETRY_BUTTON, u"!!&Wiederholen", kIdRetry, false},
    {TDCBF_CANCEL_BUTTON, u"!!Abbrechen", kIdCancel, true},
    {TDCBF_NO_BUTTON, u"&Nein", kIdNo, false},
    {TDCBF_YES_BUTTON, u"&Ja", kIdYes, false},
    {TDCBF_OK_BUTTON, u"OK", kIdOk, false},
};

void SetButtonModalResult(TControl* c, int v) {
  if (auto* b = dynamic_cast<TThemedButton*>(c))
    b->SetModalResult(v);
  else if (auto* l = dynamic_cast<TCommandLinkButton*>(c))
    l->SetModalResult(v);
}

bool IsPushButton(const TControl* c) { return dynamic_cast<const TThemedButton*>(c) != nullptr; }

// An icon area that shows nothing: every pixel transparent.
TBitmap EmptyIcon(int size) {
  TBitmap b(size, size, 0);
  b.Transparent = true;
  b.TransparentColor = 0;
  return b;
}

}  // namespace

TKVCustomTaskDialog::TKVCustomTaskDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TFormBorderStyle::bsSingle);
  SetBorderIcons({false, false, false, false});
  SetColor(clWindow);
  TFont font;
  font.Name = u"Tahoma";
  font.Size = 8;  // -11 pixels at 96 dots per inch
  font.Color = clWindowText;
  SetFont(font);
  SetKeyPreview(true);
  SetClientWidth(Scaled(444));
  SetClientHeight(Scaled(293));
  OnKeyDown = [this](TObject*, std::uint16_t& Key, TShiftState Shift) { FormKeyDown(Key, Shift); };

  FShieldBmp = LoadBitmapResource(u"BMPSHIELD_BIG");
  FSmallShield = LoadBitmapResource(u"BMPSHIELD_SMALL");

  auto link = [this](TObject* Sender, const String& HRef) { LinkClick(Sender, HRef); };
  FMainInstruction = new THtmlLabel(this);
  FMainInstruction->SetParent(this);
  TFont big = Font();
  big.Name = DefaultFormFontName().empty() ? String(u"Segoe UI") : DefaultFormFontName();
  big.Size = 11;
  big.Color = clHotLight;
  FMainInstruction->SetFont(big);
  FMainInstruction->SetWordWrap(true);
  FMainInstruction->SetEndEllipsis(true);
  FMainInstruction->OnLinkClick = link;

  FContent = new THtmlLabel(this);
  FContent->SetParent(this);
  FContent->SetWordWrap(true);
  FContent->SetEndEllipsis(true);
  FContent->OnLinkClick = link;

  FExpandedMemo = new TThemedMemo(this);
  FExpandedMemo->SetParent(this);
  FExpandedMemo->SetScrollBars(TScrollStyle::ssBoth);
  FExpandedMemo->SetReadOnly(true);
  FExpandedMemo->SetHeight(200);
  FExpandedMemo->SetVisible(false);
  FExpandedMemo->SetTabOrder(200);

  FProgressBar = new TMarqueeProgressBar(this);
  FProgressBar->SetParent(this);
  FProgressBar->SetVisible(false);

  auto panel = [this](int tabOrder) {
    auto* p = new TThemedPanel(this);
    p->SetParent(this);
    p->SetColor(kPanelColor);
    p->SetBorderStyle(TPanelBorder::bsNone);
    p->SetTabOrder(tabOrder);
    return p;
  };
  FButtonPanel = panel(300);
  FButtonPanel->SetEtchedTopLine(true);
  FFooterPanel = panel(400);
  FFooterPanel->SetVisible(false);
  FExpandedInfo = panel(500);
  FExpandedInfo->SetVisible(false);

  FFooterText = new THtmlLabel(this);
  FFooterText->SetParent(FFooterPanel);
  FFooterText->SetWordWrap(true);
  FFooterText->OnLinkClick = link;

  FCallbackTimer = new TTimer(this);
  FCallbackTimer->SetEnabled(false);
  FCallbackTimer->SetInterval(1);
  FCallbackTimer->OnTimer = [this](TObject* Sender) { CallbackTimerTick(Sender); };

  FVerification = new TThemedCheckBox(this);
  FVerification->SetParent(FButtonPanel);
  FVerification->SetBounds(0, 0, 60, FVerification->Height());
  FVerification->SetVisible(false);
  FVerification->SetTabOrder(2000);

  FCollapse = new TCollapseButton(this);
  FCollapse->SetParent(FButtonPanel);
  FCollapse->SetBounds(0, 0, 0, 19);
  FCollapse->SetVisible(false);
  FCollapse->SetTabOrder(1000);
  FCollapse->OnClick = [this](TObject* Sender) { CollapseButtonClick(Sender); };

  FFooterIcon = new TImage(this);
  FFooterIcon->SetParent(FFooterPanel);
  FFooterIcon->SetBounds(0, 0, 16, 16);
  FFooterIcon->SetVisible(false);

  FMainIcon = new TImage(this);
  FMainIcon->SetParent(this);
  FMainIcon->SetAutoSize(true);
  FMainIcon->SetVisible(false);
}

TKVCustomTaskDialog::~TKVCustomTaskDialog() {
  for (TControl* c : FRadioButtons) delete c;
  for (TControl* c : FGarbageList) delete c;
  for (TControl* c : FButtons) delete c;
  for (TControl* c : FCommonButtons) delete c;
  FRadioButtons.clear();
  FGarbageList.clear();
  FButtons.clear();
  FCommonButtons.clear();
}

int TKVCustomTaskDialog::Scaled(int n) const { return MulDiv(n, Screen().PixelsPerInch(), 96); }

bool TKVCustomTaskDialog::UsesCommandLinks() const {
  return (FConfig.dwFlags & (TDF_USE_COMMAND_LINKS | TDF_USE_COMMAND_LINKS_NO_ICON)) != 0;
}
bool TKVCustomTaskDialog::HasCustomButtons() const { return FConfig.cButtons != 0 && FConfig.pButtons != nullptr; }
bool TKVCustomTaskDialog::HasRadioButtons() const {
  return FConfig.cRadioButtons != 0 && FConfig.pRadioButtons != nullptr;
}
bool TKVCustomTaskDialog::Expanded() const { return FCollapse->Checked(); }

HRESULT32 TKVCustomTaskDialog::Notify(std::uint32_t Code, std::uintptr_t WParam, std::intptr_t LParam) {
  if (!HandleAllocated() || !FConfig.pfCallback) return 0;
  // While the callback runs, controls it navigates away are only hidden:
  // the one being clicked may be among them.
  ++FInCallback;
  try {
    const HRESULT32 r = FConfig.pfCallback(Handle(), Code, WParam, LParam, FConfig.lpCallbackData);
    --FInCallback;
    return r;
  } catch (...) {
    --FInCallback;
    throw;
  }
}

void TKVCustomTaskDialog::CheckCounts(const TaskDialogConfig& Config) {
  if (Config.cButtons > kMaxButtons && Config.pButtons)
    throw EInvalidOperation(u"Too many buttons in the task dialog configuration");
  if (Config.cRadioButtons > kMaxButtons && Config.pRadioButtons)
    throw EInvalidOperation(u"Too many radio buttons in the task dialog configuration");
}

void TKVCustomTaskDialog::DiscardControls() {
  if (FInCallback == 0) {
    for (TControl* c : FGarbageList) delete c;
    FGarbageList.clear();
  }
  auto discard = [this](TControl* c) {
    c->SetVisible(false);
    FGarbageList.push_back(c);
  };
  for (TControl* c : FButtons) discard(c);
  for (TControl* c : FRadioButtons) discard(c);
  for (TControl* c : FCommonButtons) discard(c);
  FButtons.clear();
  FRadioButtons.clear();
  FCommonButtons.clear();
}

void TKVCustomTaskDialog::NotifyCreated() { Notify(TDN_CREATED, 0, 0); }
void TKVCustomTaskDialog::NotifyNavigated() { Notify(TDN_NAVIGATED, 0, 0); }
void TKVCustomTaskDialog::NotifyDialogConstructed() { Notify(TDN_DIALOG_CONSTRUCTED, 0, 0); }

void TKVCustomTaskDialog::RadioButtonClick(TObject* Sender) {
  if (auto* c = dynamic_cast<TControl*>(Sender))
    Notify(TDN_RADIO_BUTTON_CLICKED, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(c->Tag())), 0);
}

void TKVCustomTaskDialog::ButtonClick(TObject* Sender) {
  auto* c = dynamic_cast<TControl*>(Sender);
  if (!c) return;
  const int id = c->Tag();
  FResultButton = id;
  bool keepOpen = false;
  if (HandleAllocated() && FConfig.pfCallback)
    keepOpen = (Notify(TDN_BUTTON_CLICKED, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(id)), 0) & 0xFF) != 0;
  if (keepOpen) {
    SetButtonModalResult(c, 0);
  } else {
    SetButtonModalResult(c, id);
    SetModalResult(id);
  }
}

void TKVCustomTaskDialog::StartTimerCount() { FTimerCount = WindowSystem().TickCount(); }

void TKVCustomTaskDialog::CallbackTimerTick(TObject*) {
  // Not while a window over the dialog (a message about a failure of the
  // callback itself, say) has taken the input.
  if (FModal && Application().ActiveForm() != this) return;
  const std::uint32_t now = WindowSystem().TickCount();
  if ((Notify(TDN_TIMER, now - FTimerCount, 0) & 0xFF) != 0) FTimerCount = now;
}

void TKVCustomTaskDialog::LinkClick(TObject*, const String& HRef) {
  Notify(TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<std::intptr_t>(HRef.c_str()));
}

void TKVCustomTaskDialog::CollapseButtonClick(TObject*) {
  const bool shown = Expanded() && FConfig.pszExpandedInformation != nullptr;
  FExpandedInfo->SetVisible((FConfig.dwFlags & TDF_EXPAND_FOOTER_AREA) != 0 && shown);
  FExpandedMemo->SetVisible(shown);
  VerticalLayout();
}

void TKVCustomTaskDialog::CreateRadioButtons() {
  for (TControl* c : FRadioButtons) delete c;
  FRadioButtons.clear();
  const bool noDefault = (FConfig.dwFlags & TDF_NO_DEFAULT_RADIO_BUTTON) != 0;
  for (std::uint32_t i = 0; i < FConfig.cRadioButtons; ++i) {
    const TaskDialogButtonEntry& e = FConfig.pRadioButtons[i];
    auto* r = new TThemedRadioButton(this);
    r->SetParent(this);
    r->SetCaption(Text(e.pszButtonText));
    r->SetTag(e.nButtonID);
    r->SetTabOrder(100 + static_cast<int>(i));
    r->OnClick = [this](TObject* Sender) { RadioButtonClick(Sender); };
    FRadioButtons.push_back(r);
    if (!noDefault && e.nButtonID == FConfig.nDefaultRadioButton) r->SetChecked(true);
  }
  if (!noDefault && std::none_of(FRadioButtons.begin(), FRadioButtons.end(), [](auto* r) { return r->Checked(); }))
    FRadioButtons.front()->SetChecked(true);
}

int TKVCustomTaskDialog::CheckedRadioButton() const {
  for (TThemedRadioButton* r : FRadioButtons)
    if (r->Checked()) return r->Tag();
  return 0;
}

bool TKVCustomTaskDialog::VerificationChecked() const { return FVerification->Checked(); }

void TKVCustomTaskDialog::SetupProgressBar() {
  if ((FConfig.dwFlags & (TDF_SHOW_PROGRESS_BAR | TDF_SHOW_MARQUEE_PROGRESS_BAR)) != 0) {
    FProgressBar->SetMarquee(false);
    FProgressBar->UpdateProgressBar();
    FProgressBar->SetVisible(true);
    if ((FConfig.dwFlags & TDF_SHOW_MARQUEE_PROGRESS_BAR) != 0) FProgressBar->SetMarquee(true);
  } else {
    FProgressBar->SetVisible(false);
  }
}

void TKVCustomTaskDialog::SetupContent() { FContent->SetCaption(LineBreaksToHtml(FConfig.pszContent)); }

void TKVCustomTaskDialog::SetupMainInstruction() {
  FMainInstruction->SetCaption(LineBreaksToHtml(FConfig.pszMainInstruction));
  const int width = ClientWidth();
  // As wide as the instruction needs on its lines, up to the screen's width.
  SetClientWidth(Screen().Width() - 100);
  HorizontalLayout();
  SetClientWidth(std::max(width, FMainInstruction->Right() + FHorzPadding));
  HorizontalLayout();
}

bool TKVCustomTaskDialog::IconPicture(std::uintptr_t Value, bool IsHandle, bool Main, TBitmap& Picture) {
  int size = Main ? 32 : 16;
  const int ppi = Screen().PixelsPerInch();
  if (platform::WindowsVersionAtLeast(6, 1) && ppi > 120) size = MulDiv(size, ppi, 96);
  Picture = TBitmap();
  if (IsHandle) {
    if (Value == 0) return false;
    Picture = WindowSystem().IconFromHandle(Value, size);
    if (Picture.Empty()) Picture = EmptyIcon(size);
    return true;
  }
  switch (Value) {
    case 0:
    case kTaskIconBlank:
    case kTaskIconBlankAgain: return false;
    case kTaskIconWarning: Picture = WindowSystem().StockIcon(TStockIcon::Warning, size); break;
    case kTaskIconQuestion: Picture = WindowSystem().StockIcon(TStockIcon::Question, size); break;
    case kTaskIconError: Picture = WindowSystem().StockIcon(TStockIcon::Error, size); break;
    case kTaskIconInformation: Picture = WindowSystem().StockIcon(TStockIcon::Information, size); break;
    case kTaskIconShield: {
      const TBitmap& shield = Main ? FShieldBmp : FSmallShield;
      Picture = shield.Width() == size ? shield : shield.Scaled(size, size);
      Picture.Transparent = true;
      break;
    }
    default: Picture = EmptyIcon(size); break;
  }
  return true;
}

void TKVCustomTaskDialog::SetupIcon(TImage* Image, std::uintptr_t Value, bool IsHandle, bool Main) {
  TBitmap picture;
  const bool shown = IconPicture(Value, IsHandle, Main, picture);
  Image->SetPicture(picture);
  if (!picture.Empty()) Image->SetBounds(Image->Left(), Image->Top(), picture.Width(), picture.Height());
  Image->SetVisible(shown);
}

void TKVCustomTaskDialog::ShiftButtons(int SinceWidth) {
  const int d = ClientWidth() - SinceWidth;
  if (d == 0) return;
  for (TControl* c : FCommonButtons) c->SetLeft(c->Left() + d);
  for (TControl* c : FButtons)
    if (IsPushButton(c)) c->SetLeft(c->Left() + d);
}

void TKVCustomTaskDialog::KeepBottomRowApart() {
  int leftmost = ClientWidth();
  bool any = false;
  for (TControl* c : FCommonButtons) leftmost = std::min(leftmost, c->Left()), any = true;
  for (TControl* c : FButtons)
    if (IsPushButton(c)) leftmost = std::min(leftmost, c->Left()), any = true;
  if (!any) return;
  int right = 0;
  if (FVerification->Visible()) right = std::max(right, FVerification->Left() + FVerification->Width() - 100);
  if (FCollapse->Visible()) right = std::max(right, FCollapse->Right());
  const int need = right + FHorzPadding - leftmost;
  if (need <= 0) return;
  // Widening moves the buttons right with the edge (ShiftButtons, later).
  SetClientWidth(ClientWidth() + need);
}

void TKVCustomTaskDialog::HorizontalLayout() {
  if (FMainIcon->Visible()) {
    FMainIcon->SetLeft(FHorzPadding);
    FCalculatedWidth = ClientWidth() - 2 * FHorzPadding - FMainIcon->Width();
    if (FMainIcon->Width() > FLeftMargin) FLeftMargin += FMainIcon->Width();
  } else {
    FCalculatedWidth = ClientWidth() - 2 * FHorzPadding;
    FLeftMargin = FHorzPadding;
  }
  const int x0 = FLeftMargin + FHorzPadding;
  const int w = FCalculatedWidth - FHorzPadding;
  FMainInstruction->SetBounds(x0, FMainInstruction->Top(), w, FMainInstruction->Height());
  FContent->SetBounds(x0, FContent->Top(), w, FContent->Height());
  if ((FConfig.dwFlags & TDF_EXPAND_FOOTER_AREA) == 0)
    FExpandedMemo->SetBounds(x0, FExpandedMemo->Top(), w, FExpandedMemo->Height());
  FProgressBar->SetBounds(x0, FProgressBar->Top(), w, FProgressBar->Height());
  for (TThemedRadioButton* r : FRadioButtons) r->SetLeft(x0 + 8);
  if (UsesCommandLinks()) {
    int needed = 0;
    for (TControl* c : FButtons)
      if (auto* link = dynamic_cast<TKVCommandLinkButton*>(c)) needed = std::max(needed, link->NeededWidth());
    if (ClientWidth() < FLeftMargin + needed + 2 * FHorzPadding) SetClientWidth(FLeftMargin + needed + 2 * FHorzPadding);
    for (TControl* c : FButtons)
      if (!IsPushButton(c)) c->SetBounds(x0, c->Top(), w, c->Height());
  }
  for (TThemedPanel* p : {FButtonPanel, FFooterPanel, FExpandedInfo}) p->SetBounds(0, p->Top(), ClientWidth(), p->Height());
  FFooterIcon->SetLeft(FHorzPadding);
  int textWidth = FFooterPanel->ClientWidth() - 2 * FHorzPadding;
  int textLeft = FHorzPadding;
  if (FFooterIcon->Visible()) {
    textLeft = FFooterIcon->Width() + 2 * FHorzPadding;
    textWidth -= FFooterIcon->Width() + FHorzPadding;
  }
  FFooterText->SetBounds(textLeft, FFooterText->Top(), textWidth, FFooterText->Height());
}

void TKVCustomTaskDialog::VerticalLayout() {
  const int p = FVericalControlPadding, s20 = Scaled(20), s10 = Scaled(10);
  const bool footerArea = (FConfig.dwFlags & TDF_EXPAND_FOOTER_AREA) != 0;
  FMainIcon->SetTop(10);
  FMainInstruction->SetTop(10);
  int y = FMainInstruction->Bottom();
  FContent->SetTop(y + p);
  y = FContent->Bottom();
  const bool hasInfo = FConfig.pszExpandedInformation != nullptr;
  if (!footerArea && hasInfo && (Expanded() || (FConfig.dwFlags & TDF_EXPANDED_BY_DEFAULT) != 0)) {
    FExpandedMemo->SetTop(y + p);
    y = FExpandedMemo->Bottom();
  }
  if ((FConfig.dwFlags & (TDF_SHOW_PROGRESS_BAR | TDF_SHOW_MARQUEE_PROGRESS_BAR)) != 0) {
    FProgressBar->SetTop(y + p);
    y = FProgressBar->Bottom() + p;
  }
  if (HasRadioButtons())
    for (TThemedRadioButton* r : FRadioButtons) {
      r->SetTop(y);
      y = r->Bottom() + 5;
    }
  FButtonPanel->SetHeight(s10 + FCollapse->Height() + s20);
  y += 20;
  const bool links = UsesCommandLinks();
  for (TControl* c : FButtons) {
    if (IsPushButton(c)) {
      c->SetTop(s20 / 2);
    } else {
      c->SetTop(y);
      y = c->Bottom();
    }
  }
  if (links) y += 20;
  for (TControl* c : FCommonButtons) c->SetTop(s20 / 2);
  FButtonPanel->SetTop(y + p);
  const int panelHeight = FButtonPanel->Height();
  const int d = FVerification->Visible() ? FVerification->Height() + 5 : 0;
  FCollapse->SetTop((panelHeight - d - FCollapse->Height()) / 2);
  if (FCollapse->Visible())
    FVerification->SetTop(FCollapse->Bottom() + 5);
  else
    FVerification->SetTop((panelHeight - FVerification->Height()) / 2);
  y = FButtonPanel->Bottom();
  if (FConfig.pszFooter) {
    FFooterPanel->SetBounds(FFooterPanel->Left(), y, FFooterPanel->Width(), FFooterText->Height() + s20);
    y = FFooterPanel->Bottom();
    FFooterText->SetTop((FFooterPanel->Height() - FFooterText->Height()) / 2);
    FFooterIcon->SetTop((FFooterPanel->Height() - FFooterIcon->Height()) / 2);
  }
  if (footerArea && hasInfo && Expanded()) {
    FExpandedInfo->SetBounds(FExpandedInfo->Left(), y, FExpandedInfo->Width(), FExpandedMemo->Height() + s20);
    y = FExpandedInfo->Bottom();
    FExpandedMemo->SetTop((FExpandedInfo->Height() - FExpandedMemo->Height()) / 2);
  }
  SetClientHeight(y);
}

void TKVCustomTaskDialog::SetConfig(const TaskDialogConfig& Config) {
  CheckCounts(Config);
  FConfig = Config;
  if (!FButtons.empty() || !FRadioButtons.empty() || !FCommonButtons.empty()) DiscardControls();
  BuildDialog();
}

void TKVCustomTaskDialog::BuildDialog() {
  CheckCounts(FConfig);
  const std::uint32_t flags = FConfig.dwFlags;
  // The window exists from the start, so that the callback hears about the
  // whole build.
  Handle();
  NotifyDialogConstructed();

  // Window. A dialog without any button gets a system menu, so that it can
  // always be closed.
  const bool anyButton = (FConfig.dwCommonButtons & 0x3F) != 0 || HasCustomButtons();
  FForcedSystemMenu = !anyButton && (flags & TDF_ALLOW_DIALOG_CANCELLATION) == 0;
  TBorderIcons icons{false, false, false, false};
  icons.SystemMenu = (flags & TDF_ALLOW_DIALOG_CANCELLATION) != 0 || FForcedSystemMenu;
  icons.Minimize = (flags & TDF_CAN_BE_MINIMIZED) != 0;
  SetBorderIcons(icons);
  SetPosition((flags & TDF_POSITION_RELATIVE_TO_WINDOW) != 0 && FConfig.hwndParent != 0 ? TPosition::poOwnerFormCenter
                                                                                       : TPosition::poScreenCenter);
  SetCaption(Text(FConfig.pszWindowTitle));
  if (FConfig.cxWidth != 0) SetBounds(Left(), Top(), static_cast<int>(std::min<std::uint32_t>(FConfig.cxWidth, 0x7FFF)), Height());

  int x = ClientWidth();
  const int w0 = ClientWidth();
  auto placeButton = [&](TThemedButton* b, const String& caption) {
    b->SetParent(FButtonPanel);
    b->SetParentThemeMode(false);
    b->SetCaption(caption);
    // 75 wide, or what a longer caption needs.
    const int width = std::max(Scaled(75), MeasuringCanvas(b->Font())->TextWidth(b->PlainCaption()) + Scaled(16));
    b->SetBounds(0, 0, width, Scaled(25));
    b->SetModalResult(0);
    b->OnClick = [this](TObject* Sender) { ButtonClick(Sender); };
    x -= Scaled(5) + b->Width();
    b->SetLeft(x);
  };
  for (const TCommonButton& c : kCommonButtons) {
    if ((FConfig.dwCommonButtons & c.Bit) == 0) continue;
    auto* b = new TThemedButton(this);
    b->SetTag(c.Id);
    b->SetCancel(c.Cancel);
    placeButton(b, Translated(c.Caption));
    FCommonButtons.push_back(b);
  }
  const bool links = UsesCommandLinks();
  if (HasCustomButtons() && !links) {
    for (std::uint32_t i = FConfig.cButtons; i-- > 0;) {
      const TaskDialogButtonEntry& e = FConfig.pButtons[i];
      auto* b = new TThemedButton(this);
      b->SetTag(e.nButtonID);
      b->SetDefault(e.nButtonID == FConfig.nDefaultButton);
      placeButton(b, Text(e.pszButtonText));
      FButtons.push_back(b);
    }
  }
  if (FConfig.pszExpandedInformation && FConfig.pszVerificationText) {
    const int m = std::max(FVerification->Right(), FCollapse->Right());
    if (m > x) SetClientWidth(ClientWidth() + m - x);
  }
  if (x < 0) SetClientWidth(ClientWidth() - x + FHorzPadding);
  ShiftButtons(w0);
  const int w1 = ClientWidth();

  SetupIcon(FMainIcon, FConfig.hMainIcon, (flags & TDF_USE_HICON_MAIN) != 0, true);

  if (HasCustomButtons() && links) {
    for (std::uint32_t i = 0; i < FConfig.cButtons; ++i) {
      const TaskDialogButtonEntry& e = FConfig.pButtons[i];
      auto* l = new TKVCommandLinkButton(this);
      l->SetParent(this);
      l->SetTag(e.nButtonID);
      l->SetTabOrder(10 + static_cast<int>(i));
      const String text = Text(e.pszButtonText);
      const std::size_t lf = text.find(u'\n');
      String caption = text.substr(0, lf);
      // A CR before the line feed belongs to the line end, not the caption.
      if (lf != String::npos && !caption.empty() && caption.back() == u'\r') caption.pop_back();
      l->SetCaption(caption);
      l->SetNote(lf == String::npos ? String() : text.substr(lf + 1));
      l->SetShowIcon((flags & TDF_USE_COMMAND_LINKS_NO_ICON) == 0);
      l->SetModalResult(0);
      l->OnClick = [this](TObject* Sender) { ButtonClick(Sender); };
      FButtons.push_back(l);
      if (e.nButtonID == FConfig.nDefaultButton) l->SetIsDefault(true);
    }
  }

  FCollapse->SetVisible(FConfig.pszExpandedInformation != nullptr);
  FCollapse->SetCollapsedText(Text(FConfig.pszCollapsedControlText));
  FCollapse->SetExpandedText(Text(FConfig.pszExpandedControlText));
  FCollapse->SetChecked((flags & TDF_EXPANDED_BY_DEFAULT) != 0);
  FCollapse->AdjustSize();
  FCollapse->SetLeft(FHorzPadding);

  FVerification->SetVisible(FConfig.pszVerificationText != nullptr);
  FVerification->SetChecked((flags & TDF_VERIFICATION_FLAG_CHECKED) != 0);
  FVerification->SetLeft(FHorzPadding + 2);
  FVerification->SetCaption(Text(FConfig.pszVerificationText));
  FVerification->AdjustSize();
  FVerification->SetWidth(FVerification->Width() + 100);
  KeepBottomRowApart();

  if (HasRadioButtons()) CreateRadioButtons();

  SetupIcon(FFooterIcon, FConfig.hFooterIcon, (flags & TDF_USE_HICON_FOOTER) != 0, false);

  HorizontalLayout();
  SetupMainInstruction();
  SetupContent();
  SetupProgressBar();

  FFooterPanel->SetVisible(FConfig.pszFooter != nullptr);
  FFooterText->SetCaption(LineBreaksToHtml(FConfig.pszFooter));
  FFooterIcon->SetLeft(FHorzPadding);

  FExpandedMemo->SetText(Text(FConfig.pszExpandedInformation));
  const bool expanded = Expanded() && FConfig.pszExpandedInformation != nullptr;
  if ((flags & TDF_EXPAND_FOOTER_AREA) != 0) {
    FExpandedMemo->SetParent(FExpandedInfo);
    FExpandedMemo->SetBounds(FHorzPadding, FExpandedMemo->Top(), FExpandedInfo->ClientWidth() - 2 * FHorzPadding,
                             FExpandedMemo->Height());
  } else {
    FExpandedMemo->SetParent(this);
  }
  FExpandedMemo->SetVisible(expanded);
  FExpandedInfo->SetVisible((flags & TDF_EXPAND_FOOTER_AREA) != 0 && expanded);

  FCallbackTimer->SetEnabled((flags & TDF_CALLBACK_TIMER) != 0);
  VerticalLayout();
  ShiftButtons(w1);
  ChooseInitialFocus();
  NotifyCreated();
}

void TKVCustomTaskDialog::ChooseInitialFocus() {
  // Tab order runs left to right through the push buttons.
  std::vector<TControl*> row;
  for (TControl* c : FButtons)
    if (IsPushButton(c)) row.push_back(c);
  for (TControl* c : FCommonButtons) row.push_back(c);
  std::sort(row.begin(), row.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  for (std::size_t i = 0; i < row.size(); ++i) row[i]->SetTabOrder(static_cast<int>(i));
  // The default button has the focus (a command link made default took it
  // already). Without one, the first command link or the first push button
  // from the left becomes the default, so that Enter reaches a button
  // wherever the focus goes.
  for (TControl* c : FButtons) {
    if (auto* l = dynamic_cast<TCommandLinkButton*>(c); l && l->IsDefault()) return;
    if (auto* b = dynamic_cast<TThemedButton*>(c); b && b->Default()) {
      if (b->CanFocusOnForm()) SetActiveControl(b);
      return;
    }
  }
  for (TControl* c : FButtons)
    if (auto* l = dynamic_cast<TCommandLinkButton*>(c)) {
      l->SetIsDefault(true);
      return;
    }
  if (row.empty()) return;
  auto* first = static_cast<TThemedButton*>(row.front());
  first->SetDefault(true);
  if (first->CanFocusOnForm()) SetActiveControl(first);
}

TControl* TKVCustomTaskDialog::FindButtonById(int Id) {
  TControl* found = nullptr;
  for (TControl* c : FButtons)
    if (c->Tag() == Id) found = c;
  if (found) return found;
  for (TControl* c : FCommonButtons)
    if (c->Tag() == Id) found = c;
  return found;
}

TThemedRadioButton* TKVCustomTaskDialog::FindRadioById(int Id) {
  TThemedRadioButton* found = nullptr;
  for (TThemedRadioButton* r : FRadioButtons)
    if (r->Tag() == Id) found = r;
  return found;
}

String TKVCustomTaskDialog::DialogText() {
  String s = u"[Window Title]\r\n" + Caption() + u"\r\n\r\n[Content]\r\n" + FMainInstruction->PlainText() + u"\r\n\r\n";
  for (TControl* c : FButtons)
    if (IsPushButton(c)) s += u"[" + c->Caption() + u"] ";
  for (TControl* c : FCommonButtons) s += u"[" + c->Caption() + u"] ";
  return s;
}

void TKVCustomTaskDialog::AnswerWithoutWindow() {
  String text = DialogText() + u"\n";
  TControl* answer = ActiveControl() && ActiveControl()->IsButton() ? ActiveControl() : FindButton(true);
  if (answer) text += u"=> " + answer->PlainCaption() + u"\n";
  // For people and scripts reading it: blanks and line ends as usual.
  String plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    plain += text[i] == u'\u00A0' ? u' ' : text[i];
  }
  platform::WriteStandardError(plain);
  if (answer) answer->Click();
}

void TKVCustomTaskDialog::FormKeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (Shift.Ctrl && (Key == u'C' || Key == VK_INSERT)) {
    WindowSystem().SetClipboardText(DialogText());
    return;
  }
  if (Key != VK_ESCAPE || Shift.Alt || Shift.Ctrl) return;
  // A cancel button answers Escape by itself.
  if (FindButton(false)) return;
  if (HasCustomButtons() && !FButtons.empty()) {
    for (int id : {kIdCancel, kIdClose, kIdNo}) {
      if (TControl* c = FindButtonById(id); c && std::find(FButtons.begin(), FButtons.end(), c) != FButtons.end()) {
        c->Click();
        return;
      }
    }
    if (FButtons.size() == 1 && FButtons.front()->Tag() == kIdOk) FButtons.front()->Click();
    return;
  }
  if (FForcedSystemMenu) Close();
}

void TKVCustomTaskDialog::WndProc(TMessage& Message) {
  TForm::WndProc(Message);
  const auto id = static_cast<int>(static_cast<std::intptr_t>(Message.WParam));
  switch (Message.Msg) {
    case TDM_NAVIGATE_PAGE: {
      const auto* next = reinterpret_cast<const TaskDialogConfig*>(Message.LParam);
      if (!next) return;
      CheckCounts(*next);  // a page that cannot be built leaves this one as it is
      FConfig = *next;
      DiscardControls();
      try {
        BuildDialog();
      } catch (...) {
        // Half built: at least the user can close it.
        FForcedSystemMenu = true;
        TBorderIcons icons = BorderIcons();
        icons.SystemMenu = true;
        SetBorderIcons(icons);
        throw;
      }
      NotifyNavigated();
      return;
    }
    case TDM_CLICK_BUTTON:
      if (TControl* c = FindButtonById(id)) c->Click();
      return;
    case TDM_SET_PROGRESS_BAR_RANGE:
      FProgressBar->SetRange(static_cast<int>(Message.LParam & 0xFFFF), static_cast<int>((Message.LParam >> 16) & 0xFFFF));
      return;
    case TDM_SET_PROGRESS_BAR_POS: FProgressBar->SetPosition(id); return;
    case TDM_SET_ELEMENT_TEXT: {
      const String text = Text(reinterpret_cast<const char16_t*>(Message.LParam));
      switch (Message.WParam) {
        case TDE_CONTENT: FContent->SetCaption(text); break;
        case TDE_EXPANDED_INFORMATION: FExpandedMemo->SetText(text); break;
        case TDE_FOOTER: FFooterText->SetCaption(text); break;
        case TDE_MAIN_INSTRUCTION: FMainInstruction->SetCaption(text); break;
        default: return;
      }
      HorizontalLayout();
      VerticalLayout();
      return;
    }
    case TDM_CLICK_RADIO_BUTTON:
      if (TThemedRadioButton* r = FindRadioById(id)) r->Click();
      return;
    case TDM_ENABLE_BUTTON:
      if (TControl* c = FindButtonById(id)) c->SetEnabled((Message.LParam & 0xFF) != 0);
      return;
    case TDM_ENABLE_RADIO_BUTTON:
      if (TThemedRadioButton* r = FindRadioById(id)) r->SetEnabled((Message.LParam & 0xFF) != 0);
      return;
    case TDM_CLICK_VERIFICATION: FVerification->Click(); return;
    case TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE:
      if (!UsesCommandLinks()) return;
      for (auto it = FButtons.rbegin(); it != FButtons.rend(); ++it)
        if (auto* l = dynamic_cast<TCommandLinkButton*>(*it); l && l->Tag() == id) {
          l->SetIsElevationButton(Message.LParam != 0);
          return;
        }
      return;
    case TDM_UPDATE_ICON:
      if (Message.WParam == TDIE_ICON_MAIN) {
        FConfig.hMainIcon = static_cast<std::uintptr_t>(Message.LParam);
        SetupIcon(FMainIcon, FConfig.hMainIcon, (FConfig.dwFlags & TDF_USE_HICON_MAIN) != 0, true);
      } else if (Message.WParam == TDIE_ICON_FOOTER) {
        FConfig.hFooterIcon = static_cast<std::uintptr_t>(Message.LParam);
        SetupIcon(FFooterIcon, FConfig.hFooterIcon, (FConfig.dwFlags & TDF_USE_HICON_FOOTER) != 0, false);
      } else {
        return;
      }
      HorizontalLayout();
      return;
    case TDM_SET_FLAGS: FConfig.dwFlags = static_cast<std::uint32_t>(Message.LParam); return;
    default: return;
  }
}

void TKVCustomTaskDialog::PaintAfterControls(TCanvas& Canvas) {
  Canvas.PenColor = clWindow;
  Canvas.FrameRect(Bounds(0, 0, ClientWidth(), ClientHeight()));
}

// --- Entry points ------------------------------------------------------------------------

HRESULT32 KV_CALLBACK EmulatedTaskDialogIndirect(const TaskDialogConfig* Config, int* Button, int* RadioButton,
                                                 std::int32_t* VerificationFlagChecked) {
  if (!Config) return kE_OUTOFMEMORY;
  // The parent form owns the dialog's window, not the dialog object: a
  // parent freed while the dialog is up ends the dialog instead of freeing it
  // under the running modal loop.
  TCustomForm* owner = Application().FindForm(Config->hwndParent);
  std::unique_ptr<TKVCustomTaskDialog> form(new TKVCustomTaskDialog(nullptr));
  form->SetPopupParent(owner);
  try {
    if (TCustomForm* active = Application().ActiveForm(); active && active->FormStyle() == TFormStyle::fsStayOnTop)
      form->SetFormStyle(TFormStyle::fsStayOnTop);
    form->SetConfig(*Config);
    form->StartTimerCount();
    if (WindowSystem().Interactive())
      form->ShowModal();
    else
      form->AnswerWithoutWindow();
    if (VerificationFlagChecked) *VerificationFlagChecked = form->VerificationChecked() ? 1 : 0;
    if (Button) *Button = form->ResultButton();
    if (RadioButton) *RadioButton = form->CheckedRadioButton();
  } catch (...) {
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}

HRESULT32 KV_CALLBACK EmulatedTaskDialog(std::uintptr_t ParentWindow, std::uintptr_t Instance,
                                         const char16_t* WindowTitle, const char16_t* MainInstruction,
                                         const char16_t* Content, std::uint32_t CommonButtons, std::uintptr_t Icon,
                                         int* Button) {
  TaskDialogConfig config{};
  config.cbSize = kTaskDialogConfigSize;
  config.hwndParent = ParentWindow;
  config.hInstance = Instance;
  config.pszWindowTitle = WindowTitle;
  config.pszMainInstruction = MainInstruction;
  config.pszContent = Content;
  config.dwCommonButtons = CommonButtons;
  config.hMainIcon = Icon;
  int radio = 0;
  std::int32_t verification = 0;
  return EmulatedTaskDialogIndirect(&config, Button, &radio, &verification);
}

TTaskDialogIndirectFunc TaskDialogIndirectEntry = nullptr;
TTaskDialogFunc TaskDialogEntry = nullptr;
bool NativeTaskDialogAvailable = false;
const TTaskDialogIndirectFunc EmulatedTaskDialogIndirectEntry = &EmulatedTaskDialogIndirect;
const TTaskDialogFunc EmulatedTaskDialogEntry = &EmulatedTaskDialog;

namespace {
platform::LibraryHandle gCommonControls = 0;
}

void TaskDialogModule_Initialize() {
  // The platform's functions take its own record, which only the 32-bit
  // program shares; the 64-bit builds behave as without the library.
  if (sizeof(void*) != 4) return;
  gCommonControls = platform::LoadDynamicLibrary(u"comctl32.dll");
  NativeTaskDialogAvailable = false;
  if (!gCommonControls) return;
  NativeTaskDialogAvailable = true;
  if (void* f = platform::LibraryFunction(gCommonControls, "TaskDialogIndirect")) {
    TaskDialogIndirectEntry = reinterpret_cast<TTaskDialogIndirectFunc>(f);
  } else {
    TaskDialogIndirectEntry = &EmulatedTaskDialogIndirect;
    NativeTaskDialogAvailable = false;
  }
  if (void* f = platform::LibraryFunction(gCommonControls, "TaskDialog")) {
    TaskDialogEntry = reinterpret_cast<TTaskDialogFunc>(f);
  } else {
    TaskDialogEntry = &EmulatedTaskDialog;
    NativeTaskDialogAvailable = false;
  }
}

void TaskDialogModule_Finalize() {
  if (!gCommonControls) return;
  TaskDialogIndirectEntry = nullptr;
  TaskDialogEntry = nullptr;
  platform::FreeDynamicLibrary(gCommonControls);
  gCommonControls = 0;
}

}  // namespace kv
