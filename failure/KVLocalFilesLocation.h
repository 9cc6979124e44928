// Where the framework keeps the user's files on this computer: the user's
// documents folder with its registry fallbacks, the folder for local files
// (which a sibling viewer program may have set), and the start-up check that
// refuses Windows versions older than Windows 7.
#pragma once

#include <functional>

#include "platform/Base.h"
#include "platform/Process.h"

namespace kv {

enum TLocalPathLocation : std::uint8_t { cMyDocuments, cAPPDATA };

struct TRecordLocalPathLocation {
  TLocalPathLocation Index;
  StringView SaveValue;
};

// By location: the word each is stored under in settings.
extern const TRecordLocalPathLocation LocalPathLocations[2];

// When set, its folder part replaces every other rule of GetLocalFilesFolder.
extern String PersonalDirOverride;
// Read the sibling program's folder under HKEY_LOCAL_MACHINE instead of
// HKEY_CURRENT_USER.
extern bool UseMachineRegistry;

// The key and value of the sibling viewer program's personal folder.
inline constexpr StringView kPersonalDirKey = u"SOFTWARE\\Tarnwick\\Viewer\\KVPersonalDir";
inline constexpr StringView kPersonalDirValue = u"PersonalDir";

// The user's documents folder without trailing separators.
String GetPersonalFolder();
// The documents folder as the shell recorded it in the registry; the drive
// of FileName followed by "\Personal" when it recorded none.
String GetPersonalFolderFromRegistry(const String& FileName);
// The folder for local files of that kind, or Default when no rule gives one.
String GetLocalFilesFolder(const String& Default, TLocalPathLocation Location);
// The same for a program of that file name (GetLocalFilesFolder: the running one).
String GetLocalFilesFolderFor(const String& ProgramFile, const String& Default, TLocalPathLocation Location);

// Ends the process with exit code 0, after a message box, on Windows older
// than 7 (6.1). The version comes from the platform; elsewhere it passes.
void CheckWindowsVersion();
// The check with its parts given: the version, the box, the ending.
void CheckWindowsVersionWith(const platform::TWindowsVersion& Version,
                             const std::function<void(const String& Text, const String& Caption)>& ShowBox,
                             const std::function<void(int ExitCode)>& Exit);

}  // namespace kv
