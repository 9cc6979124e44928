// Controls, forms, the application and the screen. Only forms (and the
// application) have windows of the window system; controls are drawn by the
// form they sit on and get their input from it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/WindowSystem.h"

namespace kv {

class TCustomForm;
class TControl;

enum TThemeMode : std::uint8_t { ttmNone = 0, ttmPlatform = 1, ttmNative = 2 };
class TWinControl;

using TKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TMessageHandler = std::function<void(TMessage& Message)>;

// What a published property accepts when it is set by name.
enum class TPropertyKind : std::uint8_t { Ordinal, Boolean };

// The published properties of a class: name, kind, setter. Each class adds
// its own to those of its ancestors.
class TPropertyRegister {
 public:
  using Setter = std::function<void(TObject& Instance, std::int64_t Value)>;
  void Add(StringView name, TPropertyKind kind, Setter setter);
  // Null when the class has no such property (letter case ignored).
  const std::pair<TPropertyKind, Setter>* Find(StringView name) const;

 private:
  std::map<String, std::pair<TPropertyKind, Setter>> FProps;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // --- Tree of controls ---
  TWinControl* Parent() const { return FParent; }
  // Moves the control to another parent (or out of any with null), at the
  // end of its children.
  virtual void SetParent(TWinControl* AParent);
  // The form the control sits on, the control itself when it is one; null
  // when it is on none.
  TCustomForm* Form();
  virtual bool IsForm() const { return false; }

  // --- Bounds, relative to the parent's client area ---
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  int Right() const { return FLeft + FWidth; }
  int Bottom() const { return FTop + FHeight; }
  virtual int ClientWidth() const { return FWidth; }
  virtual int ClientHeight() const { return FHeight; }
  // The control's top left in its form's client coordinates.
  TPoint FormOrigin() const;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  // Visible, and so are all its parents.
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);

  // --- Look ---
  TColor Color() const { return FColor; }
  void SetColor(TColor c);
  const TFont& Font() const { return FFont; }
  // Changes the font; the control's children that use their parent's font follow.
  void SetFont(const TFont& f);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v);
  // Virtual, so that a form that shows its caption otherwise (without build
  // markers, say) is seen so through any pointer to it.
  virtual String Caption() const { return FCaption; }
  virtual void SetCaption(StringView c);
  // The caption without the "&" accelerator marks ("&&" stands for "&").
  String PlainCaption() const;
  // The accelerator character (upper case), 0 when there is none.
  char16_t Accelerator() const;
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool v) { FDoubleBuffered = v; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool ParentBackground() const { return FParentBackground; }
  void SetParentBackground(bool v) { FParentBackground = v; }
  // Theme settings: how the control draws (flat in its colours, the
  // platform's look, or the library's native theme) and whether it takes the
  // mode and double buffering from its parent.
  TThemeMode ThemeMode() const { return FThemeMode; }
  void SetThemeMode(TThemeMode v);
  bool ParentThemeMode() const { return FParentThemeMode; }
  void SetParentThemeMode(bool v) { FParentThemeMode = v; }
  bool ParentDoubleBuffered() const { return FParentDoubleBuffered; }
  void SetParentDoubleBuffered(bool v) { FParentDoubleBuffered = v; }
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int v) { FHelpContext = v; }
  const String& Hint() const { return FHint; }
  void SetHint(StringView v) { FHint.assign(v); }
  int Tag() const { return FTag; }
  void SetTag(int v) { FTag = v; }

  // --- Focus and keys ---
  virtual bool CanFocusKind() const { return false; }
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v) { FTabStop = v; }
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int v) { FTabOrder = v; }
  bool CanFocus() const { return CanFocusKind() && Showing() && EnabledChain(); }
  // Can be its form's active control, also while the form itself is not
  // shown yet: visible and enabled up to the form.
  bool CanFocusOnForm() const { return CanFocusKind() && VisibleUpToForm() && EnabledChain(); }
  // Visible, and so are all its parents below the form.
  bool VisibleUpToForm() const;
  bool Focused();
  void SetFocus();

  // --- Painting and input (called by the form) ---
  void Invalidate();
  virtual void Paint(TCanvas& Canvas);
  // A mouse button pressed over the control, and released (also outside it:
  // the control that got the press gets every button's messages until the
  // button first pressed is released). Clicks come from the left button.
  virtual void MouseDown(TMouseButton Button, TPoint At);
  virtual void MouseUp(TMouseButton Button, TPoint At);
  virtual void MouseMove(TPoint At);
  virtual void MouseEnter();
  virtual void MouseLeave();
  // The wheel turned over the control (or while it has the focus); delta in
  // the platform's units, 120 a notch, positive away from the user.
  virtual void MouseWheel(int Delta);
  // Key handling of the focused control; Key set to 0 when consumed.
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char16_t& Key);
  // True when the control handles Enter (or Escape, arrows) itself rather
  // than the form's default and cancel buttons.
  virtual bool WantsKey(std::uint16_t Key) const;
  // Buttons answer Enter (the default one) and Escape (the cancel one).
  virtual bool IsButton() const { return false; }
  virtual bool IsDefaultButton() const { return false; }
  virtual bool IsCancelButton() const { return false; }
  // Edit boxes take typed characters, so plain letters are not accelerators there.
  virtual bool WantsChars() const { return false; }
  // A click: by the mouse, by its accelerator or by Enter/Escape/Space.
  virtual void Click();
  // The accelerator matched; by default a click.
  virtual void DoAccelerator() { Click(); }
  // After a text or font change: sizes the control to its content when it
  // does that (AutoSize).
  virtual void AdjustSize() {}
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool MouseInControl() const { return FMouseInControl; }

  TNotifyHandler OnClick;

  // --- Properties by name ---
  // Sets a published property; false when the class has none of that name.
  bool SetPropertyByName(StringView Name, std::int64_t Value);
  // Whether the class publishes the property.
  bool HasProperty(StringView Name) const;
  // The class's register (each class extends its parent's).
  virtual const TPropertyRegister& Properties() const { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

  // The colour the control's background is drawn in: its colour, or with
  // Transparent or ParentBackground its parent's.
  TColor EffectiveColor() const;

  // Enabled, and so are all its parents up to its form.
  bool EnabledChain() const;

 protected:
  // The form forgets the control as focused, captured or hovered.
  void DetachFromForm();
  // Space clicks the control (and is consumed), as with buttons and boxes.
  void ClickOnSpace(std::uint16_t& Key);
  friend class TWinControl;
  friend class TCustomForm;
  virtual void FontChanged();
  virtual void TextChanged();
  // The canvas font set to the control's font.
  void PrepareCanvas(TCanvas& Canvas) const;

  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true, FEnabled = true;
  TColor FColor = clBtnFace;
  TFont FFont;
  bool FParentFont = true;
  String FCaption;
  bool FDoubleBuffered = false, FTransparent = false, FParentBackground = false;
  TThemeMode FThemeMode = ttmPlatform;
  bool FParentThemeMode = true, FParentDoubleBuffered = true;
  bool FAutoSize = false;
  int FHelpContext = 0, FTag = 0, FTabOrder = 0;
  bool FTabStop = false;
  String FHint;
  bool FMouseInControl = false;
};

// A control that holds others.
class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  // Raises EListError outside 0 .. ControlCount - 1.
  TControl* Controls(int Index) const;
  // The deepest showing, enabled child at a point of the client area; null
  // when none.
  TControl* ControlAtPos(TPoint At);
  // Paints the children in index order, clipped to their bounds.
  void PaintControls(TCanvas& Canvas, TPoint Origin);
  void Paint(TCanvas& Canvas) override;
  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 protected:
  friend class TControl;
  void FontChanged() override;
  std::vector<TControl*> FControls;
};

class TCustomForm;

// Reads a stored layout into a form: what a layout resource holds, as code
// that builds the controls and sets the properties, plus the stored
// OldCreateOrder flag.
class TReader {
 public:
  using TLayout = std::function<void(TCustomForm& Form, TReader& Reader)>;
  TReader(StringView ClassName, TLayout Layout) : FClassName(ClassName), FLayout(std::move(Layout)) {}
  const String& ClassName() const { return FClassName; }
  void ReadInto(TCustomForm& Form) { FLayout(Form, *this); }
  bool OldCreateOrder = false;

 private:
  String FClassName;
  TLayout FLayout;
};

// The layouts of form classes, by class name (letter case ignored).
void RegisterStoredLayout(StringView ClassName, TReader::TLayout Layout);
void UnregisterStoredLayout(StringView ClassName);
const TReader::TLayout* FindStoredLayout(StringView ClassName);

// A resource that does not exist.
KV_DECLARE_EXCEPTION(EResNotFound, Exception)

enum class TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
struct TBorderIcons {
  bool SystemMenu = true, Minimize = true, Maximize = true, Help = false;
};
enum class TPosition : std::uint8_t { poDesigned, poScreenCenter, poOwnerFormCenter, poMainFormCenter };
enum class TFormStyle : std::uint8_t { fsNormal, fsStayOnTop };
enum class TCloseAction : std::uint8_t { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TWinControl, public TWindowSink {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  bool IsForm() const override { return true; }

  // The window; made on first use.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != 0; }
  void DestroyHandle();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  const TBorderIcons& BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(const TBorderIcons& v);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle v);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition v) { FPosition = v; }
  int ClientWidth() const override { return FClientWidth; }
  int ClientHeight() const override { return FClientHeight; }
  void SetClientWidth(int v);
  void SetClientHeight(int v);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }
  const TBitmap& Icon() const { return FIcon; }
  void SetIcon(const TBitmap& icon);
  void SetVisible(bool v) override;
  void SetEnabled(bool v) override;

  // The form that owns this one (centring, the owner window): the popup
  // parent when one is set, else the form among its owners.
  TCustomForm* OwnerForm() const;
  // A form that owns this one's window without owning the form object (a
  // dialog over it); forgotten when that form goes.
  void SetPopupParent(TCustomForm* f) { FPopupParent = f; }

  TControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TControl* c);
  // The next focusable control in tab order after c (wrapping); null when none.
  TControl* FindNextControl(TControl* c, bool forward);

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  // Shows the form with every other form of the application disabled and
  // handles messages until the modal result is set or the form is closed;
  // then restores the others and hides it. Returns the modal result (mrCancel
  // when closed without one).
  virtual TModalResult ShowModal();
  bool Modal() const { return FModal; }
  void Show();
  void Hide();
  // Asks OnCloseQuery, then OnClose; a modal form ends its loop, another is
  // hidden (or freed with caFree, later).
  void Close();
  // True while a stored layout is being loaded into the form.
  bool Creating() const { return FCreating; }
  void SetCreating(bool v) { FCreating = v; }
  // To be called once the most derived constructor has finished: fires
  // OnCreate (through DoCreate) unless OldCreateOrder asked for it earlier.
  virtual void AfterConstruction();
  // Fires OnCreate; an exception from it goes to HandleCreateException,
  // which shows it and returns true by default, or is raised on with false.
  virtual void DoCreate();
  virtual bool HandleCreateException(const std::exception& E);
  // Fires OnShow when the form is about to show.
  virtual void DoShow();
  bool OldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool v) { FOldCreateOrder = v; }

  // --- Stored layouts ---
  // Applies the stored layout registered for the class name (controls,
  // properties, OldCreateOrder) through ReadState; false when there is none.
  bool InitInheritedComponent(StringView ClassName);
  virtual void ReadState(TReader& Reader);

  // Sends (handles at once) or posts (queues) a message to the form.
  std::intptr_t Perform(std::uint32_t Msg, std::uintptr_t WParam = 0, std::intptr_t LParam = 0);
  bool PostMessage(std::uint32_t Msg, std::uintptr_t WParam = 0, std::intptr_t LParam = 0);
  // A handler for a message number of our own choosing; WndProc calls it.
  void SetMessageHandler(std::uint32_t Msg, TMessageHandler handler);

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TNotifyHandler OnShow, OnHide, OnActivate, OnDeactivate, OnCreate, OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // --- Window system side ---
  void WindowMessage(TMessage& message) override;
  void PaintWindow(TCanvas& canvas) override;
  // The form's message handling; descendants extend it and call it for the rest.
  virtual void WndProc(TMessage& Message);
  // Paints over the controls, after they have been painted.
  virtual void PaintAfterControls(TCanvas& Canvas) {}
  virtual void Activate();
  virtual void Deactivate();

  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 protected:
  // The window's look; the owner window only when the window exists.
  friend class TControl;
  TWindowParams WindowParams();
  // The window that owns this one: the owner form's, else the application's.
  HWND OwnerWindow();
  // Width and height from the client size and the window's frame.
  TSize UpdateOuterSize();
  void TextChanged() override;
  void UpdateWindow();
  void PlaceWindow();
  void HandleKeyDown(std::uint16_t key, TShiftState shift);
  // True when the character was taken (by a handler, the focused control or
  // an accelerator).
  bool HandleChar(char16_t ch, bool sys);
  // Enter, Escape: the default or cancel button, unless the focused control wants the key.
  bool DialogKey(std::uint16_t key);
  TControl* FindButton(bool wantDefault);
  TControl* FindAccelerator(TWinControl* in, char16_t ch);
  void MouseInput(std::uint32_t msg, TPoint at);
  void MouseButtonInput(TMouseButton button, bool down, TPoint at);

  HWND FHandle = 0;
  TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
  TBorderIcons FBorderIcons;
  TFormStyle FFormStyle = TFormStyle::fsNormal;
  TPosition FPosition = TPosition::poDesigned;
  int FClientWidth = 0, FClientHeight = 0;
  bool FKeyPreview = false;
  TBitmap FIcon;
  TControl* FActiveControl = nullptr;
  TCustomForm* FPopupParent = nullptr;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FCreating = false;
  bool FOldCreateOrder = false;
  // The control that got the press of FCaptureButton, while FPressing.
  TControl* FCapture = nullptr;
  TMouseButton FCaptureButton = TMouseButton::mbLeft;
  bool FPressing = false;
  TControl* FHover = nullptr;
  std::map<std::uint32_t, TMessageHandler> FHandlers;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The process's application: its title and hidden window, the events of
// the whole program, the forms and the message loop.
class TApplication : public TComponent, public TWindowSink {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  const String& Title() const { return FTitle; }
  void SetTitle(StringView t);
  // The hidden application window; made on first use.
  HWND Handle();

  TCustomForm* MainForm() const { return FMainForm; }
  void SetMainForm(TCustomForm* f) { FMainForm = f; }
  // The form that was activated last and is still shown; null when none.
  TCustomForm* ActiveForm() const;

  // Handles one message, waiting for one. False when there is none (headless:
  // nothing left to wait for) or the loop was told to end.
  bool HandleMessage();
  // Handles what is queued now, without waiting.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles messages until Terminate.
  void Run();

  // Reaches OnException, or ShowException when there is no handler.
  void HandleException(TObject* Sender, const std::exception& E);
  // The exception's message in a message box (headless: kept in
  // ShownExceptions).
  virtual void ShowException(const std::exception& E);
  std::vector<String> ShownExceptions;

  // Minimises every form (and the application) or brings them back; the
  // events tell after the fact.
  void Minimize();
  void Restore();
  bool Minimized() const { return FMinimized; }

  // Help by context number: OnHelp, when set, gets it; true when handled.
  bool HelpContext(int Context);
  int HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(int ms) { FHintHidePause = ms; }
  int ModalLevel() const { return FModalLevel; }

  TExceptionEvent OnException;
  TNotifyHandler OnMinimize, OnRestore;
  std::function<bool(int Context)> OnHelp;

  void WindowMessage(TMessage& message) override;
  void PaintWindow(TCanvas&) override {}

  // --- Used by forms and timers ---
  void AddForm(TCustomForm* f);
  void RemoveForm(TCustomForm* f);
  const std::vector<TCustomForm*>& Forms() const { return FForms; }
  // The form of this application whose window that is; null when none.
  TCustomForm* FindForm(HWND Window) const;
  void FormActivated(TCustomForm* f);
  void EnterModal() { ++FModalLevel; }
  void LeaveModal() { --FModalLevel; }
  // Timers run on the application window: tick every interval milliseconds
  // until RemoveTimer.
  std::uintptr_t AddTimer(unsigned IntervalMs, std::function<void()> tick);
  void RemoveTimer(std::uintptr_t id);

 private:
  String FTitle;
  HWND FHandle = 0;
  TCustomForm* FMainForm = nullptr;
  TCustomForm* FActive = nullptr;
  std::vector<TCustomForm*> FForms;
  bool FTerminated = false, FMinimized = false;
  int FHintHidePause = 2500;
  int FModalLevel = 0;
  std::map<std::uintptr_t, std::function<void()>> FTimers;
  std::uintptr_t FNextTimer = 1;
};

// The screen: its resolution and size, and the active form.
class TScreen {
 public:
  int PixelsPerInch() const;
  int Width() const;
  int Height() const;
  TCustomForm* ActiveForm() const;
  int FormCount() const;
  TCustomForm* Forms(int Index) const;
};

// The process's application and screen; Application() is made on first use
// and lives until ReleaseApplication.
TApplication& Application();
TScreen& Screen();
void ReleaseApplication();

}  // namespace kv
