// A program built on the launcher's start-up that fails on purpose, for the
// tests of the road of a failure:
//   handler  an exception raised three calls deep inside a message handler
//            while a modal form is shown: it is reported, the error dialog
//            shows and is closed (headless: by scripted input; on real
//            windows: by a posted click), the program ends with 0;
//   launch   an exception escaping the program's own work: last resort, 1;
//   startup  an exception from a module's start-up: last resort, 1.
// Add --headless to run on the headless system with scripted input. It
// writes what it saw into OUTPUT: "failure log: <file>", "dialog: <message>".
// Usage: kv_failure_road MODE OUTPUT [--headless]
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "failure/KVExceptions.h"
#include "launcher/Launcher.h"
#include "launcher/Startup.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

constexpr std::uint32_t WM_FAIL = WM_APP + 7;

KV_DECLARE_EXCEPTION(EDivByZero, Exception)

[[gnu::noinline]] void RaiseDivisionByZero() { throw EDivByZero(u"Division by zero"); }
[[gnu::noinline]] void ComputeShare() {
  RaiseDivisionByZero();
  std::puts("not reached");
}
[[gnu::noinline]] void HandleFailMessage(TMessage&) {
  ComputeShare();
  std::puts("not reached");
}

bool gHeadless = false;
std::FILE* gOut = stdout;

void Say(const std::string& line) {
  std::fprintf(gOut, "%s\n", line.c_str());
  std::fflush(gOut);
}

// Closes the error dialog once it is up, the way the mode asks; then the form.
void CloseWhatIsShown(TForm& form) {
  auto* dialog = dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm());
  if (!dialog) return;
  Say("dialog: " + ToUtf8(dialog->MainInstructionLabel()->PlainText()));
  if (gHeadless)
    Headless().PressKey(VK_RETURN);
  else
    dialog->PostMessage(TDM_CLICK_BUTTON, kIdOk);
}

void HandlerBody() {
  Say("failure log: " + ToUtf8(FailureLogFileName()));
  TForm form(nullptr);
  form.SetCaption(u"KV Failure Road");
  form.SetPosition(TPosition::poScreenCenter);
  form.SetMessageHandler(WM_FAIL, &HandleFailMessage);
  // Looks for the error dialog now and then; once it is gone again, the
  // form closes.
  bool seen = false;
  int ticks = 0;
  TTimer timer(nullptr);
  timer.SetInterval(200);
  timer.OnTimer = [&](TObject*) {
    if (dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm())) {
      if (!seen) CloseWhatIsShown(form);
      seen = true;
    } else if (seen || ++ticks == 25) {
      timer.SetEnabled(false);
      form.Close();
    }
  };
  form.PostMessage(WM_FAIL);
  form.ShowModal();
  for (const String& shown : Application().ShownExceptions) Say("application showed: " + ToUtf8(shown));
  Say("form closed");
}

void LaunchBody() { ComputeShare(); }

void FailingStart() { throw EConvertError(u"Module start failed"); }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc >= 3 ? argv[1] : "";
  if (argc >= 3 && !(gOut = std::fopen(argv[2], "w"))) return 3;
  gHeadless = argc >= 4 && std::strcmp(argv[3], "--headless") == 0;
  if (gHeadless) SetWindowSystem(std::make_unique<THeadlessWindowSystem>(true));
  if (mode == "handler") return RunProgram(&HandlerBody, !gHeadless);
  if (mode == "launch") return RunProgram(&LaunchBody, !gHeadless);
  if (mode == "startup") {
    AddProgramModuleStep({"failing", &FailingStart, nullptr});
    return RunProgram(&HandlerBody, !gHeadless);
  }
  std::fprintf(stderr, "Usage: kv_failure_road handler|launch|startup OUTPUT [--headless]\n");
  return 2;
}
