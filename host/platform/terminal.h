// Whether the process's standard streams are terminals, as the platform
// layer sees them.  The command line asks before it prompts the operator or
// draws full-screen.
#pragma once

#include "host/base/export.h"

namespace instkit {

enum class TStandardStream { kInput, kOutput, kError };

// True when the stream is attached to a terminal (a console on Windows).
INSTKIT_API bool IsTerminal(TStandardStream stream);

}  // namespace instkit
