// The registry store on Linux: one .reg file per hive (see Registry.h).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/posix/PosixPath.h"

namespace kv::platform {

namespace {

constexpr std::uint32_t kErrorBadPathname = 161;
constexpr std::uint32_t kErrorKeyDeleted = 1018;
constexpr std::uint32_t kErrorBadDb = 1009;

String Fold(StringView s) {
  const char16_t* up = UpperCaseTable();
  String f(s);
  for (auto& c : f) c = up[c];
  return f;
}

struct Node {
  String Path;  // below the hive, as first spelled
  std::map<String, RegValueRecord> Values;  // by folded name
};

// A hive's content: its keys by folded path ("" is the hive itself).
struct HiveData {
  std::map<String, Node> Keys;
  // Keys of other hives, or with paths no key can have, as the file holds
  // them: written back unchanged.
  std::vector<RegKeyRecord> Kept;
  // Why the file cannot be used (it cannot be read, or it is no registry
  // file): nothing may overwrite it then. Empty when it is sound.
  String Problem;
  std::uint32_t ProblemCode = 0;
};

struct Snapshot {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  struct timespec MTime = {};
  std::shared_ptr<const HiveData> Data;
};

struct OpenKey {
  RegHandle Hive;
  String Path;
  std::uint32_t Access;
};

std::mutex gMutex;
std::map<RegHandle, Snapshot> gCache;
std::map<RegHandle, std::unique_ptr<OpenKey>> gHandles;
thread_local String tDetail;

// Fails a call with the error number and the store's own account of it.
std::uint32_t Fail(std::uint32_t code, const String& detail) {
  tDetail = detail;
  return code;
}

std::string HiveFolder(RegHandle hive) {
  String dir = GetEnvVar(u"KV_REGISTRY_DIR");
  if (!dir.empty()) return EncodeUtf8(dir);
  if (hive == kHiveCurrentUser) {
    return UserConfigFolder() + "/kv-registry";
  }
  return "/var/lib/kv-registry";
}

std::string HiveFile(RegHandle hive) { return HiveFolder(hive) + "/" + EncodeUtf8(HiveName(hive)) + ".reg"; }

// The path below the hive of a key of the file, when it is one of this
// hive's (its name written out or short) and names a key: no empty part.
bool PathInHive(const String& full, RegHandle hive, String* path) {
  const size_t cut = full.find(u'\\');
  if (HiveFromName(StringView(full).substr(0, cut)) != hive) return false;
  *path = cut == String::npos ? String() : full.substr(cut + 1);
  if (path->empty()) return true;
  if ((*path)[0] == u'\\' || path->back() == u'\\' || path->find(u"\\\\") != String::npos) return false;
  for (size_t p = 0; p <= path->size();) {
    size_t slash = path->find(u'\\', p);
    if (slash == String::npos) slash = path->size();
    if (!IsStorableRegName(StringView(*path).substr(p, slash - p))) return false;
    p = slash + 1;
  }
  return true;
}

std::shared_ptr<HiveData> EmptyHive() {
  auto data = std::make_shared<HiveData>();
  data->Keys[String()] = Node{};
  return data;
}

std::shared_ptr<const HiveData> Parse(const std::string& bytes, RegHandle hive, const String& file) {
  auto data = EmptyHive();
  String text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = DecodeUtf16Le(std::string_view(bytes).substr(2));
  } else if (IsValidUtf8(bytes)) {
    text = DecodeUtf8Lenient(bytes);
  } else {
    data->Problem = file + u" is not a registry file: it is neither UTF-8 nor UTF-16; nothing is written to it";
    data->ProblemCode = kErrorBadDb;
    return data;
  }
  std::vector<RegKeyRecord> keys;
  String error;
  if (!ParseRegText(text, &keys, &error)) {
    data->Problem = file + u": " + error + u"; nothing is written to it until it is mended";
    data->ProblemCode = kErrorBadDb;
    return data;
  }
  for (auto& k : keys) {
    String path;
    if (!PathInHive(k.Path, hive, &path)) {
      data->Kept.push_back(std::move(k));
      continue;
    }
    // Every parent exists too.
    for (size_t p = path.find(u'\\'); p != String::npos; p = path.find(u'\\', p + 1)) {
      String parent = path.substr(0, p);
      data->Keys.emplace(Fold(parent), Node{parent, {}});
    }
    Node& n = data->Keys.emplace(Fold(path), Node{path, {}}).first->second;
    for (auto& v : k.Values) n.Values[Fold(v.Name)] = std::move(v);
  }
  return data;
}

// The hive as its file holds it now (the cached copy while the file is
// unchanged); a hive that cannot be used fails with its problem.
std::uint32_t Load(RegHandle hive, std::shared_ptr<const HiveData>* out) {
  const std::string file = HiveFile(hive);
  const String fileName = FromUtf8(file);
  Snapshot& snap = gCache[hive];
  auto unchanged = [&](const struct stat& st) {
    return snap.Data && snap.Device == st.st_dev && snap.Inode == st.st_ino && snap.Size == st.st_size &&
           snap.MTime.tv_sec == st.st_mtim.tv_sec && snap.MTime.tv_nsec == st.st_mtim.tv_nsec;
  };
  struct stat named;
  if (::stat(file.c_str(), &named) == 0 && unchanged(named)) {
    if (!snap.Data->Problem.empty()) return Fail(snap.Data->ProblemCode, snap.Data->Problem);
    *out = snap.Data;
    return 0;
  }
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      const std::uint32_t e = errno == EACCES || errno == EPERM ? kErrorAccessDenied : kErrorBadDb;
      return Fail(e, u"cannot read " + fileName + u": " + FromUtf8(std::strerror(errno)));
    }
    if (!snap.Data || snap.Size != -1) {
      snap = Snapshot{};
      snap.Data = EmptyHive();
    }
    *out = snap.Data;
    return 0;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail(kErrorBadDb, fileName + u" is not a file");
  }
  // The copy is known by what was read, not by the name, which a writer
  // may have given to a new file meanwhile.
  if (!unchanged(st)) {
    std::string bytes;
    char buf[65536];
    for (;;) {
      const bool injected = FileFaultStrikes(FileFault::Read);
      const ssize_t n = injected ? -1 : ::read(fd, buf, sizeof buf);
      if (n < 0 && !injected && errno == EINTR) continue;
      if (n < 0) {
        // Never taken for the end of the hive: what was read is not all of it.
        const String reason = injected ? SysErrorMessage(LastError()) : FromUtf8(std::strerror(errno));
        ::close(fd);
        snap = Snapshot{};
        return Fail(kErrorBadDb, u"cannot read " + fileName + u": " + reason + u"; nothing is written to it");
      }
      if (n == 0) break;
      bytes.append(buf, static_cast<size_t>(n));
    }
    snap.Device = st.st_dev;
    snap.Inode = st.st_ino;
    snap.Size = st.st_size;
    snap.MTime = st.st_mtim;
    snap.Data = Parse(bytes, hive, fileName);
  }
  ::close(fd);
  if (!snap.Data->Problem.empty()) return Fail(snap.Data->ProblemCode, snap.Data->Problem);
  *out = snap.Data;
  return 0;
}

std::uint32_t Save(RegHandle hive, const HiveData& data) {
  std::vector<RegKeyRecord> keys;
  for (const auto& [folded, node] : data.Keys) {
    if (folded.empty() && node.Values.empty()) continue;
    RegKeyRecord k;
    k.Path = HiveName(hive) + (node.Path.empty() ? String() : u"\\" + node.Path);
    for (const auto& [fv, v] : node.Values) k.Values.push_back(v);
    keys.push_back(std::move(k));
  }
  keys.insert(keys.end(), data.Kept.begin(), data.Kept.end());
  std::string bytes = EncodeUtf8(FormatRegText(keys));
  const String file = FromUtf8(HiveFile(hive));
  auto failed = [&](const char16_t* what) {
    const std::uint32_t e = LastError();
    return Fail(e, String(what) + file + u": " + SysErrorMessage(e));
  };
  ReplacementFile f;
  if (!f.Create(file)) return failed(u"cannot write ");
  if (f.Handle().Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) != static_cast<std::int64_t>(bytes.size()))
    return failed(u"cannot write ");
  if (!f.Commit()) return failed(u"cannot replace ");
  return 0;
}

// Holds the hive's write lock: changes are made one after the other, also
// between processes.
class WriteLock {
 public:
  explicit WriteLock(RegHandle hive) {
    std::string dir = HiveFolder(hive);
    if (!CreateDirectoryTree(FromUtf8(dir))) {
      FError = LastError();
      tDetail = u"cannot create the folder " + FromUtf8(dir) + u": " + SysErrorMessage(FError);
      return;
    }
    FFd = ::open((HiveFile(hive) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (FFd < 0) {
      FError = errno == EACCES || errno == EPERM || errno == EROFS ? kErrorAccessDenied : kErrorPathNotFound;
      tDetail = u"cannot lock " + FromUtf8(HiveFile(hive)) + u": " + FromUtf8(std::strerror(errno));
      return;
    }
    while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~WriteLock() {
    if (FFd >= 0) ::close(FFd);
  }
  std::uint32_t Error() const { return FError; }

 private:
  int FFd = -1;
  std::uint32_t FError = 0;
};

// Joins a key path and a subkey; false for an empty component ("a\\b", a
// leading or a doubled backslash), which names no key.
bool Join(const String& base, StringView sub, String* out) {
  String s(sub);
  while (!s.empty() && s.back() == u'\\') s.pop_back();
  if (s.empty()) {
    *out = base;
    return true;
  }
  if (s[0] == u'\\' || s.find(u"\\\\") != String::npos) return false;
  *out = base.empty() ? s : base + u"\\" + s;
  return true;
}

bool IsHive(RegHandle h) { return !HiveName(h).empty(); }

// The hive and path of a handle; false for an unknown handle.
bool Resolve(RegHandle h, RegHandle* hive, String* path, std::uint32_t* access) {
  if (IsHive(h)) {
    *hive = h;
    path->clear();
    if (access) *access = kKeyAllAccess;
    return true;
  }
  auto it = gHandles.find(h);
  if (it == gHandles.end()) return false;
  *hive = it->second->Hive;
  *path = it->second->Path;
  if (access) *access = it->second->Access;
  return true;
}

RegHandle NewHandle(RegHandle hive, const String& path, std::uint32_t access) {
  auto k = std::make_unique<OpenKey>(OpenKey{hive, path, access});
  RegHandle h = reinterpret_cast<RegHandle>(k.get());
  gHandles[h] = std::move(k);
  return h;
}

// A change of one key under the write lock, saved when it succeeds.
template <typename Change>
std::uint32_t Modify(RegHandle key, std::uint32_t needAccess, Change change) {
  RegHandle hive;
  String path;
  std::uint32_t access;
  if (!Resolve(key, &hive, &path, &access)) return kErrorInvalidParameter;
  if ((access & needAccess) != needAccess) return kErrorAccessDenied;
  WriteLock lock(hive);
  if (lock.Error()) return lock.Error();
  std::shared_ptr<const HiveData> current;
  if (std::uint32_t r = Load(hive, &current)) return r;
  HiveData data = *current;
  bool changed = false;
  std::uint32_t r = change(data, path, changed);
  if (r || !changed) return r;
  r = Save(hive, data);
  if (r == 0) gCache.erase(hive);
  return r;
}

}  // namespace

std::uint32_t RegOpen(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  *key = 0;
  RegHandle hive;
  String base, path;
  if (!Resolve(parent, &hive, &base, nullptr)) return kErrorInvalidParameter;
  if (!Join(base, subKey, &path)) return kErrorBadPathname;
  std::shared_ptr<const HiveData> data;
  if (std::uint32_t r = Load(hive, &data)) return r;
  auto it = data->Keys.find(Fold(path));
  if (it == data->Keys.end()) return kErrorFileNotFound;
  *key = NewHandle(hive, it->second.Path, access);
  return 0;
}

std::uint32_t RegCreate(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key, bool* created) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  *key = 0;
  if (created) *created = false;
  RegHandle hive;
  String base, path;
  if (!Resolve(parent, &hive, &base, nullptr)) return kErrorInvalidParameter;
  if (!Join(base, subKey, &path)) return kErrorBadPathname;
  // A name the file could not hold is refused before the file is touched.
  String full;
  if (!PathInHive(HiveName(hive) + (path.empty() ? String() : u"\\" + path), hive, &full))
    return Fail(kErrorBadPathname, u"a key name with a line break, a zero character or an unpaired surrogate "
                                   u"cannot be stored");
  String stored = path;
  bool made = false;
  std::uint32_t r = Modify(hive, 0, [&](HiveData& data, const String&, bool& changed) -> std::uint32_t {
    for (size_t p = 0;;) {
      size_t slash = path.find(u'\\', p);
      String part = path.substr(0, slash);
      auto it = data.Keys.find(Fold(part));
      if (it == data.Keys.end()) {
        data.Keys.emplace(Fold(part), Node{part, {}});
        changed = true;
        made = slash == String::npos;
      } else if (slash == String::npos) {
        stored = it->second.Path;
      }
      if (slash == String::npos) break;
      p = slash + 1;
    }
    return 0;
  });
  if (r) return r;
  if (created) *created = made;
  *key = NewHandle(hive, stored, access);
  return 0;
}

void RegClose(RegHandle key) {
  std::lock_guard<std::mutex> g(gMutex);
  gHandles.erase(key);
}

std::uint32_t RegQuery(RegHandle key, StringView name, std::uint32_t* type, std::vector<std::uint8_t>* data) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  RegHandle hive;
  String path;
  std::uint32_t access;
  if (!Resolve(key, &hive, &path, &access)) return kErrorInvalidParameter;
  if (!(access & kKeyQueryValue)) return kErrorAccessDenied;
  std::shared_ptr<const HiveData> hd;
  if (std::uint32_t r = Load(hive, &hd)) return r;
  auto k = hd->Keys.find(Fold(path));
  if (k == hd->Keys.end()) return kErrorKeyDeleted;
  auto v = k->second.Values.find(Fold(name));
  if (v == k->second.Values.end()) return kErrorFileNotFound;
  if (type) *type = v->second.Type;
  if (data) *data = v->second.Data;
  return 0;
}

namespace {

// Sets a value under the write lock; with onlyNew, a value of that name
// makes it fail instead.
std::uint32_t SetValue(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size,
                       bool onlyNew) {
  tDetail.clear();
  if (!IsStorableRegName(name))
    return Fail(kErrorInvalidParameter, u"a value name with a line break, a zero character or an unpaired "
                                        u"surrogate cannot be stored");
  return Modify(key, kKeySetValue, [&](HiveData& hd, const String& path, bool& changed) -> std::uint32_t {
    auto k = hd.Keys.find(Fold(path));
    if (k == hd.Keys.end()) return kErrorKeyDeleted;
    auto* p = static_cast<const std::uint8_t*>(data);
    RegValueRecord v{String(name), type, std::vector<std::uint8_t>(p, p + size)};
    auto it = k->second.Values.find(Fold(name));
    if (it != k->second.Values.end()) {
      if (onlyNew) return kErrorFileExists;
      v.Name = it->second.Name;  // the name keeps its first spelling
    }
    k->second.Values[Fold(name)] = std::move(v);
    changed = true;
    return 0;
  });
}

}  // namespace

std::uint32_t RegSet(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size) {
  std::lock_guard<std::mutex> g(gMutex);
  return SetValue(key, name, type, data, size, false);
}

std::uint32_t RegSetNew(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size) {
  std::lock_guard<std::mutex> g(gMutex);
  return SetValue(key, name, type, data, size, true);
}

String RegErrorDetail() { return tDetail; }

std::uint32_t RegDeleteValueName(RegHandle key, StringView name) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  return Modify(key, kKeySetValue, [&](HiveData& hd, const String& path, bool& changed) -> std::uint32_t {
    auto k = hd.Keys.find(Fold(path));
    if (k == hd.Keys.end()) return kErrorKeyDeleted;
    if (k->second.Values.erase(Fold(name)) == 0) return kErrorFileNotFound;
    changed = true;
    return 0;
  });
}

std::uint32_t RegDeleteKeyTree(RegHandle key, StringView subKey) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  return Modify(key, 0, [&](HiveData& hd, const String& base, bool& changed) -> std::uint32_t {
    String path;
    if (!Join(base, subKey, &path)) return kErrorBadPathname;
    if (path.empty()) return kErrorAccessDenied;  // a hive cannot be deleted
    const String folded = Fold(path);
    if (hd.Keys.erase(folded) == 0) return kErrorFileNotFound;
    // Everything below it is one run of the sorted keys.
    const String below = folded + u"\\";
    auto from = hd.Keys.lower_bound(below);
    auto to = from;
    while (to != hd.Keys.end() && to->first.compare(0, below.size(), below) == 0) ++to;
    hd.Keys.erase(from, to);
    changed = true;
    return 0;
  });
}

namespace {

// The hive content and the path of an open key, for the listings.
std::uint32_t LoadForListing(RegHandle key, std::shared_ptr<const HiveData>* hd, String* path) {
  RegHandle hive;
  if (!Resolve(key, &hive, path, nullptr)) return kErrorInvalidParameter;
  return Load(hive, hd);
}

}  // namespace

std::uint32_t RegSubKeys(RegHandle key, std::vector<String>* names) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  names->clear();
  std::shared_ptr<const HiveData> hd;
  String path;
  if (std::uint32_t r = LoadForListing(key, &hd, &path)) return r;
  // The keys below path are one run of the sorted keys; the run of each
  // child's own subkeys is skipped in one step, so that listing all keys
  // one by one costs a search per key, not a walk through the hive.
  const String prefix = path.empty() ? String() : Fold(path) + u"\\";
  auto it = hd->Keys.lower_bound(prefix);
  while (it != hd->Keys.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
    const String& folded = it->first;
    if (folded.empty()) {
      ++it;
      continue;
    }
    const size_t deeper = folded.find(u'\\', prefix.size());
    if (deeper == String::npos) {
      const Node& node = it->second;
      names->push_back(node.Path.substr(node.Path.size() - (folded.size() - prefix.size())));
      ++it;
    } else {
      // Past every key that starts with this child's path and a backslash.
      it = hd->Keys.lower_bound(folded.substr(0, deeper) + static_cast<char16_t>(u'\\' + 1));
    }
  }
  return 0;
}

std::uint32_t RegValueNames(RegHandle key, std::vector<String>* names) {
  std::lock_guard<std::mutex> g(gMutex);
  tDetail.clear();
  names->clear();
  std::shared_ptr<const HiveData> hd;
  String path;
  if (std::uint32_t r = LoadForListing(key, &hd, &path)) return r;
  auto k = hd->Keys.find(Fold(path));
  if (k == hd->Keys.end()) return kErrorKeyDeleted;
  for (const auto& [f, v] : k->second.Values) names->push_back(v.Name);
  return 0;
}

}  // namespace kv::platform
