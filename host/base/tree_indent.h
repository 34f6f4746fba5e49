// Indentation of printed trees (the catalogue printer, the plan, the run
// summary, the setup wizard's lists): `unit` blanks per level for the first
// `levels` levels, kDrawnTreeLevels unless a narrower printer says fewer.
// Deeper lines keep that indentation and say their level in front of the
// name instead ("(level 33) "; a top-level line is level 1), so that a tree
// a million levels deep prints in time and space linear in its size instead
// of quadratic.
#pragma once

#include <cstddef>
#include <string>

#include "host/base/export.h"

namespace instkit {

constexpr size_t kDrawnTreeLevels = 32;

// The blanks in front of a line at `depth` (0 for a top-level line).
INSTKIT_API std::string TreeIndent(size_t depth, size_t unit = 2, size_t levels = kDrawnTreeLevels);
// "" for the drawn levels; below them "(level N) " with N = depth + 1, to be
// written after the indentation of an item's first line.
INSTKIT_API std::string TreeLevelMark(size_t depth, size_t levels = kDrawnTreeLevels);
// The front of an item's first line: its indentation (two blanks a level)
// and its level mark.
inline std::string TreeLinePrefix(size_t depth, size_t levels = kDrawnTreeLevels) {
  return TreeIndent(depth, 2, levels) + TreeLevelMark(depth, levels);
}

}  // namespace instkit
