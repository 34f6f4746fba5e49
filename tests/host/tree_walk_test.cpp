// The one tree walk against a recursive walk, on generated trees: the same
// enter and leave events in the same order, with children skipped and the
// walk stopped where the visitor says, from a node or from below a root.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/base/tree_walk.h"

namespace instkit {
namespace {

struct TNode {
  int value = 0;
  std::vector<std::unique_ptr<TNode>> children;
};

// A random tree of about `count` nodes, some of them deep chains.
std::unique_ptr<TNode> Generate(std::mt19937& random, int count) {
  auto root = std::make_unique<TNode>();
  std::vector<TNode*> nodes{root.get()};
  for (int i = 1; i < count; ++i) {
    TNode* parent = random() % 4 == 0 ? nodes.back() : nodes[random() % nodes.size()];
    parent->children.push_back(std::make_unique<TNode>());
    parent->children.back()->value = i;
    nodes.push_back(parent->children.back().get());
  }
  return root;
}

// What the visitor asks for a node: nodes divisible by `skip` are not
// descended into, the node `stop` ends the walk.
TWalkStep Decide(const TNode* node, int skip, int stop) {
  if (node->value == stop) return TWalkStep::kStop;
  return node->value % skip == 0 ? TWalkStep::kSkipChildren : TWalkStep::kDescend;
}

// The reference: "+v" on entering, "-v" on leaving, recursively.
bool Recursive(const TNode* node, int skip, int stop, std::string& log) {
  log += "+" + std::to_string(node->value);
  const TWalkStep step = Decide(node, skip, stop);
  if (step == TWalkStep::kStop) return false;
  if (step == TWalkStep::kSkipChildren) return true;
  for (const auto& child : node->children) {
    if (!Recursive(child.get(), skip, stop, log)) return false;
  }
  log += "-" + std::to_string(node->value);
  return true;
}

TEST(TreeWalkTest, MatchesARecursiveWalkOnGeneratedTrees) {
  std::mt19937 random(12345);
  auto children_of = [](const TNode* node) -> const auto& { return node->children; };
  for (int round = 0; round < 200; ++round) {
    const auto root = Generate(random, 1 + static_cast<int>(random() % 60));
    const int skip = 2 + static_cast<int>(random() % 6);
    const int stop = round % 3 == 0 ? -1 : static_cast<int>(random() % 60);
    SCOPED_TRACE("round " + std::to_string(round));

    std::string expected, walked;
    const auto enter = [&](TNode* node) {
      walked += "+" + std::to_string(node->value);
      return Decide(node, skip, stop);
    };
    const auto leave = [&](TNode* node) { walked += "-" + std::to_string(node->value); };
    const bool expected_done = Recursive(root.get(), skip, stop, expected);
    EXPECT_EQ(WalkTree(root.get(), children_of, enter, leave), expected_done);
    EXPECT_EQ(walked, expected);

    // Below the root: the root's own events are not there, the rest are.
    expected.clear();
    walked.clear();
    bool below_done = true;
    for (const auto& child : root->children) {
      if (!(below_done = Recursive(child.get(), skip, stop, expected))) break;
    }
    EXPECT_EQ(WalkBelow(root.get(), children_of, enter, leave), below_done);
    EXPECT_EQ(walked, expected);
  }
}

TEST(TreeWalkTest, AMillionLevelsNeedNoCallStack) {
  auto root = std::make_unique<TNode>();
  TNode* at = root.get();
  for (int i = 1; i < 1000000; ++i) {
    at->children.push_back(std::make_unique<TNode>());
    at = at->children.back().get();
    at->value = i;
  }
  int entered = 0, left = 0;
  WalkTree(
      root.get(), [](const TNode* node) -> const auto& { return node->children; }, [&](TNode*) { ++entered; },
      [&](TNode*) { ++left; });
  EXPECT_EQ(entered, 1000000);
  EXPECT_EQ(left, 1000000);
  // Freed without recursion, deepest first.
  while (!root->children.empty()) {
    std::unique_ptr<TNode> child = std::move(root->children.front());
    root->children = std::move(child->children);
  }
}

}  // namespace
}  // namespace instkit
