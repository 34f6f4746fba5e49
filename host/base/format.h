// printf-style formatting into a std::string, for the fixed English format
// strings of log lines and messages.  Pass std::string arguments as c_str().
#pragma once

#include <string>

#include "host/base/export.h"

namespace instkit {

INSTKIT_API std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace instkit
