#include "Engine/selection.h"

#include "Syslist/node_walk.h"
#include "Syslist/syslist.h"
#include "Viewlist/tree_walk.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"

namespace instkit {

const char* TickKindName(TTickKind kind) {
  switch (kind) {
    case TTickKind::kDefault:
      return "default";
    case TTickKind::kRequested:
      return "requested";
    case TTickKind::kDeselected:
      return "deselected";
    case TTickKind::kPulledIn:
      return "pulled in";
    case TTickKind::kDropped:
      return "dropped";
  }
  return "";
}

TSelection::TSelection() = default;
TSelection::~TSelection() = default;

bool TSelection::Start(TSysTree& catalogue, bool none) {
  view_.reset();
  items_.Clear();
  error.clear();
  catalogue_ = &catalogue;
  if (!catalogue.SaveToTreeNodes(&items_)) {
    error = "the catalogue cannot be shown";
    return false;
  }
  view_ = std::make_unique<TSystemView>(&items_);
  view_->Observer = this;
  Restart(!none);
  request_.none = none;
  return true;
}

void TSelection::Restart(bool ticked) {
  for (int32_t i = 0; i < items_.GetCount(); ++i) {
    TSubsystemInfo* record = ItemRecord(items_.Item(i));
    record->Checked = ticked;
    record->AllCheck = ticked;
  }
  reasons_.assign(static_cast<size_t>(items_.GetCount()), TTickReason());
  selected_count_ = ticked ? static_cast<size_t>(items_.GetCount()) : 0;
  request_ = TSelectionRequest();
  request_.none = !ticked;
}

void TSelection::All() { Restart(true); }
void TSelection::None() { Restart(false); }

void TSelection::OnTickChanged(TTreeNode* item, bool ticked, TTreeNode* cause, TTickVia via) {
  selected_count_ = ticked ? selected_count_ + 1 : selected_count_ - 1;
  TTickReason& reason = reasons_[static_cast<size_t>(items_.IndexOf(item))];
  reason.kind = ticked ? TTickKind::kPulledIn : TTickKind::kDropped;
  reason.via = via;
  reason.cause = cause != nullptr ? ItemRecord(cause) : nullptr;
  reason.origin = origin_;
}

bool TSelection::Step(TTreeNode* item, bool select) {
  error.clear();
  if (view_ == nullptr || items_.IndexOf(item) < 0) {
    error = "no such subsystem in the view";
    return false;
  }
  const TSubsystemInfo* record = ItemRecord(item);
  if (request_.steps.empty() || request_.steps.back().select != select) request_.steps.push_back({select, {}});
  request_.steps.back().numbers.push_back(record->SysIndex);
  origin_ = record;
  bool ok = true;
  try {
    select ? view_->SelectNode(item) : view_->UnselectNode(item);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    error = std::string(select ? "ticking " : "unticking ") + std::to_string(record->SysIndex) + ": " +
            failure.class_name + ": " + Cp1251ToUtf8(failure.message);
    ok = false;
  }
  origin_ = nullptr;
  // The operator named it: that is its reason, whether or not it changed.
  reasons_[static_cast<size_t>(items_.IndexOf(item))] = {select ? TTickKind::kRequested : TTickKind::kDeselected,
                                                         TTickVia::kCall, nullptr, record};
  return ok;
}

bool TSelection::Tick(TTreeNode* item) { return Step(item, true); }
bool TSelection::Untick(TTreeNode* item) { return Step(item, false); }

TTreeNode* TSelection::ItemOf(int32_t sys_index) const {
  return view_ != nullptr ? items_.GetNode(view_->GetNodeId(sys_index)) : nullptr;
}

const TTickReason& TSelection::Reason(const TTreeNode* item) const {
  static const TTickReason kNone;
  const int32_t index = items_.IndexOf(item);
  return index >= 0 && static_cast<size_t>(index) < reasons_.size() ? reasons_[static_cast<size_t>(index)] : kNone;
}

TPlanChoice TSelection::Choice(const TTreeNode* item, int depth) const {
  const TSubsystemInfo* record = ItemRecord(item);
  const TTickReason& reason = Reason(item);
  TPlanChoice choice;
  choice.depth = depth;
  choice.sys_index = record->SysIndex;
  choice.short_name = record->ShortName;
  choice.selected = record->Checked;
  choice.reason = TickKindName(reason.kind);
  choice.via = reason.via;
  if (reason.cause != nullptr) {
    choice.cause = reason.cause->SysIndex;
    choice.cause_name = reason.cause->ShortName;
  }
  if (reason.origin != nullptr) {
    choice.origin = reason.origin->SysIndex;
    choice.origin_name = reason.origin->ShortName;
  }
  return choice;
}

std::vector<TPlanChoice> TSelection::Choices() const {
  std::vector<TPlanChoice> out;
  out.reserve(static_cast<size_t>(items_.GetCount()));
  // Pre-order with depth: one level deeper on entering an item's children.
  int depth = 0;
  WalkItems(
      &items_, [&](TTreeNode* item) { out.push_back(Choice(item, depth++)); }, [&](TTreeNode*) { --depth; });
  return out;
}

std::unique_ptr<TSysTree> TSelection::ReadBack() {
  auto tree = std::make_unique<TSysTree>();
  if (!tree->LoadFromTreeNodes(&items_)) {
    error = "the selection cannot be read back";
    return nullptr;
  }
  return tree;
}

bool TSelection::Apply(TSysTree& catalogue, const TSelectionRequest& request) {
  choices.clear();
  selected.reset();
  if (!Start(catalogue, request.none)) return false;
  for (const TSelectionStep& step : request.steps) {
    for (int32_t number : step.numbers) {
      TTreeNode* item = ItemOf(number);
      if (item == nullptr) {
        error = "no subsystem has the number " + std::to_string(number);
        return false;
      }
      if (!Step(item, step.select)) return false;
    }
  }
  choices = Choices();
  selected = ReadBack();
  return selected != nullptr;
}

}  // namespace instkit
