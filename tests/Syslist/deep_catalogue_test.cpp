// Catalogues 200,000 levels deep and 200,000 subsystems wide (fewer with
// sanitizers: kLargeCatalogue) through every operation that walks them:
// reading and writing the file, lookups, copies and flag setters, the flat
// image both ways with the flags written back, the tree view and the
// selection view, the install set and the queries.  A recursive walk runs
// out of call stack here, and one that scans a child list per child never
// finishes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Syslist/archives.h"
#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "Viewlist/system_view.h"
#include "support/catalogue_generator.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using testing::TCatalogueShape;

constexpr int32_t kCount = testing::kLargeCatalogue;

// (number, depth) of every subsystem in pre-order, walked with a stack of
// the test's own.
using TOutline = std::vector<std::pair<int32_t, int32_t>>;
TOutline Outline(const TCustomSysNode& root) {
  TOutline out;
  std::vector<std::pair<const TSysNode*, int32_t>> stack;
  for (auto it = root.Nodes.rbegin(); it != root.Nodes.rend(); ++it) stack.emplace_back(it->get(), 0);
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    out.emplace_back(node->Info->SysIndex, depth);
    for (auto it = node->Nodes.rbegin(); it != node->Nodes.rend(); ++it) stack.emplace_back(it->get(), depth + 1);
  }
  return out;
}

// Numbers are 0 in a tree read from an image; only the depths are compared.
std::vector<int32_t> Depths(const TOutline& outline) {
  std::vector<int32_t> depths;
  for (const auto& entry : outline) depths.push_back(entry.second);
  return depths;
}

TOutline Expected(TCatalogueShape shape) {
  TOutline out;
  for (int32_t i = 1; i <= kCount; ++i) {
    const int32_t depth = shape == TCatalogueShape::kChain ? i - 1 : shape == TCatalogueShape::kWideNode && i > 1;
    out.emplace_back(i, depth);
  }
  return out;
}

class DeepCatalogueTest : public ::testing::TestWithParam<TCatalogueShape> {};

TEST_P(DeepCatalogueTest, EveryWalkHandlesIt) {
  const TCatalogueShape shape = GetParam();
  const TOutline outline = Expected(shape);
  const testing::TempDir dir;
  TIDFTextFile file;
  ASSERT_TRUE(file.LoadFromFile(dir.Write("catalogue.idf", testing::GenerateCatalogue(shape, kCount))));

  // Reading, lookups, writing, copies and flag setters.
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDFFile(&file));
  ASSERT_EQ(Outline(tree), outline);
  TSysNode* last = tree.GetNodeBySysIndex(kCount);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->Info->BackRef, std::to_string(kCount - 1));
  TIDFTextFile saved;
  ASSERT_TRUE(tree.SaveToIDFFile(&saved));
  TSysTree reread;
  ASSERT_TRUE(reread.LoadFromIDFFile(&saved));
  EXPECT_EQ(Outline(reread), outline);
  TSysTree copy;
  tree.GetChildTree(&copy);
  EXPECT_EQ(Outline(copy), outline);
  tree.SetChecked();
  tree.SetIsInst();
  tree.ClearChecked();
  EXPECT_TRUE(last->Info->IsInst);
  EXPECT_FALSE(last->Info->Checked);

  // The flat image of the whole tree, as the children of one record.  The
  // last subsystem goes out unchecked; reading the flags back clears
  // AllCheck on its way up.
  TSysNode holder;
  tree.GetChildTree(&holder);
  holder.GetNodeBySysIndex(kCount)->Info->Checked = false;
  std::vector<unsigned char> image(static_cast<size_t>(holder.GetSize()));
  ASSERT_EQ(holder.SaveToPointer(image.data(), image.size()), static_cast<int32_t>(image.size()));
  TSysNode node_back;
  EXPECT_EQ(node_back.LoadFromPointer(image.data(), image.size()), static_cast<int32_t>(image.size()));
  EXPECT_EQ(Depths(Outline(node_back)), Depths(outline));
  TSysTree tree_back;
  ASSERT_TRUE(tree_back.LoadFrompointer(image.data(), image.size()));
  EXPECT_EQ(Depths(Outline(tree_back)), Depths(outline));
  tree_back.SetSysInstaled(image.data(), image.size());
  EXPECT_FALSE(holder.SetSysInstaled(image.data(), image.size()));
  EXPECT_EQ(holder.Nodes[0]->Info->AllCheck, shape == TCatalogueShape::kWideTop);

  // The views.  Unticking the last subsystem unticks its dependents, which
  // are all the others; ticking the first ticks its subtree and what it
  // depends on, which is everything again.
  TTreeNodes items;
  ASSERT_TRUE(tree.SaveToTreeNodes(&items));
  ASSERT_EQ(items.GetCount(), kCount);
  TSystemView view(&items);
  EXPECT_EQ(view.ViewList->Count(), kCount);
  view.UnselectNode(items.Item(kCount - 1));
  TArchiveList archives;
  std::vector<std::string> names;
  tree.GetSystemName(names);
  EXPECT_EQ(names.size(), static_cast<size_t>(kCount));
  view.SelectNode(items.Item(0));
  names.clear();
  tree.GetSaveName(names, true);
  EXPECT_EQ(names.size(), static_cast<size_t>(kCount));
  tree.GetArhiveName(&archives);
  TSysTree selected;
  ASSERT_TRUE(selected.LoadFromTreeNodes(&items));
  EXPECT_EQ(Outline(selected), outline);

  // The install set against a selection that lacks the last subsystem.
  TSysNode* dropped = selected.GetNodeBySysIndex(kCount);
  dropped->ParentNode->DeleteNode(dropped->ParentNode->Count - 1);
  ASSERT_TRUE(tree.GetInstallTree(&selected));
  EXPECT_FALSE(last->Info->Checked);
  EXPECT_EQ(tree.Nodes[0]->Info->AllCheck, shape == TCatalogueShape::kWideTop);
  TSysTree missing;
  tree.GetNotChecked(&missing);
  EXPECT_EQ(Outline(missing), TOutline({{kCount, 0}}));
  TSysTree merged;
  tree.AddToOtherTree(&merged);
  tree.AddToOtherTree(&merged);
  EXPECT_EQ(Outline(merged), outline);
  EXPECT_EQ(GetNextRef(tree.GetDepRefs(), kCount - 1), kCount - 1);
  tree.DeleteNotChecked(true);
  EXPECT_EQ(tree.GetNodeBySysIndex(kCount), nullptr);
  tree.SetAllCheck();
  tree.DeleteAllCheckNode();
  EXPECT_EQ(tree.Count, 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DeepCatalogueTest,
                         ::testing::Values(TCatalogueShape::kChain, TCatalogueShape::kWideNode,
                                           TCatalogueShape::kWideTop),
                         [](const auto& info) {
                           std::string name = testing::ShapeName(info.param);
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace instkit
