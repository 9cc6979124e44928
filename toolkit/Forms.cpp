// Forms: their windows, stored layouts, focus and tab order, the modal
// loop, and the routing of mouse and keys to their controls.
#include "toolkit/Controls.h"

#include <algorithm>

#include "platform/Locale.h"

namespace kv {

namespace {

// Internal message: free the form (Close with caFree).
constexpr std::uint32_t CM_RELEASE = 0xB000 + 33;

}  // namespace

// --- TCustomForm -----------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FParentFont = false;
  FColor = clBtnFace;
  FClientWidth = 320;
  FClientHeight = 240;
  UpdateOuterSize();
  Application().AddForm(this);
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      Application().HandleException(this, e);
    }
  }
  FActiveControl = nullptr;
  // A dialog over this form loses its owner; its window goes with this one's,
  // so a modal one ends.
  for (TCustomForm* f : Application().Forms())
    if (f->FPopupParent == this) {
      f->FPopupParent = nullptr;
      if (f->FModal && f->FModalResult == mrNone) f->FModalResult = mrCancel;
    }
  while (!FControls.empty()) delete FControls.back();
  DestroyHandle();
  Application().RemoveForm(this);
}

void TCustomForm::AfterConstruction() {
  if (!FOldCreateOrder) DoCreate();
}

void TCustomForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (const std::exception& e) {
    if (!HandleCreateException(e)) throw;
  }
}

bool TCustomForm::HandleCreateException(const std::exception& E) {
  Application().HandleException(this, E);
  return true;
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

namespace {
std::map<String, TReader::TLayout>& Layouts() {
  static std::map<String, TReader::TLayout> layouts;
  return layouts;
}
}  // namespace

void RegisterStoredLayout(StringView ClassName, TReader::TLayout Layout) { Layouts()[platform::LocaleUpperCase(ClassName)] = std::move(Layout); }
void UnregisterStoredLayout(StringView ClassName) { Layouts().erase(platform::LocaleUpperCase(ClassName)); }
const TReader::TLayout* FindStoredLayout(StringView ClassName) {
  auto it = Layouts().find(platform::LocaleUpperCase(ClassName));
  return it == Layouts().end() ? nullptr : &it->second;
}

bool TCustomForm::InitInheritedComponent(StringView ClassName) {
  const TReader::TLayout* layout = FindStoredLayout(ClassName);
  if (!layout) return false;
  TReader reader(ClassName, *layout);
  ReadState(reader);
  return true;
}

void TCustomForm::ReadState(TReader& Reader) {
  Reader.ReadInto(*this);
  FOldCreateOrder = Reader.OldCreateOrder;
}

HWND TCustomForm::OwnerWindow() {
  TCustomForm* owner = OwnerForm();
  return owner ? owner->Handle() : Application().Handle();
}

TSize TCustomForm::UpdateOuterSize() {
  const TSize outer = WindowSystem().FrameSize(WindowParams(), FClientWidth, FClientHeight);
  FWidth = outer.cx;
  FHeight = outer.cy;
  return outer;
}

HWND TCustomForm::Handle() {
  if (!FHandle) {
    TWindowParams p = WindowParams();
    p.Owner = OwnerWindow();
    FHandle = WindowSystem().CreateWindow(this, p);
    PlaceWindow();
    if (!FIcon.Empty()) WindowSystem().SetIcon(FHandle, FIcon);
  }
  return FHandle;
}

void TCustomForm::DestroyHandle() {
  if (FHandle) {
    WindowSystem().DestroyWindow(FHandle);
    FHandle = 0;
  }
}

TCustomForm* TCustomForm::OwnerForm() const {
  if (FPopupParent) return FPopupParent;
  for (TComponent* o = Owner(); o; o = o->Owner())
    if (auto* f = dynamic_cast<TCustomForm*>(o)) return f;
  return nullptr;
}

TWindowParams TCustomForm::WindowParams() {
  TWindowParams p;
  if (FHandle) p.Owner = OwnerWindow();
  p.Caption = FCaption;
  switch (FBorderStyle) {
    case TFormBorderStyle::bsNone: p.Border = TWindowBorder::None; break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow: p.Border = TWindowBorder::Single; break;
    case TFormBorderStyle::bsDialog: p.Border = TWindowBorder::Dialog; break;
    default: p.Border = TWindowBorder::Sizeable; break;
  }
  p.SystemMenu = FBorderIcons.SystemMenu && FBorderStyle != TFormBorderStyle::bsNone;
  p.MinimizeBox = p.SystemMenu && FBorderIcons.Minimize && FBorderStyle != TFormBorderStyle::bsDialog;
  p.HelpButton = p.SystemMenu && FBorderIcons.Help;
  p.StayOnTop = FFormStyle == TFormStyle::fsStayOnTop;
  p.TaskbarButton = OwnerForm() == nullptr;
  return p;
}

void TCustomForm::TextChanged() {
  UpdateWindow();
  TWinControl::TextChanged();
}

void TCustomForm::UpdateWindow() {
  UpdateOuterSize();
  if (FHandle) {
    WindowSystem().SetWindowParams(FHandle, WindowParams());
    WindowSystem().SetClientBounds(FHandle, FLeft, FTop, FClientWidth, FClientHeight);
  }
}

void TCustomForm::PlaceWindow() {
  if (!FHandle) return;
  const TSize outer = UpdateOuterSize();
  TCustomForm* owner = OwnerForm();
  if (FPosition == TPosition::poScreenCenter || (FPosition == TPosition::poOwnerFormCenter && !owner)) {
    const TSize screen = WindowSystem().ScreenSize();
    FLeft = (screen.cx - outer.cx) / 2;
    FTop = (screen.cy - outer.cy) / 2;
  } else if (FPosition == TPosition::poOwnerFormCenter ||
             (FPosition == TPosition::poMainFormCenter && Application().MainForm() &&
              Application().MainForm() != this)) {
    TCustomForm* over = FPosition == TPosition::poOwnerFormCenter ? owner : Application().MainForm();
    FLeft = over->Left() + (over->Width() - outer.cx) / 2;
    FTop = over->Top() + (over->Height() - outer.cy) / 2;
  }
  WindowSystem().SetClientBounds(FHandle, FLeft, FTop, FClientWidth, FClientHeight);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  FBorderStyle = v;
  UpdateWindow();
}
void TCustomForm::SetBorderIcons(const TBorderIcons& v) {
  FBorderIcons = v;
  UpdateWindow();
}
void TCustomForm::SetFormStyle(TFormStyle v) {
  FFormStyle = v;
  UpdateWindow();
}
void TCustomForm::SetClientWidth(int v) {
  FClientWidth = std::max(0, v);
  UpdateWindow();
  Invalidate();
}
void TCustomForm::SetClientHeight(int v) {
  FClientHeight = std::max(0, v);
  UpdateWindow();
  Invalidate();
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TSize frame = WindowSystem().FrameSize(WindowParams(), 0, 0);
  FLeft = ALeft;
  FTop = ATop;
  FClientWidth = std::max(0, AWidth - frame.cx);
  FClientHeight = std::max(0, AHeight - frame.cy);
  UpdateWindow();
}

void TCustomForm::SetIcon(const TBitmap& icon) {
  FIcon = icon;
  if (FHandle) WindowSystem().SetIcon(FHandle, FIcon);
}

void TCustomForm::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  TWindowSystem& ws = WindowSystem();
  if (v) {
    DoShow();
    Handle();
    PlaceWindow();
    ws.ShowWindow(FHandle, TShowCommand::Show);
    ws.SetForegroundWindow(FHandle);
    Activate();
  } else if (FHandle) {
    ws.ShowWindow(FHandle, TShowCommand::Hide);
    if (OnHide) OnHide(this);
    Deactivate();
  }
}

void TCustomForm::SetEnabled(bool v) {
  TControl::SetEnabled(v);
  if (FHandle) WindowSystem().EnableWindow(FHandle, v);
}

void TCustomForm::Show() { SetVisible(true); }
void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::Activate() {
  Application().FormActivated(this);
  if (!FActiveControl) {
    if (TControl* first = FindNextControl(nullptr, true)) FActiveControl = first;
  }
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::SetActiveControl(TControl* c) {
  if (c == FActiveControl) return;
  if (c && (c->Form() != this || !c->CanFocusOnForm()))
    throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  if (FActiveControl) FActiveControl->Invalidate();
  FActiveControl = c;
  if (c) c->Invalidate();
}

namespace {

void CollectFocusable(TWinControl* w, std::vector<TControl*>& out) {
  std::vector<TControl*> kids;
  for (int i = 0; i < w->ControlCount(); ++i) kids.push_back(w->Controls(i));
  std::stable_sort(kids.begin(), kids.end(), [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  for (TControl* c : kids) {
    if (c->CanFocus() && c->TabStop()) out.push_back(c);
    if (auto* inner = dynamic_cast<TWinControl*>(c); inner && c->Showing()) CollectFocusable(inner, out);
  }
}

void CollectAll(TWinControl* w, std::vector<TControl*>& out) {
  for (int i = 0; i < w->ControlCount(); ++i) {
    TControl* c = w->Controls(i);
    out.push_back(c);
    if (auto* inner = dynamic_cast<TWinControl*>(c)) CollectAll(inner, out);
  }
}

}  // namespace

TControl* TCustomForm::FindNextControl(TControl* c, bool forward) {
  std::vector<TControl*> order;
  CollectFocusable(this, order);
  if (order.empty()) return nullptr;
  auto it = std::find(order.begin(), order.end(), c);
  if (it == order.end()) return forward ? order.front() : order.back();
  const std::size_t i = static_cast<std::size_t>(it - order.begin());
  const std::size_t n = order.size();
  return order[forward ? (i + 1) % n : (i + n - 1) % n];
}

TModalResult TCustomForm::ShowModal() {
  if (FVisible || FModal) throw EInvalidOperation(u"Cannot make a visible window modal");
  TApplication& app = Application();
  TWindowSystem& ws = WindowSystem();
  TCustomForm* previous = app.ActiveForm();
  // Everything else of the application takes no input while this form is up.
  std::vector<HWND> disabled;
  for (TCustomForm* f : app.Forms()) {
    if (f != this && f->HandleAllocated() && ws.IsWindowEnabled(f->FHandle)) {
      ws.EnableWindow(f->FHandle, false);
      disabled.push_back(f->FHandle);
    }
  }
  FModal = true;
  FModalResult = mrNone;
  app.EnterModal();
  auto restore = [&] {
    for (HWND h : disabled) ws.EnableWindow(h, true);
    FModal = false;
    app.LeaveModal();
    if (FVisible) Hide();
    // The form active before may have gone meanwhile.
    const auto& forms = app.Forms();
    if (std::find(forms.begin(), forms.end(), previous) == forms.end()) previous = nullptr;
    if (previous && previous != this && previous->Visible() && previous->FHandle) {
      ws.SetForegroundWindow(previous->FHandle);
      previous->Activate();
    }
  };
  try {
    Show();
    while (FModalResult == mrNone) {
      if (!app.HandleMessage()) {
        if (app.Terminated()) {
          FModalResult = mrCancel;
          break;
        }
        throw EInvalidOperation(u"The modal loop of \"" + PlainCaption() +
                                u"\" has no message left to wait for");
      }
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return FModalResult;
}

void TCustomForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  switch (action) {
    case TCloseAction::caNone: return;
    case TCloseAction::caMinimize: WindowSystem().ShowWindow(Handle(), TShowCommand::Minimize); return;
    case TCloseAction::caHide:
    case TCloseAction::caFree:
      // A modal form ends its loop; another one goes out of sight.
      if (FModal) {
        if (FModalResult == mrNone) FModalResult = mrCancel;
      } else {
        Hide();
      }
      // Freed once the message handling that closed it is over.
      if (action == TCloseAction::caFree) PostMessage(CM_RELEASE);
      return;
  }
}

std::intptr_t TCustomForm::Perform(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

bool TCustomForm::PostMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  return WindowSystem().PostMessage(Handle(), TMessage{Msg, WParam, LParam, 0});
}

void TCustomForm::SetMessageHandler(std::uint32_t Msg, TMessageHandler handler) {
  if (handler)
    FHandlers[Msg] = std::move(handler);
  else
    FHandlers.erase(Msg);
}

void TCustomForm::WindowMessage(TMessage& message) {
  if (message.Msg == CM_RELEASE) {
    delete this;
    return;
  }
  // An exception in a handler goes to the application's event; the message
  // loop goes on.
  try {
    WndProc(message);
  } catch (const std::exception& e) {
    Application().HandleException(this, e);
  }
}

void TCustomForm::PaintWindow(TCanvas& canvas) {
  try {
    PrepareCanvas(canvas);
    canvas.BrushColor = FColor;
    canvas.FillRect(Bounds(0, 0, FClientWidth, FClientHeight));
    PaintControls(canvas, {0, 0});
    PaintAfterControls(canvas);
  } catch (const std::exception& e) {
    Application().HandleException(this, e);
  }
}

namespace {
TPoint PointOf(std::intptr_t l) {
  return {static_cast<std::int16_t>(l & 0xFFFF), static_cast<std::int16_t>((l >> 16) & 0xFFFF)};
}
}  // namespace

namespace {
TPoint LocalPoint(TControl* c, TPoint at) {
  const TPoint o = c->FormOrigin();
  return TPoint{at.X - o.X, at.Y - o.Y};
}
}  // namespace

void TCustomForm::MouseInput(std::uint32_t msg, TPoint at) {
  switch (msg) {
    case WM_LBUTTONDOWN: MouseButtonInput(TMouseButton::mbLeft, true, at); return;
    case WM_LBUTTONUP: MouseButtonInput(TMouseButton::mbLeft, false, at); return;
    case WM_RBUTTONDOWN: MouseButtonInput(TMouseButton::mbRight, true, at); return;
    case WM_RBUTTONUP: MouseButtonInput(TMouseButton::mbRight, false, at); return;
    case WM_MBUTTONDOWN: MouseButtonInput(TMouseButton::mbMiddle, true, at); return;
    case WM_MBUTTONUP: MouseButtonInput(TMouseButton::mbMiddle, false, at); return;
    default: break;
  }
  TControl* under = ControlAtPos(at);
  if (under != FHover) {
    if (FHover) FHover->MouseLeave();
    FHover = under;
    if (FHover) FHover->MouseEnter();
  }
  if (TControl* target = FCapture ? FCapture : under) target->MouseMove(LocalPoint(target, at));
}

void TCustomForm::MouseButtonInput(TMouseButton button, bool down, TPoint at) {
  TControl* under = ControlAtPos(at);
  if (down) {
    // The first button pressed captures the mouse for the control under it
    // (also for none); the same button again, after a release this form
    // never saw, starts afresh.
    if (!FPressing || button == FCaptureButton) {
      FPressing = true;
      FCaptureButton = button;
      FCapture = under;
    }
    TControl* target = FCapture;
    if (!target) return;
    if (button == TMouseButton::mbLeft && target == under && under->CanFocus() && under->TabStop())
      SetActiveControl(under);
    target->MouseDown(button, LocalPoint(target, at));
    return;
  }
  if (!FPressing) return;  // pressed somewhere else
  TControl* target = FCapture;
  if (button == FCaptureButton) {
    FPressing = false;
    FCapture = nullptr;
  }
  if (!target) return;
  const TPoint p = LocalPoint(target, at);
  target->MouseUp(button, p);
  if (button == TMouseButton::mbLeft && target == under && p.X >= 0 && p.Y >= 0 && p.X < target->Width() &&
      p.Y < target->Height())
    target->Click();
}

TControl* TCustomForm::FindButton(bool wantDefault) {
  std::vector<TControl*> all;
  CollectAll(this, all);
  for (TControl* c : all) {
    if (!c->IsButton() || !c->Showing() || !c->EnabledChain()) continue;
    if (wantDefault ? c->IsDefaultButton() : c->IsCancelButton()) return c;
  }
  return nullptr;
}

TControl* TCustomForm::FindAccelerator(TWinControl* in, char16_t ch) {
  const char16_t key = platform::UpperCaseTable()[ch];
  std::vector<TControl*> all;
  CollectAll(in, all);
  for (TControl* c : all)
    if (c->Accelerator() == key && c->Showing() && c->EnabledChain()) return c;
  return nullptr;
}

bool TCustomForm::DialogKey(std::uint16_t key) {
  if (key != VK_RETURN && key != VK_ESCAPE) return false;
  if (FActiveControl && FActiveControl->WantsKey(key)) return false;
  TControl* button = nullptr;
  if (key == VK_RETURN)
    button = FActiveControl && FActiveControl->IsButton() ? FActiveControl : FindButton(true);
  else
    button = FindButton(false);
  if (!button) return false;
  button->Click();
  return true;
}

void TCustomForm::HandleKeyDown(std::uint16_t key, TShiftState shift) {
  if (FKeyPreview && OnKeyDown) {
    OnKeyDown(this, key, shift);
    if (key == 0) return;
  }
  if (FActiveControl) {
    FActiveControl->KeyDown(key, shift);
    if (key == 0) return;
  }
  if (key == VK_TAB && !shift.Ctrl && !shift.Alt) {
    if (TControl* next = FindNextControl(FActiveControl, !shift.Shift)) SetActiveControl(next);
    return;
  }
  if (key == VK_F1) {
    int context = 0;
    for (TControl* c = FActiveControl; c && !context; c = c->Parent()) context = c->HelpContext();
    if (!context) context = FHelpContext;
    if (context) Application().HelpContext(context);
    return;
  }
  if (!shift.Alt && !shift.Ctrl) DialogKey(key);
}

bool TCustomForm::HandleChar(char16_t ch, bool sys) {
  if (FKeyPreview && OnKeyPress) {
    OnKeyPress(this, ch);
    if (ch == 0) return true;
  }
  if (!sys && FActiveControl) {
    FActiveControl->KeyPress(ch);
    if (ch == 0) return true;
  }
  if (ch < u' ') return false;
  // Alt + letter always; a plain letter where the focused control does not
  // take characters.
  if (sys || !FActiveControl || !FActiveControl->WantsChars()) {
    if (TControl* c = FindAccelerator(this, ch)) {
      if (c->CanFocus() && c->TabStop()) SetActiveControl(c);
      c->DoAccelerator();
      return true;
    }
  }
  return false;
}

void TCustomForm::WndProc(TMessage& Message) {
  if (auto it = FHandlers.find(Message.Msg); it != FHandlers.end()) {
    TMessageHandler handler = it->second;  // may replace itself
    handler(Message);
    return;
  }
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: MouseInput(Message.Msg, PointOf(Message.LParam)); return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: HandleKeyDown(static_cast<std::uint16_t>(Message.WParam), WindowSystem().KeyShiftState()); return;
    case WM_CHAR:
    case WM_SYSCHAR:
      Message.Result = HandleChar(static_cast<char16_t>(Message.WParam), Message.Msg == WM_SYSCHAR) ? 1 : 0;
      return;
    case WM_MOUSEWHEEL:
      if (TControl* target = FHover ? FHover : FActiveControl)
        target->MouseWheel(static_cast<std::int16_t>((Message.WParam >> 16) & 0xFFFF));
      return;
    case WM_CLOSE: Close(); return;
    case WM_ACTIVATE:
      if (Message.WParam != 0)
        Activate();
      else
        Deactivate();
      return;
    case WM_SYSCOMMAND:
      switch (Message.WParam & 0xFFF0) {
        case SC_MINIMIZE: WindowSystem().ShowWindow(Handle(), TShowCommand::Minimize); return;
        case SC_RESTORE:
          // The form was minimised with the whole application: all of it comes back.
          if (Application().Minimized())
            Application().Restore();
          else
            WindowSystem().ShowWindow(Handle(), TShowCommand::Restore);
          return;
        case SC_CLOSE: Close(); return;
        default: return;
      }
    case WM_HELP: Application().HelpContext(FHelpContext); return;
    default: return;
  }
}

}  // namespace kv
