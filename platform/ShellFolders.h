// The shell's special folders, named by their CSIDL numbers.
#pragma once

#include "platform/Base.h"

namespace kv::platform {

enum : int {
  kCsidlDesktop = 0x0000,
  kCsidlPersonal = 0x0005,
  kCsidlAppData = 0x001A,
  kCsidlLocalAppData = 0x001C,
  kCsidlCommonAppData = 0x0023,
  kCsidlProfile = 0x0028,
};

// SHGetSpecialFolderLocation and SHGetPathFromIDListW; empty when the shell
// knows no such folder. On Linux the XDG folders stand in: the documents and
// desktop folders of user-dirs.dirs, XDG_CONFIG_HOME for the roaming and
// XDG_DATA_HOME for the local application data, /var/lib for the machine's,
// and the home folder for the profile.
String SpecialFolderPath(int csidl);

// The machine-wide application data folder: SHGetKnownFolderPath of
// FOLDERID_ProgramData (usually C:\ProgramData); empty when the shell cannot
// give it. On Linux /var/lib, the machine's variable state, as for
// kCsidlCommonAppData; KV_PROGRAMDATA, when set to an absolute path, stands
// in for it (for installations without write access there).
String ProgramDataFolder();

}  // namespace kv::platform
