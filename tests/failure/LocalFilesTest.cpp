// The user's personal and local folders and the Windows version check.
#include <gtest/gtest.h>

#include <random>

#include "TestUtil.h"
#include "failure/KVLocalFilesLocation.h"
#include "platform/Files.h"
#include "system/KVRegistry.h"
#include "text/_4Files.h"

using namespace kv;
using platform::kHiveCurrentUser;

namespace {

constexpr StringView kShellFolders = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr StringView kUserShellFolders = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Natively the registry is a temporary store; under Wine the prefix's own,
// whose values the tests put back.
class LocalFolders : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", store.Native());
#endif
    PersonalDirOverride.clear();
    UseMachineRegistry = false;
  }
  void TearDown() override {
    PersonalDirOverride.clear();
    platform::RegDeleteKeyTree(kHiveCurrentUser, kPersonalDirKey);
#ifndef _WIN32
    kvtest::SetEnv("KV_REGISTRY_DIR", "");
#endif
  }
  kvtest::TempDir store;
};

}  // namespace

TEST_F(LocalFolders, LocalFilesGoToTheShellsFoldersUnlessARuleSaysOtherwise) {
  const String appData = GetSpecialFolderPath(28, false);
  ASSERT_FALSE(appData.empty());
  EXPECT_EQ(GetLocalFilesFolder(u"D", cAPPDATA), appData);
  EXPECT_EQ(GetLocalFilesFolderFor(u"C:\\Programme\\Viewer.exe", u"D", cMyDocuments),
            ExcludeTrailingSlashes(GetSpecialFolderPath(5, false), false));
  EXPECT_EQ(LocalPathLocations[cAPPDATA].SaveValue, u"APPDATA");
  EXPECT_EQ(LocalPathLocations[cMyDocuments].SaveValue, u"MyDocuments");

  // Lbx.exe, in any letter case, takes the sibling program's folder when it
  // has one, for both locations; an empty one gives the default.
  EXPECT_EQ(GetLocalFilesFolderFor(u"C:\\Programme\\LBX.EXE", u"D", cAPPDATA), appData);  // no value yet
  WriteRegistryString(kHiveCurrentUser, kPersonalDirKey, kPersonalDirValue, u"E:\\Daten\\Viewer");
  for (const char16_t* name : {u"C:\\x\\Lbx.exe", u"lbx.EXE", u"\\\\srv\\share\\lBx.exe"}) {
    EXPECT_EQ(GetLocalFilesFolderFor(name, u"D", cAPPDATA), u"E:\\Daten\\Viewer") << ToUtf8(name);
    EXPECT_EQ(GetLocalFilesFolderFor(name, u"D", cMyDocuments), u"E:\\Daten\\Viewer");
  }
  EXPECT_EQ(GetLocalFilesFolderFor(u"C:\\x\\Lbx2.exe", u"D", cAPPDATA), appData);
  WriteRegistryString(kHiveCurrentUser, kPersonalDirKey, kPersonalDirValue, u"");
  EXPECT_EQ(GetLocalFilesFolderFor(u"C:\\x\\Lbx.exe", u"D", cAPPDATA), u"D");

  // The override wins over everything: a file's folder, or a folder given
  // with its trailing backslash, without it.
  PersonalDirOverride = u"F:\\Eigene\\Dateien\\settings.ini";
  EXPECT_EQ(GetLocalFilesFolderFor(u"C:\\x\\Lbx.exe", u"D", cAPPDATA), u"F:\\Eigene\\Dateien");
  PersonalDirOverride = u"F:\\Eigene\\Dateien\\";
  EXPECT_EQ(GetLocalFilesFolder(u"D", cMyDocuments), u"F:\\Eigene\\Dateien");
  PersonalDirOverride = u"G:";
  EXPECT_EQ(GetLocalFilesFolder(u"D", cMyDocuments), u"G:");
  PersonalDirOverride = u"nur-ein-name";
  EXPECT_EQ(GetLocalFilesFolder(u"D", cMyDocuments), u"D");
}

TEST_F(LocalFolders, ThePersonalFolderFromTheShellOrTheRegistry) {
  const String personal = GetPersonalFolder();
  EXPECT_FALSE(personal.empty());
  EXPECT_NE(personal.back(), u'\\');
#ifndef _WIN32
  // Nothing recorded: the drive of the name, a backslash and "Personal".
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"C:\\Arbeit\\x.txt"), u"C:\\Personal");
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"\\\\srv\\freigabe\\x"), u"\\\\srv\\freigabe\\Personal");
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"relativ"), u"Personal");
  // The shell's value as stored, not expanded; an empty one sends the
  // reading on to "User Shell Folders".
  WriteRegistryString(kHiveCurrentUser, kShellFolders, u"Personal", u"%USERPROFILE%\\Dokumente");
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"C:\\x"), u"%USERPROFILE%\\Dokumente");
  WriteRegistryString(kHiveCurrentUser, kShellFolders, u"Personal", u"");
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"C:\\x"), u"C:\\Personal");
  WriteRegistryString(kHiveCurrentUser, kUserShellFolders, u"Personal", u"D:\\Meine");
  EXPECT_EQ(GetPersonalFolderFromRegistry(u"C:\\x"), u"D:\\Meine");
#else
  EXPECT_FALSE(GetPersonalFolderFromRegistry(u"C:\\x").empty());
#endif
}

TEST(WindowsVersionCheck, OlderThanWindows7EndsTheProgramAfterAMessage) {
  for (auto [major, minor, refused] : {std::tuple{6u, 0u, true}, std::tuple{5u, 1u, true}, std::tuple{6u, 1u, false},
                                       std::tuple{6u, 3u, false}, std::tuple{10u, 0u, false}}) {
    String text, caption;
    int exitCode = -1;
    CheckWindowsVersionWith(
        {major, minor, 0}, [&](const String& t, const String& c) { text = t, caption = c; },
        [&](int code) { exitCode = code; });
    EXPECT_EQ(exitCode, refused ? 0 : -1) << major << "." << minor;
    if (refused) {
      EXPECT_EQ(caption, u"Orvalis Nexora");
      EXPECT_EQ(text, u"You need a newer Version of the Windows Operation System\r\nto run Orvalis Nexora");
    }
  }
  // The running system passes (Linux always does).
  CheckWindowsVersion();
}
