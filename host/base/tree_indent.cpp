#include "host/base/tree_indent.h"

#include <algorithm>

namespace instkit {

std::string TreeIndent(size_t depth, size_t unit) { return std::string(std::min(depth, kDrawnTreeLevels) * unit, ' '); }

std::string TreeLevelMark(size_t depth) {
  if (depth < kDrawnTreeLevels) return {};
  return "(level " + std::to_string(depth + 1) + ") ";
}

}  // namespace instkit
