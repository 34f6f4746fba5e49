#include "Engine/plan.h"

#include <algorithm>

#include "Syslist/archives.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "host/base/codepage.h"
#include "host/base/tree_indent.h"

namespace instkit {

namespace {

// Display width of a UTF-8 text (code points).
size_t Width(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::string Join(const std::vector<std::string>& texts) {
  if (texts.empty()) return "-";
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : ", ") + Cp1251ToUtf8(t);
  return out;
}

}  // namespace

const char* TickViaName(TTickVia via) {
  switch (via) {
    case TTickVia::kParent:
      return "parent";
    case TTickVia::kChild:
      return "child";
    case TTickVia::kNeededBy:
      return "needed by";
    case TTickVia::kNeeds:
      return "needs";
    case TTickVia::kCall:
      break;
  }
  return "";
}

std::string ReasonText(const TPlanChoice& c, bool with_origin) {
  std::string text = c.reason;
  if (c.cause != 0) {
    const std::string who = std::to_string(c.cause) + " " + Cp1251ToUtf8(c.cause_name);
    switch (c.via) {
      case TTickVia::kParent:
        text += " with its parent " + who;
        break;
      case TTickVia::kChild:
        text += " for its child " + who;
        break;
      case TTickVia::kNeededBy:
        text += ": " + who + " needs it";
        break;
      case TTickVia::kNeeds:
        text += ": needs " + who;
        break;
      case TTickVia::kCall:
        break;
    }
  }
  if (with_origin && c.origin != 0 && c.origin != c.cause && c.origin != c.sys_index) {
    text += std::string(" (after ") + (c.selected ? "ticking " : "unticking ") + std::to_string(c.origin) + " " +
            Cp1251ToUtf8(c.origin_name) + ")";
  }
  return text;
}

size_t TPlan::SelectedCount() const {
  return static_cast<size_t>(
      std::count_if(choices.begin(), choices.end(), [](const TPlanChoice& c) { return c.selected; }));
}

void GatherPlanMaterial(TSysTree& selected, TPlan& plan) {
  selected.GetSaveName(plan.sections, true);
  // The catalogue's queries list the subsystems whose Checked is false.
  auto set_all = [&selected](bool checked) {
    WalkNodesBelow(&selected, [checked](TSysNode* node) {
      node->Info->Checked = checked;
      node->Info->AllCheck = checked;
      return true;
    });
  };
  set_all(false);
  selected.GetSystemName(plan.install_set);
  TArchiveList archives;
  selected.GetArhiveName(&archives);
  selected.GetLinks(plan.menu_links, false);
  selected.GetLinks(plan.desktop_links, true);
  set_all(true);
  for (int32_t i = 0; i < archives.Count(); ++i) {
    const TArchive* archive = archives.GetArcItem(i);
    TPlanArchive entry;
    entry.name = archive->Name;
    for (int32_t j = 0; j < archive->Count(); ++j) {
      entry.numbers.push_back(archive->GetSysItem(j)->SysIndex);
      entry.short_names.push_back(archive->GetSysItem(j)->ShortName);
    }
    plan.archives.push_back(std::move(entry));
  }
}

void PlanText(const TPlan& plan, const std::function<void(std::string_view)>& write) {
  size_t name_width = 0;
  size_t number_width = 0;
  for (const TPlanChoice& c : plan.choices) {
    number_width = std::max(number_width, std::to_string(c.sys_index).size());
    name_width =
        std::max(name_width, Width(TreeLinePrefix(static_cast<size_t>(c.depth))) + Width(Cp1251ToUtf8(c.short_name)));
  }
  write("plan " + plan.file + ": " + std::to_string(plan.SelectedCount()) + " of " +
        std::to_string(plan.choices.size()) + " subsystems selected (start: " + (plan.request.none ? "none" : "all") +
        " ticked)\n");
  std::string lines;
  for (const TPlanChoice& c : plan.choices) {
    const std::string name = TreeLinePrefix(static_cast<size_t>(c.depth)) + Cp1251ToUtf8(c.short_name);
    const std::string number = std::to_string(c.sys_index);
    lines += std::string("  [") + (c.selected ? "x" : " ") + "] " + std::string(number_width - number.size(), ' ') +
             number + "  " + name + std::string(name_width - Width(name) + 2, ' ') + ReasonText(c) + "\n";
    if (lines.size() > 65536) {
      write(lines);
      lines.clear();
    }
  }
  lines += "install set: " + Join(plan.install_set) + "\n";
  lines += "sections: " + Join(plan.sections) + "\n";
  lines += std::string("archives:") + (plan.archives.empty() ? " -" : "") + "\n";
  for (const TPlanArchive& archive : plan.archives) {
    lines += "  " + (archive.name.empty() ? std::string("(empty name)") : Cp1251ToUtf8(archive.name)) + ": " +
             Join(archive.short_names) + "\n";
  }
  lines += "menu links: " + Join(plan.menu_links) + "\n";
  lines += "desktop links: " + Join(plan.desktop_links) + "\n";
  lines += "registry key: " + Cp1251ToUtf8(plan.registry_key) + "\n";
  write(lines);
}

}  // namespace instkit
