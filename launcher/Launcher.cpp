#include "launcher/Launcher.h"

#include <cstdio>
#include <exception>
#include <new>

#include "ini/KVBigIni.h"
#include "launcher/Startup.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "text/KVTypes.h"
#include "toolkit/Controls.h"

namespace kv {

String TrimTrailingBackslashes(const String& Path) {
  String result = Path;
  if (!result.empty() && result.back() == u'\\') {
    result.pop_back();
    if (!result.empty() && result.back() == u'\\') result.pop_back();
  }
  return result;
}

std::int32_t StartInstaller(const String& FileName, const String& Parameters, bool Wait) {
  std::int32_t result = 0;
  platform::CreateProcessArgs args;
  args.applicationName = FileName;
  args.commandLine = Parameters;
  args.inheritHandles = true;
  args.creationFlags = 0x20;
  args.currentDirectory = u".";
  platform::Process process;
  if (platform::StartProcess(args, &process)) {
    if (Wait) process.Wait();
    std::uint32_t code = 0;
    if (process.GetExitCode(&code)) result = static_cast<std::int32_t>(code);
    return result;
  }
  return ShellExecuteProgram(FileName, Parameters, Wait, 1, false);
}

std::int32_t ShellExecuteProgram(const String& FileName, const String& Parameters, bool Wait,
                                 std::uint16_t ShowCommand, bool RunAs) {
  std::int32_t result = 0;
  if (!FileName.empty() && !FileExistsEx(FileName)) return 2;
  platform::ShellExecuteArgs args;
  args.mask = Wait ? 320 : 64;
  args.verb = RunAs ? u"runas" : u"open";
  if (!FileName.empty()) {
    args.file = FileName;
    args.directory = ExtractPathUpToDelimiter(FileName, u"\\");
  }
  args.parameters = Parameters;
  args.show = ShowCommand;
  platform::Process process;
  if (!platform::ShellExecuteFile(args, &process)) return -static_cast<std::int32_t>(platform::LastError());
  std::uint32_t code = 0;
  if (process.GetExitCode(&code)) result = static_cast<std::int32_t>(code);
  if (Wait) {
    process.Wait();
    if (process.GetExitCode(&code)) result = static_cast<std::int32_t>(code);
  }
  process.Close();
  return result;
}

LaunchState& Launch() {
  static LaunchState state;
  return state;
}

String ProgramFolder() {
  return TrimTrailingBackslashes(ExtractPathUpToDelimiter(platform::ModuleFileName(), u"\\"));
}

void RunLaunchSequence() {
  // The launcher creates no window: the application object has nothing to set up.
  String iniName = ProgramFolder() + u"\\Autorun.inf";
  {
    // Only read: releasing the document writes nothing back.
    TBigIniFile ini(iniName, false);
    Launch().InstallerName = ini.ReadString(u"AutoRun", u"open", u"Install.exe");
  }
  Launch().InstallerPath = ProgramFolder() + u"\\" + Launch().InstallerName;
  StartInstaller(Launch().InstallerPath, String(), false);
  platform::SuppressErrorDialogs();
}

String LastResortMessage(const String& className, const String& message, std::uintptr_t address) {
  String module = platform::ModuleFileName();
  size_t slash = module.find_last_of(u"\\:");
  if (slash != String::npos) module.erase(0, slash + 1);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(address));
  String dot = !message.empty() && message.back() != u'.' ? u"." : u"";
  return FormatSimple(u"Exception %s in module %s at %p.\r\n%s%s\r\n",
                      {className, module, FromUtf8(buf), message, dot});
}

namespace {

// Runs f; an exception from it ends in the last-resort message. False then.
bool LastResort(void (*f)()) {
  try {
    f();
    return true;
  } catch (const Exception& e) {
    platform::ShowFatalErrorBox(u"Application Error", LastResortMessage(FromUtf8(e.ClassName()), e.Message(), e.Address()));
  } catch (const std::bad_alloc&) {
    platform::ShowFatalErrorBox(u"Application Error", LastResortMessage(u"EOutOfMemory", u"Out of memory", 0));
  } catch (const std::exception& e) {
    platform::ShowFatalErrorBox(u"Application Error", LastResortMessage(u"Exception", FromUtf8(e.what()), 0));
  }
  return false;
}

void (*gBody)() = nullptr;

}  // namespace

int RunProgram(void (*Body)(), bool UsePlatformWindows) {
  int exitCode = 0;
  // The application window of the forms module is a real one on Windows.
  if (UsePlatformWindows) UsePlatformWindowSystem();
  gBody = Body;
  if (!LastResort([] {
        StartModules();
        gBody();
      }))
    exitCode = 1;
  Launch() = LaunchState{};
  if (!LastResort(&StopModules)) exitCode = 1;
  ReleaseApplication();
  SetWindowSystem(nullptr);
  return exitCode;
}

int LauncherMain() { return RunProgram(&RunLaunchSequence); }

}  // namespace kv
