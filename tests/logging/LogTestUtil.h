// What the tests of the log writer and the log controller share: a registry
// store and folders of their own, and the lines of the log files written.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "logging/KVLogging.h"
#include "platform/Registry.h"
#include "system/KVRegistry.h"

namespace kvtest {

// The logging configuration starts missing (natively in a registry store of
// its own; under Wine the prefix's registry), and the default log folder
// lies in a temporary folder where the platform lets it be moved.
class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    SetEnv("KV_REGISTRY_DIR", store.Native());
    SetEnv("KV_PROGRAMDATA", programData.Native());
#endif
    kv::platform::RegDeleteKeyTree(kv::platform::kHiveCurrentUser, kv::kLogRegistryKey);
    ClearDefaultFolder();
  }
  void TearDown() override {
    kv::platform::RegDeleteKeyTree(kv::platform::kHiveCurrentUser, kv::kLogRegistryKey);
    ClearDefaultFolder();
#ifndef _WIN32
    SetEnv("KV_REGISTRY_DIR", "");
    SetEnv("KV_PROGRAMDATA", "");
#endif
  }
  // The default log folder holds no log file (under Wine it is shared by
  // every test of the program).
  static void ClearDefaultFolder() {
    for (const auto& f : LogFiles(kv::TKVLoggingHelper::DefaultLogFolder())) std::filesystem::remove(f);
  }

  // (the helpers below are open to the tests' own helper functions too)
 public:
  static void SetReg(kv::StringView name, kv::StringView value) {
    kv::WriteRegistryString(kv::platform::kHiveCurrentUser, kv::kLogRegistryKey, name, value);
  }

  // The native paths of the log files in a folder (a framework path), oldest
  // name first.
  static std::vector<std::string> LogFiles(const kv::String& folder);
  // The lines of a log file written as UTF-8 with byte-order mark; the last
  // line end gives no empty line after it.
  static std::vector<std::string> Lines(const std::string& nativeFile);
  // The lines of every log file in the folder, file after file.
  static std::vector<std::string> AllLines(const kv::String& folder);
  // The message of an entry line: the text after its sixth tab.
  static std::string MessageOf(const std::string& line);
  static std::string LevelOf(const std::string& line);

 protected:
  TempDir store;
  TempDir programData;
};

// The native form of a framework path.
std::string NativePath(const kv::String& path);

}  // namespace kvtest
