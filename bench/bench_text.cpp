// Natural sort keys, comparison by column kind, the table sort against
// std::sort with the same comparison, and the expansion of environment
// placeholders.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "text/KVTypes.h"
#include "text/_4Files.h"
#include "text/_4Sort.h"
#include "text/_4all.h"

using namespace kv;

namespace {

// File-name-like texts: words, numbers of varying length, some negatives,
// the kind of column a file list or a report sorts by.
std::vector<String> Texts(std::size_t n, unsigned seed) {
  static const char16_t* words[] = {u"Rechnung", u"Angebot", u"Lieferschein", u"Bericht", u"Protokoll",
                                    u"\u00C4nderung", u"Scan", u"Foto", u"Export", u"Backup"};
  std::mt19937 rng(seed);
  std::vector<String> v;
  v.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    String s = words[rng() % 10];
    s += u" ";
    s += FromUtf8(std::to_string(2000 + rng() % 30));
    s += u"-";
    s += FromUtf8(std::to_string(1 + rng() % 12));
    s += rng() % 8 == 0 ? u" -" : u" Nr. ";
    s += FromUtf8(std::to_string(rng() % 100000));
    s += u".pdf";
    v.push_back(std::move(s));
  }
  return v;
}

const std::vector<String>& HundredThousand() {
  static const std::vector<String> v = Texts(100000, 7);
  return v;
}

void BM_BuildNaturalSortKey(benchmark::State& state) {
  const auto& texts = HundredThousand();
  for (auto _ : state)
    for (const String& t : texts) benchmark::DoNotOptimize(BuildNaturalSortKey(t));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_BuildNaturalSortKey)->Unit(benchmark::kMillisecond);

// 100,000 comparisons of neighbours; a new sort object each round, so every
// key is computed once and then taken from the cache.
void BM_CompareByFieldTypeAutomatic(benchmark::State& state) {
  const auto& texts = HundredThousand();
  for (auto _ : state) {
    TSortObject sorter;
    int sum = 0;
    for (std::size_t i = 1; i < texts.size(); ++i) sum += sorter.CompareByFieldType(texts[i - 1], texts[i], feAutomatic);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size() - 1));
}
BENCHMARK(BM_CompareByFieldTypeAutomatic)->Unit(benchmark::kMillisecond);

// The same with a warm cache: the cost of a comparison during a sort.
void BM_CompareByFieldTypeAutomaticCached(benchmark::State& state) {
  const auto& texts = HundredThousand();
  TSortObject sorter;
  for (const String& t : texts) sorter.GetCachedSortKey(t);
  for (auto _ : state) {
    int sum = 0;
    for (std::size_t i = 1; i < texts.size(); ++i) sum += sorter.CompareByFieldType(texts[i - 1], texts[i], feAutomatic);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size() - 1));
}
BENCHMARK(BM_CompareByFieldTypeAutomaticCached)->Unit(benchmark::kMillisecond);

// A realistic environment: what a Windows session holds, about 45 variables.
void SetRealisticEnvironment() {
  static const char* vars[][2] = {
      {"ALLUSERSPROFILE", "C:\\ProgramData"}, {"APPDATA", "C:\\Users\\anna\\AppData\\Roaming"},
      {"CommonProgramFiles", "C:\\Program Files\\Common Files"}, {"COMPUTERNAME", "WS-0815"},
      {"ComSpec", "C:\\Windows\\system32\\cmd.exe"}, {"DriverData", "C:\\Windows\\System32\\Drivers\\DriverData"},
      {"HOMEDRIVE", "C:"}, {"HOMEPATH", "\\Users\\anna"}, {"LOCALAPPDATA", "C:\\Users\\anna\\AppData\\Local"},
      {"LOGONSERVER", "\\\\DC01"}, {"NUMBER_OF_PROCESSORS", "8"}, {"OneDrive", "C:\\Users\\anna\\OneDrive"},
      {"OS", "Windows_NT"}, {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {"PROCESSOR_ARCHITECTURE", "AMD64"}, {"PROCESSOR_IDENTIFIER", "Intel64 Family 6 Model 140 Stepping 1"},
      {"PROCESSOR_LEVEL", "6"}, {"PROCESSOR_REVISION", "8c01"}, {"ProgramData", "C:\\ProgramData"},
      {"ProgramFiles", "C:\\Program Files"}, {"ProgramW6432", "C:\\Program Files"},
      {"PSModulePath", "C:\\Program Files\\WindowsPowerShell\\Modules"}, {"PUBLIC", "C:\\Users\\Public"},
      {"SESSIONNAME", "Console"}, {"SystemDrive", "C:"}, {"SystemRoot", "C:\\Windows"},
      {"TEMP", "C:\\Users\\anna\\AppData\\Local\\Temp"}, {"TMP", "C:\\Users\\anna\\AppData\\Local\\Temp"},
      {"USERDNSDOMAIN", "EXAMPLE.LOCAL"}, {"USERDOMAIN", "EXAMPLE"}, {"USERDOMAIN_ROAMINGPROFILE", "EXAMPLE"},
      {"USERNAME", "anna"}, {"USERPROFILE", "C:\\Users\\anna"}, {"windir", "C:\\Windows"},
      {"KVTemp", "C:\\Users\\anna\\AppData\\Local\\Temp\\KV"}, {"FPS_BROWSER_APP_PROFILE_STRING", "Internet Explorer"},
      {"FPS_BROWSER_USER_PROFILE_STRING", "Default"}, {"CommonProgramW6432", "C:\\Program Files\\Common Files"},
      {"Path",
       "C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem;C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\;"
       "C:\\Program Files\\Git\\cmd;C:\\Users\\anna\\AppData\\Local\\Microsoft\\WindowsApps"}};
  for (const auto& v : vars) ::setenv(v[0], v[1], 1);
}

void BM_ExpandEnvironmentPlaceholders(benchmark::State& state) {
  SetRealisticEnvironment();
  const String text = u"%LOCALAPPDATA%\\Tarnwick\\%UserName%\\Logs\\%computername%.log";
  String result;
  for (auto _ : state) {
    result = ExpandEnvironmentPlaceholders(text);
    benchmark::DoNotOptimize(result.data());
  }
  if (result.find(u'%') != String::npos) state.SkipWithError("placeholders left");
}
BENCHMARK(BM_ExpandEnvironmentPlaceholders)->Unit(benchmark::kMicrosecond);

void BM_ExpandWithoutPlaceholders(benchmark::State& state) {
  SetRealisticEnvironment();
  const String text = u"C:\\Tarnwick\\Logs\\plain.log";
  for (auto _ : state) benchmark::DoNotOptimize(ExpandEnvironmentPlaceholders(text));
}
BENCHMARK(BM_ExpandWithoutPlaceholders)->Unit(benchmark::kMicrosecond);

// --- The table sort against std::sort --------------------------------------

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// 100,000 rows, sorted by column 0 (text, few distinct values, so that the
// second key decides often) and then column 1 (natural order).
void CompareTableSort() {
  const std::size_t n = 100000;
  const auto numbers = Texts(n, 11);
  std::mt19937 rng(3);
  static const char16_t* groups[] = {u"Nord", u"S\u00FCd", u"Ost", u"West", u"Mitte", u"\u00DCbersee"};
  std::vector<std::array<String, 2>> rows(n);
  for (std::size_t i = 0; i < n; ++i) rows[i] = {groups[rng() % 6], numbers[i]};

  double best[2] = {1e9, 1e9};
  for (int round = 0; round < 3; ++round) {
    T2DStringArray table;
    for (const auto& r : rows) table.Add(std::vector<String>{r[0], r[1]});
    auto t0 = std::chrono::steady_clock::now();
    table.Sort({0, 1}, {feNormal, feAutomatic});
    best[0] = std::min(best[0], Seconds(t0));

    auto copy = rows;
    t0 = std::chrono::steady_clock::now();
    TSortObject keys;  // the same comparisons, with the same key cache
    std::sort(copy.begin(), copy.end(), [&](const auto& a, const auto& b) {
      int r = keys.CompareByFieldType(a[0], b[0], feNormal);
      if (r == 0) r = keys.CompareByFieldType(a[1], b[1], feAutomatic);
      return r < 0;
    });
    best[1] = std::min(best[1], Seconds(t0));

    // Both orders must agree on the keys (the sorts are not stable).
    for (std::size_t i = 0; i < n; ++i)
      if (table.Cells(0, static_cast<int>(i)) != copy[i][0] ||
          keys.CompareByFieldType(table.Cells(1, static_cast<int>(i)), copy[i][1], feAutomatic) != 0) {
        std::fprintf(stderr, "table sort and std::sort disagree at row %zu\n", i);
        std::exit(1);
      }
  }
  std::printf("T2DStringArray.Sort, 100000 rows by two columns (feNormal, feAutomatic), best of 3:\n");
  std::printf("  T2DStringArray.Sort  %.3f s\n  std::sort            %.3f s\n  ratio                %.2f\n\n", best[0],
              best[1], best[0] / best[1]);
}

}  // namespace

int main(int argc, char** argv) {
  KVTypes_Initialize();
  SortModule_Initialize();
  FileHelpers_Initialize();
  CompareTableSort();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
