// The operator's selection, applied as the selection view applies it: a
// tree view is filled from the catalogue (every subsystem ticked, or none),
// the request's steps tick and untick through a TSystemView in their order,
// and the view is read back as the install set.  `instkit plan`, the run
// commands and an interactive installer share this, so the same request
// always selects the same subsystems for the same reasons.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Engine/plan.h"
#include "Engine/run_options.h"
#include "host/base/export.h"

namespace instkit {

class TSysTree;

class INSTKIT_API TSelection {
 public:
  // Fills a tree view from `catalogue` (whose records it then changes),
  // applies the request and reads the view back into `selected`.  False,
  // with `error` (UTF-8) set, for a number that no subsystem carries or a
  // reference list that does not parse.
  bool Apply(TSysTree& catalogue, const TSelectionRequest& request);

  std::vector<TPlanChoice> choices;  // every subsystem, in pre-order
  std::unique_ptr<TSysTree> selected;
  std::string error;
};

}  // namespace instkit
