// kvreport: the failure reports of a failure log, latest first.
#include "tools/kvreport/ReportTool.h"

int main(int argc, char** argv) { return kv::tools::RunMain(u"kvreport", argc, argv, &kv::reporttool::Run); }
