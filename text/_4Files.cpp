#include "text/_4Files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <typeinfo>

#include "platform/Clock.h"
#include "platform/CodePages.h"
#include "platform/Process.h"
#include "platform/ShellFolders.h"
#include "platform/VersionInfo.h"
#include "text/_4Sort.h"
#include "text/_4all.h"

namespace kv {

namespace {
// The 16-bit unit at p: low byte first, or high byte first when msbFirst.
inline char16_t UnitAt(const unsigned char* p, bool msbFirst) {
  return msbFirst ? static_cast<char16_t>((p[0] << 8) | p[1]) : static_cast<char16_t>(p[0] | (p[1] << 8));
}
}  // namespace

TUnicodeFileReader::TUnicodeFileReader(const String& FileName, bool ReadNormalFileAsUtf8)
    : FReadErrors(std::make_unique<TKVStringList>()) {
  Open(FileName);
  if (ReadNormalFileAsUtf8 && !FIsUTF8 && charSize == 1) FIsUTF8 = true;
}

TUnicodeFileReader::TUnicodeFileReader(std::unique_ptr<TStream> Source, bool ReadNormalFileAsUtf8)
    : FReadErrors(std::make_unique<TKVStringList>()) {
  Open(std::move(Source));
  if (ReadNormalFileAsUtf8 && !FIsUTF8 && charSize == 1) FIsUTF8 = true;
}

TUnicodeFileReader::~TUnicodeFileReader() { Close(); }

void TUnicodeFileReader::Close() { Stream.reset(); }

bool TUnicodeFileReader::Eof() const { return !Stream || Stream->Position() >= Stream->Size(); }

bool TUnicodeFileReader::HasUtf8Bom() {
  if (Stream->Size() < 3) return false;
  unsigned char b[3];
  Stream->ReadBuffer(b, 3);
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return true;
  Stream->SetPosition(0);
  return false;
}

void TUnicodeFileReader::Open(const String& FileName) {
  Close();
  Open(std::make_unique<TFileStream>(FileName, TFileMode::fmOpenRead));
}

void TUnicodeFileReader::Open(std::unique_ptr<TStream> Source) {
  Close();
  Stream = std::move(Source);
  Stream->SetPosition(0);
  charSize = 1;
  MSB_FIRST = false;
  FIsUTF8 = HasUtf8Bom();
  if (FIsUTF8) return;
  if (Stream->Size() < 2) return;
  unsigned char b[2];
  Stream->ReadBuffer(b, 2);
  if (b[0] == 0xFF && b[1] == 0xFE) {
    charSize = 2;
  } else if (b[0] == 0xFE && b[1] == 0xFF) {
    charSize = 2;
    MSB_FIRST = true;
  } else {
    Stream->SetPosition(0);
  }
}

bool TUnicodeFileReader::IsLineBreakA(std::uint8_t Ch, std::uint8_t Next) {
  return FSupportUnixLineBreak ? Ch == 10 : (Ch == 13 && Next == 10);
}

bool TUnicodeFileReader::IsLineBreakW(char16_t Ch, char16_t Next) {
  return FSupportUnixLineBreak ? Ch == 10 : (Ch == 13 && Next == 10);
}

bool TUnicodeFileReader::IsSkippedCharA(std::uint8_t Ch, std::uint8_t Next) {
  return Ch == 0 || (Next == 10 && FSupportUnixLineBreak && Ch == 13);
}

bool TUnicodeFileReader::IsSkippedCharW(char16_t Ch, char16_t Next) {
  return Ch == 0 || (Next == 10 && FSupportUnixLineBreak && Ch == 13);
}

std::uint8_t TUnicodeFileReader::ConvertCharA(std::uint8_t Ch) { return Ch; }
char16_t TUnicodeFileReader::ConvertCharW(char16_t Ch) { return Ch; }

// The reading walk through the hooks, one block of at most ReadBlockSize bytes
// at a time.
void TUnicodeFileReader::ReadLineHooked(std::string& bytes, String& units) {
  bool found = false;
  unsigned char block[ReadBlockSize];
  while (!found) {
    const std::int64_t blockStart = Stream->Position();
    const std::int64_t size = Stream->Size();
    const int count = static_cast<int>(std::min<std::int64_t>(size - blockStart, ReadBlockSize));
    if (count < 1) break;
    Stream->ReadBuffer(block, count);
    // The character after the block: the first of the file's next block.
    auto nextAfterBlock = [&]() -> char16_t {
      std::int64_t at = blockStart + count;
      if (at + charSize > size) return 0;
      unsigned char b[2];
      Stream->SetPosition(at);
      Stream->ReadBuffer(b, charSize);
      return charSize == 1 ? b[0] : UnitAt(b, MSB_FIRST);
    };
    int i = 0;
    for (; i <= count - charSize; i += charSize) {
      if (charSize == 1) {
        std::uint8_t ch = block[i];
        std::uint8_t next = i + 1 < count ? block[i + 1] : static_cast<std::uint8_t>(nextAfterBlock());
        ch = ConvertCharA(ch);
        if (IsLineBreakA(ch, next)) {
          found = true;
          Stream->SetPosition(blockStart + i + (FSupportUnixLineBreak ? 1 : 2));
          break;
        }
        if (!IsSkippedCharA(ch, next)) bytes += static_cast<char>(ch);
      } else {
        char16_t ch = UnitAt(block + i, MSB_FIRST);
        char16_t next = i + 3 < count ? UnitAt(block + i + 2, MSB_FIRST) : nextAfterBlock();
        ch = ConvertCharW(ch);
        if (IsLineBreakW(ch, next)) {
          found = true;
          Stream->SetPosition(blockStart + i + (FSupportUnixLineBreak ? 2 : 4));
          break;
        }
        if (!IsSkippedCharW(ch, next)) units += ch;
      }
    }
    if (!found) Stream->SetPosition(blockStart + count);
  }
}

// The same walk for the reader's own hooks in the default line-end mode:
// whole buffered runs are searched for the line feed.
void TUnicodeFileReader::ReadLineFastBytes(std::string& bytes) {
  bool ended = false;
  for (;;) {
    std::int64_t got = 0;
    const unsigned char* p = Stream->ReadView(64 * 1024, &got);
    if (got <= 0) break;
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(got));
    if (lf) {
      std::int64_t k = static_cast<const unsigned char*>(lf) - p;
      bytes.append(reinterpret_cast<const char*>(p), static_cast<size_t>(k));
      Stream->SetPosition(Stream->Position() - got + k + 1);
      ended = true;
      break;
    }
    bytes.append(reinterpret_cast<const char*>(p), static_cast<size_t>(got));
  }
  // A CR directly before the line feed is dropped, and every NUL.
  if (ended && !bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  if (bytes.find('\0') != std::string::npos) bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
}

void TUnicodeFileReader::ReadLineFastUnits(String& units) {
  bool ended = false;
  for (;;) {
    std::int64_t got = 0;
    const unsigned char* p = Stream->ReadView(64 * 1024, &got);
    if (got < 2) {
      if (got > 0) Stream->SetPosition(Stream->Size());  // a single byte left over is ignored
      break;
    }
    const std::int64_t n = got / 2;
    // The line feed unit: its 0x0A byte found by memchr, at a unit's low
    // byte (the second of big-endian units) with a zero high byte.
    const size_t lowByte = MSB_FIRST ? 1 : 0;
    std::int64_t k = n;
    const unsigned char* from = p + lowByte;
    const unsigned char* const end = p + 2 * n;
    while (from < end) {
      const auto* hit = static_cast<const unsigned char*>(std::memchr(from, 10, static_cast<size_t>(end - from)));
      if (!hit) break;
      const std::int64_t at = hit - p;
      if (static_cast<size_t>(at % 2) == lowByte && p[at - lowByte + (1 - lowByte)] == 0) {
        k = at / 2;
        break;
      }
      from = hit + 1;
    }
    const size_t old = units.size();
    units.resize(old + static_cast<size_t>(k));
    char16_t* out = units.data() + old;
    if (MSB_FIRST) {
      for (std::int64_t u = 0; u < k; ++u) out[u] = static_cast<char16_t>((p[2 * u] << 8) | p[2 * u + 1]);
    } else {
      for (std::int64_t u = 0; u < k; ++u) out[u] = static_cast<char16_t>(p[2 * u] | (p[2 * u + 1] << 8));
    }
    if (k < n) {
      Stream->SetPosition(Stream->Position() - got + 2 * k + 2);
      ended = true;
      break;
    }
    // An odd byte at the end of this run belongs to the next run.
    if (got % 2) Stream->SetPosition(Stream->Position() - 1);
  }
  if (ended && !units.empty() && units.back() == u'\r') units.pop_back();
  if (units.find(u'\0') != String::npos) units.erase(std::remove(units.begin(), units.end(), u'\0'), units.end());
}

String TUnicodeFileReader::BytesToText(std::string_view bytes) {
  if (FIsUTF8) {
    String s = platform::DecodeUtf8Lenient(bytes);
    if (s.empty() && !bytes.empty()) {
      FReadErrors->Add(FormatSimple(u"%s in Line %d: [%s]",
                                    {u"Error in UTF8-Coding", IntToStr(FReadLine + 1), platform::DecodeAnsi(bytes)}));
    }
    return s;
  }
  switch (FAsciiType) {
    case TASCIIType::atOEM: return platform::DecodeAnsi(platform::OemBytesToAnsi(bytes));
    case TASCIIType::at1252: return platform::DecodeWindows1252(bytes);
    default: return platform::DecodeAnsi(bytes);
  }
}

String TUnicodeFileReader::ReadLine() {
  std::string bytes;
  String units;
  if (Stream) {
    // The reader's own hooks can be applied to whole runs at once; a
    // descendant's hooks see every character.
    bool ownHooks = typeid(*this) == typeid(TUnicodeFileReader) && FSupportUnixLineBreak;
    if (!ownHooks)
      ReadLineHooked(bytes, units);
    else if (charSize == 1)
      ReadLineFastBytes(bytes);
    else
      ReadLineFastUnits(units);
  }
  String result = charSize == 2 ? std::move(units) : BytesToText(bytes);
  ++FReadLine;
  return result;
}

void TUnicodeFileReader::ReadLineInto(String& Line) {
  // Straight from the stream's bytes only where ReadLine would take whole
  // runs too: the reader's own hooks, line feeds as line ends, single-byte
  // text.
  const bool direct =
      Stream && charSize == 1 && FSupportUnixLineBreak && typeid(*this) == typeid(TUnicodeFileReader);
  if (!direct) {
    Line = ReadLine();
    return;
  }
  const std::int64_t start = Stream->Position();
  std::int64_t got = 0;
  const unsigned char* p = Stream->ReadView(64 * 1024, &got);
  const void* lf = got > 0 ? std::memchr(p, '\n', static_cast<size_t>(got)) : nullptr;
  size_t len = lf ? static_cast<size_t>(static_cast<const unsigned char*>(lf) - p) : 0;
  if (lf && len > 0 && p[len - 1] == '\r') --len;
  // A line that goes on beyond the bytes at hand, or holds a NUL, takes the
  // general way.
  if (!lf || std::memchr(p, 0, len)) {
    Stream->SetPosition(start);
    Line = ReadLine();
    return;
  }
  Stream->SetPosition(start + (static_cast<const unsigned char*>(lf) - p) + 1);
  Line = BytesToText(std::string_view(reinterpret_cast<const char*>(p), len));
  ++FReadLine;
}

// ------------------------------------------------------------------ writer

TKVFileCoding DetectFileCoding(TStream& stream) {
  unsigned char b[3];
  if (stream.Size() >= 3) {
    stream.ReadBuffer(b, 3);
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TKVFileCoding::fcUTF8BOM;
    stream.SetPosition(0);
  }
  if (stream.Size() >= 2) {
    stream.ReadBuffer(b, 2);
    if (b[0] == 0xFF && b[1] == 0xFE) return TKVFileCoding::fcUnicodeLittleEndian;
    if (b[0] == 0xFE && b[1] == 0xFF) return TKVFileCoding::fcUnicodeBigEndian;
  }
  return TKVFileCoding::fcAnsi;
}

TUnicodeFileWriter::TUnicodeFileWriter(const String& FileName, bool Unicode, bool Utf8, bool BigEndian,
                                       bool Append) {
  FUnicode = Unicode;
  FUTF8 = Utf8;
  FBigEndian = BigEndian;
  Open(FileName, Append);
}

TUnicodeFileWriter::TUnicodeFileWriter(const String& FileName, TKVFileCoding Coding, bool Append) {
  SetCoding(Coding);
  Open(FileName, Append);
}

TUnicodeFileWriter::~TUnicodeFileWriter() { Close(); }

void TUnicodeFileWriter::SetCoding(TKVFileCoding coding) {
  FUnicode = coding != TKVFileCoding::fcAnsi;
  FUTF8 = coding == TKVFileCoding::fcUTF8NoBOM || coding == TKVFileCoding::fcUTF8BOM;
  FWithUTF8BOM = coding == TKVFileCoding::fcUTF8BOM;
  FBigEndian = coding == TKVFileCoding::fcUnicodeBigEndian;
}

TKVFileCoding TUnicodeFileWriter::Coding() const {
  if (!FUnicode) return TKVFileCoding::fcAnsi;
  if (FUTF8) return FWithUTF8BOM ? TKVFileCoding::fcUTF8BOM : TKVFileCoding::fcUTF8NoBOM;
  return FBigEndian ? TKVFileCoding::fcUnicodeBigEndian : TKVFileCoding::fcUnicodeLittleEndian;
}

void TUnicodeFileWriter::Close() {
  if (!Stream) return;
  std::unique_ptr<TFileStream> s = std::move(Stream);
  try {
    s->Flush();
  } catch (...) {
    // Every write was flushed already; nothing is left to report here.
  }
}

void TUnicodeFileWriter::Open(const String& FileName, bool Append) {
  Close();
  // "/" separates folders on both systems, like "\".
  String folder = ExtractPathUpToDelimiter(FileName, u"\\/");
  if (folder.empty()) throw EInOutError(u"Unable to create directory");
  // A failure here shows up as the file operation's error below.
  platform::CreateDirectoryTree(folder);
  if (Append && FileExistsEx(FileName)) {
    auto s = std::make_unique<TFileStream>(FileName, TFileMode::fmOpenReadWrite, platform::FileShare::None);
    SetCoding(DetectFileCoding(*s));
    s->SetPosition(s->Size());
    Stream = std::move(s);
    return;
  }
  auto s = std::make_unique<TFileStream>(FileName, TFileMode::fmCreate, platform::FileShare::None);
  static const unsigned char kLE[] = {0xFF, 0xFE}, kBE[] = {0xFE, 0xFF}, kUtf8[] = {0xEF, 0xBB, 0xBF};
  if (FUnicode && !FUTF8)
    s->WriteBuffer(FBigEndian ? kBE : kLE, 2);
  else if (FUnicode && FUTF8 && FWithUTF8BOM)
    s->WriteBuffer(kUtf8, 3);
  s->Flush();
  Stream = std::move(s);
}

void TUnicodeFileWriter::SetLineSeparator(const String& v) {
  FLineSeparator = v;
  FLineSeparatorAnsi = platform::EncodeAnsi(v);
}

std::string TUnicodeFileWriter::Encode(StringView Value) const {
  if (FUnicode && FUTF8) return platform::EncodeUtf8(Value);
  if (FUnicode) {
    std::string out(Value.size() * 2, '\0');
    for (size_t i = 0; i < Value.size(); ++i) {
      char16_t c = Value[i];
      out[2 * i + (FBigEndian ? 1 : 0)] = static_cast<char>(c & 0xFF);
      out[2 * i + (FBigEndian ? 0 : 1)] = static_cast<char>(c >> 8);
    }
    return out;
  }
  std::string ansi = platform::EncodeAnsi(Value);
  return FIsASCII ? platform::AnsiBytesToOem(ansi) : ansi;
}

void TUnicodeFileWriter::WriteText(StringView Value, bool withSeparator) {
  if (!withSeparator && Value.empty()) return;
  if (!Stream) throw EWriteError(u"The text file is not open for writing");
  std::string bytes = Encode(Value);
  if (withSeparator) bytes += FUnicode && !FUTF8 ? Encode(FLineSeparator) : FLineSeparatorAnsi;
  Stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  Stream->Flush();
}

void TUnicodeFileWriter::WriteLn(const String& Value) { WriteText(Value, true); }

void TUnicodeFileWriter::Write(const String& Value) { WriteText(Value, false); }

// --- File and folder functions ---------------------------------------------

namespace {

// The module's state is used from the logging thread as well as from the
// user-interface thread, so each piece has a lock of its own.
std::mutex gTempFolderLock;
String gTempFolderCache;
std::mutex gVersionLock;
std::unique_ptr<platform::VersionInfoReader> gVersionReader;
std::mutex gRandomLock;
std::mt19937 gRandom;
bool gRandomSeeded = false;  // under gRandomLock

// The generator, seeded from the clock and the system's entropy at its first
// use (under gRandomLock): a run that makes no scratch name pays nothing.
std::mt19937& SeededRandom() {
  if (!gRandomSeeded) {
    std::random_device entropy;
    gRandom.seed(static_cast<std::uint32_t>(static_cast<std::int64_t>(Now() * 86400000.0)) ^ entropy());
    gRandomSeeded = true;
  }
  return gRandom;
}

String CachedTempFolder() {
  std::lock_guard<std::mutex> guard(gTempFolderLock);
  return gTempFolderCache;
}

bool IsSlash(char16_t c) { return c == u'\\' || c == u'/'; }

// Position of the name part: after the last "\\" or ":".
std::size_t NameStart(StringView FileName) {
  const auto p = FileName.find_last_of(u"\\:");
  return p == StringView::npos ? 0 : p + 1;
}

// The extension with its dot, empty when the name part has none.
String ExtensionOf(StringView FileName) {
  const std::size_t start = NameStart(FileName);
  const auto dot = FileName.rfind(u'.');
  return dot == StringView::npos || dot < start ? String() : String(FileName.substr(dot));
}

String ThreeDigits(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03u", v);
  return String(buf, buf + 3);
}

}  // namespace

String GetApplicationExeName() { return platform::ModuleFileName(); }

String GetApplicationDir() {
  return ExcludeTrailingSlashes(ExtractPathUpToDelimiter(GetApplicationExeName(), u"\\"), false);
}

String AddTrailingBackslash(StringView S) {
  if (S.empty() || S.back() == u'\\') return String(S);
  return String(S) + u"\\";
}

String ExcludeTrailingSlashes(StringView Path, bool Expand) {
  while (!Path.empty() && IsSlash(Path.back())) Path.remove_suffix(1);
  return Expand ? ExpandEnvironmentPlaceholders(Path) : String(Path);
}

String ExtractFileName(StringView FileName) {
  const std::size_t p = FileName.find_last_of(u"\\/:");
  return String(p == StringView::npos ? FileName : FileName.substr(p + 1));
}

String ExtractFileNameWithoutExt(StringView FileName, bool NameOnly) {
  const String ext = ExtensionOf(FileName);
  const StringView withoutExt = FileName.substr(0, FileName.size() - ext.size());
  return String(NameOnly ? withoutExt.substr(NameStart(FileName)) : withoutExt);
}

String ReplaceInvalidFileNameChars(StringView S) {
  String r(S);
  for (auto& c : r)
    if (c < 0x100 && StringView(u"\n\r\"*/:<>?[\\]|").find(c) != StringView::npos) c = u'_';
  return r;
}

namespace {

// The placeholders of the environment in the map's order, built again only
// when the environment has changed since the last call.
struct PlaceholderTable {
  std::vector<String> environment;
  std::vector<std::pair<String, String>> placeholders;  // "%NAME%" and value
  std::vector<String> upperKeys;
};

std::shared_ptr<const PlaceholderTable> CurrentPlaceholders() {
  static std::mutex lock;
  static std::shared_ptr<const PlaceholderTable> cached;
  std::vector<String> environment = platform::EnvironmentStrings();
  std::lock_guard<std::mutex> guard(lock);
  if (cached && cached->environment == environment) return cached;
  TMapStrToStr map;
  for (const String& entry : environment) {
    const auto eq = entry.find(u'=');
    const String name = eq == String::npos ? entry : entry.substr(0, eq);
    map.SetValue(u"%" + name + u"%", eq == String::npos ? String() : entry.substr(eq + 1));
  }
  map.Delete(String(u"%%"));
  auto table = std::make_shared<PlaceholderTable>();
  table->environment = std::move(environment);
  for (int i = 0; i < map.Count(); ++i) {
    const String key = map.GetKey(i);
    table->placeholders.emplace_back(key, map.GetValueByKey(key, String()));
    table->upperKeys.push_back(AsciiUpperCase(key));
  }
  cached = std::move(table);
  return cached;
}

}  // namespace

String ExpandEnvironmentPlaceholders(StringView S) {
  // Without a "%" nothing can be replaced: no need to read the environment.
  if (S.find(u'%') == StringView::npos) return String(S);
  const auto table = CurrentPlaceholders();
  String result(S);
  String upper = AsciiUpperCase(result);
  for (std::size_t i = 0; i < table->placeholders.size(); ++i) {
    const auto p = upper.find(table->upperKeys[i]);
    if (p == String::npos) continue;
    const String written = result.substr(p, table->upperKeys[i].size());
    result = ReplaceText(result, written, table->placeholders[i].second, false);
    upper = AsciiUpperCase(result);
  }
  return result;
}

bool DirectoryExistsEx(StringView Name) {
  if (platform::DirectoryExists(Name)) return true;
  if (Name.substr(0, 2) != u"\\\\") return false;
  bool isDirectory = false;
  return platform::FindExactEntry(ExcludeTrailingSlashes(Name, false), &isDirectory) && isDirectory;
}

std::int64_t GetFileSize64(StringView Name) {
  if (Name.empty()) return -1;
  const auto entries = platform::FindEntries(Name);
  if (entries.empty() || entries.front().IsDirectory) return -1;
  return entries.front().Size;
}

bool GetFileDateTime(StringView Name, TDateTime& DateTime) {
  platform::LocalDateTime t;
  if (!platform::GetFileLastWriteTime(Name, &t)) return false;
  const auto date = TryEncodeDate(t.Year, t.Month, t.Day);
  const auto time = TryEncodeTime(t.Hour, t.Minute, t.Second, t.Millisecond);
  if (!date || !time) return false;
  DateTime = *date + *time;
  return true;
}

String MakeUniqueFileName(StringView Dir, StringView Ext) {
  std::uniform_int_distribution<unsigned> digits(0, 998);
  String ext;
  if (!Ext.empty()) ext = u"." + String(Ext[0] == u'.' ? Ext.substr(1, 98) : Ext);
  for (;;) {
    String name = String(Dir) + u"\\";
    {
      std::lock_guard<std::mutex> guard(gRandomLock);
      std::mt19937& random = SeededRandom();
      for (int i = 0; i < 4; ++i) name += ThreeDigits(digits(random));
    }
    name += ext;
    if (!FileExistsEx(name)) return name;
  }
}

namespace {

bool CreateScratchFile(const String& name, platform::FileHandle& file) {
  return file.Open(name, platform::FileAccess::ReadWrite, platform::FileShare::None,
                   platform::FileDisposition::CreateAlways);
}

}  // namespace

bool CanCreateFileIn(StringView Dir) {
  const String name = MakeUniqueFileName(Dir, u"tmp");
  platform::FileHandle file;
  if (!CreateScratchFile(name, file)) return false;
  const unsigned char bytes[4] = {'x', 0, 'x', 0};  // "xx" in UTF-16LE
  const bool written = file.Write(bytes, 4) == 4;
  file.Close();
  return platform::RemoveFile(name) && written;
}

bool IsDirectoryWritable(StringView DirIn) {
  const String dir = ExcludeTrailingSlashes(DirIn, false);
  if (dir.empty()) return false;
  if (!platform::CreateDirectoryTree(dir)) return false;
  const String sub = MakeUniqueFileName(dir, u"tmp");
  if (!platform::CreateSingleDirectory(sub)) return false;
  const String name = MakeUniqueFileName(sub, u"tmp");
  platform::FileHandle file;
  if (!CreateScratchFile(name, file)) return false;
  file.Close();
  if (!platform::RemoveFile(name)) return false;
  return platform::RemoveEmptyDirectory(sub);
}

bool ForceWritableDirectory(StringView Dir) {
  if (Dir.empty()) return false;
  if (!IsDirectoryWritable(ExcludeTrailingSlashes(Dir, false))) return false;
  platform::CreateDirectoryTree(Dir);
  return true;
}

String GetTempFolder() {
  if (String cached = CachedTempFolder(); !cached.empty()) return cached;
  String folder;
  const String fromEnv = platform::GetEnvVar(u"KVTemp");
  if (!fromEnv.empty()) {
    folder = ExcludeTrailingSlashes(fromEnv, false);
    platform::CreateDirectoryTree(folder);
    if (!DirectoryExistsEx(folder)) folder.clear();
  }
  if (folder.empty()) {
    folder = ExcludeTrailingSlashes(platform::TempPath(), false);
    if (!DirectoryExistsEx(folder)) throw Exception(u"Cannot write to temp-directory: " + folder);
  }
  const String probe = folder + u"\\" + ReplaceInvalidFileNameChars(NewGuidString()) + u".tmp";
  platform::FileHandle file;
  const bool created = CreateScratchFile(probe, file);
  file.Close();
  if (created) platform::RemoveFile(probe);
  // Only a folder that passed the test is kept: a failing one raises again
  // on the next call instead of being handed out as if it were usable.
  if (!created) throw Exception(u"Cannot write to temp-directory: " + folder);
  std::lock_guard<std::mutex> guard(gTempFolderLock);
  gTempFolderCache = folder;
  return folder;
}

void DeleteFileQuietly(StringView Name) {
  try {
    if (!Name.empty() && FileExistsEx(Name)) platform::RemoveFile(Name);
  } catch (...) {
  }
}

namespace {

// Appends the files of one folder, and of its subfolders when recursive;
// false when a name that is blank after trimming stopped the walk.
bool WalkFolder(TStringList& List, const String& Path, const String& Mask, const String& MaskFolder, bool recursive) {
  for (const auto& e : platform::FindEntries(Path + Mask)) {
    if (e.IsDirectory) continue;
    if (e.Name.find_first_not_of(u" \t\r\n") == String::npos) return false;
    List.Add(ExcludeTrailingSlashes(Path, false) + u"\\" + MaskFolder + e.Name);
  }
  if (!recursive) return true;
  for (const auto& e : platform::FindEntries(Path + u"*.*")) {
    if (!e.IsDirectory || e.Name == u"." || e.Name == u"..") continue;
    if (!WalkFolder(List, Path + e.Name + u"\\", Mask, MaskFolder, recursive)) return false;
  }
  return true;
}

}  // namespace

void FindFiles(TStringList& List, StringView Dir, StringView MaskIn, int Mode) {
  if (Mode < 0 || Mode > 3) return;
  // Exactly one trailing separator, so that relative names start right after it.
  const String base = (Dir.empty() ? ExcludeTrailingSlashes(platform::GetCurrentDir(), false)
                                   : ExcludeTrailingSlashes(Dir, false)) +
                      u"\\";
  if (!DirectoryExistsEx(base)) return;
  const String mask = MaskIn.empty() ? String(u"*.*") : String(MaskIn);
  String maskFolder;
  const auto cut = mask.find_last_of(u"\\/");
  if (HasWildcards(mask) && cut != String::npos) maskFolder = ExcludeTrailingSlashes(mask.substr(0, cut), false) + u"\\";
  const int first = List.Count();
  WalkFolder(List, base, mask, maskFolder, Mode == 0 || Mode == 1);
  if (Mode == 1 || Mode == 2) {
    // Only the names this call added; what the list held before stays as it was.
    for (int i = first; i < List.Count(); ++i) List.SetStrings(i, List.Strings(i).substr(base.size()));
  }
}

void ListFiles(TStringList& List, StringView Dir, StringView Mask) {
  List.Clear();
  FindFiles(List, Dir, Mask, 3);
}

void SortFilesByDate(TStringList& List, bool Descending) {
  T2DStringArray table;
  for (int i = 0; i < List.Count(); ++i) {
    TDateTime t;
    const String& name = List.Strings(i);
    table.Add(std::vector<String>{name, GetFileDateTime(name, t) ? DateTimeToSortableText(t) : String()});
  }
  table.Sort({1, 0});
  List.Clear();
  for (int i = 0; i < table.RowCount(); ++i) List.Add(table.Cells(0, Descending ? table.RowCount() - 1 - i : i));
}

String GetModuleVersionText(StringView FileName) {
  String result;
  std::lock_guard<std::mutex> guard(gVersionLock);
  if (!gVersionReader) gVersionReader = std::make_unique<platform::VersionInfoReader>();
  auto& reader = *gVersionReader;
  if (!reader.Load(FileName)) return result;
  if (!reader.Translations().empty()) {
    const std::uint32_t t = reader.Translations().front();
    char table[16];
    std::snprintf(table, sizeof table, "%04X%04X", t & 0xFFFFu, t >> 16);
    result = reader.QueryString(String(table, table + 8), u"FileVersion");
  }
  if (result.empty()) result = reader.QueryString(u"040904E4", u"FileVersion");
  std::uint32_t ms, ls;
  if (result.empty() && reader.FixedFileVersion(&ms, &ls)) result = IntToStr(ms >> 16) + u"." + IntToStr(ms & 0xFFFF);
  return result;
}

void AppendToLogFile(StringView FileName, StringView Text, bool WithTimeStamp, std::int32_t MaxSize,
                     bool AddEmptyLine, bool TimeStampInLine) {
  const String name(FileName);
  if (MaxSize > 0 && GetFileSize64(name) > MaxSize) {
    const String older = ExtractFileNameWithoutExt(name, false) + u"_2" + ExtensionOf(name);
    platform::RemoveFile(older);
    platform::MoveFileTo(name, older);
  }
  std::unique_ptr<TFileStream> file;
  if (FileExistsEx(name)) {
    file = std::make_unique<TFileStream>(name, TFileMode::fmOpenReadWrite, platform::FileShare::None);
    file->SetPosition(file->Size());
  } else {
    file = std::make_unique<TFileStream>(name, TFileMode::fmCreate, platform::FileShare::None);
    file->WriteBuffer("\xFF\xFE", 2);
  }
  std::string bytes;
  auto line = [&](StringView s) { bytes += platform::EncodeUtf16Le(String(s) + u"\r\n"); };
  if (WithTimeStamp) {
    const String stamp = DateTimeToSortableText(Now());
    if (TimeStampInLine) {
      line(stamp + u" " + String(Text));
    } else {
      line(stamp);
      line(u"----------------------------------------");
      line(Text);
    }
  } else {
    line(Text);
  }
  if (AddEmptyLine) line(u"");
  // A failed write is not reported: the failure log must never add a failure.
  try {
    file->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    file->Flush();
  } catch (const EWriteError&) {
  }
}

String GetSpecialFolderPath(std::int32_t CSIDL, bool) { return platform::SpecialFolderPath(CSIDL); }

void FileHelpers_Initialize() {
  {
    // A new seed is drawn at the next scratch name.
    std::lock_guard<std::mutex> guard(gRandomLock);
    gRandomSeeded = false;
  }
  std::lock_guard<std::mutex> guard(gTempFolderLock);
  gTempFolderCache.clear();
}

void FileHelpers_Finalize() {
  std::lock_guard<std::mutex> guard(gVersionLock);
  gVersionReader.reset();
}

}  // namespace kv
