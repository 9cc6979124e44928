// The producer side of logging, per message: building an entry and its
// line, the filter that decides whether a message is logged at all, and a
// whole AddToLog with logging active (one and two producer threads) beside
// spdlog writing the same message to a file, synchronously and
// asynchronously. Then the log file writer's lines per second (the file
// opened and closed for every line) and the queue's memory under a burst of
// one million lines.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "logging/KVDataObjectsFactory.h"
#include "logging/KVFileLogger.h"
#include "logging/KVLogging.h"
#include "platform/Sync.h"
#include "system/KVRegistry.h"

#ifdef KV_HAVE_SPDLOG
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

using namespace kv;

namespace {

const String kMessage = u"Exception EAccessViolation in module viewer.exe at 0040A1B2: read of address 00000000";
const String kSql = u"UPDATE Orders SET Status = 3, Changed = CURRENT_TIMESTAMP WHERE OrderId = 421337";

// All eight fields given: the cost of the entry object and of its line.
void BM_EntryAndLine_AllFields(benchmark::State& state) {
  const TDateTime stamp = Now();
  for (auto _ : state) {
    auto e = TKVLogEntry::GetLogEntry(stamp, 4242, kMessage, u"", tmlError, u"OFFICE\\anna", u"viewer.exe", u"");
    String line = TKVLoggingHelper::LogEntryToString(*e);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_EntryAndLine_AllFields);

// The message alone: the clock, the thread id and the cached identity too.
void BM_EntryAndLine_MessageOnly(benchmark::State& state) {
  for (auto _ : state) {
    auto e = TKVLogEntry::GetLogEntry(kMessage);
    String line = TKVLoggingHelper::LogEntryToString(*e);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_EntryAndLine_MessageOnly);

TKVLogConfigDefault& Config(StringView tables) {
  static TKVLogConfigDefault config(nullptr);
  TKVLogProps p = config.GetLogProps();
  p.LogEnabled = true;
  p.LogSQLProps.LogTables.assign(tables);
  config.SetLogProps(p);
  return config;
}

void BM_IsLogged_Application(benchmark::State& state) {
  auto& config = Config(u"");
  for (auto _ : state) benchmark::DoNotOptimize(IsLogged(&config, tmlError, lcApplication, u"", kMessage));
}
BENCHMARK(BM_IsLogged_Application);

void BM_IsLogged_Rejected(benchmark::State& state) {
  auto& config = Config(u"");
  for (auto _ : state) benchmark::DoNotOptimize(IsLogged(&config, tmlDebug, lcPlugins, u"", kMessage));
}
BENCHMARK(BM_IsLogged_Rejected);

void BM_IsLogged_DatabaseWithTables(benchmark::State& state) {
  auto& config = Config(u"Customers,Products,\"Order Items\",Orders");
  for (auto _ : state) benchmark::DoNotOptimize(IsLogged(&config, tmlMessage, lcDatabase, u"Orders", kSql));
}
BENCHMARK(BM_IsLogged_DatabaseWithTables);

// --- A whole AddToLog with logging active ---------------------------------------------

// A registry store and folders of the benchmark's own, removed at the end.
struct Scratch {
  std::filesystem::path Root;
  Scratch() {
    Root = std::filesystem::temp_directory_path() / ("kvbench-logging-" + std::to_string(std::rand()));
    std::filesystem::create_directories(Root / "logs");
#ifndef _WIN32
    setenv("KV_REGISTRY_DIR", (Root / "registry").c_str(), 1);
    setenv("KV_PROGRAMDATA", Root.c_str(), 1);
#endif
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
  }
  String LogFolder() const { return FromUtf8((Root / "logs").string()); }
  std::string SpdlogFile(const char* name) const { return (Root / name).string(); }
};

Scratch& TheScratch() {
  static Scratch s;
  return s;
}

// Takes every line and throws it away, so that the producers are measured
// against a writer that keeps up; optionally holds the thread at its first
// line until let go.
class DiscardingLogger : public IKVLogger {
 public:
  explicit DiscardingLogger(platform::Event* gate) : FGate(gate) {}
  void WriteText(const String& Text) override {
    if (FGate) FGate->Wait(platform::kInfinite);
    benchmark::DoNotOptimize(Text.data());
  }
  void WriteMessage(const String& Msg, TMessageLogType) override { WriteText(Msg); }
  void WriteEntry(const IKVLogEntry&) override {}

 private:
  platform::Event* FGate;
};

void StartLogging(platform::Event* gate) {
  TheScratch();  // the registry store first
  TKVLogConfigDefault::Create(nullptr);
  WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"Active", u"1");
  WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"LogFolder", TheScratch().LogFolder());
  SetFileLoggerFactory([gate](const IKVFileLoggerSettingsPtr&) { return std::make_shared<DiscardingLogger>(gate); });
  LoggingModule_Initialize();
  if (!GetLogController() || !GetLogController()->Started()) std::abort();
}

void StopLogging() {
  LoggingModule_Finalize();
  SetFileLoggerFactory(nullptr);
}

void AddToLogLoop(benchmark::State& state) {
  for (auto _ : state) AddToLog(tmlError, lcApplication, u"", kMessage, false);
  state.SetItemsProcessed(state.iterations());
}

// The writer keeps up and sleeps between batches, so the first message after
// each batch wakes it: the producer pays for the wake-ups too.
void BM_AddToLog_WriterIdle(benchmark::State& state) { AddToLogLoop(state); }
BENCHMARK(BM_AddToLog_WriterIdle)
    ->Setup([](const benchmark::State&) { StartLogging(nullptr); })
    ->Teardown([](const benchmark::State&) { StopLogging(); })
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

// The writer is busy (as it is with a disk slower than the producers): the
// lines pile up and no message needs to wake it. A fixed number of messages,
// written (here: thrown away) after the measurement.
platform::Event gBusyGate(true, false);
void BM_AddToLog_WriterBusy(benchmark::State& state) { AddToLogLoop(state); }
BENCHMARK(BM_AddToLog_WriterBusy)
    ->Setup([](const benchmark::State&) {
      gBusyGate.Reset();
      StartLogging(&gBusyGate);
    })
    ->Teardown([](const benchmark::State&) {
      gBusyGate.Set();
      StopLogging();
    })
    ->Iterations(300000)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

#ifdef KV_HAVE_SPDLOG
// The same message with the same fields around it, into a file.
const std::string kMessageUtf8 = ToUtf8(kMessage);
const char* const kPattern = "%d.%m.%Y %H:%M:%S.%e\t[%l]\tOFFICE\\anna\tviewer.exe\t\t<%t>\t%v";

std::shared_ptr<spdlog::logger> gSpdlog;

void BM_Spdlog_Sync(benchmark::State& state) {
  for (auto _ : state) gSpdlog->error(kMessageUtf8);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog_Sync)
    ->Setup([](const benchmark::State&) {
      gSpdlog = spdlog::basic_logger_mt("sync", TheScratch().SpdlogFile("spdlog-sync.log"), true);
      gSpdlog->set_pattern(kPattern);
    })
    ->Teardown([](const benchmark::State&) {
      gSpdlog->flush();
      gSpdlog.reset();
      spdlog::drop_all();
    })
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

void BM_Spdlog_Async(benchmark::State& state) {
  for (auto _ : state) gSpdlog->error(kMessageUtf8);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog_Async)
    ->Setup([](const benchmark::State&) {
      gSpdlog = spdlog::basic_logger_mt<spdlog::async_factory>("async", TheScratch().SpdlogFile("spdlog-async.log"),
                                                                 true);
      gSpdlog->set_pattern(kPattern);
    })
    ->Teardown([](const benchmark::State&) {
      gSpdlog->flush();
      gSpdlog.reset();
      spdlog::drop_all();
      spdlog::shutdown();
    })
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();
#endif

// --- The log file writer ----------------------------------------------------------------

// One line per iteration into a real file, opened and closed every time.
void BM_FileLogger_WriteText(benchmark::State& state) {
  Scratch& s = TheScratch();
  auto settings = TKVDataObjectsFactory::CreateDefaultFileLoggerSettings();
  settings->SetLogFolder(s.LogFolder());
  TKVFileLogger logger(settings);
  const String line = TKVLoggingHelper::LogEntryToString(*TKVLogEntry::GetLogEntry(kMessage));
  for (auto _ : state) logger.WriteText(line);
  state.SetItemsProcessed(state.iterations());
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove(std::filesystem::path(ToUtf8(logger.LogFile())));
}
BENCHMARK(BM_FileLogger_WriteText)->Unit(benchmark::kMicrosecond)->UseRealTime();

// --- The queue under a burst ----------------------------------------------------------------

// The process's resident and peak resident memory in bytes (Linux; 0 elsewhere).
std::int64_t ProcStatus(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string name;
  while (status >> name) {
    std::int64_t kib = 0;
    if (name == std::string(key) + ":" && status >> kib) return kib * 1024;
    std::getline(status, name);
  }
  return 0;
}

// One million lines queued while the logging thread is held at its first
// line: all of them wait in the queue at once.
void BM_QueueBurst_OneMillionLines(benchmark::State& state) {
  constexpr int kLines = 1000000;
  for (auto _ : state) {
    platform::Event gate(true, false);
    StartLogging(&gate);
    // Resets the peak to what is resident now (Linux).
    std::ofstream("/proc/self/clear_refs") << "5";
    const std::int64_t before = ProcStatus("VmRSS");
    for (int i = 0; i < kLines; ++i) AddToLog(tmlError, lcApplication, u"", kMessage, false);
    const std::int64_t peak = ProcStatus("VmHWM");
    const std::int64_t after = ProcStatus("VmRSS");
    gate.Set();
    StopLogging();  // writes (here: discards) every queued line
    state.counters["queue_MB"] = static_cast<double>(after - before) / 1e6;
    state.counters["peak_growth_MB"] = static_cast<double>(peak - before) / 1e6;
    state.counters["bytes/line"] = static_cast<double>(after - before) / kLines;
  }
}
BENCHMARK(BM_QueueBurst_OneMillionLines)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
