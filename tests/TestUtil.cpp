#include "TestUtil.h"

#include <atomic>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace kvtest {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  fs::path p = fs::temp_directory_path() /
               ("kvtest-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  fs::create_directories(p);
  FPath = p.string();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

kv::String TempDir::Path() const {
  kv::String s = kv::FromUtf8(FPath);
  for (auto& c : s)
    if (c == u'/') c = u'\\';
  return s;
}

kv::String TempDir::File(const std::string& name) const { return Path() + u"\\" + kv::FromUtf8(name); }

void WriteBytes(const std::string& nativePath, const std::string& bytes) {
  std::ofstream f(nativePath, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& nativePath) {
  std::ifstream f(nativePath, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

kv::String BuildPath(const std::string& p) {
  kv::String s = kv::FromUtf8(p);
#ifdef _WIN32
  if (!s.empty() && s[0] == u'/') s = u"Z:" + s;
#endif
  for (auto& c : s)
    if (c == u'/') c = u'\\';
  return s;
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  if (value.empty())
    ::unsetenv(name.c_str());
  else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

std::string Utf16Le(const std::u16string& s, bool bom) {
  std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string Utf16Be(const std::u16string& s, bool bom) {
  std::string out = bom ? std::string("\xFE\xFF", 2) : std::string();
  for (char16_t c : s) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

}  // namespace kvtest
