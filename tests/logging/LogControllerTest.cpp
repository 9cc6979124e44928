#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "LogTestUtil.h"
#include "logging/KVDataObjectsFactory.h"
#include "logging/KVFileLogger.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "text/_4Files.h"

using namespace kv;
using platform::Event;
using platform::kInfinite;
namespace fs = std::filesystem;

namespace {

// A file writer under the test's control: it records lines, can fail from
// some line on, and can hold the logging thread at a line until let go.
struct FakeWriter {
  std::mutex Lock;
  std::vector<String> Lines;
  int Calls = 0;
  int FailFrom = -1;           // the call that raises, and every later one
  String HoldAt;               // a line containing this waits for Release
  Event Held{true, false};     // set when a line is held
  Event Release{true, false};  // opens the gate
  Event Failed{true, false};
  Event Gone{true, false};     // the writer was released with its thread

  std::vector<String> Snapshot() {
    std::lock_guard<std::mutex> guard(Lock);
    return Lines;
  }
};

class FakeLogger : public IKVLogger {
 public:
  explicit FakeLogger(std::shared_ptr<FakeWriter> w) : W(std::move(w)) {}
  ~FakeLogger() override { W->Gone.Set(); }
  void WriteText(const String& Text) override {
    if (!W->HoldAt.empty() && Text.find(W->HoldAt) != String::npos) {
      W->Held.Set();
      W->Release.Wait(kInfinite);
    }
    std::lock_guard<std::mutex> guard(W->Lock);
    const int call = W->Calls++;
    if (W->FailFrom >= 0 && call >= W->FailFrom) {
      W->Failed.Set();
      throw Exception(u"Fehler beim Schreiben der Logdatei: disk gone");
    }
    W->Lines.push_back(Text);
  }
  void WriteMessage(const String& Msg, TMessageLogType) override { WriteText(Msg); }
  void WriteEntry(const IKVLogEntry& e) override { WriteText(TKVLoggingHelper::LogEntryToString(e)); }

 private:
  std::shared_ptr<FakeWriter> W;
};

std::string Message(const String& line) { return kvtest::LogFixture::MessageOf(ToUtf8(line)); }

class LogController : public kvtest::LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    LoggingModule_Initialize();
  }
  void TearDown() override {
    LoggingModule_Finalize();
    LoggingModule_Initialize();
    SetFileLoggerFactory(nullptr);
    SetUserInterfaceThread(0);
    LogFixture::TearDown();
  }
  // The stored configuration: switched on or off, in this folder.
  void Configure(bool active, const String& folder) {
    TKVLogConfigDefault::Create(nullptr);  // the defaults, on first use
    SetReg(u"Active", active ? u"1" : u"0");
    SetReg(u"LogFolder", folder);
  }
  std::shared_ptr<FakeWriter> UseFakeWriter() {
    auto w = std::make_shared<FakeWriter>();
    SetFileLoggerFactory([w](const IKVFileLoggerSettingsPtr&) { return std::make_shared<FakeLogger>(w); });
    return w;
  }
  std::vector<std::string> Messages(const String& folder) {
    std::vector<std::string> out;
    for (const auto& line : AllLines(folder)) out.push_back(MessageOf(line));
    return out;
  }
  static void Age(const std::string& nativeFile, std::chrono::minutes age) {
    fs::last_write_time(nativeFile, fs::file_time_type::clock::now() - age);
  }

  kvtest::TempDir dir;
};

using std::chrono::hours;
using std::chrono::minutes;

const std::vector<std::string> kDefaultHead = {"Log-Settings", "- LogTypes = tmlMessage,tmlWarning,tmlError",
                                               "- LogChannel = lcApplication,lcDatabase,lcImageViewer,lcImport"};

}  // namespace

TEST_F(LogController, AFreshLogBeginsWithFourLinesAndEndsWithTwo) {
  Configure(true, dir.Path());
  AddToLog(tmlError, lcApplication, u"", u"report", false);
  AddToLog(tmlDebug, lcPlugins, u"", u"filtered out", false);
  AddToLog(tmlWarning, lcDatabase, u"Orders", u"update orders set x = 1", false);
  LoggingModule_Finalize();

  const auto files = LogFiles(dir.Path());
  ASSERT_EQ(files.size(), 1u);
  const auto lines = Lines(files[0]);
  ASSERT_EQ(lines.size(), 8u);
  std::smatch m;
  const std::string started = MessageOf(lines[0]);
  ASSERT_TRUE(std::regex_match(started, m, std::regex(R"(FileLoggerThread started, ThreadId = (\d+), Version = (.*))")))
      << started;
  EXPECT_EQ(m[2].str(), ToUtf8(GetModuleVersionText(u"")));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(MessageOf(lines[1 + i]), kDefaultHead[i]);
  EXPECT_EQ(MessageOf(lines[4]), "report");
  EXPECT_EQ(LevelOf(lines[4]), "[Error]");
  EXPECT_EQ(MessageOf(lines[5]), "update orders set x = 1");
  EXPECT_EQ(MessageOf(lines[6]), "FileLoggerThread wird beendet...");
  EXPECT_EQ(MessageOf(lines[7]), "TKVFileLoggerThread terminated");
  for (int i : {0, 1, 2, 3, 6, 7}) EXPECT_EQ(LevelOf(lines[i]), "[Info]") << lines[i];
  // The last line is made on the logging thread, whose id the first names.
  EXPECT_NE(lines[7].find("\t<" + m[1].str() + ">\t"), std::string::npos) << lines[7];
  EXPECT_NE(m[1].str(), std::to_string(platform::CurrentThreadId()));

  // Shut down: nothing is logged and no controller is made again.
  AddToLog(tmlError, lcApplication, u"", u"too late", false);
  EXPECT_FALSE(LoggingAllowed());
  EXPECT_EQ(GetLogController(), nullptr);
  EXPECT_EQ(Lines(files[0]).size(), 8u);
}

TEST_F(LogController, SwitchedOffItWritesNothingButStillClearsOldLogs) {
  Configure(false, dir.Path());
  SetReg(u"AutoClear", u"1");
  SetReg(u"KeepDays", u"7");
  const std::string old = dir.NativeFile("a_1.log"), young = dir.NativeFile("b_1.log");
  const std::string other = dir.NativeFile("other.txt"), plain = dir.NativeFile("nounderscore.log");
  for (const auto& f : {old, young, other, plain}) kvtest::WriteBytes(f, "x");
  Age(old, hours(7 * 24 + 1));
  Age(young, hours(7 * 24 - 1));
  Age(other, hours(30 * 24));
  Age(plain, hours(30 * 24));

  AddToLog(tmlError, lcApplication, u"", u"report", false);
  const auto controller = GetLogController();
  ASSERT_NE(controller, nullptr);
  EXPECT_FALSE(controller->LoggingActive());
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(young));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(fs::exists(plain));
  const auto left = LogFiles(dir.Path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(fs::path(left[0]).filename(), "b_1.log");

  // Clearing needs both AutoClear and a positive KeepDays.
  Age(young, hours(30 * 24));
  TKVLogConfigDefault config(nullptr);
  TKVLogProps p = controller->GetLogConfig()->GetLogProps();
  p.KeepDays = 0;
  config.SetLogProps(p);
  TKVLogController::ClearOldLogs(&config);
  EXPECT_TRUE(fs::exists(young));
}

TEST_F(LogController, InsideTheDevelopmentEnvironmentItNeverLogsButClears) {
  Configure(true, dir.Path());
  SetReg(u"AutoClear", u"1");
  SetReg(u"KeepDays", u"7");
  const std::string old = dir.NativeFile("a_1.log");
  kvtest::WriteBytes(old, "x");
  Age(old, hours(8 * 24));
  {
    TKVLogController controller(u"BDS.EXE");
    EXPECT_TRUE(controller.LoadedInIDE());
    EXPECT_FALSE(controller.LoggingActive());
    controller.StartLogging();
    controller.AddToFileLog(u"nothing");
    auto config = controller.GetLogConfig();
    config->SetLogEnabled(true);
    config->Save();
    EXPECT_FALSE(controller.Started());
  }
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(LogFiles(dir.Path()).empty());
  TKVLogController ordinary(u"bds.exe.exe");
  EXPECT_FALSE(ordinary.LoadedInIDE());
}

TEST_F(LogController, SavingTheConfigurationRestartsMovesAndStopsTheLog) {
  kvtest::TempDir other;
  Configure(true, dir.Path());
  auto controller = std::make_unique<TKVLogController>();
  ASSERT_TRUE(controller->Started());
  auto config = controller->GetLogConfig();

  // Another folder: stopped here, started there.
  config->SetLogFolder(other.Path());
  config->Save();
  auto here = Messages(dir.Path());
  ASSERT_GE(here.size(), 2u);
  EXPECT_EQ(here[here.size() - 2], "FileLoggerThread wird beendet...");
  EXPECT_EQ(here.back(), "TKVFileLoggerThread terminated");

  // The same folder with other levels: the settings are logged again.
  TKVLogProps p = config->GetLogProps();
  p.LogTypes = {tmlError};
  config->SetLogProps(p);
  config->Save();
  controller->AddToFileLog(u"marker");

  // Switched off: stopped; switched on again: started.
  config->SetLogEnabled(false);
  config->Save();
  EXPECT_FALSE(controller->LoggingActive());
  controller->AddToFileLog(u"not logged");
  config->SetLogEnabled(true);
  config->Save();
  EXPECT_TRUE(controller->Started());
  controller.reset();

  const auto there = Messages(other.Path());
  ASSERT_GE(there.size(), 14u);
  EXPECT_EQ(there[0].rfind("FileLoggerThread started", 0), 0u);
  EXPECT_EQ(std::vector<std::string>(there.begin() + 1, there.begin() + 4), kDefaultHead);
  EXPECT_EQ(there[4], "Log-Settings");
  EXPECT_EQ(there[5], "- LogTypes = tmlError");
  EXPECT_EQ(there[7], "marker");
  EXPECT_EQ(there[8], "FileLoggerThread wird beendet...");
  EXPECT_EQ(there[9], "TKVFileLoggerThread terminated");
  EXPECT_EQ(there[10].rfind("FileLoggerThread started", 0), 0u);
  EXPECT_EQ(there[11], "Log-Settings");
  EXPECT_EQ(there.back(), "TKVFileLoggerThread terminated");
  EXPECT_EQ(std::count(there.begin(), there.end(), "not logged"), 0);
  // Nothing went to the first folder after the move.
  EXPECT_EQ(Messages(dir.Path()), here);
}

TEST_F(LogController, AnEntryWithAStackIsFollowedByItsLinesAndAnEmptyLine) {
  auto start = std::make_shared<Event>(), terminate = std::make_shared<Event>();
  auto settings = TKVDataObjectsFactory::CreateDefaultFileLoggerSettings();
  settings->SetLogFolder(dir.Path());
  auto thread = TKVFileLoggerThread::Create(start, terminate, settings);
  ASSERT_TRUE(start->Wait(kInfinite));
  auto entry = TKVLogEntry::GetLogEntry(Now(), 77, u"with stack", u"[00401000] a\r\n[00401010] b\r\n", tmlError);
  EXPECT_TRUE(thread->AddToFileLog(*entry));
  EXPECT_TRUE(thread->AddToFileLog(String(u"plain line")));
  thread->Terminate();
  ASSERT_TRUE(terminate->Wait(kInfinite));
  EXPECT_FALSE(thread->AddToFileLog(String(u"after the end")));

  const auto lines = AllLines(dir.Path());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(MessageOf(lines[0]), "with stack");
  EXPECT_EQ(lines[1], "[00401000] a");
  EXPECT_EQ(lines[2], "[00401010] b");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "plain line");
  EXPECT_EQ(MessageOf(lines[5]), "TKVFileLoggerThread terminated");

  // Asked for, the current stack goes with the entry: as many lines as the
  // stack walker gives, then (when it gives any) the empty line.
  Configure(true, dir.Path());
  TKVLogController controller;
  controller.AddToFileLog(tmlWarning, u"stacked", true);
  controller.StopLogging();
  const auto after = AllLines(dir.Path());
  auto at = std::find_if(after.begin(), after.end(), [](const std::string& l) { return MessageOf(l) == "stacked"; });
  ASSERT_NE(at, after.end());
  auto stop = std::find_if(at, after.end(), [](const std::string& l) { return MessageOf(l) == "FileLoggerThread wird beendet..."; });
  ASSERT_NE(stop, after.end());
  if (stop - at > 1) {
    EXPECT_EQ(*(stop - 1), "");
    for (auto l = at + 1; l < stop - 1; ++l) EXPECT_FALSE(l->empty());
  }
}

TEST_F(LogController, OneControllerWhenSeveralThreadsAskFirstAtOnce) {
  Configure(true, dir.Path());
  constexpr int kThreads = 4;
  Event go(true, false);
  std::vector<std::shared_ptr<TKVLogController>> got(kThreads);
  std::vector<std::unique_ptr<platform::Thread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(std::make_unique<platform::Thread>());
    threads.back()->Start([&, i] {
      go.Wait(kInfinite);
      got[i] = GetLogController();
      AddToLog(tmlMessage, lcApplication, u"", u"from " + IntToStr(i), false);
    });
  }
  go.Set();
  for (auto& t : threads) t->Join();
  for (const auto& c : got) EXPECT_EQ(c.get(), got[0].get());
  ASSERT_NE(got[0], nullptr);
  got.clear();
  LoggingModule_Finalize();
  const auto messages = Messages(dir.Path());
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [](const std::string& m) { return m.rfind("FileLoggerThread started", 0) == 0; }),
            1);
  EXPECT_EQ(messages.size(), 4u + kThreads + 2u);
}

TEST_F(LogController, NoAcceptedLineIsLostAtShutdown) {
  Configure(true, dir.Path());
  ASSERT_NE(GetLogController(), nullptr);
  constexpr int kThreads = 4, kLines = 150;
  // Round 1: the producers finish just before the shutdown, leaving lines
  // queued that the thread has not yet written.
  std::vector<std::unique_ptr<platform::Thread>> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.push_back(std::make_unique<platform::Thread>());
    producers.back()->Start([t] {
      for (int i = 0; i < kLines; ++i)
        AddToLog(tmlMessage, lcApplication, u"", u"p" + IntToStr(t) + u" " + IntToStr(i), false);
    });
  }
  for (auto& p : producers) p->Join();
  LoggingModule_Finalize();
  auto messages = Messages(dir.Path());
  ASSERT_EQ(messages.size(), 4u + kThreads * kLines + 2u);
  EXPECT_EQ(messages[messages.size() - 2], "FileLoggerThread wird beendet...");
  EXPECT_EQ(messages.back(), "TKVFileLoggerThread terminated");
  std::set<std::string> seen(messages.begin(), messages.end());
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kLines; ++i)
      EXPECT_TRUE(seen.count("p" + std::to_string(t) + " " + std::to_string(i))) << t << " " << i;
}

TEST_F(LogController, ProducersRacingTheShutdownLoseNothingBeforeTheirLastLine) {
  kvtest::TempDir other;
  Configure(true, other.Path());
  ASSERT_NE(GetLogController(), nullptr);
  // Each producer stops after a while by itself, so that the backlog stays
  // small where the writer is slow (under Wine).
  constexpr int kThreads = 3, kMostLines = 300;
  std::atomic<int> produced{0};
  std::vector<std::unique_ptr<platform::Thread>> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.push_back(std::make_unique<platform::Thread>());
    producers.back()->Start([&, t] {
      for (int i = 0; i < kMostLines; ++i) {
        AddToLog(tmlMessage, lcApplication, u"", u"p" + IntToStr(t) + u" " + IntToStr(i), false);
        ++produced;
      }
    });
  }
  while (produced.load() < 100) std::this_thread::yield();
  LoggingModule_Finalize();
  for (auto& p : producers) p->Join();

  // Whatever each producer got in before the shutdown is there without a
  // gap, and the thread's last line is the last in the file.
  const auto messages = Messages(other.Path());
  ASSERT_GE(messages.size(), 6u);
  EXPECT_EQ(messages.back(), "TKVFileLoggerThread terminated");
  std::map<int, std::vector<int>> numbers;
  std::smatch m;
  for (const auto& msg : messages)
    if (std::regex_match(msg, m, std::regex(R"(p(\d) (\d+))"))) numbers[std::stoi(m[1])].push_back(std::stoi(m[2]));
  for (const auto& [producer, list] : numbers)
    for (std::size_t i = 0; i < list.size(); ++i) ASSERT_EQ(list[i], static_cast<int>(i)) << "producer " << producer;
}

TEST_F(LogController, AThreadEndedByAWriteErrorIsNeverReachedAgain) {
  auto writer = UseFakeWriter();
  writer->FailFrom = 5;  // the four first lines, one more, then the disk is gone
  Configure(true, dir.Path());
  auto controller = std::make_unique<TKVLogController>();
  controller->AddToFileLog(u"written");
  controller->AddToFileLog(u"fails");
  ASSERT_TRUE(writer->Failed.Wait(kInfinite));
  // The run has ended or is ending; the controller still holds its thread.
  for (int i = 0; i < 200; ++i) controller->AddToFileLog(tmlError, lcApplication, u"", u"later", i % 2 == 0);
  controller->StopLogging();  // its terminate event was set when the run ended
  EXPECT_FALSE(controller->LoggingActive());
  controller.reset();
  ASSERT_TRUE(writer->Gone.Wait(kInfinite));
  EXPECT_EQ(writer->Calls, 6);
  const auto lines = writer->Snapshot();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Message(lines[4]), "written");
}

TEST_F(LogController, ASlowThreadOutlivesItsControllerWithItsEventsAndLines) {
  auto writer = UseFakeWriter();
  writer->HoldAt = u"<hold here>";
  Configure(true, dir.Path());
  auto controller = std::make_unique<TKVLogController>();
  ASSERT_TRUE(controller->Started());
  controller->AddToFileLog(u"<hold here>");
  ASSERT_TRUE(writer->Held.Wait(kInfinite));
  // The thread is stuck in the writer: the stop stops waiting for it.
  controller->SetHandshakeTimeout(1);
  controller->StopLogging();
  EXPECT_FALSE(controller->Started());
  controller.reset();
  // Let go, the thread writes what was queued, sets its terminate event and
  // frees itself.
  writer->Release.Set();
  ASSERT_TRUE(writer->Gone.Wait(kInfinite));
  const auto lines = writer->Snapshot();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(Message(lines[4]), "<hold here>");
  EXPECT_EQ(Message(lines[5]), "FileLoggerThread wird beendet...");
  EXPECT_EQ(Message(lines[6]), "TKVFileLoggerThread terminated");
}

TEST_F(LogController, AControllerThatCannotBeMadeIsTriedAgainAndNeverRaisesToTheProducer) {
  int attempts = 0;
  SetFileLoggerFactory([&](const IKVFileLoggerSettingsPtr& s) -> IKVLoggerPtr {
    if (++attempts == 1) throw Exception(u"Cannot write to temp-directory: X");
    return std::make_shared<TKVFileLogger>(s);
  });
  Configure(true, dir.Path());
  EXPECT_THROW(GetLogController(), Exception);
  EXPECT_NO_THROW(AddToLog(tmlError, lcApplication, u"", u"second try", false));
  EXPECT_EQ(attempts, 2);
  LoggingModule_Finalize();
  const auto messages = Messages(dir.Path());
  EXPECT_NE(std::find(messages.begin(), messages.end(), "second try"), messages.end());
}

TEST_F(LogController, MessagesForTheUserWaitForTheUserInterfaceThread) {
  std::vector<String> shown;
  std::mutex shownLock;
  SetLogUserNotifier([&](const String& m) {
    std::lock_guard<std::mutex> guard(shownLock);
    shown.push_back(m);
  });
  // LoggingModule_Initialize made this thread the user-interface thread.
  platform::Thread other;
  other.Start([] {
    NotifyLogUser(u"Cannot write log file!");
    NotifyLogUser(u"second");
    ShowPendingLogUserMessage();  // not here
  });
  other.Join();
  EXPECT_TRUE(shown.empty());
  ShowPendingLogUserMessage();
  ShowPendingLogUserMessage();
  EXPECT_EQ(shown, std::vector<String>{u"Cannot write log file!"});

  // A logging thread never shows one, even when no thread was named.
  SetUserInterfaceThread(0);
  platform::Thread logging;
  logging.Start([] {
    MarkLoggingThread(true);
    NotifyLogUser(u"from the writer");
    MarkLoggingThread(false);
  });
  logging.Join();
  EXPECT_EQ(shown.size(), 1u);
  AddToLog(tmlMessage, lcApplication, u"", u"shows it", false);
  EXPECT_EQ(shown.back(), u"from the writer");
  NotifyLogUser(u"direct");
  EXPECT_EQ(shown.back(), u"direct");
  SetLogUserNotifier(nullptr);
}

TEST_F(LogController, StressManyProducersWithRestartsInBetween) {
  kvtest::TempDir other;
  Configure(true, dir.Path());
  auto controller = GetLogController();
  ASSERT_NE(controller, nullptr);
  auto config = controller->GetLogConfig();
  constexpr int kThreads = 4, kLines = 250;
  std::vector<std::unique_ptr<platform::Thread>> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.push_back(std::make_unique<platform::Thread>());
    producers.back()->Start([t] {
      for (int i = 0; i < kLines; ++i) {
        AddToLog(static_cast<TMessageLogType>(i % 3), lcApplication, u"", u"s" + IntToStr(t) + u" " + IntToStr(i),
                 false);
        if (i % 100 == 0) GetLogController();
      }
    });
  }
  for (int round = 0; round < 12; ++round) {
    switch (round % 3) {
      case 0: config->SetLogFolder(round % 2 ? dir.Path() : other.Path()); break;
      case 1: config->SetLogEnabled(false); break;
      case 2: config->SetLogEnabled(true); break;
    }
    config->Save();
    controller->AddToFileLog(tmlWarning, u"round " + IntToStr(round), false);
  }
  for (auto& p : producers) p->Join();
  controller.reset();
  LoggingModule_Finalize();

  // Every file is a run of whole entry lines from a start to a stop.
  int starts = 0, ends = 0;
  for (const String& folder : {dir.Path(), other.Path()}) {
    for (const auto& line : AllLines(folder)) {
      const std::string msg = MessageOf(line);
      ASSERT_EQ(msg.find("<not an entry line"), std::string::npos) << line;
      if (msg.rfind("FileLoggerThread started", 0) == 0) ++starts;
      if (msg == "TKVFileLoggerThread terminated") ++ends;
    }
  }
  EXPECT_GE(starts, 2);
  EXPECT_EQ(starts, ends);
}
