// The framework's base form, the application events handler, the forms
// module's process-wide state and the small form utilities.
#pragma once

#include <memory>
#include <typeinfo>
#include <vector>

#include "toolkit/StdCtrls.h"

namespace kv {

// Posted by a form to itself.
constexpr std::uint32_t WM_FORM_AFTERSHOW = 3447;
constexpr std::uint32_t WM_FORM_AFTERCREATE = 3448;
constexpr std::uintptr_t SC_CONTEXTHELP = 0xF180;
// FOldPrio when no priority class is saved: the bit pattern of -30.
constexpr std::uint32_t kNoSavedPriority = 0xFFFFFFE2u;

// The hint window all forms share; made when a form is first shown.
class THtmlHint : public TComponent {
 public:
  explicit THtmlHint(TComponent* AOwner) : TComponent(AOwner) {}
  TFont Font;
};

class TKVForm : public TForm {
 public:
  // CreateNew: a form without stored layout. Needs the forms module started.
  TKVForm(TComponent* AOwner, int Dummy);

  // Create: builds a T (through its CreateNew-style constructor), loads the
  // stored layouts of its classes, takes the main form's icon and finishes
  // construction. Raises EResNotFound "Resource <class> not found" when a
  // descendant has no stored layout. Without owner the caller frees the form.
  template <class T, class... Args>
  static T* Create(TComponent* AOwner, Args&&... args) {
    std::unique_ptr<T> form(new T(AOwner, 0, std::forward<Args>(args)...));
    form->LoadStoredLayout(typeid(T) == typeid(TKVForm));
    form->TakeMainFormIcon();
    form->AfterConstruction();
    return form.release();
  }
  // CreateNew with construction finished.
  template <class T, class... Args>
  static T* CreateNew(TComponent* AOwner, Args&&... args) {
    std::unique_ptr<T> form(new T(AOwner, 0, std::forward<Args>(args)...));
    form->AfterConstruction();
    return form.release();
  }

  // The class name, as stored layouts are registered under it: by default
  // the name the class is declared with (without its namespace), so that a
  // descendant finds its own layout without overriding this.
  virtual String ClassName() const;
  // The classes whose stored layouts make up the form, the most basic first
  // (not TKVForm itself); by default the class alone.
  virtual std::vector<String> StoredLayoutClasses() const { return {ClassName()}; }

  // The caption without the build markers "DEBUG - " and "BETA VERSION - "
  // (first occurrence of each); the window text keeps them.
  String Caption() const override;
  bool IsModal() const { return Modal(); }
  bool LowPriorOnMinimize() const { return FLowPriorOnMinimize; }
  void SetLowPriorOnMinimize(bool v) { FLowPriorOnMinimize = v; }
  bool MinimizedByForm() const { return FMinimizeByForm; }
  std::uint32_t SavedPriority() const { return FOldPrio; }
  bool ThemeChecked() const { return FThemeChecked; }

  // --- Virtual operations, in slot order ---
  virtual int FormHelpContext() { return FHelpContext; }
  void SetCaption(StringView Value) override { TControl::SetCaption(Value); }
  virtual void DoAfterShow();
  virtual void DoAfterCreate();
  virtual void AfterThemeApplied() {}
  virtual bool IsKVProgressDialog() { return false; }
  virtual bool DoNotLoadDfm() { return false; }

  void ReadState(TReader& Reader) override;
  void WndProc(TMessage& Message) override;
  TModalResult ShowModal() override;
  void AfterConstruction() override;
  void DoShow() override;
  void Deactivate() override;
  bool HandleCreateException(const std::exception&) override { return false; }

  // Puts back the priority class saved when minimising.
  void RestoreProcessPriority();

  // The theme rules for C and everything it owns.
  static void CheckTheme(TComponent* C);
  static void SetThemedLabelsTransparent(TWinControl* Owner, bool WithChildControls);

  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 protected:
  void WMSysCommand(TMessage& Message);

 private:
  void LoadStoredLayout(bool exactlyTKVForm);
  void TakeMainFormIcon();

  // Kept for the layout of the class; nothing reads or writes it.
  [[maybe_unused]] bool FBigFontFixed = false;
  bool FMinimizeByForm = false;
  bool FLowPriorOnMinimize = false;
  std::uint32_t FOldPrio = kNoSavedPriority;
  bool FThemeChecked = false;
  bool FShowTaskBar = false;
};

// Keeps the application's title and the process priority right across
// minimising and restoring; takes only events nobody else has taken, and
// lets go of them when freed.
class TAppEventsHandler : public TComponent {
 public:
  explicit TAppEventsHandler(TComponent* AOwner);
  ~TAppEventsHandler() override;
  void AppRestore(TObject* Sender);
  void AppMinimize(TObject* Sender);

 private:
  bool FOwnsRestore = false, FOwnsMinimize = false;
};

// --- Module state -------------------------------------------------------------------

// The application window recorded at module start (made when first asked
// for); raises "MainApplicationHandle not set" before the start and after
// the shutdown.
HWND MainApplicationHandle();
String& SavedApplicationTitle();
// The TKVForm instances inside ShowModal, in order of entry; null outside
// the module's life.
std::vector<TKVForm*>* ModalFormList();
TAppEventsHandler* AppEventsHandler();
THtmlHint* SharedHtmlHint();
// A window to enable once a form has shown; nothing in the framework sets it.
HWND& WindowToReenable();

// --- Utilities ------------------------------------------------------------------------

String GetApplicationTitle();
void SetApplicationTitle(StringView Value);
// "Segoe UI" once the form utility module has started.
String DefaultFormFontName();
// The caption of a TKVForm without " - <existing file>" at its end; another
// control's caption unchanged; empty for none.
String FormCaptionWithoutFileName(TControl* Control);
// Set a published property when the control's class has one of that name
// and kind (for the ordinal setter an integer, an enumeration or a Boolean;
// for the Boolean setter a Boolean); otherwise nothing.
void SetOrdPropertyByName(TControl* Control, StringView Name, std::int64_t Value);
void SetBooleanPropertyByName(TControl* Control, StringView Name, bool Value);

// Module start and stop: the form utilities (font name, hint pause) and the
// forms module (application window, ghosting off, modal list, events handler).
void FormUtilsModule_Initialize();
void FormUtilsModule_Finalize();
void FormsModule_Initialize();
void FormsModule_Finalize();

}  // namespace kv
