#include "BenchData.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/CodePages.h"

namespace kvbench {

const char* CodingName(Coding c) {
  return c == Coding::Utf8 ? "utf8" : c == Coding::Utf16Le ? "utf16le" : "ansi";
}

std::string GeneratedFile(int megabytes, Coding coding) {
  std::string dir = "/tmp/kv-bench-data";
  std::filesystem::create_directories(dir);
  std::string path = dir + "/ini-" + std::to_string(megabytes) + "mb-" + CodingName(coding) + ".ini";
  if (std::filesystem::exists(path)) return path;
  std::string text;
  const size_t target = static_cast<size_t>(megabytes) * 1024 * 1024;
  for (int s = 0; text.size() < target; ++s) {
    text += "[Section" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 100; ++k)
      text += "Key" + std::to_string(k) + "=Value number " + std::to_string(s * 100 + k) + " of the section\r\n";
    text += "\r\n";
  }
  std::ofstream f(path + ".tmp", std::ios::binary);
  if (coding == Coding::Utf8) {
    f << "\xEF\xBB\xBF" << text;
  } else if (coding == Coding::Ansi) {
    f << text;
  } else {
    std::string out("\xFF\xFE", 2);
    out.reserve(text.size() * 2 + 2);
    for (char c : text) {
      out += c;
      out += '\0';
    }
    f << out;
  }
  f.close();
  std::filesystem::rename(path + ".tmp", path);
  return path;
}

kv::String FrameworkPath(const std::string& native) { return kv::FromUtf8(native); }

}  // namespace kvbench
