// The log configuration and its persistence, log entries, the identity of
// the user who logs, the message filter and the texts of log lines.
#pragma once

#include <functional>
#include <mutex>

#include "logging/KVLoggingIntf.h"
#include "platform/UserInfo.h"

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
};

// "[Info]", "[Warning]", "[Error]", "[Debug]"; "[Unknown]" for other values.
StringView LogLevelText(TMessageLogType t);

}  // namespace kv
