#include "ui/KVForms.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/Process.h"
#include "text/KVTypes.h"

namespace kv {

namespace {

struct FormsState {
  // Recorded at module start; the window itself is made when first asked
  // for, so that a program that shows nothing makes none.
  bool Recorded = false;
  HWND MainHandle = 0;
  String SavedTitle;
  std::unique_ptr<std::vector<TKVForm*>> ModalForms;
  std::unique_ptr<TAppEventsHandler> Events;
  std::unique_ptr<THtmlHint> Hint;
  HWND Reenable = 0;
  String FontName;
};

FormsState& State() {
  static FormsState s;
  return s;
}

// Held while a form loads its stored layouts.
std::recursive_mutex& NamespaceLock() {
  static std::recursive_mutex m;
  return m;
}

}  // namespace

// --- TKVForm ------------------------------------------------------------------------------

TKVForm::TKVForm(TComponent* AOwner, int) : TForm(AOwner) {
  FDoubleBuffered = true;
  FMinimizeByForm = false;
  FLowPriorOnMinimize = false;
  FOldPrio = kNoSavedPriority;
  if (!WindowSystem().IsIconic(MainApplicationHandle())) SavedApplicationTitle() = Application().Title();
  TFont f = FFont;
  f.Name = DefaultFormFontName();
  SetFont(f);
}

String TKVForm::ClassName() const {
  // The compiler's name of the dynamic type, readable, without the scopes it
  // is declared in (namespaces, an enclosing function or class).
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && readable ? readable.get() : mangled;
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '<' || c == '(') ++depth;
    if (c == '>' || c == ')') --depth;
    if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
  }
  return FromUtf8(name.substr(start));
}

void TKVForm::LoadStoredLayout(bool exactlyTKVForm) {
  FShowTaskBar = false;
  std::lock_guard<std::recursive_mutex> lock(NamespaceLock());
  if (exactlyTKVForm || DoNotLoadDfm()) return;
  SetCreating(true);
  bool found = false;
  try {
    for (const String& name : StoredLayoutClasses()) found = InitInheritedComponent(name) || found;
  } catch (...) {
    SetCreating(false);
    throw;
  }
  SetCreating(false);
  if (!found) throw EResNotFound(u"Resource " + ClassName() + u" not found");
  if (OldCreateOrder()) DoCreate();
}

void TKVForm::TakeMainFormIcon() {
  try {
    TCustomForm* main = Application().MainForm();
    if (BorderStyle() != TFormBorderStyle::bsDialog && main && main != this && !main->Icon().Empty())
      SetIcon(main->Icon());
  } catch (const std::exception&) {
    // The form keeps its own icon.
  }
}

void TKVForm::ReadState(TReader& Reader) {
  TForm::ReadState(Reader);
  // OnCreate always fires after construction has completed.
  SetOldCreateOrder(false);
}

void TKVForm::AfterConstruction() {
  TForm::AfterConstruction();
  PostMessage(WM_FORM_AFTERCREATE, 0, 0);
}

void TKVForm::DoShow() {
  TForm::DoShow();
  PostMessage(WM_FORM_AFTERSHOW, 0, 0);
}

String TKVForm::Caption() const {
  String text = TControl::Caption();
  if (auto p = text.find(u"DEBUG - "); p != String::npos) text.erase(p, 8);
  if (auto p = text.find(u"BETA VERSION - "); p != String::npos) text.erase(p, 15);
  return text;
}

void TKVForm::DoAfterShow() {
  if (const HWND h = WindowToReenable()) WindowSystem().EnableWindow(h, true);
}

void TKVForm::DoAfterCreate() {
  if (!FThemeChecked) CheckTheme(this);
  FThemeChecked = true;
  SetThemedLabelsTransparent(this, true);
  AfterThemeApplied();
}

void TKVForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SYSCOMMAND:
      if ((Message.WParam & 0xFFF0) == SC_CONTEXTHELP) {
        Application().HelpContext(FormHelpContext());
        return;
      }
      WMSysCommand(Message);
      return;
    case WM_FORM_AFTERSHOW:
      if (!State().Hint) {
        State().Hint = std::make_unique<THtmlHint>(nullptr);
        State().Hint->Font.Name = DefaultFormFontName();
      }
      DoAfterShow();
      return;
    case WM_FORM_AFTERCREATE: DoAfterCreate(); return;
    default: TForm::WndProc(Message);
  }
}

void TKVForm::WMSysCommand(TMessage& Message) {
  const std::uintptr_t command = Message.WParam & 0xFFF0;
  if (IsModal() && BorderIcons().Minimize) {
    if (command == SC_MINIMIZE) {
      // The whole application goes, not the form alone.
      Application().Minimize();
      FMinimizeByForm = true;
      if (FLowPriorOnMinimize) {
        FOldPrio = platform::ProcessPriorityClass();
        platform::SetProcessPriorityClass(platform::kBelowNormalPriorityClass);
      }
      return;
    }
    if (command == SC_MAXIMIZE) {
      if (FLowPriorOnMinimize) RestoreProcessPriority();
      TForm::WndProc(Message);
      FMinimizeByForm = false;
      return;
    }
    if (command == SC_RESTORE && FMinimizeByForm) {
      // Restored through the form itself (its taskbar button, its system
      // menu): the application comes back as it went, title and priority
      // with it, not only when the form closes.
      TForm::WndProc(Message);
      Application().Restore();
      RestoreProcessPriority();
      FMinimizeByForm = false;
      return;
    }
  }
  TForm::WndProc(Message);
}

TModalResult TKVForm::ShowModal() {
  std::vector<TKVForm*>* list = ModalFormList();
  if (list) list->push_back(this);
  TModalResult result = mrNone;
  auto leave = [&] {
    if (std::vector<TKVForm*>* l = ModalFormList()) {
      if (auto it = std::find(l->begin(), l->end(), this); it != l->end()) l->erase(it);
    }
    if (FMinimizeByForm) Application().Restore();
    RestoreProcessPriority();
  };
  try {
    result = TForm::ShowModal();
  } catch (...) {
    leave();
    throw;
  }
  leave();
  return result;
}

void TKVForm::RestoreProcessPriority() {
  if (FOldPrio == kNoSavedPriority) return;
  platform::SetProcessPriorityClass(FOldPrio);
  FOldPrio = kNoSavedPriority;
}

void TKVForm::Deactivate() {
  // Controls have no windows of their own: one that is no longer shown is
  // the counterpart of an active control without a window.
  if (ActiveControl() && !ActiveControl()->Showing()) {
    SetActiveControl(nullptr);
    FActiveControl = nullptr;
  }
  TForm::Deactivate();
}

const TPropertyRegister& TKVForm::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TCustomForm::ClassProperties();
    r.Add(u"LowPriorOnMinimize", TPropertyKind::Boolean,
          [](TObject& o, std::int64_t v) { static_cast<TKVForm&>(o).SetLowPriorOnMinimize(v != 0); });
    return r;
  }();
  return reg;
}

void TKVForm::CheckTheme(TComponent* C) {
  if (!C) return;
  if (auto* f = dynamic_cast<TCustomForm*>(C); f && f->HelpContext() == 0) f->SetHelpContext(-1);

  if (auto* box = dynamic_cast<TThemedCheckBox*>(C)) {
    box->SetTransparent(true);
  } else if (auto* list = dynamic_cast<TThemedListBox*>(C)) {
    list->SetTransparent(false);
    list->SetTransparentSelection(false);
  }

  if (auto* tc = dynamic_cast<TThemedControl*>(C)) {
    tc->SetParentThemeMode(false);
    tc->SetThemeMode(ttmNative);
    tc->SetParentDoubleBuffered(false);
    tc->SetDoubleBuffered(true);
    if (typeid(*C) == typeid(TThemedPageControl)) static_cast<TThemedPageControl*>(C)->SetFlat(true);
  } else if (auto* label = dynamic_cast<TCustomThemedLabel*>(C)) {
    if (typeid(*C) == typeid(TThemedLabel)) {
      label->SetParentThemeMode(false);
      label->SetThemeMode(ttmNone);
    } else if (!label->Transparent()) {
      label->SetParentThemeMode(false);
      label->SetThemeMode(ttmNative);
    }
  } else if (auto* button = dynamic_cast<TCustomThemedGraphicButton*>(C)) {
    button->SetParentThemeMode(false);
    button->SetThemeMode(ttmNative);
  } else if (auto* panel = dynamic_cast<TCustomThemedPanel*>(C)) {
    panel->SetParentThemeMode(false);
    panel->SetThemeGlobalMode(false);
    panel->SetParentDoubleBuffered(false);
    panel->SetDoubleBuffered(true);
    if (typeid(*C) == typeid(TThemedPanel) && !panel->Transparent()) panel->SetTransparentXPThemes(false);
    panel->SetThemeMode(ttmNone);
    if (panel->BorderWidth() == 0) panel->SetBorderStyle(TPanelBorder::bsNone);
  }

  for (int i = 0; i < C->ComponentCount(); ++i) CheckTheme(C->Components(i));
}

void TKVForm::SetThemedLabelsTransparent(TWinControl* Owner, bool WithChildControls) {
  if (!Owner) return;
  for (int i = 0; i < Owner->ControlCount(); ++i) {
    TControl* c = Owner->Controls(i);
    if (dynamic_cast<TCustomThemedLabel*>(c)) {
      SetBooleanPropertyByName(c, u"ParentThemeMode", false);
      SetBooleanPropertyByName(c, u"Transparent", true);
      SetOrdPropertyByName(c, u"ThemeMode", 0);
    }
    if (WithChildControls)
      if (auto* w = dynamic_cast<TWinControl*>(c)) SetThemedLabelsTransparent(w, true);
  }
}

// --- Application events ------------------------------------------------------------------

TAppEventsHandler::TAppEventsHandler(TComponent* AOwner) : TComponent(AOwner) {
  TApplication& app = Application();
  if (!app.OnRestore) {
    app.OnRestore = [this](TObject* s) { AppRestore(s); };
    FOwnsRestore = true;
  }
  if (!app.OnMinimize) {
    app.OnMinimize = [this](TObject* s) { AppMinimize(s); };
    FOwnsMinimize = true;
  }
}

TAppEventsHandler::~TAppEventsHandler() {
  // No event may reach a freed handler.
  TApplication& app = Application();
  if (FOwnsRestore) app.OnRestore = nullptr;
  if (FOwnsMinimize) app.OnMinimize = nullptr;
}

void TAppEventsHandler::AppRestore(TObject*) {
  SetApplicationTitle(SavedApplicationTitle());
  if (auto* f = dynamic_cast<TKVForm*>(Screen().ActiveForm())) f->RestoreProcessPriority();
}

void TAppEventsHandler::AppMinimize(TObject*) { SavedApplicationTitle() = GetApplicationTitle(); }

// --- Module state and utilities -------------------------------------------------------------

HWND MainApplicationHandle() {
  FormsState& s = State();
  if (!s.Recorded) throw Exception(u"MainApplicationHandle not set");
  if (s.MainHandle == 0) s.MainHandle = Application().Handle();
  return s.MainHandle;
}

String& SavedApplicationTitle() { return State().SavedTitle; }
std::vector<TKVForm*>* ModalFormList() { return State().ModalForms.get(); }
TAppEventsHandler* AppEventsHandler() { return State().Events.get(); }
THtmlHint* SharedHtmlHint() { return State().Hint.get(); }
HWND& WindowToReenable() { return State().Reenable; }

String GetApplicationTitle() { return Application().Title(); }
void SetApplicationTitle(StringView Value) { Application().SetTitle(Value); }
String DefaultFormFontName() { return State().FontName; }

String FormCaptionWithoutFileName(TControl* Control) {
  if (!Control) return {};
  auto* form = dynamic_cast<TKVForm*>(Control);
  if (!form) return Control->Caption();
  const String caption = form->Caption();
  const std::size_t p = caption.find(u" - ");
  if (p != String::npos && FileExistsEx(StringView(caption).substr(p + 3))) return caption.substr(0, p);
  return caption;
}

void SetOrdPropertyByName(TControl* Control, StringView Name, std::int64_t Value) {
  if (!Control) return;
  // Booleans are an enumeration too, so they are set here as well.
  const auto* p = Control->Properties().Find(Name);
  if (p && (p->first == TPropertyKind::Ordinal || p->first == TPropertyKind::Boolean)) p->second(*Control, Value);
}

void SetBooleanPropertyByName(TControl* Control, StringView Name, bool Value) {
  if (!Control) return;
  const auto* p = Control->Properties().Find(Name);
  if (p && p->first == TPropertyKind::Boolean) p->second(*Control, Value ? 1 : 0);
}

void FormUtilsModule_Initialize() {
  State().FontName = u"Segoe UI";
  // Hints stay until the mouse leaves.
  Application().SetHintHidePause(2147483647);
}

void FormUtilsModule_Finalize() { State().FontName.clear(); }

void FormsModule_Initialize() {
  FormsState& s = State();
  s.Recorded = true;
  platform::DisableWindowsGhosting();
  s.SavedTitle.clear();
  s.ModalForms = std::make_unique<std::vector<TKVForm*>>();
  s.Events = std::make_unique<TAppEventsHandler>(nullptr);
}

void FormsModule_Finalize() {
  FormsState& s = State();
  // reset() empties each global before its object goes.
  s.ModalForms.reset();
  s.Events.reset();
  s.Hint.reset();
  s.SavedTitle.clear();
  s.MainHandle = 0;
  s.Recorded = false;
}

}  // namespace kv
