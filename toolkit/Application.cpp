// The application: its window and title, the message loop, exceptions,
// minimising and restoring, timers; the screen.
#include "toolkit/Controls.h"

#include <algorithm>

namespace kv {

// --- TApplication ------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  if (FHandle) WindowSystem().DestroyWindow(FHandle);
}

void TApplication::SetTitle(StringView t) {
  FTitle.assign(t);
  if (FHandle) {
    TWindowParams p;
    p.Hidden = true;
    p.Caption = FTitle;
    WindowSystem().SetWindowParams(FHandle, p);
  }
}

HWND TApplication::Handle() {
  if (!FHandle) {
    TWindowParams p;
    p.Hidden = true;
    p.Caption = FTitle;
    FHandle = WindowSystem().CreateWindow(this, p);
  }
  return FHandle;
}

TCustomForm* TApplication::ActiveForm() const {
  if (FActive && std::find(FForms.begin(), FForms.end(), FActive) != FForms.end() && FActive->Visible())
    return FActive;
  return nullptr;
}

bool TApplication::HandleMessage() {
  if (FTerminated) return false;
  try {
    return WindowSystem().ProcessMessage(true);
  } catch (const std::exception& e) {
    HandleException(this, e);
    return true;
  }
}

void TApplication::ProcessMessages() {
  while (!FTerminated) {
    try {
      if (!WindowSystem().ProcessMessage(false)) return;
    } catch (const std::exception& e) {
      HandleException(this, e);
    }
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  WindowSystem().PostMessage(0, TMessage{WM_QUIT, 0, 0, 0});
}

void TApplication::Run() {
  while (HandleMessage()) {
  }
}

void TApplication::HandleException(TObject*, const std::exception& E) {
  if (OnException) {
    try {
      OnException(this, E);
    } catch (const std::exception& inner) {
      ShowException(inner);
    }
    return;
  }
  ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
  if (auto* k = dynamic_cast<const Exception*>(&E))
    ShownExceptions.push_back(k->Message());
  else
    ShownExceptions.push_back(FromUtf8(E.what()));
}

void TApplication::Minimize() {
  if (FMinimized) return;
  for (TCustomForm* f : FForms)
    if (f->Visible() && f->HandleAllocated()) WindowSystem().ShowWindow(f->Handle(), TShowCommand::Minimize);
  FMinimized = true;
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (!FMinimized) return;
  for (TCustomForm* f : FForms)
    if (f->Visible() && f->HandleAllocated()) WindowSystem().ShowWindow(f->Handle(), TShowCommand::Restore);
  FMinimized = false;
  if (OnRestore) OnRestore(this);
}

bool TApplication::HelpContext(int Context) { return OnHelp ? OnHelp(Context) : false; }

void TApplication::WindowMessage(TMessage& message) {
  try {
    if (message.Msg == WM_TIMER) {
      auto it = FTimers.find(message.WParam);
      if (it != FTimers.end()) {
        auto tick = it->second;  // the handler may remove its timer
        tick();
      }
    } else if (message.Msg == WM_SYSCOMMAND) {
      if ((message.WParam & 0xFFF0) == SC_MINIMIZE) Minimize();
      if ((message.WParam & 0xFFF0) == SC_RESTORE) Restore();
    }
  } catch (const std::exception& e) {
    HandleException(this, e);
  }
}

void TApplication::AddForm(TCustomForm* f) { FForms.push_back(f); }

void TApplication::RemoveForm(TCustomForm* f) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), f), FForms.end());
  if (FActive == f) FActive = nullptr;
  if (FMainForm == f) FMainForm = nullptr;
}

TCustomForm* TApplication::FindForm(HWND Window) const {
  if (Window == 0) return nullptr;
  for (TCustomForm* f : FForms)
    if (f->HandleAllocated() && f->Handle() == Window) return f;
  return nullptr;
}

void TApplication::FormActivated(TCustomForm* f) {
  FActive = f;
  if (!FMainForm) FMainForm = f;
}

std::uintptr_t TApplication::AddTimer(unsigned IntervalMs, std::function<void()> tick) {
  const std::uintptr_t id = FNextTimer++;
  FTimers[id] = std::move(tick);
  WindowSystem().SetTimer(Handle(), id, IntervalMs);
  return id;
}

void TApplication::RemoveTimer(std::uintptr_t id) {
  FTimers.erase(id);
  if (FHandle) WindowSystem().KillTimer(FHandle, id);
}

// --- Screen and the process's objects ---------------------------------------------------

int TScreen::PixelsPerInch() const { return WindowSystem().ScreenPixelsPerInch(); }
int TScreen::Width() const { return WindowSystem().ScreenSize().cx; }
int TScreen::Height() const { return WindowSystem().ScreenSize().cy; }
TCustomForm* TScreen::ActiveForm() const { return Application().ActiveForm(); }
int TScreen::FormCount() const { return static_cast<int>(Application().Forms().size()); }
TCustomForm* TScreen::Forms(int Index) const {
  const auto& forms = Application().Forms();
  CheckListIndex(Index, static_cast<int>(forms.size()));
  return forms[static_cast<std::size_t>(Index)];
}

namespace {
// Released by ReleaseApplication, never by a static destructor, whose order
// against the window system's C++ does not fix.
std::unique_ptr<TApplication>& TheApplication() {
  static auto* app = new std::unique_ptr<TApplication>();
  return *app;
}
}  // namespace

TApplication& Application() {
  auto& a = TheApplication();
  if (!a) a = std::make_unique<TApplication>(nullptr);
  return *a;
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

void ReleaseApplication() { TheApplication().reset(); }

}  // namespace kv
