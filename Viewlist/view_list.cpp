#include "Viewlist/view_list.h"

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/base/exception.h"

namespace instkit {

TViewList::~TViewList() { Clear(); }

void TViewList::AddRecord(int32_t SysIndex, TItemHandle Item) {
  records_.push_back(TViewRecord{SysIndex, Item});
  if (!stale_) index_.Insert(SysIndex, Item);  // keeps an earlier record's
}

void TViewList::Rebuild() const {
  index_.Clear();
  for (const TViewRecord& record : records_) index_.Insert(record.SysIndex, record.ItemId);
  stale_ = false;
}

void TViewList::DeleteRecord(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  records_.erase(records_.begin() + Index);
  stale_ = true;
}

void TViewList::Clear() {
  while (!records_.empty()) records_.pop_back();  // last to first
  index_.Clear();
  stale_ = false;
}

bool TViewList::Load(TTreeNodes* Nodes) {
  Clear();
  try {
    if (Nodes == nullptr) throw Exception("ETreeViewError", "no item list");
    index_.Reserve(static_cast<size_t>(Nodes->GetCount()));
    WalkItems(Nodes, [this](TTreeNode* item) {
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
  return &records_[static_cast<size_t>(Index)];
}

TItemHandle TViewList::FindItem(int32_t SysIndex) const {
  if (stale_) Rebuild();
  const TItemHandle* item = index_.Find(SysIndex);
  return item ? *item : kNoItem;
}

}  // namespace instkit
