// Walking the host's tree-view items, shared by the view table and the
// selection view.
#pragma once

#include "Syslist/subsystem_info.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {

// The subsystem record behind an item.  Every item filled from the catalogue
// carries one; raises ETreeViewError for an item without a record.
inline TSubsystemInfo* ItemRecord(const TTreeNode* item) {
  if (item == nullptr) throw Exception("ETreeViewError", "no tree-view item");
  if (item->Data == nullptr) {
    throw Exception("ETreeViewError",
                    Format("tree-view item %lld has no subsystem record", static_cast<long long>(item->ItemId())));
  }
  return static_cast<TSubsystemInfo*>(item->Data);
}

// Pre-order walk without recursion: from the first top-level item, each
// item is visited before its children; climbing back to a parent does not
// visit it again.  `visit(item)` returns whether to descend into the item's
// children.  Exceptions from `visit` end the walk and reach the caller.
template <typename Visit>
void WalkPreOrder(const TTreeNodes* Nodes, Visit&& visit) {
  TTreeNode* item = Nodes->GetFirstNode();
  bool up = false;
  while (item != nullptr) {
    bool descend = false;
    if (!up) descend = visit(item);
    if (!up && descend && item->getFirstChild() != nullptr) {
      item = item->getFirstChild();
    } else if (item->getNextSibling() != nullptr) {
      item = item->getNextSibling();
      up = false;
    } else {
      item = item->Parent();
      up = true;
    }
  }
}

}  // namespace instkit
