// kvreport: failure logs read back, latest report first.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "text/_4Files.h"
#include "tools/kvreport/ReportTool.h"

using namespace kv;

namespace {

int Report(std::vector<String> args, tools::Output& o) { return reporttool::Run(args, o); }

}  // namespace

TEST(ReportTool, PrintsTheReportsOfAFailureLogLatestFirst) {
  kvtest::TempDir dir;
  const String log = dir.File("RTSFail.log");
  // Two reports appended as the exception handler appends them.
  AppendToLogFile(log, u"01.02.2026 10:00\r\nC:\\x\\Autorun.exe, [1.0.0.0]\r\n\r\nErste \u00C4nderung\r\n", true, 1048576,
                  true, false);
  AppendToLogFile(log, u"01.02.2026 11:00\r\nC:\\x\\Autorun.exe, [1.0.0.0]\r\n\r\nZweite\r\n\r\n(00001000){Autorun.exe  } [00401000] main", true,
                  1048576, true, false);
  tools::Output o;
  ASSERT_EQ(Report({log}, o), 0) << ToUtf8(o.err);
  const std::size_t second = o.out.find(u"Zweite"), first = o.out.find(u"Erste \u00C4nderung");
  ASSERT_NE(second, String::npos);
  ASSERT_NE(first, String::npos);
  EXPECT_LT(second, first);
  EXPECT_EQ(o.out.rfind(u"=== ", 0), 0u);
  EXPECT_NE(o.out.find(u"[00401000] main\n\n=== "), String::npos);

  tools::Output one;
  ASSERT_EQ(Report({u"--last", u"1", log}, one), 0);
  EXPECT_EQ(one.out.find(u"Erste"), String::npos);
  EXPECT_NE(one.out.find(u"Zweite"), String::npos);

  // The older log beside it comes after, with --with-older.
  AppendToLogFile(dir.File("RTSFail_2.log"), u"Alt", true, 1048576, true, false);
  tools::Output all;
  ASSERT_EQ(Report({u"--with-older", log}, all), 0);
  EXPECT_GT(all.out.find(u"Alt\n"), all.out.find(u"Erste"));
}

TEST(ReportTool, SplitsBlocksAndRefusesWhatItCannotRead) {
  const auto reports = reporttool::SplitReports({u"vorher", u"2026-01-02 03:04:05", String(40, u'-'), u"a", u"",
                                                 u"2026-01-02 03:04:06", String(40, u'-'), u"", u"b", u"", u""});
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].Written, u"");
  EXPECT_EQ(reports[0].Lines, std::vector<String>{u"vorher"});
  EXPECT_EQ(reports[1].Lines, std::vector<String>{u"a"});
  EXPECT_EQ(reports[2].Written, u"2026-01-02 03:04:06");
  // A report without stack lines keeps its own empty line after the message.
  EXPECT_EQ(reports[2].Lines, (std::vector<String>{u"", u"b", u""}));

  tools::Output o;
  EXPECT_EQ(Report({}, o), 2);
  EXPECT_EQ(Report({u"--last"}, o), 2);
  EXPECT_EQ(Report({u"--last", u"x", u"f"}, o), 2);
  EXPECT_EQ(Report({u"--bogus", u"f"}, o), 2);
  tools::Output missing;
  EXPECT_EQ(Report({u"kv-no-such-file.log"}, missing), 1);
  EXPECT_NE(missing.err.find(u"kv-no-such-file.log"), String::npos);
  tools::Output help;
  EXPECT_EQ(Report({u"--help"}, help), 0);
  EXPECT_NE(help.out.find(u"Usage: kvreport"), String::npos);
}
