// The line reader's three walks (whole runs of bytes, whole runs of UTF-16
// units, and character by character through the hooks) against each other
// and against a plain model of the line rules, on seeded random content in
// every coding the reader knows.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestUtil.h"
#include "platform/CodePages.h"
#include "text/_4Files.h"

using namespace kv;
using namespace std::string_literals;

namespace {

using Lines = std::vector<String>;

// A descendant: its hooks are the reader's own, but they are called for
// every character.
class Hooked : public TUnicodeFileReader {
  using TUnicodeFileReader::TUnicodeFileReader;
};

enum class Coding { Utf16Le, Utf16Be, Utf8Bom, Utf8Forced, Ansi, Windows1252, Oem };
constexpr Coding kCodings[] = {Coding::Utf16Le,    Coding::Utf16Be,     Coding::Utf8Bom, Coding::Utf8Forced,
                               Coding::Ansi,       Coding::Windows1252, Coding::Oem};
const char* Name(Coding c) {
  static const char* names[] = {"UTF-16LE", "UTF-16BE", "UTF-8 with mark", "UTF-8 forced", "ANSI", "1252", "OEM"};
  return names[static_cast<int>(c)];
}

// Characters every coding holds, and those only the Unicode ones do. The
// line ends and NUL are among them, so that lines meet every rule.
const String kCommon = u"abcXYZ019 =[];\t\r\r\r\n\n\n\0\u00E4\u00F6\u00FC\u00C4\u00DC\u00DF"s;
const String kUnicodeOnly = u"\u20AC\u4E2D\u0A0D\u0D0A\U0001F600"s;
const String kUtf16Only = u"\xD800\xDC00"s;  // unpaired surrogates: only UTF-16 keeps them

bool IsUnicode(Coding c) { return c <= Coding::Utf8Forced; }

String RandomText(std::mt19937& rng, Coding coding) {
  String pool = kCommon;
  if (IsUnicode(coding)) pool += kUnicodeOnly;
  if (coding == Coding::Utf16Le || coding == Coding::Utf16Be) pool += kUtf16Only;
  String text;
  const int pieces = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int p = 0; p < pieces; ++p) {
    // Mostly short runs; now and then one longer than the hooked walk's
    // block, so that line ends fall on block boundaries.
    const int len = rng() % 24 == 0 ? std::uniform_int_distribution<int>(1000, 2100)(rng)
                                   : std::uniform_int_distribution<int>(0, 30)(rng);
    for (int i = 0; i < len; ++i) {
      const char16_t c = pool[rng() % pool.size()];
      if (c == u'\xD83D' && i + 1 < len) {  // the emoji's two halves stay together
        text += c;
        text += u'\xDE00';
        ++i;
        continue;
      }
      if (c == u'\xD83D' || c == u'\xDE00') continue;
      text += c;
    }
  }
  return text;
}

std::string Encode(const String& text, Coding coding, bool* representable) {
  *representable = true;
  switch (coding) {
    case Coding::Utf16Le: return kvtest::Utf16Le(text);
    case Coding::Utf16Be: return kvtest::Utf16Be(text);
    case Coding::Utf8Bom: return "\xEF\xBB\xBF" + platform::EncodeUtf8(text);
    case Coding::Utf8Forced: {
      std::string b = platform::EncodeUtf8(text);
      // Without a mark, but a file that starts like one is read as one.
      if (b.rfind("\xEF\xBB\xBF", 0) == 0 || b.rfind("\xFF\xFE", 0) == 0 || b.rfind("\xFE\xFF", 0) == 0)
        *representable = false;
      return b;
    }
    case Coding::Ansi:
    case Coding::Windows1252:
    case Coding::Oem: {
      bool lossy = false;
      std::string b = platform::EncodeAnsi(text, &lossy);
      if (lossy || (coding == Coding::Windows1252 && platform::AnsiCodePage() != 1252)) *representable = false;
      if (coding == Coding::Oem) {
        b = platform::AnsiBytesToOem(b);
        if (platform::OemBytesToAnsi(b) != platform::EncodeAnsi(text)) *representable = false;
      }
      if (b.rfind("\xEF\xBB\xBF", 0) == 0 || b.rfind("\xFF\xFE", 0) == 0 || b.rfind("\xFE\xFF", 0) == 0)
        *representable = false;
      return b;
    }
  }
  return {};
}

// The line rules, on the text itself. Line feed mode: a line ends at LF, a
// CR directly before that LF goes with it. CR LF mode: a line ends only at
// CR LF. Every NUL is dropped; the end of the text ends the last line, and
// an empty rest after the last line end is no line.
Lines Model(const String& text, bool lineFeedMode) {
  Lines lines;
  String line;
  auto finish = [&](String l) {
    String clean;
    for (char16_t c : l)
      if (c != 0) clean += c;
    lines.push_back(clean);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lineFeedMode && text[i] == u'\n') {
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      finish(line);
      line.clear();
    } else if (!lineFeedMode && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      finish(line);
      line.clear();
      ++i;
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) finish(line);
  return lines;
}

template <class Reader>
Lines Read(const std::string& bytes, Coding coding, bool lineFeedMode, bool into = false) {
  Reader r(std::make_unique<TBytesStream>(bytes), coding == Coding::Utf8Forced);
  r.SetSupportUnixLineBreak(lineFeedMode);
  r.SetAsciiType(coding == Coding::Oem           ? TASCIIType::atOEM
                 : coding == Coding::Windows1252 ? TASCIIType::at1252
                                                 : TASCIIType::atDefault);
  Lines lines;
  String line = u"left over";
  while (!r.Eof()) {
    if (into) {
      r.ReadLineInto(line);
      lines.push_back(line);
    } else {
      lines.push_back(r.ReadLine());
    }
  }
  // Both ways count every line.
  if (r.LinesRead() != static_cast<int>(lines.size())) lines.push_back(u"(miscounted)");
  return lines;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes.substr(0, 400)) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace

TEST(ReaderProperties, AllWalksAgreeWithTheLineRulesInEveryCoding) {
  std::mt19937 rng(20260);
  int compared = 0;
  for (int n = 0; n < 2400; ++n) {
    const Coding coding = kCodings[n % 7];
    const String text = RandomText(rng, coding);
    bool representable = true;
    const std::string bytes = Encode(text, coding, &representable);
    if (!representable) continue;
    for (bool lineFeedMode : {true, false}) {
      const Lines want = Model(text, lineFeedMode);
      // In line feed mode the reader's own walk takes whole runs (bytes or
      // units by coding); the descendant's, like CR LF mode, goes through
      // the hooks character by character.
      const Lines fast = Read<TUnicodeFileReader>(bytes, coding, lineFeedMode);
      const Lines hooked = Read<Hooked>(bytes, coding, lineFeedMode);
      // Lines decoded straight from the bytes read ahead.
      const Lines direct = Read<TUnicodeFileReader>(bytes, coding, lineFeedMode, true);
      if (fast != want || hooked != want || direct != want) {
        ADD_FAILURE() << "case " << n << " (" << Name(coding) << ", " << (lineFeedMode ? "LF" : "CR LF")
                      << " mode): fast " << (fast == want ? "agrees" : "differs") << ", hooked "
                      << (hooked == want ? "agrees" : "differs") << ", direct "
                      << (direct == want ? "agrees" : "differs") << "; bytes " << Hex(bytes);
        return;
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 4000);
}

TEST(ReaderProperties, FilesReadAsTheirBytesDo) {
  // The file stream's buffer against the bytes in memory, with runs longer
  // than its 64 KB buffer, in both byte widths.
  std::mt19937 rng(7);
  kvtest::TempDir dir;
  for (int n = 0; n < 6; ++n) {
    const Coding coding = n % 2 ? Coding::Utf16Le : Coding::Utf8Bom;
    String text;
    while (text.size() < 150000) {
      text += RandomText(rng, coding);
      text.append(rng() % 40000, u'w');
      text += u"\r\n";
    }
    bool representable = true;
    const std::string bytes = Encode(text, coding, &representable);
    ASSERT_TRUE(representable);
    kvtest::WriteBytes(dir.NativeFile("p.txt"), bytes);
    for (bool hooked : {false, true}) {
      std::unique_ptr<TUnicodeFileReader> r = hooked ? std::make_unique<Hooked>(dir.File("p.txt"), false)
                                                     : std::make_unique<TUnicodeFileReader>(dir.File("p.txt"), false);
      Lines lines;
      while (!r->Eof()) lines.push_back(r->ReadLine());
      EXPECT_EQ(lines, Model(text, true)) << Name(coding) << (hooked ? ", hooked" : "");
    }
    // Lines decoded straight from the buffer, also where they cross it.
    TUnicodeFileReader r(dir.File("p.txt"), false);
    Lines lines;
    String line;
    while (!r.Eof()) {
      r.ReadLineInto(line);
      lines.push_back(line);
    }
    EXPECT_EQ(lines, Model(text, true)) << Name(coding) << ", direct";
  }
}
