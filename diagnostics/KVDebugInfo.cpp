#include "diagnostics/KVDebugInfo.h"

#include <memory>
#include <mutex>

#include "platform/StackWalk.h"

namespace kv {

namespace {

constexpr int kAddressDigits = 2 * sizeof(std::uintptr_t);

// " + $1A", or " - $1A" when the address lies before the start.
String ByteOffset(std::uintptr_t address, std::uintptr_t start) {
  String s(address >= start ? u" + $" : u" - $");
  s += HexDigits(address >= start ? address - start : start - address, 0);
  return s;
}

String WithoutFolder(StringView path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return String(slash == StringView::npos ? path : path.substr(slash + 1));
}

String WithoutExtension(StringView name) {
  std::size_t dot = name.find_last_of(u'.');
  return String(dot == StringView::npos || dot == 0 ? name : name.substr(0, dot));
}

// A module's map, read the first time one of its addresses is named and kept
// for the life of the process (entries are never removed, so a pointer to one
// stays valid without the lock).
struct TModuleSymbols {
  std::uintptr_t Base = 0;
  String Name;
  TMapFile Map;
};

class TSymbolCache {
 public:
  const TModuleSymbols* Find(std::uintptr_t address) {
    platform::ModuleInfo m;
    if (!platform::FindModule(address, &m)) return nullptr;
    std::lock_guard<std::mutex> lock(FLock);
    for (const auto& s : FModules)
      if (s->Base == m.Base) return s.get();
    auto s = std::make_unique<TModuleSymbols>();
    s->Base = m.Base;
    s->Name = WithoutFolder(m.FileName);
    s->Map.LoadFromFile(MapFileName(m.FileName), m.BuildId);
    FModules.push_back(std::move(s));
    return FModules.back().get();
  }

 private:
  std::mutex FLock;
  std::vector<std::unique_ptr<TModuleSymbols>> FModules;
};

TSymbolCache& Symbols() {
  // Never destroyed: threads may still name frames while the process ends.
  static TSymbolCache* cache = new TSymbolCache;
  return *cache;
}

}  // namespace

void LocateInMap(const TMapFile& map, std::uintptr_t address, bool isReturnAddress, TFrameInfo& info) {
  std::uintptr_t lookup = isReturnAddress && address > info.ModuleBase ? address - 1 : address;
  std::uint64_t rel = lookup - info.ModuleBase;
  const TMapFile::TProcedure* p = map.FindProcedure(rel);
  if (p) {
    info.HasProcedure = true;
    info.ProcedureName = FromUtf8(p->Name);
    info.UnitName = WithoutExtension(FromUtf8(map.FileName(p->File)));
    info.ProcedureStart = info.ModuleBase + static_cast<std::uintptr_t>(p->Start);
  }
  const TMapFile::TLineRecord* l = map.FindLine(rel);
  // A line record before the procedure belongs to code without a procedure
  // of its own in the map, not to this one.
  if (l && (!p || l->Address >= p->Start)) {
    info.HasLine = true;
    info.Line = l->Line;
    info.SourceName = FromUtf8(map.FileName(l->File));
    info.LineStart = info.ModuleBase + static_cast<std::uintptr_t>(l->Address);
    if (p && p->File >= 0 && p->File == l->File && p->FirstLine > 0 && l->Line >= p->FirstLine)
      info.ProcedureFirstLine = p->FirstLine;
  }
}

TFrameInfo LocateAddress(std::uintptr_t address, bool isReturnAddress) {
  TFrameInfo info;
  info.Address = address;
  if (const TModuleSymbols* s = Symbols().Find(address)) {
    info.ModuleName = s->Name;
    info.ModuleBase = s->Base;
    LocateInMap(s->Map, address, isReturnAddress, info);
  }
  return info;
}

String FormatStackLine(const TFrameInfo& info) {
  String line = u"(";
  line += HexDigits(info.Address - info.ModuleBase - 4096, kAddressDigits);
  line += u"){";
  line += info.ModuleName;
  if (info.ModuleName.size() < 12) line.append(12 - info.ModuleName.size(), u' ');
  line += u"} [";
  line += HexDigits(info.Address, kAddressDigits);
  line += u"]";
  if (!info.HasProcedure) return line;
  StringView procedure = info.ProcedureName;
  if (!info.UnitName.empty() && procedure.size() > info.UnitName.size() &&
      procedure.substr(0, info.UnitName.size()) == info.UnitName && procedure[info.UnitName.size()] == u'.')
    procedure.remove_prefix(info.UnitName.size() + 1);
  line += u" ";
  if (!info.UnitName.empty()) {
    line += info.UnitName;
    line += u".";
  }
  line += procedure;
  if (!info.HasLine) return line + ByteOffset(info.Address, info.ProcedureStart);
  line += u" (Line ";
  line += IntToStr(info.Line);
  line += u", \"";
  line += info.SourceName;
  line += u"\"";
  if (info.ProcedureFirstLine > 0) {
    line += u" + ";
    line += IntToStr(info.Line - info.ProcedureFirstLine);
  }
  line += u")";
  line += ByteOffset(info.Address, info.LineStart);
  return line;
}

std::vector<String> StackLines(const std::uintptr_t* frames, int count, bool firstIsExact) {
  std::vector<String> lines;
  lines.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i)
    lines.push_back(FormatStackLine(LocateAddress(frames[i], !(i == 0 && firstIsExact))));
  return lines;
}

String MapFileName(StringView moduleFileName) {
  std::size_t slash = moduleFileName.find_last_of(u"\\/");
  std::size_t dot = moduleFileName.find_last_of(u'.');
  bool hasExtension = dot != StringView::npos && (slash == StringView::npos || dot > slash + 1);
  return String(hasExtension ? moduleFileName.substr(0, dot) : moduleFileName) + u".map";
}

}  // namespace kv
