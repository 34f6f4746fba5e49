#include "Viewlist/tree_nodes.h"

#include <gtest/gtest.h>

#include "host/base/exception.h"

namespace instkit {
namespace {

TEST(TreeNodesTest, ChildrenKeepOrderAndLinks) {
  TTreeNodes nodes;
  int data = 0;
  TTreeNode* a = nodes.AddChildObject(nullptr, "a", &data);
  TTreeNode* b = nodes.AddChildObject(nullptr, "b", nullptr);
  TTreeNode* a1 = nodes.AddChildObject(a, "a1", nullptr);
  TTreeNode* a2 = nodes.AddChildObject(a, "a2", nullptr);
  TTreeNode* a11 = nodes.AddChildObject(a1, "a11", nullptr);

  EXPECT_EQ(nodes.GetCount(), 5);
  EXPECT_EQ(nodes.GetFirstNode(), a);
  EXPECT_EQ(a->getNextSibling(), b);
  EXPECT_EQ(b->getNextSibling(), nullptr);
  EXPECT_EQ(a->getFirstChild(), a1);
  EXPECT_EQ(a->GetNextChild(a1), a2);
  EXPECT_EQ(a->GetNextChild(a2), nullptr);
  EXPECT_EQ(a->ChildCount(), 2);
  EXPECT_EQ(a11->Parent(), a1);
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(a->Data, &data);
  EXPECT_EQ(a11->Owner(), &nodes);
  // Asking a parent for the child after an item that is not its child.
  EXPECT_EQ(b->GetNextChild(a1), nullptr);
  EXPECT_EQ(a->GetNextChild(nullptr), nullptr);
}

TEST(TreeNodesTest, HandlesFindItemsAndNeverComeBack) {
  TTreeNodes nodes;
  TTreeNode* a = nodes.AddChildObject(nullptr, "a", nullptr);
  TTreeNode* b = nodes.AddChildObject(a, "b", nullptr);
  EXPECT_GT(a->ItemId(), 0);
  EXPECT_NE(a->ItemId(), b->ItemId());
  EXPECT_EQ(nodes.GetNode(a->ItemId()), a);
  EXPECT_EQ(nodes.GetNode(b->ItemId()), b);
  EXPECT_EQ(nodes.GetNode(kNoItem), nullptr);
  EXPECT_EQ(nodes.GetNode(0), nullptr);
  EXPECT_EQ(nodes.GetNode(b->ItemId() + 1), nullptr);

  const TItemHandle old_a = a->ItemId();
  const TItemHandle old_b = b->ItemId();
  nodes.Clear();
  EXPECT_EQ(nodes.GetCount(), 0);
  EXPECT_EQ(nodes.GetFirstNode(), nullptr);
  TTreeNode* c = nodes.AddChildObject(nullptr, "c", nullptr);
  // A handle from before Clear must not find the new item.
  EXPECT_EQ(nodes.GetNode(old_a), nullptr);
  EXPECT_EQ(nodes.GetNode(old_b), nullptr);
  EXPECT_EQ(nodes.GetNode(c->ItemId()), c);
  EXPECT_EQ(nodes.Item(0), c);
  EXPECT_EQ(nodes.Item(1), nullptr);
}

TEST(TreeNodesTest, ForeignParentsAreRefused) {
  TTreeNodes nodes;
  TTreeNodes other;
  TTreeNode* foreign = other.AddChildObject(nullptr, "x", nullptr);
  EXPECT_THROW(nodes.AddChildObject(foreign, "y", nullptr), Exception);
  EXPECT_EQ(nodes.GetCount(), 0);
}

}  // namespace
}  // namespace instkit
