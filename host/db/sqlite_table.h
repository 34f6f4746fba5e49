// The SQLite engine behind TApplicationManager and TTable.
//
// Decisions:
// - The qualifier of GetUserTable is the schema name of a database of the
//   connection: "" or "main" for the database the manager was opened on,
//   "temp", or the name given to Attach.  An unknown schema or table gives
//   null ("not available").  Table names are found ignoring ASCII case, as
//   SQLite does.
// - The flag of GetUserTable is not used by this engine.
// - Columns map to field-type codes by their declared type: BOOL... -> 16,
//   SMALLINT/TINYINT -> 1, other ...INT... -> 2, DATETIME/TIMESTAMP/DATE/TIME
//   -> 5, CURRENCY/MONEY/DECIMAL/NUMERIC -> 6, REAL/FLOA/DOUB -> 3,
//   BLOB -> 9 (bytes held as text), anything else (TEXT, CHAR, none) -> 0.
// - Integers that do not fit 32 bits raise EConvertError when read into an
//   integer field (fields hold 32-bit integers); NULL reads as the empty
//   value and the empty value is stored as NULL.  Booleans are stored as
//   0 and 1.  Texts pass as their bytes, unconverted.
// - The filter is an SQL expression put after WHERE, in parentheses; it is
//   trusted SQL of the host.  It must be one expression: a text that would
//   make the query more than one statement is refused.
// - The first InsertRow begins a transaction (when none is open) and prepares
//   one INSERT statement for all rows; FreeTable commits.  A row that fails
//   (a constraint, a type) is undone alone; the rows before it stay.
//   One table at a time should insert through a manager.
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
// CREATE TABLE for a record's fields, names quoted, types from
// DeclaredTypeOfFieldType; `schema` may be empty.
std::string CreateTableSql(const std::string& schema, const std::string& table, const TRecord& columns);

}  // namespace instkit
