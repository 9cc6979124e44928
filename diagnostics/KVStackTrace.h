// Walking the calling thread's stack.
#pragma once

#include <vector>

#include "platform/Base.h"

namespace kv {

// The calling thread's stack, one line per frame in the failure report's
// stack line format, innermost first. Skip 0: the first line is the
// function that called CurrentStackLines; each more leaves out one more frame.
std::vector<String> CurrentStackLines(int Skip);

}  // namespace kv
