// Our INI engine beside inih and SimpleIni on the shared generator's files,
// all in one run:
//   - loading 1, 10 and 100 MB files in every coding, against the floor
//     (reading the file and splitting it into lines), with the destruction of
//     the document and the peak memory of each job;
//   - lookups after loading: the generator's lookup list, one key of every
//     section in random and in reverse document order, missing sections, and
//     every key of the largest section in random order;
//   - writing a whole document back (FlushFile against SimpleIni's SaveFile).
// Each job runs in a child process of its own, so that its peak memory is its
// own and no job inherits another's heap.
//
//   bench_peers [SIZES [RUNS [LOOKUPS]]]
//     SIZES: MB, comma-separated (default 1,10,100); LOOKUPS: at most this
//     many lookups of each order are timed (default all; a slow engine needs
//     fewer). The first 1100 of the list are checked against the generator's
//     expectations.
#include <ini.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchData.h"
#include "GenData.h"
#include "ini/KVBigIni.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// What a child reports: up to four figures, and its peak memory.
struct Figures {
  double v[4] = {-1, -1, -1, -1};
  long peakKb = 0;
  bool ok = false;
};

// Runs job in a child process; job fills the figures it has.
Figures InChild(const std::function<void(double* v)>& job) {
  int fd[2];
  if (pipe(fd) != 0) std::abort();
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    double v[4] = {-1, -1, -1, -1};
    job(v);
    if (write(fd[1], v, sizeof v) != static_cast<ssize_t>(sizeof v)) _exit(2);
    _exit(0);
  }
  close(fd[1]);
  Figures f;
  ssize_t got = read(fd[0], f.v, sizeof f.v);
  close(fd[0]);
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  f.peakKb = ru.ru_maxrss;
  f.ok = got == static_cast<ssize_t>(sizeof f.v) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return f;
}

template <class F>
double BestOf(int runs, F f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, Seconds(t0));
  }
  return best;
}

int InihCount(void* user, const char*, const char*, const char*) {
  ++*static_cast<long*>(user);
  return 1;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// inih keeps nothing: its users store the pairs, here in hash maps by the
// lower-case names (INI names ignore letter case).
using InihMap = std::unordered_map<std::string, std::unordered_map<std::string, std::string>>;

int InihStore(void* user, const char* section, const char* name, const char* value) {
  (*static_cast<InihMap*>(user))[Lower(section)][Lower(name)] = value;
  return 1;
}

std::string Cell(double v, const char* fmt = "%.3f") {
  if (v < 0) return "n/a";
  char b[32];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

std::string Ratio(double a, double b) { return a < 0 || b <= 0 ? "n/a" : Cell(a / b, "%.2f"); }

bool Utf8Like(const std::string& enc) { return enc == "utf8" || enc == "utf8bom"; }

void LoadTable(const std::vector<int>& sizes, int runs) {
  std::printf("%-8s %4s %8s %8s %8s %8s %8s %8s %7s %7s %7s %7s %7s %8s %8s %8s %6s\n", "coding", "MB", "ours[s]",
              "free[s]", "floor[s]", "getln[s]", "inih[s]", "SI[s]", "/floor", "/getln", "/inih", "/SI", "free/ld",
              "ours[MB]", "inih[MB]", "SI[MB]", "/utf16");
  for (int mb : sizes) {
    // The document's size in UTF-16: the text is the same in every coding.
    double utf16Mb = static_cast<double>(std::filesystem::file_size(kvbench::GenFile(mb, "utf16le")) - 2) / 1048576.0;
    for (const char* encC : kvbench::kGenCodings) {
      std::string enc = encC, file = kvbench::GenFile(mb, enc);
      kv::String path = kvbench::FrameworkPath(file);
      Figures ours = InChild([&](double* v) {
        double load = 1e30, destroy = 1e30;
        for (int i = 0; i < runs; ++i) {
          auto t0 = Clock::now();
          auto* ini = new kv::TBigIniFile(path);
          load = std::min(load, Seconds(t0));
          if (ini->SectionNames().Count() == 0) std::abort();
          t0 = Clock::now();
          delete ini;
          destroy = std::min(destroy, Seconds(t0));
        }
        v[0] = load;
        v[1] = destroy;
      });
      // The floor: the file read in one piece and split into lines (their
      // starts noted); and the same with every line copied into a string of
      // its own, as a reader that hands out lines does.
      Figures floor = InChild([&](double* v) {
        v[0] = BestOf(runs, [&] {
          std::FILE* f = std::fopen(file.c_str(), "rb");
          if (!f) std::abort();
          std::string bytes(static_cast<size_t>(std::filesystem::file_size(file)), '\0');
          if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
          std::fclose(f);
          std::vector<size_t> starts{0};
          for (const char* p = bytes.data(); (p = static_cast<const char*>(
                                                  std::memchr(p, '\n', bytes.data() + bytes.size() - p))) != nullptr;)
            starts.push_back(static_cast<size_t>(++p - bytes.data()));
          asm volatile("" : : "r"(starts.data()) : "memory");
        });
        v[1] = BestOf(runs, [&] {
          std::ifstream f(file, std::ios::binary);
          std::vector<std::string> lines;
          std::string line;
          while (std::getline(f, line)) lines.push_back(line);
        });
      });
      // The peers read UTF-8 and single-byte text only.
      bool peers = enc != "utf16le";
      Figures inih, si;
      if (peers) {
        inih = InChild([&](double* v) {
          v[0] = BestOf(runs, [&] {
            long n = 0;
            // A positive result is the first line inih did not take (a line
            // longer than its buffer); it reads on.
            if (ini_parse(file.c_str(), InihCount, &n) < 0) std::abort();
          });
        });
        si = InChild([&](double* v) {
          v[0] = BestOf(runs, [&] {
            CSimpleIniA ini(Utf8Like(enc));
            if (ini.LoadFile(file.c_str()) < 0) std::abort();
          });
        });
      }
      double o = ours.v[0];
      std::printf("%-8s %4d %8s %8s %8s %8s %8s %8s %7s %7s %7s %7s %7s %8.0f %8s %8s %6.2f\n", enc.c_str(), mb,
                  Cell(o).c_str(), Cell(ours.v[1]).c_str(), Cell(floor.v[0]).c_str(), Cell(floor.v[1]).c_str(),
                  Cell(peers ? inih.v[0] : -1).c_str(), Cell(peers ? si.v[0] : -1).c_str(), Ratio(o, floor.v[0]).c_str(),
                  Ratio(o, floor.v[1]).c_str(),
                  Ratio(o, peers ? inih.v[0] : -1).c_str(), Ratio(o, peers ? si.v[0] : -1).c_str(),
                  Ratio(ours.v[1], o).c_str(), ours.peakKb / 1024.0,
                  Cell(peers ? inih.peakKb / 1024.0 : -1, "%.0f").c_str(),
                  Cell(peers ? si.peakKb / 1024.0 : -1, "%.0f").c_str(), ours.peakKb / 1024.0 / utf16Mb);
      std::fflush(stdout);
    }
  }
}

struct Pair {
  std::string section, key;
};

// The lookup orders of one size; every order but the list's takes the first
// key of each section.
struct Orders {
  std::vector<std::pair<const char*, std::vector<Pair>>> all;
};

Orders MakeOrders(int mb, size_t limit) {
  Orders o;
  std::vector<Pair> list;
  for (auto& l : kvbench::GenLookups(mb)) list.push_back({l.section, l.key});
  // The sections and their first keys in document order, and the largest
  // section's keys, from the file itself.
  std::vector<Pair> firsts;
  std::string largestName;
  std::vector<std::string> largest, keys;
  {
    std::ifstream f(kvbench::GenFile(mb, "utf8"), std::ios::binary);
    std::string line;
    auto close = [&] {
      if (!firsts.empty() && keys.size() > largest.size()) largest = keys, largestName = firsts.back().section;
      keys.clear();
    };
    while (std::getline(f, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > 1 && line[0] == '[' && line.back() == ']') {
        close();
        firsts.push_back({line.substr(1, line.size() - 2), std::string()});
        continue;
      }
      size_t eq = line.find('=');
      if (eq == std::string::npos || firsts.empty() || line[0] == ';' || line[0] == '#') continue;
      // Keys written with blanks before "=" are found only by a reader that
      // drops them: the orders take the others.
      if (eq == 0 || line[eq - 1] == ' ') continue;
      std::string key = line.substr(0, eq);
      if (firsts.back().key.empty()) firsts.back().key = key;
      keys.push_back(key);
    }
    close();
  }
  std::mt19937 rng(1);
  std::vector<Pair> random = firsts;
  std::shuffle(random.begin(), random.end(), rng);
  std::vector<Pair> reverse(firsts.rbegin(), firsts.rend());
  std::vector<Pair> missing;
  for (size_t i = 0; i < std::min<size_t>(firsts.size(), 20000); ++i)
    missing.push_back({"NoSuchSection." + std::to_string(i), "Name"});
  std::vector<Pair> large;
  for (int r = 0; r < 50; ++r) {
    std::shuffle(largest.begin(), largest.end(), rng);
    for (auto& k : largest) large.push_back({largestName, k});
  }
  o.all = {{"list", list}, {"random", random}, {"reverse", reverse}, {"missing", missing}, {"large", large}};
  if (limit > 0)
    for (auto& order : o.all)
      if (order.second.size() > limit) order.second.resize(limit);
  return o;
}

// Nanoseconds per lookup, best of runs passes over the order (at least a
// tenth of a second each); found counts the lookups that found a value and
// units the sum of their lengths.
template <class F>
double PerLookup(int runs, size_t n, F pass) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    auto t0 = Clock::now();
    size_t passes = 0;
    do {
      pass();
      ++passes;
    } while (Seconds(t0) < 0.1);
    best = std::min(best, Seconds(t0) / static_cast<double>(passes * n));
  }
  return best * 1e9;
}

void LookupTable(int mb, int runs, size_t limit) {
  Orders orders = MakeOrders(mb, limit);
  const size_t kChecked = 1100;
  const size_t kOrders = orders.all.size();
  std::string file = kvbench::GenFile(mb, "utf8bom");
  // ours: v[i] per order; the found count and units of the list order are
  // checked against the generator's expectations.
  long long expectFound = kvbench::GenExpect(mb, "found", "prefix");
  long long expectUnits = kvbench::GenExpect(mb, "utf16", "prefix");
  std::vector<std::pair<kv::String, kv::String>> checked;
  {
    auto all = kvbench::GenLookups(mb);
    for (size_t i = 0; i < all.size() && i < kChecked; ++i)
      checked.push_back({kv::FromUtf8(all[i].section), kv::FromUtf8(all[i].key)});
  }
  auto runOurs = [&](size_t from) {
    return InChild([&](double* v) {
      // Blanks around "=" and at the ends of lines dropped, as the peers
      // drop them, so that the same keys are found with the same values.
      kv::TBigIniFile ini(kv::String(), false);
      ini.SetFlagDropWhiteSpace(true);
      ini.SetFlagTrimRight(true);
      ini.SetFileName(kvbench::FrameworkPath(file));
      for (size_t k = from; k < kOrders && k < from + 4; ++k) {
        std::vector<std::pair<kv::String, kv::String>> q;
        for (auto& p : orders.all[k].second) q.push_back({kv::FromUtf8(p.section), kv::FromUtf8(p.key)});
        if (k == 0) {
          long long found = 0, units = 0;
          kv::String none = u"\x01";
          for (auto& [s, key] : checked) {
            kv::String r = ini.ReadString(s, key, none);
            if (r != none) ++found, units += static_cast<long long>(r.size());
          }
          if (found != expectFound || units != expectUnits) {
            std::fprintf(stderr, "ours: found %lld (expected %lld), %lld units (expected %lld)\n", found, expectFound,
                         units, expectUnits);
            _exit(3);
          }
        }
        kv::String def;
        v[k - from] = PerLookup(runs, q.size(), [&] {
          for (auto& [s, key] : q) {
            kv::String r = ini.ReadString(s, key, def);
            asm volatile("" : : "r"(r.data()) : "memory");
          }
        });
      }
    });
  };
  Figures ours1 = runOurs(0), ours2 = runOurs(4);
  auto runInih = [&](size_t from) {
    return InChild([&](double* v) {
      InihMap map;
      if (ini_parse(file.c_str(), InihStore, &map) < 0) std::abort();
      for (size_t k = from; k < kOrders && k < from + 4; ++k) {
        auto& q = orders.all[k].second;
        std::string ls, lk;
        v[k - from] = PerLookup(runs, q.size(), [&] {
          for (auto& p : q) {
            ls.assign(p.section);
            lk.assign(p.key);
            for (char& c : ls) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            for (char& c : lk) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            const std::string* r = nullptr;
            auto s = map.find(ls);
            if (s != map.end()) {
              auto it = s->second.find(lk);
              if (it != s->second.end()) r = &it->second;
            }
            asm volatile("" : : "r"(r) : "memory");
          }
        });
      }
    });
  };
  Figures inih1 = runInih(0), inih2 = runInih(4);
  auto runSi = [&](size_t from) {
    return InChild([&](double* v) {
      CSimpleIniA ini(true);
      if (ini.LoadFile(file.c_str()) < 0) std::abort();
      for (size_t k = from; k < kOrders && k < from + 4; ++k) {
        auto& q = orders.all[k].second;
        v[k - from] = PerLookup(runs, q.size(), [&] {
          for (auto& p : q) {
            const char* r = ini.GetValue(p.section.c_str(), p.key.c_str(), nullptr);
            asm volatile("" : : "r"(r) : "memory");
          }
        });
      }
    });
  };
  Figures si1 = runSi(0), si2 = runSi(4);
  std::printf("\nlookups after loading the %d MB file (ns per lookup)\n", mb);
  std::printf("%-8s %8s %10s %10s %10s %8s %8s\n", "order", "pairs", "ours", "inih", "SimpleIni", "/inih", "/SI");
  for (size_t k = 0; k < kOrders; ++k) {
    auto pick = [&](const Figures& a, const Figures& b) { return k < 4 ? (a.ok ? a.v[k] : -1) : (b.ok ? b.v[k - 4] : -1); };
    double o = pick(ours1, ours2), ih = pick(inih1, inih2), s = pick(si1, si2);
    std::printf("%-8s %8zu %10s %10s %10s %8s %8s\n", orders.all[k].first, orders.all[k].second.size(),
                Cell(o, "%.0f").c_str(), Cell(ih, "%.0f").c_str(), Cell(s, "%.0f").c_str(), Ratio(o, ih).c_str(),
                Ratio(o, s).c_str());
  }
  if (!ours1.ok) std::printf("(our lookups of the list did not find what the generator expects)\n");
  std::fflush(stdout);
}

// Writing the whole document back: our FlushFile (temporary file, flush to
// the disk, rename) against SimpleIni's SaveFile of the same loaded content.
// A UTF-8 document is written by us as UTF-16, twice the bytes.
void FlushTable(int mb, int runs) {
  std::printf("\n%-8s %4s %8s %8s %8s\n", "flush", "MB", "ours[s]", "SI[s]", "/SI");
  for (const char* enc : {"utf8bom", "ansi"}) {
    std::string file = kvbench::GenFile(mb, enc);
    Figures f = InChild([&](double* v) {
      std::string ourCopy = "/tmp/kv-bench-peer-flush.ini", siOut = "/tmp/kv-bench-peer-si.ini";
      std::filesystem::copy_file(file, ourCopy, std::filesystem::copy_options::overwrite_existing);
      {
        kv::TBiggerIniFile ini(kvbench::FrameworkPath(ourCopy));
        kv::String section = ini.SectionNames().Strings(0);
        bool flip = false;
        v[0] = BestOf(runs, [&] {
          ini.WriteString(section, u"Key1", (flip = !flip) ? u"a" : u"b");
          ini.UpdateFile();
        });
      }
      {
        CSimpleIniA ini(Utf8Like(enc));
        if (ini.LoadFile(file.c_str()) < 0) std::abort();
        bool flip = false;
        v[1] = BestOf(runs, [&] {
          ini.SetValue("Section1", "Key1", (flip = !flip) ? "a" : "b");
          if (ini.SaveFile(siOut.c_str(), Utf8Like(enc)) < 0) std::abort();
        });
      }
      std::filesystem::remove(ourCopy);
      std::filesystem::remove(siOut);
    });
    std::printf("%-8s %4d %8s %8s %8s\n", enc, mb, Cell(f.v[0]).c_str(), Cell(f.v[1]).c_str(),
                Ratio(f.v[0], f.v[1]).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  std::string list = argc > 1 ? argv[1] : "1,10,100";
  for (size_t at = 0; at < list.size();) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    sizes.push_back(std::atoi(list.substr(at, comma - at).c_str()));
    at = comma + 1;
  }
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  size_t limit = argc > 3 ? static_cast<size_t>(std::atol(argv[3])) : 0;
  if (sizes.empty() || runs < 1) {
    std::fprintf(stderr, "usage: bench_peers [SIZES-IN-MB [RUNS]]\n");
    return 2;
  }
  // KV_BENCH_TABLES picks tables: load, lookup, flush (default all).
  const char* pick = std::getenv("KV_BENCH_TABLES");
  auto wanted = [pick](const char* t) { return !pick || std::strstr(pick, t) != nullptr; };
  int largest = *std::max_element(sizes.begin(), sizes.end());
  if (wanted("load")) LoadTable(sizes, runs);
  if (wanted("lookup")) LookupTable(largest, runs, limit);
  if (wanted("flush")) FlushTable(largest, runs);
  return 0;
}
