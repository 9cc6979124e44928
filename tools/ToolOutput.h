// What the command-line tools share: their output, their exit codes, and
// the main function that runs one command line and prints the result.
#pragma once

#include <vector>

#include "platform/Base.h"
#include "platform/Console.h"

namespace kv::tools {

struct Output {
  String out;  // for standard output
  String err;  // for standard error
};

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

using RunFunction = int (*)(const std::vector<String>& args, Output& output);

// The body of a tool's main: runs the arguments after the program name.
inline int RunMain(int argc, char** argv, RunFunction run) {
  Output o;
  const int rc = run(platform::CommandLineArguments(argc, argv), o);
  platform::WriteStandardOutput(o.out);
  platform::WriteStandardError(o.err);
  return rc;
}

}  // namespace kv::tools
