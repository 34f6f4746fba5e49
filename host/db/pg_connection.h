// A libpq connection to a PostgreSQL server: the RAII handle, statements and
// errors.  Every failure raises EPostgresError with the server's (or libpq's)
// message, the SQLSTATE when the server sent one, and never a password
// (host/db/connection_string.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/base/exception.h"

struct pg_conn;
struct pg_result;

namespace instkit {

class EPostgresError : public Exception {
 public:
  EPostgresError(std::string message, std::string sqlstate = {})
      : Exception("EPostgresError", std::move(message)), sqlstate_(std::move(sqlstate)) {}
  // Five characters ("23505"), or empty when the failure is the client's
  // (a lost connection, a refused connection).
  const std::string& SqlState() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

struct TPgResultDeleter {
  void operator()(pg_result* r) const;
};
using TPgResult = std::unique_ptr<pg_result, TPgResultDeleter>;

class TPgConnection {
 public:
  // Connects with a libpq connection string; `shown` names the server in
  // messages (its password masked).  Raises EPostgresError "Cannot connect
  // to SHOWN: REASON".
  TPgConnection(const std::string& conninfo, std::string shown);
  ~TPgConnection();
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  pg_conn* Handle() const { return conn_; }
  const std::string& Shown() const { return shown_; }

  // Runs one statement (parameters as texts, sent apart from the SQL: one
  // statement only, whatever the texts hold) and returns its rows.
  TPgResult Query(const std::string& sql, const std::vector<std::string>& params = {});
  void Exec(const std::string& sql) { Query(sql); }
  // Runs SQL through the simple protocol (several statements, COPY) and
  // returns the last result, which must have `expected` status.
  TPgResult Simple(const std::string& sql, int expected);

  // The error of a failed result (or of the connection when null) as an
  // exception, its message masked and `context` appended.
  EPostgresError Error(const pg_result* result, const std::string& context) const;
  // True when the connection is gone (the server stopped or dropped it).
  bool Lost() const;
  // True inside a transaction block (idle, active or failed).
  bool InTransaction() const;

 private:
  pg_conn* conn_ = nullptr;
  std::string conninfo_;
  std::string shown_;
};

}  // namespace instkit
