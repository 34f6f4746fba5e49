// Pre-order walks over catalogue nodes without recursion, for the selection,
// archive and registration operations: a catalogue read from a file may be
// nested as deeply as it has subsystems, and none of these walks may run out
// of call stack on it.  Internal to Syslist.
#pragma once

#include <utility>
#include <vector>

#include "Syslist/sys_node.h"

namespace instkit {

// Visits `start` and then its descendants in pre-order (a node, then its
// children in list order, each with its subtree), as the recursive walks do.
// `visit(node)` returns whether to descend into the node's children.  The
// walk must not add or delete nodes.  Exceptions from `visit` end the walk.
template <typename Visit>
void WalkNodes(TSysNode* start, Visit&& visit) {
  std::vector<std::pair<TSysNode*, size_t>> stack;  // node, next child index
  if (!visit(start)) return;
  stack.emplace_back(start, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next >= node->Nodes.size()) {
      stack.pop_back();
      continue;
    }
    TSysNode* child = node->Nodes[next++].get();
    if (visit(child)) stack.emplace_back(child, 0);
  }
}

// The same over every child of `root` (the root itself is not visited).
template <typename Visit>
void WalkChildren(TCustomSysNode* root, Visit&& visit) {
  for (const auto& child : root->Nodes) WalkNodes(child.get(), visit);
}

}  // namespace instkit
