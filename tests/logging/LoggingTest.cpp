#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdlib>
#include <regex>
#include <stdexcept>

#include "TestUtil.h"
#include "logging/KVLogging.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/ShellFolders.h"
#include "system/KVRegistry.h"

using namespace kv;
using platform::kHiveCurrentUser;

namespace {

TKVLogProps Defaults() { return TKVLogConfigDefault(nullptr).GetLogProps(); }

String Reg(StringView name) { return ReadRegistryStringDef(kHiveCurrentUser, kLogRegistryKey, name, u"<missing>"); }
void SetReg(StringView name, StringView value) { WriteRegistryString(kHiveCurrentUser, kLogRegistryKey, name, value); }

// The configuration's registry key starts missing (natively in a store of
// its own) and no settings file lies beside the test program.
class LogConfig : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    ::setenv("KV_REGISTRY_DIR", store.Native().c_str(), 1);
#endif
    platform::RegDeleteKeyTree(kHiveCurrentUser, kLogRegistryKey);
    platform::RemoveFile(TKVLogConfigDefault::SettingsFileName());
  }
  void TearDown() override {
    platform::RegDeleteKeyTree(kHiveCurrentUser, kLogRegistryKey);
    platform::RemoveFile(TKVLogConfigDefault::SettingsFileName());
#ifndef _WIN32
    ::unsetenv("KV_REGISTRY_DIR");
#endif
  }
  static void WriteSettingsFile(const std::string& utf8) {
    platform::FileHandle f;
    ASSERT_TRUE(f.Open(TKVLogConfigDefault::SettingsFileName(), platform::FileAccess::Write,
                       platform::FileShare::None, platform::FileDisposition::CreateAlways));
    ASSERT_EQ(f.Write(utf8.data(), static_cast<std::int64_t>(utf8.size())), static_cast<std::int64_t>(utf8.size()));
  }
  // A configuration that has loaded what is stored.
  static std::shared_ptr<TKVLogConfigDefault> Loaded() {
    auto c = TKVLogConfigDefault::Create(nullptr);
    c->Load();
    return c;
  }
  kvtest::TempDir store;
};

}  // namespace

TEST_F(LogConfig, FirstRunSavesTheDefaultsOnceAndReportsThem) {
  int saves = 0;
  TKVLogProps reportedOld, reportedNew;
  auto onSaved = [&](const TKVLogProps& o, const TKVLogProps& n) {
    ++saves;
    reportedOld = o;
    reportedNew = n;
  };
  auto config = TKVLogConfigDefault::Create(onSaved);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(Reg(u"Type"), u"tmlMessage,tmlWarning,tmlError");
  EXPECT_EQ(Reg(u"Channels"), u"lcApplication,lcDatabase,lcImageViewer,lcImport");
  EXPECT_EQ(Reg(u"SQLCommands"), u"scInsert,scUpdate,scDelete");
  EXPECT_EQ(Reg(u"Active"), u"0");
  EXPECT_EQ(Reg(u"LogTables"), u"");
  EXPECT_EQ(Reg(u"LogFolder"), u"");
  EXPECT_EQ(Reg(u"KeepDays"), u"0");
  EXPECT_EQ(Reg(u"AutoClear"), u"0");
  EXPECT_EQ(Reg(u"FileName"), u"<missing>");
  EXPECT_EQ(reportedOld, TKVLogProps{});
  EXPECT_EQ(reportedNew, config->GetLogProps());
  EXPECT_EQ(config->GetOldProps(), config->GetLogProps());
  EXPECT_FALSE(config->GetLogProps().LogEnabled);

  // The key exists now: a second configuration neither saves nor reports.
  auto second = TKVLogConfigDefault::Create(onSaved);
  EXPECT_EQ(saves, 1);
  second->Load();
  EXPECT_EQ(second->GetLogProps(), Defaults());
}

TEST_F(LogConfig, LoadAddsNamesFoundAsSubstringsAndReadsTheOtherValues) {
  TKVLogConfigDefault::Create(nullptr);  // saves the defaults
  SetReg(u"Type", u"tmlError");
  SetReg(u"Channels", u"lcImageConvert,IcImageConvert,lcDebugX");
  SetReg(u"SQLCommands", u"scSelect");
  SetReg(u"Active", u"2");
  SetReg(u"LogTables", u"Orders,\"Order Items\"");
  SetReg(u"LogFolder", u"D:\\L\u00F6gs");
  SetReg(u"KeepDays", u"-3");
  SetReg(u"AutoClear", u"yes");
  auto p = Loaded()->GetLogProps();
  EXPECT_EQ(p.LogTypes, TMessageLogTypes{tmlError});
  EXPECT_EQ(p.LogChannels, (TLogChannels{IcImageConvert, lcDebug}));
  // Stored kinds are added to those already in memory.
  EXPECT_EQ(p.LogSQLProps.LogSQLCommands, (TLogSQLCommands{scSelect, scInsert, scUpdate, scDelete}));
  EXPECT_TRUE(p.LogEnabled);
  EXPECT_EQ(p.LogSQLProps.LogTables, u"Orders,\"Order Items\"");
  EXPECT_EQ(p.LogFolder, u"D:\\L\u00F6gs");
  EXPECT_EQ(p.KeepDays, -3);
  EXPECT_FALSE(p.AutoClear);

  SetReg(u"Type", u"tmlWarningAndMore,TMLERROR");
  EXPECT_EQ(Loaded()->GetLogProps().LogTypes, TMessageLogTypes{tmlWarning});
}

TEST_F(LogConfig, ValuesThatAreNotTextReadAsTheirDefaults) {
  TKVLogConfigDefault::Create(nullptr);
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegCreate(kHiveCurrentUser, kLogRegistryKey, platform::kKeyAllAccess, &h), 0u);
  const std::uint32_t one = 1;
  ASSERT_EQ(platform::RegSet(h, u"Active", platform::kRegDword, &one, sizeof one), 0u);
  ASSERT_EQ(platform::RegSet(h, u"KeepDays", platform::kRegDword, &one, sizeof one), 0u);
  platform::RegClose(h);
  SetReg(u"AutoClear", u"$1");
  auto p = Loaded()->GetLogProps();
  EXPECT_FALSE(p.LogEnabled);
  EXPECT_EQ(p.KeepDays, 0);
  EXPECT_FALSE(p.AutoClear);
}

TEST_F(LogConfig, OlderSchemeSwitchesApplyOnlyWithoutTypeAndSaveRemovesThem) {
  for (const char16_t* name : {u"LogDebug", u"LogError", u"LogDBChannel", u"LogImageViewer"}) SetReg(name, u"1");
  SetReg(u"LogWarning", u"0");
  SetReg(u"LogAppChannel", u"x");
  int saves = 0;
  TKVLogProps reportedOld;
  auto config = TKVLogConfigDefault::Create([&](const TKVLogProps& o, const TKVLogProps&) {
    ++saves;
    reportedOld = o;
  });
  EXPECT_EQ(saves, 0);  // the key existed
  config->Load();
  auto p = config->GetLogProps();
  // "LogDebug" means the informational level.
  EXPECT_EQ(p.LogTypes, (TMessageLogTypes{tmlMessage, tmlError}));
  EXPECT_EQ(p.LogChannels, (TLogChannels{lcDatabase, lcImageViewer}));

  config->SetLogEnabled(true);
  config->SetLogFolder(u"E:\\logs");
  config->Save();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(reportedOld, p);  // the loaded baseline
  for (const char16_t* name :
       {u"LogDebug", u"LogWarning", u"LogError", u"LogAppChannel", u"LogDBChannel", u"LogImageViewer"}) {
    EXPECT_FALSE(RegistryValueExists(kHiveCurrentUser, kLogRegistryKey, name)) << ToUtf8(name);
  }
  EXPECT_EQ(Reg(u"Type"), u"tmlMessage,tmlError");
  EXPECT_EQ(Reg(u"Active"), u"1");
  EXPECT_EQ(Reg(u"LogFolder"), u"E:\\logs");

  // With Type present the switches are ignored.
  SetReg(u"LogWarning", u"1");
  SetReg(u"Type", u"");
  EXPECT_TRUE(Loaded()->GetLogProps().LogTypes.Empty());
}

TEST_F(LogConfig, SettingsFileBesideTheProgramReplacesTheRegistry) {
  TKVLogConfigDefault::Create(nullptr);
  SetReg(u"Active", u"1");
  SetReg(u"LogFolder", u"R:\\from-registry");
  SetReg(u"AutoClear", u"1");

  WriteSettingsFile("[Other]\r\nActive=1\r\n");
  auto p = Loaded()->GetLogProps();
  EXPECT_FALSE(p.LogEnabled);
  EXPECT_TRUE(p.LogTypes.Empty());
  EXPECT_TRUE(p.LogChannels.Empty());
  EXPECT_EQ(p.LogFolder, u"");
  EXPECT_FALSE(p.AutoClear);
  // The SQL kinds are never cleared, only added to.
  EXPECT_EQ(p.LogSQLProps.LogSQLCommands, Defaults().LogSQLProps.LogSQLCommands);

  WriteSettingsFile(
      "[DebugLog]\nType=tmlDebug\nChannels=lcPlugins,lcAutomation\nSQLCommands=scSelect\nActive=1\n"
      "LogTables=Orders\nLogFolder=C:\\L\xC3\xB6gs\nKeepDays=14\nAutoClear=1\nLogDebug=1\n");
  p = Loaded()->GetLogProps();
  EXPECT_TRUE(p.LogEnabled);
  EXPECT_EQ(p.LogTypes, TMessageLogTypes{tmlDebug});
  EXPECT_EQ(p.LogChannels, (TLogChannels{lcAutomation, lcPlugins}));
  EXPECT_TRUE(p.LogSQLProps.LogSQLCommands.Contains(scSelect));
  EXPECT_EQ(p.LogSQLProps.LogTables, u"Orders");
  EXPECT_EQ(p.LogFolder, u"C:\\L\u00F6gs");
  EXPECT_EQ(p.KeepDays, 14);
  EXPECT_TRUE(p.AutoClear);
  // The file is only read.
  EXPECT_EQ(Reg(u"LogFolder"), u"R:\\from-registry");
}

// --- Message filter ----------------------------------------------------------------

namespace {

TLogSQLProps Sql(TLogSQLCommands commands, StringView tables) { return {commands, String(tables)}; }

}  // namespace

TEST(LogFilter, LevelsChannelsAndTheDebugChannel) {
  EXPECT_TRUE(IsLogged(nullptr, tmlDebug, lcPlugins, u"", u"anything"));
  TKVLogConfigDefault config(nullptr);
  TKVLogProps p = config.GetLogProps();  // levels message/warning/error; four channels
  config.SetLogProps(p);
  EXPECT_TRUE(IsLogged(&config, tmlWarning, lcApplication, u"", u"m"));
  EXPECT_FALSE(IsLogged(&config, tmlWarning, lcPlugins, u"", u"m"));
  EXPECT_FALSE(IsLogged(&config, tmlDebug, lcApplication, u"", u"m"));

  p.LogChannels.Include(lcDebug);
  config.SetLogProps(p);
  EXPECT_TRUE(IsLogged(&config, tmlDebug, lcPlugins, u"", u"m"));
  EXPECT_FALSE(IsLogged(&config, tmlMessage, lcPlugins, u"", u"m"));
  // Passing as debug still leaves a database message to the SQL filter.
  EXPECT_FALSE(IsLogged(&config, tmlDebug, lcDatabase, u"", u"select 1"));
  EXPECT_TRUE(IsLogged(&config, tmlDebug, lcDatabase, u"", u"DELETE FROM t"));
  EXPECT_TRUE(IsLogged(&config, tmlError, lcDatabase, u"", u"insert into t"));

  // A later change of the configuration takes effect at once.
  p.LogTypes = {};
  config.SetLogProps(p);
  EXPECT_FALSE(IsLogged(&config, tmlError, lcApplication, u"", u"m"));
}

TEST(LogFilter, StatementKindsAndTables) {
  const String msg = u"UPDATE Orders SET x=1";
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u"orders"), u"", msg));
  EXPECT_FALSE(IsSQLLogged(Sql({scUpdate}, u"Customers"), u"", msg));
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u"Customers"), u"cUsToMeRs", msg));
  EXPECT_FALSE(IsSQLLogged(Sql({scSelect, scInsert, scDelete}, u""), u"", msg));
  EXPECT_FALSE(IsSQLLogged(Sql({}, u""), u"", u"select update insert delete"));
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u""), u"", msg));
  // Only blanks: no entries, every table.
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u"  "), u"", msg));
  // Later entries are tried when earlier ones do not match.
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u"Customers Orders"), u"", msg));
  // A quoted entry may hold blanks and commas.
  EXPECT_TRUE(IsSQLLogged(Sql({scDelete}, u"x,\"Order, Items\""), u"", u"delete from [order, items]"));
  EXPECT_FALSE(IsSQLLogged(Sql({scDelete}, u"x,\"Order, Items\""), u"", u"delete from order"));
  // A trailing comma gives an empty entry, which matches an empty table only.
  EXPECT_TRUE(IsSQLLogged(Sql({scUpdate}, u"Customers,"), u"", msg));
  EXPECT_FALSE(IsSQLLogged(Sql({scUpdate}, u"Customers,"), u"Products", msg));
  EXPECT_FALSE(IsSQLLogged(Sql({scUpdate}, u"Customers"), u"", msg));
  // Lower-casing follows the locale, not only ASCII.
  EXPECT_TRUE(IsSQLLogged(Sql({scInsert}, u"\u00C4nderungen"), u"", u"INSERT INTO \u00C4NDERUNGEN"));
}

// --- User identity ------------------------------------------------------------------

namespace {

class FakeIdentity : public TUserIdentitySource {
 public:
  bool workstationOk = false;
  bool workstationThrows = false;
  platform::WorkstationUser workstation;
  int workstationQueries = 0;
  String userName, userDomain, systemUser, accountDomain, computer;
  bool systemThrows = false, accountThrows = false;

  bool QueryWorkstationUser(platform::WorkstationUser& u) override {
    ++workstationQueries;
    if (workstationThrows) throw std::runtime_error("net api");
    if (workstationOk) u = workstation;
    return workstationOk;
  }
  String EnvironmentVariable(StringView name) override {
    if (name == u"USERNAME") return userName;
    if (name == u"USERDOMAIN") return userDomain;
    return {};
  }
  String SystemUserName() override {
    if (systemThrows) throw EOSError(u"GetUserNameW failed", 5);
    return systemUser;
  }
  String AccountDomain(StringView) override {
    if (accountThrows) throw EOSError(u"LookupAccountNameW failed", 5);
    return accountDomain;
  }
  String ComputerName() override { return computer; }
};

class Identity : public ::testing::Test {
 protected:
  void SetUp() override { SetUserIdentitySource(&fake); }
  void TearDown() override { SetUserIdentitySource(nullptr); }
  FakeIdentity fake;
};

}  // namespace

TEST_F(Identity, WorkstationUserIsCachedOnceKnown) {
  fake.workstationOk = true;
  fake.workstation = {u"anna", u"OFFICE"};
  EXPECT_EQ(GetUserIdentity(true), u"OFFICE\\anna");
  EXPECT_EQ(GetUserIdentity(false), u"anna");
  fake.workstation = {u"bert", u"HOME"};
  EXPECT_EQ(GetUserIdentity(true), u"OFFICE\\anna");
  EXPECT_EQ(fake.workstationQueries, 1);

  // The backslash stays even with an empty logon domain.
  SetUserIdentitySource(&fake);
  fake.workstation = {u"carl", u""};
  EXPECT_EQ(GetUserIdentity(true), u"\\carl");
}

TEST_F(Identity, FallbackChainWhenTheWorkstationIsUnknown) {
  fake.workstationThrows = true;
  fake.userName = u"env-user";
  fake.userDomain = u"ENVDOM";
  fake.systemUser = u"sys-user";
  fake.accountDomain = u"ACCDOM";
  fake.computer = u"PC01";
  EXPECT_EQ(GetUserIdentity(true), u"ENVDOM\\env-user");
  EXPECT_EQ(GetUserIdentity(false), u"env-user");
  fake.userDomain.clear();
  EXPECT_EQ(GetUserIdentity(true), u"ACCDOM\\env-user");
  fake.accountDomain.clear();
  fake.userName.clear();
  EXPECT_EQ(GetUserIdentity(true), u"PC01\\sys-user");
  fake.computer.clear();
  EXPECT_EQ(GetUserIdentity(true), u"sys-user");
  // Still unknown, so asked again every time.
  EXPECT_EQ(fake.workstationQueries, 5);

  fake.accountThrows = true;
  EXPECT_EQ(GetUserDomain(u"sys-user"), u"RTS-Default-User");
  EXPECT_EQ(GetUserIdentity(true), u"RTS-Default-User\\sys-user");
  fake.systemThrows = true;
  EXPECT_EQ(GetUserIdentity(true), u"RTS-Default-User");
  EXPECT_EQ(GetUserIdentity(false), u"RTS-Default-User");
  EXPECT_THROW(GetCurrentUserName(), EOSError);
}

TEST(IdentityOfThisProcess, IsNeverEmpty) {
  SetUserIdentitySource(nullptr);
  const String who = GetUserIdentity(true);
  EXPECT_NE(who.find(u'\\'), String::npos) << ToUtf8(who);
  EXPECT_FALSE(GetUserIdentity(false).empty());
}

// --- Entries and their texts --------------------------------------------------------

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  return *TryEncodeDate(y, mo, d) + *TryEncodeTime(h, mi, s, ms);
}

}  // namespace

TEST(LogEntry, TheThreeFormsFillEveryField) {
  auto e = TKVLogEntry::GetLogEntry(At(2026, 3, 5, 14, 7, 9, 45), 4242, u"m", u"a\r\nb\r\n", tmlWarning, u"D\\u",
                                    u"app.exe", u"plug");
  EXPECT_EQ(e->GetThreadId(), 4242u);
  EXPECT_EQ(e->GetMessageStr(), u"m");
  EXPECT_EQ(e->GetStackTrace(), u"a\r\nb\r\n");
  EXPECT_EQ(e->GetLogType(), tmlWarning);
  EXPECT_EQ(e->GetUserName(), u"D\\u");
  EXPECT_EQ(e->GetAppName(), u"app.exe");
  EXPECT_EQ(e->GetPluginName(), u"plug");

  const TDateTime before = Now();
  auto now = TKVLogEntry::GetLogEntry(u"hello");
  EXPECT_GE(now->GetTimeStamp(), before);
  EXPECT_EQ(now->GetThreadId(), platform::CurrentThreadId());
  EXPECT_EQ(now->GetLogType(), tmlMessage);
  EXPECT_EQ(now->GetStackTrace(), u"");
  EXPECT_EQ(now->GetUserName(), GetUserIdentity(true));
  EXPECT_EQ(now->GetPluginName(), u"");
  EXPECT_EQ(now->GetAppName().find(u'\\'), String::npos);
  EXPECT_EQ(now->GetAppName().rfind(u"logging_tests", 0), 0u) << ToUtf8(now->GetAppName());
}

TEST(LogText, EntryLineHasSixTabsBeforeTheMessage) {
  auto e = TKVLogEntry::GetLogEntry(At(2026, 3, 5, 14, 7, 9, 45), 4242, u"two\r\nlines", u"stack", tmlError,
                                    u"RTS-Default-User", u"app.exe", u"");
  EXPECT_EQ(TKVLoggingHelper::LogEntryToString(*e),
            u"05.03.2026 14:07:09.045\t[Error]\tRTS-Default-User\tapp.exe\t\t<4242>\ttwo\r\nlines");

  auto empty = TKVLogEntry::GetLogEntry(At(2026, 12, 31, 0, 0, 0, 0), 0, u"", u"", tmlDebug, u"", u"", u"");
  const String line = TKVLoggingHelper::LogEntryToString(*empty);
  EXPECT_EQ(std::count(line.begin(), line.end(), u'\t'), 6);
  EXPECT_EQ(line, u"31.12.2026 00:00:00.000\t[Debug]\t\t\t\t<0>\t");

  for (auto [type, text] : {std::pair{tmlMessage, u"[Info]"}, std::pair{tmlWarning, u"[Warning]"},
                            std::pair{static_cast<TMessageLogType>(9), u"[Unknown]"}}) {
    EXPECT_EQ(LogLevelText(type), text);
  }

  // The colon stands for the locale's time separator.
  TFormatSettings& fs = FormatSettings();
  const char16_t saved = fs.TimeSeparator;
  fs.TimeSeparator = u'.';
  const String dotted = TKVLoggingHelper::LogEntryToString(*e);
  fs.TimeSeparator = saved;
  EXPECT_EQ(dotted.substr(0, 23), u"05.03.2026 14.07.09.045");
}

TEST(LogText, TheProducersLineIsTheLineOfTheEntryItStandsFor) {
  const TDateTime t = At(2026, 1, 2, 3, 4, 5, 6);
  for (auto type : {tmlMessage, tmlError, static_cast<TMessageLogType>(7)}) {
    EXPECT_EQ(TKVLoggingHelper::LogEntryLine(t, 99, u"m\r\nx", type),
              TKVLoggingHelper::LogEntryToString(*TKVLogEntry::GetLogEntry(t, 99, u"m\r\nx", u"", type)));
  }
  EXPECT_EQ(TKVLoggingHelper::LogEntryLine(t, 0, u"", tmlDebug).substr(0, 32), u"02.01.2026 03:04:05.006\t[Debug]\t");
}

TEST_F(Identity, TheProducersLineCarriesTheIdentityBeforeAndAfterItIsKnown) {
  fake.userName = u"env-user";
  fake.userDomain = u"ENVDOM";
  const TDateTime t = At(2026, 1, 2, 3, 4, 5, 6);
  EXPECT_NE(TKVLoggingHelper::LogEntryLine(t, 1, u"m", tmlMessage).find(u"\tENVDOM\\env-user\t"), String::npos);
  fake.workstationOk = true;
  fake.workstation = {u"anna", u"OFFICE"};
  EXPECT_NE(TKVLoggingHelper::LogEntryLine(t, 1, u"m", tmlMessage).find(u"\tOFFICE\\anna\t"), String::npos);
  EXPECT_EQ(TKVLoggingHelper::LogEntryLine(t, 1, u"m", tmlMessage),
            TKVLoggingHelper::LogEntryToString(*TKVLogEntry::GetLogEntry(t, 1, u"m", u"", tmlMessage)));
}

TEST(LogText, PlainLinesGetPrefixMarkAndTimeStamp) {
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"----------", tmlError, true, u"P"), u"----------");
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"", tmlWarning, true, u"P"), u"");
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"-----", tmlError, false, u""), u"[E] -----");
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"M", tmlWarning, false, u"P"), u"P [W] M");
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"M", tmlDebug, false, u"P"), u"P M");
  EXPECT_EQ(TKVLoggingHelper::FormatLogText(u"M", tmlMessage, false, u""), u"M");

  const std::regex stamped(R"(^\[\d{4}-\d\d-\d\d \d\d.\d\d.\d\d\] P \[W\] M$)");
  EXPECT_TRUE(std::regex_match(ToUtf8(TKVLoggingHelper::FormatLogText(u"M", tmlWarning, true, u"P")), stamped));
  const std::regex bare(R"(^\[\d{4}-\d\d-\d\d \d\d.\d\d.\d\d\] M$)");
  EXPECT_TRUE(std::regex_match(ToUtf8(TKVLoggingHelper::FormatLogText(u"M", tmlMessage, true, u"")), bare));
}

TEST(LogText, DefaultFolderBelowTheMachineWideDataFolder) {
#ifndef _WIN32
  kvtest::TempDir data;
  ::setenv("KV_PROGRAMDATA", data.Native().c_str(), 1);
  EXPECT_EQ(TKVLoggingHelper::DefaultLogFolder(), data.Path() + u"\\Orvalis\\logging_tests\\Logs");
  ::unsetenv("KV_PROGRAMDATA");
#endif
  const String folder = TKVLoggingHelper::DefaultLogFolder();
  const String data2 = platform::ProgramDataFolder();
  EXPECT_FALSE(data2.empty());
  EXPECT_EQ(folder, data2 + u"\\Orvalis\\logging_tests\\Logs");
}

TEST(LogKinds, SetTextForms) {
  EXPECT_EQ(MessageLogTypesToText({}), u"");
  EXPECT_EQ(MessageLogTypesToText({tmlDebug, tmlMessage}), u"tmlMessage,tmlDebug");
  EXPECT_EQ(LogChannelsToText({lcDebug, IcImageConvert, lcPluginPerformance}),
            u"IcImageConvert,lcPluginPerformance,lcDebug");
  EXPECT_EQ(LogSQLCommandsToText({scDelete, scSelect}), u"scSelect,scDelete");
  TLogChannels all;
  for (int c = lcApplication; c <= lcDebug; ++c) all.Include(static_cast<TLogChannel>(c));
  TLogChannels back;
  AddLogChannelsFromText(LogChannelsToText(all), back);
  EXPECT_EQ(back, all);
}

#ifndef _WIN32
TEST_F(LogConfig, AFailedSaveRaisesAndKeepsBaselineAndCallbackBack) {
  // A registry store below a regular file cannot be written.
  kvtest::WriteBytes(store.NativeFile("blocker"), "x");
  ::setenv("KV_REGISTRY_DIR", (store.NativeFile("blocker") + "/hives").c_str(), 1);
  int saves = 0;
  TKVLogConfigDefault config([&](const TKVLogProps&, const TKVLogProps&) { ++saves; });
  config.SetLogEnabled(true);
  EXPECT_THROW(config.Save(), Exception);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(config.GetOldProps(), TKVLogProps{});
  EXPECT_TRUE(config.GetLogProps().LogEnabled);  // memory is not rolled back
  // Reading such a store gives the defaults.
  config.Load();
  EXPECT_FALSE(config.GetLogProps().LogEnabled);
  EXPECT_TRUE(config.GetLogProps().LogTypes.Empty());
}
#endif

TEST(LogEntry, EntriesAndTheFilterWorkFromManyThreads) {
  // Several rounds of short-lived producers, so that thread start and end
  // (where per-thread state is torn down) happen often while the table list
  // keeps changing underneath them.
  TKVLogConfigDefault config(nullptr);
  std::atomic<int> lines{0};
  constexpr int kRounds = 8, kThreads = 4;
  std::vector<IKVLogEntryPtr> handedOver(kRounds * kThreads);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
      producers.emplace_back([&, slot = round * kThreads + t] {
        for (int i = 0; i < 100; ++i) {
          auto e = TKVLogEntry::GetLogEntry(u"message " + IntToStr(i));
          if (IsLogged(&config, tmlError, lcDatabase, u"Orders", u"delete from orders")) ++lines;
          if (TKVLoggingHelper::LogEntryToString(*e).find(u"\t<") != String::npos && i == 99) handedOver[slot] = e;
        }
      });
    }
    for (int i = 0; i < 50; ++i) {
      TKVLogProps p = config.GetLogProps();
      p.LogSQLProps.LogTables = i % 2 ? u"orders" : u"customers";
      config.SetLogProps(p);
    }
    for (auto& th : producers) th.join();
  }
  EXPECT_GT(lines.load(), 0);
  for (const auto& e : handedOver) {
    ASSERT_NE(e, nullptr);  // still valid after its thread ended
    EXPECT_EQ(e->GetMessageStr(), u"message 99");
  }
}
