// Helpers shared by the Windows side of the platform layer (host/platform/windows/).
// Included only from host/platform/windows/*.cpp, after <windows.h>.
#pragma once

#include <string>

namespace instkit {

// The system's text for an error code from GetLastError() or a Reg* result,
// without the trailing line break; "error N" when the system has none.
std::string WindowsErrorText(unsigned long code);

}  // namespace instkit
