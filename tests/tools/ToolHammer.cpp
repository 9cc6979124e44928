// Runs one kvini or kvreg command many times in a row, for the tests of
// several processes changing one file or one hive at once:
//
//   kv_tool_hammer ini FILE PREFIX COUNT
//       kvini set FILE S PREFIX<i> <i> for i below COUNT
//   kv_tool_hammer reg KEY ID COUNT RESULTS
//       kvreg add KEY /v V<i> /d ID for i below COUNT, without /f; the i it
//       added go to the file RESULTS, one per line
//
// The exit code is the number of commands that failed (a value another
// process added first is no failure).
#include <string>

#include "platform/CodePages.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "tools/kvini/IniTool.h"
#include "tools/kvreg/RegTool.h"

using namespace kv;

int main(int argc, char** argv) {
  const std::vector<String> a = platform::CommandLineArguments(argc, argv);
  if (a.size() < 4) return 100;
  const int count = std::stoi(ToUtf8(a[3]));
  int failed = 0;
  std::string added;
  for (int i = 0; i < count; ++i) {
    tools::Output out;
    const String n = IntToStr(i);
    if (a[0] == u"ini") {
      if (initool::Run({u"set", a[1], u"S", a[2] + n, n}, out) != 0) {
        ++failed;
        platform::WriteStandardError(out.err);
      }
    } else {
      const int rc = regtool::Run({u"add", a[1], u"/v", u"V" + n, u"/d", a[2]}, out);
      if (rc == 0)
        added += std::to_string(i) + "\n";
      else if (out.err.find(u"already has the value") == String::npos) {
        ++failed;
        platform::WriteStandardError(out.err);
      }
    }
  }
  platform::FileHandle results;
  if (a.size() > 4 &&
      (!results.Open(a[4], platform::FileAccess::Write, platform::FileShare::None, platform::FileDisposition::CreateAlways) ||
       results.Write(added.data(), static_cast<std::int64_t>(added.size())) != static_cast<std::int64_t>(added.size())))
    ++failed;
  return failed;
}
