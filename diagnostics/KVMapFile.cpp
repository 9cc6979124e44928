#include "diagnostics/KVMapFile.h"

#include <algorithm>
#include <charconv>

#include "platform/Files.h"

namespace kv {

namespace {

// No map of ours comes near these; a bigger one is not read.
constexpr std::int64_t kMaxMapSize = 512ll * 1024 * 1024;
constexpr std::size_t kMaxNameLength = 64 * 1024;

// The fields of one record, split at single blanks; the last field (a name)
// may itself hold blanks.
class TFields {
 public:
  explicit TFields(std::string_view line) : FRest(line) {}
  bool Next(std::string_view* field) {
    if (FRest.empty()) return false;
    std::size_t blank = FRest.find(' ');
    *field = FRest.substr(0, blank);
    FRest = blank == std::string_view::npos ? std::string_view() : FRest.substr(blank + 1);
    return !field->empty();
  }
  std::string_view Rest() const { return FRest; }
  bool AtEnd() const { return FRest.empty(); }

 private:
  std::string_view FRest;
};

bool ParseHex(std::string_view s, std::uint64_t* v) {
  if (s.empty() || s.size() > 16) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), *v, 16);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseCount(std::string_view s, int* v) {
  if (s.empty() || s.size() > 10) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), *v, 10);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && *v >= 0;
}

bool ParseFileIndex(std::string_view s, int* v) {
  if (s == "-") {
    *v = -1;
    return true;
  }
  return ParseCount(s, v);
}

bool ValidName(std::string_view s) {
  if (s.empty() || s.size() > kMaxNameLength) return false;
  return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

void TMapFile::Clear() {
  FBuildId.clear();
  FFiles.clear();
  FProcedures.clear();
  FLines.clear();
}

bool TMapFile::Parse(std::string_view text, std::string_view expectedBuildId) {
  Clear();
  bool ended = false, headed = false;
  auto fail = [this] {
    Clear();
    return false;
  };
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ended) {
      if (!line.empty()) return fail();  // nothing may follow the end
      continue;
    }
    TFields f(line);
    std::string_view kind;
    if (!f.Next(&kind)) return fail();
    if (!headed) {
      std::string_view version, id;
      if (kind != "KVMAP" || !f.Next(&version) || version != "1" || !f.Next(&id) || !f.AtEnd()) return fail();
      if (id != "-") {
        if (id.size() > 128 || !std::all_of(id.begin(), id.end(), [](char c) {
              return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
            }))
          return fail();
        FBuildId.assign(id);
      }
      if (!expectedBuildId.empty() && !FBuildId.empty() && FBuildId != expectedBuildId) return fail();
      headed = true;
      continue;
    }
    if (kind == "F") {
      if (!ValidName(f.Rest())) return fail();
      FFiles.emplace_back(f.Rest());
    } else if (kind == "P") {
      std::string_view start, size, file, first;
      TProcedure p;
      if (!f.Next(&start) || !f.Next(&size) || !f.Next(&file) || !f.Next(&first) || !ParseHex(start, &p.Start) ||
          !ParseHex(size, &p.Size) || !ParseFileIndex(file, &p.File) || !ParseCount(first, &p.FirstLine) ||
          !ValidName(f.Rest()) || p.File >= static_cast<int>(FFiles.size()) || p.Start + p.Size < p.Start)
        return fail();
      p.Name.assign(f.Rest());
      FProcedures.push_back(std::move(p));
    } else if (kind == "L") {
      std::string_view address, number, file;
      TLineRecord l;
      if (!f.Next(&address) || !f.Next(&number) || !f.Next(&file) || !f.AtEnd() || !ParseHex(address, &l.Address) ||
          !ParseCount(number, &l.Line) || !ParseFileIndex(file, &l.File) || l.File >= static_cast<int>(FFiles.size()))
        return fail();
      FLines.push_back(l);
    } else if (kind == "END") {
      std::string_view a, b, c;
      int files = 0, procedures = 0, lines = 0;
      if (!f.Next(&a) || !f.Next(&b) || !f.Next(&c) || !f.AtEnd() || !ParseCount(a, &files) ||
          !ParseCount(b, &procedures) || !ParseCount(c, &lines) || files != static_cast<int>(FFiles.size()) ||
          procedures != static_cast<int>(FProcedures.size()) || lines != static_cast<int>(FLines.size()))
        return fail();
      ended = true;
    } else {
      return fail();
    }
  }
  if (!ended) return fail();
  // The build writes them sorted; a map edited by hand is sorted here.
  std::stable_sort(FProcedures.begin(), FProcedures.end(),
                   [](const TProcedure& a, const TProcedure& b) { return a.Start < b.Start; });
  std::stable_sort(FLines.begin(), FLines.end(),
                   [](const TLineRecord& a, const TLineRecord& b) { return a.Address < b.Address; });
  return true;
}

bool TMapFile::LoadFromFile(StringView fileName, std::string_view expectedBuildId) {
  Clear();
  platform::FileHandle f;
  if (!f.Open(fileName, platform::FileAccess::Read, platform::FileShare::Read,
              platform::FileDisposition::OpenExisting))
    return false;
  std::int64_t size = f.Size();
  if (size <= 0 || size > kMaxMapSize) return false;
  std::string text(static_cast<std::size_t>(size), '\0');
  std::int64_t done = 0;
  while (done < size) {
    std::int64_t n = f.Read(text.data() + done, size - done);
    if (n <= 0) return false;
    done += n;
  }
  return Parse(text, expectedBuildId);
}

const TMapFile::TProcedure* TMapFile::FindProcedure(std::uint64_t address) const {
  auto it = std::upper_bound(FProcedures.begin(), FProcedures.end(), address,
                             [](std::uint64_t a, const TProcedure& p) { return a < p.Start; });
  if (it == FProcedures.begin()) return nullptr;
  --it;
  return address - it->Start < std::max<std::uint64_t>(it->Size, 1) ? &*it : nullptr;
}

const TMapFile::TLineRecord* TMapFile::FindLine(std::uint64_t address) const {
  auto it = std::upper_bound(FLines.begin(), FLines.end(), address,
                             [](std::uint64_t a, const TLineRecord& l) { return a < l.Address; });
  if (it == FLines.begin()) return nullptr;
  --it;
  return it->Line > 0 ? &*it : nullptr;
}

const std::string& TMapFile::FileName(int index) const {
  static const std::string kNone;
  return index >= 0 && index < static_cast<int>(FFiles.size()) ? FFiles[static_cast<std::size_t>(index)] : kNone;
}

}  // namespace kv
