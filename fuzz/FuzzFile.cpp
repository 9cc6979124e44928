#include "FuzzFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kvfuzz {

namespace {
std::string ScratchName() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kv-fuzz-" + std::to_string(::getpid()) + ".bin";
}
}  // namespace

kv::String WriteInput(const std::uint8_t* data, std::size_t size) {
  static const std::string name = [] {
    std::string n = ScratchName();
    std::atexit([] { std::remove(ScratchName().c_str()); });
    return n;
  }();
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return kv::FromUtf8(name);
}

}  // namespace kvfuzz
