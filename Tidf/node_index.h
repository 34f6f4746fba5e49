// One entry of the stack that AddTreeSection keeps while it walks a
// form-manager tree: one entry per depth of the current node.
#pragma once

#include <cstdint>
#include <string>

namespace instkit {

struct TNodeIndex {
  int32_t Index = 0;  // the next child to visit below the node at this depth
  std::string Path;   // dotted path of the node at this depth
};

}  // namespace instkit
