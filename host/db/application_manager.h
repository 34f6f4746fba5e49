// The host's application manager: where the data files find their tables.
//
// BaseMng is the process's manager; the host points it at a database before
// a data file transfers rows (for SQLite: TSqliteApplicationManager, see
// host/db/sqlite_table.h; for PostgreSQL: TPgApplicationManager, see
// host/db/pg_table.h; host/db/open_database.h picks one from an address)
// and back to null when done.
#pragma once

#include <string>

#include "host/base/export.h"
#include "host/db/table.h"

namespace instkit {

class INSTKIT_API TApplicationManager {
 public:
  virtual ~TApplicationManager();

  // The table `name`, ready for ApplyFilter/Open, or null when the table is
  // not available.  The manager owns it; hand it back with FreeTable.
  // `qualifier` and `flag` are the engine's: see the engine's header.
  virtual TTable* GetUserTable(const std::string& name, const std::string& qualifier, bool flag) = 0;
  // Hands a table back: makes the rows inserted through it permanent and
  // frees it.  Raises when the rows cannot be made permanent; the table is
  // freed in every case.
  virtual void FreeTable(TTable* table) = 0;

  // A transaction of the caller's around several tables' inserts (the
  // tables then store into it, and FreeTable leaves it open).  BeginWrite
  // waits for another writer once; each raises ETableAborted on failure
  // ("database is locked by another process" for a lock).  Rows are
  // permanent only after CommitWrite.  The defaults raise: an engine
  // without transactions of the caller's.
  virtual void BeginWrite();
  virtual void CommitWrite();
  virtual void RollbackWrite();
  // Creates the table `name` (schema `qualifier`, "" for the default) with
  // one column per field of `columns`, named after the field and typed by
  // its code, unless a table of that name exists; safe against another
  // process creating it at the same time.  Inside BeginWrite's transaction
  // the new table goes when it rolls back.  The default raises.
  virtual void CreateTableIfMissing(const std::string& name, const std::string& qualifier, const TRecord& columns);
};

// The process's manager; null until the host sets it.  Not owned.
extern INSTKIT_API TApplicationManager* BaseMng;

}  // namespace instkit
