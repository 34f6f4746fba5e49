// The node tree (ownership, lookup, copies, flag setters), selection,
// install set and number lists of the catalogue.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Syslist/syslist.h"
#include "catalogue_test_support.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {
namespace {

using instkit::testing::AddSys;
using instkit::testing::AllChecks;
using instkit::testing::Shape;

TEST(SubsystemInfoTest, AssignCopiesDescriptionButNotStateFlags) {
  const TSubsystemInfo source{.SysIndex = 9,
                              .Parent = 7,
                              .AllCheck = true,
                              .Checked = true,
                              .IsInst = true,
                              .BackRef = "3",
                              .Archive = "a.arj",
                              .Depend = "1,2",
                              .FullName = "full",
                              .Library = "lib.so",
                              .Links = "x?menu",
                              .Parameter = "p",
                              .SaveName = "Sec",
                              .ShortName = "short"};

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

// 1(2(3),4) 5(6), every record unchecked as after reading a file.
class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TSysNode* s1 = AddSys(tree, 1);
    TSysNode* s2 = AddSys(*s1, 2);
    AddSys(*s2, 3);
    AddSys(*s1, 4);
    TSysNode* s5 = AddSys(tree, 5);
    AddSys(*s5, 6);
    tree.ClearChecked();
  }
  TSysNode* N(int32_t number) { return tree.GetNodeBySysIndex(number); }
  void Check(std::initializer_list<int32_t> numbers, bool checked) {
    for (int32_t n : numbers) N(n)->Info->Checked = checked;
  }

  TSysTree tree;
};

TEST_F(SelectionTest, GetChildTreeCopiesDescriptionsWithFreshFlags) {
  N(2)->Info->IsInst = true;
  N(2)->Info->BackRef = "1";
  N(2)->Info->Links = "l?menu";
  TSysTree dest;
  AddSys(dest, 99);  // copies are appended after what is there
  tree.GetChildTree(&dest);
  EXPECT_EQ(Shape(dest), "99 1(2(3),4) 5(6)");  // every copy checked
  EXPECT_EQ(AllChecks(dest), "99+ 1+ 2+ 3+ 4+ 5+ 6+ ");
  EXPECT_EQ(dest.Nodes[1]->ParentNode, &dest);
  const TSysNode& copy_2 = *dest.Nodes[1]->Nodes[0];
  EXPECT_NE(copy_2.Info.get(), N(2)->Info.get());
  EXPECT_EQ(copy_2.Info->Links, "l?menu");
  EXPECT_FALSE(copy_2.Info->IsInst);
  EXPECT_TRUE(copy_2.Info->BackRef.empty());
}

TEST_F(SelectionTest, FlagSettersTouchDescendantsOnly) {
  tree.SetChecked();
  tree.ClearChecked();
  EXPECT_EQ(Shape(tree) + " " + AllChecks(tree), "-1(-2(-3),-4) -5(-6) 1- 2- 3- 4- 5- 6- ");
  N(1)->SetChecked();  // not the node itself
  EXPECT_EQ(Shape(tree) + " " + AllChecks(tree), "-1(2(3),4) -5(-6) 1- 2+ 3+ 4+ 5- 6- ");
  N(3)->ClearChecked();  // a leaf: nothing below it
  EXPECT_TRUE(N(3)->Info->Checked);

  Check({2}, false);
  tree.SetIsInst();  // each record takes its own Checked, below unchecked ones too
  EXPECT_FALSE(N(1)->Info->IsInst);
  EXPECT_FALSE(N(2)->Info->IsInst);
  EXPECT_TRUE(N(3)->Info->IsInst);
}

TEST_F(SelectionTest, FillingTheViewTicksEverythingAndPointsAtTheRecords) {
  TTreeNodes items;
  ASSERT_TRUE(tree.SaveToTreeNodes(&items));
  EXPECT_EQ(items.GetCount(), 6);
  EXPECT_EQ(Shape(tree), "1(2(3),4) 5(6)");
  EXPECT_EQ(AllChecks(tree), "1+ 2+ 3+ 4+ 5+ 6+ ");
  // Items in catalogue order, with the records themselves as data.
  const TTreeNode* first = items.GetFirstNode();
  EXPECT_EQ(first->Text, "S1");
  EXPECT_EQ(first->Data, N(1)->Info.get());
  EXPECT_EQ(first->getFirstChild()->getFirstChild()->Data, N(3)->Info.get());
  EXPECT_EQ(first->getNextSibling()->getFirstChild()->Text, "S6");

  // Items already there stay.
  ASSERT_TRUE(tree.SaveToTreeNodes(&items));
  EXPECT_EQ(items.GetCount(), 12);
  EXPECT_FALSE(tree.SaveToTreeNodes(nullptr));
}

TEST_F(SelectionTest, ReadingTheViewBackDropsUncheckedItemsWithTheirSubtrees) {
  TTreeNodes items;
  ASSERT_TRUE(tree.SaveToTreeNodes(&items));
  N(1)->Info->FullName = "full";
  Check({2, 5}, false);  // 3 stays checked below unchecked 2
  TSysTree selected;
  AddSys(selected, 99);  // freed by the reading
  ASSERT_TRUE(selected.LoadFromTreeNodes(&items));
  EXPECT_EQ(Shape(selected), "1(4)");
  EXPECT_EQ(selected.GetNode(0)->Info->FullName, "full");
  EXPECT_EQ(selected.GetNode(0)->Info->ShortName, "S1");
  // Copies are fresh nodes: checked, whatever the source says.
  EXPECT_TRUE(selected.GetNode(0)->GetNode(0)->Info->AllCheck);
  EXPECT_NE(selected.GetNode(0)->Info.get(), N(1)->Info.get());

  items.AddChildObject(nullptr, "no record", nullptr);
  EXPECT_FALSE(selected.LoadFromTreeNodes(&items));
  EXPECT_EQ(Shape(selected), "1(4)");  // built before the failure
  EXPECT_FALSE(selected.LoadFromTreeNodes(nullptr));
}

TEST_F(SelectionTest, GetNotCheckedCopiesEachTopmostUncheckedSubtreeOnce) {
  tree.SetChecked();
  Check({1, 3, 6}, false);
  TSysTree dest;
  tree.GetNotChecked(&dest);
  // 1 is copied with all of its subtree (3 included, not again separately);
  // 6 sits below checked 5, so it becomes a child of dest itself.
  EXPECT_EQ(Shape(dest), "-1(2(3),4) -6");
  EXPECT_TRUE(dest.GetNode(0)->Info->AllCheck);
  EXPECT_EQ(dest.GetNode(0)->GetNode(0)->Info->ShortName, "S2");
}

// Merging and the install set as their description has them: recursive,
// each child found by a scan of the other node's children in order.
TSysNode* FirstWithNumber(const TCustomSysNode* parent, int32_t number) {
  if (parent == nullptr) return nullptr;
  for (const auto& child : parent->Nodes) {
    if (child->Info->SysIndex == number) return child.get();
  }
  return nullptr;
}
void ReferenceMerge(const TSysNode& source, TCustomSysNode* dest) {
  TSysNode* target = FirstWithNumber(dest, source.Info->SysIndex);
  if (target == nullptr) {
    target = AddSys(*dest, source.Info->SysIndex);
  } else if (!source.Info->Checked) {
    target->Info->Checked = false;
  }
  for (const auto& child : source.Nodes) ReferenceMerge(*child, target);
}
void ReferenceInstall(TSysNode& node, const TCustomSysNode* other) {
  const TSysNode* match = FirstWithNumber(other, node.Info->SysIndex);
  if (match == nullptr) node.Info->Checked = false;
  for (const auto& child : node.Nodes) ReferenceInstall(*child, match);
}
// A node's AllCheck: its Checked, cleared by any child whose AllCheck comes
// out false; every child is visited.
bool ReferenceAllCheck(TSysNode& node) {
  bool all = node.Info->Checked;
  for (const auto& child : node.Nodes) all = ReferenceAllCheck(*child) && all;
  return node.Info->AllCheck = all;
}
// The children `gone` picks are deleted before the walk goes below the rest.
void ReferenceDelete(TCustomSysNode& node, bool (*gone)(const TSubsystemInfo&), bool deeper) {
  for (int32_t i = node.Count - 1; i >= 0; --i) {
    if (gone(*node.Nodes[static_cast<size_t>(i)]->Info)) node.DeleteNode(i);
  }
  for (const auto& child : node.Nodes) {
    if (deeper) ReferenceDelete(*child, gone, true);
  }
}

// Wide levels (more children than a scan is kept for) three deep, with
// repeated numbers and random flags; the same seed builds the same tree.
void BuildWide(TSysTree& tree, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<TSysNode*> all;
  for (int i = 0; i < 60; ++i) {
    TSysNode* top = AddSys(tree, static_cast<int32_t>(random() % 40));
    all.push_back(top);
    for (int j = static_cast<int>(random() % 30); j > 0; --j) {
      TSysNode* child = AddSys(*top, static_cast<int32_t>(random() % 25));
      all.push_back(child);
      for (int k = static_cast<int>(random() % 4); k > 0; --k)
        all.push_back(AddSys(*child, static_cast<int32_t>(random() % 5)));
    }
  }
  for (TSysNode* node : all) node->Info->Checked = random() % 4 != 0;
}

TEST(SelectionWideTest, MergeInstallSetAndDeletionMatchAScanOfEveryChildList) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    TSysTree source, dest, expected_dest;
    BuildWide(source, seed);
    BuildWide(dest, seed + 1000);
    BuildWide(expected_dest, seed + 1000);
    source.AddToOtherTree(&dest);
    for (const auto& node : source.Nodes) ReferenceMerge(*node, &expected_dest);
    EXPECT_EQ(Shape(dest), Shape(expected_dest));

    TSysTree installed, expected_installed;
    BuildWide(installed, seed);
    BuildWide(expected_installed, seed);
    ASSERT_TRUE(installed.GetInstallTree(&expected_dest));
    for (const auto& node : expected_installed.Nodes) ReferenceInstall(*node, &expected_dest);
    for (const auto& node : expected_installed.Nodes) ReferenceAllCheck(*node);
    EXPECT_EQ(Shape(installed), Shape(expected_installed));
    EXPECT_EQ(AllChecks(installed), AllChecks(expected_installed));
    TSysTree empty;
    ASSERT_TRUE(installed.GetInstallTree(&empty));  // nothing installed: every record unchecked
    EXPECT_EQ(AllChecks(installed).find('+'), std::string::npos);
    EXPECT_FALSE(installed.GetInstallTree(nullptr));

    // Deleting unchecked children of the top or of every level, and subtrees
    // whose AllCheck holds.
    for (int mode = 0; mode < 3; ++mode) {
      TSysTree pruned, expected_pruned;
      BuildWide(pruned, seed);
      BuildWide(expected_pruned, seed);
      for (TSysTree* tree : {&pruned, &expected_pruned}) {
        for (const auto& node : tree->Nodes) ReferenceAllCheck(*node);
      }
      mode < 2 ? pruned.DeleteNotChecked(mode == 1) : pruned.DeleteAllCheckNode();
      const auto unchecked = +[](const TSubsystemInfo& i) { return !i.Checked; };
      ReferenceDelete(
          expected_pruned, mode < 2 ? unchecked : [](const TSubsystemInfo& i) { return i.AllCheck; }, mode != 0);
      EXPECT_EQ(Shape(pruned), Shape(expected_pruned)) << "mode " << mode;
    }
  }
}

TEST_F(SelectionTest, GetAllTreeCopiesThePathDownToANode) {
  TSysNode* s3 = N(3);
  AddSys(*s3, 7);
  TSysTree dest;
  TSysNode* copy = s3->GetAllTree(&dest, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Info->SysIndex, 3);
  EXPECT_EQ(Shape(dest), "1(2(3(7)))");  // 4 is not on the path
  EXPECT_EQ(copy->ParentNode, dest.GetNode(0)->GetNode(0));

  // With a node to hang below, that node replaces the subtree.
  auto sub = std::make_unique<TSysNode>();
  sub->Info->SysIndex = 42;
  N(5)->GetAllTree(&dest, sub.release());
  EXPECT_EQ(Shape(dest), "1(2(3(7))) 5(42)");
  EXPECT_EQ(N(5)->GetAllTree(nullptr, nullptr), nullptr);
}

TEST(NumberListTest, GetNextRef) {
  struct Case {
    const char* list;
    int32_t position;
    int32_t expected;
  };
  const Case cases[] = {
      {"4,7,12", 1, 4},  {"4,7,12", 2, 7},   {"4,7,12", 3, 12}, {"4,7,12", 4, -1},
      {"4,7,12", 0, -1}, {"4,7,12", -3, -1}, {"", 1, -1},       {"5", 1, 5},
      {"5", 2, -1},      {"5,x,7", 2, -1},   {"5,x,7", 3, 7},   {"5,,7", 2, -1},
      {"5,", 2, -1},     {" 5 , 6", 2, 6},   {"-3", 1, -3},     {"99999999999", 1, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(GetNextRef(c.list, c.position), c.expected) << c.list << " @" << c.position;
}

TEST(NumberListTest, AddRefKeepsTheNumbersNotYetListed) {
  struct Case {
    const char* a;
    const char* b;
    const char* expected;
  };
  const Case cases[] = {
      {"", "5", "5"},       {"", "", ""},        {"1,2", "2,3,3,1,4", "3,4"},  // repeats inside the second list once
      {"1,2", "1,2", ""},   {"1,x,2", "2", "2"},  // the first list is read up to its first bad item
      {"1", "2,x,3", "2"},                        // and so is the second
      {" 7 ", "7, 8", "8"},
  };
  for (const Case& c : cases) EXPECT_EQ(TCustomSysNode::AddRef(c.a, c.b), c.expected) << c.a << " + " << c.b;
}

TEST_F(SelectionTest, GetDepRefsGathersEveryBackReferenceOnce) {
  EXPECT_EQ(tree.GetDepRefs(), "");
  N(1)->Info->BackRef = "3,4";
  N(2)->Info->BackRef = "4,5";
  N(4)->Info->BackRef = "3";  // nothing new: no "," either
  N(6)->Info->BackRef = "6,1";
  EXPECT_EQ(tree.GetDepRefs(), "3,4,5,6,1");

  std::string text = "5";
  N(1)->GetDepRefs(text);
  EXPECT_EQ(text, "5,3,4");
}

}  // namespace
}  // namespace instkit
