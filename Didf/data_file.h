// IDF data files: a table's rows in memory, stored as a compressed "IDF-DS"
// file (Didf/data_file_format.h) or moved to and from a host table
// (host/db/application_manager.h).
//
// TIDFDataFile owns a record structure (TDIDFRecord: field names and type
// codes; its values are the current row) and a list of records (one value per
// field each).  Structural operations raise EIDFDataFile; file and table
// operations catch every failure, answer false and leave a message in
// ErrorMessage (texts with CR LF inside, Windows-1251 like all texts).
//
// Decisions of this implementation:
// - A structure without fields reads no records: the record loops of
//   LoadFromFile and FromFileToTable end at once (such a file holds none).
// - Files are written through TFileWriteStream (a temporary file renamed
//   over FileName by the last step).  A save that fails therefore leaves the
//   previous file (or no file) instead of a partial one; FromTableToFile
//   cancelled by the progress function still replaces the file by an empty
//   one (unless KeepFileOnCancel), and one whose table is not available by
//   an empty image.
// - The compressor runs with its checksum option on, and with one zstd
//   worker thread while compressing (joined before the call returns).
//   Decompression is capped at Settings().MaxDecompressedSize() (1 GiB
//   unless the host lowers it); a larger image fails with the compressor's
//   message.  Files end with the check record of Didf/check_record.h.
// - When GetRowCount says 0 while rows still come, progress reports 100.
// - Images are streamed, never held whole: LoadFromFile and FromFileToTable
//   parse the image in a window refilled by the decompressor
//   (Didf/plain_image_reader.h), FromTableToFile compresses it piece by piece
//   as it is built.  The data seen is the same as with a whole image.
//   FromFileToTable first checks the whole file (checksum included) so that
//   a damaged file inserts no rows; LoadFromFile finds damage at the end and
//   then answers false with the records before it in the list.  Progress is
//   the image position over the image size as the frame declares it
//   (SaveToFile's files do); without one, the compressed share read.
// - Limits on hostile files: a header names at most kMaxFieldCount (32,767)
//   fields (more fail LoadHeader), read in linear time; one load keeps at
//   most RecordMemoryLimit (1 GiB) of records in memory, so a small file of
//   many tiny records cannot exhaust memory.  Streaming reads have neither
//   limit beyond the decompression cap.
// - A record cut short, a text length over the limit, or a header with more
//   or fewer type names than field names end a read as the operations above
//   describe (successfully, with what came before); LastRead says where and
//   why, for callers that refuse such files (the command line does).
// - A table failure that is not the row's own (ETableAborted: locked by
//   another process, disk full, a lost transaction) ends SaveToTable and
//   FromFileToTable with their failure message instead of being counted in
//   FailedRecords; the engine has undone the rows by then (see
//   host/db/sqlite_table.h, host/db/pg_table.h).  Rows an engine stores in
//   batches are flushed before the table is handed back, and those that
//   failed on their own are counted then (TTable::TakeRowFailures).
// - FromTableToFile counts NULLs (NullsWritten), which the format cannot
//   hold and writes as 0, "" or false; RefuseNulls makes the first one an
//   error naming its row and column.
//
// One data file is used by one thread at a time; the progress function runs
// synchronously on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/base/exception.h"
#include "host/base/export.h"
#include "host/base/settings.h"
#include "host/base/record.h"

namespace instkit {

class TDIDFRecord;
class TIDFDataFile;
class TMemoryStream;
class TPlainImageReader;
class TRecordLayout;
class TStream;
class TTable;

// The exception of the data-file classes: a message, nothing more.
class EIDFDataFile : public Exception {
 public:
  explicit EIDFDataFile(std::string message) : Exception("EIDFDataFile", std::move(message)) {}
};

// The progress function: (percent 0..100, ProgressText never null, 0).  Only
// the low eight bits of the result count: non-zero goes on, zero stops.
using TDataFileProgress = int32_t (*)(int32_t percent, const char* text, int32_t reserved);

// How far the last read of a data file's image got (TIDFDataFile::LastRead).
// A read that ends early is no failure of LoadFromFile or FromFileToTable
// (they keep what came before), but a file that does not parse to its end
// is damaged or was written wrongly, and callers that must not lose rows
// check this.
struct TDataFileReadEnd {
  // The header had one type name per field name and the records filled the
  // image exactly to its end.
  bool complete = true;
  // Records read whole (the header is not one).
  int64_t records = 0;
  // When not complete: where parsing stopped (the byte offset in the plain
  // image, or -1 for a header problem) and why, in English, for example
  // "record 3 at byte 1207: a text length of 2147483647 is over the limit of
  // 10485760 bytes".
  int64_t offset = -1;
  std::string problem;
};

// The record structure of a data file.
class INSTKIT_API TDIDFRecord : public TRecord {
 public:
  // The data file that owns this record; null for a record on its own.
  TIDFDataFile* DataFile = nullptr;

  // AddField(name, code, 0); the code's low eight bits are the type code.
  TField* AddParam(const std::string& name, int32_t code);
  // Raises EIDFDataFile when the owning data file holds records.
  void ClearStructure();
  // Deletes the first field named `name` (ASCII case ignored); no such field
  // is no error.  Raises EIDFDataFile when the owning data file holds records.
  void DeleteField(const std::string& name);
  using TRecord::DeleteField;
};

class INSTKIT_API TIDFDataFile {
 public:
  // One record: a value per field of the structure it was made with.
  using TDataRecord = std::vector<TVariant>;

  TIDFDataFile();
  ~TIDFDataFile();
  TIDFDataFile(const TIDFDataFile&) = delete;
  TIDFDataFile& operator=(const TIDFDataFile&) = delete;

  // ---- Properties the host sets ----
  std::string TableQualifier;  // second argument of GetUserTable
  int32_t FailedRecords = 0;   // rows whose insertion into a table failed
  std::string FileName;
  std::string SpareText;  // for the host; never read or written here
  std::string TableName;
  std::string Filter;        // handed to ApplyFilter when not empty
  std::string ErrorMessage;  // set on failure only, never cleared
  intptr_t CallBack = 0;     // a TDataFileProgress, or 0
  std::string ProgressText;

  // ---- Beyond the classic contract ----
  // Settings a host may leave alone: at their defaults every operation
  // behaves exactly as its comment says.  The command line sets them.
  //
  // FromTableToFile cancelled by the progress function keeps the file as it
  // was (or leaves none) instead of replacing it by an empty one.
  bool KeepFileOnCancel = false;
  // FromTableToFile fails at the first NULL of the table (an empty value),
  // naming its row and column, instead of writing it as 0, "" or false.
  bool RefuseNulls = false;
  // LoadFromTable and FromTableToFile ask the table how many rows it will
  // deliver, for the progress percentage; a database answers with a pass
  // over the rows of its own (a tenth of a PostgreSQL export's time on the
  // server).  Without the count (false) the progress function is still
  // called after every row, so that it can stop the transfer, with 0
  // percent: for hosts that show no percentage.
  bool CountRows = true;
  // The most memory (an estimate of the records' heap footprint) that one
  // LoadFromFile or LoadFromTable adds to the record list; past it the load
  // fails with "The records read exceed the memory limit of N bytes at
  // record R", keeping the records before.  Streaming reads (FromFileToTable,
  // ReadFileRecords) keep one record at a time and have no such limit.
  // Starts as Settings().RecordMemoryLimit() (host/base/settings.h).
  uint64_t RecordMemoryLimit = Settings().RecordMemoryLimit();
  static constexpr uint64_t kDefaultRecordMemoryLimit = ::instkit::kDefaultRecordMemoryLimit;
  // The most fields a data file's header may name (LoadHeader fails past it).
  static constexpr int32_t kMaxFieldCount = 32767;

  // Set by the reads of a file (LoadHeader, LoadFromFile, FromFileToTable,
  // ReadFileRecords): how far the image parsed.
  TDataFileReadEnd LastRead;
  // Set by FromTableToFile: the NULLs it wrote as empty values.
  int64_t NullsWritten = 0;

  // Field names and types; its values are the current row.  Owned.
  const std::unique_ptr<TDIDFRecord> Structure;

  // ---- Structure (data_file.cpp) ----
  // Rebuilds Structure from comma-separated names and type names.  Raises
  // EIDFDataFile on an unknown type name, keeping the fields before it.
  void CreateFields(const std::string& fields, const std::string& types);
  // The type name of a code (low eight bits); 18..255 raise EIDFDataFile.
  static std::string FieldTypeToString(int32_t code);
  // The canonical code of a type name (trimmed, ASCII upper case); raises
  // EIDFDataFile for a name outside the list.
  static int32_t StringToFieldType(const std::string& name);
  std::string GetFieldsString() const;
  std::string GetFieldTypesString() const;

  // ---- Records and navigation (data_file.cpp) ----
  int32_t GetRecordCount() const { return static_cast<int32_t>(records_.size()); }
  int32_t GetRecordIndex() const { return record_index_; }
  // Null outside 0 .. count - 1.
  const TDataRecord* GetRecord(int32_t index) const;
  // Appends the structure's values as the new last record and makes it
  // current; false without fields.  A failure raises Exception (class name
  // "Exception") quoting the caught error and the step reached.
  bool InsertRecord();
  bool UpdateRecord();
  bool LoadRecord(int32_t index);
  void SetRecordIndex(int32_t index);
  bool FirstRecord();
  bool LastRecord();
  bool PriorRecord();
  bool NextRecord();
  bool DeleteRecordInternal(int32_t index);
  bool DeleteRecord() { return DeleteRecordInternal(record_index_); }
  void ClearAllRecords();

  intptr_t GetCallBack() const { return CallBack; }
  void SetCallBack(intptr_t value) { CallBack = value; }
  // Reports progress; false means stop.  Above 100 nothing is called.
  bool ShowProgress(uint8_t percent);

  // ---- The file format (data_file_io.cpp) ----
  bool SaveToFile();
  bool LoadFromFile();
  // Reads and checks the five header lines from the start of a plain image;
  // on success the image stands at the first record.
  bool LoadHeader(TMemoryStream& image);
  // One header line (CR LF or lone CR end it), trimmed; false at the end.
  static bool ReadLine(std::string& line, TMemoryStream& image);
  // Appends the structure's values as one record at the end of the image.
  void WriteRecordToFile(TMemoryStream& image);
  // Reads one record into the structure's values; false when the image ends
  // inside it or a text is longer than kMaxTextLength.
  bool ReadRecordFromFile(TMemoryStream& image);
  static void CompressStream(TStream& source, TStream& destination);
  static void DecompressStream(TStream& source, TStream& destination);

  // Reads FileName record by record without keeping the records: the header
  // rebuilds Structure and sets TableName, then `on_header` is called once,
  // then `on_record` once per record with the record's values in Structure
  // and the progress percentage.  Either may answer false to stop (the
  // result is then true).  Failures answer false with ErrorMessage set as
  // LoadFromFile sets it; LastRead tells whether the image parsed to its end.
  bool ReadFileRecords(const std::function<bool()>& on_header, const std::function<bool(uint8_t percent)>& on_record);

  // ---- Table transfer (table_transfer.cpp) ----
  bool SaveToTable(bool flag = false);
  bool LoadFromTable();
  bool FromFileToTable(bool flag = false);
  bool FromTableToFile();
  bool InsertRecordToTable(TTable& table);
  void LoadStructureFromTable(TTable& table);

 private:
  void WriteHeader(TMemoryStream& image) const;

  // Inserts the structure's values as a row, as InsertRecordToTable does.
  // Through the table's CurrentRecord, or (for the transfers, whose table
  // nobody else sees) by TTable::InsertValues, which may bind them directly.
  bool StoreRow(TTable& table, bool through_current_record);
  // Stores the rows the table held back (an engine that inserts in
  // batches) and counts those that failed on their own in FailedRecords,
  // the last one's failure in ErrorMessage.  Progress was reported for them
  // when they were queued.
  void CountLateRowFailures(TTable& table);
  // Copies the table's current row (row `row`, from 1) into the structure's
  // values.  For a file (`to_file`), counts its NULLs in NullsWritten, or
  // raises at one when RefuseNulls is set.
  void CopyRowFromTable(const TTable& table, int64_t row, bool to_file);
  // WriteRecordToFile through a layout of the structure's fields, kept by
  // the caller from record to record.
  void WriteRecordToFile(TMemoryStream& image, TRecordLayout& layout);
  // The next record of a streamed image into the structure's values; false
  // at the end of the image (or at a record cut short).
  bool ReadNextRecord(TPlainImageReader& reader, TRecordLayout& layout);
  // Adds the footprint of a record made from the structure's values to
  // `used`; raises EIDFDataFile naming `record` past RecordMemoryLimit (or
  // the largest record count).
  void ChargeRecordMemory(uint64_t& used, int64_t record) const;
  // Checks the header just read: field and type counts (LastRead).
  void NoteHeader(const std::string& types);

  std::vector<TDataRecord> records_;
  int32_t record_index_ = 0;
};

}  // namespace instkit
