// A node of a form-manager tree: a name, owned child nodes in order, and one
// typed value.  A form description is a root node whose children may have
// children in turn; normally only leaves carry values, but every node can.
//
// Value kinds (frozen: they are stored in branch streams and form stores):
//   0 none       no value
//   1 text       Windows-1251 text
//   2 integer    signed 32-bit
//   3 Boolean
//   4 double
//   5 date-time  a date and time as a double (days since 1899-12-30,
//                fraction = time of day), the host's date-time convention
//   6 binary     bytes; GetAsString answers them unchanged
// A setter gives the node its value and the matching kind.  A getter converts
// the value with the rules of typed fields (host/base/variant.h): a kind without a
// form of the requested type raises EConvertError (e.g. the text "abc" as an
// integer); no value reads as "", 0, 0.0 and false.
//
// Ownership: a node owns its children; GetNodes and AddChild hand out
// pointers that live until the child is deleted or the parent cleared.  Not
// thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/base/export.h"
#include "host/base/variant.h"

namespace instkit {

enum TDSPValueKind : uint8_t {
  dvkNone = 0,
  dvkString = 1,
  dvkInteger = 2,
  dvkBoolean = 3,
  dvkDouble = 4,
  dvkDateTime = 5,
  dvkBinary = 6,
};
constexpr uint8_t kDSPLastValueKind = dvkBinary;

// Lower-case name of a kind ("text", "integer", ...; "kind N" above 6).
INSTKIT_API std::string DSPValueKindName(uint8_t kind);

class INSTKIT_API TDSPNode {
 public:
  explicit TDSPNode(std::string name = {}) : name_(std::move(name)) {}
  TDSPNode(const TDSPNode&) = delete;
  TDSPNode& operator=(const TDSPNode&) = delete;

  const std::string& GetName() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TDSPNode* GetParent() const { return parent_; }

  int32_t GetCount() const { return static_cast<int32_t>(children_.size()); }
  // The child at a 0-based index; null outside 0 .. count - 1.
  TDSPNode* GetNodes(int32_t index) const;
  // The first child whose name equals `name` byte for byte; null if none.
  TDSPNode* FindChild(std::string_view name) const;
  // Appends a new child (a name already present is allowed) and returns it.
  TDSPNode* AddChild(std::string name);
  // Removes and frees the child at index; nothing outside the range.
  void DeleteChild(int32_t index);
  // Frees every child; name and value stay.
  void ClearChildren() { children_.clear(); }
  // Takes over the name, value and children of `other`, which ends empty.
  // The node keeps its own parent.
  void TakeContentFrom(TDSPNode& other);

  TDSPValueKind GetValueKind() const { return kind_; }
  std::string GetAsString() const { return VariantToString(value_); }
  int32_t GetAsInteger() const { return VariantToInteger(value_); }
  double GetAsDouble() const { return VariantToFloat(value_); }
  bool GetAsBoolean() const { return VariantToBoolean(value_); }

  void SetAsString(std::string value) { Set(dvkString, std::move(value)); }
  void SetAsInteger(int32_t value) { Set(dvkInteger, value); }
  void SetAsBoolean(bool value) { Set(dvkBoolean, value); }
  void SetAsDouble(double value) { Set(dvkDouble, value); }
  void SetAsDateTime(double value) { Set(dvkDateTime, value); }
  void SetAsBinary(std::string bytes) { Set(dvkBinary, std::move(bytes)); }
  void ClearValue() { Set(dvkNone, std::monostate{}); }

 private:
  void Set(TDSPValueKind kind, TVariant value) {
    kind_ = kind;
    value_ = std::move(value);
  }

  std::string name_;
  TDSPNode* parent_ = nullptr;
  std::vector<std::unique_ptr<TDSPNode>> children_;
  TDSPValueKind kind_ = dvkNone;
  TVariant value_;
};

// True when both branches have the same names, kinds, values (doubles
// compared bit for bit) and children in the same order.
INSTKIT_API bool SameBranch(const TDSPNode& a, const TDSPNode& b);

}  // namespace instkit
