#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "ini/KVBigIni.h"
#include "platform/CodePages.h"
#include "platform/Files.h"

using namespace kv;
using kvtest::ReadBytes;
using kvtest::WriteBytes;

namespace {

class IniWrite : public ::testing::Test {
 protected:
  std::unique_ptr<TBiggerIniFile> Load(const std::string& name, const std::string& bytes, bool forceUtf8 = false) {
    WriteBytes(dir.NativeFile(name), bytes);
    return std::make_unique<TBiggerIniFile>(dir.File(name), forceUtf8);
  }
  std::string Bytes(const std::string& name) { return ReadBytes(dir.NativeFile(name)); }
  size_t FilesInDir() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Native())) ++n;
    return n;
  }
  kvtest::TempDir dir;
};

}  // namespace

TEST_F(IniWrite, WriteStringMarksOnlyRealChanges) {
  auto ini = Load("a.ini", "[S]\r\nKey=1\r\n");
  ini->WriteString(u"S", u"Key", u"1");
  EXPECT_FALSE(ini->HasChanged());
  ini->WriteString(u"s", u"KEY", u"1");  // the key as the caller spells it
  EXPECT_TRUE(ini->HasChanged());
  ini->UpdateFile();
  EXPECT_FALSE(ini->HasChanged());
  EXPECT_EQ(Bytes("a.ini"), "[S]\r\nKEY=1\r\n\r\n");
  ini->WriteString(u"S", u"KEY", u"1");
  EXPECT_FALSE(ini->HasChanged());
}

TEST_F(IniWrite, FlushWritesSectionsWithCrLfAndOneEmptyLineEach) {
  auto ini = Load("b.ini", "; leading comment\nbefore=kept\n\n[A]\nx=1\n\n; comment\n\n[Empty]\n[B]\ny=2");
  ini->WriteString(u"New", u"k", u"v");
  ini->UpdateFile();
  // The lines before the first header stay in front of it.
  EXPECT_EQ(Bytes("b.ini"), "; leading comment\r\nbefore=kept\r\n[A]\r\nx=1\r\n; comment\r\n\r\n[B]\r\ny=2\r\n\r\n[New]\r\n"
                            "k=v\r\n\r\n");
  // The temporary file is gone.
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniWrite, AFileWithoutSectionsKeepsItsLines) {
  auto ini = Load("n.ini", "; only comments\nfree text\n");
  ini->WriteString(u"S", u"k", u"v");
  ini->UpdateFile();
  EXPECT_EQ(Bytes("n.ini"), "; only comments\r\nfree text\r\n[S]\r\nk=v\r\n\r\n");
}

TEST_F(IniWrite, EmptyKeyErasesTheSectionOrFlushes) {
  auto ini = Load("c.ini", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  ini->WriteString(u"A", u"", u"anything");
  EXPECT_FALSE(ini->HasSection(u"A"));
  EXPECT_TRUE(ini->HasChanged());
  ini->WriteString(u"", u"", u"");
  EXPECT_FALSE(ini->HasChanged());
  EXPECT_EQ(Bytes("c.ini"), "[B]\r\ny=2\r\n\r\n");
}

TEST_F(IniWrite, DeleteKeyOnAMissingSectionCreatesItUnmarked) {
  auto ini = Load("d.ini", "[A]\r\nx=1\r\n");
  ini->DeleteKey(u"Missing", u"x");
  EXPECT_TRUE(ini->HasSection(u"Missing"));
  EXPECT_FALSE(ini->HasChanged());
  ini->DeleteKey(u"A", u"nope");
  EXPECT_FALSE(ini->HasChanged());
  ini->DeleteKey(u"a", u"X");
  EXPECT_TRUE(ini->HasChanged());
  ini->WriteString(u"A", u"z", u"3");
  ini->UpdateFile();
  EXPECT_EQ(Bytes("d.ini"), "[A]\r\nz=3\r\n\r\n");
}

TEST_F(IniWrite, EraseSectionResetsTheRememberedPositions) {
  auto ini = Load("e.ini", "[A]\r\na=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n");
  EXPECT_EQ(ini->ReadString(u"C", u"c", u""), u"3");
  EXPECT_EQ(ini->PrevSectionIndex(), 2);
  ini->EraseSection(u"C");
  EXPECT_EQ(ini->PrevSectionIndex(), 0);
  EXPECT_EQ(ini->SectionNames().PrevIndex(), 0);
  EXPECT_EQ(ini->ReadString(u"A", u"a", u""), u"1");
  ini->EraseSection(u"Nothing");
  ini->EraseSection(u"B");
  EXPECT_EQ(ini->SectionNames().Count(), 1);
  EXPECT_EQ(ini->ReadString(u"B", u"b", u"gone"), u"gone");
}

TEST_F(IniWrite, UnchangedDocumentsNeverTouchTheirFile) {
  const std::string original = "[A]\nx=1\n[a]\ny=2\n";
  {
    auto ini = Load("f.ini", original);
    EXPECT_EQ(ini->ReadString(u"A", u"x", u""), u"1");
  }
  EXPECT_EQ(Bytes("f.ini"), original);
  // Without a file name a flush writes nothing and clears the flag.
  TBiggerIniFile mem(u"");
  mem.WriteString(u"S", u"k", u"v");
  EXPECT_TRUE(mem.HasChanged());
  mem.FlushFile();
  EXPECT_FALSE(mem.HasChanged());
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniWrite, CodingOfTheWrittenFile) {
  // UTF-8 and big-endian UTF-16 files come back as little-endian UTF-16.
  auto u8 = Load("u8.ini", "\xEF\xBB\xBF[S]\nk=\xC3\xA4\n");
  u8->WriteString(u"S", u"k", u"\u00F6");
  u8->UpdateFile();
  EXPECT_EQ(Bytes("u8.ini"), kvtest::Utf16Le(u"[S]\r\nk=\u00F6\r\n\r\n"));
  auto be = Load("be.ini", kvtest::Utf16Be(u"[S]\r\nk=1\r\n"));
  be->WriteString(u"S", u"k", u"2");
  be->UpdateFile();
  EXPECT_EQ(Bytes("be.ini"), kvtest::Utf16Le(u"[S]\r\nk=2\r\n\r\n"));
  // Opened with ForceUtf8File: UTF-16 too.
  auto forced = Load("forced.ini", "[S]\nk=1\n", true);
  forced->WriteString(u"S", u"k", u"2");
  forced->UpdateFile();
  EXPECT_EQ(Bytes("forced.ini"), kvtest::Utf16Le(u"[S]\r\nk=2\r\n\r\n"));
}

TEST_F(IniWrite, AnsiFilesStayAnsiUnlessACharacterWouldBeLost) {
  if (platform::AnsiCodePage() != 1252) GTEST_SKIP() << "needs ANSI 1252";
  auto ini = Load("ansi.ini", "[S]\nk=1\n");
  ini->WriteString(u"S", u"k", u"\u00E4\u20AC");
  ini->UpdateFile();
  EXPECT_EQ(Bytes("ansi.ini"), "[S]\r\nk=\xE4\x80\r\n\r\n");
  ini->WriteString(u"S", u"cn", u"\u4E2D");
  ini->UpdateFile();
  EXPECT_EQ(Bytes("ansi.ini"), kvtest::Utf16Le(u"[S]\r\nk=\u00E4\u20AC\r\ncn=\u4E2D\r\n\r\n"));
  TBigIniFile again(dir.File("ansi.ini"));
  EXPECT_EQ(again.ReadString(u"S", u"cn", u""), u"\u4E2D");
  EXPECT_EQ(again.ReadString(u"S", u"k", u""), u"\u00E4\u20AC");
}

TEST_F(IniWrite, AFailedFlushLeavesTheFileAndKeepsTheChanges) {
  const std::string original = "[S]\r\nk=old\r\n";
  auto ini = Load("ro.ini", original);
  ini->WriteString(u"S", u"k", u"new");
  ASSERT_TRUE(platform::SetFileReadOnly(dir.File("ro.ini"), true));
  try {
    ini->UpdateFile();
    FAIL() << "a read-only file was replaced";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(u"ro.ini"), String::npos) << ToUtf8(e.Message());
    EXPECT_GT(e.Message().size(), platform::DisplayPath(dir.File("ro.ini")).size() + 20) << "no reason given";
  }
  EXPECT_TRUE(ini->HasChanged());
  EXPECT_EQ(Bytes("ro.ini"), original);
  EXPECT_EQ(FilesInDir(), 1u);
  // The next flush tries again.
  ASSERT_TRUE(platform::SetFileReadOnly(dir.File("ro.ini"), false));
  ini->UpdateFile();
  EXPECT_EQ(Bytes("ro.ini"), "[S]\r\nk=new\r\n\r\n");
}

TEST_F(IniWrite, AFileHeldByAnotherIsNotReplaced) {
  const std::string original = "[S]\r\nk=old\r\n";
  auto ini = Load("held.ini", original);
  ini->WriteString(u"S", u"k", u"new");
  {
    platform::FileHandle other;
    ASSERT_TRUE(other.Open(dir.File("held.ini"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                           platform::FileDisposition::OpenExisting));
    EXPECT_THROW(ini->UpdateFile(), EFCreateError);
    EXPECT_TRUE(ini->HasChanged());
  }
  EXPECT_EQ(Bytes("held.ini"), original);
  EXPECT_EQ(FilesInDir(), 1u);
  ini->UpdateFile();
  EXPECT_EQ(Bytes("held.ini"), "[S]\r\nk=new\r\n\r\n");
}

// Faults injected in the middle: a read error while loading, a failed write
// of the second piece, a failed rename. Each leaves the file as it was.
TEST_F(IniWrite, FaultsInTheMiddleLeaveTheFileAsItWas) {
  // More than one piece of the flush (1 MiB) and more than one read of the loader.
  std::string original = "[S]\r\n";
  for (int i = 0; original.size() < 1200 * 1024; ++i) original += "key" + std::to_string(i) + "=value\r\n";
  WriteBytes(dir.NativeFile("f.ini"), original);
  platform::InjectFileFault(platform::FileFault::Read, 2, platform::kErrorDiskFull);
  EXPECT_THROW(TBiggerIniFile(dir.File("f.ini")), EReadError);
  platform::InjectFileFault(platform::FileFault::Read, 0, 0);
  auto ini = std::make_unique<TBiggerIniFile>(dir.File("f.ini"));
  ini->WriteString(u"S", u"new", u"1");
  platform::InjectFileFault(platform::FileFault::Write, 2, platform::kErrorDiskFull);
  try {
    ini->UpdateFile();
    FAIL() << "a failed write went unnoticed";
  } catch (const EWriteError& e) {
    EXPECT_NE(e.Message().find(u"f.ini"), String::npos);
    EXPECT_EQ(e.ErrorCode(), platform::kErrorDiskFull);
  }
  EXPECT_EQ(Bytes("f.ini"), original);
  EXPECT_EQ(FilesInDir(), 1u);
  platform::InjectFileFault(platform::FileFault::Replace, 1, platform::kErrorAccessDenied);
  EXPECT_THROW(ini->UpdateFile(), EFCreateError);
  EXPECT_EQ(Bytes("f.ini"), original);
  EXPECT_EQ(FilesInDir(), 1u);
  EXPECT_TRUE(ini->HasChanged());
  ini->UpdateFile();
  EXPECT_EQ(Bytes("f.ini"), "[S]\r\n" + original.substr(5) + "new=1\r\n\r\n");
}

TEST_F(IniWrite, AFolderThatCannotBeWrittenGivesAnErrorNamingTheFile) {
  WriteBytes(dir.NativeFile("plainfile"), "x");
  // A file stands where the folder should be.
  TBiggerIniFile ini(dir.Path() + u"\\plainfile\\settings.ini");
  ini.WriteString(u"S", u"k", u"v");
  try {
    ini.UpdateFile();
    FAIL() << "written into a file as folder";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(u"settings.ini"), String::npos);
  }
  EXPECT_TRUE(ini.HasChanged());
  EXPECT_EQ(Bytes("plainfile"), "x");
}

TEST_F(IniWrite, DestructorAndFileNameFlushWithoutThrowing) {
  {
    auto ini = Load("g.ini", "[S]\r\nk=1\r\n");
    ini->WriteString(u"S", u"k", u"2");
    // Assigning another file writes the old document to its old file first.
    WriteBytes(dir.NativeFile("h.ini"), "[T]\r\nm=1\r\n");
    ini->SetFileName(dir.File("h.ini"));
    EXPECT_FALSE(ini->HasChanged());
    EXPECT_EQ(ini->ReadString(u"T", u"m", u""), u"1");
    ini->WriteString(u"T", u"m", u"5");
  }
  EXPECT_EQ(Bytes("g.ini"), "[S]\r\nk=2\r\n\r\n");
  EXPECT_EQ(Bytes("h.ini"), "[T]\r\nm=5\r\n\r\n");
  // A destructor whose flush fails loses the changes but does not throw.
  {
    auto ini = Load("ro2.ini", "[S]\r\nk=1\r\n");
    ini->WriteString(u"S", u"k", u"2");
    ASSERT_TRUE(platform::SetFileReadOnly(dir.File("ro2.ini"), true));
  }
  EXPECT_EQ(Bytes("ro2.ini"), "[S]\r\nk=1\r\n");
  platform::SetFileReadOnly(dir.File("ro2.ini"), false);
}

namespace {

// German settings for the typed writes, restored afterwards.
class TypedWrites : public IniWrite {
 protected:
  void SetUp() override {
    saved = FormatSettings();
    TFormatSettings& fs = FormatSettings();
    fs.DateSeparator = u'.';
    fs.TimeSeparator = u':';
    fs.DecimalSeparator = u',';
    fs.ShortDateFormat = u"dd.mm.yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
  }
  void TearDown() override { FormatSettings() = saved; }
  TFormatSettings saved;
};

}  // namespace

TEST_F(TypedWrites, UseTheProcessWideFormatSettings) {
  auto ini = Load("t.ini", "");
  TDateTime date = *TryEncodeDate(2026, 12, 9);
  TDateTime time = *TryEncodeTime(7, 5, 3, 0);
  ini->WriteDate(u"S", u"date", date);
  ini->WriteDateTime(u"S", u"midnight", date);
  ini->WriteDateTime(u"S", u"dt", date + time);
  ini->WriteTime(u"S", u"time", time);
  ini->WriteFloat(u"S", u"f", 1.5);
  ini->WriteFloat(u"S", u"tiny", 1.5e-7);
  ini->WriteFloat(u"S", u"third", 1.0 / 3);
  ini->WriteInteger(u"S", u"neg", -42);
  ini->WriteBool(u"S", u"yes", true);
  ini->WriteBool(u"S", u"no", false);
  TStringList lines;
  ini->ReadSectionValues(u"S", lines);
  EXPECT_EQ(lines.Text(), u"date=09.12.2026\r\nmidnight=09.12.2026\r\ndt=09.12.2026 07:05:03\r\ntime=07:05:03\r\n"
                          u"f=1,5\r\ntiny=1,5E-7\r\nthird=0,333333333333333\r\nneg=-42\r\nyes=1\r\nno=0\r\n");
  EXPECT_EQ(ini->ReadDate(u"S", u"date", 0), date);
  EXPECT_DOUBLE_EQ(ini->ReadDateTime(u"S", u"dt", 0), date + time);
  EXPECT_DOUBLE_EQ(ini->ReadTime(u"S", u"time", 0), time);
  EXPECT_EQ(ini->ReadFloat(u"S", u"f", 0), 1.5);
  EXPECT_EQ(ini->ReadFloat(u"S", u"tiny", 0), 1.5e-7);
  EXPECT_EQ(ini->ReadInteger(u"S", u"neg", 0), -42);
  EXPECT_TRUE(ini->ReadBool(u"S", u"yes", false));
  EXPECT_FALSE(ini->ReadBool(u"S", u"no", true));
}

namespace {

// A document whose WriteString is replaced: the typed writes go through it.
class Recording : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;
  void WriteString(const String& s, const String& k, const String& v) override { seen += k + u"=" + v + u";"; }
  String seen;
};

}  // namespace

TEST(IniWriteSlots, TypedWritesCallWriteStringThroughItsSlot) {
  Recording r(u"");
  r.WriteInteger(u"S", u"i", 7);
  r.WriteBool(u"S", u"b", true);
  r.WriteFloat(u"S", u"f", 2);
  EXPECT_EQ(r.seen, u"i=7;b=1;f=2;");
}
