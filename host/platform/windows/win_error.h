// What the Windows side of the platform layer (host/platform/windows/)
// shares: <windows.h> without min/max macros and the rarely used APIs, and
// the system's error texts.  Included only from host/platform/windows/*.cpp.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace instkit {

// The system's text for an error code from GetLastError() or a Reg* result,
// without the trailing line break; "error N" when the system has none.
std::string WindowsErrorText(unsigned long code);

}  // namespace instkit
