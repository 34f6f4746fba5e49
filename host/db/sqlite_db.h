// A thin RAII layer over SQLite, shared by the host's tables, registry and
// form store.  Every failure raises Exception("ESQLiteError") with SQLite's
// own message and the statement or file concerned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace instkit {

class TSqliteStatement;

class TSqliteDb {
 public:
  // Opens (creating when `create`) the database file.
  TSqliteDb(const std::string& path, bool create = true);
  ~TSqliteDb();
  TSqliteDb(const TSqliteDb&) = delete;
  TSqliteDb& operator=(const TSqliteDb&) = delete;

  void Exec(const std::string& sql);
  TSqliteStatement Prepare(const std::string& sql);
  sqlite3* Handle() const { return db_; }
  const std::string& Path() const { return path_; }
  int64_t LastInsertRowId() const;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

class TSqliteStatement {
 public:
  TSqliteStatement(sqlite3* db, const std::string& sql);
  ~TSqliteStatement();
  TSqliteStatement(TSqliteStatement&& other) noexcept;
  TSqliteStatement& operator=(TSqliteStatement&&) = delete;
  TSqliteStatement(const TSqliteStatement&) = delete;

  // Parameters are 1-based, as in SQLite.
  void BindNull(int index);
  void BindInt64(int index, int64_t value);
  void BindDouble(int index, double value);
  void BindText(int index, std::string_view value);
  void BindBlob(int index, const void* data, size_t size);

  // True while a row is available; false when done.
  bool Step();
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int index) const;
  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
  int ColumnType(int index) const;
  // The declared type of a result column ("" for expressions).
  std::string ColumnDeclType(int index) const;
  int64_t ColumnInt64(int index) const;
  double ColumnDouble(int index) const;
  std::string ColumnText(int index) const;
  std::string ColumnBlob(int index) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::string sql_;
};

// A statement as messages quote it: its first 200 bytes and "..." (statements
// built from a file's header can be megabytes long).
std::string StatementForMessage(const std::string& sql);

}  // namespace instkit
