// The fields of a data file's record structure with their value encodings,
// taken once and reused record after record while the structure keeps its
// layout (TRecord::LayoutVersion).  The record loops parse through it
// without looking each field and its encoding up again; a progress function
// that changes the structure between records is followed at the next one.
#pragma once

#include <cstdint>
#include <vector>

#include "Didf/data_file_format.h"
#include "host/base/record.h"

namespace instkit {

class TRecordLayout {
 public:
  // The encoding of a field whose code has no type name: reading it raises.
  static constexpr uint8_t kNoEncoding = 0xFF;

  struct TSlot {
    TField* field;
    uint8_t code;      // the field's type code
    uint8_t encoding;  // its canonical code, or kNoEncoding
  };

  // Takes `record`'s fields again unless they are the ones taken last.
  void Follow(const TRecord& record) {
    if (version_ == record.LayoutVersion()) return;
    slots_.clear();
    for (int32_t i = 0; i < record.GetFieldCount(); ++i) {
      TField* field = record.GetFields(i);
      const uint8_t code = field->FieldType();
      slots_.push_back({field, code, code > kLastNamedFieldType ? kNoEncoding : kCanonicalFieldType[code]});
    }
    version_ = record.LayoutVersion();
  }

  const std::vector<TSlot>& Slots() const { return slots_; }

 private:
  std::vector<TSlot> slots_;
  uint64_t version_ = 0;  // no record's layout has version 0
};

}  // namespace instkit
