// Tree operations of the catalogue nodes: ownership, lookup, copying and the
// flag setters over a subtree.
#include "Syslist/sys_node.h"

#include <utility>
#include <vector>

#include "Syslist/node_arena.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"

namespace instkit {

namespace {

// Frees a detached subtree without recursing: each node's children are freed
// when the walk leaves it, after their own children, so that no destructor
// has a subtree left to free.  Children go from the last to the first, as
// ClearNodes frees them.
void FreeSubtree(std::unique_ptr<TSysNode> root) {
  if (!root || root->Nodes.empty()) return;
  WalkNodes(
      root.get(), [](TSysNode*) {},
      [](TSysNode* node) {
        while (!node->Nodes.empty()) node->Nodes.pop_back();
        node->Count = 0;
      });
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
  TSysNode* hit = nullptr;
  WalkNodesBelow(this, [&](TSysNode* node) {
    if (node->Info->SysIndex != SysIndex) return TWalkStep::kDescend;
    hit = node;
    return TWalkStep::kStop;
  });
  return hit;
}

void TCustomSysNode::GetChildTree(TCustomSysNode* Dest) const {
  if (Dest == nullptr) return;
  // The copy of each node the walk is inside of; a child's copy goes below
  // its parent's.
  std::vector<TCustomSysNode*> copies{Dest};
  WalkNodesBelow(
      this,
      [&](TSysNode* node) {
        auto copy = std::make_unique<TSysNode>();
        copy->Info->Assign(*node->Info);
        copies.push_back(copies.back()->AddNode(std::move(copy)));
      },
      [&](TSysNode*) { copies.pop_back(); });
}

void TCustomSysNode::SetChecked() {
  WalkNodesBelow(this, [](TSysNode* node) {
    node->Info->Checked = true;
    node->Info->AllCheck = true;
  });
}

void TCustomSysNode::ClearChecked() {
  WalkNodesBelow(this, [](TSysNode* node) {
    node->Info->Checked = false;
    node->Info->AllCheck = false;
  });
}

void TCustomSysNode::SetIsInst() {
  WalkNodesBelow(this, [](TSysNode* node) { node->Info->IsInst = node->Info->Checked; });
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
