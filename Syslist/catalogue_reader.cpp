// Reading the subsystem catalogue from an IDF text file.
//
// The per-subsystem operations (GetSysIndex, GetBackRef, LoadChildNodes with
// a section and a file) scan the catalogue as their contracts describe.
// LoadFromIDFFile reads through a TCatalogueIndex instead, built once, which
// gives the same tree in near-linear time; the subtree walk is iterative, so
// deep catalogues do not exhaust the stack.
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "Syslist/catalogue_format.h"
#include "Syslist/catalogue_index.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/operator_texts.h"
#include "host/base/prefetch.h"
#include "host/platform/message_box.h"
#include "host/base/text.h"
#include "host/base/variant.h"

namespace instkit {

namespace {

// False for keys that LinkKindOfKey certainly gives None: a link key's
// prefix is a full "MenuLink" or "DesktopLink" with no blank before it, so
// it starts with an M or a D.
inline bool MayBeLinkKey(std::string_view key) {
  if (key.empty()) return false;
  const char c = static_cast<char>(key[0] | 0x20);
  return c == 'm' || c == 'd';
}

// True when the value's text form is empty, without making that text.
bool IsEmptyText(const TVariant& value) {
  if (std::holds_alternative<std::monostate>(value)) return true;
  if (const std::string* s = std::get_if<std::string>(&value)) return s->empty();
  return VariantToString(value).empty();
}

}  // namespace

TLinkKind LinkKindOfKey(std::string_view key) {
  // The prefix is cut before the blanks are trimmed: " MenuLink1" is no link.
  // Upper-casing a-z and comparing with an all-capitals prefix is a
  // case-blind comparison.
  if (AsciiEqualNoCase(Trim(key.substr(0, 8)), kLinkPrefixMenu)) return TLinkKind::Menu;
  if (AsciiEqualNoCase(Trim(key.substr(0, 11)), kLinkPrefixDesktop)) return TLinkKind::Desktop;
  return TLinkKind::None;
}

int32_t TCustomSysNode::GetParamAsInteger(const TIDFSection* Section, const std::string& Name) {
  if (Section == nullptr) return 0;
  const TField* field = Section->FieldByName(Name);
  if (field == nullptr || field->GetAsString().empty()) return 0;
  return field->GetAsInteger();
}

std::string TCustomSysNode::GetParamAsString(const TIDFSection* Section, const std::string& Name) {
  if (Section == nullptr) return {};
  const TField* field = Section->FieldByName(Name);
  return field == nullptr ? std::string() : field->GetAsString();
}

int32_t TCustomSysNode::GetSysIndex(const TIDFSection* Catalogue, const std::string& Name) {
  if (Catalogue == nullptr) return 0;
  for (int32_t i = 0; i < Catalogue->GetFieldCount(); ++i) {
    const TField* field = Catalogue->GetFields(i);
    if (field->Name() != Name) continue;
    try {
      return field->GetAsInteger();
    } catch (const EConvertError&) {
      // A value that does not convert is passed over.
    }
  }
  return 0;
}

std::string TCustomSysNode::GetBackRef(int32_t SysIndex, const TIDFSection* Catalogue, const TIDFTextFile* File) {
  std::string result;
  if (Catalogue == nullptr || File == nullptr) return result;
  for (int32_t i = 0; i < Catalogue->GetFieldCount(); ++i) {
    const TField* entry = Catalogue->GetFields(i);
    if (entry->GetAsInteger() == SysIndex) continue;  // never its own back reference
    const TIDFSection* section = File->GetSectionByName(entry->Name());
    if (section == nullptr) continue;
    const std::string depend = GetParamAsString(section, kKeyDepend);
    if (depend.empty()) continue;
    if (ScanDepend(depend, [SysIndex](int32_t item) { return item == SysIndex; })) {
      if (!result.empty()) result += ',';
      result += entry->GetAsString();
    }
  }
  return result;
}

void TSysNode::GetData(const TIDFSection* Section) {
  if (Section == nullptr) return;
  // One pass over the fields finds the first field of each key (ignoring
  // ASCII case, as FieldByName does) and notes whether any link key is
  // present; the values are then read in the same order as single lookups
  // would read them, so a failing "Parent" raises at the same point.
  enum { kParent, kDepend, kLibrary, kParameter, kArchive, kShortName, kFullName, kKeyCount };
  static constexpr std::string_view kKeys[kKeyCount] = {kKeyParent,  kKeyDepend,        kKeyLibrary,     kKeyParameter,
                                                        kKeyArchive, kReadKeyShortName, kReadKeyFullName};
  const TField* found[kKeyCount] = {};
  int32_t missing = kKeyCount;
  bool any_link = false;
  const int32_t field_count = Section->GetFieldCount();
  for (int32_t i = 0; i < field_count; ++i) {
    const TField* field = Section->GetFields(i);
    const std::string& name = field->Name();
    if (missing > 0) {
      for (int32_t k = 0; k < kKeyCount; ++k) {
        if (found[k] == nullptr && AsciiEqualNoCase(name, kKeys[k])) {
          found[k] = field;
          --missing;
          break;
        }
      }
    }
    if (!any_link && MayBeLinkKey(name) && LinkKindOfKey(name) != TLinkKind::None) any_link = true;
  }
  auto text = [&found](int32_t k) { return found[k] == nullptr ? std::string() : found[k]->GetAsString(); };

  TSubsystemInfo& info = *Info;
  info.SaveName = Section->SectionName;
  info.Checked = false;
  info.AllCheck = false;
  info.Parent = 0;
  if (found[kParent] != nullptr && !IsEmptyText(found[kParent]->GetValue()))
    info.Parent = found[kParent]->GetAsInteger();
  info.Depend = text(kDepend);
  info.Library = text(kLibrary);
  info.Parameter = text(kParameter);
  info.Archive = text(kArchive);
  info.ShortName = text(kShortName);
  info.FullName = text(kFullName);
  if (!any_link) return;
  // Two passes, so that the text is allocated once at its full length.
  // The value is looked up by name, so of two keys differing only in case
  // both give the first one's value.
  auto for_each_link = [&](auto visit) {
    for (int32_t i = 0; i < field_count; ++i) {
      const std::string& name = Section->GetFields(i)->Name();
      const TLinkKind kind = MayBeLinkKey(name) ? LinkKindOfKey(name) : TLinkKind::None;
      if (kind == TLinkKind::None) continue;
      const TField* field = Section->FieldByName(name);
      const std::string* text = std::get_if<std::string>(&field->GetValue());
      visit(text != nullptr ? std::string_view(*text) : std::string_view(), text == nullptr ? field : nullptr,
            std::string_view(kind == TLinkKind::Menu ? kLinkMarkerMenu : kLinkMarkerDesktop));
    }
  };
  size_t length = info.Links.size();
  for_each_link([&](std::string_view text, const TField* other, std::string_view marker) {
    length += (length > 0 ? 1 : 0) + (other != nullptr ? other->GetAsString().size() : text.size()) + marker.size();
  });
  info.Links.reserve(length);
  for_each_link([&](std::string_view text, const TField* other, std::string_view marker) {
    if (!info.Links.empty()) info.Links += kLinkSeparator;
    if (other != nullptr) {
      info.Links += other->GetAsString();
    } else {
      info.Links += text;
    }
    info.Links += marker;
  });
}

// ---- Loading ----------------------------------------------------------------

bool TSysNode::LoadChildNodes(const TIDFSection* Catalogue, const TIDFTextFile* File) {
  if (Catalogue == nullptr || File == nullptr) return false;
  TCatalogueIndex index(Catalogue, File);
  index.NumberNodes();
  return LoadChildNodes(index);
}

bool TSysNode::LoadChildNodes(const TCatalogueIndex& Index) {
  // Depth-first with an explicit stack.  Each frame walks the children of one
  // node; a child is added to its parent before its own children are read,
  // as the recursive description has it, so a failure leaves the same nodes
  // in place.
  struct Frame {
    TSysNode* node;
    std::span<const int32_t> children;
    size_t next;
    bool on_path;  // this frame put its number into on_path
  };
  //
  // A node whose number is already on the path would repeat the path's
  // subtree for ever.  Reading from a top-level subsystem of a catalogue
  // without duplicate numbers never meets one; LoadChildNodes started on an
  // arbitrary node can, and then raises ECatalogueError.
  const int32_t count_before = Count;
  std::vector<Frame> stack;
  std::unordered_set<int32_t> on_path;
  stack.push_back({this, Index.Children(Info->SysIndex), 0, true});
  on_path.insert(Info->SysIndex);
  // In a large catalogue the children of a node are scattered over the
  // entries and the nodes prepared from them; their cache lines are asked
  // for a little ahead of their use: the entries of a node's children when
  // its frame is pushed, the next sibling's node while one child is added.
  const auto& entries = Index.Entries();
  auto prefetch_entries = [&entries](std::span<const int32_t> children) {
    for (size_t k = 0; k < children.size() && k < 16; ++k) Prefetch(&entries[static_cast<size_t>(children[k])]);
  };
  prefetch_entries(stack.back().children);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.children.size()) {
      const TCatalogueIndex::TEntry& entry = entries[static_cast<size_t>(top.children[top.next++])];
      if (top.next < top.children.size()) {
        const TCatalogueIndex::TEntry& sibling = entries[static_cast<size_t>(top.children[top.next])];
        if (sibling.prepared) Prefetch(sibling.prepared.get());
        if (top.next + 16 < top.children.size()) Prefetch(&entries[static_cast<size_t>(top.children[top.next + 16])]);
      }
      Index.CountNode();
      // Filled by GetData, numbered by GetSysIndex of the section name.
      const int32_t number = entry.sys_index;
      TSysNode* added = top.node->AddNode(Index.TakeNumberedNode(entry, number));
      const std::span<const int32_t> grandchildren = Index.Children(number);
      if (!grandchildren.empty() && !on_path.insert(number).second) {
        throw ECatalogueError(Format("subsystem %d is its own ancestor", number));
      }
      added->Nodes.reserve(grandchildren.size());  // at most that many children
      prefetch_entries(grandchildren);
      stack.push_back({added, grandchildren, 0, !grandchildren.empty()});
      continue;
    }
    // The plain scan of this node's children goes on past its last child and
    // raises at the first section whose "Parent" does not convert.
    if (Index.ChildScanFails()) Index.RaiseChildScanFailure();
    if (top.on_path) on_path.erase(top.node->Info->SysIndex);
    stack.pop_back();
  }
  return Count > count_before;
}

bool TSysTree::LoadFromIDFFile(const TIDFTextFile* File) {
  ClearNodes();
  if (File == nullptr) return false;
  const TIDFSection* catalogue = File->GetSectionByName(kCatalogueSection);
  if (catalogue == nullptr) return true;

  // Duplicate check.  Pairs are compared in order (0,1), (0,2), ..., so the
  // first row converts every value; a value that does not convert raises
  // unless a duplicate of the first value came before it.
  // The index reads every catalogue entry once and raises nothing; the
  // duplicate check below uses the numbers it converted.  When the check
  // fails, the index and its prepared nodes are simply dropped.
  TCatalogueIndex index(catalogue, File);
  const int32_t count = catalogue->GetFieldCount();
  if (count >= 2) {
    // A value that does not convert raises here as its conversion does.
    auto number_at = [&](int32_t j) {
      const TCatalogueIndex::TEntry& entry = index.Entries()[static_cast<size_t>(j)];
      return entry.value_ok ? entry.value : catalogue->GetFields(j)->GetAsInteger();
    };
    bool duplicate = false;
    std::vector<int32_t> numbers(static_cast<size_t>(count));
    const int32_t first = numbers[0] = number_at(0);
    for (int32_t j = 1; j < count && !duplicate; ++j) {
      numbers[static_cast<size_t>(j)] = number_at(j);
      duplicate = numbers[static_cast<size_t>(j)] == first;
    }
    if (!duplicate) {
      // The loop above converted every value without failing, so what is
      // left is whether any two are equal: numbers close together are
      // marked in a bitmap, others sorted.
      const auto [low, high] = std::minmax_element(numbers.begin(), numbers.end());
      const int64_t span = static_cast<int64_t>(*high) - *low + 1;
      if (span <= 16 * static_cast<int64_t>(count) + 1024) {
        std::vector<bool> seen(static_cast<size_t>(span));
        const int32_t base = *low;
        for (int32_t number : numbers) {
          const size_t bit = static_cast<size_t>(static_cast<int64_t>(number) - base);
          if (seen[bit]) {
            duplicate = true;
            break;
          }
          seen[bit] = true;
        }
      } else {
        std::sort(numbers.begin(), numbers.end());
        duplicate = std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end();
      }
    }
    if (duplicate) {
      MessageBox(0, operator_texts::DuplicateNumbers(), operator_texts::CaptionError(), kStyleError);
      return false;
    }
  }

  // Children already joined to their parents need no walk.
  const bool joined = index.JoinChildren();
  if (!joined) index.NumberNodes();
  for (const TCatalogueIndex::TEntry& entry : index.Entries()) {
    // Outside the guard: a value that does not convert reaches the caller.
    const int32_t number = entry.value_ok ? entry.value : entry.field->GetAsInteger();
    if (number == 0 || entry.section == nullptr) continue;
    try {
      // A "Parent" that does not convert fails this step only.
      if (!entry.parent_ok || entry.parent != 0) continue;
      auto node = index.TakeNumberedNode(entry, number);  // filled by GetData
      index.CountNode();
      TSysNode* added = AddNode(std::move(node));
      if (!joined) added->LoadChildNodes(index);
    } catch (...) {
      // This subsystem's subtree ends here; the catalogue reading goes on.
    }
  }
  return true;
}

}  // namespace instkit
