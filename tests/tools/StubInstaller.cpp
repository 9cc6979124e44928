// Stands in for an installer: appends how it was started to the file named by
// KV_STUB_MARKER (its own name, the current folder, the number of arguments)
// and ends with the exit code KV_STUB_EXIT (0 by default).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Base.h"
#include "platform/Files.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
  using namespace kv;
  String marker = platform::GetEnvVar(u"KV_STUB_MARKER");
  if (!marker.empty()) {
    std::string text = "program=" + ToUtf8(platform::ModuleFileName()) + "\ncwd=" + ToUtf8(platform::GetCurrentDir()) +
                       "\nargs=" + std::to_string(argc - 1) + "\n";
    for (int i = 1; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
    platform::FileHandle f;
    if (f.Open(marker + u".tmp", platform::FileAccess::Write, platform::FileShare::None,
               platform::FileDisposition::CreateAlways)) {
      f.Write(text.data(), static_cast<std::int64_t>(text.size()));
      f.Close();
    }
    // The marker appears whole, by renaming, so that a waiting test never reads half of it.
    std::rename(ToUtf8(platform::DisplayPath(marker + u".tmp")).c_str(), ToUtf8(platform::DisplayPath(marker)).c_str());
  }
  String code = platform::GetEnvVar(u"KV_STUB_EXIT");
  return code.empty() ? 0 : std::atoi(ToUtf8(code).c_str());
}
