#include "host/db/open_database.h"

#include "host/db/connection_string.h"
#include "host/db/pg_table.h"
#include "host/db/sqlite_table.h"

namespace instkit {

std::unique_ptr<TApplicationManager> OpenApplicationManager(const std::string& address, bool create) {
  if (ServerConnectionString(address)) return std::make_unique<TPgApplicationManager>(address);
  return std::make_unique<TSqliteApplicationManager>(address, create);
}

}  // namespace instkit
