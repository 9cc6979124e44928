// kvreg: queries and edits the registry from the command line, in the manner
// of Windows' reg.exe: the real registry on Windows, our store on Linux.
#pragma once

#include <vector>

#include "platform/Base.h"

namespace kv::regtool {

struct Output {
  String out;  // for standard output
  String err;  // for standard error
};

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// Runs one command line (the arguments after the program name).
int Run(const std::vector<String>& args, Output& output);

}  // namespace kv::regtool
