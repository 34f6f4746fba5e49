#include "Engine/selection.h"

#include <map>

#include "Syslist/node_walk.h"
#include "Syslist/syslist.h"
#include "Viewlist/system_view.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/text.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {

bool TSelection::Apply(TSysTree& catalogue, const TSelectionRequest& request) {
  choices.clear();
  selected.reset();
  error.clear();
  TTreeNodes items;
  if (!catalogue.SaveToTreeNodes(&items)) {
    error = "the catalogue cannot be shown";
    return false;
  }
  const bool start = !request.none;
  if (!start) {
    WalkNodesBelow(&catalogue, [](TSysNode* node) {
      node->Info->Checked = false;
      node->Info->AllCheck = false;
      return true;
    });
  }
  TSystemView view(&items);
  std::map<int32_t, bool> last_step;  // number -> ticked (true) or unticked
  for (const TSelectionStep& step : request.steps) {
    for (int32_t number : step.numbers) {
      TTreeNode* item = items.GetNode(view.GetNodeId(number));
      if (item == nullptr) {
        error = "no subsystem has the number " + std::to_string(number);
        return false;
      }
      try {
        step.select ? view.SelectNode(item) : view.UnselectNode(item);
      } catch (...) {
        const CaughtFailure failure = DescribeCurrentException();
        error = std::string(step.select ? "ticking " : "unticking ") + std::to_string(number) + ": " +
                failure.class_name + ": " + Cp1251ToUtf8(failure.message);
        return false;
      }
      last_step[number] = step.select;
    }
  }

  // Pre-order over the items, with depth.
  std::vector<std::pair<TTreeNode*, int>> pending;
  std::vector<TTreeNode*> tops;
  for (TTreeNode* top = items.GetFirstNode(); top != nullptr; top = top->getNextSibling()) tops.push_back(top);
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) pending.emplace_back(*it, 0);
  while (!pending.empty()) {
    auto [item, depth] = pending.back();
    pending.pop_back();
    const auto* record = static_cast<const TSubsystemInfo*>(item->Data);
    TPlanChoice choice;
    choice.depth = depth;
    choice.sys_index = record->SysIndex;
    choice.short_name = record->ShortName;
    choice.selected = record->Checked;
    auto named = last_step.find(record->SysIndex);
    const int step = named == last_step.end() ? 0 : (named->second ? 1 : -1);
    if (choice.selected) {
      choice.reason = step == 1 ? "requested" : (start && step == 0 ? "default" : "pulled in");
    } else {
      choice.reason = step == -1 ? "deselected" : (!start && step == 0 ? "default" : "dropped");
    }
    choices.push_back(choice);
    std::vector<TTreeNode*> children;
    for (TTreeNode* c = item->getFirstChild(); c != nullptr; c = item->GetNextChild(c)) children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }

  selected = std::make_unique<TSysTree>();
  if (!selected->LoadFromTreeNodes(&items)) {
    error = "the selection cannot be read back";
    return false;
  }
  return true;
}

}  // namespace instkit
