// Text primitives shared by every module: trimming, ASCII case, and the one
// parser and printer of each number type.  Texts are 8-bit (Windows-1251)
// byte strings; only the ASCII letters a-z/A-Z take part in case rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/base/export.h"

namespace instkit {

// Removes every byte of code 0 to 32 (blanks and control characters) from
// both ends.
INSTKIT_API std::string_view Trim(std::string_view text);
INSTKIT_API std::string_view TrimLeft(std::string_view text);
INSTKIT_API std::string_view TrimRight(std::string_view text);

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
INSTKIT_API std::string AsciiUpper(std::string_view text);
// The one case-blind comparison: equal when equal after AsciiUpper.  Inline,
// as readers call it for every key they match.
inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Decimal 32-bit integer: an optional sign and at least one digit, nothing
// else (no blanks).  nullopt on anything else or on overflow.
INSTKIT_API std::optional<int32_t> ParseInt32(std::string_view text);
// Same for 64 bits.
INSTKIT_API std::optional<int64_t> ParseInt64(std::string_view text);
// A double in C locale notation ("1.5", "-2e10", "inf", "nan"); no blanks.
INSTKIT_API std::optional<double> ParseDouble(std::string_view text);

INSTKIT_API std::string IntToStr(int64_t value);
// The shortest text that reads back to exactly the same double.
INSTKIT_API std::string DoubleToStr(double value);

}  // namespace instkit
