// kvreport: the failure reports of a failure log ("RTSFail.log"), latest
// first, as UTF-8 text for whoever reads what a user sent in.
#pragma once

#include <vector>

#include "tools/ToolOutput.h"

namespace kv::reporttool {

// One block of a failure log: when it was written and its report lines.
struct Report {
  String Written;
  std::vector<String> Lines;
};

// The blocks of a failure log's lines, in file order. Lines before the first
// block are kept as a block without time.
std::vector<Report> SplitReports(const std::vector<String>& lines);

// kvreport [--last N] [--with-older] FILE
int Run(const std::vector<String>& args, tools::Output& output);

}  // namespace kv::reporttool
