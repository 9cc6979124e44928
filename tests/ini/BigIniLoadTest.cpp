#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestUtil.h"
#include "ini/KVBigIni.h"
#include "platform/Files.h"

using namespace kv;

namespace {
using Lines = std::vector<String>;

Lines All(TBigIniFile& ini) {
  TKVStringList l;
  ini.ReadAll(l);
  Lines v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Strings(i));
  return v;
}

struct IniFixture {
  kvtest::TempDir dir;
  String Write(const std::string& bytes, const std::string& name = "t.ini") {
    kvtest::WriteBytes(dir.NativeFile(name), bytes);
    return dir.File(name);
  }
};

// Reloads the file with the given flags set.
std::unique_ptr<TBigIniFile> LoadWith(const String& file, void (*setFlags)(TBigIniFile&)) {
  auto ini = std::make_unique<TBigIniFile>(String(), false);
  setFlags(*ini);
  ini->SetFileName(file);
  return ini;
}
}  // namespace

TEST(IniLoading, MissingFileIsAnEmptyDocument) {
  IniFixture f;
  TBigIniFile ini(f.dir.File("none.ini"));
  EXPECT_EQ(ini.SectionNames().Count(), 0);
  EXPECT_EQ(ini.ReadString(u"a", u"b", u"def"), u"def");
}

TEST(IniLoading, LinesBeforeTheFirstHeaderAreKeptOutOfSightAndEmptyLinesDropped) {
  IniFixture f;
  TBigIniFile ini(f.Write("; comment\nkept=1\n\n[S]\na=1\n\n;c\nfree text\n"));
  EXPECT_EQ(All(ini), (Lines{u"[S]", u"a=1", u";c", u"free text", u""}));
  ASSERT_EQ(ini.LeadingLines().Count(), 2);
  EXPECT_EQ(ini.LeadingLines().Strings(0), u"; comment");
  EXPECT_EQ(ini.LeadingLines().Strings(1), u"kept=1");
  // Invisible to lookups and section lists.
  EXPECT_EQ(ini.ReadString(u"", u"kept", u"dflt"), u"dflt");
  TKVStringList names;
  ini.ReadSections(names);
  EXPECT_EQ(names.Count(), 1);
  // A second file's leading lines join them; Clear drops them.
  ini.AppendFromFile(f.Write("second=2\n[T]\nb=1\n"));
  EXPECT_EQ(ini.LeadingLines().Count(), 3);
  ini.Clear();
  EXPECT_EQ(ini.LeadingLines().Count(), 0);
}

TEST(IniLoading, LeadingLinesThatWouldReadAsAByteOrderMarkAreWrittenAsUtf16) {
  // The NUL is dropped on reading, so the first line begins with the ANSI
  // characters whose bytes are a byte-order mark; written back in ANSI, the
  // file would be read in another coding, its sections lost.
  for (const std::string start : {std::string("\0\xFE\xFF", 3), std::string("\0\xFF\xFE", 3),
                                  std::string("\0\xEF\xBB\xBF", 4)}) {
    TBigIniFile ini(String(), false);
    ini.LoadFromBytes(start + "lead\r\n[S]\r\na=1\r\n");
    ASSERT_EQ(ini.LeadingLines().Count(), 1);
    const std::string bytes = ini.DocumentBytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    TBigIniFile reloaded(String(), false);
    reloaded.LoadFromBytes(bytes);
    EXPECT_EQ(All(reloaded), All(ini));
    ASSERT_EQ(reloaded.LeadingLines().Count(), 1);
    EXPECT_EQ(reloaded.LeadingLines().Strings(0), ini.LeadingLines().Strings(0));
  }
  // Any other ANSI text stays ANSI.
  TBigIniFile plain(String(), false);
  plain.LoadFromBytes("\xFEx\r\n[S]\r\na=1\r\n");
  EXPECT_EQ(plain.DocumentBytes().substr(0, 2), "\xFEx");
}

TEST(IniLoading, HeadersAreRecognisedBeforeCleaning) {
  IniFixture f;
  TBigIniFile ini(f.Write("[A]\n [B]\n[C] \n[]\nx=1\n[[D]]\ny=2\n"));
  TKVStringList names;
  ini.ReadSections(names);
  ASSERT_EQ(names.Count(), 3);
  EXPECT_EQ(names.Strings(0), u"A");
  EXPECT_EQ(names.Strings(1), u"");
  EXPECT_EQ(names.Strings(2), u"[D]");
  // Blanks around the brackets make an ordinary line.
  TKVStringList lines;
  ini.ReadSectionValues(u"A", lines);
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines.Strings(0), u" [B]");
  EXPECT_EQ(lines.Strings(1), u"[C] ");
}

TEST(IniLoading, EndOfFileMarkLineIsDropped) {
  IniFixture f;
  TBigIniFile ini(f.Write("[S]\na=1\n\x1A\n"));
  EXPECT_EQ(All(ini), (Lines{u"[S]", u"a=1", u""}));
}

TEST(IniLoading, FlagsCleanLines) {
  IniFixture f;
  String file = f.Write("[S]\nkey = value\n;comment\nquoted=\"a b\"\nmixed='x\"\nq=\"\ntrail=v \t\nnoequals\n   \n");
  auto plain = LoadWith(file, [](TBigIniFile&) {});
  EXPECT_EQ(plain->ReadString(u"S", u"key", u"def"), u"def");
  EXPECT_EQ(plain->ReadString(u"S", u"key ", u"def"), u" value");

  auto ws = LoadWith(file, [](TBigIniFile& i) { i.SetFlagDropWhiteSpace(true); });
  EXPECT_EQ(ws->ReadString(u"S", u"key", u""), u"value");

  auto ap = LoadWith(file, [](TBigIniFile& i) { i.SetFlagDropApostrophes(true); });
  EXPECT_EQ(ap->ReadString(u"S", u"quoted", u""), u"a b");
  EXPECT_EQ(ap->ReadString(u"S", u"mixed", u""), u"'x\"");
  EXPECT_EQ(ap->ReadString(u"S", u"q", u""), u"\"");

  auto tr = LoadWith(file, [](TBigIniFile& i) { i.SetFlagTrimRight(true); });
  EXPECT_EQ(tr->ReadString(u"S", u"trail", u""), u"v");
  TKVStringList values;
  tr->ReadSectionValues(u"S", values);
  EXPECT_EQ(values.Strings(values.Count() - 1), u"");  // the blank line became empty and stays

  auto all = LoadWith(file, [](TBigIniFile& i) {
    i.SetFlagTrimRight(true);
    i.SetFlagFilterOutInvalid(true);
    i.SetFlagDropCommentLines(true);
  });
  TKVStringList v2;
  all->ReadSectionValues(u"S", v2);
  for (int i = 0; i < v2.Count(); ++i) EXPECT_NE(v2.Strings(i).find(u'='), String::npos);
  EXPECT_EQ(v2.IndexOf(u";comment"), -1);
}

TEST(IniLoading, DroppingWhiteSpaceTakesEachRunAtOnce) {
  // Runs of blanks and tabs around the "=" of any length, also a whole long
  // line of them (which took time growing with the square of its length),
  // and a line that starts with "=" after the blanks keeps those after it.
  const std::string run(300000, ' ');
  TBigIniFile ini{String()};
  ini.SetFlagDropWhiteSpace(true);
  ini.LoadFromBytes("[S]\nk" + run + "\t=\t" + run + "v\n" + run + "= x\na = b = c\n\t=\t\n");
  EXPECT_EQ(ini.ReadString(u"S", u"k", u""), u"v");
  TKVStringList values;
  ini.ReadSectionValues(u"S", values);
  ASSERT_EQ(values.Count(), 4);
  EXPECT_EQ(values.Strings(1), u"= x");
  EXPECT_EQ(values.Strings(2), u"a=b = c");
  EXPECT_EQ(values.Strings(3), u"=\t");
}

TEST(IniLoading, FlagsSetAfterConstructionWaitForTheNextLoad) {
  IniFixture f;
  String file = f.Write("[S]\nkey = v\n");
  TBigIniFile ini(file);
  ini.SetFlagDropWhiteSpace(true);
  EXPECT_EQ(ini.ReadString(u"S", u"key", u"d"), u"d");
  ini.SetFileName(file);
  EXPECT_EQ(ini.ReadString(u"S", u"key", u"d"), u"v");
}

TEST(IniDuplicates, FirstSectionWinsWithItsOwnLines) {
  IniFixture f;
  String file = f.Write("[Name]\na=1\n[Other]\nz=0\n[name]\na=2\nb=3\n");
  TBigIniFile ini(file);
  EXPECT_EQ(All(ini), (Lines{u"[Name]", u"a=1", u"", u"[Other]", u"z=0", u""}));
  EXPECT_EQ(ini.ReadString(u"NAME", u"b", u"none"), u"none");
}

TEST(IniDuplicates, CallbackChoosesAndSeesEarlierThenLater) {
  IniFixture f;
  String file = f.Write("[D]\nn=1\n[D]\nn=2\n[D]\nn=3\n");
  TBigIniFile ini(String(), false);
  std::vector<std::pair<String, String>> calls;
  ini.SetEraseSectionCallback([&](const String& name, const TKVStringList& earlier, const TKVStringList& later) {
    calls.emplace_back(earlier.Strings(0), later.Strings(0));
    EXPECT_EQ(name, u"D");
    return false;
  });
  ini.SetFileName(file);
  EXPECT_EQ(ini.ReadString(u"D", u"n", u""), u"3");
  EXPECT_EQ(ini.SectionNames().Count(), 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::pair<String, String>{u"n=1", u"n=2"}));
  EXPECT_EQ(calls[1], (std::pair<String, String>{u"n=2", u"n=3"}));
}

TEST(IniDuplicates, ChangedStateOnlyThroughAppendFromFile) {
  IniFixture f;
  String file = f.Write("[A]\nx=1\n[a]\nx=2\n");
  class Probe : public TBigIniFile {
   public:
    using TBigIniFile::TBigIniFile;
    bool Changed() const { return FHasChanged; }
  };
  Probe ini(file);
  EXPECT_FALSE(ini.Changed());
  Probe empty{String()};
  empty.AppendFromFile(file);
  EXPECT_TRUE(empty.Changed());
}

TEST(IniAppend, AddsSectionsAndDropsLinesBeforeTheFirstHeader) {
  IniFixture f;
  TBigIniFile ini(f.Write("[A]\na=1\n", "1.ini"));
  ini.AppendFromFile(f.Write("orphan=1\n[B]\nb=2\n", "2.ini"));
  EXPECT_EQ(All(ini), (Lines{u"[A]", u"a=1", u"", u"[B]", u"b=2", u""}));
  ini.AppendFromFile(f.dir.File("missing.ini"));
  EXPECT_EQ(ini.SectionNames().Count(), 2);
}

TEST(IniEncodings, EveryEncodingReadsTheSameDocument) {
  IniFixture f;
  std::u16string text = u"[Sec]\r\nK\u00E4y=W\u00E4rt\r\n";
  std::vector<std::string> files = {
      "\xEF\xBB\xBF" "[Sec]\r\nK\xC3\xA4y=W\xC3\xA4rt\r\n",
      kvtest::Utf16Le(text),
      kvtest::Utf16Be(text),
  };
  for (auto& bytes : files) {
    TBigIniFile ini(f.Write(bytes));
    EXPECT_EQ(ini.ReadString(u"sec", u"K\u00C4Y", u""), u"W\u00E4rt");
  }
  TBigIniFile u8(f.Write("[Sec]\nK\xC3\xA4y=W\xC3\xA4rt\n"), true);
  EXPECT_TRUE(u8.IsUTF8File());
  EXPECT_EQ(u8.ReadString(u"Sec", u"K\u00E4y", u""), u"W\u00E4rt");
  TBigIniFile w(f.Write(kvtest::Utf16Le(text)));
  EXPECT_TRUE(w.IsUnicodeFile());
}

TEST(IniErrors, ExistingFileThatCannotBeOpenedRaises) {
  IniFixture f;
  String file = f.Write("[S]\n");
  kv::platform::FileHandle lock;
  ASSERT_TRUE(lock.Open(file, kv::platform::FileAccess::ReadWrite, kv::platform::FileShare::None,
                        kv::platform::FileDisposition::OpenExisting));
  EXPECT_THROW(TBigIniFile ini(file), EFOpenError);
}
