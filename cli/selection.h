// The operator's selection on the command line, shared by `instkit plan` and
// the run commands: --select / --deselect steps applied through the
// selection view in command-line order, starting from every subsystem ticked
// (or none with --none), and read back as the install set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace instkit {
class TIDFTextFile;
class TSysTree;
}  // namespace instkit

namespace instkit::cli {

struct TSelectionStep {
  bool select = true;
  std::vector<int32_t> numbers;
};

struct TSelectionRequest {
  bool none = false;                  // start with nothing ticked
  std::vector<TSelectionStep> steps;  // in command-line order
  std::string error;                  // the first malformed number list (UTF-8)
};

// Adds --select N[,N...], --deselect N[,N...] (both repeatable) and --none.
void AddSelectionOptions(CLI::App& sub, const std::shared_ptr<TSelectionRequest>& request);

// One subsystem of the catalogue after the selection, in pre-order.
struct TSubsystemChoice {
  int depth = 0;
  int32_t sys_index = 0;
  std::string short_name;  // Windows-1251
  bool selected = false;
  // "requested", "default", "pulled in" (ticked through a parent, child or
  // dependency), "deselected", or "dropped" (unticked through a parent or a
  // subsystem it depends on).
  const char* reason = "";
};

class TSelection {
 public:
  // Fills a tree view from `catalogue` (whose records it then changes),
  // applies the request through a TSystemView and reads the view back into
  // `selected`.  False, with `error` (UTF-8) set, for a number that no
  // subsystem carries or a reference list that does not parse.
  bool Apply(TSysTree& catalogue, const TSelectionRequest& request);

  std::vector<TSubsystemChoice> choices;
  std::unique_ptr<TSysTree> selected;
  std::string error;
};

// The registry key under which a description's installed subsystems are
// recorded: "Software\instkit\Installed\<name>", where the name is the
// header parameter "Product" when set, else the file name without folder and
// extension (Windows-1251; "\" replaced by "_").
std::string InstalledKeyFor(const TIDFTextFile& description, const std::string& file_name_utf8);
// The name part of that key.
std::string ProductNameOf(const TIDFTextFile& description, const std::string& file_name_utf8);

}  // namespace instkit::cli
