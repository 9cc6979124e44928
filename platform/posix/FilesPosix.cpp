#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/posix/PosixPath.h"

extern "C" char __executable_start;  // provided by the GNU linker

namespace kv::platform {

namespace {
thread_local std::uint32_t tLastError = 0;

std::uint32_t FromErrno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case EWOULDBLOCK: return kErrorSharingViolation;
    case EEXIST: return kErrorFileExists;
    case ENOSPC: return kErrorDiskFull;
    case EISDIR: return kErrorIsDirectory;
    default: return 0x20000000u | static_cast<std::uint32_t>(e);  // customer bit: errno itself
  }
}

void SetFromErrno() { tLastError = FromErrno(errno); }


// A file name in the user's upper case, so that names are matched ignoring
// letter case beyond ASCII too (the C library's towupper knows only ASCII
// in the C locale the program runs in).
String FoldName(const std::string& utf8) {
  String u = DecodeUtf8Lenient(utf8);
  const char16_t* up = UpperCaseTable();
  for (auto& c : u) c = up[c];
  return u;
}
}  // namespace

std::string NativePath(StringView name) {
  std::string p = EncodeUtf8(name);
  for (auto& c : p)
    if (c == '\\') c = '/';
  struct stat st;
  if (p.empty() || ::lstat(p.c_str(), &st) == 0) return p;
  // Look the missing name up ignoring letter case, component by component.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= p.size()) {
    size_t slash = p.find('/', start);
    if (slash == std::string::npos) slash = p.size();
    parts.push_back(p.substr(start, slash - start));
    start = slash + 1;
  }
  std::string cur = p[0] == '/' ? "/" : "";
  bool exact = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty()) continue;
    std::string candidate = cur.empty() || cur.back() == '/' ? cur + part : cur + "/" + part;
    if (!exact || ::lstat(candidate.c_str(), &st) == 0 || part == "." || part == "..") {
      cur = candidate;
      continue;
    }
    DIR* d = ::opendir(cur.empty() ? "." : cur.c_str());
    std::string found;
    // Names that are not valid UTF-8 take no part: their replacement
    // characters would match any other such name.
    if (d && IsValidUtf8(part)) {
      String want = FoldName(part);
      while (dirent* e = ::readdir(d)) {
        if (IsValidUtf8(e->d_name) && FoldName(e->d_name) == want) {
          found = e->d_name;
          break;
        }
      }
      ::closedir(d);
    }
    if (found.empty()) {
      exact = false;  // the rest cannot exist either: keep the given names
      cur = candidate;
    } else {
      cur = cur.empty() || cur.back() == '/' ? cur + found : cur + "/" + found;
    }
  }
  if (!p.empty() && p.back() == '/' && (cur.empty() || cur.back() != '/')) cur += '/';
  return cur;
}

// Paths handed to the framework use "\" like the Windows build, so that the
// same path rules (folder part, trailing backslashes) hold on both.
String WindowsStylePath(std::string_view native) {
  String s = FromUtf8(native);
  for (auto& c : s)
    if (c == u'/') c = u'\\';
  return s;
}

std::uint32_t LastError() { return tLastError; }
void SetLastError(std::uint32_t code) { tLastError = code; }

String SysErrorMessage(std::uint32_t code) {
  int e;
  switch (code) {
    case kErrorSuccess: return u"The operation completed successfully";
    case kErrorFileNotFound: e = ENOENT; break;
    case kErrorPathNotFound: e = ENOTDIR; break;
    case kErrorAccessDenied: e = EACCES; break;
    case kErrorSharingViolation: return u"The process cannot access the file because it is being used by another process";
    case kErrorFileExists: e = EEXIST; break;
    case kErrorDiskFull: e = ENOSPC; break;
    case kErrorHandleEof: return u"Reached the end of the file";
    case kErrorInvalidParameter: return u"The parameter is incorrect";
    case kErrorDirectory: return u"The directory name is invalid";
    case kErrorNotRegularFile: return u"Not a regular file (a device, pipe or socket)";
    case kErrorIsDirectory: e = EISDIR; break;
    case kErrorNotALockFile: return u"The lock file exists but is not a lock of ours";
    case 161: return u"The specified path is invalid";
    case 1009: return u"The configuration registry database is corrupt";
    case 1018: return u"Illegal operation attempted on a registry key that has been marked for deletion";
    default:
      if ((code & 0xFFFF0000u) != 0x20000000u) return u"Error " + IntToStr(static_cast<std::int64_t>(code));
      e = static_cast<int>(code & 0xFFFFu);
  }
  char buf[256];
  const char* msg = ::strerror_r(e, buf, sizeof buf);
  return FromUtf8(msg);
}

bool FileHandle::Open(StringView name, FileAccess access, FileShare share, FileDisposition disposition) {
  Close();
  std::string path = NativePath(name);
  // Without blocking: opening a pipe would otherwise wait for its other end.
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  switch (disposition) {
    case FileDisposition::OpenExisting: break;
    case FileDisposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case FileDisposition::OpenAlways: flags |= O_CREAT; break;
    case FileDisposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
  }
  // Truncation waits until the share lock is held, so a refused open changes nothing.
  bool truncate = (flags & O_TRUNC) != 0;
  flags &= ~O_TRUNC;
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    struct stat st;
    // A pipe without reader refuses a writer that does not wait.
    if (errno == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
      tLastError = kErrorNotRegularFile;
    else
      SetFromErrno();
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && (S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
    ::close(fd);
    tLastError = S_ISDIR(st.st_mode) ? kErrorIsDirectory : kErrorNotRegularFile;
    return false;
  }
  // Devices keep their blocking reads and writes.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // Share modes as advisory locks: a reader that lets others only read holds a
  // shared lock, a writer an exclusive one; a conflict is a sharing violation.
  int lock = -1;
  if (access == FileAccess::Read && share != FileShare::ReadWrite) lock = LOCK_SH;
  if (access != FileAccess::Read && share != FileShare::ReadWrite) lock = LOCK_EX;
  if (lock >= 0 && ::flock(fd, lock | LOCK_NB) != 0) {
    ::close(fd);
    tLastError = kErrorSharingViolation;
    return false;
  }
  if (truncate && ::ftruncate(fd, 0) != 0) {
    SetFromErrno();
    ::close(fd);
    return false;
  }
  FHandle = fd;
  tLastError = 0;
  return true;
}

void FileHandle::Close() noexcept {
  if (FHandle != kInvalid) {
    ::close(static_cast<int>(FHandle));
    FHandle = kInvalid;
  }
}

std::int64_t FileHandle::Read(void* buffer, std::int64_t count) {
  if (FileFaultStrikes(FileFault::Read)) return -1;
  auto* p = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(static_cast<int>(FHandle), p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetFromErrno();
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t FileHandle::Write(const void* buffer, std::int64_t count) {
  if (FileFaultStrikes(FileFault::Write)) return -1;
  auto* p = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(FHandle), p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetFromErrno();
      return -1;
    }
    done += n;
  }
  return done;
}

bool FileHandle::Seek(std::int64_t position) {
  if (::lseek(static_cast<int>(FHandle), position, SEEK_SET) < 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

std::int64_t FileHandle::Position() const { return ::lseek(static_cast<int>(FHandle), 0, SEEK_CUR); }

std::int64_t FileHandle::Size() const {
  struct stat st;
  if (::fstat(static_cast<int>(FHandle), &st) != 0) return -1;
  return st.st_size;
}

bool FileHandle::Truncate() {
  if (::ftruncate(static_cast<int>(FHandle), Position()) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool FileHandle::Flush() {
  if (::fsync(static_cast<int>(FHandle)) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool FileExists(StringView name) {
  if (name.empty()) return false;
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(StringView name) {
  if (name.empty()) return false;
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FindExactEntry(StringView name, bool* isDirectory) {
  struct stat st;
  std::string p = NativePath(name);
  if (p.empty() || ::lstat(p.c_str(), &st) != 0) return false;
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return true;
}

String ModuleFileName() {
  char buf[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return {};
  return WindowsStylePath(std::string_view(buf, static_cast<size_t>(n)));
}

std::uintptr_t ModuleBaseAddress() { return reinterpret_cast<std::uintptr_t>(&__executable_start); }

String GetCurrentDir() {
  char buf[PATH_MAX + 1];
  if (!::getcwd(buf, sizeof buf)) return {};
  return WindowsStylePath(buf);
}

String DisplayPath(StringView name) {
  String s(name);
  for (auto& c : s)
    if (c == u'\\') c = u'/';
  return s;
}

}  // namespace kv::platform

namespace kv::platform {

namespace {

std::string ParentOf(const std::string& p) {
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

// The file a link points to, which is replaced rather than the link, also
// when it does not exist yet (a dangling link is written through); other
// names unchanged. A loop of links ends the walk where it stands.
std::string LinkTarget(const std::string& p) {
  std::string cur = p;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat lst;
    if (::lstat(cur.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return cur;
    std::string to(static_cast<size_t>(lst.st_size > 0 ? lst.st_size : PATH_MAX) + 1, '\0');
    ssize_t n = ::readlink(cur.c_str(), to.data(), to.size());
    if (n <= 0 || static_cast<size_t>(n) >= to.size()) return cur;
    to.resize(static_cast<size_t>(n));
    cur = to[0] == '/' ? to : (cur.find('/') == std::string::npos ? to : ParentOf(cur) + "/" + to);
  }
  return cur;
}

bool MakeDirs(const std::string& p) {
  struct stat st;
  if (p.empty()) return false;
  if (::stat(p.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    tLastError = kErrorPathNotFound;  // a file stands where a folder should
    return false;
  }
  std::string parent = ParentOf(p);
  if (parent != p && parent != "." && parent != "/" && !MakeDirs(parent)) return false;
  if (::mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
    SetFromErrno();
    return false;
  }
  return true;
}

}  // namespace

bool CreateDirectoryTree(StringView dir) {
  std::string p = NativePath(dir);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) {
    tLastError = kErrorPathNotFound;
    return false;
  }
  return MakeDirs(p);
}

bool RemoveFile(StringView name) {
  if (::unlink(NativePath(name).c_str()) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool IsFileReadOnly(StringView name) {
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

bool SetFileReadOnly(StringView name, bool readOnly) {
  std::string p = NativePath(name);
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) {
    SetFromErrno();
    return false;
  }
  mode_t m = st.st_mode & 07777;
  m = readOnly ? (m & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (m | S_IWUSR);
  if (::chmod(p.c_str(), m) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

namespace {

mode_t CurrentUmask() {
  mode_t m = ::umask(0);
  ::umask(m);
  return m;
}

// Renames temp onto dest (both native), giving temp dest's permissions and,
// for root, its owner; the new directory entry is put on the disk too.
bool ReplaceNative(const std::string& temp, const std::string& dest) {
  if (FileFaultStrikes(FileFault::Replace)) return false;
  struct stat st;
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(dest.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (::geteuid() == 0 && ::chown(temp.c_str(), st.st_uid, st.st_gid) != 0) {
      // The owner could not be kept; the content still is.
    }
  }
  ::chmod(temp.c_str(), mode);
  if (::rename(temp.c_str(), dest.c_str()) != 0) {
    SetFromErrno();
    return false;
  }
  int dfd = ::open(ParentOf(dest).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  tLastError = 0;
  return true;
}

// Temporary files are named "." + the target's name + "." + process id + "-"
// + a number + ".tmp" and held with an exclusive lock while in use.
bool IsTemporaryNameOf(const std::string& name, const std::string& base) {
  const std::string prefix = "." + base + ".", suffix = ".tmp";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const size_t dash = middle.find('-');
  auto digits = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  return dash != std::string::npos && digits(middle.substr(0, dash)) && digits(middle.substr(dash + 1));
}

// Holds the lock of a file just created; false when the name no longer
// refers to it (a cleaner took it away meanwhile) or another holds it.
bool LockOwnFile(int fd, const std::string& path) {
  struct stat mine, named;
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         mine.st_ino == named.st_ino && mine.st_dev == named.st_dev;
}

// Removes the temporary files of base in dir that nobody holds: those of a
// process that ended before it could remove them.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  std::vector<std::string> candidates;
  while (dirent* e = ::readdir(d))
    if (IsTemporaryNameOf(e->d_name, base)) candidates.push_back(dir + e->d_name);
  ::closedir(d);
  for (const std::string& path : candidates) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && LockOwnFile(fd, path)) ::unlink(path.c_str());
    ::close(fd);
  }
}

std::atomic<unsigned> gTemporaryCounter{0};

}  // namespace

bool ReplaceFileWith(StringView replacement, StringView target) {
  return ReplaceNative(NativePath(replacement), LinkTarget(NativePath(target)));
}

bool ReplacementFile::Create(StringView target) {
  Discard();
  const std::string native = LinkTarget(NativePath(target));
  struct stat st;
  if (::stat(native.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
      tLastError = S_ISDIR(st.st_mode) ? kErrorIsDirectory : kErrorNotRegularFile;
      return false;
    }
    // The read-only attribute, and the caller's own right to write it.
    if (!(st.st_mode & S_IWUSR) || ::faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) != 0) {
      tLastError = kErrorAccessDenied;
      return false;
    }
    // The same exclusive lock a writer in place would take: refused while
    // another open file holds the target, and held until the replacement.
    int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        tLastError = kErrorSharingViolation;
        return false;
      }
      FTargetLock = fd;
    }
  } else if (errno != ENOENT) {
    SetFromErrno();
    return false;
  }
  size_t slash = native.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
  RemoveStaleTemporaries(dir, base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = dir + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(++gTemporaryCounter) +
                       ".tmp";
    // Exclusive creation never follows a link, not even a dangling one.
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      SetFromErrno();
      Discard();
      return false;
    }
    if (!LockOwnFile(fd, temp)) {
      ::close(fd);
      continue;
    }
    FFile.FHandle = fd;
    FNativeTarget = native;
    FNativeTemp = temp;
    FTarget = FromUtf8(native);
    FTempName = FromUtf8(temp);
    tLastError = 0;
    return true;
  }
  tLastError = kErrorFileExists;
  Discard();
  return false;
}

bool ReplacementFile::Commit() {
  if (FTempName.empty()) {
    tLastError = kErrorInvalidParameter;
    return false;
  }
  bool ok = FFile.Flush();
  std::uint32_t err = tLastError;
  if (ok) {
    ok = ReplaceNative(FNativeTemp, FNativeTarget);
    err = tLastError;
  }
  if (ok) FTempName.clear();  // it is the target now
  Discard();
  tLastError = ok ? kErrorSuccess : err;
  return ok;
}

void ReplacementFile::Discard() noexcept {
  if (!FTempName.empty()) {
    // Removed while still held, so that no cleaner can take it for stale.
    ::unlink(FNativeTemp.c_str());
    FTempName.clear();
  }
  FFile.Close();
  if (FTargetLock >= 0) {
    ::close(static_cast<int>(FTargetLock));
    FTargetLock = -1;
  }
  FTarget.clear();
  FNativeTarget.clear();
  FNativeTemp.clear();
}

bool FileLock::Acquire(StringView target, std::uint32_t timeoutMs) {
  Release();
  FNativeName = LinkTarget(NativePath(target)) + ".lock";
  FName = FromUtf8(FNativeName);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::minstd_rand jitter(static_cast<unsigned>(::getpid()));
  int pauseMs = 1;
  for (;;) {
    int fd = ::open(FNativeName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == ELOOP)
        tLastError = kErrorNotALockFile;  // a link: never followed
      else
        SetFromErrno();
      return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
      ::close(fd);
      tLastError = kErrorNotALockFile;
      return false;
    }
    if (LockOwnFile(fd, FNativeName)) {
      FHandle = fd;
      tLastError = 0;
      return true;
    }
    ::close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      tLastError = kErrorSharingViolation;
      return false;
    }
    // Held by another: wait a little, longer each time, never in step with the others.
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs + static_cast<int>(jitter() % 3)));
    pauseMs = std::min(pauseMs * 2, 25);
  }
}

void FileLock::Release() noexcept {
  if (FHandle == -1) return;
  // Removed while still held: whoever opened it meanwhile finds it gone
  // once it gets the lock, and makes a new one.
  ::unlink(FNativeName.c_str());
  ::close(static_cast<int>(FHandle));
  FHandle = -1;
}

}  // namespace kv::platform

#include <stdio.h>
#include <time.h>

#include "platform/Clock.h"

namespace kv::platform {

namespace {

// Windows wildcard matching on folded names: "*" any run, "?" one character.
bool WildcardMatch(const String& name, std::size_t n, const String& mask, std::size_t m) {
  while (m < mask.size()) {
    if (mask[m] == u'*') {
      while (m < mask.size() && mask[m] == u'*') ++m;
      if (m == mask.size()) return true;
      for (std::size_t k = n; k <= name.size(); ++k)
        if (WildcardMatch(name, k, mask, m)) return true;
      return false;
    }
    if (n == name.size()) return false;
    if (mask[m] != u'?' && mask[m] != name[n]) return false;
    ++m;
    ++n;
  }
  return n == name.size();
}

}  // namespace

std::vector<DirEntry> FindEntries(StringView pattern) {
  std::vector<DirEntry> result;
  const auto cut = pattern.find_last_of(u"\\/");
  const String folder = cut == StringView::npos ? String(u".") : String(pattern.substr(0, cut + 1));
  const String maskText(cut == StringView::npos ? pattern : pattern.substr(cut + 1));
  if (maskText.empty()) return result;
  const std::string dirPath = NativePath(folder);
  DIR* d = ::opendir(dirPath.c_str());
  if (!d) return result;
  const bool all = maskText == u"*.*" || maskText == u"*";
  const String mask = FoldName(EncodeUtf8(maskText));
  while (dirent* e = ::readdir(d)) {
    if (!all && !WildcardMatch(FoldName(e->d_name), 0, mask, 0)) continue;
    DirEntry entry;
    entry.Name = FromUtf8(e->d_name);
    struct stat st;
    const std::string full = dirPath + (dirPath.empty() || dirPath.back() == '/' ? "" : "/") + e->d_name;
    if (::stat(full.c_str(), &st) == 0) {
      entry.IsDirectory = S_ISDIR(st.st_mode);
      entry.Size = entry.IsDirectory ? 0 : st.st_size;
    }
    result.push_back(std::move(entry));
  }
  ::closedir(d);
  return result;
}

bool GetFileLastWriteTime(StringView name, LocalDateTime* time) {
  struct stat st;
  if (name.empty() || ::stat(NativePath(name).c_str(), &st) != 0) return false;
  struct tm tm;
  if (!::localtime_r(&st.st_mtime, &tm)) return false;
  *time = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
           static_cast<int>(st.st_mtim.tv_nsec / 1000000)};
  return true;
}

bool CreateSingleDirectory(StringView dir) {
  if (::mkdir(NativePath(dir).c_str(), 0777) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool RemoveEmptyDirectory(StringView dir) {
  if (::rmdir(NativePath(dir).c_str()) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

bool MoveFileTo(StringView from, StringView to) {
  const std::string a = NativePath(from), b = NativePath(to);
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) != 0) {
    SetFromErrno();
    return false;
  }
  return true;
}

String TempPath() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = t && *t ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return WindowsStylePath(dir);
}

}  // namespace kv::platform
