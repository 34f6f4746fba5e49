// The menu and desktop links of a run (host/platform/desktop_links.h): an
// install makes the links of the subsystems it did, an uninstall removes
// the links of the subsystems it removed.  A link without a command opens
// the target folder.
#pragma once

#include <cstdint>
#include <string>

#include "Engine/run_report.h"

namespace instkit {

class TSysTree;

// `tree`'s Checked flags say which subsystems were done (and are left as
// they were).  `links_root` "" puts the links into the user's folders.
// Fills `report` with each entry file made or removed; raises EInOutError
// naming the file that could not be written (the links made before it stay).
void UpdateLinks(uint8_t mode, TSysTree& tree, const std::string& product, const std::string& target,
                 const std::string& links_root, TLinksReport& report);

}  // namespace instkit
