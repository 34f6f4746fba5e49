// Tree operations of the catalogue nodes: ownership, lookup, copying and the
// recursive flag setters.
#include "Syslist/sys_node.h"

#include <utility>

#include "Syslist/node_arena.h"
#include "Syslist/sys_tree.h"

namespace instkit {

namespace {

// Frees a detached subtree without recursing: each node's children are moved
// onto a work list before the node itself goes, so freeing never nests.
void FreeSubtree(std::unique_ptr<TSysNode> root) {
  std::vector<std::unique_ptr<TSysNode>> pending;
  pending.push_back(std::move(root));
  while (!pending.empty()) {
    std::unique_ptr<TSysNode> node = std::move(pending.back());
    pending.pop_back();
    if (!node) continue;
    // Last child on top of the work list goes first, as ClearNodes does.
    for (auto& child : node->Nodes) pending.push_back(std::move(child));
    node->Nodes.clear();
    node->Count = 0;
  }
}

}  // namespace

TCustomSysNode::TCustomSysNode() = default;

TCustomSysNode::~TCustomSysNode() { ClearNodes(); }

TSysNode* TCustomSysNode::AddNode(TSysNode* Node) { return AddNode(std::unique_ptr<TSysNode>(Node)); }

TSysNode* TCustomSysNode::AddNode(std::unique_ptr<TSysNode> Node) {
  if (!Node) return nullptr;
  TSysNode* raw = Node.get();
  raw->ParentNode = this;
  Nodes.push_back(std::move(Node));
  Count = static_cast<int32_t>(Nodes.size());
  return raw;
}

void TCustomSysNode::DeleteNode(int32_t Index) {
  if (Index < 0 || Index >= Count) return;
  std::unique_ptr<TSysNode> node = std::move(Nodes[static_cast<size_t>(Index)]);
  Nodes.erase(Nodes.begin() + Index);
  Count = static_cast<int32_t>(Nodes.size());
  FreeSubtree(std::move(node));
}

void TCustomSysNode::ClearNodes() {
  while (Count >= 1) DeleteNode(Count - 1);
}

TSysNode* TCustomSysNode::GetNode(int32_t Index) const {
  if (Index < 0 || Index >= Count) return nullptr;
  return Nodes[static_cast<size_t>(Index)].get();
}

TSysNode* TCustomSysNode::GetNodeBySysIndex(int32_t SysIndex) const {
  for (const auto& child : Nodes) {
    if (child->Info->SysIndex == SysIndex) return child.get();
    if (TSysNode* hit = child->GetNodeBySysIndex(SysIndex)) return hit;
  }
  return nullptr;
}

void TCustomSysNode::GetChildTree(TCustomSysNode* Dest) const {
  if (Dest == nullptr) return;
  for (const auto& child : Nodes) {
    auto copy = std::make_unique<TSysNode>();
    copy->Info->Assign(*child->Info);
    TSysNode* added = Dest->AddNode(std::move(copy));
    child->GetChildTree(added);
  }
}

void TCustomSysNode::SetChecked() {
  for (const auto& child : Nodes) {
    child->Info->Checked = true;
    child->Info->AllCheck = true;
    child->SetChecked();
  }
}

void TCustomSysNode::ClearChecked() {
  for (const auto& child : Nodes) {
    child->Info->Checked = false;
    child->Info->AllCheck = false;
    child->ClearChecked();
  }
}

void TCustomSysNode::SetIsInst() {
  for (const auto& child : Nodes) {
    child->Info->IsInst = child->Info->Checked;
    child->SetIsInst();
  }
}

bool TCustomSysNode::IsTopLevel() const { return dynamic_cast<const TSysTree*>(ParentNode) != nullptr; }

TSysNode::TSysNode() {
  Info->Checked = true;
  Info->AllCheck = true;
}

// Info (a member of this class) goes first, then the base destructor frees
// the children.
TSysNode::~TSysNode() = default;

void* TSysNode::operator new(size_t size) { return TNodeArena::Allocate(size); }
void TSysNode::operator delete(void* block, size_t size) noexcept { TNodeArena::Free(block, size); }

}  // namespace instkit
