#include "Viewlist/system_view.h"

#include <unordered_set>

#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/text.h"
#include "host/variant.h"

namespace instkit {

// One activation of the recursive propagation.  `phase` says where the
// activation resumes when the call it made returns.
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
  const std::string* refs = nullptr;  // the reference list (ref steps)
  TTreeNodes* nodes = nullptr;        // where references are looked up
  TTreeNode* cursor = nullptr;        // the next child to look at (childs steps)
  size_t pos = 0;                     // start of the next piece (ref steps)
  uint8_t phase = 0;
};

TSystemView::TSystemView(TTreeNodes* Nodes) : ViewList(std::make_unique<TViewList>()) {
  if (Nodes != nullptr) ViewList->Load(Nodes);
}

TSystemView::~TSystemView() { ViewList->Clear(); }

TItemHandle TSystemView::GetNodeId(int32_t SysIndex) const { return ViewList->FindItem(SysIndex); }

bool TSystemView::GetAllChecked(const TTreeNode* Node) const {
  if (Node == nullptr) throw Exception("ETreeViewError", "no tree-view item");
  for (const TTreeNode* child = Node->getFirstChild(); child != nullptr; child = Node->GetNextChild(child)) {
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
  // Each pass either finishes the top frame (pop) or makes the call the
  // recursive form would make (push) after recording where to resume.
  auto call = [&stack](Frame::Kind kind, TTreeNode* node) {
    Frame frame{kind};
    frame.node = node;
    stack.push_back(frame);
  };
  auto call_refs = [&stack](Frame::Kind kind, const std::string* refs, TTreeNodes* nodes) {
    Frame frame{kind};
    frame.refs = refs;
    frame.nodes = nodes;
    stack.push_back(frame);
  };

  while (!stack.empty()) {
    Frame& frame = stack.back();
    switch (frame.kind) {
      case Frame::kSelectNode: {
        TSubsystemInfo* record = ItemRecord(frame.node);
        TTreeNode* node = frame.node;
        switch (frame.phase) {
          case 0:
            if (record->Checked) {
              stack.pop_back();
              break;
            }
            record->Checked = true;
            record->AllCheck = GetAllChecked(node);
            frame.phase = 1;
            call(Frame::kSelectChilds, node);
            break;
          case 1:
            frame.phase = 2;
            call(Frame::kSelectParent, node);
            break;
          case 2:
            frame.phase = 3;
            call_refs(Frame::kSelectRef, &record->Depend, node->Owner());
            break;
          default:
            stack.pop_back();
        }
        break;
      }

      case Frame::kUnselectNode: {
        TSubsystemInfo* record = ItemRecord(frame.node);
        TTreeNode* node = frame.node;
        switch (frame.phase) {
          case 0:
            if (!record->Checked) {
              stack.pop_back();
              break;
            }
            record->Checked = false;
            record->AllCheck = false;
            UnselectParent(node);
            frame.phase = 1;
            call(Frame::kUnselectChilds, node);
            break;
          case 1:
            frame.phase = 2;
            call_refs(Frame::kUnselectRef, &record->BackRef, node->Owner());
            break;
          default:
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
        TTreeNode* target = nullptr;
        while (frame.cursor != nullptr && target == nullptr) {
          TTreeNode* child = frame.cursor;
          frame.cursor = frame.node->GetNextChild(child);
          if (ItemRecord(child)->Checked != select) target = child;
        }
        if (target != nullptr) {
          call(select ? Frame::kSelectNode : Frame::kUnselectNode, target);
        } else {
          stack.pop_back();
        }
        break;
      }

      case Frame::kSelectParent: {
        if (frame.phase != 0) {
          stack.pop_back();
          break;
        }
        TTreeNode* parent = frame.node->Parent();
        if (parent == nullptr) {
          stack.pop_back();
          break;
        }
        TSubsystemInfo* record = ItemRecord(parent);
        record->AllCheck = GetAllChecked(parent);
        if (record->Checked) {
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
        const std::string& refs = *frame.refs;
        if (frame.phase == 0) {
          frame.phase = 1;
          if (refs.empty()) frame.pos = std::string::npos;
        }
        TTreeNode* target = nullptr;
        while (frame.pos != std::string::npos && target == nullptr) {
          const size_t comma = refs.find(',', frame.pos);
          const std::string piece(Trim(std::string_view(refs).substr(
              frame.pos, comma == std::string::npos ? std::string::npos : comma - frame.pos)));
          frame.pos = comma == std::string::npos ? std::string::npos : comma + 1;
          const int32_t number = StrToInt(piece);
          const TItemHandle handle = GetNodeId(number);
          TTreeNode* item = frame.nodes != nullptr ? frame.nodes->GetNode(handle) : nullptr;
          if (item != nullptr && ItemRecord(item)->Checked != select) target = item;
        }
        if (target != nullptr) {
          call(select ? Frame::kSelectNode : Frame::kUnselectNode, target);
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
    WalkPreOrder(Nodes, [&](TTreeNode* item) {
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
