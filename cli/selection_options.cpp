#include "cli/selection_options.h"

#include "host/base/number_list.h"

namespace instkit::cli {

namespace {

// "3,5 ,7" -> {3, 5, 7}; false for an empty text or an item that is not a
// number (an operator who names no subsystem has made a mistake).
bool ParseNumbers(const std::string& text, std::vector<int32_t>& out) {
  if (text.empty()) return false;
  TNumberList list(text, TListBlanks::kTrimItems);
  for (TNumberItem item; list.Next(item);) {
    if (!item.number) return false;
    out.push_back(*item.number);
  }
  return true;
}

void AddStepOption(CLI::App& sub, const std::shared_ptr<TSelectionOptions>& options, const char* name, bool select,
                   const char* help) {
  // Triggered once per occurrence, so --select and --deselect keep the
  // order in which they were given.
  sub.add_option_function<std::string>(
         name,
         [options, name, select](const std::string& value) {
           TSelectionStep step;
           step.select = select;
           if (!ParseNumbers(value, step.numbers)) {
             if (options->error.empty()) options->error = std::string(name) + " " + value + ": not a list of numbers";
             return;
           }
           options->request.steps.push_back(std::move(step));
         },
         help)
      ->trigger_on_parse()
      ->type_name("N[,N...]");
}

}  // namespace

void AddSelectionOptions(CLI::App& sub, const std::shared_ptr<TSelectionOptions>& options) {
  AddStepOption(sub, options, "--select", true,
                "Tick these subsystems (with their subtrees, parents and dependencies); repeatable");
  AddStepOption(sub, options, "--deselect", false,
                "Untick these subsystems (with their subtrees and dependents); repeatable");
  sub.add_flag_callback(
      "--none", [options] { options->request.none = true; }, "Start with no subsystem ticked instead of all");
}

std::string SelectionArguments(const TSelectionRequest& request) {
  std::string out = request.none ? " --none" : "";
  for (const TSelectionStep& step : request.steps) {
    out += step.select ? " --select " : " --deselect ";
    for (size_t i = 0; i < step.numbers.size(); ++i) out += (i > 0 ? "," : "") + std::to_string(step.numbers[i]);
  }
  return out;
}

}  // namespace instkit::cli
