#include "LogTestUtil.h"

#include <algorithm>

#include "platform/Files.h"

namespace fs = std::filesystem;

namespace kvtest {

std::string NativePath(const kv::String& path) { return kv::ToUtf8(kv::platform::DisplayPath(path)); }

std::vector<std::string> LogFixture::LogFiles(const kv::String& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(NativePath(folder), ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.find('_') != std::string::npos && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".log") == 0)
      files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> LogFixture::Lines(const std::string& nativeFile) {
  std::string bytes = ReadBytes(nativeFile);
  EXPECT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << nativeFile << " starts without UTF-8 byte-order mark";
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> LogFixture::AllLines(const kv::String& folder) {
  std::vector<std::string> all;
  for (const auto& f : LogFiles(folder)) {
    const auto lines = Lines(f);
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

std::string LogFixture::MessageOf(const std::string& line) {
  std::size_t p = 0;
  for (int tabs = 0; tabs < 6; ++tabs) {
    p = line.find('\t', p);
    if (p == std::string::npos) return "<not an entry line: " + line + ">";
    ++p;
  }
  return line.substr(p);
}

std::string LogFixture::LevelOf(const std::string& line) {
  const std::size_t a = line.find('\t');
  if (a == std::string::npos) return {};
  const std::size_t b = line.find('\t', a + 1);
  return line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
}

}  // namespace kvtest
