// The application manager of a database address: an SQLite file, or a
// PostgreSQL server (host/db/connection_string.h gives the forms).
#pragma once

#include <memory>
#include <string>

#include "host/base/export.h"
#include "host/db/application_manager.h"

namespace instkit {

// Opens the database; `create` makes a missing SQLite file (a server
// database must exist).  Raises the engine's Exception (ESQLiteError,
// EPostgresError) with a message naming the database, its password masked.
INSTKIT_API std::unique_ptr<TApplicationManager> OpenApplicationManager(const std::string& address, bool create);

}  // namespace instkit
