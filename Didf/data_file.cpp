// TIDFDataFile: the structure, the record list, navigation and progress.
#include "Didf/data_file.h"

#include "Didf/data_file_format.h"
#include "host/base/format.h"
#include "host/base/text.h"

namespace instkit {

TField* TDIDFRecord::AddParam(const std::string& name, int32_t code) {
  return AddField(name, static_cast<uint8_t>(code), 0);
}

void TDIDFRecord::ClearStructure() {
  if (DataFile != nullptr && DataFile->GetRecordCount() > 0) {
    throw EIDFDataFile("Can't clear structure because record count is greater than 0");
  }
  Clear();
}

void TDIDFRecord::DeleteField(const std::string& name) {
  if (DataFile != nullptr && DataFile->GetRecordCount() > 0) {
    throw EIDFDataFile("Can't delete field because record count is greater than 0");
  }
  for (int32_t i = 0; i < GetFieldCount(); ++i) {
    if (AsciiEqualNoCase(GetFields(i)->Name(), name)) {
      TRecord::DeleteField(i);
      return;
    }
  }
}

TIDFDataFile::TIDFDataFile() : Structure(std::make_unique<TDIDFRecord>()) { Structure->DataFile = this; }

TIDFDataFile::~TIDFDataFile() { ClearAllRecords(); }

std::string TIDFDataFile::FieldTypeToString(int32_t code) {
  const int low = code & 0xFF;
  if (low > kLastNamedFieldType) throw EIDFDataFile(Format("Invalid field type (%d)!", code));
  return kFieldTypeNames[low];
}

int32_t TIDFDataFile::StringToFieldType(const std::string& name) {
  const std::string upper = AsciiUpper(Trim(name));
  for (const TFieldTypeName& known : kReadableFieldTypes) {
    if (known.name == upper) return known.code;
  }
  throw EIDFDataFile(Format("Invalid data type string - '%s'", upper.c_str()));
}

void TIDFDataFile::CreateFields(const std::string& fields, const std::string& types) {
  Structure->Clear();  // not ClearStructure: records may exist
  const std::string names = AsciiUpper(Trim(fields));
  // Both lists are walked with a cursor, never shortened from the front, so
  // a header of many fields is read in linear time.
  std::string_view pending = names;
  std::string_view rest_types = types;
  while (!Trim(pending).empty()) {
    std::string_view name = pending;
    const size_t comma = pending.find(',');
    if (comma != std::string_view::npos) {
      name = pending.substr(0, comma);
      pending.remove_prefix(comma + 1);
    } else {
      pending = {};
    }
    int32_t code = ftString;
    const size_t type_comma = rest_types.find(',');
    if (type_comma != std::string_view::npos) {
      code = StringToFieldType(std::string(rest_types.substr(0, type_comma)));
      rest_types.remove_prefix(type_comma + 1);
    } else if (!rest_types.empty()) {
      code = StringToFieldType(std::string(rest_types));
      rest_types = {};
    }
    Structure->AddParam(std::string(name), code);
  }
}

std::string TIDFDataFile::GetFieldsString() const {
  std::string result;
  for (int32_t i = 0; i < Structure->GetFieldCount(); ++i) {
    if (i > 0) result += ',';
    result += Structure->GetFields(i)->Name();
  }
  return result;
}

std::string TIDFDataFile::GetFieldTypesString() const {
  std::string result;
  for (int32_t i = 0; i < Structure->GetFieldCount(); ++i) {
    if (i > 0) result += ',';
    result += FieldTypeToString(Structure->GetFields(i)->FieldType());
  }
  return result;
}

void TIDFDataFile::ChargeRecordMemory(uint64_t& used, int64_t record) const {
  // The heap a record made from the structure's values takes in the list:
  // the value vector and the texts too long to sit inside their strings.
  constexpr uint64_t kAllocation = 16;  // the allocator's own bytes per block
  const auto count = static_cast<uint64_t>(Structure->GetFieldCount());
  uint64_t bytes = sizeof(TDataRecord) + kAllocation + count * sizeof(TVariant);
  for (int32_t i = 0; i < Structure->GetFieldCount(); ++i) {
    if (const auto* text = std::get_if<std::string>(&Structure->GetFields(i)->GetValue())) {
      if (text->size() >= sizeof(std::string)) bytes += text->size() + 1 + kAllocation;
    }
  }
  used += bytes;
  if (used > RecordMemoryLimit || GetRecordCount() == INT32_MAX) {
    throw EIDFDataFile(Format("The records read exceed the memory limit of %llu bytes at record %lld",
                              static_cast<unsigned long long>(RecordMemoryLimit), static_cast<long long>(record)));
  }
}

const TIDFDataFile::TDataRecord* TIDFDataFile::GetRecord(int32_t index) const {
  if (index < 0 || index >= GetRecordCount()) return nullptr;
  return &records_[static_cast<size_t>(index)];
}

bool TIDFDataFile::InsertRecord() {
  // The trace value names the step reached; it is quoted when a step fails.
  int trace = 1;
  try {
    const int32_t count = Structure->GetFieldCount();
    if (count == 0) {
      trace = 2;
      return false;
    }
    trace = 3;
    TDataRecord record;
    record.reserve(static_cast<size_t>(count));
    trace = 4;
    for (int32_t i = 0; i < count; ++i) {
      trace = 5;
      trace = 6;
      trace = 7;
      TVariant cell = Structure->GetFields(i)->GetValue();
      trace = 8;
      record.push_back(std::move(cell));
      trace = 9;
    }
    trace = 10;
    records_.push_back(std::move(record));
    record_index_ = GetRecordCount() - 1;
    trace = 11;
    trace = 12;
    return true;
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    throw Exception(Format("Can't insert record due to exception - %s: %s (trace value - %d)",
                           failure.class_name.c_str(), failure.message.c_str(), trace));
  }
}

bool TIDFDataFile::UpdateRecord() {
  if (record_index_ < 0 || record_index_ >= GetRecordCount()) return false;
  TDataRecord& record = records_[static_cast<size_t>(record_index_)];
  const size_t count = std::min(record.size(), static_cast<size_t>(Structure->GetFieldCount()));
  for (size_t j = 0; j < count; ++j) record[j] = Structure->GetFields(static_cast<int32_t>(j))->GetValue();
  return true;
}

bool TIDFDataFile::LoadRecord(int32_t index) {
  if (index < 0 || index >= GetRecordCount()) return false;
  const TDataRecord& record = records_[static_cast<size_t>(index)];
  const size_t count = std::min(record.size(), static_cast<size_t>(Structure->GetFieldCount()));
  for (size_t j = 0; j < count; ++j) Structure->GetFields(static_cast<int32_t>(j))->SetValue(record[j]);
  return true;
}

void TIDFDataFile::SetRecordIndex(int32_t index) {
  if (LoadRecord(index)) record_index_ = index;
}

bool TIDFDataFile::FirstRecord() {
  if (!LoadRecord(0)) return false;
  record_index_ = 0;
  return true;
}

bool TIDFDataFile::LastRecord() {
  const int32_t last = GetRecordCount() - 1;
  if (!LoadRecord(last)) return false;
  record_index_ = last;
  return true;
}

bool TIDFDataFile::PriorRecord() {
  const int32_t target = record_index_ - 1;
  if (!LoadRecord(target)) return false;
  record_index_ = target;
  return true;
}

bool TIDFDataFile::NextRecord() {
  const int32_t target = record_index_ + 1;
  if (!LoadRecord(target)) return false;
  record_index_ = target;
  return true;
}

bool TIDFDataFile::DeleteRecordInternal(int32_t index) {
  if (index < 0 || index >= GetRecordCount()) return false;
  records_.erase(records_.begin() + index);
  const int32_t count = GetRecordCount();
  // Only an index past the new end moves back (and reloads the structure);
  // otherwise it now names the record that followed the deleted one.
  if (record_index_ > 0 && record_index_ >= count) {
    LoadRecord(count - 1);
    record_index_ = count - 1;
  }
  return true;
}

void TIDFDataFile::ClearAllRecords() {
  records_.clear();
  record_index_ = 0;
}

bool TIDFDataFile::ShowProgress(uint8_t percent) {
  if (percent > 100) return true;
  if (CallBack == 0) return true;
  // CallBack holds the function's address as an integer: a fixed field.
  const auto progress = reinterpret_cast<TDataFileProgress>(CallBack);  // NOLINT(performance-no-int-to-ptr)
  return (progress(percent, ProgressText.c_str(), 0) & 0xFF) != 0;
}

}  // namespace instkit
