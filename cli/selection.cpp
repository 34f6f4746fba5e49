#include "cli/selection.h"

#include <filesystem>
#include <map>

#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "Viewlist/system_view.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/text.h"
#include "Viewlist/tree_nodes.h"

namespace instkit::cli {

namespace {

// "3,5 ,7" -> {3, 5, 7}; false on an empty or non-numeric piece.
bool ParseNumbers(const std::string& text, std::vector<int32_t>& out) {
  size_t pos = 0;
  while (true) {
    const size_t comma = text.find(',', pos);
    const auto number =
        ParseInt32(Trim(std::string_view(text).substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
    if (!number) return false;
    out.push_back(*number);
    if (comma == std::string::npos) return true;
    pos = comma + 1;
  }
}

void AddStepOption(CLI::App& sub, const std::shared_ptr<TSelectionRequest>& request, const char* name, bool select,
                   const char* help) {
  // Triggered once per occurrence, so --select and --deselect keep the
  // order in which they were given.
  sub.add_option_function<std::string>(
         name,
         [request, name, select](const std::string& value) {
           TSelectionStep step;
           step.select = select;
           if (!ParseNumbers(value, step.numbers)) {
             if (request->error.empty()) request->error = std::string(name) + " " + value + ": not a list of numbers";
             return;
           }
           request->steps.push_back(std::move(step));
         },
         help)
      ->trigger_on_parse()
      ->type_name("N[,N...]");
}

}  // namespace

void AddSelectionOptions(CLI::App& sub, const std::shared_ptr<TSelectionRequest>& request) {
  AddStepOption(sub, request, "--select", true,
                "Tick these subsystems (with their subtrees, parents and dependencies); repeatable");
  AddStepOption(sub, request, "--deselect", false,
                "Untick these subsystems (with their subtrees and dependents); repeatable");
  sub.add_flag_callback("--none", [request] { request->none = true; },
                        "Start with no subsystem ticked instead of all");
}

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
  if (!start) catalogue.ClearChecked();
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
    TSubsystemChoice choice;
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

std::string ProductNameOf(const TIDFTextFile& description, const std::string& file_name_utf8) {
  std::string name;
  if (description.Header) {
    if (const TField* product = description.Header->FieldByName("Product")) name = std::string(Trim(product->GetAsString()));
  }
  if (name.empty()) name = Utf8ToCp1251(std::filesystem::path(file_name_utf8).stem().string());
  for (char& c : name) {
    if (c == '\\') c = '_';
  }
  return name.empty() ? std::string("instkit") : name;
}

std::string InstalledKeyFor(const TIDFTextFile& description, const std::string& file_name_utf8) {
  return "Software\\instkit\\Installed\\" + ProductNameOf(description, file_name_utf8);
}

}  // namespace instkit::cli
