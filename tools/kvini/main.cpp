// kvini: the INI command-line tool.
#include "platform/Console.h"
#include "tools/kvini/IniTool.h"

int main(int argc, char** argv) {
  kv::initool::Output o;
  int rc = kv::initool::Run(kv::platform::CommandLineArguments(argc, argv), o);
  kv::platform::WriteStandardOutput(o.out);
  kv::platform::WriteStandardError(o.err);
  return rc;
}
