// Not a test: prints how many lines per second the log file writer puts into
// a file (opened and closed for every line), and what one AddToLog costs the
// producer with logging active, so that the figures can be taken where
// Google Benchmark is not built, such as the Windows programs under Wine.
//
//   log_writer_speed [lines]        (default 2000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "logging/KVDataObjectsFactory.h"
#include "logging/KVFileLogger.h"
#include "platform/Registry.h"
#include "system/KVRegistry.h"
#include "text/_4Files.h"

using namespace kv;
using Clock = std::chrono::steady_clock;

namespace {

class DiscardingLogger : public IKVLogger {
 public:
  void WriteText(const String&) override {}
  void WriteMessage(const String&, TMessageLogType) override {}
  void WriteEntry(const IKVLogEntry&) override {}
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  kvtest::TempDir dir, store;
#ifndef _WIN32
  kvtest::SetEnv("KV_REGISTRY_DIR", store.Native());
#endif
  platform::RegDeleteKeyTree(platform::kHiveCurrentUser, kLogRegistryKey);
  const String message = u"Exception EAccessViolation in module viewer.exe at 0040A1B2: read of address 00000000";

  {
    auto settings = TKVDataObjectsFactory::CreateDefaultFileLoggerSettings();
    settings->SetLogFolder(dir.Path());
    TKVFileLogger logger(settings);
    const String line = TKVLoggingHelper::LogEntryToString(*TKVLogEntry::GetLogEntry(message));
    const auto start = Clock::now();
    for (int i = 0; i < lines; ++i) logger.WriteText(line);
    const double s = Seconds(start);
    std::printf("writer: %d lines in %.3f s = %.0f lines/s (%.1f us per line)\n", lines, s, lines / s,
                s * 1e6 / lines);
    // The part of it that is opening, appending and closing the file; the
    // rest is the check of the folder (a folder and a file made and removed).
    const String file = dir.Path() + u"\\plain_open_close.log";
    const auto plain = Clock::now();
    for (int i = 0; i < lines; ++i) TUnicodeFileWriter(file, true, true, false, true).WriteLn(line);
    const double p = Seconds(plain);
    std::printf("  of which open, append, close: %.0f lines/s (%.1f us per line)\n", lines / p, p * 1e6 / lines);
    const auto probe = Clock::now();
    for (int i = 0; i < lines; ++i) IsDirectoryWritable(dir.Path());
    const double q = Seconds(probe);
    std::printf("  and the folder check: %.1f us per line\n", q * 1e6 / lines);
  }

  TKVLogConfigDefault::Create(nullptr);
  WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"Active", u"1");
  WriteRegistryString(platform::kHiveCurrentUser, kLogRegistryKey, u"LogFolder", dir.Path());
  SetFileLoggerFactory([](const IKVFileLoggerSettingsPtr&) { return std::make_shared<DiscardingLogger>(); });
  LoggingModule_Initialize();
  GetLogController();
  const int messages = lines * 50;
  const auto start = Clock::now();
  for (int i = 0; i < messages; ++i) AddToLog(tmlError, lcApplication, u"", message, false);
  const double s = Seconds(start);
  LoggingModule_Finalize();
  std::printf("producer: %d AddToLog in %.3f s = %.0f ns per message\n", messages, s, s * 1e9 / messages);
  platform::RegDeleteKeyTree(platform::kHiveCurrentUser, kLogRegistryKey);
  return 0;
}
