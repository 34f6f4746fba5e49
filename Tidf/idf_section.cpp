#include "Tidf/idf_section.h"

#include "Tidf/idf_section_interface.h"
#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

namespace {
constexpr char kSectionNameProperty[] = "SectionName";
}

std::unique_ptr<TRecordInterface> TIDFSection::CreateInterface() {
  return std::make_unique<TIDFSectionInterface>(this);
}

std::string TIDFSectionInterface::GetSectionName() const {
  auto* section = dynamic_cast<TIDFSection*>(TheObject());
  if (section == nullptr) throw Exception("EInvalidCast", "Invalid class typecast");
  return section->SectionName;
}

std::vector<std::string> TIDFSectionInterface::GetPropertyNames() const {
  auto names = TRecordInterface::GetPropertyNames();
  names.emplace_back(kSectionNameProperty);
  return names;
}

TVariant TIDFSectionInterface::GetProperty(const std::string& name) const {
  if (name == kSectionNameProperty) return GetSectionName();
  return TRecordInterface::GetProperty(name);
}

void TIDFSectionInterface::SetProperty(const std::string& name, const TVariant& value) {
  if (name == kSectionNameProperty) {
    throw Exception("EPropertyError", Format("Property '%s' is read-only", name.c_str()));
  }
  TRecordInterface::SetProperty(name, value);
}

}  // namespace instkit
