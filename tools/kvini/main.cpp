// kvini: the INI command-line tool.
#include "tools/kvini/IniTool.h"

int main(int argc, char** argv) { return kv::tools::RunMain(u"kvini", argc, argv, &kv::initool::Run); }
