// The one walk over trees: pre-order with an explicit stack, so that a tree
// as deep as it is large (a catalogue a million levels deep is ordinary
// input) needs heap memory in proportion to its depth and no call stack.
// Every walk over the catalogue's nodes, the tree-view items and the printers
// of the command line goes through it; Syslist/node_walk.h and
// Viewlist/tree_walk.h say how to find the children of their node types.
//
// Order: a node is entered, then its children in order, each with its whole
// subtree, then the node is left; exactly the order of a recursive walk
// ("visit, then recurse into each child").
//
// The caller supplies
//   children_of(node)  the node's children as a range: a reference to the
//                      node's own container, or a small view whose iterators
//                      do not point into the view itself.  Elements are node
//                      pointers or owning pointers (std::unique_ptr).  It is
//                      asked after enter(node) has returned, so enter may
//                      change the node's own child list (delete children,
//                      say); during the node's subtree nobody may change it.
//   enter(node)        returns what to do next: TWalkStep, or a bool (true:
//                      descend, false: skip the children), or nothing
//                      (descend).
//   leave(node)        optional; called after the children of every node
//                      whose enter asked to descend (leaves included), not
//                      for a skipped node.
// A kStop from enter ends the walk at once: no further enter or leave, not
// even for the ancestors of the node.  An exception from a callback ends the
// walk the same way and reaches the caller.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace instkit {

enum class TWalkStep : uint8_t {
  kDescend,       // go on with the node's children
  kSkipChildren,  // go on with the node's next sibling
  kStop,          // end the walk
};

namespace tree_walk_internal {

template <typename T>
T* AsNode(T* node) {
  return node;
}
template <typename T>
T* AsNode(const std::unique_ptr<T>& node) {
  return node.get();
}

template <typename EnterFn, typename Node>
TWalkStep EnterNode(EnterFn& enter, Node node) {
  using Result = decltype(enter(node));
  if constexpr (std::is_void_v<Result>) {
    enter(node);
    return TWalkStep::kDescend;
  } else if constexpr (std::is_same_v<Result, bool>) {
    return enter(node) ? TWalkStep::kDescend : TWalkStep::kSkipChildren;
  } else {
    return enter(node);
  }
}

struct TNoLeave {
  template <typename Node>
  void operator()(Node) const {}
};

// The walk below `root`; `root` itself is entered and left when kVisitRoot.
template <bool kVisitRoot, typename Root, typename ChildrenOf, typename EnterFn, typename LeaveFn>
bool Walk(Root root, ChildrenOf& children_of, EnterFn& enter, LeaveFn& leave) {
  using Iterator = decltype(std::begin(children_of(root)));
  using Node = decltype(AsNode(*std::declval<Iterator>()));
  struct Frame {
    Node node;  // null for a root that is not visited
    Iterator next;
    Iterator end;
  };
  Node root_node{};
  if constexpr (kVisitRoot) {
    static_assert(std::is_convertible_v<Root, Node>, "the start of a walk must be a node like its children");
    root_node = root;
    const TWalkStep step = EnterNode(enter, root_node);
    if (step == TWalkStep::kStop) return false;
    if (step == TWalkStep::kSkipChildren) return true;
  }
  std::vector<Frame> stack;
  {
    auto&& children = children_of(root);
    stack.push_back(Frame{root_node, std::begin(children), std::end(children)});
  }
  while (!stack.empty()) {
    // The children of the top frame, one after the other, until one is to
    // be descended into (then its frame goes on top) or none is left.
    Frame& top = stack.back();
    bool descended = false;
    while (top.next != top.end) {
      const Node child = AsNode(*top.next);
      ++top.next;
      const TWalkStep step = EnterNode(enter, child);
      if (step == TWalkStep::kStop) return false;
      if (step == TWalkStep::kSkipChildren) continue;
      auto&& children = children_of(child);
      auto first = std::begin(children);
      auto last = std::end(children);
      if (first == last) {
        leave(child);  // a leaf: done without a frame
        continue;
      }
      stack.push_back(Frame{child, first, last});  // `top` is not used after this
      descended = true;
      break;
    }
    if (descended) continue;
    const Node done = top.node;
    stack.pop_back();
    if (done != nullptr) leave(done);
  }
  return true;
}

}  // namespace tree_walk_internal

using TNoLeave = tree_walk_internal::TNoLeave;

// Walks `start` and everything below it.  False when enter stopped the walk.
template <typename Node, typename ChildrenOf, typename EnterFn, typename LeaveFn = TNoLeave>
bool WalkTree(Node start, ChildrenOf&& children_of, EnterFn&& enter, LeaveFn&& leave = {}) {
  return tree_walk_internal::Walk<true>(start, children_of, enter, leave);
}

// Walks everything below `root`, which is neither entered nor left (a
// catalogue's root, an item list).  False when enter stopped the walk.
template <typename Root, typename ChildrenOf, typename EnterFn, typename LeaveFn = TNoLeave>
bool WalkBelow(Root root, ChildrenOf&& children_of, EnterFn&& enter, LeaveFn&& leave = {}) {
  return tree_walk_internal::Walk<false>(root, children_of, enter, leave);
}

}  // namespace instkit
