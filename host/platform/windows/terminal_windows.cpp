#include "host/platform/terminal.h"

#include <io.h>

namespace instkit {

bool IsTerminal(TStandardStream stream) {
  switch (stream) {
    case TStandardStream::kInput:
      return _isatty(0) != 0;
    case TStandardStream::kOutput:
      return _isatty(1) != 0;
    case TStandardStream::kError:
      return _isatty(2) != 0;
  }
  return false;
}

}  // namespace instkit
