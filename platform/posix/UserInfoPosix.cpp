#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/UserInfo.h"

namespace kv::platform {

namespace {

// The account name of a user id or the entry of a name, through the
// reentrant lookups; false when the user database has no such entry.
template <class Lookup>
bool FindAccount(Lookup lookup, std::string& name) {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 1024);
  for (;;) {
    passwd pw{};
    passwd* found = nullptr;
    const int rc = lookup(&pw, buf.data(), buf.size(), &found);
    if (rc == ERANGE && buf.size() < (1u << 20)) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc != 0 || !found || !found->pw_name) return false;
    name = found->pw_name;
    return true;
  }
}

bool AccountOfUid(uid_t uid, std::string& name) {
  return FindAccount([uid](passwd* pw, char* b, size_t n, passwd** r) { return ::getpwuid_r(uid, pw, b, n, r); },
                     name);
}

// The host's domain or name, or empty when the system cannot tell.
String HostDomainOrEmpty() {
  try {
    return HostDomainOrName();
  } catch (const Exception&) {
    return String();
  }
}

}  // namespace

bool QueryWorkstationUser(WorkstationUser& user) {
  std::string name;
  if (!AccountOfUid(::getuid(), name) || name.empty()) return false;
  user.UserName = FromUtf8(name);
  user.LogonDomain = HostDomainOrEmpty();
  return true;
}

String SystemUserName() {
  std::string name;
  if (!AccountOfUid(::geteuid(), name) || name.empty())
    throw EOSError(u"The name of user id " + IntToStr(static_cast<std::int64_t>(::geteuid())) +
                       u" is not in the user database",
                   ENOENT);
  return FromUtf8(name);
}

String AccountDomain(StringView userName) {
  const std::string wanted = ToUtf8(userName);
  std::string name;
  const bool known = !wanted.empty() &&
                     FindAccount([&wanted](passwd* pw, char* b, size_t n, passwd** r) {
                       return ::getpwnam_r(wanted.c_str(), pw, b, n, r);
                     },
                                 name);
  return known ? HostDomainOrEmpty() : String();
}

String ComputerName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
    throw EOSError(u"The host name is not available", static_cast<std::uint32_t>(errno));
  std::string name(buf);
  name = name.substr(0, name.find('.'));
  return FromUtf8(name);
}

String HostDomainOrName() {
  char buf[256] = {};
  if (::getdomainname(buf, sizeof buf - 1) == 0 && buf[0] && std::string(buf) != "(none)") return FromUtf8(buf);
  return ComputerName();
}

}  // namespace kv::platform
