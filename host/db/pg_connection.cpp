#include "host/db/pg_connection.h"

#include <libpq-fe.h>

#include "host/base/format.h"
#include "host/base/text.h"
#include "host/db/connection_string.h"
#include "host/db/sql_identifier.h"

namespace instkit {

void TPgResultDeleter::operator()(pg_result* r) const { PQclear(r); }

namespace {
std::string Chomp(const char* text) { return text == nullptr ? std::string() : std::string(TrimRight(text)); }
}  // namespace

TPgConnection::TPgConnection(const std::string& conninfo, std::string shown)
    : conninfo_(conninfo), shown_(std::move(shown)) {
  conn_ = PQconnectdb(conninfo.c_str());
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    const std::string reason = MaskPasswordIn(Chomp(conn_ ? PQerrorMessage(conn_) : "out of memory"), conninfo_);
    PQfinish(conn_);
    conn_ = nullptr;
    throw EPostgresError(Format("Cannot connect to %s: %s", shown_.c_str(), reason.c_str()));
  }
  // The server's notices ("table does not exist, skipping") are not the
  // operator's business: libpq would print them on stderr.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
}

TPgConnection::~TPgConnection() { PQfinish(conn_); }

bool TPgConnection::Lost() const { return PQstatus(conn_) != CONNECTION_OK; }

bool TPgConnection::InTransaction() const {
  const PGTransactionStatusType status = PQtransactionStatus(conn_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

EPostgresError TPgConnection::Error(const pg_result* result, const std::string& context) const {
  std::string message;
  std::string state;
  if (result != nullptr && PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) != nullptr) {
    message = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = s;
  } else {
    message = Chomp(PQerrorMessage(conn_));
    if (message.empty()) message = "unknown failure";
  }
  if (Lost()) message = "the connection to the server was lost (" + message + ")";
  message = MaskPasswordIn(message, conninfo_);
  return EPostgresError(context.empty() ? message : message + " (" + context + ")", state);
}

TPgResult TPgConnection::Query(const std::string& sql, const std::vector<std::string>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const std::string& p : params) values.push_back(p.c_str());
  TPgResult result(
      PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw Error(result.get(), StatementForMessage(sql));
  return result;
}

TPgResult TPgConnection::Simple(const std::string& sql, int expected) {
  TPgResult result(PQexec(conn_, sql.c_str()));
  if (!result || PQresultStatus(result.get()) != expected) throw Error(result.get(), StatementForMessage(sql));
  return result;
}

}  // namespace instkit
