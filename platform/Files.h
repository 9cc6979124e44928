// Files and folders: open with share modes, read and write at a position,
// existence tests, the running program's file name.
//
// Paths are texts in the Windows style. On Linux a "\" is a path separator
// like "/", and a name that is missing in its exact letter case is looked up
// ignoring case, one path component after the other, so that a medium made
// for Windows works unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Base.h"

namespace kv::platform {

// Error numbers in the Windows numbering on every platform.
enum : std::uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorSharingViolation = 32,
  kErrorHandleEof = 38,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorDirectory = 267,
  // Our own numbers (the customer bit set), with texts of their own.
  kErrorNotRegularFile = 0x20010001u,  // a device, pipe or socket where a file belongs
  kErrorIsDirectory = 0x20010002u,     // a folder where a file belongs
  kErrorNotALockFile = 0x20010003u,    // NAME.lock exists but is no lock of ours
};

std::uint32_t LastError();
void SetLastError(std::uint32_t code);
String SysErrorMessage(std::uint32_t code);

enum class FileAccess { Read, Write, ReadWrite };
// Who else may use the file while it is open: as FILE_SHARE_READ and friends.
enum class FileShare { None, Read, ReadWrite };
enum class FileDisposition { OpenExisting, CreateAlways, OpenAlways, CreateNew };

class FileHandle {
  friend class ReplacementFile;

 public:
  FileHandle() = default;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Close(); }

  // False with LastError() set when the file cannot be opened. Pipes and
  // sockets are refused (kErrorNotRegularFile) rather than waited for, and so
  // is a folder.
  bool Open(StringView name, FileAccess access, FileShare share, FileDisposition disposition);
  void Close() noexcept;
  bool IsOpen() const noexcept { return FHandle != kInvalid; }

  // Bytes read (0 at the end); -1 on an error.
  std::int64_t Read(void* buffer, std::int64_t count);
  // Bytes written; -1 on an error.
  std::int64_t Write(const void* buffer, std::int64_t count);
  bool Seek(std::int64_t position);
  std::int64_t Position() const;
  std::int64_t Size() const;
  bool Truncate();  // at the current position
  bool Flush();     // to the disk

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t FHandle = kInvalid;
};

// A file (not a folder) of that name exists; links are followed.
bool FileExists(StringView name);
bool DirectoryExists(StringView name);
// A directory search for exactly this name: true when an entry was found, with
// its directory attribute in *isDirectory.
bool FindExactEntry(StringView name, bool* isDirectory);

// Full file name of the running program (on Linux too written with "\").
String ModuleFileName();
// Load address of the running program, to make code addresses relative.
std::uintptr_t ModuleBaseAddress();
String GetCurrentDir();

// The path as the operating system writes it (on Linux with "/").
String DisplayPath(StringView name);

// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateDirectoryTree(StringView dir);
// Deletes a file; false with LastError() set when it cannot.
bool RemoveFile(StringView name);
// The read-only attribute (on Linux: the owner's write permission).
bool IsFileReadOnly(StringView name);
bool SetFileReadOnly(StringView name, bool readOnly);

// Renames replacement onto target in one step (target may be missing),
// keeping target's attributes; replacement's content should be on the disk.
bool ReplaceFileWith(StringView replacement, StringView target);

// One entry of a directory search.
struct DirEntry {
  String Name;
  bool IsDirectory = false;
  std::int64_t Size = 0;
};
// FindFirstFileW/FindNextFileW over pattern, a folder followed by a name
// that may hold "*" and "?" ("*.*" matches every name; letter case is
// ignored). The entries in the system's order, "." and ".." included where
// the system lists them; empty when nothing matches or the folder is missing.
std::vector<DirEntry> FindEntries(StringView pattern);
// The last-write time of a file or folder in local time, links followed.
struct LocalDateTime;
bool GetFileLastWriteTime(StringView name, LocalDateTime* time);
// One folder, whose parent exists; false with LastError() set.
bool CreateSingleDirectory(StringView dir);
// An empty folder; false with LastError() set.
bool RemoveEmptyDirectory(StringView dir);
// Renames a file; fails when the new name exists (as MoveFileW does).
bool MoveFileTo(StringView from, StringView to);
// The system's folder for temporary files with a trailing separator
// (GetTempPathW; on Linux TMPDIR or /tmp).
String TempPath();

// A new file that takes the place of a target file in one step.
//
// Create makes a temporary file beside the target (beside the file a link
// points to, also when that file does not exist yet): created exclusively,
// never through a link, and held open so that it is known to be in use.
// Temporary files of the same target that nobody holds any more (left by a
// process that was killed) are removed then. Commit puts the content on the
// disk and then replaces the target by it, keeping the target's attributes
// (permissions and owner on Linux). Until Commit succeeds the target is
// untouched: a failure, or an object destroyed without Commit, removes the
// temporary file.
//
// Only a regular file is replaced: a folder, device, pipe or socket is
// refused, and so is a read-only target, one the caller may not write
// (access denied), and one that another open file holds (sharing
// violation), as writing it in place would be.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() { Discard(); }

  // False with LastError() set when the temporary file cannot be created.
  bool Create(StringView target);
  FileHandle& Handle() { return FFile; }
  const String& TempName() const { return FTempName; }
  // False with LastError() set; the temporary file is gone either way.
  bool Commit();
  void Discard() noexcept;

 private:
  FileHandle FFile;
  String FTarget;    // the file that is replaced
  String FTempName;  // empty when there is no temporary file
  std::intptr_t FTargetLock = -1;  // where the platform holds the target meanwhile
  std::string FNativeTarget, FNativeTemp;  // the two names as the system spells them
};

// A lock between processes for changing one file: held from reading the
// file to writing it back, so that programs that change the file at once do
// so one after the other and no change is lost. It is the file NAME.lock
// beside the file (beside the file a link points to), which exists only
// while the lock is held: it goes with Release, and also when the holding
// process ends without it (on Linux the next holder takes it over).
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Waits at most timeoutMs milliseconds for the lock. False with
  // LastError() set: kErrorSharingViolation when another still holds it,
  // kErrorNotALockFile when NAME.lock is a file of someone else's, or the
  // reason the lock file cannot be made.
  bool Acquire(StringView target, std::uint32_t timeoutMs);
  void Release() noexcept;
  bool Held() const noexcept { return FHandle != -1; }
  // The lock file's name, also after a failed Acquire.
  const String& LockFileName() const { return FName; }

 private:
  std::intptr_t FHandle = -1;
  String FName;
  std::string FNativeName;
};

// Fault injection for tests: the count-th next call (1: the next one) of
// that kind in this process fails with the error, as if the system had
// refused it. Reads and writes are those of FileHandle, replacements those
// of ReplacementFile::Commit and ReplaceFileWith. Count 0 disarms it.
enum class FileFault { Read, Write, Replace };
void InjectFileFault(FileFault kind, int count, std::uint32_t error);
// Whether the armed fault of that kind strikes now (it sets LastError()).
bool FileFaultStrikes(FileFault kind);

}  // namespace kv::platform
