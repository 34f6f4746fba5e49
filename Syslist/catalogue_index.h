// Internal: an index over a catalogue section and its subsystem sections, so
// that reading a catalogue is near-linear instead of scanning the whole
// catalogue for every subsystem.  It answers exactly what the plain scans
// answer (same children in the same order, same numbers and back references,
// same failures), which tests/Syslist checks against a plain reader.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace instkit {

class TField;
class TIDFSection;
class TIDFTextFile;

class TCatalogueIndex {
 public:
  // Reads every catalogue entry once.  Nothing here raises: failures that the
  // plain scans would raise are recorded and raised when asked for.
  TCatalogueIndex(const TIDFSection* catalogue, const TIDFTextFile* file);

  struct TEntry {
    const TField* field = nullptr;        // the catalogue parameter
    const TIDFSection* section = nullptr; // first section of that name; null when none
    bool value_ok = false;                // its value converts to an integer
    int32_t value = 0;
    bool parent_ok = true;                // the section's "Parent" converts
    int32_t parent = 0;
  };

  const std::vector<TEntry>& Entries() const { return entries_; }
  // Catalogue positions of the sections whose "Parent" is `parent` (not 0), in
  // catalogue order, limited to positions before the first unreadable
  // "Parent" (the plain scan raises there before going further).
  const std::vector<int32_t>& Children(int32_t parent) const;
  // True when some subsystem section's "Parent" does not convert: every
  // child scan then ends by raising that failure.
  bool ChildScanFails() const { return first_bad_parent_ >= 0; }
  // Raises the failure recorded for the first unreadable "Parent".
  [[noreturn]] void RaiseChildScanFailure() const;
  // What GetSysIndex gives for a section name.
  int32_t SysIndexOf(const std::string& name) const;
  // What GetBackRef gives for a number; raises as it would.
  std::string BackRef(int32_t sys_index) const;

 private:
  std::vector<TEntry> entries_;
  std::unordered_map<int32_t, std::vector<int32_t>> children_;
  std::unordered_map<std::string, int32_t> sys_index_by_name_;
  int32_t first_bad_parent_ = -1;
  std::string bad_parent_message_;

  // Back references.  For each entry whose "Depend" is not empty, the items
  // that convert before the first one that does not, and whether one failed.
  std::unordered_map<int32_t, std::vector<int32_t>> hits_;   // number -> entries naming it
  std::unordered_map<int32_t, int32_t> failed_cover_;        // number -> failed entries that still answer it
  int32_t failed_count_ = 0;
  std::string depend_failure_message_;
  bool any_bad_value_ = false;
  std::string bad_value_message_;
};

}  // namespace instkit
