// The number of command-line arguments of the running process (not counting
// the program name).  The IDF text writer picks its header line from it.
// On Linux it is read from the process itself (/proc/self/cmdline), whoever
// the host is; a host or a test can override it (host/base/settings.h).
#pragma once

#include <cstdint>

#include "host/base/export.h"

namespace instkit {

// The process's own count, or Settings().ArgumentCountOverride() when set
// (host/base/settings.h).
INSTKIT_API int32_t ProcessArgumentCount();

}  // namespace instkit
