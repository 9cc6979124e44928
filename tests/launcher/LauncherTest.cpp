#include <gtest/gtest.h>

#include <algorithm>

#include "TestUtil.h"
#include "launcher/Launcher.h"
#include "launcher/Startup.h"
#include "failure/KVExceptions.h"
#include "system/DelayedHandler.h"
#include "localisation/KVTranslate.h"
#include "logging/KVFileLogger.h"
#include "platform/Process.h"
#include "text/_4Sort.h"
#include "ui/KVAdvProgr.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

TEST(TrimTrailingBackslashes, RemovesAtMostTwo) {
  EXPECT_EQ(TrimTrailingBackslashes(u"C:\\dir\\\\"), u"C:\\dir");
  EXPECT_EQ(TrimTrailingBackslashes(u"C:\\dir\\"), u"C:\\dir");
  EXPECT_EQ(TrimTrailingBackslashes(u"C:\\dir"), u"C:\\dir");
  EXPECT_EQ(TrimTrailingBackslashes(u"C:\\dir\\\\\\"), u"C:\\dir\\");
  EXPECT_EQ(TrimTrailingBackslashes(u"D:\\"), u"D:");
  EXPECT_EQ(TrimTrailingBackslashes(u"\\\\server\\share\\dir"), u"\\\\server\\share\\dir");
  EXPECT_EQ(TrimTrailingBackslashes(u""), u"");
}

TEST(LastResortMessage, FollowsThePattern) {
  String m = LastResortMessage(u"EFOpenError", u"Cannot open file x", 0x1234);
  EXPECT_EQ(m.rfind(u"Exception EFOpenError in module launcher_tests", 0), 0u);
  EXPECT_NE(m.find(u"1234.\r\nCannot open file x.\r\n"), String::npos);
  // A message that already ends with "." gets no second one; an empty one none.
  EXPECT_NE(LastResortMessage(u"E", u"done.", 0).find(u"\r\ndone.\r\n"), String::npos);
  String empty = LastResortMessage(u"E", u"", 0);
  EXPECT_EQ(empty.substr(empty.size() - 5), u".\r\n\r\n");
}

TEST(ShellExecuteProgram, MissingFileGivesFileNotFound) {
  kvtest::TempDir dir;
  EXPECT_EQ(ShellExecuteProgram(dir.File("nothing.exe"), String(), false, 1, false), 2);
  EXPECT_EQ(StartInstaller(dir.File("nothing.exe"), String(), false), 2);
}

TEST(StartInstaller, WaitReturnsTheExitCode) {
  kvtest::TempDir dir;
  String stub = kvtest::BuildPath(KV_STUB_INSTALLER_EXE);
#ifdef _WIN32
  _putenv("KV_STUB_EXIT=7");
#else
  setenv("KV_STUB_EXIT", "7", 1);
#endif
  EXPECT_EQ(StartInstaller(stub, String(), true), 7);
  int noWait = StartInstaller(stub, String(), false);
  EXPECT_TRUE(noWait == 259 || noWait == 7) << noWait;
#ifdef _WIN32
  _putenv("KV_STUB_EXIT=");
#else
  unsetenv("KV_STUB_EXIT");
#endif
}

TEST(ModuleOrder, StartsOnceAndStopsInReverse) {
  std::vector<std::string> names;
  for (const auto& step : ModuleSteps()) names.push_back(step.Name);
  // The translation module sets its language after the hooks are in place.
  const auto language = std::find(names.begin(), names.end(), "language");
  const auto translation = std::find(names.begin(), names.end(), "translation");
  ASSERT_NE(language, names.end());
  EXPECT_LT(language, translation);
  EXPECT_LT(std::find(names.begin(), names.end(), "text utilities"), language);
  // Progress, then the form utilities before the language; the forms module
  // after the translation and before the file helpers.
  const auto pos = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(pos("progress"), pos("text utilities"));
  EXPECT_LT(pos("text utilities"), pos("form utilities"));
  EXPECT_LT(pos("form utilities"), pos("language"));
  EXPECT_LT(pos("translation"), pos("task dialog"));
  EXPECT_LT(pos("task dialog"), pos("windows version"));
  EXPECT_LT(pos("windows version"), pos("exceptions"));
  EXPECT_LT(pos("exceptions"), pos("forms"));
  EXPECT_EQ(pos("delay-load hook"), 0);
  EXPECT_EQ(pos("string list"), 1);
  EXPECT_LT(pos("forms"), pos("file helpers"));
  // Logging shuts down first, while everything it uses is still there.
  EXPECT_EQ(pos("logging"), static_cast<std::ptrdiff_t>(names.size()) - 1);

  StartModules();
  StartModules();  // a second call does nothing
  EXPECT_EQ(GetLanguage(), u"DE");
  EXPECT_NE(TextTranslationHook, nullptr);
  EXPECT_EQ(DecodeWindows1252("\x80"), u"\u20AC");
  String r;
  TranslateWithLanguage(u"!!Schlie\u00DFen", u"", true, r);
  EXPECT_EQ(r, u"Schlie\u00DFen");
  ASSERT_EQ(ProgressList().Count(), 1);
  EXPECT_EQ(ProgressList().Items(0).ControlClass, ClassOf<TKVProgress>());
  EXPECT_EQ(ProgressList().Items(0).MaxProperty, u"Max");
  EXPECT_EQ(DefaultFormFontName(), u"Segoe UI");
  // Where the platform has no task dialog library the entry pointers stay
  // empty; where it has one they lead somewhere.
  EXPECT_EQ(TaskDialogIndirectEntry != nullptr, TaskDialogEntry != nullptr);
#if !defined(_WIN32) || defined(_WIN64)
  EXPECT_EQ(TaskDialogIndirectEntry, nullptr);
  EXPECT_FALSE(NativeTaskDialogAvailable);
#else
  EXPECT_NE(TaskDialogIndirectEntry, nullptr);
#endif
  EXPECT_EQ(EmulatedTaskDialogIndirectEntry, &EmulatedTaskDialogIndirect);
  EXPECT_EQ(Application().HintHidePause(), 2147483647);
  EXPECT_EQ(MainApplicationHandle(), Application().Handle());
  ASSERT_NE(ModalFormList(), nullptr);
  EXPECT_NE(AppEventsHandler(), nullptr);
  EXPECT_TRUE(LoggingAllowed());
  // The exception handler sits on the application's event, with stack tracking on.
  EXPECT_NE(ExceptionHandler(), nullptr);
  EXPECT_TRUE(ExceptionTrackingActive());
  EXPECT_TRUE(Application().OnException);
#if !defined(_WIN32) || defined(_WIN64)
  EXPECT_FALSE(ProcessDepEnabled());  // only 32-bit Windows processes can ask for it
#endif
  StopModules();
  StopModules();
  EXPECT_EQ(ExceptionHandler(), nullptr);
  EXPECT_FALSE(ExceptionTrackingActive());
  EXPECT_FALSE(Application().OnException);
  EXPECT_FALSE(LoggingAllowed());
  EXPECT_EQ(GetLogController(), nullptr);
  EXPECT_EQ(GetLanguage(), u"");
  EXPECT_EQ(TaskDialogIndirectEntry, nullptr);
  EXPECT_EQ(ModalFormList(), nullptr);
  EXPECT_EQ(AppEventsHandler(), nullptr);
  EXPECT_THROW(MainApplicationHandle(), Exception);
  EXPECT_FALSE(Application().OnRestore);  // the handler let go of its events
  LanguageModule_Initialize();  // other tests of this program translate
  TranslationModule_Initialize();
  LoggingModule_Initialize();
}
