// The launcher as users meet it: a medium folder with a copy of the program,
// Autorun.inf in some encoding, and stub installers that record their start.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestUtil.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kv;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char* kExe = ".exe";
#else
const char* kExe = "";
#endif

struct Medium {
  kvtest::TempDir dir;
  std::string marker;

  Medium() {
    marker = dir.NativeFile("started.txt");
    fs::copy_file(KV_LAUNCHER_EXE, dir.NativeFile(std::string("Autorun") + kExe));
  }
  void AddInstaller(const std::string& name) { fs::copy_file(KV_STUB_INSTALLER_EXE, dir.NativeFile(name)); }
  void Inf(const std::string& bytes) { kvtest::WriteBytes(dir.NativeFile("Autorun.inf"), bytes); }

  // Runs the launcher, waits for it to end, returns its exit code.
  std::uint32_t Run() {
    std::string markerEnv = ToUtf8(kvtest::BuildPath(marker));
#ifdef _WIN32
    _putenv_s("KV_STUB_MARKER", markerEnv.c_str());
#else
    setenv("KV_STUB_MARKER", markerEnv.c_str(), 1);
#endif
    platform::CreateProcessArgs args;
    args.applicationName = dir.File(std::string("Autorun") + kExe);
    platform::Process p;
    EXPECT_TRUE(platform::StartProcess(args, &p));
    p.Wait();
    std::uint32_t code = 999;
    p.GetExitCode(&code);
    return code;
  }

  // What the stub recorded, once it appears (the launcher does not wait for it).
  std::string Started(int waitMs = 20000) {
    for (int waited = 0; waited < waitMs; waited += 50) {
      // The stub renames the marker into place, so any text read is whole; but
      // under Wine the rename's own handle may still hold the file for a moment,
      // and an open then fails (a sharing violation), so an empty read waits too.
      if (fs::exists(marker)) {
        std::string text = kvtest::ReadBytes(marker);
        if (!text.empty()) return text;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::string();
  }
  // Gives a started installer a moment to show up, and says whether one did.
  bool NothingStarted() { return Started(1500).empty(); }
};

std::string Line(const std::string& record, const std::string& key) {
  size_t p = record.find(key + "=");
  if (p == std::string::npos) return "<none>";
  size_t e = record.find('\n', p);
  return record.substr(p + key.size() + 1, e - p - key.size() - 1);
}

std::string FileNameOf(const std::string& program) {
  size_t p = program.find_last_of("\\/");
  return p == std::string::npos ? program : program.substr(p + 1);
}

}  // namespace

TEST(LauncherEndToEnd, StartsTheNamedInstallerInEveryEncodingAndLineEnd) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::u16string crlf = u"[autorun]\r\nOpen=Setup.exe\r\n";
  std::u16string lf = u"[AutoRun]\nopen=Setup.exe\n";
  std::vector<Case> cases = {
      {"ANSI CR LF", "[autorun]\r\nOpen=Setup.exe\r\n"},
      {"ANSI LF", "[AutoRun]\nopen=Setup.exe"},
      {"UTF-8 BOM", "\xEF\xBB\xBF[AutoRun]\r\nopen=Setup.exe\r\n"},
      {"UTF-16LE CR LF", kvtest::Utf16Le(crlf)},
      {"UTF-16LE LF", kvtest::Utf16Le(lf)},
      {"UTF-16BE", kvtest::Utf16Be(crlf)},
      {"UTF-16LE without mark, LF", kvtest::Utf16Le(lf, false)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Medium m;
    m.AddInstaller("Setup.exe");
    m.AddInstaller("Install.exe");
    m.Inf(c.bytes);
    EXPECT_EQ(m.Run(), 0u);
    std::string rec = m.Started();
    ASSERT_FALSE(rec.empty()) << "no installer started";
    EXPECT_EQ(FileNameOf(Line(rec, "program")), "Setup.exe");
    EXPECT_EQ(Line(rec, "args"), "0");
    // The installer inherits the launcher's current folder (the test's).
    EXPECT_EQ(Line(rec, "cwd"), ToUtf8(platform::GetCurrentDir()));
  }
}

TEST(LauncherEndToEnd, DefaultsToInstallExe) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases = {
      {"no Autorun.inf", ""},
      {"no section", "[Other]\nopen=Setup.exe\n"},
      {"blank before =", "[AutoRun]\nopen = Setup.exe\n"},
      {"CR-only line ends are one line", "[AutoRun]\ropen=Setup.exe\r"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Medium m;
    m.AddInstaller("Setup.exe");
    m.AddInstaller("Install.exe");
    if (!c.bytes.empty()) m.Inf(c.bytes);
    EXPECT_EQ(m.Run(), 0u);
    EXPECT_EQ(FileNameOf(Line(m.Started(), "program")), "Install.exe");
  }
}

TEST(LauncherEndToEnd, ParametersInTheValueStartNothing) {
  Medium m;
  m.AddInstaller("Setup.exe");
  m.Inf("[AutoRun]\nopen=Setup.exe /auto\n");
  EXPECT_EQ(m.Run(), 0u);
  EXPECT_TRUE(m.NothingStarted());
}

TEST(LauncherEndToEnd, MissingInstallerEndsSilently) {
  Medium m;
  m.Inf("[AutoRun]\nopen=Gone.exe\n");
  EXPECT_EQ(m.Run(), 0u);
  EXPECT_TRUE(m.NothingStarted());
}

TEST(LauncherEndToEnd, InstallerInASubfolderWithBackslashes) {
  Medium m;
  fs::create_directories(m.dir.NativeFile("Setup"));
  m.AddInstaller("Setup/Inst.exe");
  m.Inf("[AutoRun]\nopen=Setup\\Inst.exe\n");
  EXPECT_EQ(m.Run(), 0u);
  EXPECT_EQ(FileNameOf(Line(m.Started(), "program")), "Inst.exe");
}

TEST(LauncherEndToEnd, UnreadableAutorunInfEndsWithExitCodeOne) {
  Medium m;
  m.AddInstaller("Install.exe");
  m.Inf("[AutoRun]\nopen=Install.exe\n");
  platform::FileHandle lock;
  ASSERT_TRUE(lock.Open(m.dir.File("Autorun.inf"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                        platform::FileDisposition::OpenExisting));
  EXPECT_EQ(m.Run(), 1u);
  EXPECT_TRUE(m.NothingStarted());
}

#ifdef _WIN32
TEST(LauncherEndToEnd, AFileTheChildProcessStartRefusesGoesToTheShell) {
  // A file type of our own whose "open" command is the stub: CreateProcessW
  // refuses the file (it is no program), the shell starts the stub for it.
  const String stub = kvtest::BuildPath(KV_STUB_INSTALLER_EXE);
  using namespace platform;
  RegHandle key = 0;
  ASSERT_EQ(RegCreate(kHiveClassesRoot, u".kvshelltest", kKeyAllAccess, &key), 0u);
  auto type = RegTextData(u"KVShellTestFile");
  RegSet(key, u"", kRegSz, type.data(), type.size());
  RegClose(key);
  ASSERT_EQ(RegCreate(kHiveClassesRoot, u"KVShellTestFile\\shell\\open\\command", kKeyAllAccess, &key), 0u);
  auto command = RegTextData(u"\"" + stub + u"\" \"%1\"");
  RegSet(key, u"", kRegSz, command.data(), command.size());
  RegClose(key);

  Medium m;
  kvtest::WriteBytes(m.dir.NativeFile("Install.kvshelltest"), "not a program");
  m.Inf("[AutoRun]\nopen=Install.kvshelltest\n");
  EXPECT_EQ(m.Run(), 0u);
  const std::string rec = m.Started();
  RegDeleteKeyTree(kHiveClassesRoot, u".kvshelltest");
  RegDeleteKeyTree(kHiveClassesRoot, u"KVShellTestFile");
  ASSERT_FALSE(rec.empty()) << "the shell started nothing";
  EXPECT_EQ(FileNameOf(Line(rec, "program")), FileNameOf(KV_STUB_INSTALLER_EXE));
  EXPECT_EQ(Line(rec, "args"), "1");
  EXPECT_EQ(FileNameOf(Line(rec, "arg")), "Install.kvshelltest");
}
#else
// An Autorun.inf that is a pipe nobody writes to ends like an unreadable one,
// at once, instead of waiting for a writer.
TEST(LauncherEndToEnd, AnAutorunInfThatIsAPipeEndsWithExitCodeOne) {
  Medium m;
  m.AddInstaller("Install.exe");
  ASSERT_EQ(::mkfifo(m.dir.NativeFile("Autorun.inf").c_str(), 0666), 0);
  ::alarm(120);  // a launcher that waited would hang the test: end it instead
  EXPECT_EQ(m.Run(), 1u);
  ::alarm(0);
  EXPECT_TRUE(m.NothingStarted());
}

TEST(LauncherEndToEnd, NonExecutableInstallerGoesToTheShellOpener) {
  // The child-process start fails for a file without execute permission; the
  // shell step hands it to the opener, in the installer's folder.
  Medium m;
  m.AddInstaller("opener");
  kvtest::WriteBytes(m.dir.NativeFile("Install.exe"), "not a program");
  fs::permissions(m.dir.NativeFile("Install.exe"), fs::perms::owner_read | fs::perms::owner_write);
  setenv("KV_SHELL_OPENER", m.dir.NativeFile("opener").c_str(), 1);
  EXPECT_EQ(m.Run(), 0u);
  unsetenv("KV_SHELL_OPENER");
  std::string rec = m.Started();
  EXPECT_EQ(FileNameOf(Line(rec, "program")), "opener");
  EXPECT_EQ(Line(rec, "args"), "1");
  EXPECT_EQ(FileNameOf(Line(rec, "arg")), "Install.exe");
  EXPECT_EQ(Line(rec, "cwd"), ToUtf8(m.dir.Path()));
}
#endif
