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

// kMissing: what was asked for is not there (kvini get without a default).
enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2, kMissing = 3 };

using RunFunction = int (*)(const std::vector<String>& args, Output& output);

// The body of a tool's main: runs the arguments after the program name.
// Arguments that are no valid text are refused before anything is done: a
// name spelled with replacement characters could find another file.
inline int RunMain(const char16_t* program, int argc, char** argv, RunFunction run) {
  Output o;
  const std::vector<int> invalid = platform::InvalidCommandLineArguments(argc, argv);
  if (!invalid.empty()) {
    platform::WriteStandardError(String(program) + u": argument " + IntToStr(invalid.front()) +
                                 u" is not valid UTF-8 text; nothing done\n");
    return kUsage;
  }
  const int rc = run(platform::CommandLineArguments(argc, argv), o);
  platform::WriteStandardOutput(o.out);
  platform::WriteStandardError(o.err);
  return rc;
}

}  // namespace kv::tools
