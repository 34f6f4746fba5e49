// The SQLite engine behind TApplicationManager and TTable.
//
// Decisions:
// - The qualifier of GetUserTable is the schema name of a database of the
//   connection: "" or "main" for the database the manager was opened on,
//   "temp", or the name given to Attach.  An unknown schema or table gives
//   null ("not available").  Table names are found ignoring ASCII case, as
//   SQLite does.
// - The flag of GetUserTable is not used by this engine.
// - Columns map to field-type codes by their declared type (the full table,
//   with the data files' type names, is in docs/data-files.md):
//   BOOL... -> 16; SMALLINT/TINYINT -> 1; BIGINT/BIG INT/INT8/INT64 -> 3;
//   other ...INT... -> 2; DATETIME/TIMESTAMP -> 5; DATE -> 4; TIME -> 12;
//   CURRENCY/MONEY/DECIMAL/NUMERIC -> 6; REAL/FLOA/DOUB -> 3; BLOB -> 9
//   (bytes held as text); anything else (TEXT, CHAR, none) -> 0.  A column
//   declared INTEGER PRIMARY KEY (the rowid) is 3 as well.
// - Integers: fields hold 32 bits, so a column that may hold more (the
//   declared types above that give 3, and the rowid) is read as a double,
//   exact up to 2^53; a larger value raises EConvertError naming the table,
//   row and column, as does a value beyond 32 bits in a column declared
//   plainly INT/INTEGER.  The declared type decides before the first row, so
//   reading costs nothing extra; declare such a column BIGINT.
// - Dates: a date column (codes 4, 5, 12, 13) reads ISO-8601 text
//   (host/base/date_time.h) into the date-time double and numbers as they
//   are; other text raises EConvertError naming row and column.  Date-time
//   values are stored into date columns as ISO-8601 text (DATE: the date, and
//   the time when there is one; TIME: the time; others: date and time), and
//   into text columns as the date, and the time when there is one.
// - NULL reads as the empty value and the empty value is stored as NULL.
//   Booleans are stored as 0 and 1.  Texts pass as their bytes, unconverted.
// - The filter is an SQL expression put after WHERE, in parentheses; it is
//   trusted SQL of the host.  It must be one expression: a text that would
//   make the query more than one statement is refused.
// - The first InsertRow begins a transaction with BEGIN IMMEDIATE (when none
//   is open), so that another writer is waited for once (the busy timeout,
//   5 s), and prepares one INSERT statement for all rows; FreeTable commits.
//   A row that fails on its own (a constraint, a type) is undone alone; the
//   rows before it stay.  Any other failure (the database locked by another
//   process, disk full, an I/O error, or SQLite rolling the transaction back
//   by itself) undoes every row of the table's own transaction and raises
//   ETableAborted ("database is locked by another process" for a lock), so
//   the table ends with all its rows or none.  Inside a transaction of the
//   caller's, the caller rolls back.  One table at a time should insert
//   through a manager.
// - Table and column names are always quoted as identifiers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/db/application_manager.h"
#include "host/db/sqlite_db.h"

namespace instkit {

class TSqliteTable;

class TSqliteApplicationManager final : public TApplicationManager {
 public:
  // Opens the database file (creating it when `create`); raises ESQLiteError.
  explicit TSqliteApplicationManager(const std::string& path, bool create = false);
  ~TSqliteApplicationManager() override;

  // Makes another database file reachable under the qualifier `schema`.
  void Attach(const std::string& path, const std::string& schema);

  TTable* GetUserTable(const std::string& name, const std::string& qualifier, bool flag) override;
  void FreeTable(TTable* table) override;

  // A transaction of the caller's around several tables' inserts (the
  // tables then store into it, and FreeTable leaves it open).  BeginWrite
  // takes the write lock, waiting for another writer once (the busy
  // timeout); each raises ETableAborted on failure ("database is locked by
  // another process" for a lock).  Rows are permanent only after CommitWrite.
  void BeginWrite();
  void CommitWrite();
  void RollbackWrite();

  TSqliteDb& Db() { return *db_; }
  // Tables handed out and not yet given back.
  size_t OpenTableCount() const { return tables_.size(); }

 private:
  std::unique_ptr<TSqliteDb> db_;
  std::vector<std::unique_ptr<TSqliteTable>> tables_;
};

// Maps a declared column type to a field-type code (rules above).
uint8_t FieldTypeOfDeclaredType(const std::string& declared_type);
// The declared type a column gets for a field-type code when a table is made
// from a record structure (the inverse of FieldTypeOfDeclaredType for the
// codes 0, 1, 2, 3, 5, 6, 9 and 16).
const char* DeclaredTypeOfFieldType(uint8_t code);
// CREATE TABLE (or CREATE TABLE IF NOT EXISTS) for a record's fields, names
// quoted, types from DeclaredTypeOfFieldType; `schema` may be empty.
std::string CreateTableSql(const std::string& schema, const std::string& table, const TRecord& columns,
                           bool if_not_exists = false);

}  // namespace instkit
