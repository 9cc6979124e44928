// kvini: reads and edits INI files with the framework's INI engine.
#pragma once

#include <vector>

#include "platform/Base.h"
#include "tools/ToolOutput.h"

namespace kv::initool {

using tools::Output;
using enum tools::ExitCode;

// Runs one command line (the arguments after the program name).
int Run(const std::vector<String>& args, Output& output);

}  // namespace kv::initool
