// The log controller, the logging thread and AddToLog: messages from any
// thread become log lines that a background thread writes into the log
// file, so that no producer ever waits for the disk.
//
// Ownership. The controller lives in a process-wide slot, from the first
// AddToLog to the logging module's shutdown, and is handed out as a shared
// reference, so a producer that is still logging keeps it alive while the
// slot is emptied. A logging thread is shared by the controller and by its own
// running body: it frees itself when both have let go, whichever is last, so
// the controller never holds a thread that is gone, and a thread whose run
// ended (on an error too) stays an object that refuses further lines. The
// start and terminate events are shared the same way and stay valid as long
// as the thread that sets them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "logging/KVLogging.h"
#include "platform/Sync.h"
#include "text/StringList.h"

namespace kv {

using TEventPtr = std::shared_ptr<platform::Event>;

// Makes the file writer of each logging thread from its settings.
using TFileLoggerFactory = std::function<IKVLoggerPtr(const IKVFileLoggerSettingsPtr& Settings)>;
// Replaces the maker of file writers; an empty one restores TKVFileLogger.
void SetFileLoggerFactory(TFileLoggerFactory Factory);

// The background thread that writes queued lines through its file writer.
class TKVFileLoggerThread : public std::enable_shared_from_this<TKVFileLoggerThread> {
 public:
  // Longest wait for new lines before the thread looks again whether it
  // should end.
  static constexpr std::uint32_t kWaitTimeoutMs = 30000;

  // Makes the file writer (its errors pass to the caller) and starts the
  // thread, which sets StartEvent when it runs and TerminateEvent as the
  // last act of its run.
  static std::shared_ptr<TKVFileLoggerThread> Create(TEventPtr StartEvent, TEventPtr TerminateEvent,
                                                     IKVFileLoggerSettingsPtr FileLoggerSettings);
  virtual ~TKVFileLoggerThread();
  TKVFileLoggerThread(const TKVFileLoggerThread&) = delete;
  TKVFileLoggerThread& operator=(const TKVFileLoggerThread&) = delete;

  // Queues a line and wakes the thread. False when the thread's run has
  // ended (or is writing its last lines): the line is then dropped.
  bool AddToFileLog(String LogStr);
  // The entry's line and, when it has one, its stack trace as one more item,
  // queued together.
  bool AddToFileLog(const IKVLogEntry& LogEntry);

  // Asks the thread to end: it writes every line queued so far and then its
  // "terminated" line. Does not set the wake-up event.
  void Terminate();
  bool Terminated() const { return FTerminated.load(); }
  // The operating system's id of the thread.
  std::uint32_t ThreadID() const { return FThread.Id(); }
  // How many lines the thread has written so far: its progress.
  std::uint64_t LinesWritten() const { return FLinesWritten.load(); }
  const IKVFileLoggerSettingsPtr& FileLoggerSettings() const { return FFileLoggerSetings; }

 protected:
  TKVFileLoggerThread(TEventPtr StartEvent, TEventPtr TerminateEvent, IKVFileLoggerSettingsPtr FileLoggerSettings);
  // Wakes the thread.
  virtual void Signal();
  // The thread body: waits for lines and writes them in batches until asked
  // to end.
  virtual void Execute();
  // Writes every line queued so far, outside the lock. With Last, no line is
  // accepted afterwards.
  void Flush(bool Last = false);

 private:
  void Run();
  bool Queue(String Line, const String* More);

  std::mutex FLock;
  // Guarded by FLock: the lines waiting, oldest first, and whether lines are
  // still accepted.
  std::vector<String> FLogStrings;
  bool FClosed = false;
  // The batch being written; only the logging thread touches it.
  std::vector<String> FBatch;
  IKVLoggerPtr FKVFileLogger;
  // The wake-up event (automatic reset) and the request to end.
  platform::Event FHandles;
  platform::Event FTerminateRequest{true};
  std::atomic<bool> FTerminated{false};
  std::atomic<std::uint64_t> FLinesWritten{0};
  TEventPtr FStartEvent;
  TEventPtr FTerminateEvent;
  IKVFileLoggerSettingsPtr FFileLoggerSetings;
  // Last, so that it goes first: a thread still finishing is waited for
  // before the rest of the object is torn down.
  platform::Thread FThread;
};

// Owns the logging configuration and the logging thread; turns messages
// into entries queued on the thread. Every operation may be called from any
// thread; starts, stops and restarts run one at a time.
class TKVLogController {
 public:
  // Loads the configuration (saving the defaults on the very first run),
  // clears old log files and starts logging when it is switched on. Inside
  // the development environment ("bds.exe") logging never starts. Errors
  // making the file writer pass to the caller.
  explicit TKVLogController(StringView ProgramFileName = ApplicationFileName());
  // Stops logging first.
  ~TKVLogController();
  TKVLogController(const TKVLogController&) = delete;
  TKVLogController& operator=(const TKVLogController&) = delete;

  // Logs the message when logging is active and the configuration lets it pass.
  void AddToFileLog(TMessageLogType LogType, TLogChannel LogChannel, StringView Table, StringView MessageStr,
                    bool WithStacktrace);
  // Logs the message when logging is active, without filter. Never raises.
  void AddToFileLog(TMessageLogType LogType, StringView MessageStr, bool WithStacktrace);
  void AddToFileLog(StringView MessageStr);

  // The configuration's filter (see IsLogged of the configuration).
  bool IsLogged(TMessageLogType LogType, TLogChannel LogChannel, StringView Table, StringView MessageStr) const;
  bool IsSQLLogged(StringView Table, StringView MessageStr) const;

  // Starts the thread (unless started or inside the development environment)
  // and logs the start line and the settings.
  void StartLogging();
  // Logs the stop line and stops the thread, when it reported its start.
  // Waits while the thread still writes lines queued before; gives up on a
  // thread that has written nothing for the handshake time.
  void StopLogging();
  // After a save of the configuration: stops, starts, restarts in a new
  // folder, or logs the settings again.
  void RestartIfNeeded(const TKVLogProps& OldConfig, const TKVLogProps& NewConfig);
  // Logs "Log-Settings" with the levels and channels in use.
  void LogSettings();
  // Deletes the log files at least KeepDays old when AutoClear is on.
  static void ClearOldLogs(const IKVLogConfig* LogConfig);

  // The configuration object; a save through it restarts logging as needed.
  IKVLogConfigPtr GetLogConfig() const { return FLogConfig; }
  bool LoggingActive() const { return FLoggingActive.load(); }
  bool Started() const;
  bool LoadedInIDE() const { return FLoadedInIDE; }
  // How long start waits for the thread, and stop for a thread that makes no
  // progress (30000 ms unless changed).
  void SetHandshakeTimeout(std::uint32_t TimeoutMs) { FHandshakeTimeoutMs.store(TimeoutMs); }

 private:
  struct RestartTarget;

  void StartLoggingLocked();
  void StopLoggingLocked();
  void StartThread();
  void StopThread();
  std::shared_ptr<TKVFileLoggerThread> CurrentThread() const;

  // Starts, stops and restarts one at a time; the waits for the thread run
  // under it. Producers never take it.
  mutable std::mutex FStateLock;
  // Guards FThread for the producers; held only to copy or change it.
  mutable std::mutex FThreadLock;
  std::shared_ptr<TKVFileLoggerThread> FThread;
  // Under FStateLock.
  TEventPtr FStartEvent;
  TEventPtr FTerminateEvent;
  bool FStarted = false;
  std::atomic<bool> FLoggingActive{false};
  std::atomic<std::uint32_t> FHandshakeTimeoutMs{30000};
  bool FLoadedInIDE = false;
  std::shared_ptr<RestartTarget> FRestartTarget;
  IKVLogConfigPtr FLogConfig;
};

// Adds the calling thread's stack to Strings, one line per frame in the
// failure report's stack line format, beginning at the code that logged.
void GetCurrentStackTrace(TStringList& Strings);

// Whether AddToLog still logs: true from program start until the logging
// module's shutdown.
bool LoggingAllowed();
// The process-wide controller, made on the first call (raising what its
// creation raises; the next call tries again). Null once logging is no
// longer allowed.
std::shared_ptr<TKVLogController> GetLogController();
// The one logging entry point: hands the message to the controller's
// filtered AddToFileLog while logging is allowed. Never raises.
void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, StringView Table, StringView MessageStr,
              bool WithStacktrace);

// Module start-up: the calling thread becomes the one that shows logging's
// messages to the user, and logging is allowed.
void LoggingModule_Initialize();
// Module shutdown: forbids further logging, takes the controller out of its
// slot and stops its thread, then shows a message still waiting.
void LoggingModule_Finalize();

}  // namespace kv
