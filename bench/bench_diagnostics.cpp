// Costs of the diagnostics: a throw and catch three calls deep with the
// recording of exception stacks off and on (both walks), the walk alone, the
// calling thread's stack as named lines, and reading this program's map.
#include <benchmark/benchmark.h>

#include <string>

#include "diagnostics/KVDebugInfo.h"
#include "diagnostics/KVMapFile.h"
#include "diagnostics/KVStackTrace.h"
#include "platform/Files.h"
#include "platform/StackWalk.h"

namespace {

volatile int gSink = 0;

__attribute__((noinline, noclone)) void Level3(int depth) {
  gSink = depth;
  if (depth >= 0) throw kv::EConvertError(u"bench");
}
__attribute__((noinline, noclone)) void Level2(int depth) {
  Level3(depth + 1);
  gSink = 2;
}
__attribute__((noinline, noclone)) void Level1(int depth) {
  Level2(depth + 1);
  gSink = 1;
}

void ThrowAndCatch(benchmark::State& state) {
  for (auto _ : state) {
    try {
      Level1(0);
    } catch (const kv::Exception& e) {
      benchmark::DoNotOptimize(&e);
    }
  }
}

void BM_ThrowCatch_NotRecorded(benchmark::State& state) {
  kv::StopExceptionTracking();
  ThrowAndCatch(state);
}
BENCHMARK(BM_ThrowCatch_NotRecorded);

void BM_ThrowCatch_RecordedByUnwindTables(benchmark::State& state) {
  kv::StackTrackingOptions() = {kv::stExceptFrame, kv::stRawMode};
  kv::StartExceptionTracking();
  ThrowAndCatch(state);
  kv::StopExceptionTracking();
}
BENCHMARK(BM_ThrowCatch_RecordedByUnwindTables);

void BM_ThrowCatch_RecordedByFramePointers(benchmark::State& state) {
  kv::StackTrackingOptions() = {kv::stExceptFrame};
  kv::StartExceptionTracking();
  ThrowAndCatch(state);
  kv::StopExceptionTracking();
  kv::StackTrackingOptions() = {kv::stExceptFrame, kv::stRawMode};
}
BENCHMARK(BM_ThrowCatch_RecordedByFramePointers);

void BM_CaptureStack(benchmark::State& state) {
  std::uintptr_t frames[64];
  for (auto _ : state)
    benchmark::DoNotOptimize(kv::platform::CaptureStack(kv::platform::StackWalkMethod::UnwindTables, 0, frames, 64));
}
BENCHMARK(BM_CaptureStack);

void BM_CurrentStackLines(benchmark::State& state) {
  kv::CurrentStackLines(0);  // the map is read once, on first use
  std::size_t lines = 0;
  for (auto _ : state) lines += kv::CurrentStackLines(0).size();
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CurrentStackLines);

void BM_ReadProgramMap(benchmark::State& state) {
  kv::platform::FileHandle f;
  std::string text;
  if (f.Open(kv::MapFileName(kv::platform::ModuleFileName()), kv::platform::FileAccess::Read,
             kv::platform::FileShare::Read, kv::platform::FileDisposition::OpenExisting)) {
    text.resize(static_cast<std::size_t>(f.Size()));
    f.Read(text.data(), static_cast<std::int64_t>(text.size()));
  }
  if (text.empty()) {
    state.SkipWithError("no map beside the program");
    return;
  }
  for (auto _ : state) {
    kv::TMapFile map;
    benchmark::DoNotOptimize(map.Parse(text));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ReadProgramMap)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
