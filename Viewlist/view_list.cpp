#include "Viewlist/view_list.h"

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/exception.h"

namespace instkit {

TViewList::~TViewList() { Clear(); }

namespace {

size_t SlotOf(int32_t number, size_t mask) {
  // Fibonacci hashing spreads consecutive numbers over the table.
  return static_cast<size_t>((static_cast<uint64_t>(static_cast<uint32_t>(number)) * 0x9E3779B97F4A7C15ull) >> 17) &
         mask;
}

}  // namespace

void TViewList::AddRecord(int32_t SysIndex, TItemHandle Item) {
  auto record = std::make_unique<TViewRecord>();
  record->SysIndex = SysIndex;
  record->ItemId = Item;
  records_.push_back(std::move(record));
  if (!stale_) Index(SysIndex, Item);
}

// Adds the number unless an earlier record holds it (the first one wins).
void TViewList::Index(int32_t SysIndex, TItemHandle ItemId) {
  if (static_cast<size_t>(indexed_ + 1) * 2 > slots_.size()) {
    Rebuild();  // grows; the new record is already in records_
    return;
  }
  const size_t mask = slots_.size() - 1;
  for (size_t slot = SlotOf(SysIndex, mask);; slot = (slot + 1) & mask) {
    if (!slots_[slot].used) {
      slots_[slot] = {true, SysIndex, ItemId};
      ++indexed_;
      return;
    }
    if (slots_[slot].SysIndex == SysIndex) return;
  }
}

void TViewList::Rebuild() const {
  size_t size = 16;
  while (size < records_.size() * 2 + 2) size *= 2;
  slots_.assign(size, TSlot{false, 0, kNoItem});
  indexed_ = 0;
  stale_ = false;
  const size_t mask = size - 1;
  for (const auto& record : records_) {
    for (size_t slot = SlotOf(record->SysIndex, mask);; slot = (slot + 1) & mask) {
      if (!slots_[slot].used) {
        slots_[slot] = {true, record->SysIndex, record->ItemId};
        ++indexed_;
        break;
      }
      if (slots_[slot].SysIndex == record->SysIndex) break;
    }
  }
}

void TViewList::DeleteRecord(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  records_.erase(records_.begin() + Index);
  stale_ = true;
}

void TViewList::Clear() {
  while (!records_.empty()) records_.pop_back();
  slots_.clear();
  indexed_ = 0;
  stale_ = false;
}

bool TViewList::Load(TTreeNodes* Nodes) {
  Clear();
  try {
    if (Nodes == nullptr) throw Exception("ETreeViewError", "no item list");
    WalkPreOrder(Nodes, [this](TTreeNode* item) {
      AddRecord(ItemRecord(item)->SysIndex, item->ItemId());
      return true;
    });
    return true;
  } catch (...) {
    return false;
  }
}

const TViewRecord* TViewList::Get(int32_t Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return records_[static_cast<size_t>(Index)].get();
}

TItemHandle TViewList::FindItem(int32_t SysIndex) const {
  if (stale_) Rebuild();
  if (slots_.empty()) return kNoItem;
  const size_t mask = slots_.size() - 1;
  for (size_t slot = SlotOf(SysIndex, mask);; slot = (slot + 1) & mask) {
    if (!slots_[slot].used) return kNoItem;
    if (slots_[slot].SysIndex == SysIndex) return slots_[slot].ItemId;
  }
}

}  // namespace instkit
