// kvreg: the registry command-line tool.
#include "platform/Console.h"
#include "tools/kvreg/RegTool.h"

int main(int argc, char** argv) {
  kv::regtool::Output o;
  int rc = kv::regtool::Run(kv::platform::CommandLineArguments(argc, argv), o);
  kv::platform::WriteStandardOutput(o.out);
  kv::platform::WriteStandardError(o.err);
  return rc;
}
