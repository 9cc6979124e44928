// Version resources of program files: the fixed file version, the
// translations and the version strings of each translation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Base.h"

namespace kv::platform {

// Reads the version information of one file at a time, as
// GetFileVersionInfoW and VerQueryValueW do. On Linux the version resource
// is read from the file's PE resource section by our own reader, and the
// running program (an ELF file) reports the build's version.
class VersionInfoReader {
 public:
  // Loads the version information of fileName, or of the running program
  // when it is empty; false when the file has none or cannot be read.
  bool Load(StringView fileName);
  bool HasInfo() const { return FHasInfo; }
  // The language (low word) and code page (high word) of each translation.
  const std::vector<std::uint32_t>& Translations() const { return FTranslations; }
  // The string named name in the table written as 8 hexadecimal digits
  // ("040704B0", letter case ignored); empty when missing.
  String QueryString(StringView table, StringView name) const;
  // The fixed file version's two words; false when there is none.
  bool FixedFileVersion(std::uint32_t* ms, std::uint32_t* ls) const;

 private:
  struct Entry {
    String Table, Name, Value;
  };
  bool FHasInfo = false;
  bool FHasFixed = false;
  std::uint32_t FVersionMS = 0, FVersionLS = 0;
  std::vector<std::uint32_t> FTranslations;
  std::vector<Entry> FStrings;

  friend bool ParseVersionBlock(std::string_view block, VersionInfoReader* out);
  friend void SetBuildVersion(VersionInfoReader* out, StringView versionText);
};

// The raw VS_VERSIONINFO resource of a PE file's bytes (32 or 64 bit);
// false when the file is not a PE file or has no version resource. Every
// offset is checked: damaged files give false, never a read out of bounds.
bool ExtractVersionResource(std::string_view peFile, std::string* block);
// Fills the reader from a VS_VERSIONINFO block; false when it is damaged.
bool ParseVersionBlock(std::string_view block, VersionInfoReader* out);
// Fills the reader with a version "a.b.c.d" as fixed version and as the
// FileVersion of the German Unicode translation.
void SetBuildVersion(VersionInfoReader* out, StringView versionText);

}  // namespace kv::platform
