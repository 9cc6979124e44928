// kvreg against a key of its own: the real registry under Wine, a temporary
// store natively.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "TestUtil.h"
#include "platform/Registry.h"
#include "tools/kvreg/RegTool.h"

using namespace kv;

namespace {

class RegToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", store.Native());
#endif
    sub = u"Software\\KVRegTool-" + IntToStr(static_cast<std::int64_t>(std::random_device{}() & 0xFFFFFF));
    key = u"HKCU\\" + sub;
  }
  void TearDown() override {
    platform::RegDeleteKeyTree(platform::kHiveCurrentUser, sub);
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", "");
#endif
  }
  int Run(std::vector<String> args) {
    out = {};
    return regtool::Run(args, out);
  }
  kvtest::TempDir store;
  String sub, key;
  regtool::Output out;
};

}  // namespace

TEST_F(RegToolTest, AddQueryDelete) {
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Active", u"/d", u"1"}), 0);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Level", u"/t", u"reg_dword", u"/d", u"0x1F"}), 0);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Big", u"/t", u"REG_QWORD", u"/d", u"4294967296"}), 0);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Bytes", u"/t", u"REG_BINARY", u"/d", u"00ff10"}), 0);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"List", u"/t", u"REG_MULTI_SZ", u"/d", u"a\\0b"}), 0);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/ve", u"/t", u"REG_EXPAND_SZ", u"/d", u"%TEMP%"}), 0);
  EXPECT_EQ(Run({u"query", key + u"\\DebugLog"}), 0);
  const String full = u"HKEY_CURRENT_USER\\" + sub + u"\\DebugLog";
  for (const String line : {u"    Active    REG_SZ    1\n", u"    Level    REG_DWORD    0x1f\n",
                            u"    Big    REG_QWORD    0x100000000\n", u"    Bytes    REG_BINARY    00FF10\n",
                            u"    List    REG_MULTI_SZ    a\\0b\n", u"    (Default)    REG_EXPAND_SZ    %TEMP%\n"})
    EXPECT_NE(out.out.find(line), String::npos) << ToUtf8(line) << "\nin\n" << ToUtf8(out.out);
  EXPECT_EQ(out.out.find(full), 1u);

  // Names are matched ignoring case; values are shown as stored.
  EXPECT_EQ(Run({u"query", key + u"\\debuglog", u"/v", u"ACTIVE"}), 0);
  EXPECT_EQ(out.out, u"\nHKEY_CURRENT_USER\\" + sub + u"\\debuglog\n    Active    REG_SZ    1\n");
  EXPECT_EQ(Run({u"query", key, u"/s"}), 0);
  EXPECT_NE(out.out.find(u"Active"), String::npos);

  // A value is replaced only with /f; nothing is deleted without it.
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Active", u"/d", u"0"}), 1);
  EXPECT_NE(out.err.find(u"/f"), String::npos);
  EXPECT_EQ(Run({u"add", key + u"\\DebugLog", u"/v", u"Active", u"/d", u"0", u"/f"}), 0);
  EXPECT_EQ(Run({u"delete", key + u"\\DebugLog", u"/v", u"Active"}), 2);
  EXPECT_EQ(Run({u"delete", key + u"\\DebugLog", u"/v", u"Active", u"/f"}), 0);
  EXPECT_EQ(Run({u"query", key + u"\\DebugLog", u"/v", u"Active"}), 1);
  EXPECT_EQ(Run({u"delete", key + u"\\DebugLog", u"/va", u"/f"}), 0);
  EXPECT_EQ(Run({u"query", key + u"\\DebugLog"}), 0);
  EXPECT_EQ(out.out, u"\n" + full + u"\n");
  EXPECT_EQ(Run({u"delete", key + u"\\DebugLog", u"/f"}), 0);
  EXPECT_EQ(Run({u"query", key + u"\\DebugLog"}), 1);
  EXPECT_NE(out.err.find(full), String::npos);
}

TEST_F(RegToolTest, AddingAKeyKeepsItsDefaultValue) {
  ASSERT_EQ(Run({u"add", key, u"/ve", u"/d", u"kept"}), 0);
  ASSERT_EQ(Run({u"add", key}), 0);
  ASSERT_EQ(Run({u"add", key + u"\\Child\\Grandchild"}), 0);
  EXPECT_EQ(Run({u"query", key, u"/ve"}), 0);
  EXPECT_NE(out.out.find(u"(Default)    REG_SZ    kept"), String::npos);
}

TEST_F(RegToolTest, BadInputChangesNothing) {
  EXPECT_EQ(Run({u"add", u"HKXX\\Software", u"/v", u"x"}), 2);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/t", u"REG_DWORD", u"/d", u"4294967296"}), 1);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/t", u"REG_DWORD", u"/d", u"12ab"}), 1);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/t", u"REG_BINARY", u"/d", u"abc"}), 1);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/t", u"REG_WHATEVER"}), 2);
  EXPECT_EQ(Run({u"add", key, u"/v"}), 2);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/t", u"REG_MULTI_SZ", u"/d", u"a,b", u"/s", u""}), 2);
  EXPECT_EQ(Run({u"query", key}), 1);  // none of these created the key
  EXPECT_EQ(Run({u"delete", u"HKCU", u"/f"}), 2);
  EXPECT_EQ(Run({u"frobnicate", key}), 2);
  EXPECT_EQ(Run({u"query"}), 2);
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({u"help"}), 0);
  EXPECT_NE(out.out.find(u"Usage: kvreg"), String::npos);
  EXPECT_EQ(Run({u"export", u"/?"}), 0);
  EXPECT_NE(out.out.find(u"Usage: kvreg export"), String::npos);
}

TEST_F(RegToolTest, ExportWritesARegFile) {
  ASSERT_EQ(Run({u"add", key + u"\\Sub", u"/v", u"Name", u"/d", u"Wert \u00E4"}), 0);
  ASSERT_EQ(Run({u"add", key, u"/v", u"N", u"/t", u"REG_DWORD", u"/d", u"7"}), 0);
  kvtest::TempDir dir;
  const String file = dir.File("out.reg");
  ASSERT_EQ(Run({u"export", key, file}), 0) << ToUtf8(out.err);
  const String full = u"HKEY_CURRENT_USER\\" + sub;
  const std::string expected = kvtest::Utf16Le(u"Windows Registry Editor Version 5.00\r\n\r\n[" + full +
                                               u"]\r\n\"N\"=dword:00000007\r\n\r\n[" + full +
                                               u"\\Sub]\r\n\"Name\"=\"Wert \u00E4\"\r\n\r\n");
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("out.reg")), expected);
  EXPECT_EQ(Run({u"export", key, file}), 1);  // exists: only with /y
  EXPECT_EQ(Run({u"export", key, file, u"/y"}), 0);
  EXPECT_EQ(Run({u"export", key + u"\\Missing", dir.File("missing.reg")}), 1);
}

TEST_F(RegToolTest, NamesWithLineBreaksAreRefusedAndTextsOfSeveralLinesKept) {
  EXPECT_EQ(Run({u"add", key + u"\\a\nb"}), 2);
  EXPECT_NE(out.err.find(u"line break"), String::npos);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x\r\n[HKEY_CURRENT_USER\\Evil]", u"/d", u"1"}), 2);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x\u2028"}), 2);
  EXPECT_EQ(Run({u"query", key}), 1);  // nothing was created
  ASSERT_EQ(Run({u"add", key, u"/v", u"Text", u"/d", u"one\r\ntwo\n[HKEY_CURRENT_USER\\Evil]"}), 0);
  EXPECT_EQ(Run({u"query", key, u"/v", u"text"}), 0);
  EXPECT_NE(out.out.find(u"Text    REG_SZ    one\r\ntwo\n[HKEY_CURRENT_USER\\Evil]\n"), String::npos) << ToUtf8(out.out);
  EXPECT_EQ(Run({u"query", u"HKCU\\Evil"}), 1);
  kvtest::TempDir dir;
  ASSERT_EQ(Run({u"export", key, dir.File("x.reg")}), 0) << ToUtf8(out.err);
  const std::string exported = kvtest::ReadBytes(dir.NativeFile("x.reg"));
  EXPECT_NE(exported.find(kvtest::Utf16Le(u"\"Text\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00", false)), std::string::npos);
}

TEST_F(RegToolTest, QueryAndExportGoThroughAllKeysDepthFirst) {
  for (const char16_t* k : {u"B\\B2", u"A\\A1\\A11", u"A\\A2", u"A!"}) ASSERT_EQ(Run({u"add", key + u"\\" + k}), 0);
  ASSERT_EQ(Run({u"query", key, u"/s"}), 0);
  const String full = u"HKEY_CURRENT_USER\\" + sub;
  String order;
  for (const String& k : {full, full + u"\\A", full + u"\\A\\A1", full + u"\\A\\A1\\A11", full + u"\\A\\A2",
                          full + u"\\A!", full + u"\\B", full + u"\\B\\B2"})
    order += u"\n" + k + u"\n";
  // Windows lists subkeys in its own order; the walk is depth first either way.
  EXPECT_EQ(out.out.size(), order.size());
  EXPECT_LT(out.out.find(full + u"\\A\\A1\\A11\n"), out.out.find(full + u"\\A\\A2\n"));
  EXPECT_LT(out.out.find(full + u"\\B\n"), out.out.find(full + u"\\B\\B2\n"));
}

#ifndef _WIN32
TEST_F(RegToolTest, MessagesNameTheHiveFileAndTheLine) {
  kvtest::WriteBytes(store.NativeFile("HKEY_CURRENT_USER.reg"),
                     "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\"v\"=what\r\n");
  EXPECT_EQ(Run({u"query", key}), 1);
  EXPECT_NE(out.err.find(u"HKEY_CURRENT_USER.reg: line 4"), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(Run({u"add", key, u"/v", u"x", u"/d", u"1"}), 1);
  EXPECT_NE(out.err.find(u"line 4"), String::npos) << ToUtf8(out.err);
  EXPECT_EQ(out.err.find(u"Invalid argument"), String::npos);
  std::filesystem::remove(store.NativeFile("HKEY_CURRENT_USER.reg"));
}
#endif
