// The rows of the selection screen: the catalogue's tree-view items in
// pre-order, without the items below a collapsed one, with the cursor and
// the scroll position.  No drawing and no ticking here: the screen draws
// the visible rows from the records' flags, and the ticks go through the
// library's selection (Engine/selection.h).
//
// Costs, for n items: building O(n); a move O(1); folding or unfolding
// O(rows after the cursor) (the row table is one vector); a search O(n)
// over every item, folded or not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Viewlist/tree_nodes.h"

namespace instkit::cli::setup {

class TTreeRows {
 public:
  // Every item unfolded, the cursor on the first.
  explicit TTreeRows(const TTreeNodes& items);

  size_t Count() const { return rows_.size(); }
  TTreeNode* Item(size_t row) const { return rows_[row]; }
  int Depth(const TTreeNode* item) const { return depth_[Index(item)]; }
  bool Folded(const TTreeNode* item) const { return folded_[Index(item)] != 0; }

  size_t Cursor() const { return cursor_; }
  // Null for an empty catalogue.
  TTreeNode* CursorItem() const { return rows_.empty() ? nullptr : rows_[cursor_]; }
  // Moves by `delta` rows, stopping at the first and the last.
  void MoveBy(long delta);
  void MoveTo(size_t row);
  // The first row of a window of `height` rows that shows the cursor,
  // moving as little as it can from the last answer.
  size_t Scroll(int height);

  // Folds the cursor's item (hides what is below it); false when it has no
  // children or is folded already.
  bool Fold();
  bool Unfold();
  // The cursor to the parent's row; false at the top level.
  bool ToParent();

  // Moves the cursor to the next item, in pre-order over all items (folded
  // ones too, which are unfolded to show it), whose short name contains
  // `pattern` (UTF-8, case-insensitive for Latin and Cyrillic letters);
  // wraps around.  From the cursor's own item when `here`, else from the
  // one after it (or before it, backwards).  False when none matches.
  bool Find(std::string_view pattern, bool forward, bool here);
  // Unfolds the item's ancestors and moves the cursor to it.
  void Reveal(const TTreeNode* item);

 private:
  size_t Index(const TTreeNode* item) const { return static_cast<size_t>(items_.IndexOf(item)); }
  size_t RowOf(const TTreeNode* item, size_t from) const;
  // The rows of the unfolded descendants of `item`, in pre-order.
  std::vector<TTreeNode*> VisibleBelow(const TTreeNode* item) const;

  const TTreeNodes& items_;
  std::vector<TTreeNode*> rows_;
  std::vector<int> depth_;    // by item index
  std::vector<char> folded_;  // by item index
  size_t cursor_ = 0;
  size_t top_ = 0;
};

}  // namespace instkit::cli::setup
