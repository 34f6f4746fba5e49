// The flat tree image: exact bytes, readers (trusting and size-checked),
// child lookup and the exchange of flags.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "catalogue_test_support.h"
#include "host/base/coding.h"

namespace instkit {
namespace {

using testing::AddSys;
using testing::AllChecks;
using testing::Shape;
using testing::TMessageBoxRecorder;
using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i)));
}
void PutStr(Bytes& b, const std::string& s) {
  Put32(b, static_cast<int32_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}
// A record built by hand, independent of the writer.
Bytes Record(bool checked, bool inst, const std::string& lib, const std::string& par, const std::string& name,
             const std::vector<Bytes>& children, int32_t child_count = -1) {
  Bytes body;
  body.push_back(checked);
  body.push_back(inst);
  PutStr(body, lib);
  PutStr(body, par);
  PutStr(body, name);
  const int32_t data_size = static_cast<int32_t>(body.size());
  Put32(body, child_count >= 0 ? child_count : static_cast<int32_t>(children.size()));
  for (const Bytes& c : children) body.insert(body.end(), c.begin(), c.end());
  Bytes rec;
  Put32(rec, static_cast<int32_t>(body.size()) + 4);
  Put32(rec, data_size);
  rec.insert(rec.end(), body.begin(), body.end());
  return rec;
}

Bytes Save(const TSysNode& node) {
  Bytes b(static_cast<size_t>(node.GetSize()), 0xEE);
  EXPECT_EQ(node.SaveToPointer(b.data()), static_cast<int32_t>(b.size()));
  return b;
}

TEST(FlatImageTest, EmptyLeafIs26Bytes) {
  TSysNode node;
  node.Info->Checked = false;
  node.Info->IsInst = true;
  EXPECT_EQ(node.GetDataSize(), 14);
  EXPECT_EQ(node.GetSize(), 26);
  const Bytes expected = {22, 0, 0, 0, 14, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Save(node), expected);
}

TEST(FlatImageTest, NodeWithChildMatchesHandBuiltRecord) {
  TSysNode node;
  node.Info->Library = "a.dll";
  node.Info->ShortName = "X";
  node.Info->SysIndex = 5;  // not in the image
  node.Info->FullName = "not in the image";
  TSysNode* child = node.AddNode(std::make_unique<TSysNode>());
  child->Info->Library = "b.dll";
  child->Info->ShortName = "Y";
  child->Info->Checked = false;
  EXPECT_EQ(node.GetDataSize(), 20);
  EXPECT_EQ(node.GetSize(), 64);
  const Bytes expected = Record(true, false, "a.dll", "", "X", {Record(false, false, "b.dll", "", "Y", {})});
  EXPECT_EQ(Save(node), expected);

  // Unaligned: the same bytes at an odd address.
  Bytes shifted(65);
  EXPECT_EQ(node.SaveToPointer(shifted.data() + 1), 64);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), shifted.begin() + 1));
  // Sized writer: refuses a block one byte short, writing nothing.
  Bytes small(63, 0xAB);
  EXPECT_EQ(node.SaveToPointer(small.data(), small.size()), 0);
  EXPECT_EQ(small, Bytes(63, 0xAB));
  EXPECT_EQ(node.SaveToPointer(nullptr), 0);
}

TEST(FlatImageTest, LoadFromPointerRebuildsImageFieldsOnly) {
  const Bytes image = Record(false, true, "lib", "par", "Name",
                             {Record(false, false, "c1", "", "C1", {Record(true, true, "", "", "G", {})}),
                              Record(true, false, "", "", "C2", {})});
  for (bool sized : {false, true}) {
    SCOPED_TRACE(sized);
    TSysNode node;
    node.Info->SysIndex = 9;
    node.Info->AllCheck = false;
    AddSys(node, 100);  // replaced
    const int32_t size = sized ? node.LoadFromPointer(image.data(), image.size()) : node.LoadFromPointer(image.data());
    EXPECT_EQ(size, static_cast<int32_t>(image.size()));
    // The writer matches hand-built records (above), so the same bytes back
    // means every image field and the shape were read.
    EXPECT_EQ(Save(node), image);
    // Fields outside the image: the node keeps its own, children get fresh ones.
    EXPECT_EQ(node.Info->SysIndex, 9);
    EXPECT_FALSE(node.Info->AllCheck);
    ASSERT_EQ(node.Count, 2);
    EXPECT_TRUE(node.Nodes[0]->Info->AllCheck);
    EXPECT_EQ(node.Nodes[0]->Info->SysIndex, 0);
  }
}

TEST(FlatImageTest, SizeCheckedReadersRejectMalformedImages) {
  // Root "lib"/""/"N" (DataSize 18) with one child "C": 30 + 27 = 57 bytes.
  const Bytes good = Record(true, false, "lib", "", "N", {Record(true, false, "", "", "C", {})});
  ASSERT_EQ(good.size(), 57u);
  struct Case {
    std::string name;
    Bytes image;
    int32_t node_result;  // LoadFromPointer
    bool tree_result;     // LoadFrompointer (reads only the root's words and children)
  };
  std::vector<Case> cases;
  for (size_t cut : {0u, 3u, 4u, 9u, 12u, 29u, 30u, 56u}) {
    cases.push_back(
        {"cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + static_cast<long>(cut)), 0, false});
  }
  // One word of the good image overwritten.
  const struct {
    const char* name;
    size_t offset;
    uint32_t word;
    int32_t node_result;
    bool tree_result;
  } patches[] = {
      {"string past end", 10, 1000, 0, true},  // the Library length
      {"negative string length", 10, static_cast<uint32_t>(-2), 0, true},
      {"child count that cannot fit", 26, 0x7FFFFFFF, 0, false},
      {"second child missing", 26, 2, 0, false},
      {"child DataSize is not read", 30 + 4, 3, 57, true},
      {"root DataSize past the end", 4, 1000, 57, false},  // the tree reader uses it
  };
  for (const auto& p : patches) {
    cases.push_back({p.name, good, p.node_result, p.tree_result});
    EncodeFixed32(cases.back().image.data() + p.offset, p.word);
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSysNode node;
    EXPECT_EQ(node.LoadFromPointer(c.image.data(), c.image.size()), c.node_result);
    TSysTree tree;
    EXPECT_EQ(tree.LoadFrompointer(c.image.data(), c.image.size()), c.tree_result);
    TMessageBoxRecorder boxes;  // a walk that runs off the block shows one box at most
    TCustomSysNode::GetPointer(0, c.image.data(), c.image.size());
    EXPECT_LE(boxes.shown.size(), 1u);
  }
}

TEST(FlatImageTest, NegativeLengthFailsEvenWithoutASize) {
  Bytes image = Record(true, false, "lib", "", "N", {});
  EncodeFixed32(image.data() + 10, static_cast<uint32_t>(-1));
  EXPECT_EQ(TSysNode().LoadFromPointer(image.data()), 0);
}

TEST(FlatImageTest, NegativeChildCountReadsAsNoChildren) {
  const Bytes image = Record(true, false, "", "", "", {}, -5);
  TSysNode node;
  AddSys(node, 1);
  EXPECT_EQ(node.LoadFromPointer(image.data(), image.size()), 26);
  EXPECT_EQ(node.Count, 0);
}

TEST(FlatImageTest, TreeReaderTakesRootChildrenAndTreeFlag) {
  const Bytes image = Record(true, true, "root", "", "R",
                             {Record(false, false, "", "", "A", {}), Record(true, false, "", "", "B", {})});
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFrompointer(image.data(), image.size()));
  ASSERT_EQ(tree.Count, 2);
  EXPECT_EQ(tree.Nodes[0]->Info->ShortName, "A");
  EXPECT_EQ(tree.Nodes[1]->ParentNode, &tree);
  EXPECT_EQ(tree.TreeFlag, 0);  // second byte of a ChildCount of 2

  const Bytes many = Record(true, false, "", "", "", std::vector(0x0300, Record(false, false, "", "", "", {})));
  ASSERT_TRUE(tree.LoadFrompointer(many.data()));
  EXPECT_EQ(tree.TreeFlag, 3);
  EXPECT_EQ(tree.Count, 768);

  const Bytes empty = Record(true, false, "", "", "", {});
  ASSERT_TRUE(tree.LoadFrompointer(empty.data(), empty.size()));
  EXPECT_EQ(tree.Count, 0);
  EXPECT_FALSE(tree.LoadFrompointer(nullptr));

  // Second child broken: the first stays, the result is false.
  Bytes broken = image;
  broken.resize(broken.size() - 3);
  EXPECT_FALSE(tree.LoadFrompointer(broken.data(), broken.size()));
  EXPECT_EQ(tree.Count, 1);
}

TEST(FlatImageTest, GetPointerFindsChildRecords) {
  const Bytes c0 = Record(false, false, "l0", "", "A", {Record(true, false, "", "", "A1", {})});
  const Bytes c1 = Record(true, false, "", "", "B", {});
  const Bytes image = Record(true, false, "", "", "", {c0, c1});
  TMessageBoxRecorder boxes;
  const auto* base = image.data();
  EXPECT_EQ(TCustomSysNode::GetPointer(0, base), base + 26);
  EXPECT_EQ(TCustomSysNode::GetPointer(1, base, image.size()), base + 26 + c0.size());
  for (int32_t index : {-1, 2}) EXPECT_EQ(TCustomSysNode::GetPointer(index, base), nullptr);
  EXPECT_EQ(TCustomSysNode::GetPointer(0, nullptr), nullptr);
  EXPECT_TRUE(boxes.shown.empty());

  // A walk that runs off the block shows the message box once per call.
  EXPECT_EQ(TCustomSysNode::GetPointer(1, base, 30), nullptr);
  Bytes bad = image;
  EncodeFixed32(bad.data() + 26, static_cast<uint32_t>(-100));  // first child's RestSize
  EXPECT_EQ(TCustomSysNode::GetPointer(1, bad.data()), nullptr);
  const testing::TShownBox box{Utf8ToCp1251("Ошибка получения указателя"), Utf8ToCp1251("Ошибка"), kStylePlain};
  EXPECT_EQ(boxes.shown, std::vector({box, box}));
}

TEST(FlatImageTest, TreeSaveToPointerAndGetSizeByIndex) {
  TSysTree tree;
  AddSys(tree, 1, "A");
  AddSys(*AddSys(tree, 2, "BB"), 3, "C");
  EXPECT_EQ(tree.GetSize(0), 27);
  EXPECT_EQ(tree.GetSize(1), 28 + 27);
  EXPECT_EQ(tree.GetSize(-1), 0);
  EXPECT_EQ(tree.GetSize(2), 0);
  Bytes block(static_cast<size_t>(tree.GetSize(1)), 0);
  EXPECT_TRUE(tree.SaveToPointer(block.data(), 1));
  EXPECT_EQ(block, Save(*tree.Nodes[1]));
  Bytes untouched(4, 7);
  for (int32_t index : {-1, 2}) {
    EXPECT_TRUE(tree.SaveToPointer(untouched.data(), index));
    EXPECT_TRUE(tree.SaveToPointer(untouched.data(), untouched.size(), index));
  }
  EXPECT_EQ(untouched, Bytes(4, 7));
  EXPECT_FALSE(tree.SaveToPointer(untouched.data(), untouched.size(), 0));
}

// The flag exchange as the child-by-child description has it: each child
// record found with GetPointer, its size the rest of the block.
bool ReferenceReadBack(TSysNode& node, const unsigned char* p, size_t size) {
  TSubsystemInfo& info = *node.Info;
  if (p == nullptr) return info.AllCheck;
  auto word = [&](size_t offset) {
    if (offset > size || size - offset < 4) throw EFlatImage("outside");
    return static_cast<int32_t>(DecodeFixed32(p + offset));
  };
  try {
    const int32_t data_size = word(4);
    if (data_size < 14) throw EFlatImage("DataSize");
    if (dynamic_cast<TSysNode*>(node.ParentNode) != nullptr) {
      if (size < 9) throw EFlatImage("outside");
      info.Checked = p[8] != 0;
    }
    const int32_t child_count = word(8 + static_cast<size_t>(data_size));
    if (info.IsInst) info.Checked = true;
    info.AllCheck = info.Checked;
    if (node.Count != child_count) return info.AllCheck;
    for (int32_t i = 0; i < node.Count; ++i) {
      const auto* child = static_cast<const unsigned char*>(TCustomSysNode::GetPointer(i, p, size));
      const size_t left = child == nullptr ? 0 : size - static_cast<size_t>(child - p);
      if (!ReferenceReadBack(*node.Nodes[static_cast<size_t>(i)], child, left)) info.AllCheck = false;
    }
  } catch (const EFlatImage&) {
  }
  return info.AllCheck;
}

void ReferenceWriteBack(const TSysTree& tree, unsigned char* p, size_t size) {
  for (int32_t i = 0; i < tree.Count; ++i) {
    auto* record = static_cast<unsigned char*>(TCustomSysNode::GetPointer(i, p, size));
    if (record == nullptr || size - static_cast<size_t>(record - p) <= 8) continue;
    record[8] = tree.Nodes[static_cast<size_t>(i)]->Info->Checked;
  }
}

// A catalogue with one top-level subsystem and a random subtree below it,
// random flags; the same seed builds the same catalogue.
void BuildRandom(TSysTree& tree, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<TSysNode*> nodes{AddSys(tree, 1)};
  const int count = 1 + static_cast<int>(random() % 40);
  for (int i = 2; i <= count; ++i) nodes.push_back(AddSys(*nodes[random() % nodes.size()], i));
  for (TSysNode* node : nodes) {
    node->Info->Checked = random() % 3 != 0;
    node->Info->IsInst = random() % 5 == 0;
    node->Info->AllCheck = random() % 2 == 0;
  }
}

// Both halves of the exchange on damaged images: the same flags, bytes and
// message boxes as the child-by-child description, which finds each child
// record by walking every record before it.
TEST(FlatImageTest, FlagExchangeMatchesAChildByChildLookupOnDamagedImages) {
  std::mt19937 random(2024);
  for (uint32_t seed = 0; seed < 300; ++seed) {
    SCOPED_TRACE(seed);
    TSysTree owner, expected_owner;
    BuildRandom(owner, seed);
    BuildRandom(expected_owner, seed);
    Bytes block(static_cast<size_t>(owner.GetSize(0)));
    ASSERT_TRUE(owner.SaveToPointer(block.data(), block.size(), 0));
    size_t size = block.size();
    if (seed % 4 != 0) {  // one word overwritten, or the block cut short
      const uint32_t words[] = {static_cast<uint32_t>(random() % 64), static_cast<uint32_t>(-1 - random() % 40),
                                0x7FFFFFF0u, static_cast<uint32_t>(random())};
      const size_t at = random() % (block.size() - 3);
      if (seed % 4 == 3) {
        size = at;
      } else {
        EncodeFixed32(block.data() + at, words[random() % 4]);
      }
    }

    TSysTree library;
    library.LoadFrompointer(block.data(), size);
    for (const auto& node : library.Nodes) node->Info->Checked = random() % 2 == 0;
    Bytes expected_block = block;
    TMessageBoxRecorder expected_boxes;
    ReferenceWriteBack(library, expected_block.data(), size);
    const bool expected = ReferenceReadBack(*expected_owner.Nodes[0], expected_block.data(), size);
    const std::vector<testing::TShownBox> shown = expected_boxes.shown;
    expected_boxes.shown.clear();

    // Undamaged blocks go through the unsized readers and writers too.
    const bool sized = seed % 8 != 0;
    sized ? library.SetSysInstaled(block.data(), size) : library.SetSysInstaled(block.data());
    EXPECT_EQ(block, expected_block);
    EXPECT_EQ(sized ? owner.Nodes[0]->SetSysInstaled(block.data(), size) : owner.Nodes[0]->SetSysInstaled(block.data()),
              expected);
    EXPECT_EQ(Shape(owner) + AllChecks(owner), Shape(expected_owner) + AllChecks(expected_owner));
    EXPECT_EQ(expected_boxes.shown, shown);
    // Null: nothing read or written, the current AllCheck answered.
    library.SetSysInstaled(nullptr);
    EXPECT_EQ(owner.Nodes[0]->SetSysInstaled(nullptr), owner.Nodes[0]->Info->AllCheck);
  }
}

}  // namespace
}  // namespace instkit
