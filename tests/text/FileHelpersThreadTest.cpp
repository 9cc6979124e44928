// The file helpers used from several threads at once (the logging thread
// and the user-interface thread do): run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "ini/KVBigIni.h"
#include "text/_4Files.h"

using namespace kv;

namespace {

template <typename Body>
void OnThreads(int n, Body body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(body, t);
  for (auto& t : threads) t.join();
}

}  // namespace

// Each thread writes its own INI files, all in one folder: the replacement
// files' names never collide and no temporary file is left.
TEST(FileHelpersThreads, IniFilesWrittenAtOnce) {
  kvtest::TempDir dir;
  OnThreads(4, [&](int t) {
    for (int i = 0; i < 20; ++i) {
      TBigIniFile ini(dir.File("t" + std::to_string(t) + ".ini"));
      ini.WriteInteger(u"S", u"k" + IntToStr(i), i);
      ini.UpdateFile();
    }
  });
  for (int t = 0; t < 4; ++t) {
    TBigIniFile ini(dir.File("t" + std::to_string(t) + ".ini"));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ini.ReadInteger(u"S", u"k" + IntToStr(i), -1), i);
  }
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Native())) ++files;
  EXPECT_EQ(files, 4u);
}

// Unique names, the temporary folder and version texts from several threads.
TEST(FileHelpersThreads, NamesTemporaryFolderAndVersionsAtOnce) {
  kvtest::TempDir dir;
  FileHelpers_Initialize();
  std::vector<std::vector<String>> names(4);
  std::vector<String> folders(4);
  OnThreads(4, [&](int t) {
    folders[static_cast<size_t>(t)] = GetTempFolder();
    for (int i = 0; i < 50; ++i) names[static_cast<size_t>(t)].push_back(MakeUniqueFileName(dir.Path(), u"tmp"));
    EXPECT_TRUE(CanCreateFileIn(dir.Path()));
    GetModuleVersionText(String());
  });
  std::set<String> all;
  for (const auto& n : names) all.insert(n.begin(), n.end());
  EXPECT_GT(all.size(), 190u);  // twelve random digits: a repeat is as good as impossible
  for (const auto& f : folders) EXPECT_EQ(f, folders[0]);
  FileHelpers_Finalize();
}
