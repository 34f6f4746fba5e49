// Selection, dependencies and the install set: the catalogue's side of the
// operator's ticks.  Filling a tree view and reading it back, the all-checked
// flag, cutting, copying and merging subtrees by their Checked flag, matching
// against another catalogue, copying a path, and the lists of subsystem
// numbers.
//
// Every walk goes through the tree walk (node_walk.h, Viewlist/tree_walk.h)
// and visits the nodes in the order of the recursive description, so results
// are the same without a deep call stack.  Finding a child by number, which
// merging and the install set do for every node, indexes a large child list
// once (TChildFinder), so that a catalogue a million subsystems wide costs
// linear time, not quadratic.
#include <utility>
#include <vector>

#include "Syslist/node_walk.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/int_hash_map.h"
#include "host/base/number_list.h"
#include "host/base/text.h"
#include "Viewlist/tree_walk.h"

namespace instkit {

namespace {

std::unique_ptr<TSysNode> CopyOf(const TSysNode& source) {
  auto copy = std::make_unique<TSysNode>();
  copy->Info->Assign(*source.Info);
  return copy;
}

// The first child of a node carrying a number, as a scan of the children in
// order finds it.  A node with many children is indexed on the first lookup
// (the first child of a number wins, as in the scan); Added keeps the index
// current when a child is appended.
class TChildFinder {
 public:
  explicit TChildFinder(TCustomSysNode* parent) : parent_(parent) {}

  TCustomSysNode* Parent() const { return parent_; }

  TSysNode* Find(int32_t sys_index) {
    if (parent_ == nullptr) return nullptr;
    if (parent_->Nodes.size() <= kScanLimit) {
      for (const auto& child : parent_->Nodes) {
        if (child->Info->SysIndex == sys_index) return child.get();
      }
      return nullptr;
    }
    if (!indexed_) {
      index_.Reserve(parent_->Nodes.size());
      for (const auto& child : parent_->Nodes) index_.Insert(child->Info->SysIndex, child.get());
      indexed_ = true;
    }
    TSysNode* const* found = index_.Find(sys_index);
    return found == nullptr ? nullptr : *found;
  }
  void Added(TSysNode* child) {
    if (indexed_) index_.Insert(child->Info->SysIndex, child);
  }

 private:
  static constexpr size_t kScanLimit = 16;
  TCustomSysNode* parent_;
  TInt32HashMap<TSysNode*> index_;
  bool indexed_ = false;
};

// AddToOtherTree of `start` into the node `dest` finds children in.
void MergeInto(TSysNode* start, TChildFinder& dest) {
  try {
    // Per source node the walk is inside of: where its children merge, the
    // node it was merged into.
    std::vector<TChildFinder> targets;
    WalkNodes(
        start,
        [&](TSysNode* source) {
          TChildFinder& into = targets.empty() ? dest : targets.back();
          TSysNode* target = into.Find(source->Info->SysIndex);
          if (target != nullptr) {
            if (!source->Info->Checked) target->Info->Checked = false;
          } else {
            target = into.Parent()->AddNode(CopyOf(*source));
            into.Added(target);
          }
          targets.emplace_back(target);
        },
        [&](TSysNode*) { targets.pop_back(); });
  } catch (...) {
    // Merging is best effort: what was merged stays.
  }
}

// GetInstallTree of `start` against the node `other` finds children in.
void MatchAgainst(TSysNode* start, TChildFinder& other) {
  // Per node the walk is inside of: its counterpart, whose children its own
  // children are matched against.  A node without one is unchecked, and so
  // is everything below it (their counterparts are null).
  std::vector<TChildFinder> counterparts;
  WalkNodes(
      start,
      [&](TSysNode* node) {
        TSysNode* match = (counterparts.empty() ? other : counterparts.back()).Find(node->Info->SysIndex);
        if (match == nullptr) node->Info->Checked = false;
        counterparts.emplace_back(match);
      },
      [&](TSysNode*) { counterparts.pop_back(); });
}

// Deletes, from the last to the first, the children of `node` that `doomed`
// picks, each with its subtree.
template <typename Doomed>
void DeleteChildren(TCustomSysNode* node, Doomed doomed) {
  for (int32_t i = node->Count - 1; i >= 0; --i) {
    if (doomed(*node->Nodes[static_cast<size_t>(i)]->Info)) node->DeleteNode(i);
  }
}

// ---- Number lists ---------------------------------------------------------

// Calls `take(number)` for the items of a ","-separated list in order, as a
// walk with GetNextRef at positions 1, 2, ... until it answers -1 would see
// them.  Returns false when the walk stopped at an item that is not a
// number (or is -1) before the end of the list.
template <typename Take>
bool WalkRefs(const std::string& list, Take&& take) {
  TNumberList items(list);
  for (TNumberItem item; items.Next(item);) {
    if (!item.number || *item.number == -1) return false;
    take(*item.number);
  }
  return true;
}

// The numbers already in the list that GetDepRefs builds, as AddRef's walk
// of its first list sees them.  Once that walk stops early at a bad item,
// nothing appended after it is ever seen, so the set stops growing.
struct TRefSet {
  TInt32HashMap<bool> numbers;
  bool frozen = false;

  explicit TRefSet(const std::string& list) {
    frozen = !WalkRefs(list, [this](int32_t n) { numbers.Insert(n, true); });
  }

  // AddRef with the set as its first list: the numbers of `refs` not yet
  // present, each once, joined by ",".
  std::string Add(const std::string& refs) {
    std::string out;
    TInt32HashMap<bool> local;  // used while the set is frozen
    WalkRefs(refs, [&](int32_t n) {
      if (numbers.Contains(n)) return;
      if (!(frozen ? local : numbers).Insert(n, true)) return;
      if (!out.empty()) out += ',';
      out += IntToStr(n);
    });
    return out;
  }
};

// GetDepRefs over the subtree of `start`, keeping the numbers seen in `set`.
void CollectDepRefs(TSysNode* start, std::string& text, TRefSet& set) {
  WalkNodes(start, [&](TSysNode* node) {
    if (!node->Info->BackRef.empty()) {
      const std::string added = set.Add(node->Info->BackRef);
      // A "," only before numbers actually added, so the list never holds
      // empty items.
      if (!added.empty()) {
        if (!text.empty()) text += ',';
        text += added;
      }
    }
    return true;
  });
}

}  // namespace

// ---- Tree view ------------------------------------------------------------

bool TSysTree::SaveToTreeNodes(TTreeNodes* Items) {
  if (Items == nullptr) return false;
  Items->BeginUpdate();
  bool ok = true;
  try {
    for (const auto& node : Nodes) node->SaveToTreeNodes(Items, nullptr);
  } catch (...) {
    ok = false;
  }
  Items->EndUpdate();
  return ok;
}

void TSysNode::SaveToTreeNodes(TTreeNodes* Items, TTreeNode* ParentItem) {
  if (Items == nullptr) throw Exception("ETreeViewError", "SaveToTreeNodes: no item list");
  // The item of each node the walk is inside of: its children's parent item.
  std::vector<TTreeNode*> items{ParentItem};
  WalkNodes(
      this,
      [&](TSysNode* node) {
        items.push_back(Items->AddChildObject(items.back(), node->Info->ShortName, node->Info.get()));
        node->Info->Checked = true;
        node->Info->AllCheck = true;
      },
      [&](TSysNode*) { items.pop_back(); });
}

bool TSysTree::LoadFromTreeNodes(TTreeNodes* Items) {
  ClearNodes();
  try {
    if (Items == nullptr) throw Exception("ETreeViewError", "LoadFromTreeNodes: no item list");
    for (TTreeNode* item = Items->GetFirstNode(); item != nullptr; item = item->getNextSibling()) {
      if (!ItemRecord(item)->Checked) continue;
      auto node = std::make_unique<TSysNode>();
      node->LoadFromTreeNodes(Items, item);
      AddNode(std::move(node));
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TSysNode::LoadFromTreeNodes(TTreeNodes* /*Items*/, TTreeNode* Item) {
  if (Item == nullptr) throw Exception("ETreeViewError", "LoadFromTreeNodes: no item");
  // The node built from each item the walk is inside of.  An unchecked item
  // below Item is left out with its whole subtree.
  std::vector<TSysNode*> built;
  WalkItemsFrom(
      Item,
      [&](TTreeNode* item) {
        TSubsystemInfo* record = ItemRecord(item);
        TSysNode* node = this;
        if (!built.empty()) {
          if (!record->Checked) return false;
          node = built.back()->AddNode(std::make_unique<TSysNode>());
        }
        node->Info->Assign(*record);
        built.push_back(node);
        return true;
      },
      [&](TTreeNode*) { built.pop_back(); });
}

// ---- Flags and subtrees ---------------------------------------------------

bool TSysNode::SetAllCheck() {
  // A node's AllCheck starts as its Checked and is cleared by any child that
  // comes out false; every child is visited regardless.
  WalkNodes(
      this, [](TSysNode* node) { node->Info->AllCheck = node->Info->Checked; },
      [this](TSysNode* node) {
        if (node != this && !node->Info->AllCheck) static_cast<TSysNode*>(node->ParentNode)->Info->AllCheck = false;
      });
  return Info->AllCheck;
}

void TSysTree::SetAllCheck() {
  for (const auto& node : Nodes) node->SetAllCheck();
}

void TSysNode::GetNotChecked(TCustomSysNode* Dest) {
  WalkNodes(this, [Dest](TSysNode* node) {
    if (node->Info->Checked) return true;
    auto copy = CopyOf(*node);
    copy->Info->Checked = node->Info->Checked;
    TSysNode* added = Dest->AddNode(std::move(copy));
    node->GetChildTree(added);
    return false;
  });
}

void TSysTree::GetNotChecked(TCustomSysNode* Dest) {
  for (const auto& node : Nodes) node->GetNotChecked(Dest);
}

void TSysNode::AddToOtherTree(TCustomSysNode* Dest) {
  if (Dest == nullptr) return;
  TChildFinder dest(Dest);
  MergeInto(this, dest);
}

void TSysTree::AddToOtherTree(TCustomSysNode* Dest) {
  if (Dest == nullptr) return;
  TChildFinder dest(Dest);  // one index of Dest's children for every top-level node
  for (const auto& node : Nodes) MergeInto(node.get(), dest);
}

void TCustomSysNode::DeleteNotChecked(bool Recursive) {
  // Each node's unchecked children go before the walk reaches its children.
  auto prune = [](TCustomSysNode* node) {
    DeleteChildren(node, [](const TSubsystemInfo& info) { return !info.Checked; });
  };
  prune(this);
  if (Recursive) WalkNodesBelow(this, prune);
}

void TCustomSysNode::DeleteAllCheckNode() {
  auto prune = [](TCustomSysNode* node) {
    DeleteChildren(node, [](const TSubsystemInfo& info) { return info.AllCheck; });
  };
  prune(this);
  WalkNodesBelow(this, prune);
}

// ---- Install set ----------------------------------------------------------

void TSysNode::GetInstallTree(TCustomSysNode* Other) {
  TChildFinder other(Other);
  MatchAgainst(this, other);
}

bool TSysTree::GetInstallTree(TSysTree* Other) {
  if (Other == nullptr) return false;
  try {
    TChildFinder other(Other);  // one index of Other's children for every top-level node
    for (const auto& node : Nodes) MatchAgainst(node.get(), other);
    SetAllCheck();
    return true;
  } catch (...) {
    return false;
  }
}

TSysNode* TSysNode::GetAllTree(TCustomSysNode* Dest, TSysNode* Sub) {
  std::unique_ptr<TSysNode> sub(Sub);
  if (Dest == nullptr) return nullptr;
  auto copy = CopyOf(*this);
  if (sub) {
    copy->AddNode(std::move(sub));
  } else {
    GetChildTree(copy.get());
  }
  TSysNode* result = copy.get();
  // Wrap the copy in copies of the ancestors, up to the top level.
  const TCustomSysNode* above = ParentNode;
  while (const auto* parent = dynamic_cast<const TSysNode*>(above)) {
    auto wrapper = CopyOf(*parent);
    wrapper->AddNode(std::move(copy));
    copy = std::move(wrapper);
    above = parent->ParentNode;
  }
  Dest->AddNode(std::move(copy));
  return result;
}

// ---- Number lists ---------------------------------------------------------

int32_t GetNextRef(const std::string& S, int32_t N) {
  TNumberList items(S);
  TNumberItem item;
  for (int32_t i = 1; i <= N; ++i) {
    if (!items.Next(item)) return -1;
  }
  return N >= 1 && item.number ? *item.number : -1;
}

std::string TCustomSysNode::AddRef(const std::string& A, const std::string& B) {
  TRefSet set(A);
  return set.Add(B);
}

void TSysNode::GetDepRefs(std::string& Text) {
  TRefSet set(Text);
  CollectDepRefs(this, Text, set);
}

std::string TSysTree::GetDepRefs() {
  std::string text;
  TRefSet set(text);
  for (const auto& node : Nodes) CollectDepRefs(node.get(), text, set);
  return text;
}

}  // namespace instkit
