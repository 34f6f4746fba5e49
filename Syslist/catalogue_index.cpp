// The catalogue index (catalogue_index.h): every catalogue entry read once,
// children grouped by parent, back references from one pass over the
// "Depend" texts, and the numbering and joining of the nodes prepared while
// reading.
#include "Syslist/catalogue_index.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "Syslist/catalogue_format.h"
#include "Syslist/sys_node.h"
#include "Tidf/idf_text_file.h"
#include "host/base/exception.h"
#include "host/base/prefetch.h"
#include "host/base/text.h"

namespace instkit {

TCatalogueIndex::TCatalogueIndex(const TIDFSection* catalogue, const TIDFTextFile* file) {
  if (catalogue == nullptr || file == nullptr) return;

  // Sections by name, the first of a name winning as GetSectionByName does.
  // A catalogue usually lists its subsystems in the order of their sections,
  // so each name is first tried against the section after the one found
  // last; that guess holds when the section is the first of its name.
  const int32_t section_count = file->GetSectionCount();
  TNameTable<int32_t> sections;
  sections.Reserve(static_cast<size_t>(section_count));
  std::vector<bool> first_of_name(static_cast<size_t>(section_count));
  // Sections enter the table in file order, as far as the reading has come:
  // a catalogue in section order then indexes each section while reading
  // it, when it is in the cache anyway.  A name looked up out of order
  // needs the whole table and indexes the rest at once.
  int32_t indexed = 0;
  auto index_up_to = [&](int32_t end) {
    for (; indexed < end; ++indexed) {
      first_of_name[static_cast<size_t>(indexed)] =
          sections.Emplace(file->GetSection(indexed)->SectionName, indexed).second;
    }
  };
  // The sections ahead are asked for early, and then their table slots.
  auto prefetch_ahead = [&](int32_t next) {
    if (next + 8 < section_count) Prefetch(file->GetSection(next + 8));
    if (next + 4 < section_count && next + 4 >= indexed) {
      sections.PrefetchSlot(TNameTable<int32_t>::Hash(file->GetSection(next + 4)->SectionName));
    }
  };
  // GetSysIndex gives a name the value of its first catalogue entry whose
  // value converts.  Entries of one name find the same section (the first of
  // that name), so for names that have a section the number is kept per
  // section; the few names without one go to a table of their own.
  std::vector<int32_t> number_of_section(static_cast<size_t>(section_count));
  std::vector<bool> section_numbered(static_cast<size_t>(section_count));
  std::vector<int32_t> section_of_entry;
  TNameTable<int32_t> numbers_without_section;
  int32_t last_found = -1;

  // Back references: every "Depend" is parsed once, right after its record
  // is filled, while that record is still in the cache.
  std::vector<int32_t> good, seen;
  auto read_depend_of = [this, &good, &seen](int32_t i, const TEntry& e) {
    if (e.section == nullptr || !e.value_ok) return;
    // The prepared node already holds the section's "Depend".
    std::string read_depend;
    if (!e.prepared) read_depend = TCustomSysNode::GetParamAsString(e.section, kKeyDepend);
    const std::string& depend = e.prepared ? e.prepared->Info->Depend : read_depend;
    if (depend.empty()) return;
    good.clear();
    bool failed = false;
    try {
      ScanDepend(depend, [&good](int32_t item) {
        good.push_back(item);
        return false;
      });
    } catch (const Exception& failure) {
      failed = true;
      if (failed_count_ == 0) depend_failure_message_ = failure.Message();
    }
    // One entry answers each number at most once (lists are short).
    seen.clear();
    for (int32_t item : good) {
      if (std::find(seen.begin(), seen.end(), item) != seen.end()) continue;
      seen.push_back(item);
      hits_.Add(item, i);
    }
    if (failed) {
      ++failed_count_;
      // The entry is skipped for its own number.
      if (std::find(seen.begin(), seen.end(), e.value) == seen.end()) seen.push_back(e.value);
      for (int32_t number : seen) ++failed_cover_[number];
    }
  };

  const int32_t count = catalogue->GetFieldCount();
  node_budget_ = 8 * static_cast<int64_t>(count) + 1024;
  entries_.resize(static_cast<size_t>(count));
  section_of_entry.assign(static_cast<size_t>(count), -1);
  entry_value_.assign(static_cast<size_t>(count), 0);
  plain_number_.assign(static_cast<size_t>(count), false);
  for (int32_t i = 0; i < count; ++i) {
    if (i + 8 < count) Prefetch(catalogue->GetFields(i + 8));
    TEntry& e = entries_[static_cast<size_t>(i)];
    e.field = catalogue->GetFields(i);
    try {
      e.value = e.field->GetAsInteger();
      e.value_ok = true;
      entry_value_[static_cast<size_t>(i)] = e.value;
      const std::string* text = std::get_if<std::string>(&e.field->GetValue());
      plain_number_[static_cast<size_t>(i)] = text != nullptr && *text == IntToStr(e.value);
    } catch (const Exception& failure) {
      if (!any_bad_value_) bad_value_message_ = failure.Message();
      any_bad_value_ = true;
    }
    int32_t found_at = -1;
    const int32_t guess = last_found + 1;
    prefetch_ahead(guess);
    if (guess < section_count) index_up_to(guess + 1);
    if (guess < section_count && first_of_name[static_cast<size_t>(guess)] &&
        file->GetSection(guess)->SectionName == e.field->Name()) {
      found_at = guess;
    } else {
      index_up_to(section_count);
      if (const int32_t* found = sections.Find(e.field->Name())) found_at = *found;
    }
    // The first convertible value of a name wins; most names are unique, and
    // then the entry's own value is its number.
    if (found_at < 0) {
      if (e.value_ok) {
        e.sys_index = *numbers_without_section.Emplace(e.field->Name(), e.value).first;
        e.sys_index_known = true;
      }
      continue;
    }
    last_found = found_at;
    section_of_entry[static_cast<size_t>(i)] = found_at;
    if (e.value_ok) {
      const auto s = static_cast<size_t>(found_at);
      if (!section_numbered[s]) {
        section_numbered[s] = true;
        number_of_section[s] = e.value;
      }
      e.sys_index = number_of_section[s];
      e.sys_index_known = true;
    }
    e.section = file->GetSection(last_found);
    // GetData reads "Parent" as GetParamAsInteger does and raises only when
    // it does not convert, so the prepared node gives the entry's parent.
    try {
      auto node = std::make_unique<TSysNode>();
      node->GetData(e.section);
      e.parent = node->Info->Parent;
      e.prepared = std::move(node);
    } catch (const Exception& failure) {
      e.parent_ok = false;
      if (first_bad_parent_ < 0) {
        first_bad_parent_ = i;
        bad_parent_message_ = failure.Message();
      }
    }
    if (first_bad_parent_ < 0 && e.parent != 0) children_.Add(e.parent, i);
    read_depend_of(i, e);
  }
  children_.Finish();
  // Entries whose own value does not convert take the number of a later
  // entry of the same name, if any.
  for (size_t i = 0; i < entries_.size(); ++i) {
    TEntry& e = entries_[i];
    if (e.sys_index_known) continue;
    const int32_t s = section_of_entry[i];
    if (s >= 0) {
      e.sys_index = section_numbered[static_cast<size_t>(s)] ? number_of_section[static_cast<size_t>(s)] : 0;
    } else {
      const int32_t* found = numbers_without_section.Find(e.field->Name());
      e.sys_index = found == nullptr ? 0 : *found;
    }
  }

  hits_.Finish();

  // The prepared nodes are numbered and given their back references by
  // NumberPrepared, in the order they were made, rather than during the tree
  // walk, which visits them in tree order.
}

void TCatalogueIndex::NumberPrepared(const std::vector<int32_t>* join_to) {
  // Children take the number of their name, top-level subsystems their own
  // value; the two differ only when a name repeats.  When back references
  // fail, the walk asks for them (and raises) itself.
  if (numbered_ || any_bad_value_ || failed_count_ > 0) return;
  numbered_ = true;
  // Every prepared node exists before the first is joined, so a parent
  // later in the catalogue than its child is found too.
  std::vector<TSysNode*> nodes;
  std::vector<int32_t> children;  // per entry, how many nodes join it
  if (join_to != nullptr) {
    nodes.resize(entries_.size());
    children.resize(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
      nodes[i] = entries_[i].prepared.get();
      if ((*join_to)[i] >= 0) ++children[static_cast<size_t>((*join_to)[i])];
    }
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    TEntry& e = entries_[i];
    if (!e.prepared) continue;
    e.numbered = e.parent == 0 ? e.value : e.sys_index;
    e.prepared->Info->SysIndex = e.numbered;
    e.prepared->Info->BackRef = BackRef(e.numbered);
    e.prepared_numbered = true;
    if (join_to == nullptr) continue;
    const int32_t parent = (*join_to)[i];
    if (parent < 0) continue;
    TSysNode* parent_node = nodes[static_cast<size_t>(parent)];
    if (parent_node->Nodes.empty())
      parent_node->Nodes.reserve(static_cast<size_t>(children[static_cast<size_t>(parent)]));
    parent_node->AddNode(std::move(e.prepared));
  }
}

bool TCatalogueIndex::PlanJoin(std::vector<int32_t>& join_to) const {
  const size_t count = entries_.size();
  // The number each prepared node will carry, and the entry carrying it.
  auto number_of = [](const TEntry& e) { return e.parent == 0 ? e.value : e.sys_index; };
  int64_t low = INT64_MAX, high = INT64_MIN;
  for (const TEntry& e : entries_) {
    if (!e.prepared) continue;
    low = std::min<int64_t>(low, number_of(e));
    high = std::max<int64_t>(high, number_of(e));
  }
  join_to.assign(count, kNotLoaded);
  if (low > high) return true;  // no entry has a section: nothing is loaded
  const bool dense = high - low < 4 * static_cast<int64_t>(count) + 64;
  std::vector<int32_t> dense_carrier;
  std::unordered_map<int32_t, int32_t> sparse_carrier;
  if (dense) {
    dense_carrier.assign(static_cast<size_t>(high - low + 1), -1);
  } else {
    sparse_carrier.reserve(count);
  }
  for (size_t i = 0; i < count; ++i) {
    const TEntry& e = entries_[i];
    if (!e.prepared) continue;
    const int32_t number = number_of(e);
    int32_t& carrier = dense ? dense_carrier[static_cast<size_t>(number - low)]
                             : sparse_carrier.try_emplace(number, -1).first->second;
    if (carrier >= 0) return false;  // two nodes of one number: the walk decides
    carrier = static_cast<int32_t>(i);
  }
  auto carrier_of = [&](int32_t number) -> int32_t {
    if (dense) {
      if (number < low || number > high) return -1;
      return dense_carrier[static_cast<size_t>(number - low)];
    }
    const auto found = sparse_carrier.find(number);
    return found == sparse_carrier.end() ? -1 : found->second;
  };

  // Which nodes the walk would reach: the top-level ones with a number, and
  // those whose chain of parents ends at one.  A chain that ends nowhere or
  // runs in a circle is never reached.
  enum : uint8_t { kUnknown, kReached, kNotReached, kOnChain };
  std::vector<uint8_t> state(count, kUnknown);
  std::vector<int32_t> chain;
  for (size_t start = 0; start < count; ++start) {
    if (!entries_[start].prepared || state[start] != kUnknown) continue;
    chain.clear();
    int32_t at = static_cast<int32_t>(start);
    uint8_t outcome = kNotReached;
    for (;;) {
      const TEntry& e = entries_[static_cast<size_t>(at)];
      uint8_t& s = state[static_cast<size_t>(at)];
      if (s == kReached || s == kNotReached) {
        outcome = s;
        break;
      }
      if (s == kOnChain) break;  // a circle
      if (e.parent == 0) {
        outcome = e.value != 0 ? kReached : kNotReached;
        s = outcome;
        if (outcome == kReached) join_to[static_cast<size_t>(at)] = kTopLevel;
        break;
      }
      s = kOnChain;
      chain.push_back(at);
      const int32_t parent = carrier_of(e.parent);
      if (parent < 0) break;  // an orphan
      join_to[static_cast<size_t>(at)] = parent;
      at = parent;
    }
    for (int32_t link : chain) {
      state[static_cast<size_t>(link)] = outcome;
      if (outcome != kReached) join_to[static_cast<size_t>(link)] = kNotLoaded;
    }
  }
  return true;
}

bool TCatalogueIndex::JoinChildren() {
  if (numbered_ || any_bad_value_ || failed_count_ > 0 || first_bad_parent_ >= 0) return false;
  std::vector<int32_t> join_to;
  if (!PlanJoin(join_to)) return false;
  NumberPrepared(&join_to);
  return true;
}

void TGroupIndex::Finish() {
  // Keys are subsystem numbers, usually close together: then a plain array
  // indexed by key answers without hashing, and a counting sort groups the
  // positions (keeping their order) in linear time.  Sparse keys are sorted
  // and use a hash map.
  if (!pairs_.empty()) {
    int64_t low = pairs_.front().first, high = low;
    for (const auto& pair : pairs_) {
      low = std::min<int64_t>(low, pair.first);
      high = std::max<int64_t>(high, pair.first);
    }
    positions_.resize(pairs_.size());
    if (high - low < 4 * static_cast<int64_t>(pairs_.size()) + 64) {
      dense_low_ = static_cast<int32_t>(low);
      dense_.assign(static_cast<size_t>(high - low + 2), 0);
      for (const auto& pair : pairs_) ++dense_[static_cast<size_t>(pair.first - low) + 1];
      for (size_t k = 1; k < dense_.size(); ++k) dense_[k] += dense_[k - 1];  // group starts
      std::vector<uint32_t> next(dense_.begin(), dense_.end() - 1);
      for (const auto& pair : pairs_) positions_[next[static_cast<size_t>(pair.first - low)]++] = pair.second;
    } else {
      std::stable_sort(pairs_.begin(), pairs_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t i = 0; i < pairs_.size(); ++i) positions_[i] = pairs_[i].second;
      ranges_.reserve(pairs_.size());
      for (size_t i = 0; i < pairs_.size(); ++i) {
        auto range = ranges_.try_emplace(pairs_[i].first, static_cast<uint32_t>(i), static_cast<uint32_t>(i)).first;
        range->second.second = static_cast<uint32_t>(i + 1);
      }
    }
  }
  pairs_.clear();
  pairs_.shrink_to_fit();
}

std::span<const int32_t> TGroupIndex::Get(int32_t key) const {
  if (!dense_.empty()) {
    const int64_t k = static_cast<int64_t>(key) - dense_low_;
    if (k < 0 || k + 1 >= static_cast<int64_t>(dense_.size())) return {};
    const uint32_t begin = dense_[static_cast<size_t>(k)], end = dense_[static_cast<size_t>(k) + 1];
    return std::span<const int32_t>(positions_).subspan(begin, end - begin);
  }
  auto found = ranges_.find(key);
  if (found == ranges_.end()) return {};
  return std::span<const int32_t>(positions_).subspan(found->second.first, found->second.second - found->second.first);
}

std::unique_ptr<TSysNode> TCatalogueIndex::TakeNode(const TEntry& entry) const {
  if (entry.prepared) return std::move(entry.prepared);
  auto node = std::make_unique<TSysNode>();
  node->GetData(entry.section);
  return node;
}

std::unique_ptr<TSysNode> TCatalogueIndex::TakeNumberedNode(const TEntry& entry, int32_t number) const {
  if (entry.prepared && entry.prepared_numbered && entry.numbered == number) return std::move(entry.prepared);
  auto node = TakeNode(entry);  // filled by GetData
  node->Info->SysIndex = number;
  node->Info->BackRef = BackRef(number);
  return node;
}

std::span<const int32_t> TCatalogueIndex::Children(int32_t parent) const {
  if (parent == 0) return {};
  return children_.Get(parent);
}

void TCatalogueIndex::RaiseChildScanFailure() const { throw EConvertError(bad_parent_message_); }

void TCatalogueIndex::CountNode() const {
  if (--node_budget_ < 0) throw ECatalogueError("the catalogue expands to too many subsystems");
}


std::string TCatalogueIndex::BackRef(int32_t sys_index) const {
  // The plain scan converts every catalogue value, so one that does not
  // convert fails every back-reference scan.
  if (any_bad_value_) throw EConvertError(bad_value_message_);
  // A "Depend" that fails to convert fails the scan for every number it does
  // not name before the failing item (and that is not its own).
  if (failed_count_ > 0) {
    auto cover = failed_cover_.find(sys_index);
    const int32_t covered = cover == failed_cover_.end() ? 0 : cover->second;
    if (covered < failed_count_) throw EConvertError(depend_failure_message_);
  }
  std::string result;
  for (int32_t i : hits_.Get(sys_index)) {
    const int32_t value = entry_value_[static_cast<size_t>(i)];  // entries with hits have one
    if (value == sys_index) continue;
    if (!result.empty()) result += ',';
    if (plain_number_[static_cast<size_t>(i)]) {
      result += IntToStr(value);
      continue;
    }
    result += entries_[static_cast<size_t>(i)].field->GetAsString();
  }
  return result;
}

}  // namespace instkit
