#include "Viewlist/tree_nodes.h"

#include "host/base/exception.h"

namespace instkit {

TTreeNode* TTreeNode::GetNextChild(const TTreeNode* child) const {
  if (child == nullptr || child->parent_ != this) return nullptr;
  return child->next_sibling_;
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
  if (parent != nullptr && parent->owner_ != this) {
    throw Exception("ETreeViewError", "AddChildObject: the parent item belongs to another item list");
  }
  if ((count_ & (kBlock - 1)) == 0) blocks_.emplace_back(new TTreeNode[kBlock]);
  TTreeNode* item = &blocks_.back()[count_ & (kBlock - 1)];
  item->owner_ = this;
  item->item_id_ = first_handle_ + count_;
  ++count_;
  item->Text = text;
  item->Data = data;
  item->parent_ = parent;
  TTreeNode*& first = parent ? parent->first_child_ : first_top_;
  TTreeNode*& last = parent ? parent->last_child_ : last_top_;
  item->prev_sibling_ = last;
  if (last) {
    last->next_sibling_ = item;
  } else {
    first = item;
  }
  last = item;
  if (parent) ++parent->child_count_;
  return item;
}

TTreeNode* TTreeNodes::GetNode(TItemHandle handle) const {
  if (handle < first_handle_) return nullptr;
  const TItemHandle index = handle - first_handle_;
  if (index >= count_) return nullptr;
  return &blocks_[static_cast<size_t>(index >> kBlockBits)][static_cast<size_t>(index & (kBlock - 1))];
}

TTreeNode* TTreeNodes::Item(int32_t index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return &blocks_[static_cast<size_t>(index >> kBlockBits)][static_cast<size_t>(index & (kBlock - 1))];
}

int32_t TTreeNodes::IndexOf(const TTreeNode* item) const {
  if (item == nullptr || item->owner_ != this || item->item_id_ < first_handle_) return -1;
  const TItemHandle index = item->item_id_ - first_handle_;
  return index < count_ ? static_cast<int32_t>(index) : -1;
}

void TTreeNodes::Clear() {
  first_handle_ += count_;
  blocks_.clear();
  count_ = 0;
  first_top_ = nullptr;
  last_top_ = nullptr;
}

}  // namespace instkit
