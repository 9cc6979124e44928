#include "FuzzFile.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace kvfuzz {

kv::String WriteInput(const std::uint8_t* data, std::size_t size) {
  static const std::string name = "/tmp/kv-fuzz-" + std::to_string(::getpid()) + ".bin";
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return kv::FromUtf8(name);
}

}  // namespace kvfuzz
