#include "tools/kvini/IniTool.h"

#include <map>
#include <memory>

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
    u"section is followed by one empty line, lines before the first section are dropped.\n"
    u"\n"
    u"Commands:\n"
    u"  get FILE SECTION KEY [DEFAULT]   print a value (DEFAULT or nothing when missing)\n"
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
    u"  --help, -h          help for the command\n"
    u"  --                  everything after it is an argument, even when it starts with --\n"
    u"Cleaning options (get, sections, keys and dump only):\n"
    u"  --drop-comments     drop lines starting with \";\"\n"
    u"  --drop-whitespace   drop blanks and tabs around the first \"=\"\n"
    u"  --drop-apostrophes  drop quotes enclosing a value\n"
    u"  --trim-right        drop trailing blanks and control characters\n"
    u"  --filter-invalid    drop lines without \"=\"\n"
    u"\n"
    u"Section and key names are matched ignoring letter case.\n"
    u"Exit codes: 0 done, 1 failed (the file is then unchanged), 2 wrong usage.\n";

struct Command {
  const char16_t* name;
  int minArgs, maxArgs;  // after the command, FILE included
  bool writes;
  const char16_t* help;
};

const Command kCommands[] = {
    {u"get", 3, 4, false,
     u"Usage: kvini get FILE SECTION KEY [DEFAULT]\n"
     u"Prints the value of KEY in SECTION: the text after the first \"=\", as stored.\n"
     u"A missing file, section or key prints DEFAULT (or an empty line) and succeeds.\n"},
    {u"set", 4, 4, true,
     u"Usage: kvini set FILE SECTION KEY VALUE\n"
     u"Sets KEY=VALUE in SECTION. A missing key is added at the end of its section, a\n"
     u"missing section at the end of the file, a missing file is created. The key is\n"
     u"stored as spelled here. Nothing is written when the value is already the same.\n"},
    {u"delete", 2, 3, true,
     u"Usage: kvini delete FILE SECTION [KEY]\n"
     u"Deletes KEY from SECTION, or the whole SECTION without KEY. Deleting something\n"
     u"that is not there succeeds and leaves the file alone.\n"},
    {u"sections", 1, 1, false,
     u"Usage: kvini sections FILE\n"
     u"Prints the section names, one per line, in file order. A section that appears\n"
     u"twice is listed once: the engine keeps the first one.\n"},
    {u"keys", 2, 2, false,
     u"Usage: kvini keys FILE SECTION\n"
     u"Prints the key names of SECTION, one per line (lines without \"=\" have none).\n"
     u"A missing section prints nothing.\n"},
    {u"dump", 1, 1, false,
     u"Usage: kvini [--force-utf8] [cleaning options] dump FILE\n"
     u"Prints the document as the engine holds it after loading: every non-empty\n"
     u"section with its header and lines, then an empty line. This is what a write\n"
     u"would store. See \"kvini --help\" for the cleaning options.\n"},
    {u"rename-section", 3, 3, true,
     u"Usage: kvini rename-section FILE OLD NEW\n"
     u"Renames section OLD to NEW. Fails when OLD is missing or when another section\n"
     u"is called NEW already.\n"},
    {u"rename-key", 4, 4, true,
     u"Usage: kvini rename-key FILE SECTION OLD NEW\n"
     u"Renames key OLD of SECTION to NEW, keeping its value. The renamed line moves to\n"
     u"the end of its section (it stays in place when only the letter case changes);\n"
     u"an existing key NEW takes the value. Fails when OLD is missing.\n"},
    {u"recode", 2, 3, false,
     u"Usage: kvini [--force-utf8] [--lf] recode FILE CODING [OUTPUT]\n"
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
  bool forceUtf8 = false, lf = false, help = false;
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

std::unique_ptr<TBiggerIniFile> Open(const String& file, const Options& o) {
  auto ini = std::make_unique<TBiggerIniFile>(String(), o.forceUtf8);
  ini->SetFlagDropCommentLines(o.dropComments);
  ini->SetFlagDropWhiteSpace(o.dropWhiteSpace);
  ini->SetFlagDropApostrophes(o.dropApostrophes);
  ini->SetFlagTrimRight(o.trimRight);
  ini->SetFlagFilterOutInvalid(o.filterInvalid);
  ini->SetFileName(file);
  return ini;
}

void PrintLines(const TStringList& l, Output& out) {
  for (int i = 0; i < l.Count(); ++i) out.out += l.Strings(i) + u"\n";
}

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

void Recode(const String& file, const String& codingName, const String& output, const Options& o) {
  auto it = Codings().find(codingName);
  if (it == Codings().end())
    throw UsageError{u"unknown coding \"" + codingName + u"\" (ansi, oem, utf8, utf8-bom, utf16le, utf16be)"};
  bool oem = codingName == u"oem";
  if (!FileExistsEx(file)) throw CommandError{u"file not found: " + platform::DisplayPath(file)};
  std::vector<String> lines;
  bool utf8;
  {
    TUnicodeFileReader reader(file, o.forceUtf8);
    utf8 = reader.isUtf8();
    while (!reader.Eof()) lines.push_back(reader.ReadLine());
  }
  if (utf8) {
    // The reader replaces malformed sequences; recoding would store the
    // replacement characters instead of the original bytes.
    TFileStream s(file, TFileMode::fmOpenRead);
    std::string bytes(static_cast<size_t>(s.Size()), '\0');
    s.ReadBuffer(bytes.data(), s.Size());
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    if (!platform::IsValidUtf8(bytes))
      throw CommandError{platform::DisplayPath(file) + u" is not valid UTF-8; nothing written"};
  }
  if (it->second == TKVFileCoding::fcAnsi) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (!SingleByteHolds(lines[i], oem))
        throw CommandError{FormatSimple(u"line %d holds characters the %s code page lacks; nothing written",
                                        {IntToStr(static_cast<std::int64_t>(i + 1)), oem ? u"OEM" : u"ANSI"})};
  }
  String target = output.empty() ? file : output;
  // In place: a sibling file first, which then replaces the original.
  String written = output.empty() ? file + u".kvini-recode.tmp" : output;
  try {
    TUnicodeFileWriter w(written, it->second, false);
    w.SetIsASCII(oem);
    if (o.lf) w.SetLineSeparator(u"\n");
    for (const auto& l : lines) w.WriteLn(l);
    w.Close();
  } catch (...) {
    if (output.empty()) platform::RemoveFile(written);
    throw;
  }
  if (output.empty() && !platform::ReplaceFileWith(written, target)) {
    String reason = platform::SysErrorMessage(platform::LastError());
    platform::RemoveFile(written);
    throw CommandError{u"cannot replace " + platform::DisplayPath(target) + u": " + reason};
  }
}

int Execute(const Command& cmd, const std::vector<String>& a, const Options& o, Output& out) {
  const String& file = a.empty() ? String() : a[0];
  String name = cmd.name;
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
  if (name == u"recode") {
    Recode(file, a[1], a.size() > 2 ? a[2] : String(), o);
    return kOk;
  }
  auto ini = Open(file, o);
  if (name == u"get") {
    out.out += ini->ReadString(a[1], a[2], a.size() > 3 ? a[3] : String()) + u"\n";
  } else if (name == u"set") {
    if (a[2].empty()) throw UsageError{u"the key name is empty"};
    ini->WriteString(a[1], a[2], a[3]);
  } else if (name == u"delete") {
    if (a.size() > 2)
      ini->DeleteKey(a[1], a[2]);
    else
      ini->EraseSection(a[1]);
  } else if (name == u"sections") {
    TStringList l;
    ini->ReadSections(l);
    PrintLines(l, out);
  } else if (name == u"keys") {
    TStringList l;
    ini->ReadSection(a[1], l);
    PrintLines(l, out);
  } else if (name == u"dump") {
    TStringList l;
    ini->ReadAll(l);
    PrintLines(l, out);
  } else if (name == u"rename-section") {
    if (!ini->HasSection(a[1])) throw CommandError{u"no section \"" + a[1] + u"\" in " + platform::DisplayPath(file)};
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
    if (a[3].empty()) throw UsageError{u"the new key name is empty"};
    ini->RenameKey(a[1], a[2], a[3]);
  }
  // The document is written here, where an error can still be reported.
  ini->UpdateFile();
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
      else if (arg == u"--lf") o.lf = true;
      else if (arg == u"--drop-comments") o.dropComments = true;
      else if (arg == u"--drop-whitespace") o.dropWhiteSpace = true;
      else if (arg == u"--drop-apostrophes") o.dropApostrophes = true;
      else if (arg == u"--trim-right") o.trimRight = true;
      else if (arg == u"--filter-invalid") o.filterInvalid = true;
      else throw UsageError{u"unknown option \"" + arg + u"\""};
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
    if (o.Cleaning() && cmd->writes)
      throw UsageError{String(u"the cleaning options go only with get, sections, keys and dump: a write would "
                              u"store the cleaned lines")};
    if (o.lf && String(cmd->name) != u"recode") throw UsageError{u"--lf goes only with recode"};
    if (!rest.empty() && rest[0].empty()) throw UsageError{u"the file name is empty"};
    return Execute(*cmd, rest, o, out);
  } catch (const UsageError& e) {
    out.err += u"kvini: " + e.message + u"\n";
    if (e.message.find(u"Usage:") == String::npos) out.err += u"Try \"kvini --help\".\n";
    return kUsage;
  } catch (const CommandError& e) {
    out.err += u"kvini: " + e.message + u"\n";
  } catch (const Exception& e) {
    out.err += u"kvini: " + e.Message() + u"\n";
  } catch (const std::exception& e) {
    out.err += u"kvini: " + FromUtf8(e.what()) + u"\n";
  }
  // Nothing of a failed command goes to standard output.
  out.out.clear();
  return kFailed;
}

}  // namespace kv::initool
