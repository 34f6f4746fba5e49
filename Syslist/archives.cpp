// Archives, names and links: what the host asks the catalogue once the
// selection is settled.  The archive, short-name and link queries take the
// subsystems whose Checked is false; the section-name query those whose
// Checked equals a given flag.  Every walk is pre-order.
#include "Syslist/archives.h"

#include <utility>

#include "Syslist/node_walk.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/text.h"

namespace instkit {

namespace {

constexpr std::string_view kMenuMarker = "?menu";
constexpr size_t kDesktopMarkerSize = 8;  // "?desktop"

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Splits an Archive text at ",": every piece but the last is trimmed; the
// last one is taken as it is; an empty piece between commas counts.
template <typename Take>
void SplitArchiveNames(std::string text, Take&& take) {
  while (!text.empty()) {
    const size_t comma = text.find(',');
    if (comma != std::string::npos) {
      take(std::string(Trim(std::string_view(text).substr(0, comma))));
      text.erase(0, comma + 1);
    } else {
      take(text);
      text.clear();
    }
  }
}

}  // namespace

std::vector<std::string> ArchiveNamesOf(const std::string& archive) {
  std::vector<std::string> names;
  SplitArchiveNames(archive, [&names](const std::string& name) { names.push_back(name); });
  return names;
}

std::vector<TLinkItem> LinkItemsOf(const std::string& links) {
  std::vector<TLinkItem> items;
  if (links.empty()) return items;
  size_t pos = 0;
  while (true) {
    const size_t star = links.find('*', pos);
    const std::string_view item =
        std::string_view(links).substr(pos, star == std::string::npos ? std::string::npos : star - pos);
    const bool menu = EndsWith(item, kMenuMarker);
    const size_t cut = menu ? kMenuMarker.size() : kDesktopMarkerSize;
    items.push_back({!menu, std::string(item.substr(0, item.size() > cut ? item.size() - cut : 0))});
    if (star == std::string::npos) break;
    pos = star + 1;
  }
  return items;
}

// ---- TArchive, TArchiveList -----------------------------------------------

int32_t TArchive::AddSys(TSubsystemInfo* Sys) {
  items_.push_back(Sys);
  return Count() - 1;
}

TSubsystemInfo* TArchive::GetSysItem(int32_t Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return items_[static_cast<size_t>(Index)];
}

TArchiveList::~TArchiveList() { Clear(); }

void TArchiveList::AddArc(const std::string& Name, TSubsystemInfo* Sys) {
  TArchive* archive = nullptr;
  for (const auto& candidate : archives_) {
    if (AsciiEqualNoCase(candidate->Name, Name)) {
      archive = candidate.get();
      break;
    }
  }
  if (archive == nullptr) {
    archives_.push_back(std::make_unique<TArchive>());
    archive = archives_.back().get();
    archive->Name = Name;
  }
  archive->AddSys(Sys);
}

TArchive* TArchiveList::GetArcItem(int32_t Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return archives_[static_cast<size_t>(Index)].get();
}

void TArchiveList::Clear() { archives_.clear(); }

// ---- Queries ----------------------------------------------------------------

void TSysNode::GetArhiveName(TArchiveList* List) {
  if (List == nullptr) throw Exception("EArchiveList", "GetArhiveName: no archive list");
  WalkNodes(this, [List](TSysNode* node) {
    if (!node->Info->Checked) {
      SplitArchiveNames(node->Info->Archive, [&](const std::string& name) { List->AddArc(name, node->Info.get()); });
    }
    return true;
  });
}

void TSysTree::GetArhiveName(TArchiveList* List) {
  for (const auto& node : Nodes) node->GetArhiveName(List);
}

void TSysNode::GetSystemName(std::vector<std::string>& List) {
  WalkNodes(this, [&List](TSysNode* node) {
    if (!node->Info->Checked) List.push_back(node->Info->ShortName);
    return true;
  });
}

void TSysTree::GetSystemName(std::vector<std::string>& List) {
  for (const auto& node : Nodes) node->GetSystemName(List);
}

void TSysNode::GetSaveName(std::vector<std::string>& List, bool Flag) {
  WalkNodes(this, [&List, Flag](TSysNode* node) {
    if (node->Info->Checked == Flag) List.push_back(node->Info->SaveName);
    return true;
  });
}

void TSysTree::GetSaveName(std::vector<std::string>& List, bool Flag) {
  try {
    for (const auto& node : Nodes) node->GetSaveName(List, Flag);
  } catch (...) {
    // What was appended before the failure stays.
  }
}

void TSysNode::GetLinks(std::vector<std::string>& List, bool Desktop) {
  WalkNodes(this, [&List, Desktop](TSysNode* node) {
    if (node->Info->Checked) return true;
    for (TLinkItem& item : LinkItemsOf(node->Info->Links)) {
      if (item.desktop == Desktop) List.push_back(std::move(item.value));
    }
    return true;
  });
}

void TSysTree::GetLinks(std::vector<std::string>& List, bool Desktop) {
  try {
    for (const auto& node : Nodes) node->GetLinks(List, Desktop);
  } catch (...) {
  }
}

}  // namespace instkit
