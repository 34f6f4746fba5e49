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
#include "Viewlist/system_view.h"
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
  // subsystem it depends on); Engine/selection.h says when.
  const char* reason = "";
  // Pulled in or dropped: the subsystem whose change led here, and what it
  // is to this one; 0 and kCall when none.
  int32_t cause = 0;
  std::string cause_name;  // Windows-1251
  TTickVia via = TTickVia::kCall;
  // The subsystem the operator's step named (this one, for requested and
  // deselected); 0 for default.
  int32_t origin = 0;
  std::string origin_name;  // Windows-1251
};

// Why a subsystem is in its state, as one UTF-8 phrase that starts with the
// reason: "requested", "pulled in: 1 Core needs it", "pulled in with its
// parent 10 Accounting", "pulled in for its child 12 Reports", "dropped with
// its parent 10 Accounting", "dropped: needs 11 Ledger".  With `origin`, the
// operator's step is added when it is not the cause itself ("... (after
// ticking 12 Reports)").
INSTKIT_API std::string ReasonText(const TPlanChoice& choice, bool with_origin = false);
// "parent", "child", "needed by", "needs", "" for kCall: what the cause is
// to the subsystem, as --json spells it.
INSTKIT_API const char* TickViaName(TTickVia via);

struct TPlanArchive {
  std::string name;              // as first met, Windows-1251
  std::vector<int32_t> numbers;  // the subsystems it holds
  std::vector<std::string> short_names;
};

struct INSTKIT_API TPlan {
  std::string file;          // the description, as given
  std::string product;       // Windows-1251
  std::string registry_key;  // where an install records it, Windows-1251
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
// deep prints in linear time and space), and the reason.  The install set,
// sections, archives, links and the registry key follow.

class TSysTree;
// Fills the plan's install set, sections, archives and links from the
// selected catalogue (TSelection::selected).  Leaves every subsystem of
// `selected` Checked.
INSTKIT_API void GatherPlanMaterial(TSysTree& selected, TPlan& plan);

INSTKIT_API void PlanText(const TPlan& plan, const std::function<void(std::string_view)>& write);

}  // namespace instkit
