#include "Engine/run_links.h"

#include <filesystem>
#include <vector>

#include "Dllload/subsystem_api.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "host/platform/desktop_links.h"

namespace instkit {

void UpdateLinks(uint8_t mode, TSysTree& tree, const std::string& product, const std::string& target,
                 const std::string& links_root, TLinksReport& report) {
  report.attempted = true;
  // The link query lists the subsystems whose Checked is false: mark the
  // done ones so for the query, then put the flags back.
  auto flip = [&tree] {
    WalkNodesBelow(&tree, [](TSysNode* node) {
      node->Info->Checked = !node->Info->Checked;
      return true;
    });
  };
  std::vector<std::string> menu, desktop;
  flip();
  tree.GetLinks(menu, false);
  tree.GetLinks(desktop, true);
  flip();
  const TLinkFolders folders = links_root.empty() ? DefaultLinkFolders() : LinkFoldersBelow(links_root);
  report.applications = folders.Applications;
  report.desktop = folders.Desktop;
  if (menu.empty() && desktop.empty()) return;
  std::error_code code;
  std::string opens = std::filesystem::absolute(std::filesystem::path(target), code).string();
  if (code) opens = target;
  TDesktopLinks links(folders, product, opens);
  for (const auto* list : {&menu, &desktop}) {
    const bool on_desktop = list == &desktop;
    for (const std::string& value : *list) {
      if (mode == INSTKIT_MODE_INSTALL) {
        report.made.push_back(links.Create(value, on_desktop));
      } else if (links.Remove(value, on_desktop)) {
        report.removed.push_back(links.EntryPath(value, on_desktop));
      }
    }
  }
}

}  // namespace instkit
