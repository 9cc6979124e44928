#include "tools/kvini/IniTool.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "ini/KVBigIni.h"
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "text/_4Files.h"

namespace kv::initool {

namespace {

const char16_t kGeneralHelp[] =
    u"Usage: kvini [options] COMMAND FILE [ARGUMENTS]\n"
    u"\n"
    u"Reads and edits INI files (Autorun.inf, settings files) in UTF-16, UTF-8 or ANSI.\n"
    u"A file that is changed is written back as a whole, in one step: UTF-16 (little-endian,\n"
    u"with byte-order mark) when it was Unicode, otherwise ANSI; lines end with CR LF, each\n"
    u"section is followed by one empty line, lines before the first section are kept in\n"
    u"front of it, empty lines are dropped.\n"
    u"\n"
    u"Commands:\n"
    u"  get FILE SECTION KEY [DEFAULT]   print a value (DEFAULT when missing)\n"
    u"  set FILE SECTION KEY VALUE       set a value, adding key and section when missing\n"
    u"  delete FILE SECTION [KEY]        delete a key, or the whole section\n"
    u"  sections FILE                    list the section names\n"
    u"  keys FILE SECTION                list the key names of a section\n"
    u"  dump FILE                        print the document as the engine holds it\n"
    u"  rename-section FILE OLD NEW      rename a section\n"
    u"  rename-key FILE SECTION OLD NEW  rename a key, keeping its value\n"
    u"  recode FILE CODING [OUTPUT]      write the file's lines in another coding\n"
    u"  help [COMMAND]                   show this text, or a command's\n"
    u"\n"
    u"Options:\n"
    u"  --force-utf8        read files without byte-order mark as UTF-8 (default: ANSI)\n"
    u"  --force             write even when the file holds what a write would lose: zero\n"
    u"                      bytes, text that cannot be decoded, a section that appears\n"
    u"                      twice or has no lines\n"
    u"  --json              get, sections, keys and dump print JSON: every text exactly\n"
    u"  --wait=SECONDS      how long to wait for a file another program holds (10)\n"
    u"  --help, -h          help for the command\n"
    u"  --                  everything after it is an argument, even when it starts with --\n"
    u"Cleaning options (get, sections, keys and dump only):\n"
    u"  --drop-comments     drop lines starting with \";\"\n"
    u"  --drop-whitespace   drop blanks and tabs around the first \"=\"\n"
    u"  --drop-apostrophes  drop quotes enclosing a value\n"
    u"  --trim-right        drop trailing blanks and control characters\n"
    u"  --filter-invalid    drop lines without \"=\"\n"
    u"\n"
    u"Section and key names are matched ignoring letter case. Names and values must not\n"
    u"hold line breaks (CR, LF, VT, FF, NEL, U+2028, U+2029) or zero characters; a key\n"
    u"name must not hold \"=\" or begin with \"[\".\n"
    u"\n"
    u"Several kvini processes may change one file at once: each holds the lock file\n"
    u"FILE.lock from reading the file to writing it back, so the changes are made one\n"
    u"after the other and none is lost. Commands wait up to --wait seconds for that lock\n"
    u"and for a file another program has open. A program that writes the file without\n"
    u"that lock can still overwrite a change made meanwhile.\n"
    u"\n"
    u"Exit codes: 0 done, 1 failed (the file is then unchanged), 2 wrong usage,\n"
    u"3 get without DEFAULT found no such section or key.\n";

struct Command {
  const char16_t* name;
  int minArgs, maxArgs;  // after the command, FILE included
  bool writes;
  const char16_t* help;
};

const Command kCommands[] = {
    {u"get", 3, 4, false,
     u"Usage: kvini [--json] get FILE SECTION KEY [DEFAULT]\n"
     u"Prints the value of KEY in SECTION: the text after the first \"=\", as stored.\n"
     u"A missing file, section or key prints DEFAULT and succeeds; without DEFAULT it\n"
     u"prints nothing (null with --json), says so on standard error and exits with 3.\n"
     u"With --json the value is printed as a JSON string.\n"},
    {u"set", 4, 4, true,
     u"Usage: kvini [--force] set FILE SECTION KEY VALUE\n"
     u"Sets KEY=VALUE in SECTION. A missing key is added at the end of its section, a\n"
     u"missing section at the end of the file, a missing file is created. The key is\n"
     u"stored as spelled here. Nothing is written when the value is already the same.\n"
     u"Names and the value must not hold line breaks or zero characters, the key no\n"
     u"\"=\" and no \"[\" at its start. A file that a write would change beyond the\n"
     u"value (see --force in \"kvini --help\") is refused.\n"},
    {u"delete", 2, 3, true,
     u"Usage: kvini [--force] delete FILE SECTION [KEY]\n"
     u"Deletes KEY from SECTION, or the whole SECTION without KEY. Deleting something\n"
     u"that is not there succeeds and leaves the file alone.\n"},
    {u"sections", 1, 1, false,
     u"Usage: kvini [--json] sections FILE\n"
     u"Prints the section names, one per line (a JSON array with --json), in file order.\n"
     u"A section that appears twice is listed once: the engine keeps the first one.\n"},
    {u"keys", 2, 2, false,
     u"Usage: kvini [--json] keys FILE SECTION\n"
     u"Prints the key names of SECTION, one per line (a JSON array with --json); lines\n"
     u"without \"=\" have none. A missing section prints nothing.\n"},
    {u"dump", 1, 1, false,
     u"Usage: kvini [--force-utf8] [--json] [cleaning options] dump FILE\n"
     u"Prints the document as the engine holds it after loading: the lines before the\n"
     u"first section, then every non-empty section with its header and lines, then an\n"
     u"empty line. This is what a write would store. With --json: an object with the\n"
     u"leading lines and the sections, each with its name and lines.\n"
     u"See \"kvini --help\" for the cleaning options.\n"},
    {u"rename-section", 3, 3, true,
     u"Usage: kvini [--force] rename-section FILE OLD NEW\n"
     u"Renames section OLD to NEW. Fails when OLD is missing or when another section\n"
     u"is called NEW already.\n"},
    {u"rename-key", 4, 4, true,
     u"Usage: kvini [--force] rename-key FILE SECTION OLD NEW\n"
     u"Renames key OLD of SECTION to NEW, keeping its value. The renamed line moves to\n"
     u"the end of its section (it stays in place when only the letter case changes);\n"
     u"an existing key NEW takes the value. Fails when OLD is missing.\n"},
    {u"recode", 2, 3, true,
     u"Usage: kvini [--force-utf8] [--lf] [--force] recode FILE CODING [OUTPUT]\n"
     u"Writes the lines of FILE to OUTPUT (default: FILE itself, replaced in one step)\n"
     u"in CODING: ansi, oem, utf8 (without byte-order mark), utf8-bom, utf16le\n"
     u"(also utf16) or utf16be. Lines end with CR LF, or LF with --lf. Fails, writing\n"
     u"nothing, when a line cannot be decoded or the coding cannot hold a character.\n"},
    {u"help", 0, 1, false, u"Usage: kvini help [COMMAND]\n"},
};

const Command* FindCommand(StringView name) {
  for (const auto& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

struct Options {
  bool forceUtf8 = false, lf = false, help = false, force = false, json = false;
  std::uint32_t waitMs = 10000;
  bool dropComments = false, dropWhiteSpace = false, dropApostrophes = false, trimRight = false,
       filterInvalid = false;
  bool Cleaning() const { return dropComments || dropWhiteSpace || dropApostrophes || trimRight || filterInvalid; }
};

// A failure the user caused: wrong arguments.
struct UsageError {
  String message;
};

// A failure of the command itself.
struct CommandError {
  String message;
};

// The file or its lock is held by another program for now: worth another try.
struct Busy {
  String message;
};

// What is missing for get without DEFAULT.
struct Missing {
  String message;
};

// A file another program has open: sharing and lock violations, and on
// Windows a target that cannot be replaced while it is open.
bool IsBusyCode(std::uint32_t code) {
  return code == platform::kErrorSharingViolation || code == 33 || code == 1175;
}

// The engine's message, with the system's reason where the engine left it out.
String Describe(const Exception& e) {
  const auto* f = dynamic_cast<const EFileStreamError*>(&e);
  if (!f || !f->ErrorCode()) return e.Message();
  const String reason = platform::SysErrorMessage(f->ErrorCode());
  if (reason.empty() || e.Message().find(reason) != String::npos) return e.Message();
  return e.Message() + u": " + reason;
}

// Runs body again while the file is busy, up to the time the options allow.
template <typename Body>
void WithWaiting(const Options& o, Body body) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.waitMs);
  std::minstd_rand jitter(std::random_device{}());
  int pauseMs = 2;
  for (;;) {
    try {
      body(deadline);
      return;
    } catch (const Busy& b) {
      if (std::chrono::steady_clock::now() >= deadline)
        throw CommandError{b.message + u" (gave up after waiting " + IntToStr(o.waitMs / 1000) + u" s)"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs + static_cast<int>(jitter() % 4)));
    pauseMs = std::min(pauseMs * 2, 50);
  }
}

std::uint32_t MsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<std::uint32_t>(left.count()) : 0;
}

// Engine errors: a busy file is tried again, anything else fails the command.
template <typename Step>
void Engine(Step step) {
  try {
    step();
  } catch (const EFileStreamError& e) {
    if (IsBusyCode(e.ErrorCode())) throw Busy{Describe(e)};
    throw CommandError{Describe(e)};
  }
}

// Takes the lock of a file that is about to be read and written back.
void Lock(platform::FileLock& lock, const String& file, std::chrono::steady_clock::time_point deadline) {
  if (lock.Acquire(file, MsUntil(deadline))) return;
  const std::uint32_t code = platform::LastError();
  const String lockFile = platform::DisplayPath(lock.LockFileName());
  if (code == platform::kErrorSharingViolation)
    throw Busy{platform::DisplayPath(file) + u" is being changed by another program (it holds " + lockFile + u")"};
  if (code == platform::kErrorNotALockFile)
    throw CommandError{lockFile + u" exists but is not a lock file of kvini: remove it, or rename it, to change " +
                       platform::DisplayPath(file)};
  throw CommandError{u"cannot lock " + platform::DisplayPath(file) + u": cannot create " + lockFile + u": " +
                     platform::SysErrorMessage(code)};
}

// --- what may be written --------------------------------------------------

// A character that ends a line for this or another reader, or that the
// reader drops.
bool IsLineBreakOrZero(char16_t c) {
  return c == 0 || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

void CheckText(StringView text, const char16_t* what) {
  if (std::any_of(text.begin(), text.end(), IsLineBreakOrZero))
    throw UsageError{String(what) + u" holds a line break or a zero character, which would break the file's lines"};
}

void CheckKey(StringView key, const char16_t* what) {
  if (key.empty()) throw UsageError{String(what) + u" is empty"};
  CheckText(key, what);
  if (key.find(u'=') != StringView::npos)
    throw UsageError{String(what) + u" holds \"=\": the text after it would be taken for the value"};
  if (key[0] == u'[') throw UsageError{String(what) + u" begins with \"[\": the line could be taken for a section header"};
}

enum class RawCoding { Ansi, Utf8, Utf16Le, Utf16Be };

// Where a write would not give back what the file holds: the first place
// the reader drops or replaces something (a zero byte or character, bytes
// that do not decode, half a UTF-16 character at the end). Empty when none.
String FindDecodingLoss(const String& file, bool forceUtf8) {
  if (!FileExistsEx(file)) return String();
  String found;
  Engine([&] {
    TFileStream s(file, TFileMode::fmOpenRead);
    RawCoding coding = forceUtf8 ? RawCoding::Utf8 : RawCoding::Ansi;
    std::int64_t start = 0;
    unsigned char bom[3] = {};
    const std::int64_t size = s.Size();
    if (size >= 3) s.ReadBuffer(bom, 3);
    if (size >= 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF) {
      coding = RawCoding::Utf8;
      start = 3;
    } else if (size >= 2 && ((bom[0] == 0xFF && bom[1] == 0xFE) || (bom[0] == 0xFE && bom[1] == 0xFF))) {
      coding = bom[0] == 0xFF ? RawCoding::Utf16Le : RawCoding::Utf16Be;
      start = 2;
    } else if (size == 2) {
      s.SetPosition(0);
      s.ReadBuffer(bom, 2);
      if ((bom[0] == 0xFF && bom[1] == 0xFE) || (bom[0] == 0xFE && bom[1] == 0xFF)) return;  // a mark alone
    }
    s.SetPosition(start);
    std::int64_t lineNo = 1;
    auto at = [&](const char16_t* what) {
      found = u"line " + IntToStr(lineNo) + u" " + what;
    };
    if (coding == RawCoding::Utf16Le || coding == RawCoding::Utf16Be) {
      if ((size - start) % 2) found = u"the file ends in half a UTF-16 character, which a write would drop";
      const bool le = coding == RawCoding::Utf16Le;
      for (;;) {
        std::int64_t got = 0;
        const unsigned char* p = s.ReadView(64 * 1024 & ~1, &got);
        if (got < 2) break;
        for (std::int64_t i = 0; i + 1 < got; i += 2) {
          const char16_t c = le ? static_cast<char16_t>(p[i] | (p[i + 1] << 8)) : static_cast<char16_t>((p[i] << 8) | p[i + 1]);
          if (c == 0) return at(u"holds a zero character, which a write would drop (is it a text file?)");
          if (c == u'\n') ++lineNo;
        }
        if (got % 2) s.SetPosition(s.Position() - 1);
      }
      return;
    }
    std::string line;
    auto check = [&]() -> bool {
      if (line.find('\0') != std::string::npos) {
        at(u"holds a zero byte, which a write would drop (is it a text file?)");
        return false;
      }
      if (coding == RawCoding::Utf8) {
        if (!platform::IsValidUtf8(line)) {
          at(u"is not valid UTF-8: a write would replace the bytes it cannot decode");
          return false;
        }
      } else if (std::any_of(line.begin(), line.end(), [](char b) { return static_cast<unsigned char>(b) >= 0x80; }) &&
                 platform::EncodeAnsi(platform::DecodeAnsi(line)) != line) {
        at(u"holds bytes the ANSI code page cannot decode: a write would replace them");
        return false;
      }
      return true;
    };
    for (;;) {
      std::int64_t got = 0;
      const unsigned char* p = s.ReadView(64 * 1024, &got);
      if (got <= 0) break;
      for (std::int64_t i = 0; i < got; ++i) {
        if (p[i] != '\n') {
          line += static_cast<char>(p[i]);
          continue;
        }
        if (!check()) return;
        line.clear();
        ++lineNo;
      }
    }
    check();
  });
  return found;
}

// What the document loses when it is written: sections that appeared more
// than once (the engine kept the first) and sections of the file without
// lines (the engine writes none).
struct LoadReport {
  std::vector<String> duplicates;
  std::set<const TKVStringList*> emptyAtLoad;  // the line lists of the sections without lines
};

void RefuseLossyWrite(const String& file, TBiggerIniFile& ini, const LoadReport& report, const Options& o) {
  if (o.force) return;
  const String where = platform::DisplayPath(file) + u": ";
  const String tail = u"; nothing written (--force writes anyway)";
  if (!report.duplicates.empty())
    throw CommandError{where + u"section [" + report.duplicates.front() +
                       u"] appears more than once: a write would keep only the first" + tail};
  for (int i = 0; i < ini.SectionNames().Count(); ++i) {
    const TKVStringList* lines = ini.SectionNames().GetSectionItems(i);
    if (lines->Count() == 0 && report.emptyAtLoad.count(lines))
      throw CommandError{where + u"section [" + ini.SectionNames().Strings(i) +
                         u"] has no lines: a write would drop its header" + tail};
  }
  const String loss = FindDecodingLoss(file, o.forceUtf8);
  if (!loss.empty()) throw CommandError{where + loss + tail};
}

std::unique_ptr<TBiggerIniFile> Open(const String& file, const Options& o, LoadReport* report) {
  auto ini = std::make_unique<TBiggerIniFile>(String(), o.forceUtf8);
  ini->SetFlagDropCommentLines(o.dropComments);
  ini->SetFlagDropWhiteSpace(o.dropWhiteSpace);
  ini->SetFlagDropApostrophes(o.dropApostrophes);
  ini->SetFlagTrimRight(o.trimRight);
  ini->SetFlagFilterOutInvalid(o.filterInvalid);
  if (report) {
    ini->SetEraseSectionCallback([report](const String& name, const TKVStringList&, const TKVStringList&) {
      report->duplicates.push_back(name);
      return true;  // the engine's own choice: the first one stays
    });
  }
  Engine([&] { ini->SetFileName(file); });
  if (report) {
    for (int i = 0; i < ini->SectionNames().Count(); ++i)
      if (ini->SectionNames().GetSectionItems(i)->Count() == 0)
        report->emptyAtLoad.insert(ini->SectionNames().GetSectionItems(i));
  }
  return ini;
}

// --- output ---------------------------------------------------------------

// A JSON string holding the text exactly: quotes, backslashes, control
// characters, the two Unicode line separators and unpaired surrogates are
// escaped, everything else stands as it is.
String Json(StringView s) {
  static const char16_t kHex[] = u"0123456789abcdef";
  String out = u"\"";
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    const bool paired = (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ||
                        (low && i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF);
    switch (c) {
      case u'"': out += u"\\\""; continue;
      case u'\\': out += u"\\\\"; continue;
      case u'\n': out += u"\\n"; continue;
      case u'\r': out += u"\\r"; continue;
      case u'\t': out += u"\\t"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029 || ((high || low) && !paired)) {
      out += u"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
    } else {
      out += c;
    }
  }
  return out + u"\"";
}

String JsonArray(const TStringList& l) {
  String out = u"[";
  for (int i = 0; i < l.Count(); ++i) out += (i ? u"," : u"") + Json(l.Strings(i));
  return out + u"]";
}

String Lines(const TStringList& l) {
  String out;
  for (int i = 0; i < l.Count(); ++i) out += l.Strings(i) + u"\n";
  return out;
}

String Dump(TBiggerIniFile& ini, bool json) {
  const TKVStringList& leading = ini.LeadingLines();
  if (!json) {
    TStringList l;
    for (int i = 0; i < leading.Count(); ++i) l.Add(leading.Strings(i));
    ini.ReadAll(l);
    return Lines(l);
  }
  String out = u"{\"leading\":" + JsonArray(leading) + u",\"sections\":[";
  bool first = true;
  for (int s = 0; s < ini.SectionNames().Count(); ++s) {
    const TKVStringList& lines = *ini.SectionNames().GetSectionItems(s);
    if (lines.Count() == 0) continue;  // as a write would leave it out
    out += (first ? u"" : u",") + String(u"{\"name\":") + Json(ini.SectionNames().Strings(s)) + u",\"lines\":" +
           JsonArray(lines) + u"}";
    first = false;
  }
  return out + u"]}\n";
}

// --- recoding --------------------------------------------------------------

const std::map<String, TKVFileCoding>& Codings() {
  static const std::map<String, TKVFileCoding> m = {
      {u"ansi", TKVFileCoding::fcAnsi},
      {u"oem", TKVFileCoding::fcAnsi},
      {u"utf8", TKVFileCoding::fcUTF8NoBOM},
      {u"utf8-bom", TKVFileCoding::fcUTF8BOM},
      {u"utf16", TKVFileCoding::fcUnicodeLittleEndian},
      {u"utf16le", TKVFileCoding::fcUnicodeLittleEndian},
      {u"utf16be", TKVFileCoding::fcUnicodeBigEndian},
  };
  return m;
}

// Whether the single-byte coding holds the text without replacing characters.
bool SingleByteHolds(StringView text, bool oem) {
  bool lossy = false;
  std::string ansi = platform::EncodeAnsi(text, &lossy);
  if (lossy) return false;
  return !oem || platform::OemBytesToAnsi(platform::AnsiBytesToOem(ansi)) == ansi;
}

bool HasUnpairedSurrogate(StringView s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) return true;
  }
  return false;
}

// The file's bytes in the coding: its mark, then each line and its end.
std::string EncodeLines(const std::vector<String>& lines, TKVFileCoding coding, bool oem, bool lf) {
  const String end = lf ? u"\n" : u"\r\n";
  std::string out;
  switch (coding) {
    case TKVFileCoding::fcUTF8BOM: out = "\xEF\xBB\xBF"; break;
    case TKVFileCoding::fcUnicodeLittleEndian: out = "\xFF\xFE"; break;
    case TKVFileCoding::fcUnicodeBigEndian: out = "\xFE\xFF"; break;
    default: break;
  }
  for (const String& l : lines) {
    const String text = l + end;
    switch (coding) {
      case TKVFileCoding::fcAnsi: {
        const std::string ansi = platform::EncodeAnsi(text);
        out += oem ? platform::AnsiBytesToOem(ansi) : ansi;
        break;
      }
      case TKVFileCoding::fcUTF8NoBOM:
      case TKVFileCoding::fcUTF8BOM: out += platform::EncodeUtf8(text); break;
      case TKVFileCoding::fcUnicodeLittleEndian: out += platform::EncodeUtf16Le(text); break;
      case TKVFileCoding::fcUnicodeBigEndian:
        for (char16_t c : text) {
          out += static_cast<char>(c >> 8);
          out += static_cast<char>(c & 0xFF);
        }
        break;
    }
  }
  return out;
}

void Recode(const String& file, const String& codingName, const String& output, const Options& o) {
  auto it = Codings().find(codingName);
  if (it == Codings().end())
    throw UsageError{u"unknown coding \"" + codingName + u"\" (ansi, oem, utf8, utf8-bom, utf16le, utf16be)"};
  const bool oem = codingName == u"oem";
  const String target = output.empty() ? file : output;
  if (platform::DirectoryExists(target)) throw CommandError{platform::DisplayPath(target) + u" is a directory"};
  WithWaiting(o, [&](std::chrono::steady_clock::time_point deadline) {
    platform::FileLock lock;
    Lock(lock, target, deadline);
    if (!FileExistsEx(file)) throw CommandError{u"file not found: " + platform::DisplayPath(file)};
    if (!o.force) {
      const String loss = FindDecodingLoss(file, o.forceUtf8);
      if (!loss.empty())
        throw CommandError{platform::DisplayPath(file) + u": " + loss + u"; nothing written (--force writes anyway)"};
    }
    std::vector<String> lines;
    Engine([&] {
      TUnicodeFileReader reader(file, o.forceUtf8);
      while (!reader.Eof()) lines.push_back(reader.ReadLine());
    });
    for (size_t i = 0; i < lines.size(); ++i) {
      const String lineNo = IntToStr(static_cast<std::int64_t>(i + 1));
      if (it->second == TKVFileCoding::fcAnsi && !SingleByteHolds(lines[i], oem))
        throw CommandError{FormatSimple(u"line %s holds characters the %s code page lacks; nothing written",
                                        {lineNo, oem ? u"OEM" : u"ANSI"})};
      if ((it->second == TKVFileCoding::fcUTF8NoBOM || it->second == TKVFileCoding::fcUTF8BOM) &&
          HasUnpairedSurrogate(lines[i]))
        throw CommandError{u"line " + lineNo + u" holds an unpaired surrogate, which UTF-8 cannot hold; nothing written"};
    }
    const std::string bytes = EncodeLines(lines, it->second, oem, o.lf);
    // Written beside the target and renamed into place: a failure leaves it as it was.
    platform::ReplacementFile replacement;
    bool ok = replacement.Create(target);
    ok = ok && replacement.Handle().Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) ==
                   static_cast<std::int64_t>(bytes.size());
    ok = ok && replacement.Commit();
    if (!ok) {
      const std::uint32_t code = platform::LastError();
      const String message = u"cannot write " + platform::DisplayPath(target) + u": " + platform::SysErrorMessage(code);
      if (IsBusyCode(code)) throw Busy{message};
      throw CommandError{message};
    }
  });
}

// --- the commands ------------------------------------------------------------

// Reads the file for get, sections, keys and dump; the text for standard output.
String Read(const String& name, const std::vector<String>& a, const Options& o) {
  const String& file = a[0];
  String out;
  WithWaiting(o, [&](std::chrono::steady_clock::time_point) {
    auto ini = Open(file, o, nullptr);
    if (name == u"get") {
      // A stored value never holds a line feed: this default stands for "missing".
      static const String kAbsent = u"\n";
      const String value = ini->ReadString(a[1], a[2], kAbsent);
      if (value != kAbsent) {
        out = o.json ? Json(value) + u"\n" : value + u"\n";
      } else if (a.size() > 3) {
        out = o.json ? Json(a[3]) + u"\n" : a[3] + u"\n";
      } else {
        throw Missing{ini->HasSection(a[1])
                          ? u"no key \"" + a[2] + u"\" in section \"" + a[1] + u"\" of " + platform::DisplayPath(file)
                          : u"no section \"" + a[1] + u"\" in " + platform::DisplayPath(file)};
      }
    } else if (name == u"sections") {
      TStringList l;
      ini->ReadSections(l);
      out = o.json ? JsonArray(l) + u"\n" : Lines(l);
    } else if (name == u"keys") {
      TStringList l;
      ini->ReadSection(a[1], l);
      out = o.json ? JsonArray(l) + u"\n" : Lines(l);
    } else {
      out = Dump(*ini, o.json);
    }
  });
  return out;
}

void Change(const String& name, const std::vector<String>& a, const Options& o) {
  const String& file = a[0];
  if (name == u"set") {
    CheckText(a[1], u"the section name");
    CheckKey(a[2], u"the key name");
    CheckText(a[3], u"the value");
  } else if (name == u"rename-section") {
    CheckText(a[2], u"the new section name");
  } else if (name == u"rename-key") {
    CheckKey(a[3], u"the new key name");
  }
  WithWaiting(o, [&](std::chrono::steady_clock::time_point deadline) {
    platform::FileLock lock;
    Lock(lock, file, deadline);
    LoadReport report;
    auto ini = Open(file, o, &report);
    // A document that is not written here is never written: its destructor
    // would write a changed one back.
    struct Discard {
      TBiggerIniFile& ini;
      ~Discard() { ini.SetHasChanged(false); }
    } discard{*ini};
    if (name == u"set") {
      ini->WriteString(a[1], a[2], a[3]);
    } else if (name == u"delete") {
      if (a.size() > 2)
        ini->DeleteKey(a[1], a[2]);
      else
        ini->EraseSection(a[1]);
    } else if (name == u"rename-section") {
      if (!ini->HasSection(a[1]))
        throw CommandError{u"no section \"" + a[1] + u"\" in " + platform::DisplayPath(file)};
      if (CompareTextIgnoreCase(a[1], a[2]) != 0 && ini->HasSection(a[2]))
        throw CommandError{u"a section \"" + a[2] + u"\" exists already in " + platform::DisplayPath(file)};
      ini->RenameSection(a[1], a[2]);
    } else if (name == u"rename-key") {
      TStringList keys;
      ini->ReadSection(a[1], keys);
      bool found = false;
      for (int i = 0; i < keys.Count() && !found; ++i) found = CompareTextIgnoreCase(keys.Strings(i), a[2]) == 0;
      if (!found)
        throw CommandError{u"no key \"" + a[2] + u"\" in section \"" + a[1] + u"\" of " + platform::DisplayPath(file)};
      ini->RenameKey(a[1], a[2], a[3]);
    }
    if (!ini->HasChanged()) return;
    RefuseLossyWrite(file, *ini, report, o);
    // The document is written here, where an error can still be reported.
    Engine([&] { ini->UpdateFile(); });
  });
}

int Execute(const Command& cmd, const std::vector<String>& a, const Options& o, Output& out) {
  const String name = cmd.name;
  if (name == u"help") {
    if (a.empty()) {
      out.out += kGeneralHelp;
      return kOk;
    }
    const Command* c = FindCommand(a[0]);
    if (!c) throw UsageError{u"unknown command \"" + a[0] + u"\""};
    out.out += c->help;
    return kOk;
  }
  if (platform::DirectoryExists(a[0])) throw CommandError{platform::DisplayPath(a[0]) + u" is a directory"};
  if (name == u"recode") {
    Recode(a[0], a[1], a.size() > 2 ? a[2] : String(), o);
  } else if (cmd.writes) {
    Change(name, a, o);
  } else {
    out.out += Read(name, a, o);
  }
  return kOk;
}

}  // namespace

int Run(const std::vector<String>& args, Output& out) {
  Options o;
  std::vector<String> positional;
  bool optionsEnd = false;
  try {
    for (const auto& arg : args) {
      if (optionsEnd || arg.size() < 2 || arg[0] != u'-') {
        positional.push_back(arg);
        continue;
      }
      if (arg == u"--") optionsEnd = true;
      else if (arg == u"--help" || arg == u"-h") o.help = true;
      else if (arg == u"--force-utf8") o.forceUtf8 = true;
      else if (arg == u"--force") o.force = true;
      else if (arg == u"--json") o.json = true;
      else if (arg == u"--lf") o.lf = true;
      else if (arg == u"--drop-comments") o.dropComments = true;
      else if (arg == u"--drop-whitespace") o.dropWhiteSpace = true;
      else if (arg == u"--drop-apostrophes") o.dropApostrophes = true;
      else if (arg == u"--trim-right") o.trimRight = true;
      else if (arg == u"--filter-invalid") o.filterInvalid = true;
      else if (arg.rfind(u"--wait=", 0) == 0) {
        const String n = arg.substr(7);
        if (n.empty() || n.size() > 5 || n.find_first_not_of(u"0123456789") != String::npos)
          throw UsageError{u"--wait takes a number of seconds (0 to 99999)"};
        o.waitMs = static_cast<std::uint32_t>(std::stoul(ToUtf8(n))) * 1000u;
      } else throw UsageError{u"unknown option \"" + arg + u"\""};
    }
    if (positional.empty()) {
      if (o.help) {
        out.out += kGeneralHelp;
        return kOk;
      }
      throw UsageError{u"no command given"};
    }
    const Command* cmd = FindCommand(positional[0]);
    if (!cmd) throw UsageError{u"unknown command \"" + positional[0] + u"\""};
    if (o.help) {
      out.out += cmd->help;
      return kOk;
    }
    std::vector<String> rest(positional.begin() + 1, positional.end());
    int n = static_cast<int>(rest.size());
    if (n < cmd->minArgs || n > cmd->maxArgs)
      throw UsageError{String(n < cmd->minArgs ? u"too few" : u"too many") + u" arguments for " + cmd->name +
                       u"\n" + cmd->help};
    const String name = cmd->name;
    if (o.Cleaning() && cmd->writes)
      throw UsageError{String(u"the cleaning options go only with get, sections, keys and dump: a write would "
                              u"store the cleaned lines")};
    if (o.lf && name != u"recode") throw UsageError{u"--lf goes only with recode"};
    if (o.json && (cmd->writes || name == u"help")) throw UsageError{u"--json goes only with get, sections, keys and dump"};
    if (o.force && !cmd->writes) throw UsageError{u"--force goes only with the commands that write"};
    if (!rest.empty() && rest[0].empty() && name != u"help") throw UsageError{u"the file name is empty"};
    return Execute(*cmd, rest, o, out);
  } catch (const UsageError& e) {
    out.err += u"kvini: " + e.message + u"\n";
    if (e.message.find(u"Usage:") == String::npos) out.err += u"Try \"kvini --help\".\n";
    out.out.clear();
    return kUsage;
  } catch (const Missing& e) {
    out.err += u"kvini: " + e.message + u"\n";
    if (o.json) out.out = u"null\n";
    return kMissing;
  } catch (const CommandError& e) {
    out.err += u"kvini: " + e.message + u"\n";
  } catch (const Busy& e) {
    out.err += u"kvini: " + e.message + u"\n";
  } catch (const Exception& e) {
    out.err += u"kvini: " + Describe(e) + u"\n";
  } catch (const std::exception& e) {
    out.err += u"kvini: " + FromUtf8(e.what()) + u"\n";
  }
  // Nothing of a failed command goes to standard output.
  out.out.clear();
  return kFailed;
}

}  // namespace kv::initool
