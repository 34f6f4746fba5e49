#include "host/platform/terminal.h"

#include <unistd.h>

namespace instkit {

bool IsTerminal(TStandardStream stream) {
  switch (stream) {
    case TStandardStream::kInput:
      return ::isatty(STDIN_FILENO) != 0;
    case TStandardStream::kOutput:
      return ::isatty(STDOUT_FILENO) != 0;
    case TStandardStream::kError:
      return ::isatty(STDERR_FILENO) != 0;
  }
  return false;
}

}  // namespace instkit
