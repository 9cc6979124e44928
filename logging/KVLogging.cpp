#include "logging/KVLogging.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "ini/KVBigIni.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "platform/ShellFolders.h"
#include "system/KVRegistry.h"
#include "text/StringList.h"
#include "text/_4Files.h"
#include "ui/KVMessageDlg.h"

namespace kv {

namespace {

const TRegRoot kRoot = platform::kHiveCurrentUser;

// The switches of the older scheme, read only when "Type" is missing and
// removed by every save.
constexpr std::array<StringView, 6> kOlderSchemeNames = {u"LogDebug",      u"LogWarning",   u"LogError",
                                                         u"LogAppChannel", u"LogDBChannel", u"LogImageViewer"};

TKVLogProps DefaultProps() {
  TKVLogProps p;
  p.LogEnabled = false;
  p.LogTypes = {tmlMessage, tmlWarning, tmlError};
  p.LogChannels = {lcApplication, lcDatabase, lcImageViewer, lcImport};
  p.LogSQLProps.LogSQLCommands = {scInsert, scUpdate, scDelete};
  return p;
}

bool ReadOlderSwitch(StringView name) { return ReadRegistryBoolDef(kRoot, kLogRegistryKey, name, false); }

void ReadFromSettingsFile(const String& fileName, TKVLogProps& p) {
  TBiggerIniFile ini(fileName, true);
  const String section(kLogSettingsSection);
  AddMessageLogTypesFromText(ini.ReadString(section, u"Type", u""), p.LogTypes);
  AddLogChannelsFromText(ini.ReadString(section, u"Channels", u""), p.LogChannels);
  AddLogSQLCommandsFromText(ini.ReadString(section, u"SQLCommands", u""), p.LogSQLProps.LogSQLCommands);
  p.LogEnabled = ini.ReadBool(section, u"Active", false);
  p.LogSQLProps.LogTables = ini.ReadString(section, u"LogTables", u"");
  p.LogFolder = ini.ReadString(section, u"LogFolder", u"");
  p.KeepDays = ini.ReadInteger(section, u"KeepDays", 0);
  p.AutoClear = ini.ReadBool(section, u"AutoClear", false);
}

void ReadFromRegistry(TKVLogProps& p) {
  if (RegistryValueExists(kRoot, kLogRegistryKey, u"Type")) {
    AddMessageLogTypesFromText(ReadRegistryStringDef(kRoot, kLogRegistryKey, u"Type", u""), p.LogTypes);
    AddLogChannelsFromText(ReadRegistryStringDef(kRoot, kLogRegistryKey, u"Channels", u""), p.LogChannels);
    AddLogSQLCommandsFromText(ReadRegistryStringDef(kRoot, kLogRegistryKey, u"SQLCommands", u""),
                              p.LogSQLProps.LogSQLCommands);
  } else {
    // "LogDebug" has always meant the informational level, not tmlDebug.
    if (ReadOlderSwitch(u"LogDebug")) p.LogTypes.Include(tmlMessage);
    if (ReadOlderSwitch(u"LogWarning")) p.LogTypes.Include(tmlWarning);
    if (ReadOlderSwitch(u"LogError")) p.LogTypes.Include(tmlError);
    if (ReadOlderSwitch(u"LogAppChannel")) p.LogChannels.Include(lcApplication);
    if (ReadOlderSwitch(u"LogDBChannel")) p.LogChannels.Include(lcDatabase);
    if (ReadOlderSwitch(u"LogImageViewer")) p.LogChannels.Include(lcImageViewer);
  }
  p.LogEnabled = ReadRegistryBoolDef(kRoot, kLogRegistryKey, u"Active", false);
  p.LogSQLProps.LogTables = ReadRegistryStringDef(kRoot, kLogRegistryKey, u"LogTables", u"");
  p.LogFolder = ReadRegistryStringDef(kRoot, kLogRegistryKey, u"LogFolder", u"");
  p.KeepDays = ReadRegistryIntegerDef(kRoot, kLogRegistryKey, u"KeepDays", 0);
  p.AutoClear = ReadRegistryBoolDef(kRoot, kLogRegistryKey, u"AutoClear", false);
}

}  // namespace

// --- Configuration -------------------------------------------------------------

TKVLogConfigDefault::TKVLogConfigDefault(TLogSavedEvent OnSaved)
    : FLogProps(DefaultProps()), FOnSaved(std::move(OnSaved)) {}

std::shared_ptr<TKVLogConfigDefault> TKVLogConfigDefault::Create(TLogSavedEvent OnSaved) {
  auto config = std::make_shared<TKVLogConfigDefault>(std::move(OnSaved));
  if (!RegistryKeyExists(kRoot, kLogRegistryKey)) config->Save();
  return config;
}

TKVLogProps TKVLogConfigDefault::GetLogProps() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FLogProps;
}

void TKVLogConfigDefault::SetLogProps(const TKVLogProps& props) {
  std::lock_guard<std::mutex> lock(FLock);
  FLogProps = props;
}

String TKVLogConfigDefault::GetLogFolder() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FLogProps.LogFolder;
}

void TKVLogConfigDefault::SetLogFolder(StringView folder) {
  std::lock_guard<std::mutex> lock(FLock);
  FLogProps.LogFolder.assign(folder);
}

void TKVLogConfigDefault::SetLogEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(FLock);
  FLogProps.LogEnabled = enabled;
}

void TKVLogConfigDefault::GetLevelsAndChannels(TMessageLogTypes& types, TLogChannels& channels) const {
  std::lock_guard<std::mutex> lock(FLock);
  types = FLogProps.LogTypes;
  channels = FLogProps.LogChannels;
}

TKVLogProps TKVLogConfigDefault::GetOldProps() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FOldProps;
}

String TKVLogConfigDefault::SettingsFileName() { return GetApplicationDir() + u"\\" + String(kLogSettingsFileName); }

void TKVLogConfigDefault::Load() {
  // Levels and channels are read afresh; the SQL kinds read are added to the
  // ones already chosen, and every other field is overwritten.
  TKVLogProps p = GetLogProps();
  p.LogTypes = {};
  p.LogChannels = {};
  const String fileName = SettingsFileName();
  if (FileExistsEx(fileName)) {
    // The file replaces the registry entirely, even when it lacks the
    // section. A file that cannot be read leaves what it did not give at
    // its default.
    try {
      ReadFromSettingsFile(fileName, p);
    } catch (const std::exception&) {
    }
  } else {
    ReadFromRegistry(p);
  }
  std::lock_guard<std::mutex> lock(FLock);
  FLogProps = p;
  FOldProps = p;
}

void TKVLogConfigDefault::Save() {
  const TKVLogProps p = GetLogProps();
  WriteRegistryString(kRoot, kLogRegistryKey, u"Type", MessageLogTypesToText(p.LogTypes));
  WriteRegistryString(kRoot, kLogRegistryKey, u"Channels", LogChannelsToText(p.LogChannels));
  WriteRegistryString(kRoot, kLogRegistryKey, u"SQLCommands", LogSQLCommandsToText(p.LogSQLProps.LogSQLCommands));
  for (StringView name : kOlderSchemeNames) {
    if (RegistryValueExists(kRoot, kLogRegistryKey, name)) DeleteRegistryValue(kRoot, kLogRegistryKey, name);
  }
  WriteRegistryBool(kRoot, kLogRegistryKey, u"Active", p.LogEnabled);
  WriteRegistryString(kRoot, kLogRegistryKey, u"LogTables", p.LogSQLProps.LogTables);
  WriteRegistryString(kRoot, kLogRegistryKey, u"LogFolder", p.LogFolder);
  WriteRegistryInteger(kRoot, kLogRegistryKey, u"KeepDays", p.KeepDays);
  WriteRegistryBool(kRoot, kLogRegistryKey, u"AutoClear", p.AutoClear);
  // The callback runs without the lock: it may well ask for the props.
  if (FOnSaved) FOnSaved(GetOldProps(), p);
  std::lock_guard<std::mutex> lock(FLock);
  FOldProps = p;
}

// --- Entries ---------------------------------------------------------------------

const String& ApplicationFileName() {
  static const String name = [] {
    const String full = GetApplicationExeName();
    return full.substr(ExtractPathUpToDelimiter(full, u"\\").size());
  }();
  return name;
}

IKVLogEntryPtr TKVLogEntry::GetLogEntry(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                                        StringView StackTrace, TMessageLogType LogType, StringView UserName,
                                        StringView AppName, StringView PluginName) {
  auto e = std::make_shared<TKVLogEntry>();
  e->FTimeStamp = TimeStamp;
  e->FThreadId = ThreadId;
  e->FMessageStr.assign(MessageStr);
  e->FStackTrace.assign(StackTrace);
  e->FLogType = LogType;
  e->FUserName.assign(UserName);
  e->FAppName.assign(AppName);
  e->FPluginName.assign(PluginName);
  return e;
}

IKVLogEntryPtr TKVLogEntry::GetLogEntry(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                                        StringView StackTrace, TMessageLogType LogType) {
  return GetLogEntry(TimeStamp, ThreadId, MessageStr, StackTrace, LogType, GetUserIdentity(true),
                     ApplicationFileName(), u"");
}

IKVLogEntryPtr TKVLogEntry::GetLogEntry(StringView MessageStr) {
  return GetLogEntry(Now(), platform::CurrentThreadId(), MessageStr, u"", tmlMessage);
}

// --- User identity ---------------------------------------------------------------

bool TUserIdentitySource::QueryWorkstationUser(platform::WorkstationUser& user) {
  return platform::QueryWorkstationUser(user);
}
String TUserIdentitySource::EnvironmentVariable(StringView name) { return platform::GetEnvVar(name); }
String TUserIdentitySource::SystemUserName() { return platform::SystemUserName(); }
String TUserIdentitySource::AccountDomain(StringView userName) { return platform::AccountDomain(userName); }
String TUserIdentitySource::ComputerName() { return platform::ComputerName(); }

namespace {

struct IdentityState {
  std::mutex Lock;
  TUserIdentitySource Platform;
  TUserIdentitySource* Source = &Platform;
  // The workstation's user, once known; asked for again while empty.
  platform::WorkstationUser Cached;
  // "domain\user" of the cached user, made once and shared with the lines
  // that carry it.
  std::shared_ptr<const String> CachedWithDomain;
};

IdentityState& Identity() {
  static IdentityState state;
  return state;
}

TUserIdentitySource& Source() {
  IdentityState& s = Identity();
  std::lock_guard<std::mutex> lock(s.Lock);
  return *s.Source;
}

}  // namespace

void SetUserIdentitySource(TUserIdentitySource* source) {
  IdentityState& s = Identity();
  std::lock_guard<std::mutex> lock(s.Lock);
  s.Source = source ? source : &s.Platform;
  s.Cached = {};
  s.CachedWithDomain.reset();
}

String GetCurrentUserName() {
  TUserIdentitySource& src = Source();
  String user = src.EnvironmentVariable(u"USERNAME");
  if (user.empty()) user = src.SystemUserName();
  return user;
}

String GetUserDomain(StringView UserName) {
  try {
    TUserIdentitySource& src = Source();
    String domain = src.EnvironmentVariable(u"USERDOMAIN");
    if (domain.empty()) domain = src.AccountDomain(UserName);
    if (domain.empty()) domain = src.ComputerName();
    return domain;
  } catch (const std::exception&) {
    return String(kDefaultUserIdentity);
  }
}

String GetUserIdentity(bool WithDomain) {
  IdentityState& s = Identity();
  {
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.Cached.UserName.empty()) {
      platform::WorkstationUser user;
      try {
        if (s.Source->QueryWorkstationUser(user) && !user.UserName.empty()) {
          s.Cached = std::move(user);
          s.CachedWithDomain = std::make_shared<const String>(s.Cached.LogonDomain + u"\\" + s.Cached.UserName);
        }
      } catch (const std::exception&) {
        // Not reported: the fallback below answers instead.
      }
    }
    if (!s.Cached.UserName.empty()) {
      return WithDomain ? *s.CachedWithDomain : s.Cached.UserName;
    }
  }
  try {
    const String user = GetCurrentUserName();
    if (!WithDomain) return user;
    const String domain = GetUserDomain(user);
    return domain.empty() ? user : domain + u"\\" + user;
  } catch (const std::exception&) {
    return String(kDefaultUserIdentity);
  }
}

// --- Message filter --------------------------------------------------------------

namespace {

bool Contains(StringView text, StringView part) { return text.find(part) != StringView::npos; }

}  // namespace

bool IsSQLLogged(const TLogSQLProps& props, StringView Table, StringView MessageStr) {
  const String msg = platform::LocaleLowerCase(MessageStr);
  static constexpr std::array<std::pair<TLogSQLCommand, StringView>, 4> kWords = {
      {{scSelect, u"select"}, {scInsert, u"insert"}, {scUpdate, u"update"}, {scDelete, u"delete"}}};
  bool kindMatches = false;
  for (const auto& [command, word] : kWords) {
    if (props.LogSQLCommands.Contains(command) && Contains(msg, word)) {
      kindMatches = true;
      break;
    }
  }
  if (!kindMatches) return false;

  if (props.LogTables.empty()) return true;
  // The table list changes seldom, so its split and lowered form is kept for
  // the last list seen. It is shared between threads behind a lock rather than
  // kept per thread: objects with destructors in thread-local storage are not
  // freed reliably at thread exit by every C++ runtime we build with.
  static std::mutex cacheLock;
  static String cachedFrom;
  static std::shared_ptr<const std::vector<String>> cached;
  std::shared_ptr<const std::vector<String>> split;
  {
    std::lock_guard<std::mutex> lock(cacheLock);
    if (cached && cachedFrom == props.LogTables) split = cached;
  }
  if (!split) {
    TStringList tables;
    tables.SetCommaText(props.LogTables);
    auto fresh = std::make_shared<std::vector<String>>();
    for (int i = 0; i < tables.Count(); ++i) fresh->push_back(platform::LocaleLowerCase(tables.Strings(i)));
    split = fresh;
    std::lock_guard<std::mutex> lock(cacheLock);
    cachedFrom = props.LogTables;
    cached = split;
  }
  const std::vector<String>& entries = *split;
  if (entries.empty()) return true;
  const String table = platform::LocaleLowerCase(Table);
  for (const String& entry : entries) {
    if ((!entry.empty() && Contains(msg, entry)) || table == entry) return true;
  }
  return false;
}

bool IsLogged(const IKVLogConfig* config, TMessageLogType LogType, TLogChannel LogChannel, StringView Table,
              StringView MessageStr) {
  if (!config) return true;
  // Asked for every message: the levels and channels alone where they
  // suffice, without copying the texts of the configuration.
  TMessageLogTypes types;
  TLogChannels channels;
  const auto* own = dynamic_cast<const TKVLogConfigDefault*>(config);
  if (own) {
    own->GetLevelsAndChannels(types, channels);
  } else {
    const TKVLogProps p = config->GetLogProps();
    types = p.LogTypes;
    channels = p.LogChannels;
  }
  const bool passes = (LogType == tmlDebug && channels.Contains(lcDebug)) ||
                      (types.Contains(LogType) && channels.Contains(LogChannel));
  if (passes && LogChannel == lcDatabase) return IsSQLLogged(config->GetLogProps().LogSQLProps, Table, MessageStr);
  return passes;
}

// --- Log texts ---------------------------------------------------------------------

StringView LogLevelText(TMessageLogType t) {
  switch (t) {
    case tmlMessage: return u"[Info]";
    case tmlWarning: return u"[Warning]";
    case tmlError: return u"[Error]";
    case tmlDebug: return u"[Debug]";
  }
  return u"[Unknown]";
}

String TKVLoggingHelper::DefaultLogFolder() {
  const String dataFolder = platform::ProgramDataFolder();
  const String program = ExtractFileNameWithoutExt(GetApplicationExeName(), true);
  return dataFolder + u"\\Orvalis\\" + program + u"\\Logs";
}

String TKVLoggingHelper::FormatLogText(StringView Msg, TMessageLogType MsgType, bool WithTimeStamp,
                                       StringView Prefix) {
  if (Msg.empty() || Msg == u"----------") return String(Msg);
  String lead;
  if (!Prefix.empty()) {
    lead.assign(Prefix);
    lead += u' ';
  }
  if (MsgType == tmlWarning) lead += u"[W] ";
  if (MsgType == tmlError) lead += u"[E] ";
  if (WithTimeStamp) lead = u"[" + FormatDateTime(u"yyyy-mm-dd hh:nn:ss", Now()) + u"] " + lead;
  lead.append(Msg);
  return lead;
}

namespace {

// Writes the decimal digits of v, at least minDigits of them (a minus sign
// before a negative number), as FormatDateTime writes its numbers; returns
// the end. The buffer holds at least 24 characters more than minDigits.
char16_t* PutDecimal(char16_t* out, long long v, int minDigits) {
  if (minDigits == 2 && v >= 0 && v < 100) {  // most fields of the time stamp
    *out++ = static_cast<char16_t>(u'0' + v / 10);
    *out++ = static_cast<char16_t>(u'0' + v % 10);
    return out;
  }
  char16_t digits[24];
  int n = 0;
  unsigned long long u = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *out++ = u'-';
  for (int i = n; i < minDigits; ++i) *out++ = u'0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

}  // namespace

namespace {

// The entry line of these fields; see LogEntryToString.
String EntryLine(TDateTime stamp, TMessageLogType type, StringView user, StringView app, StringView plugin,
                 std::uint32_t threadId, StringView message) {
  // "dd.mm.yyyy hh:mm:ss.zzz" (the colon being the locale's time separator),
  // written directly: this runs for every message on the producer's thread.
  int year, month, day, hour, min, sec, msec;
  DecodeDate(stamp, year, month, day);
  DecodeTime(stamp, hour, min, sec, msec);
  const char16_t timeSeparator = FormatSettings().TimeSeparator;
  char16_t head[160];
  char16_t* p = PutDecimal(head, day, 2);
  *p++ = u'.';
  p = PutDecimal(p, month, 2);
  *p++ = u'.';
  p = PutDecimal(p, year, 4);
  *p++ = u' ';
  p = PutDecimal(p, hour, 2);
  *p++ = timeSeparator;
  p = PutDecimal(p, min, 2);
  *p++ = timeSeparator;
  p = PutDecimal(p, sec, 2);
  *p++ = u'.';
  p = PutDecimal(p, msec, 3);
  *p++ = u'\t';
  String line;
  line.reserve(static_cast<std::size_t>(p - head) + 28 + user.size() + app.size() + plugin.size() + message.size());
  line.append(head, p);
  line.append(LogLevelText(type));
  line += u'\t';
  line.append(user);
  line += u'\t';
  line.append(app);
  line += u'\t';
  line.append(plugin);
  p = head;
  *p++ = u'\t';
  *p++ = u'<';
  p = PutDecimal(p, threadId, 1);
  *p++ = u'>';
  *p++ = u'\t';
  line.append(head, p);
  line.append(message);
  return line;
}

}  // namespace

String TKVLoggingHelper::LogEntryToString(const IKVLogEntry& LogEntry) {
  return EntryLine(LogEntry.GetTimeStamp(), LogEntry.GetLogType(), LogEntry.GetUserName(), LogEntry.GetAppName(),
                   LogEntry.GetPluginName(), LogEntry.GetThreadId(), LogEntry.GetMessageStr());
}

String TKVLoggingHelper::LogEntryLine(TDateTime TimeStamp, std::uint32_t ThreadId, StringView MessageStr,
                                      TMessageLogType LogType) {
  // The workstation's user, once known, is shared rather than copied.
  std::shared_ptr<const String> user;
  {
    IdentityState& s = Identity();
    std::lock_guard<std::mutex> lock(s.Lock);
    user = s.CachedWithDomain;
  }
  if (!user) user = std::make_shared<const String>(GetUserIdentity(true));
  return EntryLine(TimeStamp, LogType, *user, ApplicationFileName(), u"", ThreadId, MessageStr);
}

// --- Log file writer ---------------------------------------------------------------

namespace {

String ErrorText(const std::exception& e) {
  if (const auto* k = dynamic_cast<const Exception*>(&e)) return k->Message();
  return FromUtf8(e.what());
}

}  // namespace

TKVFileLogger::TKVFileLogger(IKVFileLoggerSettingsPtr FileLoggerSettings)
    : FFileLoggerSettings(std::move(FileLoggerSettings)) {
  if (!FFileLoggerSettings) FFileLoggerSettings = std::make_shared<TKVFileLoggerSettings>();
  IKVFileLoggerSettings& s = *FFileLoggerSettings;
  const String base = ReadRegistryStringDef(kRoot, kLogRegistryKey, u"FileName", ApplicationFileName());
  s.SetLogFileName(FormatText(u"%s_PID_%d_", {base, std::int64_t{platform::CurrentProcessId()}}));
  // A configured folder that does not exist yet is not created: the default
  // folder is used instead.
  if (!DirectoryExistsEx(s.GetLogFolder())) s.SetLogFolder(TKVLoggingHelper::DefaultLogFolder());
  platform::CreateDirectoryTree(s.GetLogFolder());
  if (!CanCreateFileIn(s.GetLogFolder())) s.SetLogFolder(GetTempFolder());
}

TKVFileLogger::~TKVFileLogger() = default;

bool TKVFileLogger::IsLogFileFull(const String& FileName) const {
  const std::int32_t maxSize = FFileLoggerSettings->GetMaxSize();
  // -1 means no limit; other negative sizes are read the same way rather
  // than as a limit every file has reached.
  if (maxSize < 0 || !FileExistsEx(FileName)) return false;
  return GetFileSize64(FileName) / 1024 >= maxSize;
}

String TKVFileLogger::GetCurrentLogFile() {
  if (!FileExistsEx(FLogFile) || IsLogFileFull(FLogFile)) {
    // The name part ends with "_" and the time part begins with one.
    FLogFile = FFileLoggerSettings->GetLogFolder() + u"\\" + FFileLoggerSettings->GetLogFileName() +
               FormatDateTime(u"_yyyymmdd_hhnnss", Now()) + u".log";
  }
  return FLogFile;
}

bool TKVFileLogger::CheckLogFolder() {
  IKVFileLoggerSettings& s = *FFileLoggerSettings;
  const String folder = s.GetLogFolder();
  const bool writable = DirectoryExistsEx(folder) ? IsDirectoryWritable(folder) : ForceWritableDirectory(folder);
  if (!writable && s.GetShowErrorIfNoWritePermissions()) {
    // The user is told once per settings object; later failures are silent.
    s.SetShowErrorIfNoWritePermissions(false);
    if (!s.GetIsService()) NotifyLogUser(String(kCannotWriteLogFile));
  }
  return writable;
}

bool TKVFileLogger::DeleteSurplusLogFiles() {
  IKVFileLoggerSettings& s = *FFileLoggerSettings;
  const std::int32_t maxCount = s.GetMaxCount();
  if (maxCount < 0) return true;
  const TDateTime now = Now();
  if (now - FLastCheckOldLogFiles <= 1.0 / 24) return true;
  FLastCheckOldLogFiles = now;
  bool allDeleted = true;
  try {
    TStringList files;
    ListFiles(files, s.GetLogFolder(), GetLogFileMask());
    SortFilesByDate(files, false);
    // The file being written is kept whatever its age: deleting it would
    // lose the line just written. It counts among the files kept.
    int limit = maxCount;
    for (int i = 0; i < files.Count(); ++i) {
      if (!FLogFile.empty() && CompareTextIgnoreCase(files.Strings(i), FLogFile) == 0) {
        files.Delete(i);
        limit = std::max(0, maxCount - 1);
        break;
      }
    }
    int first = 0;
    while (files.Count() - first > limit) {
      if (!platform::RemoveFile(files.Strings(first))) allDeleted = false;
      ++first;
    }
  } catch (const std::exception& e) {
    if (s.GetShowErrorIfNoWritePermissions())
      throw Exception(FormatText(u"Fehler beim L\u00F6schen von alten Logdateien: %s", {ErrorText(e)}));
  }
  return allDeleted;
}

void TKVFileLogger::WriteText(const String& Text) {
  try {
    if (!CheckLogFolder()) return;
    FLogFile = GetCurrentLogFile();
    if (FFileWriter)
      FFileWriter->Open(FLogFile, true);
    else
      FFileWriter = std::make_unique<TUnicodeFileWriter>(FLogFile, true, true, false, true);
    FFileWriter->WriteLn(Text);
    FFileWriter.reset();
    DeleteSurplusLogFiles();
  } catch (const std::exception& e) {
    if (FFileLoggerSettings->GetShowErrorIfNoWritePermissions())
      throw Exception(FormatText(u"Fehler beim Schreiben der Logdatei: %s", {ErrorText(e)}));
  }
}

void TKVFileLogger::WriteMessage(const String& Msg, TMessageLogType MsgType) {
  WriteText(TKVLoggingHelper::FormatLogText(Msg, MsgType, true, FFileLoggerSettings->GetPrefix()));
}

void TKVFileLogger::WriteEntry(const IKVLogEntry& LogEntry) {
  WriteText(TKVLoggingHelper::LogEntryToString(LogEntry));
  if (!LogEntry.GetStackTrace().empty()) WriteText(LogEntry.GetStackTrace());
}

// --- Messages to the user -------------------------------------------------------------

namespace {

struct UserMessages {
  std::mutex Lock;
  TLogUserNotifier Notifier;  // empty: the default
  String Pending;
  std::atomic<bool> HasPending{false};
  std::atomic<std::uint32_t> UserInterfaceThread{0};
  // The threads that write log files now (kept in a list rather than in
  // thread-local storage, which not every runtime we build with tears down
  // reliably).
  std::vector<std::uint32_t> LoggingThreads;
};

UserMessages& Messages() {
  static UserMessages m;
  return m;
}

bool MayShowHere() {
  UserMessages& m = Messages();
  const std::uint32_t self = platform::CurrentThreadId();
  {
    std::lock_guard<std::mutex> guard(m.Lock);
    if (std::find(m.LoggingThreads.begin(), m.LoggingThreads.end(), self) != m.LoggingThreads.end()) return false;
  }
  const std::uint32_t ui = m.UserInterfaceThread.load(std::memory_order_relaxed);
  return ui == 0 || ui == self;
}

void DefaultLogUserNotifier(const String& Msg) { ShowErrorMessage(Msg); }

void Show(const String& Msg) {
  TLogUserNotifier notifier;
  {
    std::lock_guard<std::mutex> guard(Messages().Lock);
    notifier = Messages().Notifier;
  }
  if (notifier)
    notifier(Msg);
  else
    DefaultLogUserNotifier(Msg);
}

}  // namespace

void SetLogUserNotifier(TLogUserNotifier notifier) {
  std::lock_guard<std::mutex> guard(Messages().Lock);
  Messages().Notifier = std::move(notifier);
}

void SetUserInterfaceThread(std::uint32_t threadId) { Messages().UserInterfaceThread.store(threadId); }

void MarkLoggingThread(bool IsLogging) {
  UserMessages& m = Messages();
  const std::uint32_t self = platform::CurrentThreadId();
  std::lock_guard<std::mutex> guard(m.Lock);
  auto& list = m.LoggingThreads;
  list.erase(std::remove(list.begin(), list.end(), self), list.end());
  if (IsLogging) list.push_back(self);
}

void NotifyLogUser(const String& Msg) {
  if (MayShowHere()) {
    Show(Msg);
    return;
  }
  UserMessages& m = Messages();
  std::lock_guard<std::mutex> guard(m.Lock);
  if (!m.HasPending.load()) {
    m.Pending = Msg;
    m.HasPending.store(true);
  }
}

void ShowPendingLogUserMessage() {
  UserMessages& m = Messages();
  if (!m.HasPending.load(std::memory_order_acquire) || !MayShowHere()) return;
  String msg;
  {
    std::lock_guard<std::mutex> guard(m.Lock);
    if (!m.HasPending.load()) return;
    msg = std::move(m.Pending);
    m.Pending.clear();
    m.HasPending.store(false);
  }
  Show(msg);
}

}  // namespace kv
