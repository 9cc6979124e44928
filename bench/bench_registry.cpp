// kvreg on a large hive of the Linux registry store: "query /s" and
// "export" of a tree of many keys (groups of 100 keys with two values each).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchData.h"
#include "platform/CodePages.h"
#include "tools/kvreg/RegTool.h"

using namespace kv;

namespace {

// A store folder holding a HKEY_CURRENT_USER hive of `keys` keys below
// HKCU\Software\Bench, made once per size.
std::string StoreWith(int keys) {
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("kv-bench-registry-" + std::to_string(keys))).string();
  const std::string file = dir + "/HKEY_CURRENT_USER.reg";
  if (!std::filesystem::exists(file)) {
    std::filesystem::create_directories(dir);
    std::ofstream f(file, std::ios::binary);
    f << "Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; i < keys; ++i) {
      f << "\r\n[HKEY_CURRENT_USER\\Software\\Bench\\Group" << i / 100 << "\\Key" << i << "]\r\n";
      f << "\"Text\"=\"value " << i << "\"\r\n\"Number\"=dword:" << std::hex << i << std::dec << "\r\n";
    }
  }
  return dir;
}

void Use(int keys) { ::setenv("KV_REGISTRY_DIR", StoreWith(keys).c_str(), 1); }

}  // namespace

static void BM_KvregQueryRecursive(benchmark::State& state) {
  Use(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    regtool::Output out;
    if (regtool::Run({u"query", u"HKCU\\Software\\Bench", u"/s"}, out) != 0) state.SkipWithError("query failed");
    benchmark::DoNotOptimize(out.out.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_KvregQueryRecursive)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

static void BM_KvregExport(benchmark::State& state) {
  Use(static_cast<int>(state.range(0)));
  const std::string target = StoreWith(static_cast<int>(state.range(0))) + "/export.reg";
  for (auto _ : state) {
    regtool::Output out;
    if (regtool::Run({u"export", u"HKCU\\Software\\Bench", kvbench::FrameworkPath(target), u"/y"}, out) != 0)
      state.SkipWithError("export failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_KvregExport)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
