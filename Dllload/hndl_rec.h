// One loaded subsystem library: the handle and the top-level subsystem node it
// stands for.
#pragma once

#include "host/platform/dynamic_library.h"

namespace instkit {

class TSysNode;

class THndlRec {
 public:
  THndlRec(TLibraryHandle handle, TSysNode* node) : Handle(handle), Node(node) {}

  // The loaded library; null when the subsystem names no library.
  TLibraryHandle Handle = nullptr;
  // The subsystem's node in the driver's tree; not owned.
  TSysNode* Node = nullptr;
};

}  // namespace instkit
