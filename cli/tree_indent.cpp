#include "cli/tree_indent.h"

#include <algorithm>

namespace instkit::cli {

std::string TreeIndent(size_t depth, size_t unit) { return std::string(std::min(depth, kMaxDrawnDepth) * unit, ' '); }

std::string TreeLevelMark(size_t depth) {
  if (depth < kMaxDrawnDepth) return {};
  return "[level " + std::to_string(depth + 1) + "] ";
}

}  // namespace instkit::cli
