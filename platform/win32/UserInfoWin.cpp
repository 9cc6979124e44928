#include <windows.h>
#include <lm.h>

#include <vector>

#include "platform/UserInfo.h"
#include "platform/win32/WideText.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

namespace {
// The network API (and the libraries it needs) is loaded when first asked.
const LazyImport<decltype(&NetWkstaUserGetInfo)> netWkstaUserGetInfo("netapi32.dll", "NetWkstaUserGetInfo");
const LazyImport<decltype(&NetApiBufferFree)> netApiBufferFree("netapi32.dll", "NetApiBufferFree");
}  // namespace

bool QueryWorkstationUser(WorkstationUser& user) {
  LPBYTE buffer = nullptr;
  const NET_API_STATUS rc = netWkstaUserGetInfo(nullptr, 1, &buffer);
  if (rc != NERR_Success || !buffer) {
    if (buffer) netApiBufferFree(buffer);
    return false;
  }
  const auto* info = reinterpret_cast<const WKSTA_USER_INFO_1*>(buffer);
  user.UserName = FromWide(info->wkui1_username);
  user.LogonDomain = FromWide(info->wkui1_logon_domain);
  netApiBufferFree(buffer);
  return true;
}

String SystemUserName() {
  DWORD size = 0;
  GetUserNameW(nullptr, &size);
  if (size == 0) size = 257;
  std::vector<wchar_t> buf(size + 1);
  if (!GetUserNameW(buf.data(), &size)) throw EOSError(u"GetUserNameW failed", GetLastError());
  return FromWide(buf.data());
}

String AccountDomain(StringView userName) {
  const std::wstring name(userName.begin(), userName.end());
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use{};
  // The first call only learns the buffer sizes.
  LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0 || domainSize == 0) return String();
  std::vector<BYTE> sid(sidSize);
  std::vector<wchar_t> domain(domainSize + 1);
  if (!LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
    return String();
  return FromWide(domain.data());
}

String ComputerName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buf, &size)) throw EOSError(u"GetComputerNameW failed", GetLastError());
  return FromWide(buf);
}

String HostDomainOrName() { return ComputerName(); }

}  // namespace kv::platform
