// TSqliteDb for builds without SQLite (the Windows cross builds, see
// cmake/platform_sources.cmake).  Opening a database raises ESQLiteError
// saying so; as no database object can exist, the statement operations are
// never reached.  Code built on TSqliteDb (the form store) still compiles and
// links, and fails with a clear message when used.
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/db/sqlite_db.h"

namespace instkit {

namespace {
[[noreturn]] void Unavailable(const std::string& what) {
  throw Exception("ESQLiteError", Format("Cannot use database '%s': this build has no SQLite", what.c_str()));
}
}  // namespace

TSqliteDb::TSqliteDb(const std::string& path, bool) : path_(path) { Unavailable(path); }
TSqliteDb::~TSqliteDb() = default;
void TSqliteDb::Exec(const std::string&) { Unavailable(path_); }
TSqliteStatement TSqliteDb::Prepare(const std::string&) { Unavailable(path_); }
int64_t TSqliteDb::LastInsertRowId() const { Unavailable(path_); }

TSqliteStatement::TSqliteStatement(sqlite3* db, const std::string& sql) : db_(db), sql_(sql) { Unavailable(sql); }
TSqliteStatement::~TSqliteStatement() = default;
TSqliteStatement::TSqliteStatement(TSqliteStatement&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_), sql_(std::move(other.sql_)) {
  other.stmt_ = nullptr;
}
void TSqliteStatement::BindNull(int) { Unavailable(sql_); }
void TSqliteStatement::BindInt64(int, int64_t) { Unavailable(sql_); }
void TSqliteStatement::BindDouble(int, double) { Unavailable(sql_); }
void TSqliteStatement::BindText(int, std::string_view) { Unavailable(sql_); }
void TSqliteStatement::BindBlob(int, const void*, size_t) { Unavailable(sql_); }
bool TSqliteStatement::Step() { Unavailable(sql_); }
void TSqliteStatement::Reset() { Unavailable(sql_); }
int TSqliteStatement::ColumnCount() const { Unavailable(sql_); }
std::string TSqliteStatement::ColumnName(int) const { Unavailable(sql_); }
int TSqliteStatement::ColumnType(int) const { Unavailable(sql_); }
std::string TSqliteStatement::ColumnDeclType(int) const { Unavailable(sql_); }
int64_t TSqliteStatement::ColumnInt64(int) const { Unavailable(sql_); }
double TSqliteStatement::ColumnDouble(int) const { Unavailable(sql_); }
std::string TSqliteStatement::ColumnText(int) const { Unavailable(sql_); }
std::string TSqliteStatement::ColumnBlob(int) const { Unavailable(sql_); }
std::string StatementForMessage(const std::string& sql) { return sql.substr(0, 200); }

}  // namespace instkit
