// Walks over catalogue nodes: the tree walk of host/base/tree_walk.h with the
// nodes' own child lists.  Every operation that visits a subtree uses these,
// so none of them runs out of call stack on a catalogue nested as deeply as
// it has subsystems.  For the library and the command line; not for hosts.
#pragma once

#include <utility>

#include "Syslist/sys_node.h"
#include "host/base/tree_walk.h"

namespace instkit {

// The children of a catalogue node (or of the tree), in list order.
struct TSysNodeChildren {
  const std::vector<std::unique_ptr<TSysNode>>& operator()(const TCustomSysNode* node) const { return node->Nodes; }
};

// `start`, then its descendants in pre-order; enter and leave receive
// TSysNode*.  See host/base/tree_walk.h for what they may return and do.
// Children are held by owning pointers, which hand out non-const nodes even
// from a const parent; a walk from a const node is the same.
template <typename Enter, typename Leave = TNoLeave>
bool WalkNodes(const TSysNode* start, Enter&& enter, Leave&& leave = {}) {
  return WalkTree(const_cast<TSysNode*>(start), TSysNodeChildren{}, std::forward<Enter>(enter),
                  std::forward<Leave>(leave));
}

// The descendants of `root` (a node or the tree), not `root` itself.
template <typename Enter, typename Leave = TNoLeave>
bool WalkNodesBelow(const TCustomSysNode* root, Enter&& enter, Leave&& leave = {}) {
  return WalkBelow(root, TSysNodeChildren{}, std::forward<Enter>(enter), std::forward<Leave>(leave));
}

}  // namespace instkit
