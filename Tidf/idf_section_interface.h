// The scripting view of an IDF section: the section's fields plus the
// read-only property "SectionName".
#pragma once

#include "host/base/export.h"
#include "host/base/record_interface.h"

namespace instkit {

class TIDFSection;

class INSTKIT_API TIDFSectionInterface : public TRecordInterface {
 public:
  explicit TIDFSectionInterface(TRecord* object) : TRecordInterface(object) {}

  std::string GetObjectName() const override { return "TIDFSection"; }
  std::vector<std::string> GetPropertyNames() const override;
  TVariant GetProperty(const std::string& name) const override;
  void SetProperty(const std::string& name, const TVariant& value) override;

  // The wrapped object as a section; raises Exception("EInvalidCast") when
  // it is not a TIDFSection.
  std::string GetSectionName() const;
};

}  // namespace instkit
