// What is known about a code address (module, unit, procedure, source line),
// from the symbol map beside its module, and the stack line that names it in
// failure reports and logs.
#pragma once

#include <cstdint>
#include <vector>

#include "diagnostics/KVMapFile.h"
#include "platform/Base.h"

namespace kv {

struct TFrameInfo {
  std::uintptr_t Address = 0;
  // The module: its file name without folder (empty when the address lies in
  // none) and its image base.
  String ModuleName;
  std::uintptr_t ModuleBase = 0;
  // The procedure, when the map knows it: the unit (its source file's name
  // without folder and extension; empty when unknown), its readable
  // qualified name and start address.
  bool HasProcedure = false;
  String UnitName, ProcedureName;
  std::uintptr_t ProcedureStart = 0;
  // The source line, when the map knows it: the line, the source file's name
  // and where the line's code starts; the procedure's first line when the
  // line lies in the procedure's own file (0 otherwise).
  bool HasLine = false;
  int Line = 0;
  String SourceName;
  std::uintptr_t LineStart = 0;
  int ProcedureFirstLine = 0;
};

// Fills the procedure and line of info from a module's map. Return addresses
// are looked up one byte before themselves, inside the call instruction, so
// that a call ending a line or a procedure is named by it.
void LocateInMap(const TMapFile& map, std::uintptr_t address, bool isReturnAddress, TFrameInfo& info);

// The module of the address and what the map beside it tells. Maps are read
// once per module, when first needed, and kept.
TFrameInfo LocateAddress(std::uintptr_t address, bool isReturnAddress);

// The failure report's line of a frame, in one of three forms:
//   (VA){Module      } [Address] Unit.Procedure (Line N, "File" + L) + $Offset
//   (VA){Module      } [Address] Unit.Procedure + $Offset
//   (VA){Module      } [Address]
// VA is the address less the module's image base less 4096; addresses have
// the pointer's width in upper-case hexadecimal (eight digits in the 32-bit
// program, sixteen in the 64-bit ones). " + L" counts lines from the
// procedure's first line; the offset counts bytes from the start of the line
// (form 1) or the procedure (form 2), " - $x" when before it.
String FormatStackLine(const TFrameInfo& info);

// The lines of a stack, innermost frame first. Every address but the first
// is a return address; the first too unless firstIsExact (a fault's).
std::vector<String> StackLines(const std::uintptr_t* frames, int count, bool firstIsExact);

// The map file of a module: the same path with the extension ".map".
String MapFileName(StringView moduleFileName);

}  // namespace kv
