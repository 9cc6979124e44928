#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/CodePages.h"
#include "platform/ShellFolders.h"
#include "platform/posix/PosixPath.h"

namespace kv::platform {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v == '/' ? std::string(v) : fallback;
}

// A folder of user-dirs.dirs (XDG_DOCUMENTS_DIR="$HOME/Documents").
std::string UserDir(const char* key, const char* fallback) {
  const std::string home = HomeFolder();
  std::ifstream in(UserConfigFolder() + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = std::string(key) + "=\"";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string v = line.substr(prefix.size());
    if (!v.empty() && v.back() == '"') v.pop_back();
    if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
    if (!v.empty() && v[0] == '/') return v;
  }
  return home.empty() ? std::string() : home + "/" + fallback;
}

}  // namespace

std::string HomeFolder() {
  const char* h = std::getenv("HOME");
  if (h && *h) return h;
  const passwd* pw = ::getpwuid(::getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "";
}

std::string UserConfigFolder() { return EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config"); }

String SpecialFolderPath(int csidl) {
  const std::string home = HomeFolder();
  switch (csidl) {
    case kCsidlDesktop: return WindowsStylePath(UserDir("XDG_DESKTOP_DIR", "Desktop"));
    case kCsidlPersonal: return WindowsStylePath(UserDir("XDG_DOCUMENTS_DIR", "Documents"));
    case kCsidlAppData: return home.empty() ? String() : WindowsStylePath(UserConfigFolder());
    case kCsidlLocalAppData: return home.empty() ? String() : WindowsStylePath(EnvOr("XDG_DATA_HOME", home + "/.local/share"));
    case kCsidlCommonAppData: return ProgramDataFolder();
    case kCsidlProfile: return WindowsStylePath(home);
    default: return String();
  }
}

String ProgramDataFolder() { return WindowsStylePath(EnvOr("KV_PROGRAMDATA", "/var/lib")); }

}  // namespace kv::platform
