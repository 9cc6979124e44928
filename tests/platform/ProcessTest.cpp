#include <gtest/gtest.h>

#include <cstdlib>

#include "TestUtil.h"
#include "platform/Files.h"
#include "platform/Process.h"

using namespace kv;
using namespace kv::platform;

TEST(Process, ExitCodeStaysReadableAfterTheProcessEnded) {
#ifdef _WIN32
  _putenv("KV_STUB_EXIT=3");
#else
  setenv("KV_STUB_EXIT", "3", 1);
#endif
  CreateProcessArgs args;
  args.applicationName = kvtest::BuildPath(KV_STUB_INSTALLER_EXE);
  Process p;
  ASSERT_TRUE(StartProcess(args, &p));
  p.Wait();
  std::uint32_t first = 0, second = 0;
  ASSERT_TRUE(p.GetExitCode(&first));
  ASSERT_TRUE(p.GetExitCode(&second));
  EXPECT_EQ(first, 3u);
  EXPECT_EQ(second, 3u);
  p.Wait();  // waiting again on an ended process returns at once
#ifdef _WIN32
  _putenv("KV_STUB_EXIT=");
#else
  unsetenv("KV_STUB_EXIT");
#endif
}

TEST(Process, MissingProgramFailsWithFileNotFound) {
  kvtest::TempDir dir;
  CreateProcessArgs args;
  args.applicationName = dir.File("none.exe");
  Process p;
  EXPECT_FALSE(StartProcess(args, &p));
  EXPECT_EQ(LastError(), 2u);
  EXPECT_FALSE(p.IsValid());
}
