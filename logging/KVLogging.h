// The log configuration and its persistence, log entries, the identity of
// the user who logs, the message filter and the texts of log lines.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "logging/KVLoggingIntf.h"
#include "platform/UserInfo.h"
#include "text/_4Files.h"

namespace kv {

// Where the configuration lives: this key under HKEY_CURRENT_USER, or the
// section of the settings file beside the program when that file exists.
inline constexpr StringView kLogRegistryKey = u"SOFTWARE\\Tarnwick\\Viewer\\DebugLog";
inline constexpr StringView kLogSettingsFileName = u"LogSettings.ini";
inline constexpr StringView kLogSettingsSection = u"DebugLog";

using TLogSavedEvent = std::function<void(const TKVLogProps& OldConfig, const TKVLogProps& NewConfig)>;

// The configuration kept in the registry (or read from LogSettings.ini).
// Its accessors may be called from any thread.
class TKVLogConfigDefault final : public IKVLogConfig {
 public:
  // Sets the defaults; when the registry key does not exist yet, saves them
  // at once (which creates the key and reports the save to OnSaved).
  static std::shared_ptr<TKVLogConfigDefault> Create(TLogSavedEvent OnSaved);

  TKVLogProps GetLogProps() const override;
  void SetLogProps(const TKVLogProps& props) override;
  String GetLogFolder() const override;
  void SetLogFolder(StringView folder) override;
  // Reads the configuration; reading never fails, unreadable values give
  // their defaults.
  void Load() override;
  // Writes the configuration to the registry and removes the values of the
  // older scheme; registry errors pass to the caller, and then neither the
  // callback nor the new baseline happen.
  void Save() override;
  void SetLogEnabled(bool enabled) override;

  // The configuration as last loaded or saved.
  TKVLogProps GetOldProps() const;
  // The levels and channels alone (what the filter asks for every message).
  void GetLevelsAndChannels(TMessageLogTypes& types, TLogChannels& channels) const;
  // The settings file that Load prefers: LogSettings.ini in the program's folder.
  static String SettingsFileName();

  explicit TKVLogConfigDefault(TLogSavedEvent OnSaved);

 private:
  mutable std::mutex FLock;
  TKVLogProps FLogProps;
  TKVLogProps FOldProps;
  TLogSavedEvent FOnSaved;
};

class TKVLogEntry final : public IKVLogEntry {
 public:
  static IKVLogEntryPtr GetLogEntry(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                                    StringView StackTrace, TMessageLogType LogType, StringView UserName,
                                    StringView AppName, StringView PluginName);
  // With the user's identity (with domain) and the program's file name.
  static IKVLogEntryPtr GetLogEntry(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                                    StringView StackTrace, TMessageLogType LogType);
  // Now, on the calling thread, without stack trace, as tmlMessage.
  static IKVLogEntryPtr GetLogEntry(StringView MessageStr);

  void SetTimeStamp(TDateTime value) override { FTimeStamp = value; }
  TDateTime GetTimeStamp() const override { return FTimeStamp; }
  void SetThreadId(std::uint32_t value) override { FThreadId = value; }
  std::uint32_t GetThreadId() const override { return FThreadId; }
  void SetMessageStr(StringView value) override { FMessageStr.assign(value); }
  const String& GetMessageStr() const override { return FMessageStr; }
  void SetStackTrace(StringView value) override { FStackTrace.assign(value); }
  const String& GetStackTrace() const override { return FStackTrace; }
  void SetLogType(TMessageLogType value) override { FLogType = value; }
  TMessageLogType GetLogType() const override { return FLogType; }
  void SetUserName(StringView value) override { FUserName.assign(value); }
  const String& GetUserName() const override { return FUserName; }
  void SetAppName(StringView value) override { FAppName.assign(value); }
  const String& GetAppName() const override { return FAppName; }
  void SetPluginName(StringView value) override { FPluginName.assign(value); }
  const String& GetPluginName() const override { return FPluginName; }

 private:
  TDateTime FTimeStamp = 0;
  std::uint32_t FThreadId = 0;
  String FMessageStr;
  String FStackTrace;
  TMessageLogType FLogType = tmlMessage;
  String FUserName;
  String FAppName;
  String FPluginName;
};

// The file name of the running program, with extension and without folder.
const String& ApplicationFileName();

// --- User identity -----------------------------------------------------------

// The logged-on user: "domain\user" with WithDomain, else the user alone.
// The workstation's logged-on user is asked for until it is known, then
// cached for the process; without it the environment and the account give
// the answer, and "RTS-Default-User" is the last resort. Never fails.
String GetUserIdentity(bool WithDomain);
// USERNAME, else the system's name of the calling user (may raise).
String GetCurrentUserName();
// USERDOMAIN, else the account's domain, else the computer's name;
// "RTS-Default-User" when any of these raises.
String GetUserDomain(StringView UserName);

inline constexpr StringView kDefaultUserIdentity = u"RTS-Default-User";

// What the identity is made of. The default asks the platform; tests put in
// their own.
class TUserIdentitySource {
 public:
  virtual ~TUserIdentitySource() = default;
  virtual bool QueryWorkstationUser(platform::WorkstationUser& user);
  virtual String EnvironmentVariable(StringView name);
  virtual String SystemUserName();
  virtual String AccountDomain(StringView userName);
  virtual String ComputerName();
};
// Replaces the source (nullptr: the platform) and empties the workstation
// cache. The source must outlive its use.
void SetUserIdentitySource(TUserIdentitySource* source);

// --- Message filter ----------------------------------------------------------

// Whether a message passes the configuration: a tmlDebug message whenever
// lcDebug is among the channels, any other when both its level and its
// channel are chosen; database messages then also pass the SQL filter.
// Without a configuration everything passes.
bool IsLogged(const IKVLogConfig* config, TMessageLogType LogType, TLogChannel LogChannel, StringView Table,
              StringView MessageStr);
// Whether a database message names a chosen statement kind and, when tables
// are listed, one of them (in its text or as its table).
bool IsSQLLogged(const TLogSQLProps& props, StringView Table, StringView MessageStr);

// --- Log texts -----------------------------------------------------------------

class TKVLoggingHelper {
 public:
  // <machine-wide data folder>\Orvalis\<program name>\Logs; not created here.
  static String DefaultLogFolder();
  // A plain message line: "[time] prefix [W] message"; separator lines
  // (empty or ten minus signs) unchanged.
  static String FormatLogText(StringView Msg, TMessageLogType MsgType, bool WithTimeStamp, StringView Prefix);
  // Time stamp, level, user, program, plug-in and "<thread id>", each
  // followed by a tab, then the message.
  static String LogEntryToString(const IKVLogEntry& LogEntry);
  // The line of the entry that TKVLogEntry::GetLogEntry (TimeStamp, ThreadId,
  // MessageStr, no stack trace, LogType) would give, made without the entry
  // object: the producers' way for every message.
  static String LogEntryLine(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                             TMessageLogType LogType);
};

// "[Info]", "[Warning]", "[Error]", "[Debug]"; "[Unknown]" for other values.
StringView LogLevelText(TMessageLogType t);

// --- Log file writer -----------------------------------------------------------

// The settings of a log file writer. They are made on one thread and then
// handed to the logging thread, which alone uses (and changes) them.
class TKVFileLoggerSettings final : public IKVFileLoggerSettings {
 public:
  String GetLogFolder() const override { return FLogFolder; }
  void SetLogFolder(StringView value) override { FLogFolder.assign(value); }
  String GetLogFileName() const override { return FLogFileName; }
  void SetLogFileName(StringView value) override { FLogFileName.assign(value); }
  std::int32_t GetMaxSize() const override { return FMaxSize; }
  void SetMaxSize(std::int32_t value) override { FMaxSize = value; }
  std::int32_t GetMaxCount() const override { return FMaxCount; }
  void SetMaxCount(std::int32_t value) override { FMaxCount = value; }
  String GetPrefix() const override { return FPrefix; }
  void SetPrefix(StringView value) override { FPrefix.assign(value); }
  bool GetIsService() const override { return FIsService; }
  void SetIsService(bool value) override { FIsService = value; }
  bool GetShowErrorIfNoWritePermissions() const override { return FShowErrorIfNoWritePermissions; }
  void SetShowErrorIfNoWritePermissions(bool value) override { FShowErrorIfNoWritePermissions = value; }

 private:
  String FLogFolder;
  String FLogFileName;
  std::int32_t FMaxSize = -1;
  std::int32_t FMaxCount = -1;
  String FPrefix;
  bool FIsService = false;
  bool FShowErrorIfNoWritePermissions = false;
};

inline constexpr StringView kCannotWriteLogFile = u"Cannot write log file!";

// Puts one line at a time into the current log file: the file is opened,
// appended to and closed again for every line, so it is never held open.
// Files are named "<FileName value>_PID_<process id>__yyyymmdd_hhnnss.log";
// a new one is begun when the current one is missing or full. Used by one
// thread at a time.
class TKVFileLogger final : public IKVLogger {
 public:
  // Names the files and settles the folder: the configured one when it
  // exists, else the default log folder (created when missing), else the
  // framework's temporary folder. Raises when even that cannot be written.
  explicit TKVFileLogger(IKVFileLoggerSettingsPtr FileLoggerSettings);
  ~TKVFileLogger() override;

  // Text and a line end into the current file. A folder that cannot be
  // written drops the line (telling the user once, when the settings ask
  // for it); a failed write raises "Fehler beim Schreiben der Logdatei: %s"
  // when the settings ask for errors, and is dropped otherwise.
  void WriteText(const String& Text) override;
  // The message as a plain line with time stamp and the settings' prefix.
  void WriteMessage(const String& Msg, TMessageLogType MsgType) override;
  // The entry's line, then its stack trace as one more text.
  void WriteEntry(const IKVLogEntry& LogEntry) override;

  // "*_*.log": the names of every log file of the framework.
  static String GetLogFileMask() { return u"*_*.log"; }

  // The file the next line goes to: the current one, or a new name when it
  // is missing or full.
  String GetCurrentLogFile();
  // The file has reached the size limit of the settings.
  bool IsLogFileFull(const String& FileName) const;
  // The folder exists and can be written (it is created when missing).
  bool CheckLogFolder();
  // Thins the folder out to the settings' count, at most once an hour; the
  // current file is always kept. False when a deletion failed.
  bool DeleteSurplusLogFiles();

  // The file the last line went to; empty before the first.
  const String& LogFile() const { return FLogFile; }
  const IKVFileLoggerSettingsPtr& Settings() const { return FFileLoggerSettings; }

 private:
  TDateTime FLastCheckOldLogFiles = 0;
  IKVFileLoggerSettingsPtr FFileLoggerSettings;
  // Held between lines only after a write failed, to be opened again.
  std::unique_ptr<TUnicodeFileWriter> FFileWriter;
  String FLogFile;
};

// --- Messages to the user ------------------------------------------------------

// Shows a message of the logging module to the user.
using TLogUserNotifier = std::function<void(const String& Msg)>;
// Replaces the notifier; an empty one restores the default, the framework's
// error message.
void SetLogUserNotifier(TLogUserNotifier notifier);
// The thread that may show messages to the user (0: not known; then any
// thread but a logging thread may).
void SetUserInterfaceThread(std::uint32_t threadId);
// Marks the calling thread as one that writes log files (it never shows a
// message itself), or no longer.
void MarkLoggingThread(bool IsLogging);
// Tells the user Msg. On a thread that may show messages the notifier runs
// at once; elsewhere the message waits for ShowPendingLogUserMessage on such
// a thread, so that no other thread ever waits for a dialog. Of several
// waiting messages the first is kept.
void NotifyLogUser(const String& Msg);
// Shows a waiting message when the calling thread may; cheap when there is none.
void ShowPendingLogUserMessage();

}  // namespace kv
