// Loads the same generated files with our engine, SimpleIni and inih in one
// run and prints the times and their ratios. Also the floor: reading the file
// and splitting it into lines.
#include <ini.h>

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BenchData.h"
#include "ini/KVBigIni.h"

using kvbench::Coding;

namespace {
double BestOf(int runs, const std::function<void()>& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

int InihHandler(void* user, const char*, const char*, const char*) {
  ++*static_cast<long*>(user);
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  int mb = argc > 1 ? std::atoi(argv[1]) : 100;
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::printf("%-10s %5s %12s %12s %12s %12s %10s %10s %10s\n", "coding", "MB", "ours[s]", "SimpleIni[s]",
              "inih[s]", "lines[s]", "ours/SI", "ours/inih", "ours/lines");
  for (Coding c : {Coding::Utf8, Coding::Utf16Le, Coding::Ansi}) {
    std::string file = kvbench::GeneratedFile(mb, c);
    double ours = BestOf(runs, [&] {
      kv::TBigIniFile ini(kvbench::FrameworkPath(file));
      if (ini.SectionNames().Count() == 0) std::abort();
    });
    double si = BestOf(runs, [&] {
      if (c == Coding::Utf16Le) {
        // SimpleIni reads UTF-8 or single-byte text only.
        return;
      }
      CSimpleIniA ini(c == Coding::Utf8);
      if (ini.LoadFile(file.c_str()) < 0) std::abort();
    });
    double ih = BestOf(runs, [&] {
      long n = 0;
      if (c == Coding::Utf16Le) return;
      ini_parse(file.c_str(), InihHandler, &n);
    });
    double lines = BestOf(runs, [&] {
      std::ifstream f(file, std::ios::binary);
      std::vector<std::string> v;
      std::string line;
      while (std::getline(f, line)) v.push_back(line);
    });
    bool peers = c != Coding::Utf16Le;
    std::printf("%-10s %5d %12.3f %12s %12s %12.3f %10s %10s %10.2f\n", kvbench::CodingName(c), mb, ours,
                peers ? std::to_string(si).substr(0, 6).c_str() : "n/a",
                peers ? std::to_string(ih).substr(0, 6).c_str() : "n/a", lines,
                peers ? std::to_string(ours / si).substr(0, 5).c_str() : "n/a",
                peers ? std::to_string(ours / ih).substr(0, 5).c_str() : "n/a", ours / lines);
  }
  // Writing the whole document back: our FlushFile (temporary file, flush to
  // the disk, rename) against SimpleIni's SaveFile of the same loaded content.
  // A UTF-8 document is written by us as UTF-16, twice the bytes.
  std::printf("\n%-10s %5s %12s %12s %10s\n", "flush", "MB", "ours[s]", "SimpleIni[s]", "ours/SI");
  for (Coding c : {Coding::Utf8, Coding::Ansi}) {
    std::string file = kvbench::GeneratedFile(mb, c);
    std::string ourCopy = "/tmp/kv-bench-peer-flush.ini", siOut = "/tmp/kv-bench-peer-si.ini";
    std::filesystem::copy_file(file, ourCopy, std::filesystem::copy_options::overwrite_existing);
    double ours, si;
    {
      kv::TBiggerIniFile ini(kvbench::FrameworkPath(ourCopy));
      bool flip = false;
      ours = BestOf(runs, [&] {
        ini.WriteString(u"Section1", u"Key1", (flip = !flip) ? u"a" : u"b");
        ini.UpdateFile();
      });
    }
    {
      CSimpleIniA ini(c == Coding::Utf8);
      if (ini.LoadFile(file.c_str()) < 0) std::abort();
      bool flip = false;
      si = BestOf(runs, [&] {
        ini.SetValue("Section1", "Key1", (flip = !flip) ? "a" : "b");
        if (ini.SaveFile(siOut.c_str(), c == Coding::Utf8) < 0) std::abort();
      });
    }
    std::filesystem::remove(ourCopy);
    std::filesystem::remove(siOut);
    std::printf("%-10s %5d %12.3f %12.3f %10.2f\n", kvbench::CodingName(c), mb, ours, si, ours / si);
  }
  return 0;
}
