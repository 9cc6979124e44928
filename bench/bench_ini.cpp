// Load throughput, lookups and the name comparison.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "BenchData.h"
#include "ini/KVBigIni.h"
#include "text/KVTypes.h"

using namespace kv;
using kvbench::Coding;

static void BM_Load(benchmark::State& state) {
  auto coding = static_cast<Coding>(state.range(1));
  std::string file = kvbench::GeneratedFile(static_cast<int>(state.range(0)), coding);
  std::int64_t bytes = static_cast<std::int64_t>(std::ifstream(file, std::ios::binary | std::ios::ate).tellg());
  for (auto _ : state) {
    TBigIniFile ini(kvbench::FrameworkPath(file));
    benchmark::DoNotOptimize(ini.SectionNames().Count());
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetLabel(kvbench::CodingName(coding));
}
BENCHMARK(BM_Load)->ArgsProduct({{1, 10, 100}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->Iterations(2);

// The floor: read the whole file and split it into lines.
static void BM_ReadAndSplitLines(benchmark::State& state) {
  std::string file = kvbench::GeneratedFile(static_cast<int>(state.range(0)), Coding::Utf8);
  for (auto _ : state) {
    std::ifstream f(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(f, line)) lines.push_back(line);
    benchmark::DoNotOptimize(lines.size());
  }
}
BENCHMARK(BM_ReadAndSplitLines)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2);

namespace {
TBigIniFile& LookupDocument() {
  static TBigIniFile ini(kvbench::FrameworkPath(kvbench::GeneratedFile(1, Coding::Utf8)));
  return ini;
}
}  // namespace

static void BM_ReadString_SameSection(benchmark::State& state) {
  TBigIniFile& ini = LookupDocument();
  int k = 0;
  std::vector<String> keys;
  for (int i = 0; i < 100; ++i) keys.push_back(u"Key" + IntToStr(i));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ini.ReadString(u"Section5", keys[static_cast<size_t>(k)], u""));
    k = (k + 1) % 100;
  }
}
BENCHMARK(BM_ReadString_SameSection);

static void BM_ReadString_NextSection(benchmark::State& state) {
  TBigIniFile& ini = LookupDocument();
  int s = 0, n = ini.SectionNames().Count();
  std::vector<String> sections;
  for (int i = 0; i < n; ++i) sections.push_back(ini.SectionNames().Strings(i));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ini.ReadString(sections[static_cast<size_t>(s)], u"Key50", u""));
    s = (s + 1) % n;
  }
}
BENCHMARK(BM_ReadString_NextSection);

static void BM_ReadString_MissingKey(benchmark::State& state) {
  TBigIniFile& ini = LookupDocument();
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadString(u"Section5", u"NoSuchKey", u""));
}
BENCHMARK(BM_ReadString_MissingKey);

static void BM_CompareTextIgnoreCase_Ascii(benchmark::State& state) {
  String a = u"InstallationFolder", b = u"installationfolder";
  for (auto _ : state) benchmark::DoNotOptimize(CompareTextIgnoreCase(a, b));
}
BENCHMARK(BM_CompareTextIgnoreCase_Ascii);

static void BM_CompareTextIgnoreCase_Umlauts(benchmark::State& state) {
  String a = u"\u00DCbersetzungs\u00E4nderung", b = u"\u00FCbersetzungs\u00C4nderung";
  for (auto _ : state) benchmark::DoNotOptimize(CompareTextIgnoreCase(a, b));
}
BENCHMARK(BM_CompareTextIgnoreCase_Umlauts);

BENCHMARK_MAIN();
