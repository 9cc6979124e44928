#include "failure/KVExceptions.h"

#include "failure/KVLocalFilesLocation.h"
#include "logging/KVFileLogger.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "text/SysUtils.h"
#include "text/_4Files.h"
#include "ui/KVMessageDlg.h"

namespace kv {

namespace {

std::unique_ptr<TExceptionHandler> gHandler;
std::unique_ptr<TKVStringList> gReportedModules;
bool gDevelopmentEnvironment = false;
// Worked out at start, so that a fault that ends the process need not.
String gFailureLog;

// The program runs as an executable; the library case is never set up here.
constexpr bool kInsideLibrary = false;

String FileNameOnly(const String& Path) {
  const std::size_t p = Path.find_last_of(u"\\/:");
  return p == String::npos ? Path : Path.substr(p + 1);
}

// "<program>, [<version>]"
String ProgramLine() {
  const String program = platform::ModuleFileName();
  return program + u", [" + GetModuleVersionText(program) + u"]";
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

void AppendToFailureLog(const TKVStringList& Lines) {
  const String file = FailureLogFileName();
  // A fresh account may not have its local application data folder yet.
  const std::size_t slash = file.find_last_of(u'\\');
  if (slash != String::npos && !DirectoryExistsEx(file.substr(0, slash))) ForceWritableDirectory(file.substr(0, slash));
  AppendToLogFile(file, JoinLines(Lines, false), true, kFailureLogMaxSize, true, false);
}

// A fault that ends the process still leaves its report in the failure log.
void WriteFatalFaultReport(const TFatalFault& Fault) {
  try {
    TKVStringList lines;
    lines.Add(FormatDateTime(u"dd.mm.yyyy hh:nn", Now()));
    lines.Add(ProgramLine());
    lines.Add(u"");
    lines.Add(Fault.Description);
    lines.Add(u"");
    for (const String& l : Fault.StackLines) lines.Add(l);
    AppendToFailureLog(lines);
  } catch (...) {
  }
}

}  // namespace

TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner) {
  FPrevious = Application().OnException;
  Application().OnException = [this](TObject* Sender, const std::exception& E) {
    if (OnException)
      OnException(Sender, E);
    else
      Application().ShowException(E);
  };
}

TApplicationEvents::~TApplicationEvents() { Application().OnException = FPrevious; }

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
  if (!gFailureLog.empty()) return gFailureLog;
  return GetLocalFilesFolder(GetPersonalFolder(), cAPPDATA) + u"\\" + String(kFailureLogName);
}

void BuildExceptionReport(const std::exception& E, TKVStringList& Lines) {
  if (kInsideLibrary && gReportedModules) {
    const String module = platform::ModuleFileName().substr(0, 260);
    const String map = ExtractFileNameWithoutExt(module, false) + u".map";
    const String entry = module + (FileExistsEx(map) ? u" (map)" : u" (no map)");
    gReportedModules->Add(entry);
  }
  const String message = ExceptionMessage(E);
  if (message.empty()) return;
  Lines.Add(FormatDateTime(u"dd.mm.yyyy hh:nn", Now()));
  Lines.Add(ProgramLine());
  if (kInsideLibrary) Lines.Add(platform::ModuleFileName() + u", [" + GetModuleVersionText(platform::ModuleFileName()) + u"]");
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
      AppendToFailureLog(lines);
    } catch (...) {
    }
  }
  if (ShowDialog && !dynamic_cast<const EAbort*>(&E)) ShowExceptionDialog(E);
}

void LibraryExceptionNotify(const TRaisedException& E) {
  if (E.FrameworkException) ReportException(*E.FrameworkException, false);
}

TExceptionHandler* ExceptionHandler() { return gHandler.get(); }
TKVStringList* ReportedModules() { return gReportedModules.get(); }
bool RunningInDevelopmentEnvironment() { return gDevelopmentEnvironment; }

void ExceptionsModule_Initialize() {
  if (platform::LocaleLowerCase(FileNameOnly(platform::ModuleFileName())) == u"bds.exe") {
    gDevelopmentEnvironment = true;
    return;
  }
  gReportedModules = std::make_unique<TKVStringList>();
  gReportedModules->SetSorted(true);
  gReportedModules->SetDuplicates(TDuplicates::dupIgnore);
  StackTrackingOptions().Include(stExceptFrame);
  StackTrackingOptions().Include(stRawMode);
  if (!kInsideLibrary) gHandler = std::make_unique<TExceptionHandler>();
  try {
    gFailureLog = GetLocalFilesFolder(GetPersonalFolder(), cAPPDATA) + u"\\" + String(kFailureLogName);
  } catch (...) {
    gFailureLog.clear();
  }
  SetFatalFaultHandler(&WriteFatalFaultReport);
  StartExceptionTracking();
  if (kInsideLibrary) RegisterExceptionNotifier(&LibraryExceptionNotify);
}

void ExceptionsModule_Finalize() {
  if (gDevelopmentEnvironment) return;
  gReportedModules.reset();
  StopExceptionTracking();
  SetFatalFaultHandler(nullptr);
  gHandler.reset();
  gFailureLog.clear();
}

}  // namespace kv
