// Selection, registration and links for `instkit install|uninstall|generate`:
// a run extension (cli/install_run.h) that adds
//   --select N[,N...] --deselect N[,N...] --none   which subsystems to drive
//   --registry FILE                                  where installs are recorded
//   --links-root DIR / --no-links                    where links go, or none
// The selection narrows the run's catalogue to the subsystems read back from
// the view; after an install (mode 1) or uninstall (mode 2) the subsystems
// actually done are recorded in, or removed from, the registry under the
// description's key, and their menu and desktop links are created or
// removed.  Generation (mode 3) records nothing.
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "cli/install_run.h"
#include "cli/selection.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/platform/desktop_links.h"
#include "host/base/exception.h"
#include "host/platform/registry.h"

namespace instkit::cli {

namespace {

struct TRunSettings {
  std::shared_ptr<TSelectionRequest> request = std::make_shared<TSelectionRequest>();
  std::string registry;
  std::string links_root;
  bool no_links = false;
};

// Every subsystem of the tree with whether it was done: a subsystem counts
// as done only when every subsystem above it was done too.
std::vector<std::pair<TSysNode*, bool>> DoneSubsystems(TSysTree& tree) {
  std::vector<std::pair<TSysNode*, bool>> out;
  std::vector<std::pair<TSysNode*, bool>> pending;  // node, its parent's outcome
  for (auto it = tree.Nodes.rbegin(); it != tree.Nodes.rend(); ++it) pending.emplace_back(it->get(), true);
  while (!pending.empty()) {
    auto [node, above] = pending.back();
    pending.pop_back();
    const bool done = above && node->Info->Checked;
    out.emplace_back(node, done);
    for (auto it = node->Nodes.rbegin(); it != node->Nodes.rend(); ++it) pending.emplace_back(it->get(), done);
  }
  return out;
}

bool Select(const TRunSettings& settings, TSysTree& tree) {
  if (!settings.request->error.empty()) {
    PrintError("instkit: " + settings.request->error);
    return false;
  }
  if (settings.request->steps.empty() && !settings.request->none) return true;  // everything, as before
  TSelection selection;
  if (!selection.Apply(tree, *settings.request)) {
    PrintError("instkit: " + selection.error);
    return false;
  }
  size_t chosen = 0;
  for (const TSubsystemChoice& c : selection.choices) chosen += c.selected ? 1 : 0;
  if (selection.selected->Count == 0) {
    PrintError("instkit: no subsystem is selected");
    return false;
  }
  PrintUtf8("selection: " + std::to_string(chosen) + " of " + std::to_string(selection.choices.size()) +
            " subsystems\n");
  // Drive exactly what was read back from the view.
  tree.ClearNodes();
  selection.selected->AddToOtherTree(&tree);
  return true;
}

void Record(const TRunSettings& settings, const TRunOptions& options, TIDFTextFile& description, TSysTree& tree) {
  const uint8_t mode = options.mode;
  if (mode != 1 && mode != 2) return;
  const auto subsystems = DoneSubsystems(tree);
  // Install: done means installed.  Uninstall: done means removed; what
  // could not be removed stays installed and keeps its record.
  for (const auto& [node, done] : subsystems) {
    node->Info->Checked = done;
    node->Info->IsInst = mode == 1 ? done : !done;
  }

  const std::string path = settings.registry.empty() ? TRegistry::DefaultPath() : settings.registry;
  const std::string key = InstalledKeyFor(description, options.description_file);
  if (path.empty()) {
    PrintError("instkit: no registry location (no home folder); give --registry FILE");
  } else {
    try {
      TRegistry registry(path);
      registry.OpenKey(key, true);
      tree.Registering(&registry, mode);
      PrintUtf8("registry: " + std::string(mode == 1 ? "recorded under " : "updated ") + Cp1251ToUtf8(key) + " in " +
                path + "\n");
    } catch (...) {
      const CaughtFailure failure = DescribeCurrentException();
      PrintError("instkit: registry " + path + ": " + failure.class_name + ": " + Cp1251ToUtf8(failure.message));
    }
  }

  if (settings.no_links) return;
  // The link query lists the subsystems whose Checked is false: mark the
  // done ones so for the query, then put the flags back.
  std::vector<std::string> menu, desktop;
  for (const auto& [node, done] : subsystems) node->Info->Checked = !done;
  tree.GetLinks(menu, false);
  tree.GetLinks(desktop, true);
  for (const auto& [node, done] : subsystems) node->Info->Checked = done;
  if (menu.empty() && desktop.empty()) return;
  try {
    const TLinkFolders folders =
        settings.links_root.empty() ? DefaultLinkFolders() : LinkFoldersBelow(settings.links_root);
    // A link without a command opens the installation's target folder.
    std::error_code error;
    std::string target = std::filesystem::absolute(std::filesystem::path(options.path), error).string();
    if (error) target = options.path;
    TDesktopLinks links(folders, ProductNameOf(description, options.description_file), Utf8ToCp1251(target));
    int changed = 0;
    for (const auto* list : {&menu, &desktop}) {
      const bool on_desktop = list == &desktop;
      for (const std::string& value : *list) {
        if (mode == 1) {
          links.Create(value, on_desktop);
          ++changed;
        } else if (links.Remove(value, on_desktop)) {
          ++changed;
        }
      }
    }
    PrintUtf8("links: " + std::to_string(changed) + (mode == 1 ? " created in " : " removed from ") +
              folders.Applications + " and " + folders.Desktop + "\n");
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    PrintError("instkit: links: " + failure.class_name + ": " + Cp1251ToUtf8(failure.message));
  }
}

const bool kRegistered = [] {
  RegisterRunExtension([](CLI::App& sub) {
    auto settings = std::make_shared<TRunSettings>();
    AddSelectionOptions(sub, settings->request);
    sub.add_option("--registry", settings->registry,
                   "Registry file recording installed subsystems (default: $XDG_STATE_HOME/instkit/registry.db)");
    sub.add_option("--links-root", settings->links_root,
                   "Put menu links in DIR/applications and desktop links in DIR/Desktop instead of the user's folders");
    sub.add_flag("--no-links", settings->no_links, "Create or remove no menu and desktop links");
    return std::function<void(TRunOptions&, TRunHooks&)>([settings](TRunOptions& options, TRunHooks& hooks) {
      hooks.select = [settings](TIDFTextFile&, TSysTree& tree) { return Select(*settings, tree); };
      const TRunOptions copy = options;
      hooks.after_run = [settings, copy](TIDFTextFile& description, TSysTree& tree, const TRunReport&) {
        Record(*settings, copy, description, tree);
      };
    });
  });
  return true;
}();

}  // namespace

}  // namespace instkit::cli
