// kvini: reads and edits INI files with the framework's INI engine.
#pragma once

#include <vector>

#include "platform/Base.h"

namespace kv::initool {

struct Output {
  String out;  // for standard output
  String err;  // for standard error
};

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// Runs one command line (the arguments after the program name).
int Run(const std::vector<String>& args, Output& output);

}  // namespace kv::initool
