// printf-style formatting into a std::string, for the fixed English format
// strings of log lines and messages.  Pass std::string arguments as c_str().
#pragma once

#include <string>

#include "host/base/export.h"

namespace instkit {

INSTKIT_API std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A count with its noun: Counted(1, "file", "files") is "1 file", 2 gives
// "2 files".
inline std::string Counted(unsigned long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace instkit
