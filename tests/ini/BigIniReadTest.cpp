#include <gtest/gtest.h>

#include "TestUtil.h"
#include "ini/KVBigIni.h"

using namespace kv;

namespace {
class IniRead : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::WriteBytes(dir.NativeFile("r.ini"),
                       "[Numbers]\nhex=0x1F\ndollar=$1F\nbad=12abc\nlead= 12\ntrail=12 \nyes=yes\ntwo=2\n"
                       "zero=0\nbig=2147483648\nneg=-5\nhexbig=0xFFFFFFFF\n"
                       "[Values]\nkey=1\nquoted=\"x\"\nempty=\nnoequals\n=novalue\n;c=1\n"
                       "[Dates]\nd=3/1/2000\nt=12:00\ndt=3/1/2000 18:00\nf=2.5\nbadf=2,5\n"
                       "[Empty]\n");
    ini = std::make_unique<TBigIniFile>(dir.File("r.ini"));
  }
  kvtest::TempDir dir;
  std::unique_ptr<TBigIniFile> ini;
};

// A document whose ReadString is replaced: the typed reads must go through it.
class Overriding : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;
  String ReadString(const String&, const String&, const String&) override { return u"42"; }
};
}  // namespace

TEST_F(IniRead, ReadIntegerRules) {
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"hex", -1), 31);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"dollar", -1), 31);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"bad", -1), -1);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"lead", -1), 12);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"trail", -1), -1);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"big", -1), -1);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"neg", 0), -5);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"hexbig", 0), -1);
  EXPECT_EQ(ini->ReadInteger(u"Numbers", u"missing", 9), 9);
}

TEST_F(IniRead, ReadBoolRules) {
  EXPECT_TRUE(ini->ReadBool(u"Numbers", u"yes", true));
  EXPECT_FALSE(ini->ReadBool(u"Numbers", u"yes", false));
  EXPECT_TRUE(ini->ReadBool(u"Numbers", u"two", false));
  EXPECT_FALSE(ini->ReadBool(u"Numbers", u"zero", true));
}

TEST_F(IniRead, ReadStringKeepsTheValueAsStored) {
  EXPECT_EQ(ini->ReadString(u"values", u"KEY", u""), u"1");
  EXPECT_EQ(ini->ReadString(u"Values", u"quoted", u""), u"\"x\"");
  EXPECT_EQ(ini->ReadString(u"Values", u"empty", u"d"), u"");
  EXPECT_EQ(ini->ReadString(u"Values", u"noequals", u"d"), u"d");
  EXPECT_EQ(ini->ReadString(u"Values", u"", u"d"), u"novalue");
  EXPECT_EQ(ini->ReadString(u"Nope", u"key", u"d"), u"d");
}

TEST_F(IniRead, TypedReadsUseTheFormatSettings) {
  TFormatSettings saved = FormatSettings();
  FormatSettings() = TFormatSettings();  // US-style settings for the test
  EXPECT_DOUBLE_EQ(ini->ReadDate(u"Dates", u"d", -1), 36586.0);
  EXPECT_DOUBLE_EQ(ini->ReadTime(u"Dates", u"t", -1), 0.5);
  EXPECT_DOUBLE_EQ(ini->ReadDateTime(u"Dates", u"dt", -1), 36586.75);
  EXPECT_DOUBLE_EQ(ini->ReadFloat(u"Dates", u"f", -1), 2.5);
  EXPECT_DOUBLE_EQ(ini->ReadFloat(u"Dates", u"badf", -1), -1);
  EXPECT_DOUBLE_EQ(ini->ReadDate(u"Dates", u"f", -1), -1);
  FormatSettings().DecimalSeparator = u',';
  EXPECT_DOUBLE_EQ(ini->ReadFloat(u"Dates", u"badf", -1), 2.5);
  FormatSettings() = saved;
}

TEST_F(IniRead, TypedReadsCallReadStringThroughItsSlot) {
  Overriding o(dir.File("r.ini"));
  EXPECT_EQ(o.ReadInteger(u"x", u"y", 0), 42);
  EXPECT_TRUE(o.ReadBool(u"x", u"y", false));
  EXPECT_DOUBLE_EQ(o.ReadFloat(u"x", u"y", 0), 42.0);
}

TEST_F(IniRead, ReadSectionListsKeyNames) {
  TKVStringList keys;
  keys.Add(u"kept");
  ini->ReadSection(u"Values", keys);
  ASSERT_EQ(keys.Count(), 5);  // kept, key, quoted, empty, ;c
  EXPECT_EQ(keys.Strings(0), u"kept");
  EXPECT_EQ(keys.Strings(4), u";c");
  TKVStringList untouched;
  untouched.Add(u"x");
  ini->ReadSection(u"Missing", untouched);
  EXPECT_EQ(untouched.Count(), 1);
}

TEST_F(IniRead, ReadSectionValuesAndTheClearFlag) {
  TKVStringList v;
  v.Add(u"old");
  ini->SetFlagClearOnReadSectionValues(true);
  ini->ReadSectionValues(u"Missing", v);
  EXPECT_EQ(v.Count(), 1);  // a missing section does not clear
  ini->ReadSectionValues(u"Values", v);
  EXPECT_EQ(v.Strings(0), u"key=1");
  ini->SetFlagClearOnReadSectionValues(false);
  int before = v.Count();
  ini->ReadSectionValues(u"Values", v);
  EXPECT_EQ(v.Count(), before * 2);
}

TEST_F(IniRead, ReadAllLeavesOutEmptySectionsAndReadSectionsCarriesLists) {
  TKVStringList all;
  ini->ReadAll(all);
  EXPECT_EQ(all.IndexOf(u"[Empty]"), -1);
  TKVStringList secs;
  secs.Add(u"gone");
  ini->ReadSections(secs);
  ASSERT_EQ(secs.Count(), 4);
  EXPECT_EQ(secs.Strings(3), u"Empty");
  EXPECT_EQ(secs.Objects(0), ini->SectionNames().GetSectionItems(0));
}

TEST_F(IniRead, SectionTestsIgnoreCaseButValueExistsDoesNot) {
  EXPECT_TRUE(ini->HasSection(u"VALUES"));
  EXPECT_TRUE(ini->SectionExists(u"empty"));
  EXPECT_FALSE(ini->HasSection(u"Valuesx"));
  EXPECT_TRUE(ini->ValueExists(u"Values", u"key"));
  EXPECT_FALSE(ini->ValueExists(u"Values", u"KEY"));
  EXPECT_EQ(ini->ReadString(u"Values", u"KEY", u""), u"1");
}

TEST_F(IniRead, RememberedPositionsFollowTheReads) {
  ini->ReadString(u"Dates", u"d", u"");
  EXPECT_EQ(ini->PrevSectionIndex(), 2);
  ini->ReadString(u"Empty", u"x", u"");
  EXPECT_EQ(ini->PrevSectionIndex(), 3);
  ini->ReadString(u"Numbers", u"hex", u"");  // wraps around
  EXPECT_EQ(ini->PrevSectionIndex(), 0);
  ini->ReadString(u"Missing", u"x", u"");
  EXPECT_EQ(ini->PrevSectionIndex(), 3);  // stops at the last compared entry
  // After Clear the position lies beyond the list; searches still find everything.
  ini->Clear();
  EXPECT_EQ(ini->ReadString(u"Numbers", u"hex", u"d"), u"d");
  ini->AppendFromFile(dir.File("r.ini"));
  EXPECT_EQ(ini->ReadString(u"Empty", u"x", u"d"), u"d");
  EXPECT_TRUE(ini->HasSection(u"Empty"));
  EXPECT_EQ(ini->ReadString(u"Values", u"key", u""), u"1");
}

TEST_F(IniRead, UmlautKeysMatchTheirTranscription) {
  kvtest::WriteBytes(dir.NativeFile("u.ini"), "\xEF\xBB\xBF[S]\nAE\\uFFFDrger=v\n\xC3\xBC" "ber=w\n");
  TBigIniFile u(dir.File("u.ini"));
  EXPECT_EQ(u.ReadString(u"s", u"\u00C4rger", u""), u"v");  // the value after the "=", whole
  EXPECT_EQ(u.ReadString(u"S", u"\u00DCBER", u""), u"w");
}
