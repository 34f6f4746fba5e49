// Form-manager trees: dotted paths, value kinds and their conversions.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "host/forms/branch_stream_format.h"
#include "host/forms/dsp_node.h"
#include "host/forms/form_manager.h"

namespace instkit {
namespace {

std::string Repeat(const std::string& name, int count) {
  std::string path;
  for (int i = 0; i < count; ++i) path += (i ? "." : "") + name;
  return path;
}

TEST(FormManagerPathTest, InvalidPathsFindNothingAndCannotBeCreated) {
  TDSPManager manager;
  manager.CreateSection("a.b");
  for (const std::string& path :
       std::initializer_list<std::string>{"", ".", "a.", ".a", "a..b", "a.b.", Repeat("n", kMaxBranchDepth + 1)}) {
    EXPECT_EQ(manager.FindSection(path), nullptr) << path;
    EXPECT_THROW(manager.CreateSection(path), EDSPError) << path;
    EXPECT_THROW(manager.SetBinaryParam(path, "x"), EDSPError) << path;
  }
  // Nothing was added by the refused paths.
  EXPECT_EQ(manager.Root()->GetCount(), 1);
  EXPECT_NE(manager.CreateSection(Repeat("n", kMaxBranchDepth)), nullptr);
}

TEST(FormManagerPathTest, CreateMakesMissingNodesOnceAndFindWalksThem) {
  TDSPManager manager;
  TDSPNode* width = manager.CreateSection("Window.Size.Width");
  ASSERT_NE(width, nullptr);
  EXPECT_EQ(width->GetName(), "Width");
  EXPECT_EQ(manager.CreateSection("Window.Size.Width"), width);
  TDSPNode* height = manager.CreateSection("Window.Size.Height");
  EXPECT_EQ(height->GetParent(), width->GetParent());
  EXPECT_EQ(manager.Root()->GetCount(), 1);
  EXPECT_EQ(manager.FindSection("Window.Size")->GetCount(), 2);
  EXPECT_EQ(manager.FindSection("Window.Size.Width"), width);
  EXPECT_EQ(manager.FindSection("Window"), manager.Root()->GetNodes(0));
  // Names match byte for byte: letter case matters.
  EXPECT_EQ(manager.FindSection("window.size.width"), nullptr);
  EXPECT_EQ(manager.FindSection("Window.Size.Depth"), nullptr);
}

TEST(FormManagerPathTest, FirstChildOfANameWins) {
  TDSPManager manager;
  TDSPNode* first = manager.Root()->AddChild("x");
  manager.Root()->AddChild("x");
  EXPECT_EQ(manager.FindSection("x"), first);
  EXPECT_EQ(manager.CreateSection("x"), first);
}

TEST(FormManagerPathTest, SetBinaryParamCreatesABinaryLeaf) {
  TDSPManager manager;
  manager.CreateSection("a.b")->SetAsInteger(3);
  const std::string bytes("\0\xFF z", 4);
  manager.SetBinaryParam("a.b", bytes);
  manager.SetBinaryParam("c", "");
  EXPECT_EQ(manager.FindSection("a.b")->GetValueKind(), dvkBinary);
  EXPECT_EQ(manager.FindSection("a.b")->GetAsString(), bytes);
  EXPECT_EQ(manager.FindSection("c")->GetValueKind(), dvkBinary);
}

}  // namespace
}  // namespace instkit
