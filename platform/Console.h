// The command line and the standard streams of a console program.
#pragma once

#include <vector>

#include "platform/Base.h"

namespace kv::platform {

// The program's arguments after its name. On Windows they come from the
// wide command line, so texts beyond the ANSI code page survive; elsewhere
// argv is taken as UTF-8.
std::vector<String> CommandLineArguments(int argc, char** argv);
// The positions (1: the first after the program's name) of the arguments
// that are no valid text, whose bytes CommandLineArguments had to replace by
// U+FFFD: on Linux those that are not UTF-8. Empty on Windows.
std::vector<int> InvalidCommandLineArguments(int argc, char** argv);

// Text to standard output or standard error: on a Windows console as
// characters, everywhere else as UTF-8 bytes.
void WriteStandardOutput(StringView text);
void WriteStandardError(StringView text);

}  // namespace kv::platform
