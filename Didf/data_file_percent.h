// The progress percentage of the data-file loops: trunc(part / whole * 100),
// of which the progress function is given the low eight bits.  A whole of 0
// (a table that said it had no rows but delivered some) reports 100.
#pragma once

#include <cstdint>

namespace instkit {

inline uint8_t ProgressPercent(double part, double whole) {
  if (!(whole > 0)) return 100;
  const double percent = part / whole * 100.0;
  if (!(percent >= 0) || percent >= 9.2e18) return 100;
  return static_cast<uint8_t>(static_cast<int64_t>(percent) & 0xFF);
}

}  // namespace instkit
