// The process's argument count on Windows, from its command line split the
// way the C runtime splits it (CommandLineToArgvW), minus the program name.
#include "host/platform/windows/win_error.h"
#include <shellapi.h>

#include <cstdint>

namespace instkit {

int32_t PlatformProcessArgumentCount() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (args == nullptr) return 0;
  ::LocalFree(args);
  return count > 0 ? count - 1 : 0;
}

}  // namespace instkit
