// The number of command-line arguments of the running process (not counting
// the program name).  The IDF text writer picks its header line from it.
// On Linux it is read from the process itself (/proc/self/cmdline), whoever
// the host is; a host or a test can override it.
#pragma once

#include <cstdint>

namespace instkit {

int32_t ProcessArgumentCount();
// Makes ProcessArgumentCount answer `count` until ResetProcessArgumentCount.
void OverrideProcessArgumentCount(int32_t count);
void ResetProcessArgumentCount();

}  // namespace instkit
