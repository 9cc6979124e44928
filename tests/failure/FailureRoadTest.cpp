// The road of a failure in a real program built on the launcher's start-up:
// an exception in a message handler is logged, written to "RTSFail.log" with
// its stack and shown in the error dialog, and the program goes on; an
// exception outside the message handling ends in the last-resort message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "logging/KVLogging.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "system/KVRegistry.h"
#include "text/_4Files.h"

using namespace kv;
namespace fs = std::filesystem;

namespace {

struct Outcome {
  std::uint32_t ExitCode = 999;
  std::string Said;  // what the program wrote about its run
};

class FailureRoad : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", (dir.Native() + "/registry"));
    kvtest::SetEnv("XDG_DATA_HOME", (dir.Native() + "/data"));
    fs::create_directories(dir.Native() + "/data");
#endif
    fs::create_directories(dir.Native() + "/logs");
    WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"Active", u"1");
    WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"Type", u"tmlError");
    WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"Channels", u"lcApplication");
    WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"LogFolder", dir.File("logs"));
  }
  void TearDown() override {
    platform::RegDeleteKeyTree(platform::kHiveCurrentUser, kLogRegistryKey);
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", "");
    kvtest::SetEnv("XDG_DATA_HOME", "");
#endif
  }

  Outcome Run(const std::string& mode, bool headless, const std::string& program = KV_FAILURE_ROAD_EXE) {
    const std::string out = dir.NativeFile(mode + ".txt");
    platform::CreateProcessArgs args;
    args.applicationName = BuildPath(program);
    // The arguments; on Windows the command line starts with the program.
#ifdef _WIN32
    args.commandLine = u"\"" + args.applicationName + u"\" " + FromUtf8(mode) + u" \"" + kvtest::BuildPath(out) + u"\"";
#else
    args.commandLine = FromUtf8(mode) + u" \"" + FromUtf8(out) + u"\"";
#endif
    if (headless) args.commandLine += u" --headless";
    platform::Process p;
    Outcome o;
    EXPECT_TRUE(platform::StartProcess(args, &p));
    p.Wait();
    p.GetExitCode(&o.ExitCode);
    if (fs::exists(out)) o.Said = kvtest::ReadBytes(out);
    // Written in text mode: CR LF on Windows.
    o.Said.erase(std::remove(o.Said.begin(), o.Said.end(), '\r'), o.Said.end());
    return o;
  }
  static String BuildPath(const std::string& p) { return kvtest::BuildPath(p); }

  // The value after "key: " in what the program said.
  static std::string Said(const std::string& said, const std::string& key) {
    const std::size_t p = said.find(key + ": ");
    if (p == std::string::npos) return {};
    const std::size_t e = said.find('\n', p);
    return said.substr(p + key.size() + 2, e - p - key.size() - 2);
  }

  // The lines of a text file in any of the framework's codings.
  static std::vector<String> Lines(const String& file) {
    std::vector<String> lines;
    TUnicodeFileReader r(file, true);
    while (!r.Eof()) lines.push_back(r.ReadLine());
    return lines;
  }

  void ExpectTheWholeRoad(const Outcome& o) {
    EXPECT_EQ(o.ExitCode, 0u) << o.Said;
    // The error dialog was shown with the message, and the program went on.
    EXPECT_EQ(Said(o.Said, "dialog"), "Division\xC2\xA0" "by\xC2\xA0zero\xC2\xA0") << o.Said;
    EXPECT_NE(o.Said.find("form closed"), std::string::npos) << o.Said;

    // The failure log: its last block is this report.
    const String failureLog = FromUtf8(Said(o.Said, "failure log"));
    ASSERT_FALSE(failureLog.empty()) << o.Said;
    ASSERT_TRUE(FileExistsEx(failureLog)) << ToUtf8(failureLog);
    const std::vector<String> lines = Lines(failureLog);
    std::size_t start = String::npos;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
      if (lines[i + 1] == String(40, u'-')) start = i;
    ASSERT_NE(start, String::npos);
    ASSERT_GT(lines.size(), start + 8);
    EXPECT_EQ(lines[start].size(), 19u);  // yyyy-mm-dd hh:nn:ss
    EXPECT_EQ(lines[start + 2].size(), 16u);  // dd.mm.yyyy hh:nn
    const String program = lines[start + 3];
    EXPECT_NE(program.find(u"kv_failure_road"), String::npos) << ToUtf8(program);
    EXPECT_EQ(program.back(), u']');
    EXPECT_EQ(lines[start + 4], u"");
    EXPECT_EQ(lines[start + 5], u"Division by zero");
    EXPECT_EQ(lines[start + 6], u"");
    // The stack names the function that raised it, with its source file.
    ASSERT_LT(start + 7, lines.size());
    EXPECT_NE(lines[start + 7].find(u"RaiseDivisionByZero"), String::npos) << ToUtf8(lines[start + 7]);
    EXPECT_NE(lines[start + 7].find(u"FailureRoad.cpp"), String::npos) << ToUtf8(lines[start + 7]);
    bool sawHandler = false;
    std::size_t end = start + 7;
    for (; end < lines.size() && !lines[end].empty(); ++end)
      sawHandler = sawHandler || lines[end].find(u"HandleFailMessage") != String::npos;
    EXPECT_TRUE(sawHandler);
    EXPECT_EQ(end, lines.size() - 1);  // the block ends with one empty line

    // The diagnostic log has the [Error] entry with the report.
    std::string logged;
    for (const auto& e : fs::directory_iterator(dir.Native() + "/logs")) logged += kvtest::ReadBytes(e.path().string());
    const std::size_t error = logged.find("\t[Error]\t");
    ASSERT_NE(error, std::string::npos) << logged;
    EXPECT_NE(logged.find("Division by zero", error), std::string::npos) << logged;
  }

  kvtest::TempDir dir;
};

}  // namespace

TEST_F(FailureRoad, AnExceptionInAMessageHandlerIsReportedShownAndSurvived) {
  ExpectTheWholeRoad(Run("handler", true));
}

#ifdef _WIN32
// On real windows (run under Xvfb): the dialog is a real one, closed by a
// posted click.
TEST_F(FailureRoad, OnRealWindowsTheDialogIsARealOne) {
  if (!std::getenv("KV_REAL_WINDOWS")) GTEST_SKIP() << "needs a display (the xvfb run of this test)";
  ExpectTheWholeRoad(Run("handler", false));
}
#endif

TEST_F(FailureRoad, InsideTheDevelopmentEnvironmentNothingIsInstalled) {
  const std::string bds = dir.NativeFile("bds.exe");
  fs::copy_file(KV_FAILURE_ROAD_EXE, bds);
  const Outcome o = Run("handler", true, bds);
  EXPECT_EQ(o.ExitCode, 0u);
  // No dialog of the handler and no failure log; the application's own
  // handling shows the message.
  EXPECT_EQ(o.Said.find("dialog:"), std::string::npos) << o.Said;
  EXPECT_NE(o.Said.find("application showed: Division by zero"), std::string::npos) << o.Said;
  std::string logged;
  for (const auto& e : fs::directory_iterator(dir.Native() + "/logs")) logged += kvtest::ReadBytes(e.path().string());
  EXPECT_EQ(logged.find("[Error]"), std::string::npos);
}

TEST_F(FailureRoad, AnExceptionOutsideTheMessageHandlingEndsInTheLastResort) {
  const Outcome launch = Run("launch", true);
  EXPECT_EQ(launch.ExitCode, 1u);
  const Outcome startup = Run("startup", true);
  EXPECT_EQ(startup.ExitCode, 1u);
  EXPECT_EQ(startup.Said.find("failure log"), std::string::npos);  // the work never began
}
