// The shared generator's INI files (gen_ini.py, seed 1): one text per size in
// every coding, with its lookup list and what a correct reader finds.
#pragma once

#include <string>
#include <vector>

namespace kvbench {

// The codings gen_ini.py writes, by its names.
extern const char* const kGenCodings[4];  // utf8, utf8bom, utf16le, ansi

// The native path of the generator's file of mb megabytes in coding enc,
// written once into the benchmark data folder (KV_BENCH_DATA, by default
// /tmp/kv-bench-gen) by the generator (KV_GEN_INI, by default the shared one).
std::string GenFile(int mb, const std::string& enc);
// The lookup list of that size: section and key per pair.
struct GenLookup {
  std::string section, key;
};
std::vector<GenLookup> GenLookups(int mb);
// A number from the size's expect.json: the first "name": N after the first
// occurrence of within (or from the start when within is empty); -1 when none.
long long GenExpect(int mb, const std::string& name, const std::string& within = std::string());

}  // namespace kvbench
