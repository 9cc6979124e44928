// The interfaces of the diagnostic log: its configuration and its entries.
// Both are reference-counted through std::shared_ptr, whose count is atomic,
// so an entry may be built on one thread and written on another.
#pragma once

#include <cstdint>
#include <memory>

#include "text/KVTypes.h"
#include "text/SysUtils.h"

namespace kv {

// Which database messages are logged.
struct TLogSQLProps {
  TLogSQLCommands LogSQLCommands;
  // Table names in comma-text form; empty means every table.
  String LogTables;

  friend bool operator==(const TLogSQLProps& a, const TLogSQLProps& b) {
    return a.LogSQLCommands == b.LogSQLCommands && a.LogTables == b.LogTables;
  }
};

// The whole log configuration; a value type, copied when passed on.
struct TKVLogProps {
  bool LogEnabled = false;
  TMessageLogTypes LogTypes;
  TLogChannels LogChannels;
  TLogSQLProps LogSQLProps;
  // Empty means the default log folder.
  String LogFolder;
  // Age in whole days from which old log files are deleted; 0 or less: never.
  std::int32_t KeepDays = 0;
  // Old log files are deleted when the log controller starts.
  bool AutoClear = false;

  friend bool operator==(const TKVLogProps& a, const TKVLogProps& b) {
    return a.LogEnabled == b.LogEnabled && a.LogTypes == b.LogTypes && a.LogChannels == b.LogChannels &&
           a.LogSQLProps == b.LogSQLProps && a.LogFolder == b.LogFolder && a.KeepDays == b.KeepDays &&
           a.AutoClear == b.AutoClear;
  }
  friend bool operator!=(const TKVLogProps& a, const TKVLogProps& b) { return !(a == b); }
};

class IKVLogConfig {
 public:
  virtual ~IKVLogConfig() = default;
  virtual TKVLogProps GetLogProps() const = 0;
  virtual void SetLogProps(const TKVLogProps& props) = 0;
  virtual String GetLogFolder() const = 0;
  virtual void SetLogFolder(StringView folder) = 0;
  virtual void Load() = 0;
  virtual void Save() = 0;
  virtual void SetLogEnabled(bool enabled) = 0;
};
using IKVLogConfigPtr = std::shared_ptr<IKVLogConfig>;

// One log message with when, where and by whom it was produced.
class IKVLogEntry {
 public:
  virtual ~IKVLogEntry() = default;
  virtual void SetTimeStamp(TDateTime value) = 0;
  virtual TDateTime GetTimeStamp() const = 0;
  virtual void SetThreadId(std::uint32_t value) = 0;
  virtual std::uint32_t GetThreadId() const = 0;
  virtual void SetMessageStr(StringView value) = 0;
  virtual const String& GetMessageStr() const = 0;
  virtual void SetStackTrace(StringView value) = 0;
  virtual const String& GetStackTrace() const = 0;
  virtual void SetLogType(TMessageLogType value) = 0;
  virtual TMessageLogType GetLogType() const = 0;
  virtual void SetUserName(StringView value) = 0;
  virtual const String& GetUserName() const = 0;
  virtual void SetAppName(StringView value) = 0;
  virtual const String& GetAppName() const = 0;
  virtual void SetPluginName(StringView value) = 0;
  virtual const String& GetPluginName() const = 0;
};
using IKVLogEntryPtr = std::shared_ptr<IKVLogEntry>;

// How a log file writer names, places and limits its files.
class IKVFileLoggerSettings {
 public:
  virtual ~IKVFileLoggerSettings() = default;
  virtual String GetLogFolder() const = 0;
  virtual void SetLogFolder(StringView value) = 0;
  virtual String GetLogFileName() const = 0;
  virtual void SetLogFileName(StringView value) = 0;
  // Size in KiB at which a new file is begun; -1: no limit.
  virtual std::int32_t GetMaxSize() const = 0;
  virtual void SetMaxSize(std::int32_t value) = 0;
  // Number of log files kept in the folder; -1: no limit.
  virtual std::int32_t GetMaxCount() const = 0;
  virtual void SetMaxCount(std::int32_t value) = 0;
  virtual String GetPrefix() const = 0;
  virtual void SetPrefix(StringView value) = 0;
  virtual bool GetIsService() const = 0;
  virtual void SetIsService(bool value) = 0;
  virtual bool GetShowErrorIfNoWritePermissions() const = 0;
  virtual void SetShowErrorIfNoWritePermissions(bool value) = 0;
};
using IKVFileLoggerSettingsPtr = std::shared_ptr<IKVFileLoggerSettings>;

// Puts lines into the current log file.
class IKVLogger {
 public:
  virtual ~IKVLogger() = default;
  virtual void WriteText(const String& Text) = 0;
  virtual void WriteMessage(const String& Msg, TMessageLogType MsgType) = 0;
  virtual void WriteEntry(const IKVLogEntry& LogEntry) = 0;
};
using IKVLoggerPtr = std::shared_ptr<IKVLogger>;

}  // namespace kv
