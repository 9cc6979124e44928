// The INI engine's load, write and load again on seeded random documents in
// every coding: the document read back is the one written, the bytes
// written in memory are those a flush puts into the file, and a large
// document of one long line loads whole.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestUtil.h"
#include "ini/KVBigIni.h"
#include "platform/CodePages.h"

using namespace kv;

namespace {

std::vector<String> All(TBigIniFile& ini) {
  TStringList l;
  ini.ReadAll(l);
  std::vector<String> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Strings(i));
  return v;
}

// Texts from a small pool so that names meet (also through letter case and
// the umlaut transcription), with the characters that test the codings.
String Text(std::mt19937& rng, int maxLen, bool unicode) {
  static const String common = u"aAbBkK09 =;[]\t\"'\u00E4\u00C4\u00DF";
  static const String wide = u"\u20AC\u4E2D\xD800";
  const String pool = unicode ? common + wide : common;
  String s;
  for (int n = static_cast<int>(rng() % (maxLen + 1)); n > 0; --n) s += pool[rng() % pool.size()];
  return s;
}

// A file's lines: sections with key lines, comments, lines without "=",
// empty lines, lines before the first section and end-of-file marks.
String RandomDocument(std::mt19937& rng, bool unicode) {
  String doc;
  const auto line = [&](const String& s) { doc += s + (rng() % 3 ? u"\r\n" : u"\n"); };
  if (rng() % 4 == 0) line(u"before=" + Text(rng, 5, unicode));
  for (int s = static_cast<int>(rng() % 6); s > 0; --s) {
    line(u"[" + Text(rng, 4, unicode) + u"]");
    for (int k = static_cast<int>(rng() % 7); k > 0; --k) {
      switch (rng() % 6) {
        case 0: line(u";" + Text(rng, 8, unicode)); break;
        case 1: line(Text(rng, 8, unicode)); break;
        case 2: line(String()); break;
        case 3: line(u"\x1A"); break;
        default: line(Text(rng, 3, unicode) + u"=" + Text(rng, 10, unicode)); break;
      }
    }
  }
  return doc;
}

struct Coding {
  const char* Name;
  bool Unicode, ForceUtf8;
  std::string (*Encode)(const String&);
};

const Coding kCodings[] = {
    {"ANSI", false, false, [](const String& t) { return platform::EncodeAnsi(t); }},
    {"UTF-16LE", true, false, [](const String& t) { return kvtest::Utf16Le(t); }},
    {"UTF-16BE", true, false, [](const String& t) { return kvtest::Utf16Be(t); }},
    {"UTF-8 with mark", true, false, [](const String& t) { return "\xEF\xBB\xBF" + platform::EncodeUtf8(t); }},
    {"UTF-8 forced", true, true, [](const String& t) { return platform::EncodeUtf8(t); }},
};

}  // namespace

TEST(IniRoundTrip, LoadWriteLoadGivesTheSameDocumentInEveryCoding) {
  std::mt19937 rng(4242);
  kvtest::TempDir dir;
  for (int n = 0; n < 3000; ++n) {
    const Coding& coding = kCodings[n % 5];
    String text = RandomDocument(rng, coding.Unicode);
    // UTF-8 cannot hold an unpaired surrogate.
    if (std::string(coding.Name).rfind("UTF-8", 0) == 0)
      for (char16_t& c : text)
        if (c == u'\xD800') c = u'x';
    TBigIniFile first(String(), coding.ForceUtf8);
    first.LoadFromBytes(coding.Encode(text));
    const std::vector<String> loaded = All(first);
    const std::string written = first.DocumentBytes();

    TBigIniFile second(String(), coding.ForceUtf8);
    second.LoadFromBytes(written);
    ASSERT_EQ(All(second), loaded) << "case " << n << " (" << coding.Name << ")";
    // Writing again changes nothing: the coding chosen stays.
    ASSERT_EQ(second.DocumentBytes(), written) << "case " << n << " (" << coding.Name << ")";

    if (n % 100 == 0) {
      // The file a flush writes holds exactly those bytes.
      kvtest::WriteBytes(dir.NativeFile("d.ini"), coding.Encode(text));
      TBigIniFile onDisk(dir.File("d.ini"), coding.ForceUtf8);
      ASSERT_EQ(All(onDisk), loaded);
      onDisk.WriteString(u"Added", u"k", u"v");
      first.WriteString(u"Added", u"k", u"v");
      onDisk.UpdateFile();
      EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("d.ini")), first.DocumentBytes()) << "case " << n;
    }
  }
}

TEST(IniRoundTrip, ALineOfAMegabyteLoadsWhole) {
  // The long case the fuzzers no longer make: one value of 1 MB, from a
  // file and from memory, and back.
  const std::string value(1 << 20, 'v');
  const std::string bytes = "[S]\nk=" + value + "\n[T]\r\nx=1";
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("long.ini"), bytes);
  TBigIniFile fromFile(dir.File("long.ini"));
  TBigIniFile fromMemory{String()};
  fromMemory.LoadFromBytes(bytes);
  for (TBigIniFile* ini : {&fromFile, &fromMemory}) {
    EXPECT_EQ(ini->ReadString(u"S", u"k", u"").size(), value.size());
    EXPECT_EQ(ini->ReadString(u"T", u"x", u""), u"1");
  }
  TBigIniFile again{String()};
  again.LoadFromBytes(fromMemory.DocumentBytes());
  EXPECT_EQ(All(again), All(fromFile));
}
