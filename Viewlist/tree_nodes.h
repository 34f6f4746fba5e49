// The host's tree-view item list, kept in memory.  The catalogue fills it
// (one item per subsystem, the item's data pointing at the subsystem's record)
// and the selection view walks it; the command line and the tests use it as
// it is, and a graphical host would put its own widget behind the same calls.
//
// Items are owned by their list and live until Clear() or the list's
// destruction.  Each item has a handle that is unique for the lifetime of the
// list (handles are never reused, even after Clear), so a stale handle finds
// no item instead of a wrong one.  Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

// Handle of a tree-view item.  Valid handles are positive; -1 means none.
using TItemHandle = int64_t;
constexpr TItemHandle kNoItem = -1;

class TTreeNodes;

class INSTKIT_API TTreeNode {
  TTreeNode() = default;  // only the item list creates items

 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  TItemHandle ItemId() const { return item_id_; }
  TTreeNodes* Owner() const { return owner_; }
  TTreeNode* Parent() const { return parent_; }
  TTreeNode* getFirstChild() const { return first_child_; }
  TTreeNode* getNextSibling() const { return next_sibling_; }
  TTreeNode* getPrevSibling() const { return prev_sibling_; }
  TTreeNode* GetLastChild() const { return last_child_; }
  // The child after `child`; null when `child` is the last child or is not a
  // child of this item.
  TTreeNode* GetNextChild(const TTreeNode* child) const;
  int32_t ChildCount() const { return child_count_; }
  bool HasChildren() const { return first_child_ != nullptr; }

  // Not owned.  The catalogue stores a TSubsystemInfo* here.  The data and
  // the links come first: walks over large lists read little else.
  void* Data = nullptr;

 private:
  friend class TTreeNodes;

  TTreeNode* parent_ = nullptr;
  TTreeNode* first_child_ = nullptr;
  TTreeNode* last_child_ = nullptr;
  TTreeNode* next_sibling_ = nullptr;
  TTreeNode* prev_sibling_ = nullptr;
  TTreeNodes* owner_ = nullptr;
  TItemHandle item_id_ = kNoItem;

 public:
  std::string Text;

 private:
  int32_t child_count_ = 0;
};

class INSTKIT_API TTreeNodes {
 public:
  TTreeNodes() = default;
  ~TTreeNodes() = default;
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;

  // Update brackets nest; a real view repaints when the last one ends.
  void BeginUpdate() { ++update_count_; }
  void EndUpdate() {
    if (update_count_ > 0) --update_count_;
  }
  int32_t UpdateCount() const { return update_count_; }

  // Appends a new last child of `parent` (a new last top-level item when
  // `parent` is null) and returns it.  `parent` must belong to this list.
  TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);

  // The first top-level item; null for an empty list.
  TTreeNode* GetFirstNode() const { return first_top_; }
  int32_t GetCount() const { return count_; }
  // The item of a handle; null when no item of this list has it.
  TTreeNode* GetNode(TItemHandle handle) const;
  // Items in the order they were added.
  TTreeNode* Item(int32_t index) const;
  // The index Item() knows an item of this list by; -1 for any other item.
  int32_t IndexOf(const TTreeNode* item) const;
  // Removes every item; their handles become unknown.
  void Clear();

 private:
  // Items in blocks of kBlock, never moved: a list filled in pre-order keeps
  // neighbouring items close in memory, and a handle finds its item by
  // subtraction and one look into the short block table.
  static constexpr int32_t kBlockBits = 10;
  static constexpr int32_t kBlock = 1 << kBlockBits;
  std::vector<std::unique_ptr<TTreeNode[]>> blocks_;
  int32_t count_ = 0;
  TItemHandle first_handle_ = 1;  // handle of the first item of blocks_[0]
  TTreeNode* first_top_ = nullptr;
  TTreeNode* last_top_ = nullptr;
  int32_t update_count_ = 0;
};

}  // namespace instkit
