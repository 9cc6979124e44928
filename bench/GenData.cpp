#include "GenData.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvbench {

const char* const kGenCodings[4] = {"utf8", "utf8bom", "utf16le", "ansi"};

namespace {

std::string DataDir() {
  const char* d = std::getenv("KV_BENCH_DATA");
  return d && *d ? d : "/tmp/kv-bench-gen";
}

std::string Generator() {
  const char* g = std::getenv("KV_GEN_INI");
  return g && *g ? g : KV_GEN_INI_PY;
}

std::string Stem(int mb) { return DataDir() + "/ini_" + std::to_string(mb) + "M"; }

void Generate(int mb) {
  std::filesystem::create_directories(DataDir());
  std::string cmd = "python3 '" + Generator() + "' --size " + std::to_string(mb) +
                    "M --seed 1 --enc utf8,utf8bom,utf16le,ansi --out '" + DataDir() + "' --name ini_" +
                    std::to_string(mb) + "M";
  std::fprintf(stderr, "generating: %s\n", cmd.c_str());
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("the generator failed: " + cmd);
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

std::string GenFile(int mb, const std::string& enc) {
  std::string path = Stem(mb) + "_" + enc + ".ini";
  if (!std::filesystem::exists(path) || !std::filesystem::exists(Stem(mb) + ".expect.json")) Generate(mb);
  return path;
}

std::vector<GenLookup> GenLookups(int mb) {
  GenFile(mb, "utf8");
  std::ifstream f(Stem(mb) + ".lookups.tsv");
  std::vector<GenLookup> out;
  std::string line;
  while (std::getline(f, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    out.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return out;
}

long long GenExpect(int mb, const std::string& name, const std::string& within) {
  GenFile(mb, "utf8");
  std::string json = ReadAll(Stem(mb) + ".expect.json");
  size_t from = 0;
  if (!within.empty()) {
    from = json.find("\"" + within + "\"");
    if (from == std::string::npos) return -1;
  }
  size_t at = json.find("\"" + name + "\":", from);
  if (at == std::string::npos) return -1;
  return std::atoll(json.c_str() + at + name.size() + 3);
}

}  // namespace kvbench
