// The table from subsystem numbers to tree-view items that the selection
// view uses to follow dependency references.
//
// Built once from the host's item list (Load), in pre-order; it must be
// rebuilt whenever the host refills its tree view, since a stale table finds
// no item or the wrong one.  A hash index answers FindItem in constant time;
// when two records carry the same number, the first one in the table wins.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "host/base/export.h"
#include "host/base/int_hash_map.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {

struct TViewRecord {
  int32_t SysIndex = 0;
  TItemHandle ItemId = kNoItem;
};

class INSTKIT_API TViewList {
 public:
  TViewList() = default;
  // Clears, so every record is freed.
  ~TViewList();
  TViewList(const TViewList&) = delete;
  TViewList& operator=(const TViewList&) = delete;

  // Appends a new record.
  void AddRecord(int32_t SysIndex, TItemHandle Item);
  // Removes and frees the record at Index; nothing outside 0 .. Count - 1.
  void DeleteRecord(int32_t Index);
  // Deletes the records from the last to the first.
  void Clear();
  // Clear, then one record per item in pre-order: (the number in the item's
  // record, the item's handle).  False when anything failed (a null list, an
  // item without a record); the records added until then stay.  An empty
  // list gives an empty table and true.
  bool Load(TTreeNodes* Nodes);

  int32_t Count() const { return static_cast<int32_t>(records_.size()); }
  // The record at Index; null outside 0 .. Count - 1.  Valid until the next
  // DeleteRecord or Clear.
  const TViewRecord* Get(int32_t Index) const;
  // The handle of the first record with that number; kNoItem when none.
  TItemHandle FindItem(int32_t SysIndex) const;

 private:
  void Rebuild() const;

  std::deque<TViewRecord> records_;  // no allocation per record
  // Number -> handle of the first record carrying it.  Appends keep it
  // current; a deletion marks it stale and the next lookup rebuilds it.
  mutable TInt32HashMap<TItemHandle> index_;
  mutable bool stale_ = false;
};

}  // namespace instkit
