#include "host/forms/dsp_node.h"

#include <bit>
#include <cstdint>

namespace instkit {

std::string DSPValueKindName(uint8_t kind) {
  switch (kind) {
    case dvkNone:
      return "none";
    case dvkString:
      return "text";
    case dvkInteger:
      return "integer";
    case dvkBoolean:
      return "boolean";
    case dvkDouble:
      return "double";
    case dvkDateTime:
      return "date-time";
    case dvkBinary:
      return "binary";
    default:
      return "kind " + std::to_string(kind);
  }
}

TDSPNode* TDSPNode::GetNodes(int32_t index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

TDSPNode* TDSPNode::FindChild(std::string_view name) const {
  for (const auto& child : children_) {
    if (child->name_ == name) return child.get();
  }
  return nullptr;
}

TDSPNode* TDSPNode::AddChild(std::string name) {
  children_.push_back(std::make_unique<TDSPNode>(std::move(name)));
  children_.back()->parent_ = this;
  return children_.back().get();
}

void TDSPNode::DeleteChild(int32_t index) {
  if (index < 0 || index >= GetCount()) return;
  children_.erase(children_.begin() + index);
}

void TDSPNode::TakeContentFrom(TDSPNode& other) {
  if (&other == this) return;
  name_ = std::move(other.name_);
  other.name_.clear();
  kind_ = other.kind_;
  value_ = std::move(other.value_);
  other.ClearValue();
  children_ = std::move(other.children_);
  other.children_.clear();
  for (auto& child : children_) child->parent_ = this;
}

namespace {
bool SameValue(const TDSPNode& a, const TDSPNode& b) {
  switch (a.GetValueKind()) {
    case dvkNone:
      return true;
    case dvkInteger:
      return a.GetAsInteger() == b.GetAsInteger();
    case dvkBoolean:
      return a.GetAsBoolean() == b.GetAsBoolean();
    case dvkDouble:
    case dvkDateTime: {
      // The same bits: a NaN equals itself, -0 differs from 0.
      return std::bit_cast<uint64_t>(a.GetAsDouble()) == std::bit_cast<uint64_t>(b.GetAsDouble());
    }
    default:
      return a.GetAsString() == b.GetAsString();
  }
}
}  // namespace

bool SameBranch(const TDSPNode& a, const TDSPNode& b) {
  if (a.GetName() != b.GetName() || a.GetValueKind() != b.GetValueKind() || a.GetCount() != b.GetCount()) {
    return false;
  }
  if (!SameValue(a, b)) return false;
  for (int32_t i = 0; i < a.GetCount(); ++i) {
    if (!SameBranch(*a.GetNodes(i), *b.GetNodes(i))) return false;
  }
  return true;
}

}  // namespace instkit
