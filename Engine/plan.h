// The plan of a run: what a selection would install, without running
// anything.  `instkit plan` prints it and an interactive installer's summary
// shows it; both take the text from PlanText, so they say exactly the same.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Engine/run_options.h"
#include "host/base/export.h"

namespace instkit {

// One subsystem of the whole catalogue after the selection, in pre-order.
struct TPlanChoice {
  int depth = 0;
  int32_t sys_index = 0;
  std::string short_name;  // Windows-1251
  bool selected = false;
  // "requested", "default", "pulled in" (ticked through a parent, child or
  // dependency), "deselected", or "dropped" (unticked through a parent or a
  // subsystem it depends on).
  const char* reason = "";
};

struct TPlanArchive {
  std::string name;                     // as first met, Windows-1251
  std::vector<int32_t> numbers;         // the subsystems it holds
  std::vector<std::string> short_names;
};

struct INSTKIT_API TPlan {
  std::string file;     // the description, as given
  std::string product;  // Windows-1251
  std::string registry_key;
  TSelectionRequest request;
  std::vector<TPlanChoice> choices;
  // Of the selected subsystems, in pre-order (Windows-1251):
  std::vector<std::string> install_set;  // short names
  std::vector<std::string> sections;     // section names
  std::vector<TPlanArchive> archives;
  std::vector<std::string> menu_links;
  std::vector<std::string> desktop_links;

  size_t SelectedCount() const;
};

// The plan as text, UTF-8, handed to `write` in pieces (a catalogue of a
// million subsystems is not built as one string).  Each subsystem is one
// line: "[x]" when selected, its number, its name indented by its depth
// (TreeLinePrefix of host/base/tree_indent.h, so a chain a million levels
// deep prints in linear time and space), and the reason.

class TSysTree;
// Fills the plan's install set, sections, archives and links from the
// selected catalogue (TSelection::selected).  Leaves every subsystem of
// `selected` Checked.
INSTKIT_API void GatherPlanMaterial(TSysTree& selected, TPlan& plan);

INSTKIT_API void PlanText(const TPlan& plan, const std::function<void(std::string_view)>& write);

}  // namespace instkit
