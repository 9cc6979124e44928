// The application's exception handler: every exception that the message
// handling catches and nobody handles is written as a failure report into
// the diagnostic log and the failure log "RTSFail.log", with the stack
// recorded when it was raised, and shown to the user. The module sets this
// up at start-up and removes it at shutdown.
#pragma once

#include <exception>
#include <memory>

#include "diagnostics/KVStackTrace.h"
#include "text/KVTypes.h"
#include "toolkit/Controls.h"

namespace kv {

// Delivers the application's unhandled-exception event while it exists:
// of several, the one made last; when the last one goes, the event is given
// back as it was before the first.
class TApplicationEvents : public TComponent {
 public:
  explicit TApplicationEvents(TComponent* AOwner);
  ~TApplicationEvents() override;
  TExceptionEvent OnException;
};

class TExceptionHandler {
 public:
  TExceptionHandler();
  ~TExceptionHandler();
  void HandleException(TObject* Sender, const std::exception& E);
  std::unique_ptr<TApplicationEvents> AppEvents;
};

// The failure log's name and the size beyond which it is moved aside.
inline constexpr StringView kFailureLogName = u"RTSFail.log";
constexpr std::int32_t kFailureLogMaxSize = 1048576;

// The exception's message: the framework's message text, else what().
String ExceptionMessage(const std::exception& E);
// Builds, logs and stores the failure report; shows the dialog when
// ShowDialog (never for EAbort). An exception with an empty message is not
// reported at all.
void ReportException(const std::exception& E, bool ShowDialog);
// The report: time, program and version, message, the stack recorded when
// E was raised. Nothing for an empty message.
void BuildExceptionReport(const std::exception& E, TKVStringList& Lines);
// The notifier of a library, which reports every raised exception without
// a dialog. A program never registers it.
void LibraryExceptionNotify(const TRaisedException& E);

// The handler while the module runs (null inside "bds.exe").
TExceptionHandler* ExceptionHandler();
TKVStringList* ReportedModules();
bool RunningInDevelopmentEnvironment();
// The failure log of this user: "RTSFail.log" in the local application data folder.
String FailureLogFileName();

void ExceptionsModule_Initialize();
void ExceptionsModule_Finalize();

}  // namespace kv
