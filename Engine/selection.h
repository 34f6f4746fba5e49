// The operator's selection, applied as the selection view applies it: a
// tree view is filled from the catalogue (every subsystem ticked, or none),
// ticks and unticks go through a TSystemView, and the view is read back as
// the install set.  `instkit plan`, the run commands and the interactive
// installer share this, so the same request always selects the same
// subsystems for the same reasons.
//
// Reasons.  Every subsystem carries why it is in its state, kept as the
// view's propagation goes (TTickObserver, Viewlist/system_view.h):
//   default     untouched since the start (all ticked, or none)
//   requested   the operator ticked it (--select, or Space on its row)
//   deselected  the operator unticked it
//   pulled in   ticked through its parent, a child, or a subsystem that
//               needs it: the `cause`
//   dropped     unticked through its parent, or a subsystem it needs: the
//               `cause`
// The latest change wins: a subsystem requested, then dropped by a later
// untick elsewhere, says dropped and by what.  `origin` is the subsystem
// the operator named in the step that started the chain.
//
// The interactive form (Start, Tick, Untick, All, None) records each step
// in Request(), so the same selection can be replayed by Apply, shown as
// command-line options, and run by the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Engine/plan.h"
#include "Engine/run_options.h"
#include "Viewlist/system_view.h"
#include "Viewlist/tree_nodes.h"
#include "host/base/export.h"

namespace instkit {

class TSysTree;
struct TSubsystemInfo;

enum class TTickKind : uint8_t { kDefault, kRequested, kDeselected, kPulledIn, kDropped };
// "default", "requested", "deselected", "pulled in", "dropped".
INSTKIT_API const char* TickKindName(TTickKind kind);

struct TTickReason {
  TTickKind kind = TTickKind::kDefault;
  TTickVia via = TTickVia::kCall;
  const TSubsystemInfo* cause = nullptr;   // pulled in / dropped: whose change led here
  const TSubsystemInfo* origin = nullptr;  // the subsystem the operator's step named
};

class INSTKIT_API TSelection : private TTickObserver {
 public:
  TSelection();
  ~TSelection() override;
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

  // Start, the request's steps in order, Choices and ReadBack.  False, with
  // `error` (UTF-8) set, for a number that no subsystem carries or a
  // reference list that does not parse.
  bool Apply(TSysTree& catalogue, const TSelectionRequest& request);

  // Fills the tree view from `catalogue` (whose Checked and AllCheck flags
  // it then owns until the selection goes) with every subsystem ticked, or
  // none.  False, with `error`, when the view cannot be filled.
  bool Start(TSysTree& catalogue, bool none);
  // Ticks or unticks an item of Items() and propagates; the step is added to
  // Request().  False, with `error`, when a reference list does not parse:
  // the flags changed until then stay changed.
  bool Tick(TTreeNode* item);
  bool Untick(TTreeNode* item);
  // Every subsystem ticked, or none, as at the start: the reasons and the
  // request start over.
  void All();
  void None();

  TTreeNodes& Items() { return items_; }
  const TTreeNodes& Items() const { return items_; }
  // The item showing a number; null when none does.
  TTreeNode* ItemOf(int32_t sys_index) const;
  const TTickReason& Reason(const TTreeNode* item) const;
  // The plan's line of one item, reason included.
  TPlanChoice Choice(const TTreeNode* item, int depth) const;
  size_t SelectedCount() const { return selected_count_; }
  const TSelectionRequest& Request() const { return request_; }

  // Every subsystem, in pre-order with depth.
  std::vector<TPlanChoice> Choices() const;
  // The ticked subsystems as a new catalogue (LoadFromTreeNodes); null, with
  // `error`, on a failure.
  std::unique_ptr<TSysTree> ReadBack();

  std::vector<TPlanChoice> choices;    // after Apply
  std::unique_ptr<TSysTree> selected;  // after Apply
  std::string error;

 private:
  void OnTickChanged(TTreeNode* item, bool ticked, TTreeNode* cause, TTickVia via) override;
  bool Step(TTreeNode* item, bool select);
  void Restart(bool ticked);

  TSysTree* catalogue_ = nullptr;
  TTreeNodes items_;
  std::unique_ptr<TSystemView> view_;
  std::vector<TTickReason> reasons_;  // by TTreeNodes::IndexOf
  size_t selected_count_ = 0;
  const TSubsystemInfo* origin_ = nullptr;  // of the step under way
  TSelectionRequest request_;
};

}  // namespace instkit
