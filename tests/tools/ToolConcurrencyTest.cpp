// Several processes changing one INI file, and one registry key, at once.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "TestUtil.h"
#include "ini/KVBigIni.h"
#include "platform/Process.h"
#include "platform/Registry.h"

using namespace kv;

namespace {

// Starts the hammer with the arguments; the process to wait for.
platform::Process StartHammer(const String& arguments) {
  platform::CreateProcessArgs args;
  args.applicationName = kvtest::BuildPath(KV_TOOL_HAMMER_EXE);
#ifdef _WIN32
  args.commandLine = u"kv_tool_hammer " + arguments;  // Windows takes the program's name from it
#else
  args.commandLine = arguments;
#endif
  platform::Process p;
  EXPECT_TRUE(platform::StartProcess(args, &p)) << ToUtf8(arguments);
  return p;
}

std::uint32_t Finish(platform::Process& p) {
  p.Wait();
  std::uint32_t code = 999;
  p.GetExitCode(&code);
  return code;
}

constexpr int kProcesses = 4;

}  // namespace

// Every set of every process succeeds, and none is lost.
TEST(ToolConcurrency, ProcessesSettingKeysOfOneIniFileLoseNothing) {
  kvtest::TempDir dir;
  const String file = dir.File("shared.ini");
  constexpr int kSets = 25;
  std::vector<platform::Process> running;
  for (int p = 0; p < kProcesses; ++p)
    running.push_back(StartHammer(u"ini " + file + u" P" + IntToStr(p) + u"K " + IntToStr(kSets)));
  for (auto& p : running) EXPECT_EQ(Finish(p), 0u) << "sets failed";
  TBigIniFile ini(file);
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kSets; ++i)
      EXPECT_EQ(ini.ReadString(u"S", u"P" + IntToStr(p) + u"K" + IntToStr(i), u"lost"), IntToStr(i));
}

// Values added without /f by several processes at once: each one by exactly
// one of them, and the value is that one's.
TEST(ToolConcurrency, ProcessesAddingTheSameRegistryValuesAddEachOnce) {
  kvtest::TempDir dir;
#ifndef _WIN32
  kvtest::SetEnv("KV_REGISTRY_DIR", dir.NativeFile("store"));
#endif
  const String sub = u"Software\\KVConcurrency-" + IntToStr(std::random_device{}() & 0xFFFFFF);
  constexpr int kValues = 30;
  std::vector<platform::Process> running;
  for (int p = 0; p < kProcesses; ++p)
    running.push_back(StartHammer(u"reg HKCU\\" + sub + u" " + IntToStr(p) + u" " + IntToStr(kValues) + u" " +
                                  dir.File("added" + std::to_string(p))));
  for (auto& p : running) EXPECT_EQ(Finish(p), 0u) << "adds failed";
  std::vector<int> owner(kValues, -1);
  for (int p = 0; p < kProcesses; ++p) {
    std::istringstream added(kvtest::ReadBytes(dir.NativeFile("added" + std::to_string(p))));
    for (int i; added >> i;) {
      ASSERT_TRUE(i >= 0 && i < kValues);
      EXPECT_EQ(owner[static_cast<size_t>(i)], -1) << "V" << i << " added by two processes";
      owner[static_cast<size_t>(i)] = p;
    }
  }
  platform::RegHandle h = 0;
  ASSERT_EQ(platform::RegOpen(platform::kHiveCurrentUser, sub, platform::kKeyRead, &h), 0u);
  for (int i = 0; i < kValues; ++i) {
    std::vector<std::uint8_t> data;
    ASSERT_EQ(platform::RegQuery(h, u"V" + IntToStr(i), nullptr, &data), 0u);
    EXPECT_EQ(data, platform::RegTextData(IntToStr(owner[static_cast<size_t>(i)]))) << "V" << i;
  }
  platform::RegClose(h);
  platform::RegDeleteKeyTree(platform::kHiveCurrentUser, sub);
#ifndef _WIN32
  kvtest::SetEnv("KV_REGISTRY_DIR", "");
#endif
}
