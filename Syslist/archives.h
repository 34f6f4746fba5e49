// Archive lists: the subsystems of a run grouped by the archive that holds
// them (TSysTree::GetArhiveName fills one); the archive names and the links
// of one subsystem, as those queries read them.
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

// The archive names of an Archive text, as GetArhiveName reads them: split
// at ","; every piece but the last trimmed, the last taken as it is; an
// empty piece between commas counts.
INSTKIT_API std::vector<std::string> ArchiveNamesOf(const std::string& archive);

// One item of a Links text: its kind and its value without the marker
// ("Title" or "Title|Command", host/platform/desktop_links.h).
struct TLinkItem {
  bool desktop = false;
  std::string value;
};
// The items of a Links text in order, as GetLinks reads them: an item
// ending in "?menu" is a menu link; any other item counts as a desktop link
// and loses its last 8 bytes (all of them when it is shorter).
INSTKIT_API std::vector<TLinkItem> LinkItemsOf(const std::string& links);

}  // namespace instkit
