#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "platform/Files.h"
#include "platform/Process.h"

using namespace kv;
using namespace kv::platform;

TEST(FileHandle, ReadsAtPositionsWithSizeAndPosition) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("a.bin"), "0123456789");
  FileHandle f;
  ASSERT_TRUE(f.Open(dir.File("a.bin"), FileAccess::Read, FileShare::Read, FileDisposition::OpenExisting));
  EXPECT_EQ(f.Size(), 10);
  ASSERT_TRUE(f.Seek(7));
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, 8), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(f.Position(), 10);
}

TEST(FileHandle, MissingFileFailsWithFileNotFound) {
  kvtest::TempDir dir;
  FileHandle f;
  EXPECT_FALSE(f.Open(dir.File("none.txt"), FileAccess::Read, FileShare::Read, FileDisposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(FileHandle, ShareModesRefuseConflictingOpens) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("s.txt"), "x");
  FileHandle writer;
  ASSERT_TRUE(writer.Open(dir.File("s.txt"), FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting));
  FileHandle reader;
  EXPECT_FALSE(reader.Open(dir.File("s.txt"), FileAccess::Read, FileShare::Read, FileDisposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  writer.Close();
  EXPECT_TRUE(reader.Open(dir.File("s.txt"), FileAccess::Read, FileShare::Read, FileDisposition::OpenExisting));
  // Two readers that let others read may share the file.
  FileHandle second;
  EXPECT_TRUE(second.Open(dir.File("s.txt"), FileAccess::Read, FileShare::Read, FileDisposition::OpenExisting));
}

TEST(FileHandle, RefusedCreateLeavesTheFileIntact) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("keep.txt"), "content");
  FileHandle holder;
  ASSERT_TRUE(holder.Open(dir.File("keep.txt"), FileAccess::Read, FileShare::None, FileDisposition::OpenExisting));
  FileHandle creator;
  EXPECT_FALSE(creator.Open(dir.File("keep.txt"), FileAccess::Write, FileShare::Read, FileDisposition::CreateAlways));
  holder.Close();
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("keep.txt")), "content");
}

TEST(ExistenceTests, FilesAndFolders) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("f.txt"), "x");
  EXPECT_TRUE(FileExists(dir.File("f.txt")));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(DirectoryExists(dir.File("f.txt")));
  EXPECT_FALSE(FileExists(u""));
  bool isDir = true;
  EXPECT_TRUE(FindExactEntry(dir.File("f.txt"), &isDir));
  EXPECT_FALSE(isDir);
}

TEST(WindowsPathHabits, BackslashesAndLetterCaseWork) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("Setup.EXE"), "x");
  // A name in another letter case, as media made for Windows have them.
  EXPECT_TRUE(FileExists(dir.File("setup.exe")));
  EXPECT_TRUE(FileExists(dir.File("SETUP.exe")));
  EXPECT_FALSE(FileExists(dir.File("setup.ex")));
  // Letters beyond ASCII too.
  FileHandle f;
  ASSERT_TRUE(f.Open(dir.Path() + u"\\\u00C4rger.txt", FileAccess::Write, FileShare::None,
                     FileDisposition::CreateAlways));
  f.Close();
  EXPECT_TRUE(FileExists(dir.Path() + u"\\\u00E4RGER.TXT"));
}

TEST(ModuleFileName, NamesTheRunningProgramInWindowsStyle) {
  String name = ModuleFileName();
  EXPECT_FALSE(name.empty());
  EXPECT_NE(name.find(u"platform_tests"), String::npos);
  EXPECT_EQ(name.find(u'/'), String::npos);
  EXPECT_TRUE(FileExists(name));
}

TEST(Environment, ReadsVariables) {
  EXPECT_TRUE(GetEnvVar(u"KV_SURELY_NOT_SET_12345").empty());
  EXPECT_FALSE(GetEnvVar(u"PATH").empty());
}

TEST(FileLock, OneHolderAtATimeAndNothingLeftBehind) {
  kvtest::TempDir dir;
  const String file = dir.File("c.ini");
  FileLock first, second;
  ASSERT_TRUE(first.Acquire(file, 0));
  EXPECT_TRUE(first.Held());
  EXPECT_NE(first.LockFileName().find(u"c.ini.lock"), String::npos);
  EXPECT_TRUE(FileExists(dir.File("c.ini.lock")));
  EXPECT_FALSE(second.Acquire(file, 30));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  first.Release();
  EXPECT_FALSE(FileExists(dir.File("c.ini.lock")));
  EXPECT_TRUE(second.Acquire(file, 0));
  second.Release();
  // An empty lock file nobody holds (its holder was killed) is taken over.
  kvtest::WriteBytes(dir.NativeFile("c.ini.lock"), "");
  EXPECT_TRUE(first.Acquire(file, 0));
  first.Release();
  EXPECT_FALSE(FileExists(dir.File("c.ini.lock")));
  // A file of that name with content is somebody else's: never taken, never removed.
  kvtest::WriteBytes(dir.NativeFile("c.ini.lock"), "mine");
  EXPECT_FALSE(first.Acquire(file, 0));
  EXPECT_EQ(LastError(), kErrorNotALockFile);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("c.ini.lock")), "mine");
  // A missing folder fails at once.
  EXPECT_FALSE(first.Acquire(dir.File("none\\c.ini"), 10000));
  EXPECT_NE(LastError(), kErrorSharingViolation);
}

TEST(ReplacementFile, RefusesFoldersAndKeepsTheTargetOnFaults) {
  kvtest::TempDir dir;
  ReplacementFile r;
  EXPECT_FALSE(r.Create(dir.Path()));
  EXPECT_FALSE(SysErrorMessage(LastError()).empty());
  kvtest::WriteBytes(dir.NativeFile("t.txt"), "old");
  for (FileFault f : {FileFault::Write, FileFault::Replace}) {
    ASSERT_TRUE(r.Create(dir.File("t.txt")));
    InjectFileFault(f, 1, kErrorDiskFull);
    const bool ok = r.Handle().Write("new", 3) == 3 && r.Commit();
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), kErrorDiskFull);
    r.Discard();
    EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("t.txt")), "old");
  }
  InjectFileFault(FileFault::Write, 0, 0);
  ASSERT_TRUE(r.Create(dir.File("t.txt")));
  ASSERT_EQ(r.Handle().Write("new", 3), 3);
  ASSERT_TRUE(r.Commit());
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("t.txt")), "new");
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Native())) ++files;
  EXPECT_EQ(files, 1u);
}
