#include <gtest/gtest.h>

#include "TestUtil.h"
#include "ini/KVBigIni.h"

using namespace kv;

namespace {

class Bigger : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::WriteBytes(dir.NativeFile("b.ini"), "[List]\r\nother=x\r\nCount=3\r\nItem1=a\r\nItem2=b\r\nItem3=c\r\n"
                                                "[Keys]\r\nfirst=1\r\nName=value\r\nlast=9\r\n");
    ini = std::make_unique<TBiggerIniFile>(dir.File("b.ini"));
  }
  String Lines(const String& section) {
    TStringList l;
    ini->ReadSectionValues(section, l);
    return l.CommaText();
  }
  kvtest::TempDir dir;
  std::unique_ptr<TBiggerIniFile> ini;
};

}  // namespace

TEST_F(Bigger, ColoursAsEightHexDigits) {
  ini->WriteColor(u"C", u"red", 255);
  ini->WriteColor(u"C", u"sys", clWindowText);
  EXPECT_EQ(ini->ReadString(u"C", u"red", u""), u"000000FF");
  EXPECT_EQ(ini->ReadString(u"C", u"sys", u""), u"FF000008");
  EXPECT_EQ(ini->ReadColor(u"C", u"red", 0), 255);
  EXPECT_EQ(ini->ReadColor(u"C", u"sys", 0), clWindowText);
  EXPECT_EQ(ini->ReadColor(u"C", u"missing", clBtnFace), clBtnFace);
  for (const char16_t* bad : {u"", u"clRed", u"0x12", u" 12", u"-1"}) {
    ini->WriteString(u"C", u"bad", bad);
    EXPECT_THROW(ini->ReadColor(u"C", u"bad", 0), EConvertError) << ToUtf8(bad);
  }
}

TEST_F(Bigger, FontsRoundTripThroughCommaText) {
  TFont f;
  f.Name = u"Segoe UI";
  f.Size = 9;
  f.Style = {TFontStyle::fsBold, TFontStyle::fsStrikeOut};
  f.Color = clHighlight;
  f.Charset = 0;
  f.Pitch = TFontPitch::fpFixed;
  ini->WriteFont(u"F", u"font", f);
  EXPECT_EQ(ini->ReadString(u"F", u"font", u""), u"\"Segoe UI\",9,1,,,1,clHighlight,0,2");
  TFont back;
  ini->ReadFont(u"F", u"font", back);
  EXPECT_EQ(back, f);
  ini->WriteString(u"F", u"plain", u"Tahoma,8,1,,,,clWindowText,1,0");
  ini->ReadFont(u"F", u"plain", back);
  EXPECT_EQ(back.Name, u"Tahoma");
  EXPECT_TRUE(back.Style.Contains(TFontStyle::fsBold));
  EXPECT_FALSE(back.Style.Contains(TFontStyle::fsItalic));
  EXPECT_EQ(back.Color, clWindowText);
  // Missing or short values raise the list's index error.
  EXPECT_THROW(ini->ReadFont(u"F", u"missing", back), EStringListError);
  ini->WriteString(u"F", u"short", u"Arial,10");
  EXPECT_THROW(ini->ReadFont(u"F", u"short", back), EStringListError);
  EXPECT_EQ(back.Name, u"Arial");  // partly changed before the error
}

TEST_F(Bigger, NumberedLists) {
  TStringList read;
  ini->ReadNumberedList(u"List", read, u"?", u"Item", 1, false);
  EXPECT_EQ(read.CommaText(), u"a,b,c");
  ini->ReadNumberedList(u"Missing", read, u"?", u"Item", 1, false);
  EXPECT_EQ(read.Count(), 3);

  // The same list again changes nothing.
  TStringList same;
  same.SetCommaText(u"a,b,c");
  ini->WriteNumberedList(u"List", same, u"Item", 1, false);
  EXPECT_FALSE(ini->HasChanged());

  TStringList two;
  two.SetCommaText(u"x,y");
  ini->WriteNumberedList(u"List", two, u"Item", 1, false);
  EXPECT_TRUE(ini->HasChanged());
  EXPECT_EQ(Lines(u"List"), u"other=x,Count=2,Item1=x,Item2=y");

  TStringList three;
  three.SetCommaText(u"p,q,r");
  ini->WriteNumberedList(u"P", three, u"Item", 0, true);
  EXPECT_EQ(Lines(u"P"), u"ItemCount=3,Item0=p,Item1=q,Item2=r");
  ini->SetHasChanged(false);
  // The items are moved behind a line written in between.
  ini->WriteString(u"P", u"z", u"1");
  ini->SetHasChanged(false);
  ini->WriteNumberedList(u"P", three, u"Item", 0, true);
  EXPECT_TRUE(ini->HasChanged());
  EXPECT_EQ(Lines(u"P"), u"ItemCount=3,z=1,Item0=p,Item1=q,Item2=r");
}

TEST_F(Bigger, NumberedListsWithACorruptCountStayBounded) {
  // A count far beyond the lines of its section: reading gives the items the
  // section can hold, and writing replaces exactly the old items that exist,
  // however far their numbers go, without walking the whole count.
  TStringList lines;
  lines.SetCommaText(u"Count=2147483647,Item0=a,ITEM1=b,keep=1,Item2000000000=far,Item-1=before,Item01=padded");
  ini->WriteSectionValues(u"Huge", lines);
  TStringList read;
  ini->ReadNumberedList(u"Huge", read, u"?", u"Item", 0, false);
  EXPECT_EQ(read.CommaText(), u"a,b,?,?,?,?");
  TStringList one;
  one.Add(u"x");
  ini->WriteNumberedList(u"Huge", one, u"Item", 0, false);
  EXPECT_EQ(Lines(u"Huge"), u"Count=1,keep=1,Item-1=before,Item01=padded,Item0=x");

  // A negative start and a prefix ending in a digit find their items too.
  lines.SetCommaText(u"N1Count=99999999,N1-2=a,N1-1=b,N10=c,N1x=d");
  ini->WriteSectionValues(u"Neg", lines);
  ini->WriteNumberedList(u"Neg", one, u"N1", -2, true);
  EXPECT_EQ(Lines(u"Neg"), u"N1Count=1,N1x=d,N1-2=x");
  read.Clear();
  ini->ReadNumberedList(u"Neg", read, u"?", u"N1", -2, true);
  EXPECT_EQ(read.CommaText(), u"x");
}

TEST_F(Bigger, Renaming) {
  ini->RenameSection(u"Nope", u"Other");
  EXPECT_TRUE(ini->HasChanged());
  ini->SetHasChanged(false);
  ini->RenameSection(u"Keys", u"Keys");
  EXPECT_FALSE(ini->HasChanged());
  ini->RenameSection(u"keys", u"K");
  EXPECT_TRUE(ini->HasSection(u"K"));
  EXPECT_FALSE(ini->HasSection(u"Keys"));

  ini->RenameKey(u"K", u"missing", u"x");
  EXPECT_EQ(Lines(u"K"), u"first=1,Name=value,last=9");
  ini->RenameKey(u"K", u"Name", u"Title");
  EXPECT_EQ(Lines(u"K"), u"first=1,last=9,Title=value");
  // Onto an existing key: it takes the value.
  ini->RenameKey(u"K", u"first", u"last");
  EXPECT_EQ(Lines(u"K"), u"last=1,Title=value");
  // Only the letter case differs: renamed where it stands, value kept.
  ini->SetHasChanged(false);
  ini->RenameKey(u"K", u"last", u"LAST");
  EXPECT_EQ(Lines(u"K"), u"LAST=1,Title=value");
  EXPECT_TRUE(ini->HasChanged());
  ini->SetHasChanged(false);
  ini->RenameKey(u"K", u"title", u"Title");  // stored spelling already
  EXPECT_FALSE(ini->HasChanged());
  EXPECT_EQ(ini->ReadString(u"K", u"Title", u""), u"value");

  // An empty new name is no key: the rename is refused and nothing is lost
  // (writing an empty key would erase the whole section).
  ini->SetHasChanged(false);
  ini->RenameKey(u"K", u"LAST", u"");
  EXPECT_EQ(Lines(u"K"), u"LAST=1,Title=value");
  EXPECT_FALSE(ini->HasChanged());
}

TEST_F(Bigger, WriteBoolDefStoresOnlyDifferences) {
  ini->WriteBoolDef(u"B", u"flag", true, false);
  EXPECT_EQ(ini->ReadString(u"B", u"flag", u""), u"1");
  ini->WriteBoolDef(u"B", u"flag", false, false);
  EXPECT_FALSE(ini->ValueExists(u"B", u"flag"));
  ini->SetHasChanged(false);
  ini->WriteBoolDef(u"New", u"flag", true, true);
  EXPECT_TRUE(ini->HasSection(u"New"));
  EXPECT_FALSE(ini->HasChanged());
}

TEST_F(Bigger, WriteSectionValues) {
  TStringList l;
  l.SetCommaText(u"first=1,Name=value,last=9");
  ini->WriteSectionValues(u"Keys", l);
  EXPECT_FALSE(ini->HasChanged());
  l.Put(1, u"no equals sign");
  ini->WriteSectionValues(u"Keys", l);
  EXPECT_TRUE(ini->HasChanged());
  EXPECT_EQ(Lines(u"Keys"), u"first=1,\"no equals sign\",last=9");
  l.Delete(0);
  ini->WriteSectionValues(u"Keys", l);
  EXPECT_EQ(Lines(u"Keys"), u"\"no equals sign\",last=9");
  ini->SetHasChanged(false);
  ini->WriteSectionValues(u"Fresh", l);
  EXPECT_TRUE(ini->HasChanged());
  EXPECT_EQ(Lines(u"Fresh"), u"\"no equals sign\",last=9");
}

TEST(CommaSeparatedInfo, ElementsAndTheirForms) {
  TCommaSeparatedInfo c;
  c.SetValue(u"a, \"b c\",,\"d\"\"e\",");
  EXPECT_EQ(c.Values().Count(), 5);
  EXPECT_EQ(c.Element(1), u"b c");
  EXPECT_EQ(c.Element(2), u"");
  EXPECT_EQ(c.Element(3), u"d\"e");
  EXPECT_EQ(c.Value(), u"a,\"b c\",,\"d\"\"e\",");
  EXPECT_THROW(c.Element(5), EStringListError);
  c.SetElement(7, u"x");
  EXPECT_EQ(c.Values().Count(), 8);
  c.SetAsBoolean(0, false);
  EXPECT_EQ(c.Element(0), u"");
  EXPECT_FALSE(c.AsBoolean(0));
  c.SetAsBoolean(0, true);
  EXPECT_TRUE(c.AsBoolean(0));
  c.SetAsInteger(6, -12);
  EXPECT_EQ(c.AsInteger(6), -12);
  EXPECT_EQ(c.AsInteger(7), -1);
  TCommaSeparatedInfo one;
  one.SetElement(0, u"");
  EXPECT_EQ(one.Value(), u"\"\"");
  // Blanks and control characters outside quotes end an element.
  one.SetValue(u"a b\tc");
  EXPECT_EQ(one.Values().Count(), 3);
}

TEST(CommaSeparatedInfo, ColourElements) {
  TCommaSeparatedInfo c;
  c.SetColor(0, clRed);
  c.SetColor(1, 0x123456);
  c.SetColor(2, clBtnFace);
  EXPECT_EQ(c.Value(), u"clRed,$00123456,clBtnFace");
  EXPECT_EQ(c.GetColor(0), clRed);
  EXPECT_EQ(c.GetColor(1), 0x123456);
  EXPECT_EQ(c.GetColor(2), clBtnFace);
  c.SetValue(u"FF,clwindow,junk,123");
  EXPECT_EQ(c.GetColor(0), 255);
  EXPECT_EQ(c.GetColor(1), clWindow);
  EXPECT_EQ(c.GetColor(2), clBlack);
  EXPECT_EQ(c.GetColor(3), 0x123);  // hexadecimal first
}
