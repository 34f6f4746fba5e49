#include "host/base/tree_indent.h"

#include <algorithm>

namespace instkit {

std::string TreeIndent(size_t depth, size_t unit, size_t levels) {
  return std::string(std::min(depth, levels) * unit, ' ');
}

std::string TreeLevelMark(size_t depth, size_t levels) {
  if (depth < levels) return {};
  return "(level " + std::to_string(depth + 1) + ") ";
}

}  // namespace instkit
