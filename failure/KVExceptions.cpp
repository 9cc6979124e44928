#include "failure/KVExceptions.h"

#include "failure/KVLocalFilesLocation.h"
#include "logging/KVFileLogger.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "text/SysUtils.h"
#include "text/_4Files.h"
#include "ui/KVMessageDlg.h"

#include <atomic>
#include <thread>

namespace kv {

namespace {

std::unique_ptr<TExceptionHandler> gHandler;
std::unique_ptr<TKVStringList> gReportedModules;
bool gDevelopmentEnvironment = false;
// What every report names (the program and its version) and where a fault
// that ends the process leaves its report, worked out once, by the first
// report of any kind: a launch that fails at nothing loads neither the
// shell nor the version library for them.
struct TReportContext {
  String ProgramLine;  // "<program>, [<version>]"
  String FailureLog;   // empty when it cannot be told
};
TReportContext gContext;
// 0: not yet, 1: being worked out, 2: ready (gContext no longer changes).
std::atomic<int> gContextState{0};
thread_local bool tWorkingOutContext = false;

// The context, worked out now unless another call is at it. Wait: a call
// on another thread is waited for; otherwise (a fault that ends the
// process, whose thread may have faulted in the middle of working it out,
// or may hold a lock it needs) nothing is waited for and null comes back.
const TReportContext* ReportContext(bool Wait) {
  for (;;) {
    int state = gContextState.load(std::memory_order_acquire);
    if (state == 2) return &gContext;
    if (state == 1) {
      if (!Wait || tWorkingOutContext) return nullptr;
      std::this_thread::yield();
      continue;
    }
    if (gContextState.compare_exchange_weak(state, 1, std::memory_order_acq_rel)) break;
  }
  // Whatever fails on the way is left empty: the state must reach "ready",
  // or every later report would wait for it.
  tWorkingOutContext = true;
  try {
    const String program = platform::ModuleFileName();
    String version;
    try {
      version = GetModuleVersionText(program);
    } catch (...) {
    }
    gContext.ProgramLine = program + u", [" + version + u"]";
    gContext.FailureLog = FailureLogFileName();
  } catch (...) {
    gContext.FailureLog.clear();
  }
  tWorkingOutContext = false;
  gContextState.store(2, std::memory_order_release);
  return &gContext;
}

String ProgramLine() {
  const TReportContext* context = ReportContext(true);
  return context ? context->ProgramLine : platform::ModuleFileName() + u", []";
}

String JoinLines(const TKVStringList& Lines, bool FinalLineEnd) {
  String text;
  for (int i = 0; i < Lines.Count(); ++i) {
    if (i > 0) text += u"\r\n";
    text += Lines.Strings(i);
  }
  if (FinalLineEnd && Lines.Count() > 0) text += u"\r\n";
  return text;
}

void AppendToFailureLog(const TKVStringList& Lines, const String& file) {
  // A fresh account may not have its local application data folder yet.
  const std::size_t slash = file.find_last_of(u'\\');
  if (slash != String::npos && !DirectoryExistsEx(file.substr(0, slash))) ForceWritableDirectory(file.substr(0, slash));
  AppendToLogFile(file, JoinLines(Lines, false), true, kFailureLogMaxSize, true, false);
}

// A fault that ends the process still leaves its report in the failure log.
void WriteFatalFaultReport(const TFatalFault& Fault) {
  try {
    TKVStringList lines;
    // Worked out here only when no report came first and nothing is at it.
    const TReportContext* context = ReportContext(false);
    if (!context || context->FailureLog.empty()) return;
    lines.Add(FormatDateTime(u"dd.mm.yyyy hh:nn", Now()));
    lines.Add(context->ProgramLine);
    lines.Add(u"");
    lines.Add(Fault.Description);
    lines.Add(u"");
    for (const String& l : Fault.StackLines) lines.Add(l);
    AppendToFailureLog(lines, context->FailureLog);
  } catch (...) {
  }
}

}  // namespace

namespace {
std::vector<TApplicationEvents*> gAppEvents;
TExceptionEvent gEventBefore;
}  // namespace

TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner) {
  if (gAppEvents.empty()) {
    gEventBefore = Application().OnException;
    Application().OnException = [](TObject* Sender, const std::exception& E) {
      TApplicationEvents* last = gAppEvents.empty() ? nullptr : gAppEvents.back();
      if (last && last->OnException)
        last->OnException(Sender, E);
      else
        Application().ShowException(E);
    };
  }
  gAppEvents.push_back(this);
}

TApplicationEvents::~TApplicationEvents() {
  gAppEvents.erase(std::remove(gAppEvents.begin(), gAppEvents.end(), this), gAppEvents.end());
  if (gAppEvents.empty()) {
    Application().OnException = std::move(gEventBefore);
    gEventBefore = nullptr;
  }
}

TExceptionHandler::TExceptionHandler() : AppEvents(std::make_unique<TApplicationEvents>(nullptr)) {
  AppEvents->OnException = [this](TObject* Sender, const std::exception& E) { HandleException(Sender, E); };
}

TExceptionHandler::~TExceptionHandler() = default;

void TExceptionHandler::HandleException(TObject*, const std::exception& E) { ReportException(E, true); }

String ExceptionMessage(const std::exception& E) {
  if (const auto* k = dynamic_cast<const Exception*>(&E)) return k->Message();
  return FromUtf8(E.what());
}

String FailureLogFileName() {
  return GetLocalFilesFolder(GetPersonalFolder(), cAPPDATA) + u"\\" + String(kFailureLogName);
}

void BuildExceptionReport(const std::exception& E, TKVStringList& Lines) {
  const String message = ExceptionMessage(E);
  if (message.empty()) return;
  Lines.Add(FormatDateTime(u"dd.mm.yyyy hh:nn", Now()));
  Lines.Add(ProgramLine());
  Lines.Add(u"");
  Lines.Add(message);
  Lines.Add(u"");
  // The stack of E itself; should it be gone, that of the thread's last
  // exception.
  std::vector<String> stack = ExceptionStackLines(E);
  if (stack.empty()) stack = LastExceptionStackLines();
  for (const String& line : stack) Lines.Add(line);
}

void ReportException(const std::exception& E, bool ShowDialog) {
  if (ExceptionMessage(E).empty()) return;
  // A failure while the error dialog is up (raised by a timer, say) is
  // reported too, but not shown in yet another dialog over the first.
  static int showing = 0;
  if (showing > 0) ShowDialog = false;
  TKVStringList lines;
  BuildExceptionReport(E, lines);
  // Logging never reports its own failures: one that cannot log still
  // leaves the failure log and the dialog.
  try {
    AddToLog(tmlError, lcApplication, u"", JoinLines(lines, true), false);
  } catch (...) {
  }
  if (lines.Count() > 0) {
    try {
      AppendToFailureLog(lines, FailureLogFileName());
    } catch (...) {
    }
  }
  if (ShowDialog && !dynamic_cast<const EAbort*>(&E)) {
    ++showing;
    try {
      ShowExceptionDialog(E);
    } catch (...) {
      --showing;
      throw;
    }
    --showing;
  }
}

void LibraryExceptionNotify(const TRaisedException& E) {
  if (E.FrameworkException) ReportException(*E.FrameworkException, false);
}

TExceptionHandler* ExceptionHandler() { return gHandler.get(); }
TKVStringList* ReportedModules() { return gReportedModules.get(); }
bool RunningInDevelopmentEnvironment() { return gDevelopmentEnvironment; }

void ExceptionsModule_Initialize() {
  if (platform::CasedTextIs(ExtractFileName(platform::ModuleFileName()), u"bds.exe", false)) {
    gDevelopmentEnvironment = true;
    return;
  }
  gReportedModules = std::make_unique<TKVStringList>();
  gReportedModules->SetSorted(true);
  gReportedModules->SetDuplicates(TDuplicates::dupIgnore);
  StackTrackingOptions().Include(stExceptFrame);
  StackTrackingOptions().Include(stRawMode);
  gHandler = std::make_unique<TExceptionHandler>();
  // The failure log's folder and the program's version are looked up when
  // a report is written: a launch that fails at nothing loads neither the
  // shell nor the version library for them.
  SetFatalFaultHandler(&WriteFatalFaultReport);
  StartExceptionTracking();
}

void ExceptionsModule_Finalize() {
  if (gDevelopmentEnvironment) return;
  gReportedModules.reset();
  StopExceptionTracking();
  SetFatalFaultHandler(nullptr);
  gHandler.reset();
  // A later start-up works the context out afresh (the local folders may
  // have been pointed elsewhere).
  int ready = 2;
  if (gContextState.compare_exchange_strong(ready, 1)) {
    gContext = TReportContext();
    gContextState.store(0);
  }
}

}  // namespace kv
