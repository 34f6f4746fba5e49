// Typed records: an ordered set of named fields, each with a one-byte type
// code (host/base/field_types.h) and one value (host/base/variant.h).
//
// Decisions of this component, relied on by the rest of the library:
// - FieldByName ignores the case of the ASCII letters a-z and finds the first
//   field of that name, so "Short Name" written and "Short name" read match.
// - AddField with a name already present appends another field; FieldByName
//   keeps finding the first one.
// - Every type has a text form: integers in decimal, doubles as the shortest
//   text that reads back to the same double, Booleans as "TRUE"/"FALSE",
//   binary (type 9) values as their raw bytes.
// - Setting a value converts it to the field's kind (TValueClass); a text
//   that does not convert raises EConvertError ("'abc' is not a valid integer
//   value").  Fields of type 10 and of codes above 17 keep the kind of value
//   they were given and convert only when read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/base/export.h"
#include "host/base/field_types.h"
#include "host/base/variant.h"

namespace instkit {

class TRecordInterface;

class INSTKIT_API TField {
 public:
  TField(std::string name, uint8_t field_type, int32_t size = 0);

  const std::string& Name() const { return name_; }
  uint8_t FieldType() const { return field_type_; }
  int32_t Size() const { return size_; }

  std::string GetAsString() const { return VariantToString(value_); }
  void SetAsString(std::string value);
  // SetAsString from a view: a text field already holding a text takes the
  // bytes into its own buffer, without a temporary string.
  void SetAsText(std::string_view value) {
    if (auto* mine = std::get_if<std::string>(&value_);
        mine != nullptr && ValueClassOf(field_type_) == TValueClass::Text) {
      mine->assign(value.data(), value.size());
    } else {
      SetAsString(std::string(value));
    }
  }
  int32_t GetAsInteger() const { return VariantToInteger(value_); }
  // A value of the field's own kind is stored as it is; others convert.
  void SetAsInteger(int32_t value) {
    if (ValueClassOf(field_type_) == TValueClass::Integer) {
      value_ = value;
    } else {
      SetValue(TVariant{value});
    }
  }
  double GetAsFloat() const { return VariantToFloat(value_); }
  void SetAsFloat(double value) {
    if (ValueClassOf(field_type_) == TValueClass::Float) {
      value_ = value;
    } else {
      SetValue(TVariant{value});
    }
  }
  bool GetAsBoolean() const { return VariantToBoolean(value_); }
  void SetAsBoolean(bool value) {
    if (ValueClassOf(field_type_) == TValueClass::Boolean) {
      value_ = value;
    } else {
      SetValue(TVariant{value});
    }
  }
  const TVariant& GetValue() const { return value_; }
  void SetValue(const TVariant& value) {
    // A field holds values of its own kind only (fields of kind Any hold
    // whatever they were given), so a value of the alternative it already
    // holds needs no conversion; a text is copied into the field's buffer.
    // Table transfers move every row through the same fields this way.
    if (value.index() == value_.index() && value_.index() != 0) {
      value_ = value;
    } else {
      ConvertAndSet(value);
    }
  }

  bool IsNull() const { return IsEmpty(value_); }
  void Clear() { value_ = std::monostate{}; }

 private:
  void ConvertAndSet(const TVariant& value);

  std::string name_;
  uint8_t field_type_;
  int32_t size_;
  TVariant value_;
};

class INSTKIT_API TRecord {
 public:
  TRecord() = default;
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;
  virtual ~TRecord();

  // A scripting view of this record; the caller owns it.
  virtual std::unique_ptr<TRecordInterface> CreateInterface();

  // Appends a field and returns it; the record owns it.
  TField* AddField(std::string name, uint8_t field_type, int32_t size = 0);
  int32_t GetFieldCount() const { return static_cast<int32_t>(fields_.size()); }
  // The field at a 0-based index; null outside 0 .. count - 1.
  TField* GetFields(int32_t index) const {
    if (index < 0 || index >= GetFieldCount()) return nullptr;
    return fields_[static_cast<size_t>(index)].get();
  }
  // Where the record keeps its table of fields, for callers that prefetch
  // large numbers of records; not for reading.
  const void* FieldTable() const { return fields_.data(); }
  // The first field whose name matches ignoring ASCII case; null when none.
  TField* FieldByName(std::string_view name) const;
  void Clear() {
    fields_.clear();
    layout_version_ = NextLayoutVersion();
  }
  void ClearData();
  // Removes the field at index; nothing outside 0 .. count - 1.
  void DeleteField(int32_t index);

  // A number that changes whenever a field is added or deleted or the fields
  // are cleared, and that no other record's layout ever had: a caller that
  // keeps pointers to the fields across calls it does not control checks it
  // before using them.
  uint64_t LayoutVersion() const { return layout_version_; }

 private:
  static uint64_t NextLayoutVersion();

  std::vector<std::unique_ptr<TField>> fields_;
  uint64_t layout_version_ = NextLayoutVersion();
};

}  // namespace instkit
