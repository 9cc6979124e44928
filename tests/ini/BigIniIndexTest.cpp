// The indexes of the INI document (section names, keys of large sections)
// against plain scans written out here: every lookup finds what the scan
// finds and leaves the remembered positions where the scan leaves them,
// through changes of the document and of its lists made from outside.
// Duplicate sections: which one remains and what the callback is shown.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "TestUtil.h"
#include "ini/KVBigIni.h"

using namespace kv;

namespace {

// The document's search without any index: from the remembered position
// round the list, ending at the match or at the entry before the start.
struct ScanModel {
  int prevSection = 0;  // FPrevSectionIndex
  int prevIndex = 0;    // the section list's FPrevIndex

  // The section LocateKey finds (moving prevSection), -1 when none.
  int Locate(const TSectionList& list, const String& section) {
    const int n = list.Count();
    if (n == 0) return -1;
    if (prevSection < 0 || prevSection >= n) prevSection = 0;
    const int last = prevSection > 0 ? prevSection - 1 : n - 1;
    for (;;) {
      if (CompareTextIgnoreCase(list.Strings(prevSection), section) == 0) return prevSection;
      if (prevSection == last) return -1;
      prevSection = prevSection + 1 < n ? prevSection + 1 : 0;
    }
  }
  // What ReadString gives.
  String Read(const TSectionList& list, const String& section, const String& key, const String& def) {
    const int s = Locate(list, section);
    if (s < 0) return def;
    const TKVStringList& lines = *list.GetSectionItems(s);
    for (int i = 0; i < lines.Count(); ++i)
      if (NameBeforeEqualsMatches(lines.Strings(i), key)) return lines.Strings(i).substr(lines.Strings(i).find(u'=') + 1);
    return def;
  }
  // TSectionList::IndexOf.
  int IndexOf(const TSectionList& list, const String& section) {
    const int n = list.Count();
    if (n == 0) return -1;
    const int start = prevIndex >= 0 && prevIndex < n ? prevIndex : 0;
    for (int k = 0; k < n; ++k) {
      const int i = (start + k) % n;
      if (CompareTextIgnoreCase(list.Strings(i), section) == 0) return prevIndex = i;
    }
    return -1;
  }
};

// Names that meet through letter case and the umlaut transcription ("ü"
// compares like the six characters "ue\uFFFD"), and some that meet nothing.
const std::vector<String> kNames = {
    u"Files",          u"FILES",          u"files.core",   u"Gr\u00FC\u00DFe", u"GR\u00DC\u00DFE",
    u"Grue\\uFFFD\u00DFe", u"Strings",    u"strings.x64",  u"Setup",           u"Component.00001",
    u"component.00001", u"Language",      u"Registry",     u"Shortcuts",       u"\u00C4nderung",
    u"AE\\uFFFDnderung", u"Optional",     u"Zubeh\u00F6r", u"ZUBEHOE\\uFFFDR", u"Last",
};

String Pick(std::mt19937& rng) {
  if (rng() % 8 == 0) return u"Missing" + IntToStr(static_cast<std::int64_t>(rng() % 4));
  return kNames[rng() % kNames.size()];
}

// A document of many sections, a few of them large, keys meeting like names.
String Document(std::mt19937& rng) {
  String doc;
  for (int s = 0; s < 40; ++s) {
    doc += u"[" + (s < static_cast<int>(kNames.size()) ? kNames[static_cast<size_t>(s)] : u"Extra" + IntToStr(s)) + u"]\n";
    const int keys = s % 5 == 0 ? 90 : 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < keys; ++k) {
      doc += kNames[rng() % kNames.size()] + u"=v" + IntToStr(static_cast<std::int64_t>(s * 1000 + k)) + u"\n";
      if (k % 7 == 3) doc += u"; comment " + IntToStr(k) + u"\n";
      if (k % 11 == 5) doc += u"no equals sign here\n";
    }
  }
  return doc;
}

struct IndexFixture {
  kvtest::TempDir dir;
  String Write(const String& text) {
    std::string bytes = kvtest::Utf16Le(text);
    kvtest::WriteBytes(dir.NativeFile("doc.ini"), bytes);
    return dir.File("doc.ini");
  }
};

}  // namespace

TEST(IniIndexes, LookupsAndRememberedPositionsFollowThePlainScan) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    IndexFixture f;
    TBiggerIniFile ini(f.Write(Document(rng)));
    ScanModel model;
    TSectionList& list = ini.SectionNames();
    for (int step = 0; step < 600; ++step) {
      const String section = Pick(rng), key = Pick(rng);
      switch (rng() % 10) {
        case 0: {
          const bool has = ini.HasSection(section);
          ASSERT_EQ(has, model.IndexOf(list, section) >= 0) << "seed " << seed << " step " << step;
          break;
        }
        case 1: {
          // A new section, or a changed line in an existing one.
          const bool known = model.Locate(list, section) >= 0;
          ini.WriteString(section, key, u"w" + IntToStr(step));
          if (!known) model.prevSection = list.Count() - 1;
          break;
        }
        case 2:
          if (rng() % 4 == 0) {
            const bool known = model.IndexOf(list, section) >= 0;
            ini.EraseSection(section);
            if (known) {
              model.prevIndex = 0;
              if (model.prevSection >= list.Count()) model.prevSection = 0;
            }
          }
          break;
        case 3: {
          // Renaming may leave two sections of one name.
          const String to = Pick(rng);
          if (to != section) model.IndexOf(list, section);
          ini.RenameSection(section, to);
          break;
        }
        case 4: {
          // The list changed from outside: an entry inserted in front.
          auto* lines = new TIniSectionLines();
          lines->Add(key + u"=front");
          list.InsertObject(0, section, lines);
          break;
        }
        default: {
          const String got = ini.ReadString(section, key, u"-");
          ASSERT_EQ(got, model.Read(list, section, key, u"-")) << "seed " << seed << " step " << step;
        }
      }
      ASSERT_EQ(ini.PrevSectionIndex(), model.prevSection) << "seed " << seed << " step " << step;
      ASSERT_EQ(list.PrevIndex(), model.prevIndex) << "seed " << seed << " step " << step;
    }
  }
}

TEST(IniIndexes, KeysOfALargeSectionThroughChangesOfItsList) {
  IndexFixture f;
  String doc = u"[Big]\n";
  for (int k = 0; k < 200; ++k) doc += kNames[static_cast<size_t>(k) % kNames.size()] + u"=" + IntToStr(k) + u"\n";
  for (int k = 0; k < 50; ++k) doc += u"Key" + IntToStr(k) + u"=k" + IntToStr(k) + u"\n";
  TBigIniFile ini(f.Write(doc));
  TKVStringList sections;
  ini.ReadSections(sections);
  TKVStringList& lines = *static_cast<TKVStringList*>(sections.Objects(0));
  auto scan = [&](const String& key) {
    for (int i = 0; i < lines.Count(); ++i)
      if (NameBeforeEqualsMatches(lines.Strings(i), key)) return lines.Strings(i).substr(lines.Strings(i).find(u'=') + 1);
    return String(u"-");
  };
  std::vector<String> keys = kNames;
  for (int k = 0; k < 60; ++k) keys.push_back(u"KEY" + IntToStr(k));
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    // Several searches in a row, so that the index is built and used.
    for (int r = 0; r < 30; ++r) {
      const String& key = keys[rng() % keys.size()];
      ASSERT_EQ(ini.ReadString(u"big", key, u"-"), scan(key)) << "round " << round << " key " << ToUtf8(key);
    }
    switch (round % 6) {
      case 0: lines.Insert(0, u"Key" + IntToStr(round) + u"=first" + IntToStr(round)); break;
      case 1: lines.Delete(static_cast<int>(rng() % lines.Count())); break;
      case 2: lines.Exchange(0, lines.Count() - 1); break;
      case 3: ini.WriteString(u"Big", keys[rng() % keys.size()], u"written"); break;
      case 4: ini.DeleteKey(u"Big", keys[rng() % keys.size()]); break;
      default: lines.Put(static_cast<int>(rng() % lines.Count()), u"files=put"); break;
    }
  }
}

namespace {

using Call = std::tuple<String, std::vector<String>, std::vector<String>>;

std::vector<String> LinesOf(const TKVStringList& l) {
  std::vector<String> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Strings(i));
  return v;
}

// Loads text with a callback that records its calls and answers keep.
std::vector<Call> LoadRecording(TBigIniFile& ini, const String& file, bool keep) {
  std::vector<Call> calls;
  ini.SetEraseSectionCallback([&calls, keep](const String& name, const TKVStringList& a, const TKVStringList& b) {
    calls.emplace_back(name, LinesOf(a), LinesOf(b));
    return keep;
  });
  ini.SetFileName(file);
  ini.SetEraseSectionCallback(nullptr);
  return calls;
}

String ManySections() {
  String doc;
  for (int s = 0; s < 30; ++s) doc += u"[Unique" + IntToStr(s) + u"]\nk=" + IntToStr(s) + u"\n";
  return doc;
}

}  // namespace

TEST(IniDuplicates, ManyDistinctSectionsStayAndTheCallbackIsNotCalled) {
  IndexFixture f;
  TBigIniFile ini(String(), false);
  auto calls = LoadRecording(ini, f.Write(ManySections() + u"[Gr\u00FC\u00DFe]\na=1\n[Gruesse]\nb=2\n"), true);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(ini.SectionNames().Count(), 32);
}

TEST(IniDuplicates, EqualNamesMeetInDocumentOrderAndTheCallbackChooses) {
  IndexFixture f;
  const String file = f.Write(ManySections() + u"[Same]\na=1\n[Other]\nx=0\n[Same]\na=2\n[Same]\na=3\n");
  {
    TBigIniFile ini(String(), false);
    auto calls = LoadRecording(ini, file, false);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], Call(u"Same", {u"a=1"}, {u"a=2"}));
    EXPECT_EQ(calls[1], Call(u"Same", {u"a=2"}, {u"a=3"}));
    EXPECT_EQ(ini.ReadString(u"same", u"a", u"-"), u"3");
    EXPECT_EQ(ini.SectionNames().Count(), 32);
  }
  {
    TBigIniFile ini(String(), false);
    auto calls = LoadRecording(ini, file, true);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], Call(u"Same", {u"a=1"}, {u"a=3"}));
    EXPECT_EQ(ini.ReadString(u"same", u"a", u"-"), u"1");
  }
}

TEST(IniDuplicates, NamesMeetAsTheComparisonSeesThemUmlautsTranscribed) {
  IndexFixture f;
  // "GRÜßE" and "Grue\uFFFDße" (the six characters) both match "Grüße".
  const String file = f.Write(ManySections() + u"[Gr\u00FC\u00DFe]\na=1\n[GR\u00DC\u00DFE]\na=2\n" +
                              u"[Grue\\uFFFD\u00DFe]\na=3\n[FILES]\nf=1\n[files]\nf=2\n");
  TBigIniFile ini(file);
  TKVStringList names;
  ini.ReadSections(names);
  ASSERT_EQ(names.Count(), 32);
  EXPECT_EQ(names.Strings(30), u"Gr\u00FC\u00DFe");
  EXPECT_EQ(names.Strings(31), u"FILES");
  EXPECT_EQ(ini.ReadString(u"GRUE\\UFFFD\u00DFE", u"A", u"-"), u"1");
  EXPECT_EQ(ini.ReadString(u"files", u"f", u"-"), u"1");
}

TEST(IniDuplicates, AppendingAFileDropsItsSectionsThatTheDocumentHasAndMarksTheChange) {
  IndexFixture f;
  TBiggerIniFile ini(f.Write(ManySections()));
  kvtest::WriteBytes(f.dir.NativeFile("more.ini"), "[unique7]\nk=new\n[Fresh]\nk=1\n");
  ini.AppendFromFile(f.dir.File("more.ini"));
  EXPECT_TRUE(ini.HasChanged());
  EXPECT_EQ(ini.SectionNames().Count(), 31);
  EXPECT_EQ(ini.ReadString(u"UNIQUE7", u"k", u"-"), u"7");
  EXPECT_EQ(ini.ReadString(u"fresh", u"k", u"-"), u"1");
}
