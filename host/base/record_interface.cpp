#include "host/base/record_interface.h"

#include <algorithm>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/record.h"

namespace instkit {

std::vector<std::string> TRecordInterface::GetPropertyNames() const {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(std::max(the_object_->GetFieldCount(), 0)));
  for (int32_t i = 0; i < the_object_->GetFieldCount(); ++i) {
    names.push_back(the_object_->GetFields(i)->Name());
  }
  return names;
}

TVariant TRecordInterface::GetProperty(const std::string& name) const {
  if (const TField* field = the_object_->FieldByName(name)) return field->GetValue();
  throw Exception("EPropertyError", Format("Unknown property '%s'", name.c_str()));
}

void TRecordInterface::SetProperty(const std::string& name, const TVariant& value) {
  TField* field = the_object_->FieldByName(name);
  if (field == nullptr) {
    throw Exception("EPropertyError", Format("Unknown property '%s'", name.c_str()));
  }
  field->SetValue(value);
}

}  // namespace instkit
