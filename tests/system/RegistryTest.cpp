#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TestUtil.h"
#include "platform/Files.h"
#include "system/KVRegistry.h"
#include "system/kvInstRegistry.h"

using namespace kv;
using platform::kHiveCurrentUser;

namespace {

// A key of its own below HKEY_CURRENT_USER, removed afterwards; on Linux in a
// temporary store.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    ::setenv("KV_REGISTRY_DIR", store.Native().c_str(), 1);
#endif
    base = u"Software\\KVTest-" + IntToStr(static_cast<std::int64_t>(std::random_device{}() & 0xFFFFFF));
  }
  void TearDown() override {
    platform::RegDeleteKeyTree(kHiveCurrentUser, base);
#ifndef _WIN32
    ::unsetenv("KV_REGISTRY_DIR");
#endif
  }
  void SetRaw(const String& key, const String& name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    platform::RegHandle h = 0;
    ASSERT_EQ(platform::RegCreate(kHiveCurrentUser, key, platform::kKeyAllAccess, &h), 0u);
    ASSERT_EQ(platform::RegSet(h, name, type, data.data(), data.size()), 0u);
    platform::RegClose(h);
  }
  kvtest::TempDir store;
  String base;
};

}  // namespace

TEST_F(Registry, TextIntegerAndBooleanValues) {
  String key = base + u"\\Viewer\\DebugLog";
  WriteRegistryString(kHiveCurrentUser, key, u"Text", u"h\u00E4llo");
  WriteRegistryInteger(kHiveCurrentUser, u"\\" + key, u"Int", -12);
  WriteRegistryBool(kHiveCurrentUser, key, u"Flag", true);
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"text"), u"h\u00E4llo");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"Int"), u"-12");
  EXPECT_EQ(ReadRegistryIntegerDef(kHiveCurrentUser, key, u"INT", 0), -12);
  EXPECT_TRUE(ReadRegistryBoolDef(kHiveCurrentUser, key, u"Flag", false));
  for (const char16_t* t : {u"1", u"2", u"-1"}) {
    WriteRegistryString(kHiveCurrentUser, key, u"B", t);
    EXPECT_TRUE(ReadRegistryBoolDef(kHiveCurrentUser, key, u"B", false)) << ToUtf8(t);
  }
  WriteRegistryString(kHiveCurrentUser, key, u"B", u"0");
  EXPECT_FALSE(ReadRegistryBoolDef(kHiveCurrentUser, key, u"B", true));
  WriteRegistryString(kHiveCurrentUser, key, u"B", u"yes");
  EXPECT_TRUE(ReadRegistryBoolDef(kHiveCurrentUser, key, u"B", true));
  EXPECT_FALSE(ReadRegistryBoolDef(kHiveCurrentUser, key, u"Missing", false));
  WriteRegistryString(kHiveCurrentUser, key, u"Hex", u"$10");
  EXPECT_EQ(ReadRegistryIntegerDef(kHiveCurrentUser, key, u"Hex", 7), 7);
  EXPECT_EQ(ReadRegistryStringDef(kHiveCurrentUser, key, u"Missing", u"dflt"), u"dflt");
  EXPECT_TRUE(RegistryKeyExists(kHiveCurrentUser, base + u"\\Viewer"));
}

TEST_F(Registry, TypeRulesAndTheTrailingZero) {
  String key = base + u"\\Types";
  SetRaw(key, u"Dword", platform::kRegDword, {1, 0, 0, 0});
  SetRaw(key, u"NoZero", platform::kRegSz, {u'a', 0, u'b', 0});
  SetRaw(key, u"Zero", platform::kRegSz, {u'a', 0, u'b', 0, 0, 0});
  SetRaw(key, u"Expand", platform::kRegExpandSz, platform::RegTextData(u"%TEMP%\\x"));
  EXPECT_THROW(ReadRegistryString(kHiveCurrentUser, key, u"Dword"), ERegistryException);
  EXPECT_EQ(ReadRegistryStringDef(kHiveCurrentUser, key, u"Dword", u"d"), u"d");
  EXPECT_EQ(ReadRegistryIntegerDef(kHiveCurrentUser, key, u"Dword", 5), 5);
  EXPECT_TRUE(RegistryValueExists(kHiveCurrentUser, key, u"Dword"));
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"NoZero"), u"ab");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"Zero"), u"ab");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"Expand"), u"%TEMP%\\x");
}

TEST_F(Registry, ErrorTextsAndBackslashes) {
  String key = base + u"\\E";
  try {
    ReadRegistryString(kHiveCurrentUser, key, u"Name");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), u"Unable to open key \"" + key + u"\\Name\" for read");
  }
  try {
    DeleteRegistryValue(kHiveCurrentUser, key, u"Name");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), u"Unable to open key \"" + key + u"\\Name\" for write");
  }
  WriteRegistryString(kHiveCurrentUser, key, u"Name", u"v");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, u"\\" + key, u"Name"), u"v");
  EXPECT_FALSE(RegistryValueExists(kHiveCurrentUser, u"\\\\" + key, u"Name"));
  EXPECT_TRUE(DeleteRegistryValue(kHiveCurrentUser, key, u"Name"));
  EXPECT_THROW(DeleteRegistryValue(kHiveCurrentUser, key, u"Name"), ERegistryException);
  EXPECT_FALSE(RegistryValueExists(kHiveCurrentUser, key, u"Name"));
}

TEST_F(Registry, WritingKeepsAnExistingDefaultValue) {
  String key = base + u"\\Default";
  SetRaw(key, u"", platform::kRegSz, platform::RegTextData(u"keep me"));
  WriteRegistryString(kHiveCurrentUser, key, u"Other", u"x");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u""), u"keep me");
}

TEST_F(Registry, InstRegistryPathsAndHiveNumbers) {
  WriteRegistryString(kHiveCurrentUser, base + u"\\A\\B", u"V", u"deep");
  TKVInstRegistry reg;
  EXPECT_EQ(reg.RootKey(), kHiveCurrentUser);
  EXPECT_TRUE(reg.OpenKey(base, false));
  EXPECT_EQ(reg.CurrentPath(), base);
  EXPECT_TRUE(reg.KeyExists(u"A"));         // relative to the current key
  EXPECT_TRUE(reg.OpenKey(u"A\\B", false));
  EXPECT_EQ(reg.CurrentPath(), base + u"\\A\\B");
  EXPECT_EQ(reg.ReadString(u"V"), u"deep");
  EXPECT_FALSE(reg.OpenKey(u"Nope", false));
  EXPECT_EQ(reg.CurrentPath(), base + u"\\A\\B");  // unchanged on failure
  EXPECT_TRUE(reg.OpenKey(u"\\" + base + u"\\New", true));  // absolute, created
  EXPECT_EQ(reg.CurrentPath(), base + u"\\New");
  EXPECT_TRUE(RegistryKeyExists(kHiveCurrentUser, base + u"\\New"));
  EXPECT_EQ(ReadInstRegistryString(7, base + u"\\A\\B", u"V", u"d"), u"deep");  // 7: the default hive
  EXPECT_EQ(ReadInstRegistryString(2, base + u"\\A\\B", u"Missing", u"d"), u"d");
  EXPECT_EQ(ReadInstRegistryString(4, base + u"\\A\\B", u"V", u"d"), u"d");  // not in HKLM
}

TEST(RegistryWrappers, FormatCompareReplace) {
  EXPECT_EQ(FormatText(u"%s=%d (%5.2f) %x %-4s| %%", {String(u"k"), std::int64_t{42}, 3.14159, std::int64_t{255},
                                                        String(u"ab")}),
            u"k=42 ( 3.14) ff ab  | %");
  EXPECT_EQ(FormatText(u"%s %s %q", {String(u"only")}), u"only  %q");
  EXPECT_EQ(CompareStringsOrdinal(u"a", u"b"), -1);
  EXPECT_EQ(CompareStringsOrdinal(u"b", u"B"), 1);
  EXPECT_EQ(CompareStringsOrdinal(u"x", u"x"), 0);
  EXPECT_EQ(ReplaceString(u"aXbxc", u"x", u"-", rfReplaceAll), u"aXb-c");
  EXPECT_EQ(ReplaceString(u"aXbxc", u"x", u"-", rfReplaceAll | rfIgnoreCase), u"a-b-c");
  EXPECT_EQ(ReplaceString(u"aXbxc", u"x", u"-", rfIgnoreCase), u"a-bxc");
  EXPECT_EQ(DecodeUtf8(EncodeUtf8(u"\u00E4\U0001F600")), u"\u00E4\U0001F600");
}

TEST(RegText, FormatAndParseRoundTrip) {
  std::vector<platform::RegKeyRecord> keys = {
      {u"HKEY_CURRENT_USER\\Software\\X",
       {{u"", platform::kRegSz, platform::RegTextData(u"def")},
        {u"Quote\"Back\\", platform::kRegSz, platform::RegTextData(u"a\"b\\c")},
        {u"Num", platform::kRegDword, {0x0a, 0, 0, 0}},
        {u"Lines", platform::kRegSz, platform::RegTextData(u"one\r\ntwo")},
        {u"Q", platform::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"Bin", platform::kRegBinary, {0xde, 0xad}}}}};
  String text = platform::FormatRegText(keys);
  EXPECT_NE(text.find(u"\"Num\"=dword:0000000a"), String::npos);
  EXPECT_NE(text.find(u"\"Quote\\\"Back\\\\\"=\"a\\\"b\\\\c\""), String::npos);
  std::vector<platform::RegKeyRecord> back;
  String error;
  ASSERT_TRUE(platform::ParseRegText(text, &back, &error)) << ToUtf8(error);
  ASSERT_EQ(back.size(), 1u);
  ASSERT_EQ(back[0].Values.size(), keys[0].Values.size());
  for (size_t i = 0; i < back[0].Values.size(); ++i) {
    EXPECT_EQ(back[0].Values[i].Name, keys[0].Values[i].Name);
    EXPECT_EQ(back[0].Values[i].Type, keys[0].Values[i].Type);
    EXPECT_EQ(back[0].Values[i].Data, keys[0].Values[i].Data);
  }
  EXPECT_FALSE(platform::ParseRegText(u"junk\r\n", &back, &error));
  EXPECT_NE(error.find(u"line 1"), String::npos);
  EXPECT_FALSE(platform::ParseRegText(u"REGEDIT4\r\n[K]\r\n\"v\"=dword:xyz\r\n", &back, &error));
  EXPECT_NE(error.find(u"line 3"), String::npos);
}

#ifndef _WIN32
// Several processes changing one store at once: no update is lost.
TEST_F(Registry, ConcurrentWritersLoseNothing) {
  const int kProcs = 4, kValues = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = ::fork();
    if (pid == 0) {
      for (int v = 0; v < kValues; ++v)
        WriteRegistryInteger(kHiveCurrentUser, base, u"P" + IntToStr(p) + u"V" + IntToStr(v), v);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcs; ++p)
    for (int v = 0; v < kValues; ++v)
      EXPECT_EQ(ReadRegistryIntegerDef(kHiveCurrentUser, base, u"P" + IntToStr(p) + u"V" + IntToStr(v), -1), v);
  // The store is a readable .reg file.
  std::string file = kvtest::ReadBytes(store.NativeFile("HKEY_CURRENT_USER.reg"));
  EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00", 0), 0u);
}
#endif

TEST_F(Registry, SetNewWritesOnlyAMissingValue) {
  const String key = base + u"\\New";
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegCreate(kHiveCurrentUser, key, platform::kKeyAllAccess, &h), 0u);
  const auto first = platform::RegTextData(u"first"), second = platform::RegTextData(u"second");
  EXPECT_EQ(platform::RegSetNew(h, u"V", platform::kRegSz, first.data(), first.size()), 0u);
  EXPECT_EQ(platform::RegSetNew(h, u"v", platform::kRegSz, second.data(), second.size()), platform::kErrorFileExists);
  platform::RegClose(h);
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"V"), u"first");
}

TEST_F(Registry, TextsOfSeveralLinesAreKeptExactly) {
  const String key = base + u"\\Lines";
  const std::u16string lone(u"x\xD800y");
  SetRaw(key, u"Crlf", platform::kRegSz, platform::RegTextData(u"one\r\ntwo\n[HKEY_CURRENT_USER\\Evil]\r\n\"a\"=\"b\""));
  SetRaw(key, u"Lone", platform::kRegSz, platform::RegTextData(lone));
  SetRaw(key, u"Multi", platform::kRegMultiSz, platform::RegTextData(String(u"a\nb\0c\0", 6)));
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"Crlf"), u"one\r\ntwo\n[HKEY_CURRENT_USER\\Evil]\r\n\"a\"=\"b\"");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, key, u"Lone"), lone);
  EXPECT_FALSE(RegistryKeyExists(kHiveCurrentUser, u"Evil"));
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegOpen(kHiveCurrentUser, key, platform::kKeyRead, &h), 0u);
  EXPECT_EQ(platform::RegQuery(h, u"Multi", &type, &data), 0u);
  platform::RegClose(h);
  EXPECT_EQ(type, platform::kRegMultiSz);
  EXPECT_EQ(data, platform::RegTextData(String(u"a\nb\0c\0", 6)));
}

TEST(RegText, NamesThatAReregFileCannotHold) {
  EXPECT_TRUE(platform::IsStorableRegName(u"Software\\Tarnwick \u00E4\U0001F600 [x] \"q\" ="));
  for (const String bad : {String(u"a\nb"), String(u"a\rb"), String(u"a\u2028"), String(u"\u0085"), String(u"a\vb"),
                           String(u"a\0b", 3), String(u"a\xD800"), String(u"\xDC00z")})
    EXPECT_FALSE(platform::IsStorableRegName(bad)) << ToUtf8(bad);
}

#ifndef _WIN32
namespace {

// The store's hive file for HKEY_CURRENT_USER in the test's store.
class RegistryStore : public Registry {
 protected:
  std::string HiveFile() const { return store.NativeFile("HKEY_CURRENT_USER.reg"); }
  std::string Hive() const { return kvtest::ReadBytes(HiveFile()); }
  void Put(const std::string& text) { kvtest::WriteBytes(HiveFile(), text); }
  // No temporary file is left beside the hive.
  size_t FilesInStore() const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(store.Native()))
      if (e.path().extension() != ".lock") ++n;
    return n;
  }
};

}  // namespace

TEST_F(RegistryStore, AHiveThatDoesNotParseIsNeverWritten) {
  const std::string broken =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"x\"=\"1\"\r\n\"y\"=dword:zz\r\n";
  Put(broken);
  platform::RegHandle h = 0;
  EXPECT_EQ(platform::RegOpen(kHiveCurrentUser, u"Software\\A", platform::kKeyRead, &h), 1009u);
  EXPECT_NE(platform::RegErrorDetail().find(u"HKEY_CURRENT_USER.reg: line 5"), String::npos)
      << ToUtf8(platform::RegErrorDetail());
  EXPECT_THROW(WriteRegistryString(kHiveCurrentUser, base, u"v", u"1"), ERegistryException);
  EXPECT_EQ(platform::RegCreate(kHiveCurrentUser, u"Software\\B", platform::kKeyAllAccess, &h), 1009u);
  EXPECT_NE(platform::SysErrorMessage(1009), u"Invalid argument");
  EXPECT_EQ(Hive(), broken);
  // Bytes that are neither UTF-8 nor UTF-16 alike.
  Put("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\\xE9]\r\n");
  EXPECT_EQ(platform::RegCreate(kHiveCurrentUser, u"Software\\B", platform::kKeyAllAccess, &h), 1009u);
  EXPECT_EQ(Hive(), "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\\xE9]\r\n");
}

TEST_F(RegistryStore, FaultsInTheMiddleLeaveTheHiveAsItWas) {
  // A hive larger than one read, so that the read error strikes in the middle.
  std::string text = "Windows Registry Editor Version 5.00\r\n";
  for (int i = 0; i < 600; ++i)
    text += "\r\n[HKEY_CURRENT_USER\\" + ToUtf8(base) + "\\K" + std::to_string(i) + "]\r\n\"Value\"=\"" +
            std::string(200, 'x') + "\"\r\n";
  Put(text);
  const std::string before = Hive();
  ASSERT_GT(before.size(), 2u * 65536);
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegOpen(kHiveCurrentUser, base, platform::kKeyAllAccess, &h), 0u);
  const auto data = platform::RegTextData(u"new");
  // Reading: a read error is not the end of the hive.
  kvtest::WriteBytes(HiveFile(), before);  // a new file: not the cached copy
  platform::InjectFileFault(platform::FileFault::Read, 2, platform::kErrorDiskFull);
  EXPECT_NE(platform::RegSet(h, u"Added", platform::kRegSz, data.data(), data.size()), 0u);
  EXPECT_NE(platform::RegErrorDetail().find(u"cannot read"), String::npos) << ToUtf8(platform::RegErrorDetail());
  EXPECT_EQ(Hive(), before);
  // Writing, and renaming into place.
  for (platform::FileFault f : {platform::FileFault::Write, platform::FileFault::Replace}) {
    platform::InjectFileFault(f, 1, platform::kErrorDiskFull);
    EXPECT_EQ(platform::RegSet(h, u"Added", platform::kRegSz, data.data(), data.size()), platform::kErrorDiskFull);
    EXPECT_NE(platform::RegErrorDetail().find(u"HKEY_CURRENT_USER.reg"), String::npos);
    EXPECT_EQ(Hive(), before);
    EXPECT_EQ(FilesInStore(), 1u);
  }
  platform::InjectFileFault(platform::FileFault::Read, 0, 0);
  EXPECT_EQ(platform::RegSet(h, u"Added", platform::kRegSz, data.data(), data.size()), 0u);
  platform::RegClose(h);
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, base + u"\\K599", u"Value"), String(200, u'x'));
}

TEST_F(RegistryStore, KeysOfOtherHivesAreKeptAndShortNamesCount) {
  Put("Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKCU\\Software\\Short]\r\n\"x\"=\"1\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n\"y\"=\"2\"\r\n\r\n"
      "[HKEY_CURRENT_USERX\\Software\\Lookalike]\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\\\Doubled]\r\n\"z\"=\"3\"\r\n");
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, u"Software\\Short", u"x"), u"1");
  EXPECT_FALSE(RegistryKeyExists(kHiveCurrentUser, u"Software\\Lookalike"));
  WriteRegistryString(kHiveCurrentUser, base, u"v", u"1");
  const std::string after = Hive();
  for (const char* kept : {"[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n\"y\"=\"2\"",
                           "[HKEY_CURRENT_USERX\\Software\\Lookalike]",
                           "[HKEY_CURRENT_USER\\Software\\\\Doubled]\r\n\"z\"=\"3\"",
                           "[HKEY_CURRENT_USER\\Software\\Short]\r\n\"x\"=\"1\""})
    EXPECT_NE(after.find(kept), std::string::npos) << kept << "\nin\n" << after;
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, base, u"v"), u"1");
}

TEST_F(RegistryStore, NamesWithLineBreaksAreRefusedAndTheHiveStaysReadable) {
  platform::RegHandle h = 0;
  EXPECT_EQ(platform::RegCreate(kHiveCurrentUser, base + u"\\a\nb", platform::kKeyAllAccess, &h),
            161u);  // ERROR_BAD_PATHNAME
  ASSERT_EQ(platform::RegCreate(kHiveCurrentUser, base, platform::kKeyAllAccess, &h), 0u);
  const auto data = platform::RegTextData(u"v");
  EXPECT_EQ(platform::RegSet(h, u"x\r\n[HKEY_CURRENT_USER\\Evil]", platform::kRegSz, data.data(), data.size()),
            platform::kErrorInvalidParameter);
  EXPECT_EQ(platform::RegSetNew(h, u"x\ny", platform::kRegSz, data.data(), data.size()), platform::kErrorInvalidParameter);
  EXPECT_EQ(platform::RegSet(h, u"fine", platform::kRegSz, data.data(), data.size()), 0u);
  platform::RegClose(h);
  EXPECT_EQ(ReadRegistryString(kHiveCurrentUser, base, u"fine"), u"v");
  EXPECT_FALSE(RegistryKeyExists(kHiveCurrentUser, u"Evil"));
}

TEST_F(RegistryStore, SubkeysAreListedOnceEachWhateverTheirNames) {
  // Names that sort between a key and its own subkeys.
  for (const char16_t* k : {u"a", u"a!", u"a\\x", u"a\\x\\deep", u"a ", u"a]", u"a^", u"b", u"a!\\y"})
    WriteRegistryString(kHiveCurrentUser, base + u"\\" + k, u"v", u"1");
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegOpen(kHiveCurrentUser, base, platform::kKeyRead, &h), 0u);
  std::vector<String> names;
  ASSERT_EQ(platform::RegSubKeys(h, &names), 0u);
  platform::RegClose(h);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<String>{u"a", u"a ", u"a!", u"a]", u"a^", u"b"}));
  ASSERT_EQ(platform::RegOpen(kHiveCurrentUser, base + u"\\A", platform::kKeyRead, &h), 0u);
  ASSERT_EQ(platform::RegSubKeys(h, &names), 0u);
  platform::RegClose(h);
  EXPECT_EQ(names, (std::vector<String>{u"x"}));
  EXPECT_EQ(platform::RegDeleteKeyTree(kHiveCurrentUser, base + u"\\a"), 0u);
  EXPECT_FALSE(RegistryKeyExists(kHiveCurrentUser, base + u"\\a\\x\\deep"));
  EXPECT_TRUE(RegistryKeyExists(kHiveCurrentUser, base + u"\\a!\\y"));
}
#endif
