#include "tools/kvreport/ReportTool.h"

#include <algorithm>

#include "platform/Files.h"
#include "text/SysUtils.h"
#include "text/_4Files.h"

namespace kv::reporttool {

namespace {

constexpr StringView kUsage =
    u"Usage: kvreport [--last N] [--with-older] FILE\n"
    u"Prints the failure reports of a failure log (RTSFail.log, UTF-16), the latest first, as UTF-8.\n"
    u"  --last N       only the N latest reports\n"
    u"  --with-older   also the reports of the older log beside it (NAME_2.EXT), which come after\n"
    u"Exit codes: 0 done, 1 the file cannot be read, 2 wrong usage.\n";

const String kDashes(40, u'-');

// "yyyy-mm-dd hh:nn:ss"
bool IsTimeStamp(const String& s) {
  if (s.size() != 19) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool digit = c >= u'0' && c <= u'9';
    if (i == 4 || i == 7) {
      if (c != u'-') return false;
    } else if (i == 10) {
      if (c != u' ') return false;
    } else if (i == 13 || i == 16) {
      if (c != u':') return false;
    } else if (!digit) {
      return false;
    }
  }
  return true;
}

std::vector<String> ReadLines(const String& file) {
  TUnicodeFileReader reader(file, false);
  std::vector<String> lines;
  while (!reader.Eof()) lines.push_back(reader.ReadLine());
  return lines;
}

// NAME_2.EXT beside NAME.EXT.
String OlderLog(const String& file) {
  const std::size_t slash = file.find_last_of(u"\\/");
  const std::size_t dot = file.rfind(u'.');
  if (dot == String::npos || (slash != String::npos && dot < slash)) return file + u"_2";
  return file.substr(0, dot) + u"_2" + file.substr(dot);
}

}  // namespace

std::vector<Report> SplitReports(const std::vector<String>& lines) {
  std::vector<Report> reports;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (IsTimeStamp(lines[i]) && i + 1 < lines.size() && lines[i + 1] == kDashes) {
      reports.push_back({lines[i], {}});
      ++i;
      continue;
    }
    if (reports.empty()) reports.push_back({});
    reports.back().Lines.push_back(lines[i]);
  }
  // The empty line that ends each block is the file's, not the report's.
  for (Report& r : reports)
    if (!r.Written.empty() && !r.Lines.empty() && r.Lines.back().empty()) r.Lines.pop_back();
  return reports;
}

int Run(const std::vector<String>& args, tools::Output& output) {
  String file;
  long long last = -1;
  bool withOlder = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const String& a = args[i];
    if (a == u"--help" || a == u"-h") {
      output.out += kUsage;
      return tools::kOk;
    }
    if (a == u"--with-older") {
      withOlder = true;
    } else if (a == u"--last") {
      const std::optional<std::int64_t> n = i + 1 < args.size() ? TryStrToInt64(args[i + 1]) : std::nullopt;
      if (!n || *n < 0) {
        output.err += u"kvreport: --last needs a number of reports\n" + String(kUsage);
        return tools::kUsage;
      }
      last = *n;
      ++i;
    } else if (!a.empty() && a[0] == u'-') {
      output.err += u"kvreport: unknown option " + a + u"\n" + String(kUsage);
      return tools::kUsage;
    } else if (file.empty()) {
      file = a;
    } else {
      output.err += u"kvreport: only one file, please\n" + String(kUsage);
      return tools::kUsage;
    }
  }
  if (file.empty()) {
    output.err += String(kUsage);
    return tools::kUsage;
  }
  std::vector<Report> reports;
  try {
    reports = SplitReports(ReadLines(file));
    if (withOlder && FileExistsEx(OlderLog(file))) {
      std::vector<Report> older = SplitReports(ReadLines(OlderLog(file)));
      reports.insert(reports.begin(), older.begin(), older.end());
    }
  } catch (const Exception& e) {
    output.err += u"kvreport: " + e.Message() + u"\n";
    return tools::kFailed;
  }
  std::reverse(reports.begin(), reports.end());
  if (last >= 0 && static_cast<std::size_t>(last) < reports.size()) reports.resize(static_cast<std::size_t>(last));
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const Report& r = reports[i];
    output.out += u"=== " + (r.Written.empty() ? String(u"(without time)") : r.Written) + u"\n";
    for (const String& l : r.Lines) output.out += l + u"\n";
    if (i + 1 < reports.size()) output.out += u"\n";
  }
  return tools::kOk;
}

}  // namespace kv::reporttool
