// TIDFDataFile: moving rows between host tables (BaseMng) and the record
// list or a data file.  Rows pass through Structure one at a time; the
// streaming transfers hold neither the records nor the whole image in memory.
#include <memory>

#include "Didf/check_record.h"
#include "Didf/data_file.h"
#include "Didf/data_file_format.h"
#include "Didf/data_file_percent.h"
#include "Didf/plain_image_reader.h"
#include "Didf/record_layout.h"
#include "host/base/settings.h"
#include "host/db/application_manager.h"
#include "host/compress/compressor.h"
#include "host/platform/file_stream.h"
#include "host/base/format.h"
#include "host/base/memory_stream.h"
#include "host/base/text.h"

namespace instkit {

namespace {

// The size of the image pieces that FromTableToFile compresses as it goes.
constexpr size_t kImagePiece = 256ull * 1024;

// A table obtained from the manager, handed back exactly once: by Free() on
// the normal path (where a failure to commit is reported), or by the
// destructor when a failure unwinds (where it is swallowed: the failure
// being reported is the first one).
class TTableLease {
 public:
  TTableLease(TApplicationManager* manager, TTable* table) : manager_(manager), table_(table) {}
  ~TTableLease() {
    if (table_ == nullptr) return;
    try {
      manager_->FreeTable(table_);
    } catch (...) {
    }
  }
  TTableLease(const TTableLease&) = delete;
  TTableLease& operator=(const TTableLease&) = delete;

  TTable& operator*() const { return *table_; }
  void Free() {
    TTable* table = table_;
    table_ = nullptr;
    manager_->FreeTable(table);
  }

 private:
  TApplicationManager* manager_;
  TTable* table_;
};

std::string TableFailure(const char* format, const std::string& table_name) {
  const CaughtFailure failure = DescribeCurrentException();
  return Format(format, table_name.c_str(), failure.class_name.c_str(), failure.message.c_str());
}

std::string FileTableFailure(const char* format, const std::string& file_name, const std::string& table_name) {
  const CaughtFailure failure = DescribeCurrentException();
  return Format(format, file_name.c_str(), table_name.c_str(), failure.class_name.c_str(), failure.message.c_str());
}

// Opens the file of a file transfer; when that fails, leaves "Can't create
// file ..." in `error` and returns null.
template <typename TFileStream>
std::unique_ptr<TFileStream> OpenTransferFile(const std::string& name, std::string& error) {
  try {
    return std::make_unique<TFileStream>(name);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    error =
        Format("Can't create file '%s'\r\n%s: %s", name.c_str(), failure.class_name.c_str(), failure.message.c_str());
    return nullptr;
  }
}

// The progress percentage of row i (from 1) of a table being read: of the
// rows the table says it will deliver, or 0 throughout when not counted.
class TRowProgress {
 public:
  TRowProgress(TTable& table, bool count) : rows_(count ? table.GetRowCount() : -1) {}
  uint8_t Percent(int64_t i) const { return rows_ < 0 ? 0 : ProgressPercent(static_cast<double>(i), rows_); }

 private:
  int32_t rows_;
};

void CheckSameFieldCount(const TTable& table, const TRecord& structure) {
  if (table.CurrentRecord.GetFieldCount() != structure.GetFieldCount()) {
    throw EIDFDataFile("Structures not equal!");
  }
}

}  // namespace

void TIDFDataFile::LoadStructureFromTable(TTable& table) {
  Structure->Clear();  // not ClearStructure: records may exist
  const TRecord& columns = table.CurrentRecord;
  for (int32_t i = 0; i < columns.GetFieldCount(); ++i) {
    const TField& column = *columns.GetFields(i);
    Structure->AddParam(column.Name(), column.FieldType());
  }
}

void TIDFDataFile::CopyRowFromTable(const TTable& table, int64_t row, bool to_file) {
  const int32_t count = Structure->GetFieldCount();
  for (int32_t j = 0; j < count; ++j) {
    if (const TField* column = table.CurrentRecord.GetFields(j)) {
      if (to_file && column->IsNull()) {
        if (RefuseNulls) {
          throw EIDFDataFile(Format("Row %lld, column '%s' is NULL, which a data file cannot hold",
                                    static_cast<long long>(row), column->Name().c_str()));
        }
        ++NullsWritten;
      }
      Structure->GetFields(j)->SetValue(column->GetValue());
    }
  }
}

bool TIDFDataFile::InsertRecordToTable(TTable& table) { return StoreRow(table, true); }

bool TIDFDataFile::StoreRow(TTable& table, bool through_current_record) {
  try {
    if (through_current_record) {
      table.TTable::InsertValues(*Structure);  // CurrentRecord holds the row
    } else {
      table.InsertValues(*Structure);
    }
    return true;
  } catch (const ETableAborted&) {
    throw;  // not this row's failure: the transfer ends
  } catch (...) {
    ErrorMessage =
        TableFailure("An exception while inserting record to table\r\nTable name = '%s'\r\n%s: %s", TableName);
    return false;
  }
}

void TIDFDataFile::CountLateRowFailures(TTable& table) {
  table.FlushRows();
  const TTable::TRowFailures failures = table.TakeRowFailures();
  if (failures.count == 0) return;
  FailedRecords += failures.count;
  ErrorMessage = Format("An exception while inserting record to table\r\nTable name = '%s'\r\n%s: %s",
                        TableName.c_str(), failures.class_name.c_str(), failures.message.c_str());
}

bool TIDFDataFile::SaveToTable(bool) {
  if (Trim(TableName).empty()) return false;
  TApplicationManager* manager = BaseMng;
  if (manager == nullptr) return false;
  try {
    TTable* obtained = manager->GetUserTable(TableName, TableQualifier, false);
    if (obtained == nullptr) return false;
    TTableLease table(manager, obtained);
    (*table).Open();
    CheckSameFieldCount(*table, *Structure);
    bool complete = true;
    if (FirstRecord()) {
      do {
        if (!StoreRow(*table, false)) {
          ++FailedRecords;  // the next record follows; no progress for this one
        } else if (!ShowProgress(ProgressPercent(record_index_, GetRecordCount()))) {
          complete = false;
          break;
        }
      } while (NextRecord());
    }
    CountLateRowFailures(*table);
    table.Free();
    return complete;
  } catch (...) {
    ErrorMessage = TableFailure("An exception while saving data to table\r\nTable name = '%s'\r\n%s: %s", TableName);
    return false;
  }
}

bool TIDFDataFile::LoadFromTable() {
  if (Trim(TableName).empty()) return false;
  TApplicationManager* manager = BaseMng;
  if (manager == nullptr) return false;
  try {
    TTable* obtained = manager->GetUserTable(TableName, TableQualifier, false);
    if (obtained == nullptr) return false;
    TTableLease table(manager, obtained);
    if (!Filter.empty()) (*table).ApplyFilter(Filter);
    (*table).Open();
    LoadStructureFromTable(*table);
    const TRowProgress progress(*table, CountRows);
    int64_t i = 1;
    uint64_t memory = 0;
    while ((*table).FetchNext()) {
      CopyRowFromTable(*table, i, false);
      ChargeRecordMemory(memory, i);
      InsertRecord();
      // A cancel keeps the rows read so far and still counts as success.
      if (!ShowProgress(progress.Percent(i))) break;
      ++i;
    }
    table.Free();
    return true;
  } catch (...) {
    ErrorMessage = TableFailure("An exception while loading data from table\r\nTable name = '%s'\r\n%s: %s", TableName);
    return false;
  }
}

bool TIDFDataFile::FromFileToTable(bool) {
  std::unique_ptr<TFileReadStream> file = OpenTransferFile<TFileReadStream>(FileName, ErrorMessage);
  if (!file) return false;
  try {
    // A damaged file must insert nothing, so the whole file is checked
    // before the first row goes in: by its check record when it has one
    // (files written here do), else by decompressing it whole (the zstd
    // checksum is verified at the end of the frame).
    {
      if (!VerifyCheckRecord(*file, Settings().MaxDecompressedSize())) {
        class TDiscard final : public TStream {
         public:
          size_t Read(void*, size_t) override { return 0; }
          void Write(const void*, size_t) override {}
          int64_t GetPosition() const override { return 0; }
          void SetPosition(int64_t) override {}
          int64_t GetSize() const override { return 0; }
        } discard;
        file = std::make_unique<TFileReadStream>(FileName);
        DecompressStream(*file, discard);
      }
      file = std::make_unique<TFileReadStream>(FileName);
    }
    TPlainImageReader reader(*file);
    reader.EnsureHeader();
    if (!LoadHeader(reader.Window())) return false;
    TApplicationManager* manager = BaseMng;
    if (manager == nullptr) return false;
    TTable* obtained = manager->GetUserTable(TableName, TableQualifier, false);
    if (obtained == nullptr) return false;
    TTableLease table(manager, obtained);
    (*table).Open();
    CheckSameFieldCount(*table, *Structure);
    bool complete = true;
    // Without fields a record is zero bytes long: there is nothing to read.
    if (Structure->GetFieldCount() > 0) {
      TRecordLayout layout;
      while (ReadNextRecord(reader, layout)) {
        if (!StoreRow(*table, false)) {
          ++FailedRecords;
        } else if (CallBack != 0 && !ShowProgress(reader.Percent())) {
          complete = false;
          break;
        }
      }
    }
    CountLateRowFailures(*table);
    table.Free();
    return complete;
  } catch (...) {
    ErrorMessage = FileTableFailure(
        "An exception while saving data from file to table\r\nFile name = '%s\r\nTable name = '%s'\r\n%s: %s", FileName,
        TableName);
    return false;
  }
}

bool TIDFDataFile::FromTableToFile() {
  NullsWritten = 0;
  std::unique_ptr<TFileWriteStream> file = OpenTransferFile<TFileWriteStream>(FileName, ErrorMessage);
  if (!file) return false;
  try {
    // The image is compressed piece by piece while it is built: each piece
    // is compressed while still in the processor's cache, and memory stays
    // bounded.  The file receives the same plain image as from one
    // CompressStream over the whole image.
    TMemoryStream image;
    image.SizeHint(kImagePiece + kImagePiece / 4);
    TCheckedOutput checked(*file);
    uint64_t plain_size = 0;
    TCompressor compressor;
    ConfigureDataFileCompressor(compressor);
    compressor.SetDestination(&checked);
    TApplicationManager* manager = BaseMng;
    TTable* obtained = manager == nullptr ? nullptr : manager->GetUserTable(TableName, TableQualifier, false);
    if (obtained != nullptr) {
      TTableLease table(manager, obtained);
      if (!Filter.empty()) (*table).ApplyFilter(Filter);
      (*table).Open();
      LoadStructureFromTable(*table);
      WriteHeader(image);
      compressor.BeginCompress();
      const TRowProgress progress(*table, CountRows);
      int64_t i = 1;
      TRecordLayout layout;
      while ((*table).FetchNext()) {
        CopyRowFromTable(*table, i, true);
        WriteRecordToFile(image, layout);
        if (image.Data().size() >= kImagePiece) {
          plain_size += image.Data().size();
          compressor.CompressMore(image.Data().data(), image.Data().size());
          image.Clear();
        }
        if (!ShowProgress(progress.Percent(i))) {
          // Cancelled: the file is left empty, or as it was.
          table.Free();
          if (!KeepFileOnCancel) {
            file = std::make_unique<TFileWriteStream>(FileName);
            file->Commit();
          }
          return false;
        }
        ++i;
      }
      table.Free();
    } else {
      // Without a table the file receives the compressed empty image.
      compressor.BeginCompress(0);
    }
    plain_size += image.Data().size();
    compressor.CompressMore(image.Data().data(), image.Data().size());
    compressor.EndCompress();
    checked.AppendCheckRecord(plain_size);
    file->Commit();
    return obtained != nullptr;
  } catch (...) {
    ErrorMessage = FileTableFailure(
        "An exception while saving data from table to file\r\nFile name = '%s\r\nTable name = '%s'\r\n%s: %s", FileName,
        TableName);
    return false;
  }
}

}  // namespace instkit
