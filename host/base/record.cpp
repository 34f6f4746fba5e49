#include "host/base/record.h"

#include <atomic>

#include "host/base/record_interface.h"
#include "host/base/text.h"

namespace instkit {

TField::TField(std::string name, uint8_t field_type, int32_t size)
    : name_(std::move(name)), field_type_(field_type), size_(size) {}

void TField::SetAsString(std::string value) {
  switch (ValueClassOf(field_type_)) {
    case TValueClass::Text:
    case TValueClass::Any:
      value_ = std::move(value);
      return;
    case TValueClass::Integer:
      value_ = value.empty() ? TVariant{} : TVariant{StrToInt(value)};
      return;
    case TValueClass::Float:
      value_ = value.empty() ? TVariant{} : TVariant{StrToFloat(value)};
      return;
    case TValueClass::Boolean:
      value_ = value.empty() ? TVariant{} : TVariant{StrToBool(value)};
      return;
  }
}

void TField::ConvertAndSet(const TVariant& value) {
  if (IsEmpty(value)) {
    value_ = value;
    return;
  }
  const TValueClass kind = ValueClassOf(field_type_);
  if (kind == TValueClass::Integer && std::holds_alternative<int32_t>(value)) {
    value_ = std::get<int32_t>(value);
    return;
  }
  if (kind == TValueClass::Float && std::holds_alternative<double>(value)) {
    value_ = std::get<double>(value);
    return;
  }
  if (kind == TValueClass::Boolean && std::holds_alternative<bool>(value)) {
    value_ = std::get<bool>(value);
    return;
  }
  switch (kind) {
    case TValueClass::Text:
      // Text into text copies in place, reusing the field's buffer: table
      // transfers move every row through the same fields.
      if (auto* mine = std::get_if<std::string>(&value_)) {
        if (const auto* theirs = std::get_if<std::string>(&value)) {
          *mine = *theirs;
          return;
        }
      }
      value_ = VariantToString(value);
      return;
    case TValueClass::Integer:
      value_ = VariantToInteger(value);
      return;
    case TValueClass::Float:
      value_ = VariantToFloat(value);
      return;
    case TValueClass::Boolean:
      value_ = VariantToBoolean(value);
      return;
    case TValueClass::Any:
      value_ = value;
      return;
  }
}

TRecord::~TRecord() = default;

std::unique_ptr<TRecordInterface> TRecord::CreateInterface() { return std::make_unique<TRecordInterface>(this); }

uint64_t TRecord::NextLayoutVersion() {
  static std::atomic<uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

TField* TRecord::AddField(std::string name, uint8_t field_type, int32_t size) {
  if (fields_.capacity() == 0) fields_.reserve(8);  // most records hold a handful of fields
  fields_.push_back(std::make_unique<TField>(std::move(name), field_type, size));
  layout_version_ = NextLayoutVersion();
  return fields_.back().get();
}

TField* TRecord::FieldByName(std::string_view name) const {
  for (const auto& field : fields_) {
    if (AsciiEqualNoCase(field->Name(), name)) return field.get();
  }
  return nullptr;
}

void TRecord::ClearData() {
  for (auto& field : fields_) field->Clear();
}

void TRecord::DeleteField(int32_t index) {
  if (index < 0 || index >= GetFieldCount()) return;
  fields_.erase(fields_.begin() + index);
  layout_version_ = NextLayoutVersion();
}

}  // namespace instkit
