// Loads every real-world INI and INF file of the corpus: no file may crash the
// engine, and what ReadAll gives must load again to the same document.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "ini/KVBigIni.h"

using namespace kv;
namespace fs = std::filesystem;

TEST(IniCorpus, EveryFileLoadsAndReloadsToTheSameDocument) {
  fs::path root(KV_CORPUS_DIR);
  if (!fs::exists(root)) GTEST_SKIP() << "corpus not present: " << root;
  int files = 0;
  kvtest::TempDir dir;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    auto ext = e.path().extension().string();
    if (ext != ".ini" && ext != ".inf" && ext != ".INI" && ext != ".INF") continue;
    ++files;
    TBigIniFile ini(kvtest::BuildPath(e.path().string()));
    TKVStringList all;
    ini.ReadAll(all);
    // Every section with lines appears in ReadAll; reading the dump back
    // gives the same text.
    all.SaveToFile(dir.File("dump.ini"), TTextEncoding::UTF8);
    TBigIniFile again(dir.File("dump.ini"));
    TKVStringList all2;
    again.ReadAll(all2);
    ASSERT_EQ(all.Text(), all2.Text()) << e.path();
  }
  EXPECT_GT(files, 10);
}
