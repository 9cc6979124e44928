// A small program for tests with real keyboard input (xdotool on Xvfb under
// Wine): shows a dialog titled "KV Keyboard Probe" and prints, when it
// closes, what the keys did.
// Usage: kv_keyboard_probe dialog|accelerator|exception
#include <cstdio>
#include <string>

#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "toolkit/win32/Win32WindowSystem.h"
#include "ui/KVForms.h"
#include "ui/KVMessageDlg.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

int Dialog() {
  const TaskDialogButtonEntry buttons[] = {{10, u"&Weiter"}};
  TaskDialogConfig c{};
  c.cbSize = kTaskDialogConfigSize;
  c.pszWindowTitle = u"KV Keyboard Probe";
  c.pszMainInstruction = u"Tasten";
  c.pszVerificationText = u"&Merken";
  c.cButtons = 1;
  c.pButtons = buttons;
  c.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
  int button = 0;
  std::int32_t verification = 0;
  const HRESULT32 hr = EmulatedTaskDialogIndirect(&c, &button, nullptr, &verification);
  std::printf("result=%d button=%d verification=%d\n", static_cast<int>(hr), button, static_cast<int>(verification));
  std::printf("clipboard=%s\n", ToUtf8(WindowSystem().ClipboardText()).c_str());
  return hr == 0 ? 0 : 1;
}

int Accelerator() {
  TForm form(nullptr);
  form.SetCaption(u"KV Keyboard Probe");
  form.SetPosition(TPosition::poScreenCenter);
  form.SetClientWidth(300);
  form.SetClientHeight(80);
  auto button = [&](const char16_t* caption, int left, TModalResult result) {
    auto* b = new TThemedButton(&form);
    b->SetParent(&form);
    b->SetCaption(caption);
    b->SetBounds(left, 20, 90, 25);
    b->SetModalResult(result);
    return b;
  };
  button(u"&Zur\u00FCck", 10, 20);
  button(u"&Weiter", 110, 21);
  button(u"Abbrechen", 210, mrCancel)->SetCancel(true);
  std::printf("result=%d\n", form.ShowModal());
  return 0;
}

// The exception dialog, and the message routine under it with its result.
int ExceptionDialog() {
  SetApplicationTitle(u"KV Keyboard Probe");
  ShowExceptionDialog(EConvertError(u"Division by zero"));
  std::printf("exception dialog closed\n");
  std::printf("result=%d\n", SimpleMessageDialog(u"Division by zero", mtError, {mbOK}));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
  if (mode != "dialog" && mode != "accelerator" && mode != "exception") {
    std::fprintf(stderr, "Usage: kv_keyboard_probe dialog|accelerator|exception\n");
    return 2;
  }
  SetWindowSystem(CreateWin32WindowSystem());
  FormUtilsModule_Initialize();
  LanguageModule_Initialize();
  TranslationModule_Initialize();
  const int rc = mode == "dialog" ? Dialog() : mode == "accelerator" ? Accelerator() : ExceptionDialog();
  std::fflush(stdout);
  TranslationModule_Finalize();
  LanguageModule_Finalize();
  FormUtilsModule_Finalize();
  ReleaseApplication();
  SetWindowSystem(nullptr);
  return rc;
}
