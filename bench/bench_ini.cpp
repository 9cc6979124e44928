// Load throughput, lookups and the name comparison.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "BenchData.h"
#include "ini/KVBigIni.h"
#include "text/KVTypes.h"
#include "text/_4Files.h"

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

// Writer throughput: every line goes to the file at once, as for a log.
static void BM_WriterWriteLn(benchmark::State& state) {
  auto coding = static_cast<TKVFileCoding>(state.range(0));
  std::string native = "/tmp/kv-bench-writer.txt";
  String line = u"12.09.2026 23:12:43.123\t[Info]\tuser\tAutorun.exe\t\t<1234>\tStarted installer Setup\\Install.exe";
  TUnicodeFileWriter w(kvbench::FrameworkPath(native), coding, false);
  for (auto _ : state) w.WriteLn(line);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(coding == TKVFileCoding::fcAnsi ? "ANSI" : coding == TKVFileCoding::fcUTF8BOM ? "UTF-8" : "UTF-16");
  w.Close();
  std::remove(native.c_str());
}
BENCHMARK(BM_WriterWriteLn)
    ->Arg(static_cast<int>(TKVFileCoding::fcUTF8BOM))
    ->Arg(static_cast<int>(TKVFileCoding::fcUnicodeLittleEndian))
    ->Arg(static_cast<int>(TKVFileCoding::fcAnsi));

// FlushFile of a whole loaded document (one changed value, so it is written),
// on a copy of the generated file.
static void BM_FlushFile(benchmark::State& state) {
  auto coding = static_cast<Coding>(state.range(1));
  std::string file = kvbench::GeneratedFile(static_cast<int>(state.range(0)), coding);
  std::string copy = "/tmp/kv-bench-flush.ini";
  std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
  std::int64_t bytes = static_cast<std::int64_t>(std::filesystem::file_size(file));
  {
    TBiggerIniFile doc(kvbench::FrameworkPath(copy));
    for (auto _ : state) {
      state.PauseTiming();
      doc.WriteString(u"Section1", u"Key1", doc.ReadString(u"Section1", u"Key1", u"") == u"a" ? u"b" : u"a");
      state.ResumeTiming();
      doc.UpdateFile();
    }
  }
  std::filesystem::remove(copy);
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetLabel(kvbench::CodingName(coding));
}
BENCHMARK(BM_FlushFile)->ArgsProduct({{10, 100}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
