// File and folder functions: path texts, placeholders, scratch files, the
// temporary folder, walks, sorting by date, version texts, the failure log.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "TestUtil.h"
#include "platform/Files.h"
#include "text/_4Files.h"
#include "text/_4Sort.h"

using namespace kv;
using kvtest::TempDir;

namespace {

std::set<String> AsSet(const TStringList& l) {
  std::set<String> s;
  for (int i = 0; i < l.Count(); ++i) s.insert(l.Strings(i));
  return s;
}

String Data(const std::string& name) { return kvtest::BuildPath(std::string(KV_TEST_DATA_DIR) + "/" + name); }

class FileHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SortModule_Initialize();
    FileHelpers_Initialize();
  }
  void TearDown() override {
    kvtest::SetEnv("KVTemp", "");
    FileHelpers_Finalize();
  }
};

}  // namespace

TEST_F(FileHelpersTest, PathTexts) {
  EXPECT_EQ(ExcludeTrailingSlashes(u"C:\\dir\\/\\", false), u"C:\\dir");
  EXPECT_EQ(ExcludeTrailingSlashes(u"\\\\", false), u"");
  EXPECT_EQ(AddTrailingBackslash(u""), u"");
  EXPECT_EQ(AddTrailingBackslash(u"C:\\x"), u"C:\\x\\");
  EXPECT_EQ(AddTrailingBackslash(u"C:\\x\\"), u"C:\\x\\");
  EXPECT_EQ(ExtractFileNameWithoutExt(u"C:\\a.b\\c", false), u"C:\\a.b\\c");
  EXPECT_EQ(ExtractFileNameWithoutExt(u"C:\\a.b\\c.tar.gz", false), u"C:\\a.b\\c.tar");
  EXPECT_EQ(ExtractFileNameWithoutExt(u"C:\\a.b\\c.log", true), u"c");
  EXPECT_EQ(ExtractFileNameWithoutExt(u"D:name.txt", true), u"name");
  EXPECT_EQ(ReplaceInvalidFileNameChars(u"a:b[1]"), u"a_b_1_");
  EXPECT_EQ(ReplaceInvalidFileNameChars(u"x|y\"z\r\n*?<>/\\"), u"x_y_z________");
  EXPECT_EQ(ReplaceInvalidFileNameChars(u"\u00E4\uFF1A"), u"\u00E4\uFF1A");
  EXPECT_FALSE(GetApplicationExeName().empty());
  EXPECT_EQ(GetApplicationDir() + u"\\", ExtractPathUpToDelimiter(GetApplicationExeName(), u"\\"));
}

TEST_F(FileHelpersTest, EnvironmentPlaceholders) {
  kvtest::SetEnv("KVTESTDIR", "C:\\Temp");
  kvtest::SetEnv("KVTESTUSER", "anna");
  EXPECT_EQ(ExpandEnvironmentPlaceholders(u"%kvtestdir%\\%KvTestUser%\\x"), u"C:\\Temp\\anna\\x");
  EXPECT_EQ(ExpandEnvironmentPlaceholders(u"%KVTESTDIR%;%KVTESTDIR%"), u"C:\\Temp;C:\\Temp");
  EXPECT_EQ(ExpandEnvironmentPlaceholders(u"%KV_NO_SUCH_VARIABLE%"), u"%KV_NO_SUCH_VARIABLE%");
  EXPECT_EQ(ExpandEnvironmentPlaceholders(u"100%% %"), u"100%% %");
  EXPECT_EQ(ExcludeTrailingSlashes(u"%KVTESTDIR%\\", true), u"C:\\Temp");
  // A changed environment is seen by the next call.
  kvtest::SetEnv("KVTESTDIR", "D:\\Other");
  EXPECT_EQ(ExpandEnvironmentPlaceholders(u"%KVTESTDIR%"), u"D:\\Other");
  kvtest::SetEnv("KVTESTDIR", "");
  kvtest::SetEnv("KVTESTUSER", "");
}

TEST_F(FileHelpersTest, ScratchFilesAndWritableFolders) {
  TempDir dir;
  const String a = MakeUniqueFileName(dir.Path(), u".log");
  const String b = MakeUniqueFileName(dir.Path(), u"log");
  for (const String& n : {a, b}) {
    const String name = n.substr(dir.Path().size() + 1);
    ASSERT_EQ(name.size(), 16u);
    EXPECT_EQ(name.substr(12), u".log");
    EXPECT_TRUE(std::all_of(name.begin(), name.begin() + 12, [](char16_t c) { return c >= u'0' && c <= u'9'; }));
  }
  EXPECT_EQ(MakeUniqueFileName(dir.Path(), u"").size(), dir.Path().size() + 13);

  EXPECT_TRUE(CanCreateFileIn(dir.Path()));
  const String deeper = dir.File("new\\deeper");
  EXPECT_TRUE(IsDirectoryWritable(deeper + u"\\"));
  EXPECT_TRUE(platform::DirectoryExists(deeper));
  EXPECT_TRUE(ForceWritableDirectory(dir.File("forced")));
  EXPECT_FALSE(ForceWritableDirectory(u""));
  EXPECT_FALSE(IsDirectoryWritable(u"\\\\"));
  // Nothing is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.NativeFile("new/deeper")),
                          std::filesystem::directory_iterator()),
            0);
  // A file where the folder should be.
  kvtest::WriteBytes(dir.NativeFile("file"), "x");
  EXPECT_FALSE(IsDirectoryWritable(dir.File("file")));
  EXPECT_FALSE(CanCreateFileIn(dir.File("missing")));

  DeleteFileQuietly(dir.File("file"));
  DeleteFileQuietly(dir.File("file"));
  DeleteFileQuietly(u"");
  EXPECT_FALSE(platform::FileExists(dir.File("file")));

  EXPECT_FALSE(DirectoryExistsEx(dir.File("missing")));
  EXPECT_TRUE(DirectoryExistsEx(dir.Path() + u"\\"));
  kvtest::WriteBytes(dir.NativeFile("five"), "12345");
  EXPECT_EQ(GetFileSize64(dir.File("five")), 5);
  EXPECT_EQ(GetFileSize64(dir.File("missing")), -1);
  EXPECT_EQ(GetFileSize64(dir.File("new")), -1);
}

TEST_F(FileHelpersTest, TemporaryFolder) {
  TempDir dir;
  const String chosen = dir.File("kvtemp\\sub");
  kvtest::SetEnv("KVTemp", ToUtf8(chosen + u"\\\\"));
  EXPECT_EQ(GetTempFolder(), chosen);  // created, without its trailing separators
  EXPECT_TRUE(platform::DirectoryExists(chosen));
  // Cached: a changed variable does not matter until the next start.
  kvtest::SetEnv("KVTemp", ToUtf8(dir.File("other")));
  EXPECT_EQ(GetTempFolder(), chosen);

  // Without KVTemp, and with one that cannot be created: the system's folder.
  FileHelpers_Initialize();
  kvtest::SetEnv("KVTemp", "");
  const String system = ExcludeTrailingSlashes(platform::TempPath(), false);
  EXPECT_EQ(GetTempFolder(), system);
  FileHelpers_Initialize();
  kvtest::WriteBytes(dir.NativeFile("blocker"), "x");
  kvtest::SetEnv("KVTemp", ToUtf8(dir.File("blocker\\below")));
  EXPECT_EQ(GetTempFolder(), system);
}

TEST_F(FileHelpersTest, WalksInEveryMode) {
  TempDir dir;
  std::filesystem::create_directories(dir.NativeFile("sub/deep"));
  for (const char* f : {"a.log", "b.txt", "sub/c.log", "sub/deep/d.log"}) kvtest::WriteBytes(dir.NativeFile(f), "x");
  const String base = dir.Path();

  TStringList l;
  FindFiles(l, base, u"*.log", 2);
  EXPECT_EQ(AsSet(l), (std::set<String>{u"a.log"}));
  l.Clear();
  FindFiles(l, base, u"*.log", 3);
  EXPECT_EQ(AsSet(l), (std::set<String>{base + u"\\a.log"}));
  l.Clear();
  FindFiles(l, base + u"\\", u"*.log", 0);
  EXPECT_EQ(AsSet(l), (std::set<String>{base + u"\\a.log", base + u"\\sub\\c.log", base + u"\\sub\\deep\\d.log"}));
  l.Clear();
  l.Add(u"kept as it was");
  FindFiles(l, base, u"", 1);
  EXPECT_EQ(AsSet(l), (std::set<String>{u"kept as it was", u"a.log", u"b.txt", u"sub\\c.log", u"sub\\deep\\d.log"}));
  l.Clear();
  FindFiles(l, base, u"sub\\*.log", 2);  // a mask with a folder part
  EXPECT_EQ(AsSet(l), (std::set<String>{u"sub\\c.log"}));
  l.Clear();
  FindFiles(l, base, u"*.log", 4);
  FindFiles(l, dir.File("missing"), u"*.log", 0);
  EXPECT_EQ(l.Count(), 0);
  l.Add(u"gone");
  ListFiles(l, base + u"\\sub", u"*.*");
  EXPECT_EQ(AsSet(l), (std::set<String>{base + u"\\sub\\c.log"}));
}

TEST_F(FileHelpersTest, SortFilesByDate) {
  TempDir dir;
  namespace fs = std::filesystem;
  const auto now = fs::file_time_type::clock::now();
  const char* names[] = {"new", "old", "middle", "same"};
  const int ageHours[] = {1, 30, 10, 10};
  TStringList l;
  for (int i = 0; i < 4; ++i) {
    kvtest::WriteBytes(dir.NativeFile(names[i]), "x");
    fs::last_write_time(dir.NativeFile(names[i]), now - std::chrono::hours(ageHours[i]));
    l.Add(dir.File(names[i]));
  }
  l.Add(dir.File("missing"));
  TDateTime t;
  EXPECT_TRUE(GetFileDateTime(dir.File("new"), t));
  EXPECT_FALSE(GetFileDateTime(dir.File("missing"), t));

  SortFilesByDate(l, false);
  ASSERT_EQ(l.Count(), 5);
  EXPECT_EQ(l.Strings(0), dir.File("missing"));  // no time: first
  EXPECT_EQ(l.Strings(1), dir.File("old"));
  EXPECT_EQ(l.Strings(2), dir.File("middle"));  // equal times by name
  EXPECT_EQ(l.Strings(3), dir.File("same"));
  EXPECT_EQ(l.Strings(4), dir.File("new"));
  SortFilesByDate(l, true);
  EXPECT_EQ(l.Strings(0), dir.File("new"));
  EXPECT_EQ(l.Strings(4), dir.File("missing"));
}

TEST_F(FileHelpersTest, VersionTexts) {
  EXPECT_EQ(GetModuleVersionText(Data("version/own-translation.exe")), u"4.2.17.300 (release)");
  EXPECT_EQ(GetModuleVersionText(Data("version/english-fallback.exe")), u"2.5 english");
  EXPECT_EQ(GetModuleVersionText(Data("version/fixed-only.exe")), u"7.3");
  EXPECT_EQ(GetModuleVersionText(Data("version/no-version.exe")), u"");
  EXPECT_EQ(GetModuleVersionText(Data("version/missing.exe")), u"");
  TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("text.exe"), "MZ not a program");
  EXPECT_EQ(GetModuleVersionText(dir.File("text.exe")), u"");
#ifndef _WIN32
  // The native program reports the build's version; the Windows test
  // programs carry no version resource.
  EXPECT_EQ(GetModuleVersionText(u""), FromUtf8(KV_VERSION_TEXT));
#endif
}

TEST_F(FileHelpersTest, FailureLogAndItsRotation) {
  TempDir dir;
  const String log = dir.File("RTSFail.log");
  AppendToLogFile(log, u"first", false, 0, false, false);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("RTSFail.log")), kvtest::Utf16Le(u"first\r\n"));
  AppendToLogFile(log, u"line\r\nbreak", false, 0, true, false);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("RTSFail.log")), kvtest::Utf16Le(u"first\r\nline\r\nbreak\r\n\r\n"));

  const String block = dir.File("block.log");
  AppendToLogFile(block, u"report", true, 1048576, true, false);
  const std::string bytes = kvtest::ReadBytes(dir.NativeFile("block.log"));
  // BOM, "yyyy-mm-dd hh:nn:ss" CR LF, 40 dashes CR LF, text CR LF, CR LF.
  ASSERT_EQ(bytes.size(), 2 + 2 * (19 + 2 + 40 + 2 + 6 + 2 + 2));
  EXPECT_EQ(bytes.substr(2 + 2 * 21), kvtest::Utf16Le(String(40, u'-') + u"\r\nreport\r\n\r\n", false));
  AppendToLogFile(dir.File("inline.log"), u"x", true, 0, false, true);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("inline.log")).size(), 2 + 2 * (19 + 1 + 1 + 2));

  // Exactly at the limit: appended; one byte over: moved to NAME_2.EXT.
  const std::string limit(1048576, 'a');
  kvtest::WriteBytes(dir.NativeFile("full.log"), limit);
  kvtest::WriteBytes(dir.NativeFile("full_2.log"), "older generation");
  AppendToLogFile(dir.File("full.log"), u"x", false, 1048576, false, false);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("full.log")).size(), limit.size() + 6);
  AppendToLogFile(dir.File("full.log"), u"new", false, 1048576, false, false);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("full.log")), kvtest::Utf16Le(u"new\r\n"));
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("full_2.log")).size(), limit.size() + 6);

  // Held open by another writer: the stream's error, nothing written.
  {
    platform::FileHandle other;
    ASSERT_TRUE(other.Open(log, platform::FileAccess::ReadWrite, platform::FileShare::None,
                           platform::FileDisposition::OpenExisting));
    EXPECT_THROW(AppendToLogFile(log, u"lost", false, 0, false, false), EFOpenError);
  }
  EXPECT_THROW(AppendToLogFile(dir.File("missing\\x.log"), u"x", false, 0, false, false), EFCreateError);
}

TEST_F(FileHelpersTest, SpecialFolders) {
  EXPECT_FALSE(GetSpecialFolderPath(0x0005, false).empty());  // documents
  EXPECT_FALSE(GetSpecialFolderPath(0x001C, false).empty());  // local application data
  EXPECT_EQ(GetSpecialFolderPath(0x7FFF, false), u"");
}
