// The start-up safeguards: the failure hook of libraries bound at run time,
// literal date formats, data execution prevention.
#include <gtest/gtest.h>

#include "platform/DynamicLibrary.h"
#include "system/DelayedHandler.h"
#include "text/SysUtils.h"

using namespace kv;

TEST(Safeguards, TheFailureHookNamesTheMissingLibraryOrFunction) {
  platform::DelayLoadInfo info;
  info.DllName = "dwmapi.dll";
  try {
    DelayLoadFailureHook(platform::kDelayLoadFailLoadLibrary, info);
    FAIL();
  } catch (const ELoadLibrary& e) {
    EXPECT_EQ(e.Message(), u"Could not load dwmapi.dll");
  }
  info.ProcName = "DwmIsCompositionEnabled";
  try {
    DelayLoadFailureHook(platform::kDelayLoadFailGetProcAddress, info);
    FAIL();
  } catch (const EGetProcAddress& e) {
    EXPECT_EQ(e.Message(), u"Could not load DwmIsCompositionEnabled from dwmapi.dll");
  }
  info.ImportByName = false;
  info.Ordinal = 4000000000u;
  try {
    DelayLoadFailureHook(platform::kDelayLoadFailGetProcAddress, info);
    FAIL();
  } catch (const EGetProcAddress& e) {
    EXPECT_EQ(e.Message(), u"Could not load index 4000000000 from dwmapi.dll");
  }
  EXPECT_EQ(DelayLoadFailureHook(1, info), nullptr);
  EXPECT_EQ(DelayLoadFailureHook(5, info), nullptr);
}

TEST(Safeguards, InstalledTheHookTurnsMissingLibrariesAndFunctionsIntoItsExceptions) {
  DelayedHandler_Initialize();
  EXPECT_THROW(platform::RequireLibrary("kv-no-such-library.dll"), ELoadLibrary);
  try {
    platform::RequireFunction(0, "gdiplus.dll", "#12");
    FAIL();
  } catch (const EGetProcAddress& e) {
    EXPECT_EQ(e.Message(), u"Could not load index 12 from gdiplus.dll");
  }
#ifdef _WIN32
  const platform::LibraryHandle kernel = platform::RequireLibrary("kernel32.dll");
  EXPECT_NE(platform::RequireFunction(kernel, "kernel32.dll", "GetTickCount"), nullptr);
  try {
    platform::RequireFunction(kernel, "kernel32.dll", "KvNoSuchFunction");
    FAIL();
  } catch (const EGetProcAddress& e) {
    EXPECT_EQ(e.Message(), u"Could not load KvNoSuchFunction from kernel32.dll");
  }
#endif
  // Removed again, the failure is the platform's own error.
  DelayedHandler_Finalize();
  try {
    platform::RequireLibrary("kv-no-such-library.dll");
    FAIL();
  } catch (const ELoadLibrary&) {
    FAIL() << "the hook is still installed";
  } catch (const EOSError& e) {
    EXPECT_NE(e.Message().find(u"kv-no-such-library.dll"), String::npos);
  }
}

TEST(Safeguards, DateFormatsGetTheSeparatorForEverySlash) {
  TFormatSettings& fs = FormatSettings();
  const TFormatSettings saved = fs;
  fs.DateSeparator = u'.';
  fs.ShortDateFormat = u"dd/mm/yyyy";
  fs.LongDateFormat = u"dddd, d. mmmm yyyy";
  NormaliseDateFormats();
  EXPECT_EQ(fs.ShortDateFormat, u"dd.mm.yyyy");
  EXPECT_EQ(fs.LongDateFormat, u"dddd, d. mmmm yyyy");
  fs.ShortDateFormat = u"yyyy/mm/dd/";
  NormaliseDateFormats();
  EXPECT_EQ(fs.ShortDateFormat, u"yyyy.mm.dd.");
  fs = saved;
}

TEST(Safeguards, DataExecutionPreventionWhereTheSystemOffersIt) {
  const std::int32_t result = EnableProcessDep(true);
  EXPECT_EQ(ProcessDepEnabled(), result != 0);
#ifndef _WIN32
  EXPECT_EQ(result, 0);  // no such function outside Windows
#endif
}

TEST(Safeguards, AProgramKnowsItIsNoLibrary) {
  // The test program links the framework in: it is the program itself, and
  // data execution prevention is its own business.
  EXPECT_FALSE(kv::platform::ModuleIsLibrary());
}
