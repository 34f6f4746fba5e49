// The host's table: one database table (or view) as the data files see it.
//
// A table is obtained from the application manager (host/db/application_manager.h),
// used within one call and handed back with FreeTable.  The engine behind it
// is the manager's business: TTable is the whole interface, so a server
// database can stand behind it without changing its users.
//
// Life of a table:
//   [ApplyFilter(expr)]  Open()  then either
//     GetRowCount() and FetchNext() ... until false     (reading)
//   or
//     InsertRow() ... [FlushRows() TakeRowFailures()]    (writing)
//   and FreeTable, which makes the inserted rows permanent.
//
// Every failure raises an instkit Exception whose class name says the engine
// ("ESQLiteError", "EPostgresError") and whose message names the table.  A failure
// of InsertRow or InsertValues is the row's own (a constraint, a value of the
// wrong kind: the rows before it stay and the next row may follow) unless it
// is an ETableAborted.
#pragma once

#include <cstdint>
#include <string>

#include "host/base/exception.h"
#include "host/base/export.h"
#include "host/base/record.h"

namespace instkit {

// A failure that is not the row's own: the engine could not begin storing
// rows (the database is locked by another process) or has undone every row
// stored through the table so far (disk full, an I/O error, a lost
// transaction).  Callers that count failed rows and go on stop at it instead.
// The class name is still the engine's.
class ETableAborted : public Exception {
 public:
  ETableAborted(std::string class_name, std::string message) : Exception(std::move(class_name), std::move(message)) {}
};

class INSTKIT_API TTable {
 public:
  TTable() = default;
  virtual ~TTable();
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;

  // The current row.  After Open it has one field per column, in column
  // order, with the column's name and a field-type code (host/base/field_types.h);
  // FetchNext fills the values; InsertRow stores them.  An empty value is the
  // database's NULL.
  TRecord CurrentRecord;

  // An expression of the engine's query language that restricts the rows
  // read (for SQL: what follows WHERE).  Called before Open.
  virtual void ApplyFilter(const std::string& expression) = 0;
  virtual void Open() = 0;
  // The number of rows that FetchNext will deliver.
  virtual int32_t GetRowCount() = 0;
  // Makes the next row current; false when no row is left.
  virtual bool FetchNext() = 0;
  // Stores the values of CurrentRecord as a new row.  A failed row raises and
  // leaves the rows stored before it in place.
  virtual void InsertRow() = 0;
  // Stores a row made of `values`: column i takes the value of values' field
  // i converted to the column's kind, columns beyond values' fields NULL.
  // The row stored is the one that filling CurrentRecord that way and then
  // InsertRow would store, which is what this does; an engine may bind the
  // values directly where no conversion is needed and then leaves
  // CurrentRecord's values as they were.  For callers that insert many rows
  // from a record of their own and never read CurrentRecord back.
  virtual void InsertValues(const TRecord& values);

  // An engine may hold rows back and store them in batches (a server
  // database's bulk copy); it then learns of a row's own failure only when
  // the row's batch is stored, after InsertRow has returned.  FlushRows
  // stores the rows held back (raising ETableAborted like InsertRow), and
  // TakeRowFailures answers the rows that failed on their own since its last
  // call, with the last one's failure, and forgets them.  Engines that store
  // each row at once keep the defaults: nothing held back, no late failures.
  struct TRowFailures {
    int32_t count = 0;
    std::string class_name;
    std::string message;
  };
  virtual void FlushRows() {}
  virtual TRowFailures TakeRowFailures() { return {}; }

  virtual const std::string& Name() const = 0;
};

}  // namespace instkit
