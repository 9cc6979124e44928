// Who is running the program: the workstation's logged-on user, the
// account's name and domain, the computer's name.
#pragma once

#include "platform/Base.h"

namespace kv::platform {

struct WorkstationUser {
  String UserName;
  String LogonDomain;
};

// The user logged on at the local workstation and the domain of the logon
// (NetWkstaUserGetInfo, level 1); false when the query fails. On Linux the
// account of the process's real user id stands in, with the host's domain
// or name (see HostDomainOrName) as the logon domain; false when the account
// has no entry in the user database.
bool QueryWorkstationUser(WorkstationUser& user);

// The name of the calling user (GetUserNameW; Linux: the account name of the
// effective user id). Raises EOSError when the system cannot tell.
String SystemUserName();

// The domain in which the account is found (LookupAccountNameW on the local
// system; for a local account the computer's name). On Linux: for an account
// known to the user database, HostDomainOrName. Empty when the lookup fails.
String AccountDomain(StringView userName);

// GetComputerNameW; on Linux the host name up to its first dot. Raises
// EOSError when the system cannot tell.
String ComputerName();

// Linux only: the host's NIS domain when one is set, else ComputerName.
String HostDomainOrName();

}  // namespace kv::platform
