#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "tools/kvini/IniTool.h"

using namespace kv;
using kvtest::ReadBytes;
using kvtest::WriteBytes;

namespace {

class IniTool : public ::testing::Test {
 protected:
  int Run(std::vector<String> args) {
    out = {};
    for (auto& a : args)
      if (a == u"FILE") a = dir.File("t.ini");
    return initool::Run(args, out);
  }
  std::string Bytes() { return ReadBytes(dir.NativeFile("t.ini")); }
  kvtest::TempDir dir;
  initool::Output out;
};

}  // namespace

TEST_F(IniTool, GetPrintsValuesAndDefaults) {
  WriteBytes(dir.NativeFile("t.ini"), "[AutoRun]\r\nopen=Setup\\Install.exe\r\nkey = spaced\r\n");
  EXPECT_EQ(Run({u"get", u"FILE", u"autorun", u"OPEN"}), 0);
  EXPECT_EQ(out.out, u"Setup\\Install.exe\n");
  EXPECT_EQ(Run({u"get", u"FILE", u"AutoRun", u"missing", u"dflt"}), 0);
  EXPECT_EQ(out.out, u"dflt\n");
  EXPECT_EQ(Run({u"get", u"FILE", u"AutoRun", u"key", u""}), 0);  // "key " is another name
  EXPECT_EQ(out.out, u"\n");
  EXPECT_EQ(Run({u"--drop-whitespace", u"get", u"FILE", u"AutoRun", u"key"}), 0);
  EXPECT_EQ(out.out, u"spaced\n");
  // A missing file is an empty document.
  EXPECT_EQ(Run({u"get", dir.File("none.ini"), u"S", u"k", u"d"}), 0);
  EXPECT_EQ(out.out, u"d\n");
  EXPECT_TRUE(out.err.empty());
}

TEST_F(IniTool, EditingCommandsWriteTheFileBack) {
  WriteBytes(dir.NativeFile("t.ini"), "; header comment\n[A]\nx=1\ny=2\n[B]\nz=3\n");
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"x", u"10"}), 0);
  // The leading comment block stays in front of the first section.
  EXPECT_EQ(Bytes(), "; header comment\r\n[A]\r\nx=10\r\ny=2\r\n\r\n[B]\r\nz=3\r\n\r\n");
  EXPECT_EQ(Run({u"delete", u"FILE", u"A", u"y"}), 0);
  EXPECT_EQ(Run({u"rename-key", u"FILE", u"A", u"x", u"X"}), 0);
  EXPECT_EQ(Run({u"rename-section", u"FILE", u"B", u"Other"}), 0);
  EXPECT_EQ(Run({u"set", u"FILE", u"New", u"--", u"-k", u"--v"}), 0);  // "--" ends the options
  EXPECT_EQ(Bytes(), "; header comment\r\n[A]\r\nX=10\r\n\r\n[Other]\r\nz=3\r\n\r\n[New]\r\n-k=--v\r\n\r\n");
  EXPECT_EQ(Run({u"delete", u"FILE", u"new"}), 0);
  EXPECT_EQ(Run({u"sections", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"A\nOther\n");
  EXPECT_EQ(Run({u"keys", u"FILE", u"other"}), 0);
  EXPECT_EQ(out.out, u"z\n");
  EXPECT_EQ(Run({u"dump", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"; header comment\n[A]\nX=10\n\n[Other]\nz=3\n\n");
}

TEST_F(IniTool, FailuresLeaveTheFileAndExitNonZero) {
  const std::string original = "[A]\r\nx=1\r\n[B]\r\ny=2\r\n";
  WriteBytes(dir.NativeFile("t.ini"), original);
  EXPECT_EQ(Run({u"rename-section", u"FILE", u"Missing", u"C"}), 1);
  EXPECT_NE(out.err.find(u"no section \"Missing\""), String::npos);
  EXPECT_EQ(Run({u"rename-section", u"FILE", u"A", u"b"}), 1);
  EXPECT_EQ(Run({u"rename-key", u"FILE", u"A", u"nope", u"y"}), 1);
  EXPECT_EQ(Run({u"--drop-comments", u"set", u"FILE", u"A", u"x", u"2"}), 2);
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"x"}), 2);
  EXPECT_NE(out.err.find(u"Usage: kvini [--force] set"), String::npos);
  EXPECT_EQ(Run({u"frobnicate", u"FILE"}), 2);
  EXPECT_EQ(Run({u"--bogus", u"get", u"FILE", u"A", u"x"}), 2);
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Bytes(), original);
  // A folder that is a file: the write fails with the engine's message.
  EXPECT_EQ(Run({u"set", dir.File("t.ini") + u"\\sub.ini", u"S", u"k", u"v"}), 1);
  EXPECT_NE(out.err.find(u"sub.ini"), String::npos);
  EXPECT_TRUE(out.out.empty());
}

TEST_F(IniTool, HelpForEveryCommand) {
  EXPECT_EQ(Run({u"--help"}), 0);
  EXPECT_NE(out.out.find(u"Commands:"), String::npos);
  for (const char16_t* c : {u"get", u"set", u"delete", u"sections", u"keys", u"dump", u"rename-section",
                            u"rename-key", u"recode"}) {
    EXPECT_EQ(Run({c, u"--help"}), 0) << ToUtf8(c);
    EXPECT_EQ(out.out.find(String(u"Usage: kvini")), 0u) << ToUtf8(c);
    EXPECT_EQ(Run({u"help", c}), 0);
    EXPECT_NE(out.out.find(c), String::npos);
  }
}

TEST_F(IniTool, RecodeBetweenCodings) {
  WriteBytes(dir.NativeFile("t.ini"), "\xEF\xBB\xBF[S]\nk=\xC3\xA4\n");
  EXPECT_EQ(Run({u"recode", u"FILE", u"utf16be"}), 0) << ToUtf8(out.err);
  EXPECT_EQ(Bytes(), kvtest::Utf16Be(u"[S]\r\nk=\u00E4\r\n"));
  EXPECT_EQ(Run({u"--lf", u"recode", u"FILE", u"utf8", dir.File("out.ini")}), 0);
  EXPECT_EQ(ReadBytes(dir.NativeFile("out.ini")), "[S]\nk=\xC3\xA4\n");
  EXPECT_EQ(Run({u"recode", u"FILE", u"klingon"}), 2);
  if (platform::AnsiCodePage() == 1252) {
    EXPECT_EQ(Run({u"recode", u"FILE", u"ansi"}), 0);
    EXPECT_EQ(Bytes(), "[S]\r\nk=\xE4\r\n");
    // A character ANSI lacks: refused, nothing written.
    WriteBytes(dir.NativeFile("t.ini"), kvtest::Utf16Le(u"[S]\r\nk=\u4E2D\r\n"));
    EXPECT_EQ(Run({u"recode", u"FILE", u"ansi"}), 1);
    EXPECT_EQ(Bytes(), kvtest::Utf16Le(u"[S]\r\nk=\u4E2D\r\n"));
  }
  // Undecodable UTF-8: refused too.
  WriteBytes(dir.NativeFile("t.ini"), "[S]\nk=\xC3\n");
  EXPECT_EQ(Run({u"--force-utf8", u"recode", u"FILE", u"utf16"}), 1);
  EXPECT_EQ(Bytes(), "[S]\nk=\xC3\n");
  EXPECT_EQ(Run({u"recode", dir.File("missing.ini"), u"utf8"}), 1);
}

TEST_F(IniTool, GetWithoutDefaultTellsMissingFromEmpty) {
  WriteBytes(dir.NativeFile("t.ini"), "[S]\r\nempty=\r\n");
  EXPECT_EQ(Run({u"get", u"FILE", u"S", u"empty"}), 0);
  EXPECT_EQ(out.out, u"\n");
  EXPECT_EQ(Run({u"get", u"FILE", u"S", u"nokey"}), 3);
  EXPECT_EQ(out.out, u"");
  EXPECT_NE(out.err.find(u"no key \"nokey\" in section \"S\""), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Run({u"get", u"FILE", u"Nosection", u"k"}), 3);
  EXPECT_NE(out.err.find(u"no section \"Nosection\""), String::npos);
  EXPECT_EQ(Run({u"--json", u"get", u"FILE", u"S", u"nokey"}), 3);
  EXPECT_EQ(out.out, u"null\n");
  EXPECT_EQ(Run({u"get", dir.File("none.ini"), u"S", u"k"}), 3);
  // With a default nothing is missing.
  EXPECT_EQ(Run({u"get", u"FILE", u"S", u"nokey", u""}), 0);
  EXPECT_TRUE(out.err.empty());
}

TEST_F(IniTool, JsonGivesExactTexts) {
  // A UTF-16 file can hold what plain lines cannot show: a lone CR, tabs,
  // an unpaired surrogate, quotes and backslashes.
  const std::u16string value = u"a\rb\tc\xD800\"\\\u00E4\U0001F600";
  WriteBytes(dir.NativeFile("t.ini"),
             kvtest::Utf16Le(u"; lead\r\n[S\tT]\r\nk=" + value + u"\r\nno equals\r\n[Empty]\r\n"));
  ASSERT_EQ(Run({u"--json", u"get", u"FILE", u"S\tT", u"k"}), 0) << ToUtf8(out.err);
  EXPECT_EQ(out.out, u"\"a\\rb\\tc\\ud800\\\"\\\\\u00E4\U0001F600\"\n");
  ASSERT_EQ(Run({u"--json", u"sections", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"[\"S\\tT\",\"Empty\"]\n");
  ASSERT_EQ(Run({u"--json", u"keys", u"FILE", u"s\tt"}), 0);
  EXPECT_EQ(out.out, u"[\"k\"]\n");
  ASSERT_EQ(Run({u"--json", u"dump", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"{\"leading\":[\"; lead\"],\"sections\":[{\"name\":\"S\\tT\",\"lines\":[\"k=a\\rb\\tc\\ud800\\\"\\\\"
                     u"\u00E4\U0001F600\",\"no equals\"]}]}\n");
  EXPECT_EQ(Run({u"--json", u"set", u"FILE", u"S", u"k", u"v"}), 2);
}

TEST_F(IniTool, LineBreaksAndKeySyntaxAreRefused) {
  const std::string original = "[A]\r\nx=1\r\n";
  WriteBytes(dir.NativeFile("t.ini"), original);
  // The reproducer: a value that would add a section.
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"x", u"1\r\n[Evil]\r\ninjected=1"}), 2);
  EXPECT_NE(out.err.find(u"line break"), String::npos);
  for (const char16_t* bad : {u"a\nb", u"a\rb", u"a\u2028b", u"a\u0085b", u"a\vb", u"a\fb", u"a\u2029b"}) {
    EXPECT_EQ(Run({u"set", u"FILE", u"A", u"x", bad}), 2);
    EXPECT_EQ(Run({u"set", u"FILE", bad, u"x", u"1"}), 2);
    EXPECT_EQ(Run({u"set", u"FILE", u"A", bad, u"1"}), 2);
    EXPECT_EQ(Run({u"rename-section", u"FILE", u"A", bad}), 2);
  }
  EXPECT_EQ(Run({u"set", u"FILE", u"A", String(u"a\0b", 3), u"1"}), 2);
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"k=v", u"1"}), 2);
  EXPECT_NE(out.err.find(u"\"=\""), String::npos);
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"[B]x", u"]"}), 2);
  EXPECT_EQ(Run({u"rename-key", u"FILE", u"A", u"x", u"y=z"}), 2);
  EXPECT_EQ(Bytes(), original);
  // Tabs, "=" in values and brackets elsewhere are ordinary.
  EXPECT_EQ(Run({u"set", u"FILE", u"A", u"k]", u"[=\t]"}), 0);
  EXPECT_EQ(Run({u"get", u"FILE", u"A", u"k]"}), 0);
  EXPECT_EQ(out.out, u"[=\t]\n");
}

TEST_F(IniTool, WritesThatWouldLoseWhatTheFileHoldsAreRefusedUnlessForced) {
  struct Case {
    const char* name;
    std::string bytes;
    const char16_t* reason;
    bool forceUtf8;
  };
  const Case cases[] = {
      {"binary", std::string("MZ\x90\0\x03\0\0\0\x04\0\n\xff\xff\0\0", 15), u"zero byte", false},
      {"latin1", "[S]\nk=caf\xe9\n", u"not valid UTF-8", true},
      {"bad-utf8-bom", "\xEF\xBB\xBF[S]\nk=\xC3\n", u"not valid UTF-8", false},
      {"utf16-zero", kvtest::Utf16Le(std::u16string(u"[S]\r\nk=a\0b\r\n", 12)), u"zero character", false},
      {"utf16-odd", kvtest::Utf16Le(u"[S]\r\nk=v\r\n") + "x", u"half a UTF-16 character", false},
      {"twice", "[S]\nk=1\n[s]\nlost=2\n", u"appears more than once", false},
      {"empty-section", "[S]\nk=1\n[Empty]\n", u"[Empty] has no lines", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.NativeFile("t.ini"), c.bytes);
    std::vector<String> args = {u"set", u"FILE", u"New", u"key", u"value"};
    if (c.forceUtf8) args.insert(args.begin(), u"--force-utf8");
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(out.err.find(c.reason), String::npos) << ToUtf8(out.err);
    EXPECT_NE(out.err.find(u"--force"), String::npos);
    EXPECT_EQ(Bytes(), c.bytes);
    args.insert(args.begin(), u"--force");
    EXPECT_EQ(Run(args), 0) << ToUtf8(out.err);
    EXPECT_NE(Bytes(), c.bytes);
  }
  // What a write keeps is no reason to refuse: a file without sections, a
  // UTF-8 file read as ANSI, lone CRs, a rewrite of an empty section.
  WriteBytes(dir.NativeFile("t.ini"), "no sections \xC3\xA4 here\nx\ry\n[Empty]\n");
  EXPECT_EQ(Run({u"set", u"FILE", u"Empty", u"k", u"v"}), 0) << ToUtf8(out.err);
  EXPECT_EQ(Bytes(), "no sections \xC3\xA4 here\r\nx\ry\r\n[Empty]\r\nk=v\r\n\r\n");
  // An unchanged document is not written, so nothing is refused.
  WriteBytes(dir.NativeFile("t.ini"), std::string("[S]\nk=v\0\n", 9));
  EXPECT_EQ(Run({u"set", u"FILE", u"S", u"k", u"v"}), 0);
}

TEST_F(IniTool, RecodeWorksWithBareFileNamesAndNeverThroughAFixedName) {
  WriteBytes(dir.NativeFile("settings.ini"), "[S]\r\nk=\xE4\r\n");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Native());
  const int toOther = initool::Run({u"recode", u"settings.ini", u"utf16", u"out.ini"}, out);
  const int inPlace = initool::Run({u"recode", u"settings.ini", u"utf8"}, out);
  std::filesystem::current_path(cwd);
  EXPECT_EQ(inPlace, 0) << ToUtf8(out.err);
  EXPECT_EQ(toOther, 0) << ToUtf8(out.err);
  EXPECT_EQ(ReadBytes(dir.NativeFile("settings.ini")), "[S]\r\nk=\xC3\xA4\r\n");
  EXPECT_EQ(ReadBytes(dir.NativeFile("out.ini")), kvtest::Utf16Le(u"[S]\r\nk=\u00E4\r\n"));
  // An unpaired surrogate has no UTF-8 form: refused.
  WriteBytes(dir.NativeFile("t.ini"), kvtest::Utf16Le(u"[S]\r\nk=\xDC00\r\n"));
  EXPECT_EQ(Run({u"recode", u"FILE", u"utf8"}), 1);
  EXPECT_EQ(Bytes(), kvtest::Utf16Le(u"[S]\r\nk=\xDC00\r\n"));
}

TEST_F(IniTool, MessagesNameTheCause) {
  EXPECT_EQ(Run({u"set", dir.Path(), u"S", u"k", u"v"}), 1);
  EXPECT_NE(out.err.find(u"is a directory"), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Run({u"get", dir.Path(), u"S", u"k", u"d"}), 1);
  EXPECT_NE(out.err.find(u"is a directory"), String::npos);
  // A file another program holds: the reason, after the time allowed.
  WriteBytes(dir.NativeFile("t.ini"), "[S]\r\nk=1\r\n");
  platform::FileHandle holder;
  ASSERT_TRUE(holder.Open(dir.File("t.ini"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                          platform::FileDisposition::OpenExisting));
  const String held = platform::SysErrorMessage(platform::kErrorSharingViolation);
  EXPECT_EQ(Run({u"--wait=0", u"get", u"FILE", u"S", u"k"}), 1);
  EXPECT_NE(out.err.find(held), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Run({u"--wait=0", u"set", u"FILE", u"S", u"k", u"2"}), 1);
  EXPECT_NE(out.err.find(held), String::npos) << ToUtf8(out.err);
  holder.Close();
  // Another kvini changing the file: its lock file is named.
  platform::FileLock lock;
  ASSERT_TRUE(lock.Acquire(dir.File("t.ini"), 0));
  EXPECT_EQ(Run({u"--wait=0", u"set", u"FILE", u"S", u"k", u"2"}), 1);
  EXPECT_NE(out.err.find(u"t.ini.lock"), String::npos) << ToUtf8(out.err);
  // Reading does not wait for it: the file is replaced in one step.
  EXPECT_EQ(Run({u"--wait=0", u"get", u"FILE", u"S", u"k"}), 0);
  lock.Release();
  EXPECT_EQ(Run({u"--wait=0", u"set", u"FILE", u"S", u"k", u"2"}), 0);
  EXPECT_EQ(Run({u"--wait=x", u"get", u"FILE", u"S", u"k"}), 2);
  EXPECT_EQ(Run({u"--force", u"get", u"FILE", u"S", u"k"}), 2);
}

TEST_F(IniTool, AReadErrorInTheMiddleWritesNothing) {
  // Larger than one read of the file stream, so that the second read fails.
  std::string bytes = "[S]\r\n";
  for (int i = 0; bytes.size() < 200 * 1024; ++i) bytes += "key" + std::to_string(i) + "=value\r\n";
  WriteBytes(dir.NativeFile("t.ini"), bytes);
  platform::InjectFileFault(platform::FileFault::Read, 2, platform::kErrorDiskFull);
  EXPECT_EQ(Run({u"set", u"FILE", u"S", u"new", u"1"}), 1);
  platform::InjectFileFault(platform::FileFault::Read, 0, 0);
  EXPECT_NE(out.err.find(u"t.ini"), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Bytes(), bytes);
}

// Temporary files of a killed writer are recognised by their names and by
// nobody holding them, and removed by the next write; a file in use stays,
// and so does anything else.
TEST_F(IniTool, StaleTemporaryFilesAreRemovedByTheNextWrite) {
  WriteBytes(dir.NativeFile("t.ini"), "[S]\r\nk=1\r\n");
#ifdef _WIN32
  const std::string stale = "t.ini.99999-1.tmp", held = "t.ini.99999-2.tmp", other = "t.ini.backup.tmp";
#else
  const std::string stale = ".t.ini.99999-1.tmp", held = ".t.ini.99999-2.tmp", other = ".t.ini.backup.tmp";
#endif
  for (const auto& name : {stale, held, other}) WriteBytes(dir.NativeFile(name), std::string(1000, 'x'));
  platform::FileHandle inUse;
  ASSERT_TRUE(inUse.Open(dir.File(held), platform::FileAccess::ReadWrite, platform::FileShare::None,
                         platform::FileDisposition::OpenExisting));
  ASSERT_EQ(Run({u"set", u"FILE", u"S", u"k", u"2"}), 0) << ToUtf8(out.err);
  EXPECT_FALSE(std::filesystem::exists(dir.NativeFile(stale)));
  EXPECT_TRUE(std::filesystem::exists(dir.NativeFile(held)));
  EXPECT_TRUE(std::filesystem::exists(dir.NativeFile(other)));
  EXPECT_EQ(Bytes(), "[S]\r\nk=2\r\n\r\n");
}

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "ini/KVBigIni.h"

extern char** environ;

// Writing where it must not: pipes, sockets and devices are refused, and
// none of them makes a command wait.
TEST_F(IniTool, OnlyRegularFilesAreReplacedAndPipesNeverWaitedFor) {
  ::alarm(60);  // a command that waits for a pipe's writer would hang: end the test instead
  const std::string fifo = dir.NativeFile("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(Run({u"set", dir.File("fifo.ini"), u"S", u"k", u"v"}), 1);
  EXPECT_NE(out.err.find(u"Not a regular file"), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Run({u"get", dir.File("fifo.ini"), u"S", u"k", u"d"}), 1);
  EXPECT_EQ(Run({u"recode", dir.File("fifo.ini"), u"utf8"}), 1);
  // The launcher's reading of Autorun.inf: an error, not a hang.
  EXPECT_THROW(TBigIniFile(dir.File("fifo.ini")), EFOpenError);
  struct stat st;
  EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

  const std::string sock = dir.NativeFile("sock.ini");
  int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(Run({u"set", dir.File("sock.ini"), u"S", u"k", u"v"}), 1);
  EXPECT_TRUE(::stat(sock.c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
  ::close(s);

  // A device node of its own (the null device), where the system allows making one.
  const std::string dev = dir.NativeFile("null.ini");
  if (::mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(Run({u"set", dir.File("null.ini"), u"S", u"k", u"v"}), 1);
    EXPECT_NE(out.err.find(u"Not a regular file"), String::npos) << ToUtf8(out.err);
    EXPECT_TRUE(::stat(dev.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
  }
  ::alarm(0);
}

// A file the caller may not write is not replaced, even where the folder
// lets everybody create files and the owner may write it.
TEST_F(IniTool, TheCallersOwnRightToWriteCounts) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(dir.Native().c_str(), 0777), 0);
  const std::string original = "[S]\r\nk=root's\r\n";
  WriteBytes(dir.NativeFile("t.ini"), original);
  ASSERT_EQ(::chmod(dir.NativeFile("t.ini").c_str(), 0644), 0);
  const String file = dir.File("t.ini");
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    initool::Output o;
    ::_exit(initool::Run({u"set", file, u"S", u"k", u"nobody's"}, o));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(Bytes(), original);
  EXPECT_EQ(std::filesystem::directory_iterator(dir.Native())->path().filename(), "t.ini");
}

// Temporary files are made exclusively: a link an attacker put in their
// place is never written through.
TEST_F(IniTool, TemporaryFilesNeverFollowLinks) {
  WriteBytes(dir.NativeFile("victim"), "precious");
  WriteBytes(dir.NativeFile("t.ini"), "[S]\r\nk=1\r\n");
  // The name recode once used, and the names this process would use next.
  ::symlink(dir.NativeFile("victim").c_str(), dir.NativeFile("t.ini.kvini-recode.tmp").c_str());
  for (int n = 1; n <= 60; ++n) {
    const std::string name = ".t.ini." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp";
    ::symlink(dir.NativeFile("victim").c_str(), dir.NativeFile(name).c_str());
  }
  ASSERT_EQ(Run({u"recode", u"FILE", u"utf16"}), 0) << ToUtf8(out.err);
  ASSERT_EQ(Run({u"set", u"FILE", u"S", u"k", u"2"}), 0) << ToUtf8(out.err);
  EXPECT_EQ(ReadBytes(dir.NativeFile("victim")), "precious");
  EXPECT_EQ(Bytes(), kvtest::Utf16Le(u"[S]\r\nk=2\r\n\r\n"));
}

// A dangling link is written through: the file it names is made.
TEST_F(IniTool, ADanglingLinkIsWrittenThrough) {
  std::filesystem::create_directory(dir.NativeFile("real"));
  ASSERT_EQ(::symlink("real/target.ini", dir.NativeFile("t.ini").c_str()), 0);
  ASSERT_EQ(Run({u"set", u"FILE", u"S", u"k", u"v"}), 0) << ToUtf8(out.err);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.NativeFile("t.ini")));
  EXPECT_EQ(ReadBytes(dir.NativeFile("real/target.ini")), "[S]\r\nk=v\r\n\r\n");
  ASSERT_EQ(Run({u"set", u"FILE", u"S", u"k", u"w"}), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.NativeFile("t.ini")));
  EXPECT_EQ(ReadBytes(dir.NativeFile("real/target.ini")), "[S]\r\nk=w\r\n\r\n");
}

// Arguments that are not UTF-8 are refused by the program before anything is
// done: decoded with replacement characters, the name matched another file.
TEST_F(IniTool, ArgumentsThatAreNotUtf8AreRefused) {
  const std::string other = dir.NativeFile("a\xe8.ini");
  WriteBytes(other, "[S]\r\nk=1\r\n");
  const std::string name = dir.NativeFile("a\xe9.ini");
  std::vector<std::string> args = {KV_KVINI_EXE, "set", name, "S", "k", "2"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, KV_KVINI_EXE, nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
  EXPECT_EQ(ReadBytes(other), "[S]\r\nk=1\r\n");
  EXPECT_FALSE(std::filesystem::exists(name));
  // Nor does the file layer's search ignoring letter case match through them.
  EXPECT_FALSE(platform::FileExists(dir.Path() + u"\\a\uFFFD.ini"));
  EXPECT_FALSE(platform::FileExists(dir.Path() + u"\\A\uFFFD.INI"));
}
#endif
