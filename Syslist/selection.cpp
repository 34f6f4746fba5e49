// Selection, dependencies and the install set: the catalogue's side of the
// operator's ticks.  Filling a tree view and reading it back, the all-checked
// flag, cutting, copying and merging subtrees by their Checked flag, matching
// against another catalogue, copying a path, and the lists of subsystem
// numbers.
//
// The walks are written with explicit work lists instead of recursion (see
// node_walk.h); each visits the nodes in the order the recursive description
// gives, so results are the same.
#include <utility>
#include <vector>

#include "Syslist/node_walk.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/int_hash_map.h"
#include "host/base/text.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {

namespace {

TSubsystemInfo* RecordOf(const TTreeNode* item) {
  if (item->Data == nullptr) {
    throw Exception("ETreeViewError",
                    Format("tree-view item %lld has no subsystem record", static_cast<long long>(item->ItemId())));
  }
  return static_cast<TSubsystemInfo*>(item->Data);
}

std::unique_ptr<TSysNode> CopyOf(const TSysNode& source) {
  auto copy = std::make_unique<TSysNode>();
  copy->Info->Assign(*source.Info);
  return copy;
}

// The first child of `parent` carrying `sys_index`; null when none.
TSysNode* ChildWithIndex(const TCustomSysNode* parent, int32_t sys_index) {
  for (const auto& child : parent->Nodes) {
    if (child->Info->SysIndex == sys_index) return child.get();
  }
  return nullptr;
}

// Builds the children of `node` from the checked children of `item`, and so
// on down: an unchecked item is left out with its whole subtree.
void LoadSubtreeFromItems(TSysNode* node, const TTreeNode* item) {
  std::vector<std::pair<TSysNode*, const TTreeNode*>> pending{{node, item}};
  while (!pending.empty()) {
    auto [target, source] = pending.back();
    pending.pop_back();
    target->Info->Assign(*RecordOf(source));
    std::vector<std::pair<TSysNode*, const TTreeNode*>> children;
    for (const TTreeNode* child = source->getFirstChild(); child != nullptr; child = source->GetNextChild(child)) {
      if (!RecordOf(child)->Checked) continue;
      children.emplace_back(target->AddNode(std::make_unique<TSysNode>()), child);
    }
    // Last pushed is filled first; the order of filling does not matter,
    // the order of adding (above) gives the children's order.
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
}

// ---- Number lists ---------------------------------------------------------

// Calls `take(number)` for the items of a ","-separated list in order, as a
// walk with GetNextRef at positions 1, 2, ... until it answers -1 would see
// them.  Returns false when the walk stopped at an item that is not a
// number (or is -1) before the end of the list.
template <typename Take>
bool WalkRefs(const std::string& list, Take&& take) {
  if (list.empty()) return true;
  size_t pos = 0;
  while (true) {
    const size_t comma = list.find(',', pos);
    const std::string_view item =
        std::string_view(list).substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    const auto number = ParseInt32(Trim(item));
    if (!number || *number == -1) return false;
    take(*number);
    if (comma == std::string::npos) return true;
    pos = comma + 1;
  }
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
  // Each node's item is the parent of its children's items: remember it per
  // level of the walk.
  std::vector<std::pair<const TCustomSysNode*, TTreeNode*>> parents;
  WalkNodes(this, [&](TSysNode* node) {
    while (!parents.empty() && parents.back().first != node->ParentNode) parents.pop_back();
    TTreeNode* parent_item = parents.empty() ? ParentItem : parents.back().second;
    TTreeNode* item = Items->AddChildObject(parent_item, node->Info->ShortName, node->Info.get());
    node->Info->Checked = true;
    node->Info->AllCheck = true;
    parents.emplace_back(node, item);
    return true;
  });
}

bool TSysTree::LoadFromTreeNodes(TTreeNodes* Items) {
  ClearNodes();
  try {
    if (Items == nullptr) throw Exception("ETreeViewError", "LoadFromTreeNodes: no item list");
    for (const TTreeNode* item = Items->GetFirstNode(); item != nullptr; item = item->getNextSibling()) {
      if (!RecordOf(item)->Checked) continue;
      auto node = std::make_unique<TSysNode>();
      LoadSubtreeFromItems(node.get(), item);
      AddNode(std::move(node));
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TSysNode::LoadFromTreeNodes(TTreeNodes* /*Items*/, TTreeNode* Item) {
  if (Item == nullptr) throw Exception("ETreeViewError", "LoadFromTreeNodes: no item");
  LoadSubtreeFromItems(this, Item);
}

// ---- Flags and subtrees ---------------------------------------------------

bool TSysNode::SetAllCheck() {
  // Post-order: a node's AllCheck starts as its Checked and is cleared by any
  // child that comes out false; every child is visited regardless.
  std::vector<std::pair<TSysNode*, size_t>> stack;
  Info->AllCheck = Info->Checked;
  stack.emplace_back(this, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next < node->Nodes.size()) {
      TSysNode* child = node->Nodes[next++].get();
      child->Info->AllCheck = child->Info->Checked;
      stack.emplace_back(child, 0);
      continue;
    }
    TSysNode* done = node;
    stack.pop_back();
    if (!stack.empty() && !done->Info->AllCheck) stack.back().first->Info->AllCheck = false;
  }
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
  try {
    // (source, destination) pairs in pre-order of the source, so that a
    // later source node finds what an earlier one has added.
    std::vector<std::pair<const TSysNode*, TCustomSysNode*>> pending{{this, Dest}};
    while (!pending.empty()) {
      auto [source, dest] = pending.back();
      pending.pop_back();
      TSysNode* target = ChildWithIndex(dest, source->Info->SysIndex);
      if (target != nullptr) {
        if (!source->Info->Checked) target->Info->Checked = false;
      } else {
        target = dest->AddNode(CopyOf(*source));
      }
      for (auto it = source->Nodes.rbegin(); it != source->Nodes.rend(); ++it) pending.emplace_back(it->get(), target);
    }
  } catch (...) {
    // Merging is best effort: what was merged stays.
  }
}

void TSysTree::AddToOtherTree(TCustomSysNode* Dest) {
  if (Dest == nullptr) return;
  for (const auto& node : Nodes) node->AddToOtherTree(Dest);
}

void TCustomSysNode::DeleteNotChecked(bool Recursive) {
  std::vector<TCustomSysNode*> pending{this};
  while (!pending.empty()) {
    TCustomSysNode* node = pending.back();
    pending.pop_back();
    for (int32_t i = node->Count - 1; i >= 0; --i) {
      if (!node->Nodes[static_cast<size_t>(i)]->Info->Checked) node->DeleteNode(i);
    }
    if (!Recursive) break;
    for (const auto& child : node->Nodes) pending.push_back(child.get());
  }
}

void TCustomSysNode::DeleteAllCheckNode() {
  std::vector<TCustomSysNode*> pending{this};
  while (!pending.empty()) {
    TCustomSysNode* node = pending.back();
    pending.pop_back();
    for (int32_t i = node->Count - 1; i >= 0; --i) {
      TSysNode* child = node->Nodes[static_cast<size_t>(i)].get();
      if (child->Info->AllCheck) {
        node->DeleteNode(i);
      } else {
        pending.push_back(child);
      }
    }
  }
}

// ---- Install set ----------------------------------------------------------

void TSysNode::GetInstallTree(TCustomSysNode* Other) {
  std::vector<std::pair<TSysNode*, const TCustomSysNode*>> pending{{this, Other}};
  while (!pending.empty()) {
    auto [node, other] = pending.back();
    pending.pop_back();
    const TSysNode* match = other != nullptr ? ChildWithIndex(other, node->Info->SysIndex) : nullptr;
    if (match == nullptr) {
      // No counterpart: the node and its whole subtree are not installed.
      WalkNodes(node, [](TSysNode* n) {
        n->Info->Checked = false;
        return true;
      });
      continue;
    }
    for (auto it = node->Nodes.rbegin(); it != node->Nodes.rend(); ++it) pending.emplace_back(it->get(), match);
  }
}

bool TSysTree::GetInstallTree(TSysTree* Other) {
  if (Other == nullptr) return false;
  try {
    for (const auto& node : Nodes) node->GetInstallTree(Other);
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
  if (S.empty() || N < 1) return -1;
  size_t pos = 0;
  for (int32_t i = 1; i < N; ++i) {
    pos = S.find(',', pos);
    if (pos == std::string::npos) return -1;
    ++pos;
  }
  const size_t comma = S.find(',', pos);
  const auto number =
      ParseInt32(Trim(std::string_view(S).substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
  return number ? *number : -1;
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
