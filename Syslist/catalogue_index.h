// Internal: an index over a catalogue section and its subsystem sections, so
// that reading a catalogue is near-linear instead of scanning the whole
// catalogue for every subsystem.  It answers exactly what the plain scans
// answer (same children in the same order, same numbers and back references,
// same failures), which tests/Syslist checks against a plain reader.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/base/prefetch.h"

namespace instkit {

class TField;
class TSysNode;
class TIDFSection;
class TIDFTextFile;

// Positions grouped by an integer key, each group in the order added; stored
// as one sorted array so that a catalogue of any size costs a few allocations.
class TGroupIndex {
 public:
  void Add(int32_t key, int32_t position) { pairs_.emplace_back(key, position); }
  // Call once after the last Add.
  void Finish();
  std::span<const int32_t> Get(int32_t key) const;

 private:
  std::vector<std::pair<int32_t, int32_t>> pairs_;
  std::vector<int32_t> positions_;
  std::unordered_map<int32_t, std::pair<uint32_t, uint32_t>> ranges_;
  // Dense form: group k - dense_low_ is positions_[dense_[k] .. dense_[k + 1]).
  std::vector<uint32_t> dense_;
  int32_t dense_low_ = 0;
};

// Names to values in one open-addressing array (load at most one half), so a
// large catalogue costs two allocations instead of one node per name.  Each
// slot keeps 32 bits of its name's hash next to the item's position, so a
// probe reads the item (and its name) only when those bits match: in a large
// catalogue every item read is a cache miss.  Callers that know the names
// ahead can hash them first and prefetch their slots.  The names are views
// into strings that outlive the table; the first value put for a name stays.
template <typename V>
class TNameTable {
 public:
  static size_t Hash(std::string_view name) { return std::hash<std::string_view>{}(name); }

  void Reserve(size_t count) {
    items_.reserve(count);
    Rehash(count);
  }
  void PrefetchSlot(size_t hash) const {
    if (!slots_.empty()) Prefetch(&slots_[hash & mask_]);
  }
  // The value stored for the name (the existing one when the name is
  // already present) and whether it was added now.
  std::pair<const V*, bool> Emplace(std::string_view name, V value) {
    return Emplace(name, Hash(name), std::move(value));
  }
  std::pair<const V*, bool> Emplace(std::string_view name, size_t hash, V value) {
    if (2 * (items_.size() + 1) > slots_.size()) Rehash(items_.size() + 1);
    const uint64_t tag = Tag(hash);
    for (size_t s = hash & mask_;; s = (s + 1) & mask_) {
      const uint64_t slot = slots_[s];
      if (slot == 0) {
        items_.push_back({name, hash, std::move(value)});
        slots_[s] = tag | items_.size();
        return {&items_.back().value, true};
      }
      if ((slot & kTagMask) != tag) continue;
      const Item& item = items_[(slot & ~kTagMask) - 1];
      if (item.name == name) return {&item.value, false};
    }
  }
  const V* Find(std::string_view name) const {
    if (items_.empty()) return nullptr;
    const size_t hash = Hash(name);
    const uint64_t tag = Tag(hash);
    for (size_t s = hash & mask_;; s = (s + 1) & mask_) {
      const uint64_t slot = slots_[s];
      if (slot == 0) return nullptr;
      if ((slot & kTagMask) != tag) continue;
      const Item& item = items_[(slot & ~kTagMask) - 1];
      if (item.name == name) return &item.value;
    }
  }

 private:
  static constexpr uint64_t kTagMask = 0xFFFFFFFF00000000ull;
  static uint64_t Tag(size_t hash) { return static_cast<uint64_t>(hash) & kTagMask; }

  struct Item {
    std::string_view name;
    size_t hash;
    V value;
  };
  void Rehash(size_t count) {
    size_t capacity = 16;
    while (capacity < 2 * count) capacity *= 2;
    if (capacity <= slots_.size()) return;
    slots_.assign(capacity, 0);
    mask_ = capacity - 1;
    for (size_t i = 0; i < items_.size(); ++i) {
      size_t s = items_[i].hash & mask_;
      while (slots_[s] != 0) s = (s + 1) & mask_;
      slots_[s] = Tag(items_[i].hash) | (i + 1);
    }
  }
  std::vector<Item> items_;
  std::vector<uint64_t> slots_;  // hash tag | 1 + item position; 0 is free
  size_t mask_ = 0;
};

class TCatalogueIndex {
 public:
  // Reads every catalogue entry once.  Nothing here raises: failures that the
  // plain scans would raise are recorded and raised when asked for.
  TCatalogueIndex(const TIDFSection* catalogue, const TIDFTextFile* file);

  // A catalogue without failures (every value and "Parent" converts, every
  // "Depend" converts, and no two subsystems that would be loaded share a
  // number) gives the same tree whatever order its nodes are joined in.  For
  // such a catalogue the index can join every prepared node to its parent
  // while numbering them in catalogue order, instead of a walk in tree order
  // that visits the nodes scattered over memory.  The top-level nodes are
  // then left for the caller to add, without walking their children.
  // Returns false, changing nothing, for other catalogues.
  bool JoinChildren();
  // Without JoinChildren: gives the prepared nodes their numbers and back
  // references before a walk (LoadChildNodes) takes them.
  void NumberNodes() { NumberPrepared(nullptr); }

  // Members ordered so that an entry takes 48 bytes: a large catalogue has
  // one per subsystem.
  struct TEntry {
    const TField* field = nullptr;         // the catalogue parameter
    const TIDFSection* section = nullptr;  // first section of that name; null when none
    // A node already filled from the section (GetData), made while the
    // sections are visited in file order; the first reader of the entry takes
    // it.  Building every record in one sequential pass keeps a large
    // catalogue's reading cache-friendly.
    mutable std::unique_ptr<TSysNode> prepared;
    int32_t value = 0;
    int32_t parent = 0;
    int32_t sys_index = 0;  // what GetSysIndex gives for the entry's name
    // When prepared_numbered is set, the prepared node's SysIndex is
    // `numbered` and its BackRef is already BackRef(numbered), filled in file
    // order too.
    int32_t numbered = 0;
    bool value_ok = false;  // its value converts to an integer
    bool parent_ok = true;  // the section's "Parent" converts
    bool sys_index_known = false;
    bool prepared_numbered = false;
  };

  const std::vector<TEntry>& Entries() const { return entries_; }
  // Catalogue positions of the sections whose "Parent" is `parent` (not 0), in
  // catalogue order, limited to positions before the first unreadable
  // "Parent" (the plain scan raises there before going further).
  std::span<const int32_t> Children(int32_t parent) const;
  // True when some subsystem section's "Parent" does not convert: every
  // child scan then ends by raising that failure.
  bool ChildScanFails() const { return first_bad_parent_ >= 0; }
  // Raises the failure recorded for the first unreadable "Parent".
  [[noreturn]] void RaiseChildScanFailure() const;
  // A new node filled from the entry's section with GetData: the prepared
  // one the first time, a freshly filled one after that.
  std::unique_ptr<TSysNode> TakeNode(const TEntry& entry) const;
  // TakeNode, then SysIndex set to `number` and BackRef to BackRef(number),
  // raising as BackRef does.
  std::unique_ptr<TSysNode> TakeNumberedNode(const TEntry& entry, int32_t number) const;
  // What GetBackRef gives for a number; raises as it would.
  std::string BackRef(int32_t sys_index) const;
  // Counts one more node built from this index.  Raises ECatalogueError when
  // the catalogue expands to far more subsystems than it has entries, which
  // only a catalogue naming the same section many times over at several
  // levels can do; without it such a file could exhaust memory.
  void CountNode() const;

 private:
  std::vector<TEntry> entries_;
  TGroupIndex children_;
  int32_t first_bad_parent_ = -1;
  mutable int64_t node_budget_ = 0;
  std::string bad_parent_message_;

  // Back references.  For each entry whose "Depend" is not empty, the items
  // that convert before the first one that does not, and whether one failed.
  TGroupIndex hits_;  // number -> entries naming it
  // Numbering and back references of the prepared nodes, done once, with
  // each node joined to the node at join_to[its entry] when that is given.
  void NumberPrepared(const std::vector<int32_t>* join_to);
  // For JoinChildren: per entry, the entry whose node becomes its parent,
  // kTopLevel, or kNotLoaded; false when some number repeats.
  bool PlanJoin(std::vector<int32_t>& join_to) const;
  static constexpr int32_t kTopLevel = -1;
  static constexpr int32_t kNotLoaded = -2;
  bool numbered_ = false;

  // Per entry, what a back reference needs of it, in arrays small enough to
  // stay in the cache: its value, and whether the value's text is just that
  // number in decimal (then the text is made from the number, without
  // visiting the entry).
  std::vector<int32_t> entry_value_;
  std::vector<bool> plain_number_;
  std::unordered_map<int32_t, int32_t> failed_cover_;  // number -> failed entries that still answer it
  int32_t failed_count_ = 0;
  std::string depend_failure_message_;
  bool any_bad_value_ = false;
  std::string bad_value_message_;
};

}  // namespace instkit
