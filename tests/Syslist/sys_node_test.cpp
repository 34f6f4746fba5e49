// The node tree: ownership, lookup, copies and the recursive flag setters.
#include <gtest/gtest.h>

#include "catalogue_test_support.h"

namespace instkit {
namespace {

using testing::AddSys;
using testing::AllChecks;
using testing::Shape;

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
  target.Assign(source);
  TSubsystemInfo expected = source;
  expected.AllCheck = expected.Checked = expected.IsInst = false;
  expected.BackRef = "keep";
  testing::ExpectSameInfo(target, expected, "assigned");

  target.Assign(static_cast<const TSubsystemInfo*>(nullptr));  // copies nothing
  EXPECT_EQ(target.SysIndex, 9);
}

TEST(SysNodeTest, AddDeleteAndIndexBounds) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* b = AddSys(tree, 2);
  TSysNode* c = AddSys(*b, 3);
  EXPECT_EQ(c->ParentNode, b);
  EXPECT_TRUE(a->IsTopLevel());
  EXPECT_FALSE(c->IsTopLevel());
  EXPECT_FALSE(TSysNode().IsTopLevel());  // detached
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
  EXPECT_EQ(Shape(dest), "99 1(2(3),4)");  // every copy checked
  EXPECT_EQ(AllChecks(dest), "99+ 1+ 2+ 3+ 4+ ");
  EXPECT_EQ(dest.Nodes[1]->ParentNode, &dest);
  const TSysNode& copy_b = *dest.Nodes[1]->Nodes[0];
  EXPECT_NE(copy_b.Info.get(), b->Info.get());
  EXPECT_EQ(copy_b.Info->Links, "l?menu");
  EXPECT_FALSE(copy_b.Info->IsInst);
  EXPECT_TRUE(copy_b.Info->BackRef.empty());
}

TEST(SysNodeTest, FlagSettersTouchDescendantsOnly) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  TSysNode* b = AddSys(*a, 2);
  TSysNode* c = AddSys(*b, 3);

  tree.ClearChecked();
  EXPECT_EQ(Shape(tree) + " " + AllChecks(tree), "-1(-2(-3)) 1- 2- 3- ");
  a->SetChecked();  // not the node itself
  EXPECT_EQ(Shape(tree) + " " + AllChecks(tree), "-1(2(3)) 1- 2+ 3+ ");
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
