#include "Viewlist/view_list.h"

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/exception.h"

namespace instkit {

TViewList::~TViewList() { Clear(); }

void TViewList::AddRecord(int32_t SysIndex, TItemHandle Item) {
  auto record = std::make_unique<TViewRecord>();
  record->SysIndex = SysIndex;
  record->ItemId = Item;
  first_.emplace(SysIndex, record.get());  // keeps an earlier record of the number
  records_.push_back(std::move(record));
}

void TViewList::DeleteRecord(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  const TViewRecord* doomed = records_[static_cast<size_t>(Index)].get();
  const int32_t number = doomed->SysIndex;
  records_.erase(records_.begin() + Index);
  auto hit = first_.find(number);
  if (hit == first_.end() || hit->second != doomed) return;
  // The indexed record went: the next one of that number takes over.
  first_.erase(hit);
  for (const auto& record : records_) {
    if (record->SysIndex == number) {
      first_.emplace(number, record.get());
      break;
    }
  }
}

void TViewList::Clear() {
  first_.clear();
  while (!records_.empty()) records_.pop_back();
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
  auto hit = first_.find(SysIndex);
  return hit == first_.end() ? kNoItem : hit->second->ItemId;
}

}  // namespace instkit
