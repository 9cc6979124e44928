// kvreg: queries and edits the registry from the command line, in the manner
// of Windows' reg.exe: the real registry on Windows, our store on Linux.
#pragma once

#include <vector>

#include "platform/Base.h"
#include "tools/ToolOutput.h"

namespace kv::regtool {

using tools::Output;
using enum tools::ExitCode;

// Runs one command line (the arguments after the program name).
int Run(const std::vector<String>& args, Output& output);

}  // namespace kv::regtool
