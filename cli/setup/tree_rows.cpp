#include "cli/setup/tree_rows.h"

#include <algorithm>

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/base/codepage.h"

namespace instkit::cli::setup {

namespace {

// Windows-1251 lower case: Latin, Cyrillic А..Я, Ё.
char Lower(char c) {
  const auto b = static_cast<unsigned char>(c);
  if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) return static_cast<char>(b + 32);
  if (b == 0xA8) return static_cast<char>(0xB8);
  return c;
}

bool Contains(const std::string& text, const std::string& lowered_pattern) {
  if (lowered_pattern.empty()) return true;
  if (text.size() < lowered_pattern.size()) return false;
  for (size_t i = 0; i + lowered_pattern.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < lowered_pattern.size() && Lower(text[i + k]) == lowered_pattern[k]) ++k;
    if (k == lowered_pattern.size()) return true;
  }
  return false;
}

}  // namespace

TTreeRows::TTreeRows(const TTreeNodes& items) : items_(items) {
  const size_t n = static_cast<size_t>(items.GetCount());
  rows_.reserve(n);
  depth_.assign(n, 0);
  folded_.assign(n, 0);
  WalkItems(&items, [this](TTreeNode* item) {
    depth_[Index(item)] = item->Parent() == nullptr ? 0 : depth_[Index(item->Parent())] + 1;
    rows_.push_back(item);
  });
}

void TTreeRows::MoveBy(long delta) {
  if (rows_.empty()) return;
  const long last = static_cast<long>(rows_.size()) - 1;
  cursor_ = static_cast<size_t>(std::clamp(static_cast<long>(cursor_) + delta, 0L, last));
}

void TTreeRows::MoveTo(size_t row) {
  if (!rows_.empty()) cursor_ = std::min(row, rows_.size() - 1);
}

size_t TTreeRows::Scroll(int height) {
  const size_t h = static_cast<size_t>(std::max(height, 1));
  if (cursor_ < top_) top_ = cursor_;
  if (cursor_ >= top_ + h) top_ = cursor_ - h + 1;
  top_ = std::min(top_, rows_.size() > h ? rows_.size() - h : 0);
  return top_;
}

std::vector<TTreeNode*> TTreeRows::VisibleBelow(const TTreeNode* item) const {
  std::vector<TTreeNode*> out;
  std::vector<TTreeNode*> pending;
  for (TTreeNode* c = item->GetLastChild(); c != nullptr; c = c->getPrevSibling()) pending.push_back(c);
  while (!pending.empty()) {
    TTreeNode* at = pending.back();
    pending.pop_back();
    out.push_back(at);
    if (folded_[Index(at)]) continue;
    for (TTreeNode* c = at->GetLastChild(); c != nullptr; c = c->getPrevSibling()) pending.push_back(c);
  }
  return out;
}

bool TTreeRows::Fold() {
  TTreeNode* item = CursorItem();
  if (item == nullptr || !item->HasChildren() || folded_[Index(item)]) return false;
  folded_[Index(item)] = 1;
  const int depth = depth_[Index(item)];
  size_t end = cursor_ + 1;
  while (end < rows_.size() && depth_[Index(rows_[end])] > depth) ++end;
  rows_.erase(rows_.begin() + static_cast<long>(cursor_) + 1, rows_.begin() + static_cast<long>(end));
  return true;
}

bool TTreeRows::Unfold() {
  TTreeNode* item = CursorItem();
  if (item == nullptr || !folded_[Index(item)]) return false;
  folded_[Index(item)] = 0;
  const std::vector<TTreeNode*> below = VisibleBelow(item);
  rows_.insert(rows_.begin() + static_cast<long>(cursor_) + 1, below.begin(), below.end());
  return true;
}

bool TTreeRows::ToParent() {
  TTreeNode* item = CursorItem();
  if (item == nullptr || item->Parent() == nullptr) return false;
  // The parent is above, and its row is the nearest one with a smaller depth.
  const int depth = depth_[Index(item)];
  size_t row = cursor_;
  while (row > 0 && depth_[Index(rows_[row])] >= depth) --row;
  cursor_ = row;
  return true;
}

size_t TTreeRows::RowOf(const TTreeNode* item, size_t from) const {
  const auto it = std::find(rows_.begin() + static_cast<long>(std::min(from, rows_.size())), rows_.end(), item);
  return it == rows_.end() ? rows_.size() : static_cast<size_t>(it - rows_.begin());
}

void TTreeRows::Reveal(const TTreeNode* item) {
  std::vector<const TTreeNode*> chain;
  for (const TTreeNode* up = item->Parent(); up != nullptr; up = up->Parent()) chain.push_back(up);
  size_t row = 0;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    row = RowOf(*it, row);
    if (row == rows_.size()) return;
    if (folded_[Index(*it)]) {
      cursor_ = row;
      Unfold();
    }
  }
  row = RowOf(item, row);
  if (row < rows_.size()) cursor_ = row;
}

bool TTreeRows::Find(std::string_view pattern, bool forward, bool here) {
  const int32_t n = items_.GetCount();
  if (n == 0) return false;
  std::string lowered = Utf8ToCp1251(pattern);
  for (char& c : lowered) c = Lower(c);
  // Items are numbered in pre-order: the catalogue fills the view that way.
  const int32_t start = items_.IndexOf(CursorItem());
  const int32_t step = forward ? 1 : n - 1;
  int32_t at = here ? start : (start + step) % n;
  for (int32_t k = 0; k < n; ++k, at = (at + step) % n) {
    const TTreeNode* item = items_.Item(at);
    if (Contains(ItemRecord(item)->ShortName, lowered)) {
      Reveal(item);
      return true;
    }
  }
  return false;
}

}  // namespace instkit::cli::setup
