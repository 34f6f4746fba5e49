#include "Viewlist/system_view.h"

#include <unordered_set>

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/base/number_list.h"

namespace instkit {

// One activation of the recursive propagation.  `phase` says where the
// activation resumes when the call it made returns.  A node step runs the
// children, parent and reference steps of the recursive form inside its own
// frame (they are its callees and nothing else happens between them), so a
// tick costs one frame; the same steps called alone get frames of their own.
struct TSystemView::Frame {
  enum Kind : uint8_t {
    kSelectNode,
    kSelectChilds,
    kSelectParent,
    kSelectRef,
    kUnselectNode,
    kUnselectChilds,
    kUnselectRef,
  };
  Kind kind;
  TTreeNode* node = nullptr;          // the item (node, childs and parent steps)
  const std::string* refs = nullptr;  // the reference list being followed
  TTreeNodes* nodes = nullptr;        // where references are looked up
  TTreeNode* cursor = nullptr;        // the next child to look at
  TNumberList pieces{};               // the pieces of *refs not yet followed
  uint8_t phase = 0;
};

TSystemView::TSystemView(TTreeNodes* Nodes) : ViewList(std::make_unique<TViewList>()) {
  if (Nodes != nullptr) ViewList->Load(Nodes);
}

TSystemView::~TSystemView() { ViewList->Clear(); }

TItemHandle TSystemView::GetNodeId(int32_t SysIndex) const { return ViewList->FindItem(SysIndex); }

bool TSystemView::GetAllChecked(const TTreeNode* Node) const {
  if (Node == nullptr) throw Exception("ETreeViewError", "no tree-view item");
  // The answer does not depend on the order of the scan.  From the last
  // child: while the children are being ticked first to last, the ones not
  // yet reached end the scan at once.
  for (const TTreeNode* child = Node->GetLastChild(); child != nullptr; child = child->getPrevSibling()) {
    if (!ItemRecord(child)->AllCheck) return false;
  }
  return true;
}

void TSystemView::UnselectParent(TTreeNode* Node) {
  if (Node == nullptr) throw Exception("ETreeViewError", "no tree-view item");
  for (TTreeNode* parent = Node->Parent(); parent != nullptr; parent = parent->Parent()) {
    TSubsystemInfo* record = ItemRecord(parent);
    if (!record->Checked || !record->AllCheck) break;
    record->AllCheck = false;
  }
}

void TSystemView::SelectNode(TTreeNode* Node) { Run(Frame{Frame::kSelectNode, Node}); }
void TSystemView::SelectChilds(TTreeNode* Node) { Run(Frame{Frame::kSelectChilds, Node}); }
void TSystemView::SelectParent(TTreeNode* Node) { Run(Frame{Frame::kSelectParent, Node}); }
void TSystemView::UnselectNode(TTreeNode* Node) { Run(Frame{Frame::kUnselectNode, Node}); }
void TSystemView::UnselectChilds(TTreeNode* Node) { Run(Frame{Frame::kUnselectChilds, Node}); }

void TSystemView::SelectRef(const std::string& Refs, TTreeNodes* Nodes) {
  Frame start{Frame::kSelectRef};
  start.refs = &Refs;
  start.nodes = Nodes;
  Run(start);
}

void TSystemView::UnselectRef(const std::string& Refs, TTreeNodes* Nodes) {
  Frame start{Frame::kUnselectRef};
  start.refs = &Refs;
  start.nodes = Nodes;
  Run(start);
}

void TSystemView::Run(const Frame& start) {
  if (start.node == nullptr && start.refs == nullptr) throw Exception("ETreeViewError", "no tree-view item");
  std::vector<Frame> stack;
  stack.push_back(start);

  // The next child whose Checked differs from `select` (one to tick, or one
  // to untick); null when the children are done.
  auto next_child = [](Frame& frame, bool select) -> TTreeNode* {
    while (frame.cursor != nullptr) {
      TTreeNode* child = frame.cursor;
      frame.cursor = frame.node->GetNextChild(child);
      if (ItemRecord(child)->Checked != select) return child;
    }
    return nullptr;
  };
  // The next referenced item whose Checked differs from `select`.  Pieces
  // are cut at commas and trimmed; one that is not a number raises
  // EConvertError; numbers without an item are passed over.
  auto next_ref = [this](Frame& frame, bool select) -> TTreeNode* {
    for (TNumberItem piece; frame.pieces.Next(piece);) {
      const TItemHandle handle = GetNodeId(piece.NumberOrRaise());
      TTreeNode* item = frame.nodes != nullptr ? frame.nodes->GetNode(handle) : nullptr;
      if (item != nullptr && ItemRecord(item)->Checked != select) return item;
    }
    return nullptr;
  };
  auto begin_refs = [](Frame& frame, const std::string* refs, TTreeNodes* nodes) {
    frame.refs = refs;
    frame.nodes = nodes;
    frame.pieces = TNumberList(*refs);
  };
  // Makes the call the recursive form makes; the caller's frame has already
  // recorded where to resume.
  auto call = [&stack](Frame::Kind kind, TTreeNode* node) {
    Frame frame{kind};
    frame.node = node;
    stack.push_back(frame);
  };

  // Tells the observer about a change made by the frame on top, whose
  // caller (the frame below) is the cause.
  auto changed = [this, &stack](TTreeNode* node, bool ticked) {
    if (Observer == nullptr) return;
    TTreeNode* cause = nullptr;
    TTickVia via = TTickVia::kCall;
    if (stack.size() >= 2) {
      const Frame& caller = stack[stack.size() - 2];
      cause = caller.node;
      switch (caller.kind) {
        case Frame::kSelectNode:
          via = caller.phase == 1 ? TTickVia::kParent : (caller.phase == 3 ? TTickVia::kChild : TTickVia::kNeededBy);
          break;
        case Frame::kUnselectNode:
          via = caller.phase == 1 ? TTickVia::kParent : TTickVia::kNeeds;
          break;
        case Frame::kSelectChilds:
        case Frame::kUnselectChilds:
          via = TTickVia::kParent;
          break;
        case Frame::kSelectParent:
          via = TTickVia::kChild;
          break;
        case Frame::kSelectRef:
          via = TTickVia::kNeededBy;
          break;
        case Frame::kUnselectRef:
          via = TTickVia::kNeeds;
          break;
      }
    }
    Observer->OnTickChanged(node, ticked, cause, via);
  };

  while (!stack.empty()) {
    Frame& frame = stack.back();
    switch (frame.kind) {
      case Frame::kSelectNode: {
        TTreeNode* node = frame.node;
        TSubsystemInfo* record = ItemRecord(node);
        if (frame.phase == 0) {
          if (record->Checked) {
            stack.pop_back();
            break;
          }
          record->Checked = true;
          record->AllCheck = GetAllChecked(node);
          changed(node, true);
          frame.cursor = node->getFirstChild();
          frame.phase = 1;
        }
        if (frame.phase == 1) {  // SelectChilds
          if (TTreeNode* child = next_child(frame, true)) {
            call(Frame::kSelectNode, child);
            break;
          }
          frame.phase = 2;
        }
        if (frame.phase == 2) {  // SelectParent
          frame.phase = 3;
          if (TTreeNode* parent = node->Parent()) {
            TSubsystemInfo* above = ItemRecord(parent);
            above->AllCheck = GetAllChecked(parent);
            if (!above->Checked) {
              call(Frame::kSelectNode, parent);
              break;
            }
          }
        }
        if (frame.phase == 3) {  // SelectRef(Depend)
          begin_refs(frame, &record->Depend, node->Owner());
          frame.phase = 4;
        }
        if (TTreeNode* item = next_ref(frame, true)) {
          call(Frame::kSelectNode, item);
        } else {
          stack.pop_back();
        }
        break;
      }

      case Frame::kUnselectNode: {
        TTreeNode* node = frame.node;
        TSubsystemInfo* record = ItemRecord(node);
        if (frame.phase == 0) {
          if (!record->Checked) {
            stack.pop_back();
            break;
          }
          record->Checked = false;
          record->AllCheck = false;
          changed(node, false);
          UnselectParent(node);
          frame.cursor = node->getFirstChild();
          frame.phase = 1;
        }
        if (frame.phase == 1) {  // UnselectChilds
          if (TTreeNode* child = next_child(frame, false)) {
            call(Frame::kUnselectNode, child);
            break;
          }
          begin_refs(frame, &record->BackRef, node->Owner());
          frame.phase = 2;
        }
        if (TTreeNode* item = next_ref(frame, false)) {  // UnselectRef(BackRef)
          call(Frame::kUnselectNode, item);
        } else {
          stack.pop_back();
        }
        break;
      }

      case Frame::kSelectChilds:
      case Frame::kUnselectChilds: {
        const bool select = frame.kind == Frame::kSelectChilds;
        if (frame.phase == 0) {
          frame.cursor = frame.node->getFirstChild();
          frame.phase = 1;
        }
        if (TTreeNode* child = next_child(frame, select)) {
          call(select ? Frame::kSelectNode : Frame::kUnselectNode, child);
        } else {
          stack.pop_back();
        }
        break;
      }

      case Frame::kSelectParent: {
        TTreeNode* parent = frame.phase == 0 ? frame.node->Parent() : nullptr;
        if (parent == nullptr) {
          stack.pop_back();
          break;
        }
        TSubsystemInfo* above = ItemRecord(parent);
        above->AllCheck = GetAllChecked(parent);
        if (above->Checked) {
          stack.pop_back();
          break;
        }
        frame.phase = 1;
        call(Frame::kSelectNode, parent);
        break;
      }

      case Frame::kSelectRef:
      case Frame::kUnselectRef: {
        const bool select = frame.kind == Frame::kSelectRef;
        if (frame.phase == 0) {
          begin_refs(frame, frame.refs, frame.nodes);
          frame.phase = 1;
        }
        if (TTreeNode* item = next_ref(frame, select)) {
          call(select ? Frame::kSelectNode : Frame::kUnselectNode, item);
        } else {
          stack.pop_back();
        }
        break;
      }
    }
  }
}

void TSystemView::CorrectChecked(const std::vector<std::string>& Names, TTreeNodes* Nodes) {
  if (Nodes == nullptr) return;
  Nodes->BeginUpdate();
  try {
    // Only whether a name is present matters, so a set answers what a scan
    // of the list from first to last would.
    const std::unordered_set<std::string> names(Names.begin(), Names.end());
    WalkItems(Nodes, [&](TTreeNode* item) {
      if (names.count(ItemRecord(item)->ShortName) != 0) return true;
      UnselectNode(item);
      return false;
    });
  } catch (...) {
    // A failure ends the walk; the ticks changed so far stay.
  }
  Nodes->EndUpdate();
}

}  // namespace instkit
