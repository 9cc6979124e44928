#include "logging/KVFileLogger.h"

#include <exception>
#include <utility>

#include "diagnostics/KVStackTrace.h"
#include "logging/KVDataObjectsFactory.h"
#include "platform/Process.h"
#include "system/KVRegistry.h"
#include "text/_4Files.h"

namespace kv {

// --- File writer factory --------------------------------------------------------------

namespace {

std::mutex gFactoryLock;
TFileLoggerFactory gFactory;

IKVLoggerPtr MakeFileLogger(const IKVFileLoggerSettingsPtr& settings) {
  TFileLoggerFactory factory;
  {
    std::lock_guard<std::mutex> guard(gFactoryLock);
    factory = gFactory;
  }
  if (factory) return factory(settings);
  return std::make_shared<TKVFileLogger>(settings);
}

}  // namespace

void SetFileLoggerFactory(TFileLoggerFactory Factory) {
  std::lock_guard<std::mutex> guard(gFactoryLock);
  gFactory = std::move(Factory);
}

// --- Logging thread --------------------------------------------------------------------

TKVFileLoggerThread::TKVFileLoggerThread(TEventPtr StartEvent, TEventPtr TerminateEvent,
                                         IKVFileLoggerSettingsPtr FileLoggerSettings)
    : FKVFileLogger(MakeFileLogger(FileLoggerSettings)),
      FStartEvent(std::move(StartEvent)),
      FTerminateEvent(std::move(TerminateEvent)),
      FFileLoggerSetings(std::move(FileLoggerSettings)) {}

TKVFileLoggerThread::~TKVFileLoggerThread() = default;

std::shared_ptr<TKVFileLoggerThread> TKVFileLoggerThread::Create(TEventPtr StartEvent, TEventPtr TerminateEvent,
                                                                 IKVFileLoggerSettingsPtr FileLoggerSettings) {
  std::shared_ptr<TKVFileLoggerThread> thread(
      new TKVFileLoggerThread(std::move(StartEvent), std::move(TerminateEvent), std::move(FileLoggerSettings)));
  // The running body holds the object too and lets go as its last act, so
  // the object lives until the thread and the controller are both done.
  thread->FThread.Start([self = thread]() mutable {
    self->Run();
    self.reset();
  });
  return thread;
}

bool TKVFileLoggerThread::Queue(String Line, const String* More) {
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FClosed) return false;
    wasEmpty = FLogStrings.empty();
    FLogStrings.push_back(std::move(Line));
    if (More) FLogStrings.push_back(*More);
  }
  // A queue that already held lines has been signalled since the thread last
  // took it, and the thread takes every line when it wakes: one signal per
  // batch is enough.
  if (wasEmpty) Signal();
  return true;
}

bool TKVFileLoggerThread::AddToFileLog(String LogStr) { return Queue(std::move(LogStr), nullptr); }

bool TKVFileLoggerThread::AddToFileLog(const IKVLogEntry& LogEntry) {
  const String& stack = LogEntry.GetStackTrace();
  return Queue(TKVLoggingHelper::LogEntryToString(LogEntry), stack.empty() ? nullptr : &stack);
}

void TKVFileLoggerThread::Signal() { FHandles.Set(); }

void TKVFileLoggerThread::Terminate() {
  FTerminated.store(true);
  FTerminateRequest.Set();
}

void TKVFileLoggerThread::Flush(bool Last) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (Last) FClosed = true;
    FBatch.swap(FLogStrings);
  }
  // Written outside the lock: producers never wait for the disk.
  for (const String& line : FBatch) {
    FKVFileLogger->WriteText(line);
    FLinesWritten.fetch_add(1, std::memory_order_relaxed);
  }
  FBatch.clear();
  // After a burst the batch's room is not kept for ever.
  if (FBatch.capacity() > 4096) std::vector<String>().swap(FBatch);
}

void TKVFileLoggerThread::Execute() {
  FStartEvent->Set();
  while (!Terminated()) {
    platform::WaitForAnyEvent({&FHandles, &FTerminateRequest}, kWaitTimeoutMs);
    Flush();
  }
  // Every line accepted up to now is written before the last line; from
  // here on no line is accepted.
  Flush(true);
  const IKVLogEntryPtr last = TKVLogEntry::GetLogEntry(u"TKVFileLoggerThread terminated");
  FKVFileLogger->WriteText(TKVLoggingHelper::LogEntryToString(*last));
}

void TKVFileLoggerThread::Run() {
  MarkLoggingThread(true);
  try {
    Execute();
  } catch (...) {
    // An error ends the run silently.
  }
  {
    // Whatever ended the run, later lines are refused instead of piling up.
    std::lock_guard<std::mutex> guard(FLock);
    FClosed = true;
    std::vector<String>().swap(FLogStrings);
  }
  MarkLoggingThread(false);
  FTerminateEvent->Set();
}

// --- Log controller -------------------------------------------------------------------

// What the configuration's save callback reaches: the controller while it
// lives. Someone may keep the configuration object longer than the controller.
struct TKVLogController::RestartTarget {
  std::mutex Lock;
  TKVLogController* Controller = nullptr;
};

TKVLogController::TKVLogController(StringView ProgramFileName)
    : FRestartTarget(std::make_shared<RestartTarget>()) {
  FRestartTarget->Controller = this;
  std::weak_ptr<RestartTarget> target = FRestartTarget;
  auto restart = [target](const TKVLogProps& OldConfig, const TKVLogProps& NewConfig) {
    const auto t = target.lock();
    if (!t) return;
    std::lock_guard<std::mutex> guard(t->Lock);
    if (t->Controller) t->Controller->RestartIfNeeded(OldConfig, NewConfig);
  };
  String lowered(ProgramFileName);
  for (char16_t& c : lowered)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  FLoadedInIDE = lowered == u"bds.exe";
  // On the very first run this saves the defaults, and the callback finds
  // logging switched off.
  FLogConfig = TKVLogConfigDefault::Create(restart);
  FLogConfig->Load();
  FLoggingActive.store(FLogConfig->GetLogProps().LogEnabled && !FLoadedInIDE);
  ClearOldLogs(FLogConfig.get());
  if (FLoggingActive.load()) StartLogging();
}

TKVLogController::~TKVLogController() {
  {
    std::lock_guard<std::mutex> guard(FRestartTarget->Lock);
    FRestartTarget->Controller = nullptr;
  }
  try {
    StopLogging();
  } catch (...) {
  }
  // A thread that never reported its start is still asked to end; it finishes
  // on its own.
  if (const auto thread = CurrentThread()) thread->Terminate();
}

std::shared_ptr<TKVFileLoggerThread> TKVLogController::CurrentThread() const {
  std::lock_guard<std::mutex> guard(FThreadLock);
  return FThread;
}

bool TKVLogController::Started() const {
  std::lock_guard<std::mutex> guard(FStateLock);
  return FStarted;
}

bool TKVLogController::IsLogged(TMessageLogType LogType, TLogChannel LogChannel, StringView Table,
                                StringView MessageStr) const {
  return kv::IsLogged(FLogConfig.get(), LogType, LogChannel, Table, MessageStr);
}

bool TKVLogController::IsSQLLogged(StringView Table, StringView MessageStr) const {
  if (!FLogConfig) return true;
  return kv::IsSQLLogged(FLogConfig->GetLogProps().LogSQLProps, Table, MessageStr);
}

[[gnu::noinline]] void TKVLogController::AddToFileLog(TMessageLogType LogType, TLogChannel LogChannel,
                                                       StringView Table, StringView MessageStr,
                                                       bool WithStacktrace) {
  if (FLoggingActive.load(std::memory_order_relaxed) && IsLogged(LogType, LogChannel, Table, MessageStr))
    AddToFileLog(LogType, MessageStr, WithStacktrace);
}

[[gnu::noinline]] void TKVLogController::AddToFileLog(TMessageLogType LogType, StringView MessageStr,
                                                       bool WithStacktrace) {
  if (!FLoggingActive.load(std::memory_order_relaxed)) return;
  try {
    const auto thread = CurrentThread();
    if (!thread) return;
    if (!WithStacktrace) {
      // The entry's line alone, made without the entry object.
      thread->AddToFileLog(TKVLoggingHelper::LogEntryLine(Now(), platform::CurrentThreadId(), MessageStr, LogType));
      return;
    }
    TStringList lines;
    GetCurrentStackTrace(lines);
    const IKVLogEntryPtr entry =
        TKVLogEntry::GetLogEntry(Now(), platform::CurrentThreadId(), MessageStr, lines.Text(), LogType);
    thread->AddToFileLog(*entry);
  } catch (...) {
    // The producer never sees an error of logging.
  }
}

void TKVLogController::AddToFileLog(StringView MessageStr) { AddToFileLog(tmlMessage, MessageStr, false); }

void TKVLogController::StartLogging() {
  std::lock_guard<std::mutex> guard(FStateLock);
  StartLoggingLocked();
}

void TKVLogController::StopLogging() {
  std::lock_guard<std::mutex> guard(FStateLock);
  StopLoggingLocked();
}

void TKVLogController::StartLoggingLocked() {
  if (!FStarted && !FLoadedInIDE) {
    // Active even if the thread does not report its start in time: lines
    // are then queued on it and written once it runs.
    FLoggingActive.store(true);
    StartThread();
  }
  if (FStarted) {
    const auto thread = CurrentThread();
    AddToFileLog(FormatText(u"FileLoggerThread started, ThreadId = %d, Version = %s",
                            {std::int64_t{thread ? thread->ThreadID() : 0}, GetModuleVersionText(u"")}));
    LogSettings();
  }
}

void TKVLogController::StopLoggingLocked() {
  if (!FStarted) return;
  AddToFileLog(u"FileLoggerThread wird beendet...");
  StopThread();
  FLoggingActive.store(false);
}

void TKVLogController::StartThread() {
  FStartEvent = std::make_shared<platform::Event>(false, false);
  FTerminateEvent = std::make_shared<platform::Event>(false, false);
  const IKVFileLoggerSettingsPtr settings = TKVDataObjectsFactory::CreateDefaultFileLoggerSettings();
  settings->SetLogFolder(FLogConfig ? FLogConfig->GetLogFolder() : String());
  auto thread = TKVFileLoggerThread::Create(FStartEvent, FTerminateEvent, settings);
  std::shared_ptr<TKVFileLoggerThread> previous;
  {
    std::lock_guard<std::mutex> guard(FThreadLock);
    previous = std::exchange(FThread, std::move(thread));
  }
  // A thread that never reported its start is not left running beside the
  // new one; it ends on its own.
  if (previous) previous->Terminate();
  FStarted = FStartEvent->Wait(FHandshakeTimeoutMs.load());
}

void TKVLogController::StopThread() {
  if (const auto thread = CurrentThread()) {
    thread->Terminate();
    // A thread still writing what was queued before is waited for, so that
    // no accepted line is lost; one that has written nothing for the whole
    // wait is given up on.
    std::uint64_t written = thread->LinesWritten();
    while (FTerminateEvent && !FTerminateEvent->Wait(FHandshakeTimeoutMs.load())) {
      const std::uint64_t now = thread->LinesWritten();
      if (now == written) break;
      written = now;
    }
    // Only the controller's hold on the events ends here: a thread that did
    // not answer in time keeps them until it has really ended.
    FTerminateEvent.reset();
    FStartEvent.reset();
  }
  FStarted = false;
  std::lock_guard<std::mutex> guard(FThreadLock);
  FThread.reset();
}

void TKVLogController::RestartIfNeeded(const TKVLogProps& OldConfig, const TKVLogProps& NewConfig) {
  std::lock_guard<std::mutex> guard(FStateLock);
  if (!NewConfig.LogEnabled) {
    StopLoggingLocked();
  } else if (FLoggingActive.load()) {
    if (FLogConfig) FLogConfig->Load();
    if (OldConfig.LogFolder != NewConfig.LogFolder) {
      StopLoggingLocked();
      StartLoggingLocked();
    } else {
      LogSettings();
    }
  } else {
    StartLoggingLocked();
  }
}

void TKVLogController::LogSettings() {
  const TKVLogProps props = FLogConfig ? FLogConfig->GetLogProps() : TKVLogProps{};
  AddToFileLog(u"Log-Settings");
  AddToFileLog(FormatText(u"- LogTypes = %s", {MessageLogTypesToText(props.LogTypes)}));
  AddToFileLog(FormatText(u"- LogChannel = %s", {LogChannelsToText(props.LogChannels)}));
}

void TKVLogController::ClearOldLogs(const IKVLogConfig* LogConfig) {
  if (!LogConfig) return;
  const TKVLogProps props = LogConfig->GetLogProps();
  if (!props.AutoClear || props.KeepDays <= 0) return;
  const String folder = props.LogFolder.empty() ? TKVLoggingHelper::DefaultLogFolder() : props.LogFolder;
  TStringList files;
  ListFiles(files, folder, TKVFileLogger::GetLogFileMask());
  const TDateTime now = Now();
  for (int i = 0; i < files.Count(); ++i) {
    TDateTime written;
    if (!GetFileDateTime(files.Strings(i), written)) continue;
    // Whole days, the fraction cut off.
    if (static_cast<std::int64_t>(now - written) >= props.KeepDays) DeleteFileQuietly(files.Strings(i));
  }
}

// --- Stack trace -------------------------------------------------------------------------

namespace {

// The frames of logging itself above the code that logged: this function,
// the controller's two AddToFileLog and AddToLog.
constexpr int kLoggingFrames = 4;

}  // namespace

[[gnu::noinline]] void GetCurrentStackTrace(TStringList& Strings) {
  for (const String& line : CurrentStackLines(kLoggingFrames)) Strings.Add(line);
}

// --- The process-wide controller -------------------------------------------------------

namespace {

std::atomic<bool> gLoggingAllowed{true};

struct ControllerSlot {
  std::mutex Lock;
  std::shared_ptr<TKVLogController> Controller;
};

ControllerSlot& Slot() {
  static ControllerSlot slot;
  return slot;
}

}  // namespace

bool LoggingAllowed() { return gLoggingAllowed.load(std::memory_order_relaxed); }

std::shared_ptr<TKVLogController> GetLogController() {
  if (!LoggingAllowed()) return nullptr;
  ControllerSlot& slot = Slot();
  // Under the lock, so that two threads asking first at once make one
  // controller; the others wait for it.
  std::lock_guard<std::mutex> guard(slot.Lock);
  if (!slot.Controller && LoggingAllowed()) slot.Controller = std::make_shared<TKVLogController>();
  return slot.Controller;
}

[[gnu::noinline]] void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, StringView Table,
                                StringView MessageStr, bool WithStacktrace) {
  ShowPendingLogUserMessage();
  if (!LoggingAllowed()) return;
  try {
    if (const auto controller = GetLogController())
      controller->AddToFileLog(LogType, LogChannel, Table, MessageStr, WithStacktrace);
  } catch (...) {
    // A controller that cannot be made (not even the temporary folder can
    // be written) is tried again by the next message; the producer, often
    // the exception handler, carries on.
  }
}

void LoggingModule_Initialize() {
  SetUserInterfaceThread(platform::CurrentThreadId());
  gLoggingAllowed.store(true);
}

void LoggingModule_Finalize() {
  gLoggingAllowed.store(false);
  std::shared_ptr<TKVLogController> controller;
  {
    std::lock_guard<std::mutex> guard(Slot().Lock);
    controller = std::move(Slot().Controller);
  }
  // Stopped here and now, even if a producer on another thread still holds
  // the controller for a moment.
  if (controller) controller->StopLogging();
  controller.reset();
  ShowPendingLogUserMessage();
}

}  // namespace kv
