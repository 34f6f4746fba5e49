#include "host/db/sqlite_db.h"

#include <sqlite3.h>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/db/sql_identifier.h"

namespace instkit {

namespace {
[[noreturn]] void Fail(sqlite3* db, const std::string& context) {
  throw Exception("ESQLiteError",
                  Format("%s (%s)", db ? sqlite3_errmsg(db) : "out of memory", StatementForMessage(context).c_str()));
}
}  // namespace

TSqliteDb::TSqliteDb(const std::string& path, bool create) : path_(path) {
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw Exception("ESQLiteError", Format("Cannot open database '%s': %s", path.c_str(), message.c_str()));
  }
  sqlite3_busy_timeout(db_, 5000);
}

TSqliteDb::~TSqliteDb() { sqlite3_close_v2(db_); }

void TSqliteDb::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw Exception("ESQLiteError", Format("%s (%s)", message.c_str(), StatementForMessage(sql).c_str()));
  }
}

TSqliteStatement TSqliteDb::Prepare(const std::string& sql) { return TSqliteStatement(db_, sql); }

int64_t TSqliteDb::LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }

TSqliteStatement::TSqliteStatement(sqlite3* db, const std::string& sql) : db_(db), sql_(sql) {
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
    Fail(db, sql);
  }
}

TSqliteStatement::~TSqliteStatement() { sqlite3_finalize(stmt_); }

TSqliteStatement::TSqliteStatement(TSqliteStatement&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_), sql_(std::move(other.sql_)) {
  other.stmt_ = nullptr;
}

void TSqliteStatement::BindNull(int index) {
  if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) Fail(db_, sql_);
}
void TSqliteStatement::BindInt64(int index, int64_t value) {
  if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) Fail(db_, sql_);
}
void TSqliteStatement::BindDouble(int index, double value) {
  if (sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) Fail(db_, sql_);
}
void TSqliteStatement::BindText(int index, std::string_view value) {
  if (sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
    Fail(db_, sql_);
  }
}
void TSqliteStatement::BindBlob(int index, const void* data, size_t size) {
  if (sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT) != SQLITE_OK) Fail(db_, sql_);
}

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, sql_);
}

void TSqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int TSqliteStatement::ColumnCount() const { return sqlite3_column_count(stmt_); }
std::string TSqliteStatement::ColumnName(int index) const {
  const char* name = sqlite3_column_name(stmt_, index);
  return name ? name : "";
}
int TSqliteStatement::ColumnType(int index) const { return sqlite3_column_type(stmt_, index); }
std::string TSqliteStatement::ColumnDeclType(int index) const {
  const char* type = sqlite3_column_decltype(stmt_, index);
  return type ? type : "";
}
int64_t TSqliteStatement::ColumnInt64(int index) const { return sqlite3_column_int64(stmt_, index); }
double TSqliteStatement::ColumnDouble(int index) const { return sqlite3_column_double(stmt_, index); }
std::string TSqliteStatement::ColumnText(int index) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, index))) : std::string();
}
std::string TSqliteStatement::ColumnBlob(int index) const {
  const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt_, index));
  return blob ? std::string(blob, static_cast<size_t>(sqlite3_column_bytes(stmt_, index))) : std::string();
}

}  // namespace instkit
