// Registration: recording installed subsystems in the registry, and removing
// the records of those no longer installed.  One value per subsystem, named
// by its ShortName, under the key the host has opened; its data is the text
// "Installed".  The walk is pre-order.
#include "Syslist/node_walk.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/platform/registry.h"

namespace instkit {

namespace {

const char* const kInstalledValue = "Installed";

}  // namespace

void TSysNode::Registering(TRegistry* Registry, uint8_t Mode) {
  if (Registry == nullptr) throw Exception("ERegistryException", "Registering: no registry");
  WalkNodes(this, [Registry, Mode](TSysNode* node) {
    const TSubsystemInfo& info = *node->Info;
    if (Mode == 1) {
      // An existing value is never overwritten, whatever it holds.
      if (info.Checked && !Registry->ValueExists(info.ShortName))
        Registry->WriteString(info.ShortName, kInstalledValue);
    } else if (Mode == 2) {
      if (!info.IsInst && Registry->ValueExists(info.ShortName)) Registry->DeleteValue(info.ShortName);
    }
    return true;
  });
}

bool TSysTree::Registering(TRegistry* Registry, uint8_t Mode) {
  try {
    for (const auto& node : Nodes) node->Registering(Registry, Mode);
  } catch (...) {
    // The walk stops at the failing subsystem; what was written stays.
  }
  return true;
}

}  // namespace instkit
