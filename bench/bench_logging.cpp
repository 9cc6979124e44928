// The producer side of logging, per message: building an entry and its
// line, and the filter that decides whether a message is logged at all.
#include <benchmark/benchmark.h>

#include "logging/KVLogging.h"

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

}  // namespace

BENCHMARK_MAIN();
