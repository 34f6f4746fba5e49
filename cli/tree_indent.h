// Indentation of the printed trees (catalogue, plan): `unit` blanks per
// level, drawn for the first kMaxDrawnDepth levels only.  Deeper lines keep
// that indentation and say their level instead ("[level 41] "), so that a
// tree a million levels deep prints in time and space linear in its size
// instead of quadratic.
#pragma once

#include <cstddef>
#include <string>

namespace instkit::cli {

constexpr size_t kMaxDrawnDepth = 40;

// The blanks in front of a line at `depth` (0 for a top-level line).
std::string TreeIndent(size_t depth, size_t unit = 2);
// "" up to kMaxDrawnDepth; below it "[level N] " with N = depth + 1, to be
// written after the indentation of an item's first line.
std::string TreeLevelMark(size_t depth);

}  // namespace instkit::cli
