// The selection view: keeps the operator's ticks in the host's tree view
// consistent with the catalogue.
//
// Works on an item list filled from the catalogue (TSysTree::SaveToTreeNodes)
// whose items point at the subsystems' TSubsystemInfo records; the state it
// changes is only the records' Checked and AllCheck flags.
//
//   ticking a subsystem ticks its whole subtree, its parent (and through the
//   parent's own ticking the parent's other children, up to the first
//   ancestor already ticked) and every subsystem named in the Depend list of
//   anything ticked on the way;
//   unticking one unticks its subtree and every subsystem naming it in
//   Depend (through BackRef), transitively, and clears AllCheck upward while
//   the ancestors are ticked and fully ticked; the ancestors stay ticked.
//
// The propagation is described recursively (SelectNode calls SelectChilds,
// SelectParent and SelectRef, which call SelectNode again).  It runs here on
// an explicit stack of frames that replays exactly that recursion, step for
// step, so the resulting flags and the flags left behind by a failure are
// those of the recursive form, while 100,000-item trees and dependency chains
// need heap memory, not call stack.
//
// A host that wants to say why a subsystem is in its state sets Observer:
// it is told of every change of a Checked flag, in the order the
// propagation makes them, with the item whose own change led to it (the
// frame that made the call).  Engine/selection.h keeps the reasons.
//
// The view's table must be rebuilt (ViewList->Load) whenever the host
// refills its tree view.  Not thread-safe: the host's user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Viewlist/view_list.h"
#include "Viewlist/tree_nodes.h"
#include "host/base/export.h"

namespace instkit {

// What the cause of a change is to the item that changed.
enum class TTickVia : uint8_t {
  kCall,      // none: the item was passed to SelectNode / UnselectNode
  kParent,    // its parent: ticking ticks the subtree, unticking unticks it
  kChild,     // one of its children: ticking ticks the parent
  kNeededBy,  // a ticked subsystem that names it in Depend
  kNeeds,     // an unticked subsystem that it names in Depend (its BackRef)
};

class INSTKIT_API TTickObserver {
 public:
  virtual ~TTickObserver() = default;
  // Node's Checked has just become `ticked`.  `cause` is the item whose
  // change led to it; null for kCall and for a reference step called alone.
  // Must not raise.
  virtual void OnTickChanged(TTreeNode* Node, bool ticked, TTreeNode* cause, TTickVia via) = 0;
};

class INSTKIT_API TSystemView {
 public:
  // Creates the table and, when Nodes is given, loads it from Nodes.
  explicit TSystemView(TTreeNodes* Nodes = nullptr);
  ~TSystemView();
  TSystemView(const TSystemView&) = delete;
  TSystemView& operator=(const TSystemView&) = delete;

  // The handle of the first item showing that number; kNoItem (-1) when none.
  TItemHandle GetNodeId(int32_t SysIndex) const;

  // Ticks Node and propagates.  Nothing when Node is already Checked.  A
  // reference piece that is not a decimal integer (an empty piece included)
  // raises EConvertError; the flags changed until then stay changed.
  void SelectNode(TTreeNode* Node);
  // The upward step: the parent's AllCheck is recomputed, and an unticked
  // parent is ticked.
  void SelectParent(TTreeNode* Node);
  // The downward step: every unticked child is ticked.
  void SelectChilds(TTreeNode* Node);
  // Ticks the unticked subsystems whose numbers Refs lists (pieces between
  // commas, blanks trimmed); numbers without an item are skipped.
  void SelectRef(const std::string& Refs, TTreeNodes* Nodes);

  // Unticks Node and propagates.  Nothing when Node is not Checked.  Raises
  // as SelectNode does.
  void UnselectNode(TTreeNode* Node);
  // Clears AllCheck upward while the parent is ticked and fully ticked.
  void UnselectParent(TTreeNode* Node);
  void UnselectChilds(TTreeNode* Node);
  void UnselectRef(const std::string& Refs, TTreeNodes* Nodes);

  // True when Node has no children or every child's record has AllCheck.
  bool GetAllChecked(const TTreeNode* Node) const;

  // Unticks every subsystem whose ShortName is not in Names (byte-exact),
  // walking in pre-order and not descending below an unticked item.  The
  // item list is inside an update meanwhile.  Failures end the walk and are
  // swallowed.
  void CorrectChecked(const std::vector<std::string>& Names, TTreeNodes* Nodes);

  const std::unique_ptr<TViewList> ViewList;
  // Told of every Checked change; null for none.  Not owned.
  TTickObserver* Observer = nullptr;

 private:
  struct Frame;
  // Runs one step of the propagation and everything it leads to.
  void Run(const Frame& start);
};

}  // namespace instkit
