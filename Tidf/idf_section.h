// One section of an IDF text file: a typed record with a name and a tree
// flag.  Its parameters are the record's fields.
#pragma once

#include <memory>
#include <string>

#include "host/base/export.h"
#include "host/base/record.h"

namespace instkit {

class INSTKIT_API TIDFSection : public TRecord {
 public:
  explicit TIDFSection(std::string name = {}) : SectionName(std::move(name)) {}

  // A TIDFSectionInterface wrapping this section.
  std::unique_ptr<TRecordInterface> CreateInterface() override;

  // Appends a parameter (type code, size 0); does not look for an existing
  // parameter of the same name.
  TField* AddParam(std::string name, int32_t field_type) {
    return AddField(std::move(name), static_cast<uint8_t>(field_type), 0);
  }

  std::string SectionName;  // the text between the brackets, in its own case
  bool IsTree = false;      // written as "[name]-tree" with typed values
};

}  // namespace instkit
