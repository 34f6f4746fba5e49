// The node tree: ownership, lookup, copies and the recursive flag setters.
#include <gtest/gtest.h>

#include "catalogue_test_support.h"

namespace instkit {
namespace {

using testing::AddSys;

TEST(SubsystemInfoTest, NewRecordIsZero) {
  TSubsystemInfo info;
  EXPECT_FALSE(info.AllCheck);
  EXPECT_FALSE(info.Checked);
  EXPECT_FALSE(info.IsInst);
  EXPECT_EQ(info.SysIndex, 0);
  EXPECT_EQ(info.Parent, 0);
  EXPECT_TRUE(info.ShortName.empty());
}

TEST(SubsystemInfoTest, AssignCopiesDescriptionButNotStateFlags) {
  TSubsystemInfo source;
  source.Archive = "a.arj";
  source.Depend = "1,2";
  source.FullName = "full";
  source.Library = "lib.so";
  source.Parameter = "p";
  source.Parent = 7;
  source.SaveName = "Sec";
  source.ShortName = "short";
  source.SysIndex = 9;
  source.Links = "x?menu";
  source.AllCheck = true;
  source.Checked = true;
  source.IsInst = true;
  source.BackRef = "3";

  TSubsystemInfo target;
  target.BackRef = "keep";
  target.IsInst = false;
  target.Assign(source);
  EXPECT_EQ(target.Archive, "a.arj");
  EXPECT_EQ(target.Depend, "1,2");
  EXPECT_EQ(target.FullName, "full");
  EXPECT_EQ(target.Library, "lib.so");
  EXPECT_EQ(target.Parameter, "p");
  EXPECT_EQ(target.Parent, 7);
  EXPECT_EQ(target.SaveName, "Sec");
  EXPECT_EQ(target.ShortName, "short");
  EXPECT_EQ(target.SysIndex, 9);
  EXPECT_EQ(target.Links, "x?menu");
  EXPECT_FALSE(target.AllCheck);
  EXPECT_FALSE(target.Checked);
  EXPECT_FALSE(target.IsInst);
  EXPECT_EQ(target.BackRef, "keep");

  target.Assign(static_cast<const TSubsystemInfo*>(nullptr));  // copies nothing
  EXPECT_EQ(target.SysIndex, 9);
}

TEST(SysNodeTest, NewNodeIsCheckedAndDetached) {
  TSysNode node;
  ASSERT_NE(node.Info, nullptr);
  EXPECT_TRUE(node.Info->Checked);
  EXPECT_TRUE(node.Info->AllCheck);
  EXPECT_FALSE(node.Info->IsInst);
  EXPECT_EQ(node.Count, 0);
  EXPECT_EQ(node.ParentNode, nullptr);
  EXPECT_FALSE(node.IsTopLevel());
}

TEST(SysNodeTest, AddDeleteAndIndexBounds) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* b = AddSys(tree, 2);
  TSysNode* c = AddSys(*b, 3);
  EXPECT_EQ(tree.Count, 2);
  EXPECT_EQ(a->ParentNode, &tree);
  EXPECT_EQ(c->ParentNode, b);
  EXPECT_TRUE(a->IsTopLevel());
  EXPECT_FALSE(c->IsTopLevel());
  EXPECT_EQ(tree.GetNode(0), a);
  EXPECT_EQ(tree.GetNode(-1), nullptr);
  EXPECT_EQ(tree.GetNode(tree.Count), nullptr);
  EXPECT_EQ(tree.AddNode(static_cast<TSysNode*>(nullptr)), nullptr);
  EXPECT_EQ(tree.Count, 2);

  for (int32_t bad : {-1, 2, 100}) {
    tree.DeleteNode(bad);
    EXPECT_EQ(tree.Count, 2) << bad;
  }
  tree.DeleteNode(0);
  EXPECT_EQ(tree.Count, 1);
  EXPECT_EQ(tree.GetNode(0), b);
  EXPECT_EQ(tree.Count, static_cast<int32_t>(tree.Nodes.size()));

  tree.ClearNodes();
  EXPECT_EQ(tree.Count, 0);
  tree.ClearNodes();  // nothing left: no effect
  EXPECT_EQ(tree.Count, 0);
}

TEST(SysNodeTest, FreeingAVeryDeepTreeDoesNotRecurse) {
  auto tree = std::make_unique<TSysTree>();
  TCustomSysNode* at = tree.get();
  for (int i = 0; i < 200000; ++i) at = AddSys(*at, i + 1);
  tree.reset();  // would overflow the stack if freed recursively
  SUCCEED();
}

TEST(SysNodeTest, GetNodeBySysIndexIsPreOrderAndSkipsSelf) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* a_child = AddSys(*a, 5);
  TSysNode* b = AddSys(tree, 5);  // same number later in pre-order
  AddSys(*b, 6);
  EXPECT_EQ(tree.GetNodeBySysIndex(5), a_child);
  EXPECT_EQ(tree.GetNodeBySysIndex(6)->ParentNode, b);
  EXPECT_EQ(tree.GetNodeBySysIndex(42), nullptr);
  EXPECT_EQ(a->GetNodeBySysIndex(1), nullptr);  // the node itself is not compared
}

TEST(SysNodeTest, GetChildTreeCopiesDescriptionsWithFreshFlags) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* b = AddSys(*a, 2);
  AddSys(*b, 3);
  AddSys(*a, 4);
  a->Info->Checked = b->Info->Checked = false;
  b->Info->AllCheck = false;
  b->Info->IsInst = true;
  b->Info->BackRef = "1";
  b->Info->Links = "l?menu";

  TSysTree dest;
  AddSys(dest, 99);  // copies are appended after what is there
  tree.GetChildTree(&dest);
  ASSERT_EQ(dest.Count, 2);
  const TSysNode& copy_a = *dest.Nodes[1];
  EXPECT_EQ(copy_a.Info->SysIndex, 1);
  EXPECT_EQ(copy_a.ParentNode, &dest);
  ASSERT_EQ(copy_a.Count, 2);
  const TSysNode& copy_b = *copy_a.Nodes[0];
  EXPECT_NE(copy_b.Info.get(), b->Info.get());
  EXPECT_EQ(copy_b.Info->SysIndex, 2);
  EXPECT_EQ(copy_b.Info->Links, "l?menu");
  EXPECT_TRUE(copy_b.Info->Checked);
  EXPECT_TRUE(copy_b.Info->AllCheck);
  EXPECT_FALSE(copy_b.Info->IsInst);
  EXPECT_TRUE(copy_b.Info->BackRef.empty());
  EXPECT_EQ(copy_b.Nodes[0]->Info->SysIndex, 3);
  EXPECT_EQ(copy_a.Nodes[1]->Info->SysIndex, 4);
}

TEST(SysNodeTest, FlagSettersTouchDescendantsOnly) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* b = AddSys(*a, 2);
  TSysNode* c = AddSys(*b, 3);

  tree.ClearChecked();
  for (TSysNode* n : {a, b, c}) {
    EXPECT_FALSE(n->Info->Checked);
    EXPECT_FALSE(n->Info->AllCheck);
  }
  a->SetChecked();
  EXPECT_FALSE(a->Info->Checked);  // not the node itself
  EXPECT_TRUE(b->Info->Checked && b->Info->AllCheck && c->Info->Checked && c->Info->AllCheck);

  c->ClearChecked();  // a leaf: nothing below it
  EXPECT_TRUE(c->Info->Checked);

  b->Info->Checked = false;
  tree.SetIsInst();
  EXPECT_FALSE(a->Info->IsInst);
  EXPECT_FALSE(b->Info->IsInst);
  EXPECT_TRUE(c->Info->IsInst);
}

}  // namespace
}  // namespace instkit
