// Our reader of version resources in PE files: the resource directory of the
// file and the VS_VERSIONINFO block inside it.
#include <algorithm>
#include <cstring>

#include "platform/VersionInfo.h"

namespace kv::platform {

namespace {

// Little-endian reads that fail instead of reading past the end.
struct Bytes {
  std::string_view d;
  bool U16(std::size_t at, std::uint16_t* v) const {
    if (at > d.size() || d.size() - at < 2) return false;
    *v = static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8));
    return true;
  }
  bool U32(std::size_t at, std::uint32_t* v) const {
    std::uint16_t lo, hi;
    if (!U16(at, &lo) || !U16(at + 2, &hi)) return false;
    *v = lo | (std::uint32_t(hi) << 16);
    return true;
  }
};

constexpr std::uint32_t kRtVersion = 16;

struct Section {
  std::uint32_t VirtualAddress, VirtualSize, RawSize, RawPointer;
};

bool RvaToOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t size, std::size_t fileSize,
                 std::size_t* offset) {
  for (const Section& s : sections) {
    const std::uint32_t extent = std::max(s.VirtualSize, s.RawSize);
    if (rva < s.VirtualAddress || rva - s.VirtualAddress >= extent) continue;
    const std::uint64_t delta = rva - s.VirtualAddress;
    if (delta + size > s.RawSize) return false;
    const std::uint64_t at = std::uint64_t(s.RawPointer) + delta;
    if (at + size > fileSize) return false;
    *offset = static_cast<std::size_t>(at);
    return true;
  }
  return false;
}

// The first entry of a resource directory whose id is wantedId (any entry
// when wantedId is 0); its offset field, or false.
bool FindDirectoryEntry(const Bytes& b, std::size_t dirAt, std::uint32_t wantedId, std::uint32_t* offsetField) {
  std::uint16_t named, ids;
  if (!b.U16(dirAt + 12, &named) || !b.U16(dirAt + 14, &ids)) return false;
  const std::size_t count = std::size_t(named) + ids;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t name, offset;
    if (!b.U32(dirAt + 16 + 8 * i, &name) || !b.U32(dirAt + 20 + 8 * i, &offset)) return false;
    const bool isNamed = (name & 0x80000000u) != 0;
    if (wantedId == 0 || (!isNamed && name == wantedId)) {
      *offsetField = offset;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ExtractVersionResource(std::string_view file, std::string* block) {
  const Bytes b{file};
  std::uint16_t mz;
  std::uint32_t peAt, signature;
  if (!b.U16(0, &mz) || mz != 0x5A4D || !b.U32(0x3C, &peAt) || !b.U32(peAt, &signature) || signature != 0x4550)
    return false;
  const std::size_t coff = std::size_t(peAt) + 4;
  std::uint16_t sectionCount, optionalSize, magic;
  if (!b.U16(coff + 2, &sectionCount) || !b.U16(coff + 16, &optionalSize)) return false;
  const std::size_t optional = coff + 20;
  if (!b.U16(optional, &magic)) return false;
  std::size_t dirs, rvaCountAt;
  if (magic == 0x10B) {
    rvaCountAt = optional + 92;
    dirs = optional + 96;
  } else if (magic == 0x20B) {
    rvaCountAt = optional + 108;
    dirs = optional + 112;
  } else {
    return false;
  }
  std::uint32_t rvaCount, resourceRva, resourceSize;
  if (!b.U32(rvaCountAt, &rvaCount) || rvaCount < 3) return false;
  if (dirs + 3 * 8 > optional + optionalSize) return false;
  if (!b.U32(dirs + 2 * 8, &resourceRva) || !b.U32(dirs + 2 * 8 + 4, &resourceSize) || resourceRva == 0) return false;

  std::vector<Section> sections;
  const std::size_t table = optional + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    Section s;
    const std::size_t at = table + 40 * i;
    if (!b.U32(at + 8, &s.VirtualSize) || !b.U32(at + 12, &s.VirtualAddress) || !b.U32(at + 16, &s.RawSize) ||
        !b.U32(at + 20, &s.RawPointer))
      return false;
    sections.push_back(s);
  }
  std::size_t root;
  if (!RvaToOffset(sections, resourceRva, 16, file.size(), &root)) return false;

  // Three levels: type, name, language; the first name and language serve.
  std::size_t dir = root;
  std::uint32_t field = 0;
  const std::uint32_t wanted[3] = {kRtVersion, 0, 0};
  for (int level = 0; level < 3; ++level) {
    if (!FindDirectoryEntry(b, dir, wanted[level], &field)) return false;
    const bool isDirectory = (field & 0x80000000u) != 0;
    if (isDirectory != (level < 2)) return false;
    const std::size_t next = root + (field & 0x7FFFFFFFu);
    if (next < root || next >= file.size()) return false;
    dir = next;
  }
  std::uint32_t dataRva, dataSize;
  if (!b.U32(dir, &dataRva) || !b.U32(dir + 4, &dataSize)) return false;
  std::size_t dataAt;
  if (!RvaToOffset(sections, dataRva, dataSize, file.size(), &dataAt)) return false;
  block->assign(file.substr(dataAt, dataSize));
  return true;
}

namespace {

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t(3); }

// One node of the block tree: [begin, end) of the node, its key, its value.
struct Node {
  std::size_t Begin = 0, End = 0, ValueAt = 0, ValueLength = 0, ChildrenAt = 0;
  std::uint16_t Type = 0;
  String Key;
};

bool ReadNode(const Bytes& b, std::size_t at, std::size_t limit, Node* n) {
  std::uint16_t length, valueLength, type;
  if (!b.U16(at, &length) || !b.U16(at + 2, &valueLength) || !b.U16(at + 4, &type)) return false;
  if (length < 6 || at + length > limit) return false;
  n->Begin = at;
  n->End = at + length;
  n->Type = type;
  n->Key.clear();
  std::size_t p = at + 6;
  for (;;) {
    std::uint16_t c;
    if (p + 2 > n->End || !b.U16(p, &c)) return false;
    p += 2;
    if (c == 0) break;
    n->Key.push_back(static_cast<char16_t>(c));
  }
  n->ValueAt = Align4(p);
  // Text values count characters, binary ones bytes.
  n->ValueLength = type == 1 ? std::size_t(valueLength) * 2 : valueLength;
  if (n->ValueAt > n->End) n->ValueAt = n->End;
  if (n->ValueLength > n->End - n->ValueAt) n->ValueLength = n->End - n->ValueAt;
  n->ChildrenAt = Align4(n->ValueAt + n->ValueLength);
  return true;
}

template <typename F>
bool ForEachChild(const Bytes& b, const Node& parent, F f) {
  std::size_t at = parent.ChildrenAt;
  while (at + 6 <= parent.End) {
    Node child;
    if (!ReadNode(b, at, parent.End, &child)) return false;
    if (!f(child)) return false;
    at = Align4(child.End);
  }
  return true;
}

String TextAt(const Bytes& b, std::size_t at, std::size_t end) {
  String s;
  std::uint16_t c;
  while (at + 2 <= end && b.U16(at, &c) && c != 0) {
    s.push_back(static_cast<char16_t>(c));
    at += 2;
  }
  return s;
}

}  // namespace

bool ParseVersionBlock(std::string_view block, VersionInfoReader* out) {
  const Bytes b{block};
  Node root;
  if (!ReadNode(b, 0, block.size(), &root) || root.Key != u"VS_VERSION_INFO") return false;
  *out = VersionInfoReader();
  std::uint32_t signature;
  if (root.ValueLength >= 52 && b.U32(root.ValueAt, &signature) && signature == 0xFEEF04BD) {
    out->FHasFixed = b.U32(root.ValueAt + 8, &out->FVersionMS) && b.U32(root.ValueAt + 12, &out->FVersionLS);
  }
  const bool ok = ForEachChild(b, root, [&](const Node& group) {
    if (group.Key == u"StringFileInfo") {
      return ForEachChild(b, group, [&](const Node& table) {
        return ForEachChild(b, table, [&](const Node& str) {
          // Some tools count the value's bytes, others its characters:
          // read the text up to its terminating zero within the node.
          out->FStrings.push_back({table.Key, str.Key, TextAt(b, str.ValueAt, str.End)});
          return true;
        });
      });
    }
    if (group.Key == u"VarFileInfo") {
      return ForEachChild(b, group, [&](const Node& var) {
        if (var.Key == u"Translation")
          for (std::size_t p = var.ValueAt; p + 4 <= var.ValueAt + var.ValueLength; p += 4) {
            std::uint32_t t;
            if (b.U32(p, &t)) out->FTranslations.push_back(t);
          }
        return true;
      });
    }
    return true;
  });
  out->FHasInfo = ok;
  return ok;
}

String VersionInfoReader::QueryString(StringView table, StringView name) const {
  for (const Entry& e : FStrings)
    if (EqualsIgnoringAsciiCase(e.Table, table) && EqualsIgnoringAsciiCase(e.Name, name)) return e.Value;
  return String();
}

void SetBuildVersion(VersionInfoReader* out, StringView versionText) {
  *out = VersionInfoReader();
  std::uint32_t part[4] = {};
  int i = 0;
  for (char16_t c : versionText) {
    if (c == u'.') {
      if (++i == 4) break;
    } else if (c >= u'0' && c <= u'9') {
      part[i] = part[i] * 10 + (c - u'0');
    }
  }
  out->FHasInfo = out->FHasFixed = true;
  out->FVersionMS = (part[0] << 16) | (part[1] & 0xFFFF);
  out->FVersionLS = (part[2] << 16) | (part[3] & 0xFFFF);
  out->FTranslations = {0x04B00407};
  out->FStrings.push_back({u"040704B0", u"FileVersion", String(versionText)});
}

bool VersionInfoReader::FixedFileVersion(std::uint32_t* ms, std::uint32_t* ls) const {
  if (!FHasFixed) return false;
  *ms = FVersionMS;
  *ls = FVersionLS;
  return true;
}

}  // namespace kv::platform
