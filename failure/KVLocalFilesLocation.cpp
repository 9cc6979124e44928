#include "failure/KVLocalFilesLocation.h"

#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "system/KVRegistry.h"
#include "system/kvInstRegistry.h"
#include "text/KVTypes.h"
#include "text/_4Files.h"
#include "ui/KVForms.h"

namespace kv {

const TRecordLocalPathLocation LocalPathLocations[2] = {{cMyDocuments, u"MyDocuments"}, {cAPPDATA, u"APPDATA"}};

String PersonalDirOverride;
bool UseMachineRegistry = false;

namespace {

constexpr std::int32_t CSIDL_PERSONAL = 5, CSIDL_LOCAL_APPDATA = 28;
constexpr int kCurrentUserIndex = 2;

// "C:" of "C:\x", "\\server\share" of a network path; empty when the name
// has no drive.
String DrivePart(const String& FileName) {
  if (FileName.size() >= 2 && FileName[1] == u':') return FileName.substr(0, 2);
  if (FileName.size() >= 2 && FileName[0] == u'\\' && FileName[1] == u'\\') {
    std::size_t p = FileName.find(u'\\', 2);
    if (p != String::npos) p = FileName.find(u'\\', p + 1);
    return FileName.substr(0, p);
  }
  return {};
}

}  // namespace

String GetPersonalFolderFromRegistry(const String& FileName) {
  String drive = DrivePart(FileName);
  const String fallback = (drive.empty() ? drive : AddTrailingBackslash(drive)) + u"Personal";
  String result = ReadInstRegistryString(kCurrentUserIndex, u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                         u"Personal", fallback);
  if (result.empty())
    result = ReadInstRegistryString(kCurrentUserIndex,
                                    u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                    u"Personal", fallback);
  return result;
}

String GetPersonalFolder() {
  const String current = platform::GetCurrentDir();
  String result = GetSpecialFolderPath(CSIDL_PERSONAL, false);
  if (result.empty()) result = GetPersonalFolderFromRegistry(current);
  return ExcludeTrailingSlashes(result, false);
}

String GetLocalFilesFolder(const String& Default, TLocalPathLocation Location) {
  return GetLocalFilesFolderFor(platform::ModuleFileName(), Default, Location);
}

String GetLocalFilesFolderFor(const String& ProgramFile, const String& Default, TLocalPathLocation Location) {
  const TRegRoot root = UseMachineRegistry ? platform::kHiveLocalMachine : platform::kHiveCurrentUser;
  String result;
  if (!PersonalDirOverride.empty()) {
    result = ExcludeTrailingSlashes(ExtractPathUpToDelimiter(PersonalDirOverride, u"\\:"), false);
  } else if (platform::CasedTextIs(ExtractFileName(ProgramFile), u"LBX.EXE", true) &&
             RegistryValueExists(root, kPersonalDirKey, kPersonalDirValue)) {
    result = ReadRegistryStringDef(root, kPersonalDirKey, kPersonalDirValue, u"");
  } else if (Location == cMyDocuments) {
    result = ExcludeTrailingSlashes(GetSpecialFolderPath(CSIDL_PERSONAL, false), false);
  } else {
    result = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA, false);
  }
  return result.empty() ? Default : result;
}

void CheckWindowsVersionWith(const platform::TWindowsVersion& Version,
                             const std::function<void(const String& Text, const String& Caption)>& ShowBox,
                             const std::function<void(int ExitCode)>& Exit) {
  if (Version.Major > 6 || (Version.Major == 6 && Version.Minor >= 1)) return;
  ShowBox(u"You need a newer Version of the Windows Operation System\r\nto run Orvalis Nexora", u"Orvalis Nexora");
  Exit(0);
}

void CheckWindowsVersion() {
  CheckWindowsVersionWith(
      platform::WindowsVersion(),
      [](const String& Text, const String& Caption) {
        // Owned by the application window, which the forms module records
        // later; the check does not wait for that.
        constexpr std::uint32_t MB_OK = 0, MB_ICONERROR = 0x10;
        platform::ShowSystemMessageBox(Application().Handle(), Text, Caption, MB_OK | MB_ICONERROR);
      },
      [](int ExitCode) { platform::ExitProcess(static_cast<std::uint32_t>(ExitCode)); });
}

}  // namespace kv
