// kvreg: the registry command-line tool.
#include "tools/kvreg/RegTool.h"

int main(int argc, char** argv) { return kv::tools::RunMain(u"kvreg", argc, argv, &kv::regtool::Run); }
