#include "Viewlist/system_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Syslist/subsystem_info.h"
#include "host/base/exception.h"
#include "host/base/variant.h"
#include "host/base/text.h"

namespace instkit {
namespace {

// An item list whose items point at records owned by the fixture, built the
// way the catalogue fills a view.
class ItemTree {
 public:
  TTreeNode* Add(TTreeNode* parent, int32_t number, std::string depend = "", std::string back_ref = "",
                 bool checked = false) {
    auto record = std::make_unique<TSubsystemInfo>();
    record->SysIndex = number;
    record->Depend = std::move(depend);
    record->BackRef = std::move(back_ref);
    record->ShortName = "S" + std::to_string(number);
    record->Checked = checked;
    record->AllCheck = checked;
    TTreeNode* item = nodes.AddChildObject(parent, record->ShortName, record.get());
    records.push_back(std::move(record));
    return item;
  }
  TSubsystemInfo& Rec(int32_t i) { return *records[static_cast<size_t>(i)]; }
  TTreeNode* Item(int32_t i) { return nodes.Item(i); }
  // "C" / "A" per record, in the order added: Checked, AllCheck.
  std::string Flags() const {
    std::string out;
    for (const auto& r : records) {
      out += r->Checked ? 'C' : '-';
      out += r->AllCheck ? 'A' : '-';
      out += ' ';
    }
    return out;
  }

  TTreeNodes nodes;
  std::vector<std::unique_ptr<TSubsystemInfo>> records;
};

TSubsystemInfo& R(TTreeNode* item) { return *static_cast<TSubsystemInfo*>(item->Data); }

// ---- The table -----------------------------------------------------------

TEST(ViewListTest, LoadIsPreOrderAndTheFirstRecordOfANumberWins) {
  ItemTree tree;
  TTreeNode* a = tree.Add(nullptr, 10);
  TTreeNode* a1 = tree.Add(a, 11);
  tree.Add(a1, 12);
  TTreeNode* b = tree.Add(nullptr, 20);
  TTreeNode* dup = tree.Add(a, 20);  // same number as b, earlier in pre-order
  TViewList list;
  ASSERT_TRUE(list.Load(&tree.nodes));
  std::vector<int32_t> order;
  order.reserve(static_cast<size_t>(list.Count()));
  for (int32_t i = 0; i < list.Count(); ++i) order.push_back(list.Get(i)->SysIndex);
  EXPECT_EQ(order, (std::vector<int32_t>{10, 11, 12, 20, 20}));
  EXPECT_EQ(list.FindItem(20), dup->ItemId());
  EXPECT_EQ(list.FindItem(99), kNoItem);

  // Deleting the indexed record hands the number to the next one.
  list.DeleteRecord(3);
  EXPECT_EQ(list.FindItem(20), b->ItemId());
  list.DeleteRecord(-1);
  list.DeleteRecord(list.Count());
  EXPECT_EQ(list.Count(), 4);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindItem(10), kNoItem);
}

TEST(ViewListTest, LoadFailuresKeepWhatWasAdded) {
  TViewList list;
  EXPECT_FALSE(list.Load(nullptr));
  TTreeNodes empty;
  EXPECT_TRUE(list.Load(&empty));
  EXPECT_EQ(list.Count(), 0);

  ItemTree tree;
  tree.Add(nullptr, 1);
  tree.nodes.AddChildObject(nullptr, "no record", nullptr);
  tree.Add(nullptr, 3);
  EXPECT_FALSE(list.Load(&tree.nodes));
  EXPECT_EQ(list.Count(), 1);
}

// ---- What the recursive form below does not reach ----

TEST(SystemViewTest, CorrectCheckedKeepsOnlyListedNames) {
  ItemTree tree;
  TTreeNode* a = tree.Add(nullptr, 1, "", "", true);
  tree.Add(a, 2, "", "", true);
  tree.Add(a, 3, "", "", true);
  tree.Add(nullptr, 4, "", "", true);
  TSystemView view(&tree.nodes);

  view.CorrectChecked({"S1", "S2", "S4"}, &tree.nodes);
  EXPECT_EQ(tree.Flags(), "C- CA -- CA ");
  EXPECT_EQ(tree.nodes.UpdateCount(), 0);
  view.CorrectChecked({"s1"}, &tree.nodes);  // case counts
  EXPECT_EQ(tree.Flags(), "-- -- -- -- ");
}

TEST(SystemViewTest, NoItemAndNoItemList) {
  ItemTree tree;
  TTreeNode* a = tree.Add(nullptr, 1);
  EXPECT_THROW(TSystemView(&tree.nodes).SelectNode(nullptr), Exception);
  // A view without an item list knows no numbers: references are skipped.
  TSystemView blind;
  blind.SelectRef("1,2", &tree.nodes);
  EXPECT_FALSE(R(a).Checked);
}

// ---- The recursive form, for comparison ----------------------------------

// Straight from the description, recursion and linear table scan included.
class RecursiveView {
 public:
  explicit RecursiveView(const TViewList& table) : table_(table) {}

  TItemHandle GetNodeId(int32_t number) const {
    for (int32_t i = 0; i < table_.Count(); ++i) {
      if (table_.Get(i)->SysIndex == number) return table_.Get(i)->ItemId;
    }
    return kNoItem;
  }
  bool GetAllChecked(TTreeNode* n) {
    bool all = true;
    for (TTreeNode* c = n->getFirstChild(); c; c = n->GetNextChild(c)) all = all && R(c).AllCheck;
    return all;
  }
  void SelectNode(TTreeNode* n) {
    if (R(n).Checked) return;
    R(n).Checked = true;
    R(n).AllCheck = GetAllChecked(n);
    SelectChilds(n);
    SelectParent(n);
    SelectRef(R(n).Depend, n->Owner());
  }
  void SelectChilds(TTreeNode* n) {
    for (TTreeNode* c = n->getFirstChild(); c; c = n->GetNextChild(c)) {
      if (!R(c).Checked) SelectNode(c);
    }
  }
  void SelectParent(TTreeNode* n) {
    if (TTreeNode* p = n->Parent()) {
      R(p).AllCheck = GetAllChecked(p);
      if (!R(p).Checked) SelectNode(p);
    }
  }
  void UnselectNode(TTreeNode* n) {
    if (!R(n).Checked) return;
    R(n).Checked = false;
    R(n).AllCheck = false;
    UnselectParent(n);
    UnselectChilds(n);
    Refs(R(n).BackRef, n->Owner(), false);
  }
  void UnselectParent(TTreeNode* n) {
    for (TTreeNode* p = n->Parent(); p && R(p).Checked && R(p).AllCheck; p = p->Parent()) R(p).AllCheck = false;
  }
  void UnselectChilds(TTreeNode* n) {
    for (TTreeNode* c = n->getFirstChild(); c; c = n->GetNextChild(c)) {
      if (R(c).Checked) UnselectNode(c);
    }
  }
  void SelectRef(const std::string& refs, TTreeNodes* nodes) { Refs(refs, nodes, true); }

 private:
  void Refs(const std::string& refs, TTreeNodes* nodes, bool select) {
    if (refs.empty()) return;
    std::string rest = refs;
    while (true) {
      const size_t comma = rest.find(',');
      const std::string piece = rest.substr(0, comma);
      TTreeNode* item = nodes->GetNode(GetNodeId(StrToInt(std::string(Trim(piece)))));
      if (item && R(item).Checked != select) select ? SelectNode(item) : UnselectNode(item);
      if (comma == std::string::npos) break;
      rest.erase(0, comma + 1);
    }
  }
  const TViewList& table_;
};

struct RandomTreeParams {
  int items;
  int top_percent;  // chance of a new top-level item
  bool bad_pieces;
};

// An item tree drawn from a seed: the same seed gives the same shape,
// numbers, references and flags.
void BuildRandom(uint32_t seed, const RandomTreeParams& params, ItemTree& tree) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto refs = [&]() {
    std::string out;
    const int count = pick(4);
    for (int k = 0; k < count; ++k) {
      if (!out.empty()) out += pick(5) == 0 ? " , " : ",";
      out += std::to_string(1 + pick(params.items + 3));  // a few numbers without an item
    }
    if (params.bad_pieces && pick(40) == 0) out += pick(2) ? ",," : ",x";
    return out;
  };
  for (int i = 0; i < params.items; ++i) {
    TTreeNode* parent = nullptr;
    if (i > 0 && pick(100) >= params.top_percent) parent = tree.Item(pick(i));
    // Every 17th item repeats an earlier number: the first one wins.
    const int32_t number = (i % 17 == 16) ? 1 + pick(i) : i + 1;
    const std::string depend = refs();
    const std::string back_ref = refs();
    const bool checked = pick(2) == 0;
    R(tree.Add(parent, number, depend, back_ref, checked)).AllCheck = pick(2) == 0;
  }
}

TEST(SystemViewTest, MatchesTheRecursiveFormOnGeneratedTrees) {
  std::mt19937 rng(2026);
  const RandomTreeParams param_sets[] = {{30, 30, false}, {200, 10, false}, {200, 60, true}, {400, 2, true}};
  int raised = 0;
  for (const RandomTreeParams& params : param_sets) {
    for (int round = 0; round < 20; ++round) {
      ItemTree fast_tree, slow_tree;
      const uint32_t seed = rng();
      BuildRandom(seed, params, fast_tree);
      BuildRandom(seed, params, slow_tree);
      TSystemView fast(&fast_tree.nodes);
      RecursiveView slow(*fast.ViewList);
      for (int step = 0; step < 25; ++step) {
        const int op = static_cast<int>(rng() % 8);
        const int at = static_cast<int>(rng() % static_cast<unsigned>(params.items));
        const std::string refs = std::to_string(1 + at) + "," + std::to_string(1 + (at * 7) % params.items);
        // The same operation on either view; the class name of what it raised.
        auto run = [&](auto& view, ItemTree& t) -> std::optional<std::string> {
          TTreeNode* item = t.Item(at);
          try {
            if (op < 2) view.SelectNode(item);
            else if (op < 4) view.UnselectNode(item);
            else if (op == 4) view.SelectChilds(item);
            else if (op == 5) view.SelectParent(item);
            else if (op == 6) view.UnselectChilds(item);
            else view.SelectRef(refs, &t.nodes);
            return std::nullopt;
          } catch (const Exception& e) {
            return e.ClassName();
          }
        };
        const std::optional<std::string> f_out = run(fast, fast_tree), s_out = run(slow, slow_tree);
        ASSERT_EQ(f_out, s_out) << "items " << params.items << " round " << round << " step " << step;
        if (f_out) ++raised;
        ASSERT_EQ(fast_tree.Flags(), slow_tree.Flags())
            << "items " << params.items << " round " << round << " step " << step << " op " << op;
      }
    }
  }
  EXPECT_GT(raised, 0);  // the failure path was compared too
}

}  // namespace
}  // namespace instkit
