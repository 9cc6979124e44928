#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/Files.h"
#include "platform/win32/WideText.h"

namespace kv::platform {

namespace {
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

String SysErrorMessage(std::uint32_t code) {
  switch (code) {
    case kErrorNotRegularFile: return u"Not a regular file (a device, pipe or socket)";
    case kErrorIsDirectory: return u"Is a directory";
    case kErrorNotALockFile: return u"The lock file exists but is not a lock of ours";
    default: break;
  }
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  String s;
  if (n && buf) s.assign(reinterpret_cast<char16_t*>(buf), n);
  if (buf) LocalFree(buf);
  while (!s.empty() && (s.back() == u'\r' || s.back() == u'\n' || s.back() == u' ' || s.back() == u'.'))
    s.pop_back();
  return s;
}

bool FileHandle::Open(StringView name, FileAccess access, FileShare share, FileDisposition disposition) {
  Close();
  DWORD acc = access == FileAccess::Read ? GENERIC_READ
              : access == FileAccess::Write ? GENERIC_WRITE
                                             : GENERIC_READ | GENERIC_WRITE;
  DWORD sh = share == FileShare::None ? 0 : share == FileShare::Read ? FILE_SHARE_READ
                                                                     : FILE_SHARE_READ | FILE_SHARE_WRITE;
  DWORD disp = disposition == FileDisposition::OpenExisting ? OPEN_EXISTING
               : disposition == FileDisposition::CreateAlways ? CREATE_ALWAYS
               : disposition == FileDisposition::OpenAlways   ? OPEN_ALWAYS
                                                              : CREATE_NEW;
  String n(name);
  HANDLE h = CreateFileW(W(n), acc, sh, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // A pipe, or a console to read from, would make the reader wait.
  const DWORD type = GetFileType(h);
  if (type == FILE_TYPE_PIPE || (type == FILE_TYPE_CHAR && access != FileAccess::Write)) {
    CloseHandle(h);
    ::SetLastError(kErrorNotRegularFile);
    return false;
  }
  FHandle = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void FileHandle::Close() noexcept {
  if (FHandle != kInvalid) {
    CloseHandle(H(FHandle));
    FHandle = kInvalid;
  }
}

std::int64_t FileHandle::Read(void* buffer, std::int64_t count) {
  if (FileFaultStrikes(FileFault::Read)) return -1;
  auto* p = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!ReadFile(H(FHandle), p + done, want, &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t FileHandle::Write(const void* buffer, std::int64_t count) {
  if (FileFaultStrikes(FileFault::Write)) return -1;
  auto* p = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!WriteFile(H(FHandle), p + done, want, &put, nullptr)) return -1;
    done += put;
  }
  return done;
}

bool FileHandle::Seek(std::int64_t position) {
  LARGE_INTEGER li;
  li.QuadPart = position;
  return SetFilePointerEx(H(FHandle), li, nullptr, FILE_BEGIN) != 0;
}

std::int64_t FileHandle::Position() const {
  LARGE_INTEGER zero{}, pos{};
  if (!SetFilePointerEx(H(FHandle), zero, &pos, FILE_CURRENT)) return -1;
  return pos.QuadPart;
}

std::int64_t FileHandle::Size() const {
  LARGE_INTEGER li{};
  if (!GetFileSizeEx(H(FHandle), &li)) return -1;
  return li.QuadPart;
}

bool FileHandle::Truncate() { return SetEndOfFile(H(FHandle)) != 0; }
bool FileHandle::Flush() { return FlushFileBuffers(H(FHandle)) != 0; }

bool FileExists(StringView name) {
  if (name.empty()) return false;
  String n(name);
  // Follow links: open the file itself to read its attributes.
  DWORD attr = GetFileAttributesW(W(n));
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) {
    HANDLE h = CreateFileW(W(n), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    return ok;
  }
  return true;
}

bool DirectoryExists(StringView name) {
  if (name.empty()) return false;
  String n(name);
  DWORD attr = GetFileAttributesW(W(n));
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FindExactEntry(StringView name, bool* isDirectory) {
  String n(name);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(W(n), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  if (isDirectory) *isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

String ModuleFileName() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return String(reinterpret_cast<const char16_t*>(buf.data()), n);
    buf.resize(buf.size() * 2);
  }
}

std::uintptr_t ModuleBaseAddress() { return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr)); }

String GetCurrentDir() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring buf(n, L'\0');
  n = GetCurrentDirectoryW(n, buf.data());
  return String(reinterpret_cast<const char16_t*>(buf.data()), n);
}

String DisplayPath(StringView name) { return String(name); }

}  // namespace kv::platform

namespace kv::platform {

bool CreateDirectoryTree(StringView dir) {
  String d(dir);
  while (d.size() > 1 && (d.back() == u'\\' || d.back() == u'/') && d[d.size() - 2] != u':') d.pop_back();
  if (d.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  DWORD attr = GetFileAttributesW(W(d));
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return true;
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  size_t sep = d.find_last_of(u"\\/");
  if (sep != String::npos && sep > 0) {
    String parent = d.substr(0, sep);
    bool isRoot = parent.size() == 2 && parent[1] == u':';
    bool isShare = parent.size() >= 2 && parent[0] == u'\\' && parent[1] == u'\\' &&
                   parent.find_first_of(u"\\/", 2) == String::npos;
    if (!isRoot && !isShare && !CreateDirectoryTree(parent)) return false;
  }
  if (CreateDirectoryW(W(d), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveFile(StringView name) { return DeleteFileW(W(String(name))) != 0; }

bool IsFileReadOnly(StringView name) {
  DWORD attr = GetFileAttributesW(W(String(name)));
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY);
}

bool SetFileReadOnly(StringView name, bool readOnly) {
  String n(name);
  DWORD attr = GetFileAttributesW(W(n));
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  attr = readOnly ? (attr | FILE_ATTRIBUTE_READONLY) : (attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return SetFileAttributesW(W(n), attr ? attr : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool ReplaceFileWith(StringView replacement, StringView target) {
  if (FileFaultStrikes(FileFault::Replace)) return false;
  String from(replacement), to(target);
  bool ok;
  if (GetFileAttributesW(W(to)) != INVALID_FILE_ATTRIBUTES) {
    // Keeps the target's attributes, security and creation time.
    ok = ReplaceFileW(W(to), W(from), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    if (!ok && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
      // The target is gone already; put the new content in its place.
      ok = MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
  } else {
    ok = MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  return ok;
}

namespace {

// Temporary files are named after the target + "." + process id + "-" + a
// number + ".tmp" and are held open without sharing while in use.
bool IsTemporaryNameOf(const String& name, const String& base) {
  const String prefix = base + u".", suffix = u".tmp";
  if (name.size() <= prefix.size() + suffix.size() || !EqualsIgnoringAsciiCase(name.substr(0, prefix.size()), prefix) ||
      !EqualsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix))
    return false;
  const String middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const size_t dash = middle.find(u'-');
  auto digits = [](const String& t) { return !t.empty() && t.find_first_not_of(u"0123456789") == String::npos; };
  return dash != String::npos && digits(middle.substr(0, dash)) && digits(middle.substr(dash + 1));
}

// Removes the temporary files of the target that nobody holds open any more:
// a file in use cannot be deleted.
void RemoveStaleTemporaries(const String& target) {
  const size_t cut = target.find_last_of(u"\\/:");
  const String dir = cut == String::npos ? String() : target.substr(0, cut + 1);
  const String base = cut == String::npos ? target : target.substr(cut + 1);
  for (const DirEntry& e : FindEntries(target + u".*-*.tmp"))
    if (!e.IsDirectory && IsTemporaryNameOf(e.Name, base)) DeleteFileW(W(dir + e.Name));
}

std::atomic<unsigned> gTemporaryCounter{0};

}  // namespace

bool ReplacementFile::Create(StringView target) {
  Discard();
  // A full name: ReplaceFileW does not take a bare file name.
  String t(target);
  const DWORD n = GetFullPathNameW(W(t), 0, nullptr, nullptr);
  if (n > 0) {
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(W(t), n, full.data(), nullptr);
    if (got > 0 && got < n) t.assign(reinterpret_cast<const char16_t*>(full.data()), got);
  }
  DWORD attr = GetFileAttributesW(W(t));
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
      ::SetLastError((attr & FILE_ATTRIBUTE_DIRECTORY) ? kErrorIsDirectory : ERROR_ACCESS_DENIED);
      return false;
    }
    // Refused now, before anything is written, when another open file holds
    // the target against writing, or when it is no file on a disk.
    HANDLE h = CreateFileW(W(t), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) {
      ::SetLastError(kErrorNotRegularFile);
      return false;
    }
  }
  RemoveStaleTemporaries(t);
  for (int attempt = 0; attempt < 100; ++attempt) {
    String temp = t + u"." + IntToStr(static_cast<std::int64_t>(GetCurrentProcessId())) + u"-" +
                  IntToStr(static_cast<std::int64_t>(++gTemporaryCounter)) + u".tmp";
    if (FFile.Open(temp, FileAccess::ReadWrite, FileShare::None, FileDisposition::CreateNew)) {
      FTarget = t;
      FTempName = temp;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool ReplacementFile::Commit() {
  if (FTempName.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  bool ok = FFile.Flush();
  FFile.Close();
  if (ok) ok = ReplaceFileWith(FTempName, FTarget);
  const DWORD err = GetLastError();
  if (ok) FTempName.clear();  // it is the target now
  Discard();
  ::SetLastError(ok ? ERROR_SUCCESS : err);
  return ok;
}

void ReplacementFile::Discard() noexcept {
  FFile.Close();
  if (!FTempName.empty()) {
    DeleteFileW(W(FTempName));
    FTempName.clear();
  }
  FTarget.clear();
}

bool FileLock::Acquire(StringView target, std::uint32_t timeoutMs) {
  Release();
  FName = String(target) + u".lock";
  const DWORD start = GetTickCount();
  DWORD pauseMs = 1;
  for (;;) {
    // Deleted by the system when the handle closes, also when the process ends.
    HANDLE h = CreateFileW(W(FName), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      FHandle = reinterpret_cast<std::intptr_t>(h);
      ::SetLastError(ERROR_SUCCESS);
      return true;
    }
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) {
      // Held by another, or left behind by a system that stopped: a lock
      // file nobody holds can be opened, and an empty one is taken away.
      HANDLE other = CreateFileW(W(FName), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (other != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size{};
        const bool empty = GetFileSizeEx(other, &size) && size.QuadPart == 0;
        CloseHandle(other);
        if (!empty) {
          ::SetLastError(kErrorNotALockFile);
          return false;
        }
        DeleteFileW(W(FName));
        continue;
      }
    } else if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) {
      // (Access is denied while the lock file of another is being deleted.)
      return false;
    }
    if (GetTickCount() - start >= timeoutMs) {
      ::SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
    Sleep(pauseMs + GetCurrentProcessId() % 3);
    pauseMs = pauseMs * 2 > 25 ? 25 : pauseMs * 2;
  }
}

void FileLock::Release() noexcept {
  if (FHandle == -1) return;
  CloseHandle(H(FHandle));
  FHandle = -1;
}

}  // namespace kv::platform

#include "platform/Clock.h"

namespace kv::platform {

std::vector<DirEntry> FindEntries(StringView pattern) {
  std::vector<DirEntry> result;
  const String p(pattern);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(W(p), &fd);
  if (h == INVALID_HANDLE_VALUE) return result;
  do {
    DirEntry e;
    e.Name = reinterpret_cast<const char16_t*>(fd.cFileName);
    e.IsDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.Size = e.IsDirectory ? 0 : static_cast<std::int64_t>((std::uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    result.push_back(std::move(e));
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return result;
}

bool GetFileLastWriteTime(StringView name, LocalDateTime* time) {
  const String n(name);
  // Opening the file follows links, as the attributes of the name would not.
  HANDLE h = CreateFileW(W(n), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME ft, local;
  SYSTEMTIME st;
  const bool ok = GetFileTime(h, nullptr, nullptr, &ft) && FileTimeToLocalFileTime(&ft, &local) &&
                  FileTimeToSystemTime(&local, &st);
  CloseHandle(h);
  if (!ok) return false;
  *time = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return true;
}

bool CreateSingleDirectory(StringView dir) {
  const String d(dir);
  return CreateDirectoryW(W(d), nullptr) != 0;
}

bool RemoveEmptyDirectory(StringView dir) {
  const String d(dir);
  return RemoveDirectoryW(W(d)) != 0;
}

bool MoveFileTo(StringView from, StringView to) {
  const String a(from), b(to);
  return MoveFileW(W(a), W(b)) != 0;
}

String TempPath() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH, buf);
  if (n == 0 || n > MAX_PATH) return String();
  return String(reinterpret_cast<const char16_t*>(buf), n);
}

}  // namespace kv::platform
