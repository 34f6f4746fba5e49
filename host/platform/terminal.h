// Whether the process's standard streams are terminals, as the platform
// layer sees them.  The command line asks before it prompts the operator or
// draws full-screen.
#pragma once

namespace instkit {

enum class TStandardStream { kInput, kOutput, kError };

// True when the stream is attached to a terminal (a console on Windows).
bool IsTerminal(TStandardStream stream);

}  // namespace instkit
