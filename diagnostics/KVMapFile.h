// The symbol map of a module: the file the build writes beside every program
// (same path, extension ".map") from the linked program's debug information,
// so that a stripped program still names the procedures, source files and
// lines of its stack frames. One format for the Windows and the Linux
// builds, written by tools/make-map.py:
//
//   KVMAP 1 <build id, or ->             first line: format and the module's build id
//   F <file name>                         source files, numbered from 0 in order
//   P <start> <size> <file> <line> <name> procedures: start and size in hex,
//                                         relative to the module's image base;
//                                         the file (or -) and first line of the
//                                         procedure; its readable qualified name
//   L <address> <line> <file>             line records: from this address on
//                                         (hex, relative) the code is of that
//                                         line; line 0 ends a run of lines
//   END <files> <procedures> <lines>      last line: the counts, so that a
//                                         truncated map is known as such
//
// A map that is not of this format, is truncated or damaged in any record, or
// carries another build id than the module gives no symbols at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Base.h"

namespace kv {

class TMapFile {
 public:
  struct TProcedure {
    std::uint64_t Start = 0, Size = 0;
    int File = -1;  // -1: unknown
    int FirstLine = 0;
    std::string Name;
  };
  struct TLineRecord {
    std::uint64_t Address = 0;
    int Line = 0;  // 0: no line from here on
    int File = -1;
  };

  // Reads the map's text. False, with the map left empty, when the text is
  // not a map, is truncated or damaged, or when expectedBuildId is not empty
  // and the map was written for another build.
  bool Parse(std::string_view text, std::string_view expectedBuildId = {});
  // Parse of the file's content; false when the file cannot be read.
  bool LoadFromFile(StringView fileName, std::string_view expectedBuildId = {});

  bool Empty() const { return FProcedures.empty() && FLines.empty(); }
  const std::string& BuildId() const { return FBuildId; }
  // The procedure that holds the relative address, or nullptr.
  const TProcedure* FindProcedure(std::uint64_t address) const;
  // The line record that covers the relative address, or nullptr.
  const TLineRecord* FindLine(std::uint64_t address) const;
  // The source file's name; empty for an unknown index.
  const std::string& FileName(int index) const;

  const std::vector<TProcedure>& Procedures() const { return FProcedures; }
  const std::vector<TLineRecord>& Lines() const { return FLines; }

 private:
  void Clear();
  std::string FBuildId;
  std::vector<std::string> FFiles;
  std::vector<TProcedure> FProcedures;
  std::vector<TLineRecord> FLines;
};

}  // namespace kv
