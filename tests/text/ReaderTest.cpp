#include <gtest/gtest.h>

#include <vector>

#include "TestUtil.h"
#include "text/_4Files.h"

using namespace kv;

namespace {
std::vector<String> ReadAll(TUnicodeFileReader& r) {
  std::vector<String> v;
  while (!r.Eof()) v.push_back(r.ReadLine());
  return v;
}

std::vector<String> ReadFile(const std::string& bytes, bool utf8 = false, bool unixBreaks = true,
                             TASCIIType type = TASCIIType::atDefault) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("f.txt"), bytes);
  TUnicodeFileReader r(dir.File("f.txt"), utf8);
  r.SetSupportUnixLineBreak(unixBreaks);
  r.SetAsciiType(type);
  return ReadAll(r);
}

// A descendant whose hooks see every character: it upper-cases ASCII letters
// and ends lines at ";" too.
class HookedReader : public TUnicodeFileReader {
 public:
  using TUnicodeFileReader::TUnicodeFileReader;

 protected:
  bool IsLineBreakA(std::uint8_t ch, std::uint8_t next) override {
    return ch == ';' || TUnicodeFileReader::IsLineBreakA(ch, next);
  }
  std::uint8_t ConvertCharA(std::uint8_t ch) override {
    return ch >= 'a' && ch <= 'z' ? static_cast<std::uint8_t>(ch - 32) : ch;
  }
  char16_t ConvertCharW(char16_t ch) override { return ch == u'x' ? u'y' : ch; }
};

using Lines = std::vector<String>;
}  // namespace

TEST(ReaderEncodings, DetectsByteOrderMarks) {
  EXPECT_EQ(ReadFile("\xEF\xBB\xBF" "a\xC3\xA4\n"), Lines{u"a\u00E4"});
  EXPECT_EQ(ReadFile(kvtest::Utf16Le(u"x\u00E4\r\ny")), (Lines{u"x\u00E4", u"y"}));
  EXPECT_EQ(ReadFile(kvtest::Utf16Be(u"A\u20AC\ny")), (Lines{u"A\u20AC", u"y"}));
  EXPECT_EQ(ReadFile(std::string("\xFE\xFF\x00\x41", 4)), Lines{u"A"});
}

TEST(ReaderEncodings, FileWithoutMarkIsAnsiOrUtf8OnRequest) {
  EXPECT_EQ(ReadFile("\xC3\xA4", true), Lines{u"\u00E4"});
  Lines ansi = ReadFile("\xC3\xA4", false);
  ASSERT_EQ(ansi.size(), 1u);
  EXPECT_EQ(ansi[0].size(), 2u);
  EXPECT_EQ(ReadFile("\x80", false, true, TASCIIType::at1252), Lines{u"\u20AC"});
  EXPECT_EQ(ReadFile("\x84", false, true, TASCIIType::atOEM), Lines{u"\u00E4"});
}

TEST(ReaderEncodings, EncodingFlagsDescribeTheFile) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("a.txt"), kvtest::Utf16Le(u"x"));
  TUnicodeFileReader r(dir.File("a.txt"), true);
  EXPECT_TRUE(r.isUnicode());
  EXPECT_FALSE(r.isUtf8());  // UTF-16 is not turned into UTF-8 by the request
  r.SetIsASCII(true);
  EXPECT_TRUE(r.isASCII());
  EXPECT_EQ(r.AsciiType(), TASCIIType::atOEM);
  r.SetIsASCII(false);
  EXPECT_EQ(r.AsciiType(), TASCIIType::atDefault);
}

TEST(ReaderLineEnds, DefaultModeEndsAtLineFeed) {
  EXPECT_EQ(ReadFile("a\r\nb\nc"), (Lines{u"a", u"b", u"c"}));
  EXPECT_EQ(ReadFile("a\rb\n"), Lines{u"a\rb"});  // a lone CR stays
  EXPECT_EQ(ReadFile("a\n"), Lines{u"a"});        // no extra empty line at the end
  EXPECT_EQ(ReadFile("\n\n"), (Lines{u"", u""}));
  EXPECT_EQ(ReadFile("a\r"), Lines{u"a\r"});
}

TEST(ReaderLineEnds, WindowsModeEndsOnlyAtCrLf) {
  EXPECT_EQ(ReadFile("a\nb\r\nc", false, false), (Lines{u"a\nb", u"c"}));
  EXPECT_EQ(ReadFile("a\rb", false, false), Lines{u"a\rb"});
}

TEST(ReaderLineEnds, CrLfAcrossTheBlockBoundary) {
  std::string first(TUnicodeFileReader::ReadBlockSize - 1, 'x');
  for (bool unixBreaks : {true, false}) {
    Lines l = ReadFile(first + "\r\nnext", false, unixBreaks);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], kv::FromUtf8(first));
    EXPECT_EQ(l[1], u"next");
  }
  // The same for UTF-16: the CR is the block's last unit.
  String longLine(TUnicodeFileReader::ReadBlockSize / 2 - 2, u'y');
  Lines w = ReadFile(kvtest::Utf16Le(longLine + u"\r\nz"));
  EXPECT_EQ(w, (Lines{longLine, u"z"}));
}

TEST(ReaderLineEnds, LongLinesSpanManyBlocks) {
  std::string big(5000, 'q');
  EXPECT_EQ(ReadFile(big + "\nend"), (Lines{kv::FromUtf8(big), u"end"}));
}

TEST(ReaderContent, NulCharactersAreDropped) {
  EXPECT_EQ(ReadFile(std::string("a\0b\n", 4)), Lines{u"ab"});
  EXPECT_EQ(ReadFile(kvtest::Utf16Le(String(u"a\0b", 3))), Lines{u"ab"});
  // UTF-16 without mark reads as single-byte text whose NULs vanish.
  // (the high byte of the last line feed makes one more, empty, line).
  EXPECT_EQ(ReadFile(kvtest::Utf16Le(u"Key=1\n", false)), (Lines{u"Key=1", u""}));
  // There the CR of a CR LF is followed by a NUL, not by the LF: it stays.
  EXPECT_EQ(ReadFile(kvtest::Utf16Le(u"Key=1\r\n", false)), (Lines{u"Key=1\r", u""}));
  // A CR followed by NUL and then LF is not directly before the LF: it stays.
  EXPECT_EQ(ReadFile(std::string("a\r\0\n", 4)), Lines{u"a\r"});
}

TEST(ReaderContent, OddByteAtTheEndOfUtf16IsIgnored) {
  EXPECT_EQ(ReadFile(kvtest::Utf16Le(u"ab") + "c"), Lines{u"ab"});
}

TEST(ReaderContent, InvalidUtf8BecomesReplacementCharacters) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("bad.txt"), "ok\n\xFF\xFE\xFD\n");
  TUnicodeFileReader r(dir.File("bad.txt"), true);
  Lines l = ReadAll(r);
  EXPECT_EQ(l, (Lines{u"ok", u"\uFFFD\uFFFD\uFFFD"}));
  EXPECT_EQ(r.ReadErrors().Count(), 0);
}

TEST(ReaderState, EmptyAndBomOnlyFiles) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("e.txt"), "");
  TUnicodeFileReader r(dir.File("e.txt"), false);
  EXPECT_TRUE(r.Eof());
  EXPECT_EQ(r.ReadLine(), u"");
  EXPECT_EQ(r.LinesRead(), 1);
  for (std::string bom : {std::string("\xEF\xBB\xBF"), std::string("\xFF\xFE"), std::string("\xFE\xFF")}) {
    kvtest::WriteBytes(dir.NativeFile("b.txt"), bom);
    TUnicodeFileReader b(dir.File("b.txt"), false);
    EXPECT_TRUE(b.Eof());
  }
}

TEST(ReaderState, ReopenKeepsCountersAndClosedReaderIsAtEnd) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("1.txt"), "a\nb\n");
  kvtest::WriteBytes(dir.NativeFile("2.txt"), kvtest::Utf16Le(u"c"));
  TUnicodeFileReader r(dir.File("1.txt"), false);
  r.ReadLine();
  r.Open(dir.File("2.txt"));
  EXPECT_TRUE(r.isUnicode());
  EXPECT_EQ(r.ReadLine(), u"c");
  EXPECT_EQ(r.LinesRead(), 2);
  r.Close();
  EXPECT_TRUE(r.Eof());
  EXPECT_EQ(r.ReadLine(), u"");
}

TEST(ReaderErrors, MissingFileRaisesCannotOpen) {
  kvtest::TempDir dir;
  try {
    TUnicodeFileReader r(dir.File("missing.txt"), false);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind(u"Cannot open file ", 0), 0u);
    EXPECT_NE(e.Message().find(u"missing.txt"), String::npos);
  }
}

TEST(ReaderErrors, ShortReadNamesTheFile) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("short.bin"), "abc");
  TFileStream s(dir.File("short.bin"), TFileMode::fmOpenRead);
  char buf[8];
  try {
    s.ReadBuffer(buf, 8);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_NE(e.Message().find(u"short.bin"), String::npos);
    EXPECT_NE(e.Message().find(u"8 bytes wanted, 3 available"), String::npos);
  }
  EXPECT_EQ(s.Position(), 0);  // nothing was consumed
}

TEST(ReaderHooks, DescendantHooksSeeEveryCharacter) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("h.txt"), "ab;cd\nef");
  HookedReader r(dir.File("h.txt"), false);
  EXPECT_EQ(ReadAll(r), (Lines{u"AB", u"CD", u"EF"}));
  kvtest::WriteBytes(dir.NativeFile("w.txt"), kvtest::Utf16Le(u"xax\r\nx"));
  HookedReader w(dir.File("w.txt"), false);
  EXPECT_EQ(ReadAll(w), (Lines{u"yay", u"y"}));
}

TEST(ReaderHooks, HookedAndFastReadingAgree) {
  // The reader's own fast walk must give what the per-character walk gives.
  std::string content;
  for (int i = 0; i < 400; ++i) content += std::string(static_cast<size_t>(i % 37), 'k') + (i % 3 ? "\r\n" : "\n");
  content += std::string("x\0y\rz", 5);
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("c.txt"), content);
  class Plain : public TUnicodeFileReader {
    using TUnicodeFileReader::TUnicodeFileReader;
  };
  TUnicodeFileReader fast(dir.File("c.txt"), false);
  Plain hooked(dir.File("c.txt"), false);
  EXPECT_EQ(ReadAll(fast), ReadAll(hooked));
}
