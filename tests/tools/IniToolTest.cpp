#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/CodePages.h"
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
  EXPECT_EQ(Run({u"get", u"FILE", u"AutoRun", u"key"}), 0);
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
  EXPECT_EQ(Bytes(), "[A]\r\nx=10\r\ny=2\r\n\r\n[B]\r\nz=3\r\n\r\n");
  EXPECT_EQ(Run({u"delete", u"FILE", u"A", u"y"}), 0);
  EXPECT_EQ(Run({u"rename-key", u"FILE", u"A", u"x", u"X"}), 0);
  EXPECT_EQ(Run({u"rename-section", u"FILE", u"B", u"Other"}), 0);
  EXPECT_EQ(Run({u"set", u"FILE", u"New", u"--", u"-k", u"--v"}), 0);  // "--" ends the options
  EXPECT_EQ(Bytes(), "[A]\r\nX=10\r\n\r\n[Other]\r\nz=3\r\n\r\n[New]\r\n-k=--v\r\n\r\n");
  EXPECT_EQ(Run({u"delete", u"FILE", u"new"}), 0);
  EXPECT_EQ(Run({u"sections", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"A\nOther\n");
  EXPECT_EQ(Run({u"keys", u"FILE", u"other"}), 0);
  EXPECT_EQ(out.out, u"z\n");
  EXPECT_EQ(Run({u"dump", u"FILE"}), 0);
  EXPECT_EQ(out.out, u"[A]\nX=10\n\n[Other]\nz=3\n\n");
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
  EXPECT_NE(out.err.find(u"Usage: kvini set"), String::npos);
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
