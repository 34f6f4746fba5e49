// Walking the host's tree-view items: the tree walk of host/base/tree_walk.h
// over the items' child links, and the record behind an item.  Shared by the
// view table, the selection view and the catalogue's reading of a view.
#pragma once

#include <cstddef>
#include <iterator>
#include <utility>

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_nodes.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/tree_walk.h"

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

// The children of an item (or the top-level items of a list) in order,
// followed through the sibling links.
class TItemChildren {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TTreeNode*;
    using difference_type = std::ptrdiff_t;
    using pointer = TTreeNode* const*;
    using reference = TTreeNode* const&;

    iterator() = default;
    explicit iterator(TTreeNode* item) : item_(item) {}
    reference operator*() const { return item_; }
    iterator& operator++() {
      item_ = item_->getNextSibling();
      return *this;
    }
    bool operator==(const iterator& other) const { return item_ == other.item_; }

   private:
    TTreeNode* item_ = nullptr;
  };

  explicit TItemChildren(TTreeNode* first) : first_(first) {}
  iterator begin() const { return iterator(first_); }
  iterator end() const { return iterator(); }

 private:
  TTreeNode* first_;
};

struct TItemChildrenOf {
  TItemChildren operator()(const TTreeNode* item) const { return TItemChildren(item->getFirstChild()); }
  TItemChildren operator()(const TTreeNodes* list) const { return TItemChildren(list->GetFirstNode()); }
};

// Every item of the list in pre-order: from the first top-level item, each
// item before its children.  See host/base/tree_walk.h for enter and leave.
template <typename Enter, typename Leave = TNoLeave>
bool WalkItems(const TTreeNodes* list, Enter&& enter, Leave&& leave = {}) {
  return WalkBelow(list, TItemChildrenOf{}, std::forward<Enter>(enter), std::forward<Leave>(leave));
}

// `start` and the items below it, in pre-order.
template <typename Enter, typename Leave = TNoLeave>
bool WalkItemsFrom(TTreeNode* start, Enter&& enter, Leave&& leave = {}) {
  return WalkTree(start, TItemChildrenOf{}, std::forward<Enter>(enter), std::forward<Leave>(leave));
}

}  // namespace instkit
