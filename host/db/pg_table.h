// The PostgreSQL engine behind TApplicationManager and TTable, through libpq.
//
// Decisions:
// - The manager holds one connection, made from a libpq connection string
//   (host/db/connection_string.h: URIs, "pg:" strings, libpq's environment
//   and password file).  Messages name the server by the address with its
//   password masked.
// - The qualifier of GetUserTable is the schema: "" for the schemas of the
//   search path (temporary tables included, first match wins).  Names match
//   exactly, or else ignoring case (the data files keep field names in upper
//   case, PostgreSQL folds unquoted names to lower case).  An unknown schema
//   or table gives null ("not available").  Tables, views, materialized views,
//   foreign and partitioned tables can be read.  The flag is not used.
// - Columns map to field-type codes by their type (host/db/pg_copy_format.h;
//   the full table is in docs/data-files.md): int8 and numeric of scale 0
//   travel as FLOAT, exact up to 2^53 (a larger value fails naming the
//   table, row and column); dates and times as DATETIME (timestamptz as UTC,
//   to the microsecond); types without a mapping as their text.  NULL reads
//   as the empty value and the empty value is stored as NULL.  Texts pass
//   as bytes in the connection's client encoding (by default the database's;
//   PGCLIENTENCODING=WIN1251 converts Windows-1251 data files).
// - The filter is an SQL expression put after WHERE, in parentheses; it is
//   trusted SQL of the host.  It is checked as one statement (the extended
//   protocol refuses more) before the rows are read.
// - Reading: GetRowCount counts with SELECT count(*); FetchNext reads
//   COPY (SELECT ...) TO STDOUT in binary format, a row per message.
//   Freeing a table before its last row cancels the copy.
// - Writing: the first InsertRow begins a transaction (when none is open)
//   and takes the table's ROW EXCLUSIVE lock, waiting for a conflicting
//   lock once (lock_timeout, 5 s; SetLockTimeout) and then failing with
//   "database is locked by another process".  Rows are encoded in binary
//   COPY format (text format when a column's type has no binary form here)
//   and streamed with COPY ... FROM STDIN in batches of 8 MiB (or BatchRows
//   rows), each inside a savepoint.  Every COPY costs the server a fixed
//   setup (its insert buffers), about what 1,000 rows cost to store, so
//   batches are large: batches of 10,000 rows made the server work a third
//   longer than one copy of the same rows, 8 MiB batches cost within a few
//   per cent of it, and a batch's bytes, kept for its replay, stay bounded.
//   A batch that fails on a row's own failure (SQLSTATE classes 22 and 23:
//   a constraint, a value the column refuses) is rolled back to its
//   savepoint and copied again in parts, in order, each part in a savepoint
//   of its own: the row the server names alone and the rows before it in
//   one copy (halves of the part that holds the failing row when no row is
//   named), and after a failed row parts that start at one row and grow
//   fourfold with each success.  Every failing row is thus undone alone, a
//   few bad rows cost a few dozen copies each at most, and a batch of bad
//   rows one copy per row.  Those failures come from FlushRows and
//   TakeRowFailures (table.h); InsertRow itself raises only for a value it
//   cannot encode.  Progress of a transfer therefore counts a row when it is
//   queued.  Any other failure (a lock, a lost connection, the server's
//   disk full, a deadlock) undoes every row of the table's own transaction
//   and raises ETableAborted; inside a transaction of the caller's, the
//   caller rolls back.  FreeTable flushes and commits.  One table at a time
//   should insert through a manager.
// - Tables made by CreateTableIfMissing get lower-case names (PostgreSQL's
//   own folding of unquoted names, so that SQL reads them without quotes),
//   with types from PgDeclaredTypeOfFieldType; the creation takes an
//   advisory lock on the name, so two importers never race on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/db/application_manager.h"
#include "host/db/pg_connection.h"

namespace instkit {

class TPgTable;

class TPgApplicationManager final : public TApplicationManager {
 public:
  // Connects; `address` is a server address of host/db/connection_string.h
  // (or a bare libpq connection string).  Raises EPostgresError.
  explicit TPgApplicationManager(const std::string& address);
  ~TPgApplicationManager() override;

  TTable* GetUserTable(const std::string& name, const std::string& qualifier, bool flag) override;
  void FreeTable(TTable* table) override;

  void BeginWrite() override;
  void CommitWrite() override;
  void RollbackWrite() override;
  void CreateTableIfMissing(const std::string& name, const std::string& qualifier, const TRecord& columns) override;

  // How long a lock held by another session is waited for (default 5000).
  void SetLockTimeout(int milliseconds);
  // The most rows per savepoint batch of the tables handed out after the
  // call (default 1,000,000; a batch also ends at 8 MiB of encoded rows).
  void SetBatchRows(int32_t rows) { batch_rows_ = rows < 1 ? 1 : rows; }

  TPgConnection& Connection() { return *connection_; }
  size_t OpenTableCount() const { return tables_.size(); }

 private:
  // The schema and name of a table, or false; `plain_table` (when given):
  // an ordinary table that no other table inherits from.
  bool Lookup(const std::string& name, const std::string& qualifier, std::string& schema, std::string& found,
              bool* plain_table = nullptr);

  std::unique_ptr<TPgConnection> connection_;
  std::vector<std::unique_ptr<TPgTable>> tables_;
  int32_t batch_rows_ = 1000000;
};

// The column type a table made from a record structure gets for a field
// code: text, smallint, integer, double precision, date, timestamp, time,
// numeric, boolean, bytea.
const char* PgDeclaredTypeOfFieldType(uint8_t code);

}  // namespace instkit
