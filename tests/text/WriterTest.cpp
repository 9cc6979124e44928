#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/CodePages.h"
#include "text/_4Files.h"

using namespace kv;
using kvtest::ReadBytes;
using kvtest::WriteBytes;

namespace {

class Writer : public ::testing::Test {
 protected:
  kvtest::TempDir dir;
};

std::string Hex(const std::string& b) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : b) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

}  // namespace

TEST_F(Writer, NewFilesStartWithTheMarkOfTheirCoding) {
  {
    TUnicodeFileWriter w(dir.File("u8.txt"), true, true, false, false);
    w.WriteLn(u"\u00E4");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("u8.txt"))), "EF BB BF C3 A4 0D 0A");
  {
    TUnicodeFileWriter w(dir.File("be.txt"), true, false, true, false);
    w.WriteLn(u"A");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("be.txt"))), "FE FF 00 41 00 0D 00 0A");
  {
    TUnicodeFileWriter w(dir.File("le.txt"), true, false, false, false);
    w.WriteLn(u"A");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("le.txt"))), "FF FE 41 00 0D 00 0A 00");
  {
    TUnicodeFileWriter w(dir.File("nobom.txt"), TKVFileCoding::fcUTF8NoBOM, false);
    w.WriteLn(u"\u00E4");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("nobom.txt"))), "C3 A4 0D 0A");
}

TEST_F(Writer, SingleByteCodingsAndTheOemOption) {
  if (platform::AnsiCodePage() != 1252 || platform::OemCodePage() != 850)
    GTEST_SKIP() << "needs ANSI 1252 and OEM 850";
  {
    TUnicodeFileWriter w(dir.File("ansi.txt"), false, false, false, false);
    w.WriteLn(u"\u00E4\u20AC");
    w.WriteLn(u"\u4E2D");  // not in the code page: its default character
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("ansi.txt"))), "E4 80 0D 0A 3F 0D 0A");
  {
    TUnicodeFileWriter w(dir.File("oem.txt"), false, false, false, false);
    w.SetIsASCII(true);
    w.WriteLn(u"\u00E4");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("oem.txt"))), "84 0D 0A");
}

TEST_F(Writer, SeparatorsAndEmptyTexts) {
  {
    TUnicodeFileWriter w(dir.File("lf8.txt"), TKVFileCoding::fcUTF8NoBOM, false);
    w.SetLineSeparator(u"\n");
    w.WriteLn(u"a");
    w.WriteLn(u"");
    w.Write(u"");
    w.Write(u"b");
  }
  EXPECT_EQ(ReadBytes(dir.NativeFile("lf8.txt")), "a\n\nb");
  {
    TUnicodeFileWriter w(dir.File("lfbe.txt"), true, false, true, false);
    w.SetLineSeparator(u"\n");
    w.WriteLn(u"");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("lfbe.txt"))), "FE FF 00 0A");
  {
    TUnicodeFileWriter w(dir.File("lfle.txt"), true, false, false, false);
    w.SetLineSeparator(u"\n");
    w.WriteLn(u"");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("lfle.txt"))), "FF FE 0A 00");
  {
    TUnicodeFileWriter w(dir.File("lfansi.txt"), TKVFileCoding::fcAnsi, false);
    w.SetLineSeparator(u"\n");
    w.WriteLn(u"x");
  }
  EXPECT_EQ(ReadBytes(dir.NativeFile("lfansi.txt")), "x\n");
}

TEST_F(Writer, AppendingTakesOverTheCodingOfTheMark) {
  struct Case {
    std::string name, existing, expected;
    TKVFileCoding coding;
  } cases[] = {
      {"le.txt", kvtest::Utf16Le(u"x\r\n"), kvtest::Utf16Le(u"x\r\n\u00E4\r\n"), TKVFileCoding::fcUnicodeLittleEndian},
      {"be.txt", kvtest::Utf16Be(u"x\r\n"), kvtest::Utf16Be(u"x\r\n\u00E4\r\n"), TKVFileCoding::fcUnicodeBigEndian},
      {"u8.txt", "\xEF\xBB\xBFx\r\n", "\xEF\xBB\xBFx\r\n\xC3\xA4\r\n", TKVFileCoding::fcUTF8BOM},
      // Without mark the text counts as single-byte, UTF-8 or not.
      {"plain.txt", "x\r\n", "x\r\n\xE4\r\n", TKVFileCoding::fcAnsi},
      {"empty.txt", "", "\xE4\r\n", TKVFileCoding::fcAnsi},
      {"one.txt", "\xFF", "\xFF\xE4\r\n", TKVFileCoding::fcAnsi},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.NativeFile(c.name), c.existing);
    {
      // Asked for UTF-8: the file's own coding wins.
      TUnicodeFileWriter w(dir.File(c.name), true, true, false, true);
      EXPECT_EQ(w.Coding(), c.coding);
      w.WriteLn(u"\u00E4");
    }
    if (c.coding == TKVFileCoding::fcAnsi && platform::AnsiCodePage() != 1252) continue;
    EXPECT_EQ(Hex(ReadBytes(dir.NativeFile(c.name))), Hex(c.expected));
  }
}

TEST_F(Writer, AppendToAMissingFileCreatesItWithTheRequestedMark) {
  {
    TUnicodeFileWriter w(dir.File("new.txt"), true, false, true, true);
    w.WriteLn(u"A");
  }
  EXPECT_EQ(Hex(ReadBytes(dir.NativeFile("new.txt"))), "FE FF 00 41 00 0D 00 0A");
}

TEST_F(Writer, EveryCodingReadsBackEqual) {
  const std::u16string lines[] = {u"plain", u"", u"Gr\u00FC\u00DFe \u00C4\u00D6\u00DC", u"key=value; x",
                                  u"\u20AC 5"};
  const std::u16string unicodeOnly[] = {u"\u4E2D\u6587", u"\U0001F600 emoji", u"\u0416"};
  TKVFileCoding codings[] = {TKVFileCoding::fcAnsi, TKVFileCoding::fcUTF8NoBOM, TKVFileCoding::fcUTF8BOM,
                             TKVFileCoding::fcUnicodeBigEndian, TKVFileCoding::fcUnicodeLittleEndian};
  bool ansi1252 = platform::AnsiCodePage() == 1252;
  for (TKVFileCoding coding : codings) {
    SCOPED_TRACE(static_cast<int>(coding));
    bool unicode = coding != TKVFileCoding::fcAnsi;
    if (!unicode && !ansi1252) continue;
    String name = dir.File("rt" + std::to_string(static_cast<int>(coding)) + ".txt");
    std::vector<String> written(std::begin(lines), std::end(lines));
    if (unicode) written.insert(written.end(), std::begin(unicodeOnly), std::end(unicodeOnly));
    {
      TUnicodeFileWriter w(name, coding, false);
      for (const auto& l : written) w.WriteLn(l);
    }
    if (coding != TKVFileCoding::fcUTF8NoBOM) {
      // Appending continues in the same coding (a file without mark is
      // appended to as single-byte text, see above).
      TUnicodeFileWriter w(name, coding, true);
      w.WriteLn(u"appended \u00E4");
      written.push_back(u"appended \u00E4");
    }
    TUnicodeFileReader r(name, coding == TKVFileCoding::fcUTF8NoBOM);
    std::vector<String> read;
    while (!r.Eof()) read.push_back(r.ReadLine());
    EXPECT_EQ(read, written);
  }
}

TEST_F(Writer, CreatesTheFolderAndRefusesANameWithoutOne) {
  String nested = dir.Path() + u"\\a\\b\\c\\log.txt";
  {
    TUnicodeFileWriter w(nested, true, true, false, true);
    w.WriteLn(u"x");
  }
  EXPECT_EQ(ReadBytes(dir.Native() + "/a/b/c/log.txt"), "\xEF\xBB\xBFx\r\n");
  try {
    TUnicodeFileWriter w(u"nofolder.txt", true, true, false, false);
    FAIL() << "a name without folder was accepted";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), u"Unable to create directory");
  }
}

TEST_F(Writer, TheFileIsNotSharedAndErrorsNameIt) {
  TUnicodeFileWriter first(dir.File("held.txt"), true, true, false, false);
  EXPECT_THROW(TUnicodeFileWriter(dir.File("held.txt"), true, true, false, true), EFOpenError);
  try {
    TUnicodeFileWriter second(dir.File("held.txt"), true, true, false, false);
    FAIL() << "a held file was created again";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(u"Cannot create file"), String::npos);
    EXPECT_NE(e.Message().find(u"held.txt"), String::npos);
  }
  // Open switches files; the old one is free again afterwards.
  first.Open(dir.File("other.txt"), false);
  TUnicodeFileWriter third(dir.File("held.txt"), true, true, false, true);
  third.WriteLn(u"y");
  first.Close();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_THROW(first.WriteLn(u"z"), EWriteError);
}
