// The registry store on Linux: one .reg file per hive (see Registry.h).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
  bool Broken = false;  // the file is not a registry file: nothing may overwrite it
};

struct Snapshot {
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

std::string HiveFolder(RegHandle hive) {
  String dir = GetEnvVar(u"KV_REGISTRY_DIR");
  if (!dir.empty()) return EncodeUtf8(dir);
  if (hive == kHiveCurrentUser) {
    return UserConfigFolder() + "/kv-registry";
  }
  return "/var/lib/kv-registry";
}

std::string HiveFile(RegHandle hive) { return HiveFolder(hive) + "/" + EncodeUtf8(HiveName(hive)) + ".reg"; }

std::shared_ptr<const HiveData> Parse(const std::string& bytes, RegHandle hive) {
  auto data = std::make_shared<HiveData>();
  data->Keys[String()] = Node{};
  String text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = DecodeUtf16Le(std::string_view(bytes).substr(2));
  } else {
    text = DecodeUtf8Lenient(bytes);
  }
  std::vector<RegKeyRecord> keys;
  String error;
  if (!ParseRegText(text, &keys, &error)) {
    data->Broken = true;
    return data;
  }
  String prefix = HiveName(hive);
  for (auto& k : keys) {
    String path = k.Path;
    if (Fold(path.substr(0, prefix.size())) != Fold(prefix)) continue;  // another hive's key
    path.erase(0, prefix.size());
    if (!path.empty() && path[0] == u'\\') path.erase(0, 1);
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

// The hive as its file holds it now (the cached copy while the file is unchanged).
std::shared_ptr<const HiveData> Load(RegHandle hive) {
  std::string file = HiveFile(hive);
  struct stat st;
  Snapshot& snap = gCache[hive];
  if (::stat(file.c_str(), &st) != 0) {
    if (!snap.Data || snap.Size != -1) {
      auto empty = std::make_shared<HiveData>();
      empty->Keys[String()] = Node{};
      snap = Snapshot{};
      snap.Data = empty;
    }
    return snap.Data;
  }
  if (snap.Data && snap.Inode == st.st_ino && snap.Size == st.st_size && snap.MTime.tv_sec == st.st_mtim.tv_sec &&
      snap.MTime.tv_nsec == st.st_mtim.tv_nsec)
    return snap.Data;
  std::string bytes;
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
    ::close(fd);
  }
  snap.Inode = st.st_ino;
  snap.Size = st.st_size;
  snap.MTime = st.st_mtim;
  snap.Data = Parse(bytes, hive);
  return snap.Data;
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
  std::string bytes = EncodeUtf8(FormatRegText(keys));
  ReplacementFile f;
  if (!f.Create(FromUtf8(HiveFile(hive)))) return LastError();
  if (f.Handle().Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) != static_cast<std::int64_t>(bytes.size()))
    return LastError();
  if (!f.Commit()) return LastError();
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
      return;
    }
    FFd = ::open((HiveFile(hive) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (FFd < 0) {
      FError = errno == EACCES || errno == EPERM || errno == EROFS ? kErrorAccessDenied : kErrorPathNotFound;
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
  auto current = Load(hive);
  if (current->Broken) return kErrorBadDb;
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
  *key = 0;
  RegHandle hive;
  String base, path;
  if (!Resolve(parent, &hive, &base, nullptr)) return kErrorInvalidParameter;
  if (!Join(base, subKey, &path)) return kErrorBadPathname;
  auto data = Load(hive);
  if (data->Broken) return kErrorBadDb;
  auto it = data->Keys.find(Fold(path));
  if (it == data->Keys.end()) return kErrorFileNotFound;
  *key = NewHandle(hive, it->second.Path, access);
  return 0;
}

std::uint32_t RegCreate(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key, bool* created) {
  std::lock_guard<std::mutex> g(gMutex);
  *key = 0;
  if (created) *created = false;
  RegHandle hive;
  String base, path;
  if (!Resolve(parent, &hive, &base, nullptr)) return kErrorInvalidParameter;
  if (!Join(base, subKey, &path)) return kErrorBadPathname;
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
  RegHandle hive;
  String path;
  std::uint32_t access;
  if (!Resolve(key, &hive, &path, &access)) return kErrorInvalidParameter;
  if (!(access & kKeyQueryValue)) return kErrorAccessDenied;
  auto hd = Load(hive);
  auto k = hd->Keys.find(Fold(path));
  if (k == hd->Keys.end()) return kErrorKeyDeleted;
  auto v = k->second.Values.find(Fold(name));
  if (v == k->second.Values.end()) return kErrorFileNotFound;
  if (type) *type = v->second.Type;
  if (data) *data = v->second.Data;
  return 0;
}

std::uint32_t RegSet(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size) {
  std::lock_guard<std::mutex> g(gMutex);
  return Modify(key, kKeySetValue, [&](HiveData& hd, const String& path, bool& changed) -> std::uint32_t {
    auto k = hd.Keys.find(Fold(path));
    if (k == hd.Keys.end()) return kErrorKeyDeleted;
    auto* p = static_cast<const std::uint8_t*>(data);
    RegValueRecord v{String(name), type, std::vector<std::uint8_t>(p, p + size)};
    auto it = k->second.Values.find(Fold(name));
    if (it != k->second.Values.end()) v.Name = it->second.Name;  // the name keeps its first spelling
    k->second.Values[Fold(name)] = std::move(v);
    changed = true;
    return 0;
  });
}

std::uint32_t RegDeleteValueName(RegHandle key, StringView name) {
  std::lock_guard<std::mutex> g(gMutex);
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
  return Modify(key, 0, [&](HiveData& hd, const String& base, bool& changed) -> std::uint32_t {
    String path;
    if (!Join(base, subKey, &path)) return kErrorBadPathname;
    if (path.empty()) return kErrorAccessDenied;  // a hive cannot be deleted
    String folded = Fold(path);
    if (hd.Keys.find(folded) == hd.Keys.end()) return kErrorFileNotFound;
    for (auto it = hd.Keys.begin(); it != hd.Keys.end();) {
      if (it->first == folded || it->first.compare(0, folded.size() + 1, folded + u"\\") == 0)
        it = hd.Keys.erase(it);
      else
        ++it;
    }
    changed = true;
    return 0;
  });
}

namespace {

// The hive content and the path of an open key, for the listings.
std::uint32_t LoadForListing(RegHandle key, std::shared_ptr<const HiveData>* hd, String* path) {
  RegHandle hive;
  if (!Resolve(key, &hive, path, nullptr)) return kErrorInvalidParameter;
  *hd = Load(hive);
  return 0;
}

}  // namespace

std::uint32_t RegSubKeys(RegHandle key, std::vector<String>* names) {
  std::lock_guard<std::mutex> g(gMutex);
  names->clear();
  std::shared_ptr<const HiveData> hd;
  String path;
  if (std::uint32_t r = LoadForListing(key, &hd, &path)) return r;
  String prefix = path.empty() ? String() : Fold(path) + u"\\";
  for (const auto& [folded, node] : hd->Keys) {
    if (folded.empty() || folded.compare(0, prefix.size(), prefix) != 0) continue;
    if (folded.find(u'\\', prefix.size()) != String::npos) continue;
    names->push_back(node.Path.substr(node.Path.size() - (folded.size() - prefix.size())));
  }
  return 0;
}

std::uint32_t RegValueNames(RegHandle key, std::vector<String>* names) {
  std::lock_guard<std::mutex> g(gMutex);
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
