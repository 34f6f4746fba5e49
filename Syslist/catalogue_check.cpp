#include "Syslist/catalogue_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "Syslist/catalogue_format.h"
#include "Syslist/sys_node.h"
#include "Tidf/idf_text_file.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/number_list.h"
#include "host/base/text.h"

namespace instkit {

namespace {

class TFindings {
 public:
  void Add(TCatalogueFinding::TSeverity severity, std::string section, std::string key, std::string message) {
    list.push_back({severity, std::move(section), std::move(key), std::move(message)});
  }
  std::vector<TCatalogueFinding> list;
};

// Strongly connected components of the dependency graph (iterative Tarjan).
std::vector<std::vector<int32_t>> DependencyCycles(const std::map<int32_t, std::vector<int32_t>>& graph) {
  std::unordered_map<int32_t, int32_t> index, low;
  std::unordered_set<int32_t> on_stack;
  std::vector<int32_t> stack;
  std::vector<std::vector<int32_t>> cycles;
  int32_t counter = 0;
  static const std::vector<int32_t> kNone;
  auto edges = [&](int32_t v) -> const std::vector<int32_t>& {
    auto found = graph.find(v);
    return found == graph.end() ? kNone : found->second;
  };
  for (const auto& [root, unused] : graph) {
    if (index.count(root)) continue;
    std::vector<std::pair<int32_t, size_t>> work{{root, 0}};
    index[root] = low[root] = counter++;
    stack.push_back(root);
    on_stack.insert(root);
    while (!work.empty()) {
      auto& [v, next] = work.back();
      const auto& out = edges(v);
      if (next < out.size()) {
        const int32_t w = out[next++];
        if (!index.count(w)) {
          index[w] = low[w] = counter++;
          stack.push_back(w);
          on_stack.insert(w);
          work.push_back({w, 0});
        } else if (on_stack.count(w)) {
          low[v] = std::min(low[v], index[w]);
        }
        continue;
      }
      const int32_t done = v;
      work.pop_back();
      if (!work.empty()) low[work.back().first] = std::min(low[work.back().first], low[done]);
      if (low[done] != index[done]) continue;
      std::vector<int32_t> component;
      int32_t w;
      do {
        w = stack.back();
        stack.pop_back();
        on_stack.erase(w);
        component.push_back(w);
      } while (w != done);
      const bool self_loop = std::find(edges(done).begin(), edges(done).end(), done) != edges(done).end();
      if (component.size() > 1 || self_loop) {
        std::reverse(component.begin(), component.end());
        cycles.push_back(std::move(component));
      }
    }
  }
  return cycles;
}

}  // namespace

std::vector<TCatalogueFinding> CheckCatalogue(const TIDFTextFile& file) {
  using S = TCatalogueFinding;
  TFindings out;
  const TIDFSection* catalogue = file.GetSectionByName(kCatalogueSection);
  if (catalogue == nullptr) {
    out.Add(S::Warning, kCatalogueSection, "", "no catalogue section: the catalogue is empty");
    return out.list;
  }

  // Sections by exact name (first wins, with a count) and by upper-cased name.
  std::unordered_map<std::string, std::pair<const TIDFSection*, int>> sections;
  std::unordered_map<std::string, std::string> by_upper;
  for (int32_t i = 0; i < file.GetSectionCount(); ++i) {
    const TIDFSection* s = file.GetSection(i);
    auto& slot = sections[s->SectionName];
    if (slot.first == nullptr) slot.first = s;
    ++slot.second;
    by_upper.emplace(AsciiUpper(s->SectionName), s->SectionName);
  }
  if (sections[kCatalogueSection].second > 1) {
    out.Add(S::Warning, kCatalogueSection, "", "the catalogue section appears more than once; only the first is read");
  }

  // Catalogue entries.
  std::unordered_map<int32_t, std::string> number_owner;  // number -> first entry name
  std::unordered_set<std::string> entry_names;
  std::unordered_set<int32_t> all_numbers;

  for (int32_t i = 0; i < catalogue->GetFieldCount(); ++i) {
    const TField* entry = catalogue->GetFields(i);
    const std::string& name = entry->Name();
    const std::string value_text = entry->GetAsString();
    int32_t value = 0;
    try {
      value = entry->GetAsInteger();
    } catch (const Exception&) {
      out.Add(S::Error, kCatalogueSection, name,
              Format("value '%s' is not an integer: reading the catalogue fails", value_text.c_str()));
      continue;
    }
    all_numbers.insert(value);
    auto [owner, fresh] = number_owner.emplace(value, name);
    if (!fresh) {
      out.Add(S::Error, kCatalogueSection, name,
              Format("number %d is also used by '%s': the whole catalogue is rejected", value, owner->second.c_str()));
    }
    if (!entry_names.insert(name).second) {
      out.Add(S::Warning, kCatalogueSection, name, "entry appears more than once; its section is loaded for each");
    }
    auto found = sections.find(name);
    if (found == sections.end() || found->second.first == nullptr) {
      auto near = by_upper.find(AsciiUpper(name));
      if (near != by_upper.end()) {
        out.Add(S::Warning, kCatalogueSection, name,
                Format("no section [%s]; section [%s] differs only in letter case and is not used", name.c_str(),
                       near->second.c_str()));
      } else {
        out.Add(S::Warning, kCatalogueSection, name, Format("no section [%s]: the entry is skipped", name.c_str()));
      }
      continue;
    }
    if (value == 0) {
      const TField* parent = found->second.first->FieldByName(kKeyParent);
      if (parent == nullptr || parent->GetAsString().empty() || parent->GetAsString() == "0") {
        out.Add(S::Warning, kCatalogueSection, name, "number 0 is never loaded as a top-level subsystem");
      }
    }
  }

  // Which subsystems the reader reaches through "Parent" links: the top-level
  // ones, then, level by level, the sections whose "Parent" names a number
  // already reached.  Worked out from the keys alone, so that it also runs on
  // a catalogue the reader would reject.
  std::unordered_map<int32_t, std::vector<std::string>> by_parent;
  std::unordered_map<std::string, int32_t> first_number;
  std::vector<int32_t> frontier;
  std::unordered_set<int32_t> loaded_numbers;
  std::unordered_set<std::string> loaded_names;
  for (int32_t i = 0; i < catalogue->GetFieldCount(); ++i) {
    const TField* entry = catalogue->GetFields(i);
    const auto value = entry->GetAsString().empty() ? std::optional<int32_t>(0) : ParseInt32(entry->GetAsString());
    if (value) first_number.emplace(entry->Name(), *value);
    auto found = sections.find(entry->Name());
    if (found == sections.end() || found->second.first == nullptr) continue;
    const TField* parent_field = found->second.first->FieldByName(kKeyParent);
    const std::string parent_text = parent_field == nullptr ? std::string() : parent_field->GetAsString();
    const auto parent = parent_text.empty() ? std::optional<int32_t>(0) : ParseInt32(parent_text);
    if (!parent) continue;
    if (*parent == 0) {
      if (value && *value != 0) {
        loaded_names.insert(entry->Name());
        if (loaded_numbers.insert(*value).second) frontier.push_back(*value);
      }
    } else {
      by_parent[*parent].push_back(entry->Name());
    }
  }
  while (!frontier.empty()) {
    const int32_t number = frontier.back();
    frontier.pop_back();
    auto children = by_parent.find(number);
    if (children == by_parent.end()) continue;
    for (const std::string& name : children->second) {
      loaded_names.insert(name);
      auto n = first_number.find(name);
      const int32_t child_number = n == first_number.end() ? 0 : n->second;
      if (child_number != 0 && loaded_numbers.insert(child_number).second) frontier.push_back(child_number);
    }
  }

  // Subsystem sections, each once, in catalogue order.
  std::set<std::string> seen;
  std::map<int32_t, std::vector<int32_t>> graph;
  std::unordered_map<int32_t, std::string> name_of;
  for (int32_t i = 0; i < catalogue->GetFieldCount(); ++i) {
    const TField* entry = catalogue->GetFields(i);
    const std::string& name = entry->Name();
    auto found = sections.find(name);
    if (found == sections.end() || found->second.first == nullptr || !seen.insert(name).second) continue;
    const TIDFSection& section = *found->second.first;
    if (found->second.second > 1) {
      out.Add(S::Warning, name, "", Format("section appears %d times; only the first is read", found->second.second));
    }
    int32_t number = 0;
    const bool number_ok = ParseInt32(entry->GetAsString()).has_value() || entry->GetAsString().empty();
    if (number_ok) number = entry->GetAsString().empty() ? 0 : *ParseInt32(entry->GetAsString());
    name_of.emplace(number, name);

    const TField* parent_field = section.FieldByName(kKeyParent);
    const std::string parent_text = parent_field == nullptr ? std::string() : parent_field->GetAsString();
    bool parent_ok = true;
    int32_t parent = 0;
    if (!parent_text.empty()) {
      const auto v = ParseInt32(parent_text);
      parent_ok = v.has_value();
      parent = v.value_or(0);
    }
    if (!parent_ok) {
      out.Add(S::Error, name, parent_field->Name(),
              Format("'%s' is not an integer: every subtree read after this point is cut short", parent_text.c_str()));
    } else if (parent != 0 && loaded_names.count(name) == 0 && loaded_numbers.count(parent) == 0) {
      out.Add(S::Warning, name, parent_field->Name(),
              Format("names %d, which no loaded subsystem carries: this subsystem is never loaded", parent));
    }

    const TField* depend_field = section.FieldByName(kKeyDepend);
    const std::string depend = depend_field == nullptr ? std::string() : depend_field->GetAsString();
    if (!depend.empty()) {
      // The items as the back-reference scan cuts them (ScanDepend).
      TNumberList items(depend, TListBlanks::kTrimRest);
      for (TNumberItem item; items.Next(item);) {
        if (!item.number) {
          out.Add(S::Error, name, depend_field->Name(),
                  Format("item '%s' does not convert (items are numbers separated by \",\" without blanks before "
                         "a \",\"): back references fail and subtrees are dropped",
                         std::string(item.text).c_str()));
          break;  // the scan stops at the first bad item
        }
        if (all_numbers.count(*item.number) == 0) {
          out.Add(S::Warning, name, depend_field->Name(), Format("item %d names no subsystem", *item.number));
        } else if (number_ok) {
          graph[number].push_back(*item.number);
        }
      }
    }

    for (int32_t k = 0; k < section.GetFieldCount(); ++k) {
      const std::string& key = section.GetFields(k)->Name();
      if (LinkKindOfKey(key) != TLinkKind::None) continue;
      const std::string upper = AsciiUpper(key);
      // Keys that look meant as links: they mention a link or begin like one.
      const std::string trimmed(Trim(upper));
      if (upper.find("LINK") != std::string::npos || upper.find("LNK") != std::string::npos ||
          trimmed.rfind("MENU", 0) == 0 || trimmed.rfind("DESKTOP", 0) == 0) {
        out.Add(S::Warning, name, key,
                "not read as a link: the key must begin with MenuLink or DesktopLink (no blank before it)");
      }
    }
  }

  for (const std::vector<int32_t>& cycle : DependencyCycles(graph)) {
    std::string text;
    for (int32_t n : cycle) text += Format("%s(%d) -> ", name_of[n].c_str(), n);
    text += Format("%s(%d)", name_of[cycle.front()].c_str(), cycle.front());
    out.Add(S::Warning, name_of[cycle.front()], kKeyDepend, "dependency cycle: " + text);
  }
  return out.list;
}

}  // namespace instkit
