// The exception handler's reports: the failure log's block, the dialog, the
// silent abort, the size limit, and what happens when nothing can be written.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "WindowSystemTest.h"
#include "failure/KVExceptions.h"
#include "failure/KVLocalFilesLocation.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "text/_4Files.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;
namespace fs = std::filesystem;

namespace {

class Exceptions : public kvtest::WindowSystemTest {
 protected:
  Exceptions() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void SetUp() override {
    // The failure log goes where the override says: a file in the temporary folder.
    PersonalDirOverride = dir.File("x");
  }
  void TearDown() override {
    PersonalDirOverride.clear();
  }
  String Log() const { return dir.File("RTSFail.log"); }
  std::vector<String> LogLines() const {
    std::vector<String> lines;
    TUnicodeFileReader r(Log(), false);
    while (!r.Eof()) lines.push_back(r.ReadLine());
    return lines;
  }
  // Reports E while the error dialog, when one shows, is read and closed.
  String Report(const std::exception& E) {
    String shown;
    Headless().Enqueue([&] {
      if (auto* d = dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm())) {
        shown = d->MainInstructionLabel()->PlainText();
        Headless().PressKey(VK_RETURN);
      }
    });
    ReportException(E, true);
    Application().ProcessMessages();
    return shown;
  }
  kvtest::DialogModules modules;
  kvtest::TempDir dir;
};

[[gnu::noinline]] void Raise() { throw EConvertError(u"Zahl erwartet"); }

}  // namespace

TEST_F(Exceptions, AReportIsABlockOfTheFailureLogAndTheDialogShowsTheMessage) {
  EXPECT_EQ(FailureLogFileName(), Log());
  // Without stack tracking nothing is recorded: the block ends after the message.
  EXPECT_EQ(Report(EConvertError(u"Division by zero")), u"Division\u00A0by\u00A0zero\u00A0");
  std::vector<String> lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].size(), 19u);
  EXPECT_EQ(lines[1], String(40, u'-'));
  EXPECT_EQ(lines[2].size(), 16u);
  EXPECT_EQ(lines[2][2], u'.');
  EXPECT_EQ(lines[3].back(), u']');
  EXPECT_EQ(lines[4], u"");
  EXPECT_EQ(lines[5], u"Division by zero");
  EXPECT_EQ(lines[6], u"");  // the report's empty line after the message
  EXPECT_EQ(lines[7], u"");  // the block's

  // With tracking, the stack of the exception follows, from the raising function.
  StartExceptionTracking();
  try {
    Raise();
  } catch (const EConvertError& e) {
    Report(e);
  }
  StopExceptionTracking();
  lines = LogLines();
  ASSERT_GT(lines.size(), 15u);
  EXPECT_EQ(lines[13], u"Zahl erwartet");
  EXPECT_NE(lines[15].find(u"Raise"), String::npos) << ToUtf8(lines[15]);
  EXPECT_EQ(lines.back(), u"");
}

TEST_F(Exceptions, AnAbortIsWrittenButNotShownAndAnEmptyMessageNotAtAll) {
  EXPECT_EQ(Report(EAbort(u"Abgebrochen")), u"");
  EXPECT_EQ(LogLines()[5], u"Abgebrochen");
  fs::remove(dir.NativeFile("RTSFail.log"));
  EXPECT_EQ(Report(EConvertError(u"")), u"");
  EXPECT_FALSE(fs::exists(dir.NativeFile("RTSFail.log")));
  TKVStringList lines;
  BuildExceptionReport(EConvertError(u""), lines);
  EXPECT_EQ(lines.Count(), 0);
}

TEST_F(Exceptions, AFullFailureLogIsMovedAsideFirst) {
  // Exactly at the limit it is appended to.
  kvtest::WriteBytes(dir.NativeFile("RTSFail.log"), "\xFF\xFE" + std::string(kFailureLogMaxSize - 2, 'a'));
  Report(EConvertError(u"eins"));
  EXPECT_FALSE(fs::exists(dir.NativeFile("RTSFail_2.log")));
  EXPECT_GT(fs::file_size(dir.NativeFile("RTSFail.log")), static_cast<std::uintmax_t>(kFailureLogMaxSize));
  // One byte more: moved to "_2", and a new log begins with its byte-order mark.
  Report(EConvertError(u"zwei"));
  ASSERT_TRUE(fs::exists(dir.NativeFile("RTSFail_2.log")));
  const std::string fresh = kvtest::ReadBytes(dir.NativeFile("RTSFail.log"));
  EXPECT_EQ(fresh.substr(0, 2), "\xFF\xFE");
  EXPECT_LT(fresh.size(), 20000u);
}

TEST_F(Exceptions, AFailureLogThatCannotBeWrittenStillLetsTheDialogShow) {
  kvtest::WriteBytes(dir.NativeFile("blocked"), "a file where a folder should be");
  PersonalDirOverride = dir.File("blocked") + u"\\sub\\x";
  EXPECT_EQ(Report(EConvertError(u"Trotzdem")), u"Trotzdem\u00A0");
}

TEST_F(Exceptions, TheHandlerTakesTheApplicationsEventAndGivesItBack) {
  bool before = false;
  Application().OnException = [&](TObject*, const std::exception&) { before = true; };
  {
    TExceptionHandler handler;
    Headless().Enqueue([] { Headless().PressKey(VK_RETURN); });
    Application().HandleException(nullptr, EConvertError(u"\u00FCber den Handler"));
    EXPECT_FALSE(before);
    EXPECT_EQ(LogLines()[5], u"\u00FCber den Handler");
  }
  Application().HandleException(nullptr, EConvertError(u"danach"));
  EXPECT_TRUE(before);
  Application().OnException = nullptr;
}

TEST_F(Exceptions, AFailureWhileTheErrorDialogIsUpIsWrittenButNotShownOverIt) {
  int dialogsSeen = 0;
  Headless().Enqueue([&] {
    // The first dialog is up; a second failure comes meanwhile (a timer, say).
    ASSERT_NE(dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm()), nullptr);
    ++dialogsSeen;
    const std::size_t forms = Application().Forms().size();
    ReportException(EConvertError(u"zweiter Fehler"), true);
    EXPECT_EQ(Application().Forms().size(), forms);
    Headless().PressKey(VK_RETURN);
  });
  ReportException(EConvertError(u"erster Fehler"), true);
  EXPECT_EQ(dialogsSeen, 1);
  const std::vector<String> lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"zweiter Fehler"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"erster Fehler"), lines.end());
}

TEST_F(Exceptions, SeveralEventComponentsGiveTheEventBackInAnyOrder) {
  int before = 0;
  Application().OnException = [&](TObject*, const std::exception&) { ++before; };
  auto a = std::make_unique<TApplicationEvents>(nullptr);
  auto b = std::make_unique<TApplicationEvents>(nullptr);
  int seenA = 0, seenB = 0;
  a->OnException = [&](TObject*, const std::exception&) { ++seenA; };
  b->OnException = [&](TObject*, const std::exception&) { ++seenB; };
  Application().HandleException(nullptr, EConvertError(u"x"));
  a.reset();  // the first goes first
  Application().HandleException(nullptr, EConvertError(u"x"));
  b.reset();
  Application().HandleException(nullptr, EConvertError(u"x"));
  EXPECT_EQ(seenB, 2);
  EXPECT_EQ(seenA, 0);
  EXPECT_EQ(before, 1);
  Application().OnException = nullptr;
}
