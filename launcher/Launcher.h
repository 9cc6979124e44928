// The launch sequence: read Autorun.inf beside the program and start the
// installer it names from the same folder.
#pragma once

#include <cstdint>

#include "platform/Base.h"

namespace kv {

// Removes at most two trailing backslashes.
String TrimTrailingBackslashes(const String& Path);

// Starts FileName as a child process (the launcher's current folder and
// environment, inherited handles); when that fails, through the shell. With
// Wait, waits for it. Returns its exit code (259 while it still runs), or
// what ShellExecuteProgram returns.
std::int32_t StartInstaller(const String& FileName, const String& Parameters, bool Wait);

// Starts FileName through the shell with the verb "open" (or "runas") in the
// file's folder. 2 when the file does not exist, minus the error number when
// the shell fails, else the exit code (0 when the shell gave no process).
std::int32_t ShellExecuteProgram(const String& FileName, const String& Parameters, bool Wait,
                                 std::uint16_t ShowCommand, bool RunAs);

// The two texts of a launch, kept until teardown.
struct LaunchState {
  String InstallerName;
  String InstallerPath;
};
LaunchState& Launch();

// The program's folder: the path part of its file name, without the trailing
// backslashes.
String ProgramFolder();

// Runs the launch sequence up to the start attempt. Exceptions (an
// Autorun.inf that exists but cannot be read) leave it.
void RunLaunchSequence();

// The text of the last-resort message for an exception that left the launch.
String LastResortMessage(const String& className, const String& message, std::uintptr_t address);

// The frame of a program built on the launcher's start-up: with
// UsePlatformWindows the platform's window system (else the one installed
// stays), the modules' start-up, the body, the modules' shutdown, and no
// window system left afterwards. An exception from the start-up, the body
// or the shutdown ends in the last-resort message and exit code 1;
// otherwise 0.
int RunProgram(void (*Body)(), bool UsePlatformWindows = true);
// The program's entry: start-up, launch, teardown; returns the exit code.
int LauncherMain();

}  // namespace kv
