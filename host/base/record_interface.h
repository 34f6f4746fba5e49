// A minimal scripting view of a typed record: its fields as named properties
// that can be listed, read and written as variants.  Derived interfaces add
// read-only properties of their own (see Tidf/idf_section_interface.h).
#pragma once

#include <string>
#include <vector>

#include "host/base/export.h"
#include "host/base/variant.h"

namespace instkit {

class TRecord;

class INSTKIT_API TRecordInterface {
 public:
  // Wraps `object`, which must outlive the interface.
  explicit TRecordInterface(TRecord* object) : the_object_(object) {}
  virtual ~TRecordInterface() = default;

  TRecord* TheObject() const { return the_object_; }
  virtual std::string GetObjectName() const { return "TRecord"; }

  // The record's field names, then the interface's own property names.
  virtual std::vector<std::string> GetPropertyNames() const;
  int GetPropertyCount() const { return static_cast<int>(GetPropertyNames().size()); }
  // Reads a property; raises Exception("EPropertyError") when there is none.
  virtual TVariant GetProperty(const std::string& name) const;
  // Writes a field; read-only or unknown properties raise EPropertyError.
  virtual void SetProperty(const std::string& name, const TVariant& value);

 private:
  TRecord* the_object_;
};

}  // namespace instkit
