// The host's application manager: where the data files find their tables.
//
// BaseMng is the process's manager; the host points it at a database before
// a data file transfers rows (for SQLite: OpenSqliteApplicationManager, see
// host/db/sqlite_table.h) and back to null when done.  The manager is abstract
// so that another engine (a server database) can stand behind the same
// interface.
#pragma once

#include <string>

#include "host/db/table.h"

namespace instkit {

class TApplicationManager {
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
};

// The process's manager; null until the host sets it.  Not owned.
extern TApplicationManager* BaseMng;

}  // namespace instkit
