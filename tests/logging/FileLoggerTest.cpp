#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "LogTestUtil.h"
#include "logging/KVDataObjectsFactory.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "logging/KVLogging.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "text/_4Files.h"

using namespace kv;
namespace fs = std::filesystem;

namespace {

class FileLogger : public kvtest::LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    SetLogUserNotifier([this](const String& msg) { shown.push_back(msg); });
  }
  void TearDown() override {
    SetLogUserNotifier(nullptr);
    LogFixture::TearDown();
  }
  // Default settings in the test's folder.
  IKVFileLoggerSettingsPtr Settings() {
    auto s = TKVDataObjectsFactory::CreateDefaultFileLoggerSettings();
    s->SetLogFolder(dir.Path());
    return s;
  }
  static std::string Name(const std::string& nativeFile) { return fs::path(nativeFile).filename().string(); }
  // Sets a file's last-write time this long before now.
  static void Age(const std::string& nativeFile, std::chrono::minutes age) {
    fs::last_write_time(nativeFile, fs::file_time_type::clock::now() - age);
  }

  kvtest::TempDir dir;
  std::vector<String> shown;
};

using std::chrono::hours;

}  // namespace

TEST_F(FileLogger, NamesFilesAfterProgramProcessAndStartTime) {
  const String pid = IntToStr(platform::CurrentProcessId());
  {
    TKVFileLogger logger(Settings());
    EXPECT_EQ(logger.Settings()->GetLogFileName(), ApplicationFileName() + u"_PID_" + pid + u"_");
    logger.WriteText(u"first \u00E4");
    logger.WriteText(u"second");
    const auto files = LogFiles(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    // The name part ends with "_" and the time part begins with one.
    const std::regex name(std::regex_replace(ToUtf8(ApplicationFileName()), std::regex(R"([.])"), R"(\.)") +
                          "_PID_" + ToUtf8(pid) + R"(__\d{8}_\d{6}\.log)");
    EXPECT_TRUE(std::regex_match(Name(files[0]), name)) << Name(files[0]);
    EXPECT_EQ(kvtest::NativePath(logger.LogFile()), files[0]);
    EXPECT_EQ(kvtest::ReadBytes(files[0]), "\xEF\xBB\xBF" "first \xC3\xA4\r\nsecond\r\n");
  }
  // The FileName value replaces the program's name; with the default folder
  // the program's name without extension names the folder.
  SetReg(u"FileName", u"X.exe");
  TKVFileLogger logger(TKVDataObjectsFactory::CreateDefaultFileLoggerSettings());
  logger.WriteText(u"line");
  const String folder = TKVLoggingHelper::DefaultLogFolder();
  EXPECT_EQ(logger.Settings()->GetLogFolder(), folder);
  EXPECT_NE(folder.find(u"\\Orvalis\\logging_tests\\Logs"), String::npos) << ToUtf8(folder);
  const auto files = LogFiles(folder);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(Name(files[0]), std::regex(R"(X\.exe_PID_)" + ToUtf8(pid) + R"(__\d{8}_\d{6}\.log)")))
      << Name(files[0]);
}

TEST_F(FileLogger, AMissingConfiguredFolderIsNotMadeAndTheDefaultServes) {
  auto s = Settings();
  s->SetLogFolder(dir.Path() + u"\\not\\yet");
  TKVFileLogger logger(s);
  EXPECT_EQ(s->GetLogFolder(), TKVLoggingHelper::DefaultLogFolder());
  EXPECT_FALSE(DirectoryExistsEx(dir.Path() + u"\\not"));
  logger.WriteText(u"x");
  EXPECT_EQ(LogFiles(TKVLoggingHelper::DefaultLogFolder()).size(), 1u);
}

#ifndef _WIN32
TEST_F(FileLogger, FallsBackToTheTemporaryFolderAndRaisesWhenThatFailsToo) {
  // The machine-wide data folder below a regular file cannot be made.
  kvtest::WriteBytes(programData.NativeFile("file"), "x");
  kvtest::SetEnv("KV_PROGRAMDATA", programData.NativeFile("file") + "/data");
  kvtest::TempDir temp;
  kvtest::SetEnv("KVTemp", temp.Native());
  FileHelpers_Initialize();  // forgets the temporary folder found before
  {
    TKVFileLogger logger(TKVDataObjectsFactory::CreateDefaultFileLoggerSettings());
    EXPECT_EQ(kvtest::NativePath(logger.Settings()->GetLogFolder()), temp.Native());
  }
  kvtest::SetEnv("KVTemp", "");
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  kvtest::SetEnv("TMPDIR", programData.NativeFile("file") + "/tmp");
  FileHelpers_Initialize();
  try {
    TKVFileLogger logger(TKVDataObjectsFactory::CreateDefaultFileLoggerSettings());
    ADD_FAILURE() << "no error without any writable folder";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind(u"Cannot write to temp-directory: ", 0), 0u) << e.what();
  }
  kvtest::SetEnv("TMPDIR", savedTmp);
  FileHelpers_Initialize();
}
#endif

TEST_F(FileLogger, ADeletedLogFileIsBegunAgain) {
  TKVFileLogger logger(Settings());
  logger.WriteText(u"one");
  const std::string first = kvtest::NativePath(logger.LogFile());
  fs::remove(first);
  logger.WriteText(u"two");
  const auto files = LogFiles(dir.Path());
  ASSERT_EQ(files.size(), 1u);
  // Named by the time of the second line (which may be the same second).
  EXPECT_EQ(Lines(files[0]), std::vector<std::string>{"two"});
}

TEST_F(FileLogger, SizeLimitBeginsANewFileExceptWithinTheSameSecond) {
  auto s = Settings();
  s->SetMaxSize(1);
  TKVFileLogger logger(s);
  const String file = dir.File("any_1.log");
  kvtest::WriteBytes(kvtest::NativePath(file), std::string(1024, 'x'));
  EXPECT_TRUE(logger.IsLogFileFull(file));
  s->SetMaxSize(-1);
  EXPECT_FALSE(logger.IsLogFileFull(file));
  s->SetMaxSize(1);

  // Lines of 11 bytes with their line end fill 1 KiB (after the 3-byte mark)
  // at the 93rd.
  const String line = u"123456789";
  int written = 0;
  while (GetFileSize64(logger.LogFile()) < 1024) {
    logger.WriteText(line);
    ++written;
  }
  EXPECT_EQ(written, 93);
  const String full = logger.LogFile();
  logger.WriteText(u"next");
  if (logger.LogFile() == full) {
    // Begun in the second of the full file: the same name, appended to.
    EXPECT_EQ(Lines(kvtest::NativePath(full)).back(), "next");
  } else {
    EXPECT_EQ(Lines(kvtest::NativePath(logger.LogFile())), std::vector<std::string>{"next"});
    EXPECT_EQ(GetFileSize64(full), 3 + 93 * 11);
  }
}

TEST_F(FileLogger, ThinsOutOldestFilesByCountButKeepsItsOwn) {
  for (int i = 0; i < 5; ++i) {
    const std::string f = dir.NativeFile("old_" + std::to_string(i) + ".log");
    kvtest::WriteBytes(f, "x");
    Age(f, hours(10 - i));  // old_0 is the oldest
  }
  kvtest::WriteBytes(dir.NativeFile("other.txt"), "x");
  kvtest::WriteBytes(dir.NativeFile("nounderscore.log"), "x");
  auto s = Settings();
  s->SetMaxCount(3);
  TKVFileLogger logger(s);
  logger.WriteText(u"line");
  std::vector<std::string> names;
  for (const auto& f : LogFiles(dir.Path())) names.push_back(Name(f));
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], Name(kvtest::NativePath(logger.LogFile())));
  EXPECT_EQ(names[1], "old_3.log");
  EXPECT_EQ(names[2], "old_4.log");
  EXPECT_TRUE(fs::exists(dir.NativeFile("other.txt")));
  EXPECT_TRUE(fs::exists(dir.NativeFile("nounderscore.log")));

  // At most once an hour.
  kvtest::WriteBytes(dir.NativeFile("new_1.log"), "x");
  logger.WriteText(u"line");
  EXPECT_EQ(LogFiles(dir.Path()).size(), 4u);
}

TEST_F(FileLogger, TheFileBeingWrittenSurvivesThinningEvenWhenOldest) {
  kvtest::WriteBytes(dir.NativeFile("newer_1.log"), "x");
  auto s = Settings();
  s->SetMaxCount(0);
  TKVFileLogger logger(s);
  logger.WriteText(u"kept");
  const auto files = LogFiles(dir.Path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Lines(files[0]), std::vector<std::string>{"kept"});
}

TEST_F(FileLogger, AnUnwritableFolderDropsLinesAndTellsTheUserOnce) {
  auto s = Settings();
  const String folder = dir.Path() + u"\\logs";
  ASSERT_TRUE(platform::CreateDirectoryTree(folder));
  s->SetLogFolder(folder);
  s->SetShowErrorIfNoWritePermissions(true);
  TKVFileLogger logger(s);
  logger.WriteText(u"before");
  // A file where the folder was: it can be neither written nor made.
  fs::remove_all(kvtest::NativePath(folder));
  kvtest::WriteBytes(kvtest::NativePath(folder), "not a folder");
  EXPECT_FALSE(logger.CheckLogFolder());
  EXPECT_NO_THROW(logger.WriteText(u"dropped"));
  EXPECT_NO_THROW(logger.WriteText(u"dropped too"));
  EXPECT_EQ(shown, std::vector<String>{u"Cannot write log file!"});
  EXPECT_FALSE(s->GetShowErrorIfNoWritePermissions());

  // Back as a folder, lines flow again.
  fs::remove(kvtest::NativePath(folder));
  logger.WriteText(u"after");
  EXPECT_EQ(AllLines(folder), std::vector<std::string>{"after"});

  // In a service nobody is told.
  shown.clear();
  s->SetShowErrorIfNoWritePermissions(true);
  s->SetIsService(true);
  fs::remove_all(kvtest::NativePath(folder));
  kvtest::WriteBytes(kvtest::NativePath(folder), "not a folder");
  logger.WriteText(u"dropped");
  EXPECT_TRUE(shown.empty());
}

TEST_F(FileLogger, ReadOnlyFolderWhereTheSystemEnforcesIt) {
  auto s = Settings();
  s->SetShowErrorIfNoWritePermissions(true);
  TKVFileLogger logger(s);
  ASSERT_TRUE(platform::SetFileReadOnly(dir.Path(), true));
  const bool enforced = !CanCreateFileIn(dir.Path());
  if (enforced) {
    logger.WriteText(u"dropped");
    logger.WriteText(u"dropped");
  }
  platform::SetFileReadOnly(dir.Path(), false);
  if (!enforced) GTEST_SKIP() << "a read-only folder can still be written here (administrator, or Windows)";
  EXPECT_TRUE(LogFiles(dir.Path()).empty());
  EXPECT_EQ(shown, std::vector<String>{u"Cannot write log file!"});
}

TEST_F(FileLogger, WriteErrorsRaiseOnlyWhenAskedFor) {
  // A file name longer than any file system allows: the folder is fine,
  // every write fails.
  SetReg(u"FileName", String(300, u'n'));
  auto s = Settings();
  TKVFileLogger quiet(s);
  EXPECT_NO_THROW(quiet.WriteText(u"lost"));

  s->SetShowErrorIfNoWritePermissions(true);
  try {
    quiet.WriteText(u"lost");
    ADD_FAILURE() << "the failed write was not reported";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind(u"Fehler beim Schreiben der Logdatei: ", 0), 0u) << e.what();
    EXPECT_GT(e.Message().size(), 40u) << "the cause is missing: " << e.what();
  }
  EXPECT_TRUE(shown.empty());  // the folder itself was writable
  EXPECT_TRUE(LogFiles(dir.Path()).empty());
}

TEST_F(FileLogger, EntriesMessagesAndStackBlocks) {
  auto s = Settings();
  s->SetPrefix(u"P");
  TKVFileLogger logger(s);
  auto entry = TKVLogEntry::GetLogEntry(*TryEncodeDate(2026, 3, 5) + *TryEncodeTime(14, 7, 9, 45), 4242, u"boom",
                                        u"frame 1\r\nframe 2\r\n", tmlError, u"D\\u", u"app.exe", u"");
  logger.WriteEntry(*entry);
  logger.WriteEntry(*TKVLogEntry::GetLogEntry(*TryEncodeDate(2026, 3, 5), 1, u"plain", u"", tmlMessage, u"D\\u",
                                              u"app.exe", u""));
  logger.WriteMessage(u"note", tmlWarning);
  const auto lines = AllLines(dir.Path());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "05.03.2026 14:07:09.045\t[Error]\tD\\u\tapp.exe\t\t<4242>\tboom");
  EXPECT_EQ(lines[1], "frame 1");
  EXPECT_EQ(lines[2], "frame 2");
  EXPECT_EQ(lines[3], "");  // the stack text ends with a line end, and the writer adds one
  EXPECT_EQ(MessageOf(lines[4]), "plain");
  EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(\[\d{4}-\d\d-\d\d \d\d.\d\d.\d\d\] P \[W\] note)"))) << lines[5];
}

// Without a notifier of its own the module tells the user through the
// framework's error message, which, where nobody sees a window, is written
// to standard error and answered at once.
TEST(LogUserMessage, TheDefaultIsTheFrameworksErrorMessage) {
  SetLogUserNotifier(nullptr);
  SetUserInterfaceThread(0);
  LanguageModule_Initialize();
  TranslationModule_Initialize();
#ifndef _WIN32
  testing::internal::CaptureStderr();
#endif
  NotifyLogUser(u"Cannot write log file!");
#ifndef _WIN32
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Cannot write log file!"), std::string::npos) << err;
  EXPECT_NE(err.find("[OK] "), std::string::npos) << err;
#endif
  TranslationModule_Finalize();
  LanguageModule_Finalize();
}
