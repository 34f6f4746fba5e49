// Archive lists: the subsystems of a run grouped by the archive that holds
// them (TSysTree::GetArhiveName fills one).
//
// A TArchive points at catalogue records without owning them; a TArchiveList
// owns its TArchive objects.  The catalogue must outlive the list, or the
// list must be cleared first.  Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

class TSubsystemInfo;

class INSTKIT_API TArchive {
 public:
  std::string Name;  // as first met: later spellings differing in case join it

  // Appends the record (duplicates allowed); returns its index.
  int32_t AddSys(TSubsystemInfo* Sys);
  // The record at Index; null outside 0 .. Count - 1.
  TSubsystemInfo* GetSysItem(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

 private:
  std::vector<TSubsystemInfo*> items_;
};

class INSTKIT_API TArchiveList {
 public:
  TArchiveList() = default;
  // Clear, then the list goes.
  virtual ~TArchiveList();
  TArchiveList(const TArchiveList&) = delete;
  TArchiveList& operator=(const TArchiveList&) = delete;

  // Adds Sys to the first archive whose name equals Name with the letters
  // a-z compared without regard to case (all other bytes exactly); creates
  // and appends an archive named Name when there is none.
  void AddArc(const std::string& Name, TSubsystemInfo* Sys);
  // The archive at Index; null outside 0 .. Count - 1.
  TArchive* GetArcItem(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(archives_.size()); }
  // Frees every archive and empties the list.
  virtual void Clear();

 private:
  std::vector<std::unique_ptr<TArchive>> archives_;
};

}  // namespace instkit
