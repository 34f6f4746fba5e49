#include "host/db/pg_table.h"

#include <libpq-fe.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "host/base/coding.h"
#include "host/base/date_time.h"
#include "host/base/format.h"
#include "host/base/text.h"
#include "host/db/connection_string.h"
#include "host/db/pg_copy_format.h"
#include "host/db/sql_identifier.h"

namespace instkit {

namespace {

// Bytes queued before they go to the server in one CopyData message.
constexpr size_t kSendPiece = 64ull * 1024;
// A batch ends at this many bytes even before BatchRows rows.
constexpr size_t kBatchBytes = size_t{8} << 20;
constexpr const char* kLocked = "database is locked by another process";
constexpr const char* kSavepoint = "instkit_batch";

// SQLSTATE classes 22 (data exception) and 23 (integrity constraint): the
// row's own failure.  Every other failure ends the transfer.
bool IsRowsOwnFailure(const std::string& state) {
  return state.size() == 5 && (state.compare(0, 2, "22") == 0 || state.compare(0, 2, "23") == 0);
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The tuple number a COPY failure names in its context ("COPY t, line 57"),
// or 0.
int64_t FailedLine(const pg_result* result) {
  const char* context = result ? PQresultErrorField(result, PG_DIAG_CONTEXT) : nullptr;
  if (context == nullptr) return 0;
  const char* line = std::strstr(context, ", line ");
  if (line == nullptr) return 0;
  line += 7;
  int64_t n = 0;
  for (; *line >= '0' && *line <= '9' && n < (int64_t{1} << 40); ++line) n = n * 10 + (*line - '0');
  return n;
}

bool IsDateCode(uint8_t code) {
  return ValueClassOf(code) == TValueClass::Float && code != ftFloat && code != ftCurrency;
}

void DrainResults(pg_conn* conn) {
  while (PGresult* r = PQgetResult(conn)) PQclear(r);
}

}  // namespace

class TPgTable final : public TTable {
 public:
  // `plain_table`: an ordinary table without inheriting tables, whose rows a
  // COPY of the table itself gives exactly as a SELECT would.
  TPgTable(TPgConnection& connection, const std::string& schema, std::string name, bool plain_table, int32_t batch_rows)
      : conn_(connection),
        name_(std::move(name)),
        qualified_(QualifiedIdentifier(schema, name_)),
        plain_table_(plain_table),
        batch_rows_(static_cast<size_t>(batch_rows)) {}

  ~TPgTable() override {
    EndReading();
    if (copying_ && !conn_.Lost()) {
      PQputCopyEnd(conn_.Handle(), "table freed");
      DrainResults(conn_.Handle());
    }
    if (own_transaction_ && !conn_.Lost()) PQclear(PQexec(conn_.Handle(), "ROLLBACK"));
  }

  void ApplyFilter(const std::string& expression) override { filter_ = expression; }

  void Open() override {
    const TPgResult result = conn_.Query("SELECT * FROM " + qualified_ + Where() + " LIMIT 0");
    columns_.clear();
    kinds_.clear();
    read_kinds_.clear();
    CurrentRecord.Clear();
    for (int i = 0; i < PQnfields(result.get()); ++i) {
      TPgColumn column{PQfname(result.get(), i), PQftype(result.get(), i), PQfmod(result.get(), i)};
      CurrentRecord.AddField(column.name, column.FieldType(), 0);
      binary_ = binary_ && column.Kind() != TPgKind::kOther;
      kinds_.push_back(column.Kind());
      read_kinds_.push_back(column.ReadKind());
      columns_.push_back(std::move(column));
    }
    row_ = 0;
  }

  int32_t GetRowCount() override {
    const TPgResult result = conn_.Query("SELECT count(*) FROM " + qualified_ + Where());
    const std::optional<int64_t> rows = ParseInt64(PQgetvalue(result.get(), 0, 0));
    return static_cast<int32_t>(std::min<int64_t>(rows.value_or(0), std::numeric_limits<int32_t>::max()));
  }

  bool FetchNext() override {
    if (read_done_) return false;
    if (!reading_) StartReading();
    for (;;) {
      char* buffer = nullptr;
      const int n = PQgetCopyData(conn_.Handle(), &buffer, 0);
      if (n == -1) {
        const TPgResult result(PQgetResult(conn_.Handle()));
        DrainResults(conn_.Handle());
        reading_ = false;
        read_done_ = true;
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) throw conn_.Error(result.get(), "table '" + name_ + "'");
        return false;
      }
      if (n < 0) throw conn_.Error(nullptr, "table '" + name_ + "'");
      const std::unique_ptr<char, void (*)(void*)> hold(buffer, PQfreemem);
      if (ParseTuple(std::string_view(buffer, static_cast<size_t>(n)))) return true;
    }
  }

  void InsertRow() override {
    AddRow([&] {
      for (size_t i = 0; i < columns_.size(); ++i)
        Encode(i, CurrentRecord.GetFields(static_cast<int32_t>(i))->GetValue());
    });
  }

  // Encodes values' own values where the column keeps them unchanged; other
  // values go through the column's field of CurrentRecord first, and into a
  // text column a date-time becomes ISO-8601 text and a whole number its
  // digits (as the SQLite engine stores them).
  void InsertValues(const TRecord& values) override {
    FollowValues(values);
    AddRow([&] {
      for (size_t i = 0; i < columns_.size(); ++i) {
        if (i >= values_.size()) {
          Encode(i, TVariant{});
          continue;
        }
        const TField& source = *values_[i].field;
        const TVariant& value = source.GetValue();
        if (values_[i].same_kind) {
          Encode(i, value);
          continue;
        }
        TField& column = *CurrentRecord.GetFields(static_cast<int32_t>(i));
        const auto* real = std::get_if<double>(&value);
        const bool into_text = real != nullptr && ValueClassOf(column.FieldType()) == TValueClass::Text;
        if (into_text && IsDateCode(source.FieldType())) {
          Encode(i, TVariant{FormatIsoDateTime(*real, TIsoForm::kDate)});
        } else if (into_text && std::trunc(*real) == *real && std::fabs(*real) <= 9007199254740992.0) {
          Encode(i, TVariant{IntToStr(static_cast<int64_t>(*real))});
        } else {
          column.SetValue(value);
          Encode(i, column.GetValue());
        }
      }
    });
  }

  void FlushRows() override {
    if (copying_) EndBatch();
  }

  TRowFailures TakeRowFailures() override { return std::exchange(failures_, TRowFailures{}); }

  const std::string& Name() const override { return name_; }

  // Stores the rows held back and makes them permanent.
  void Commit() {
    EndReading();
    FlushRows();
    if (!own_transaction_) return;
    own_transaction_ = false;
    const TPgResult result(PQexec(conn_.Handle(), "COMMIT"));
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK || std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
      const EPostgresError e = conn_.Error(result.get(), "table '" + name_ + "', commit");
      throw ETableAborted("EPostgresError", e.Message() + "; no row was stored");
    }
  }

 private:
  // Takes the fields of the records given to InsertValues again when they
  // (or CurrentRecord's) changed: each with whether its values have its
  // column's kind.
  void FollowValues(const TRecord& values) {
    if (values.LayoutVersion() == values_version_ && CurrentRecord.LayoutVersion() == columns_version_) return;
    values_.clear();
    const auto shared = std::min(static_cast<int32_t>(columns_.size()), values.GetFieldCount());
    for (int32_t i = 0; i < shared; ++i) {
      TField* field = values.GetFields(i);
      values_.push_back(
          {field, ValueClassOf(field->FieldType()) == ValueClassOf(CurrentRecord.GetFields(i)->FieldType())});
    }
    values_version_ = values.LayoutVersion();
    columns_version_ = CurrentRecord.LayoutVersion();
  }

  std::string Where() const { return Trim(filter_).empty() ? std::string() : " WHERE (" + filter_ + "\n)"; }

  // ---- Reading ----

  void StartReading() {
    if (columns_.empty()) throw EPostgresError("Table '" + name_ + "' is not open");
    std::string list;
    bool direct = plain_table_ && Where().empty();
    for (const TPgColumn& column : columns_) {
      const std::string expression = column.SelectExpression();
      direct = direct && expression == QuoteIdentifier(column.name);
      list += (list.empty() ? "" : ", ") + expression;
    }
    // COPY of the table itself spares the server a query's executor (a
    // fifth of its work on a plain table); a filter, a converted column, a
    // view or inheriting tables need the query.
    conn_.Simple(direct ? "COPY " + qualified_ + " (" + list + ") TO STDOUT (FORMAT binary)"
                        : "COPY (SELECT " + list + " FROM " + qualified_ + Where() + ") TO STDOUT (FORMAT binary)",
                 PGRES_COPY_OUT);
    reading_ = true;
    header_seen_ = false;
  }

  // Ends a copy that is still sending rows: a table freed before its last
  // row.  The server is asked to cancel and what it still sends is dropped.
  void EndReading() {
    if (!reading_ || conn_.Lost()) return;
    reading_ = false;
    if (PGcancel* cancel = PQgetCancel(conn_.Handle())) {
      char error[256];
      PQcancel(cancel, error, sizeof error);
      PQfreeCancel(cancel);
    }
    char* buffer = nullptr;
    while (PQgetCopyData(conn_.Handle(), &buffer, 0) > 0) PQfreemem(buffer);
    DrainResults(conn_.Handle());
  }

  [[noreturn]] void Malformed() const {
    throw EPostgresError("The server sent a row this client cannot read (table '" + name_ + "')");
  }

  // One CopyData message: the header (with the first row), a row, or the
  // trailer.  True when it held a row, now in CurrentRecord.
  bool ParseTuple(std::string_view message) {
    if (!header_seen_) {
      if (message.size() < kPgCopyHeader.size() || message.substr(0, 11) != kPgCopyHeader.substr(0, 11)) Malformed();
      const size_t extension = DecodeBig32(message.data() + 15);
      if (message.size() - kPgCopyHeader.size() < extension) Malformed();
      message.remove_prefix(kPgCopyHeader.size() + extension);
      header_seen_ = true;
    }
    if (message.size() < 2) return false;
    const auto count = static_cast<int16_t>(DecodeBig16(message.data()));
    if (count == -1) return false;
    if (count != static_cast<int16_t>(columns_.size())) Malformed();
    size_t p = 2;
    ++row_;
    for (int32_t i = 0; i < count; ++i) {
      if (message.size() - p < 4) Malformed();
      const auto length = static_cast<int32_t>(DecodeBig32(message.data() + p));
      p += 4;
      TField& field = *CurrentRecord.GetFields(i);
      if (length < 0) {
        field.Clear();
        continue;
      }
      if (message.size() - p < static_cast<size_t>(length)) Malformed();
      try {
        ReadPgValue(read_kinds_[static_cast<size_t>(i)], message.substr(p, static_cast<size_t>(length)), field);
      } catch (const EConvertError& e) {
        throw EConvertError(Format("%s (table '%s', row %lld, column '%s')", e.Message().c_str(), name_.c_str(),
                                   static_cast<long long>(row_), field.Name().c_str()));
      }
      p += static_cast<size_t>(length);
    }
    return true;
  }

  // ---- Writing ----

  void StartWriting() {
    if (writing_) return;
    if (columns_.empty()) throw EPostgresError("Table '" + name_ + "' is not open");
    try {
      if (!conn_.InTransaction()) {
        conn_.Exec("BEGIN");
        own_transaction_ = true;
      }
      conn_.Exec("LOCK TABLE " + qualified_ + " IN ROW EXCLUSIVE MODE");
    } catch (const EPostgresError& e) {
      Abort(e);
    }
    std::string list;
    for (const TPgColumn& column : columns_) list += (list.empty() ? "" : ", ") + QuoteIdentifier(column.name);
    copy_sql_ = "COPY " + qualified_ + " (" + list + ") FROM STDIN (FORMAT " + (binary_ ? "binary)" : "text)");
    writing_ = true;
  }

  // Encodes a row straight into the batch (`encode` appends its values) and
  // queues it.  A value that cannot be encoded raises with nothing of the
  // row left in the batch.
  template <typename TEncode>
  void AddRow(const TEncode& encode) {
    StartWriting();
    const size_t start = batch_.size();
    if (binary_) PutBig16(batch_, static_cast<uint16_t>(columns_.size()));
    try {
      encode();
    } catch (...) {
      batch_.resize(start);
      throw;
    }
    QueueRow(start);
  }

  // Appends one value of the row being encoded.  A value the column cannot
  // hold raises: the row's own failure, nothing queued.
  void Encode(size_t i, const TVariant& value) {
    const TPgKind kind = kinds_[i];
    if (binary_) {
      PutPgBinaryValue(batch_, kind, value);
      return;
    }
    if (i > 0) batch_ += '\t';
    PutPgTextValue(batch_, kind, value);
    if (i + 1 == columns_.size()) batch_ += '\n';
  }

  // Queues the row encoded at `start`.
  void QueueRow(size_t start) {
    if (!copying_) BeginCopy();
    offsets_.push_back(start);
    if (batch_.size() - sent_ >= kSendPiece) Send(sent_, batch_.size());
    if (offsets_.size() >= batch_rows_ || batch_.size() >= kBatchBytes) EndBatch();
  }

  // SAVEPOINT and COPY ... FROM STDIN.
  void BeginCopy() {
    try {
      conn_.Exec(std::string("SAVEPOINT ") + kSavepoint);
      conn_.Simple(copy_sql_, PGRES_COPY_IN);
    } catch (const EPostgresError& e) {
      Abort(e);
    }
    copying_ = true;
    if (binary_) PutCopyData(kPgCopyHeader.data(), kPgCopyHeader.size());
  }

  void PutCopyData(const char* data, size_t size) {
    while (size > 0) {
      const int piece = static_cast<int>(std::min<size_t>(size, 1 << 30));
      if (PQputCopyData(conn_.Handle(), data, piece) != 1) Abort(conn_.Error(nullptr, "table '" + name_ + "'"));
      data += piece;
      size -= static_cast<size_t>(piece);
    }
  }

  // Sends the batch's bytes [from, to).
  void Send(size_t from, size_t to) {
    PutCopyData(batch_.data() + from, to - from);
    sent_ = to;
  }

  struct TCopyEnd {
    bool ok = true;
    std::string message;
    int64_t line = 0;
  };

  // Ends the copy: the rows are in (savepoint released), or a row failed on
  // its own (rolled back to the savepoint; `line` names the row when the
  // server did).  Any other failure aborts.
  TCopyEnd EndCopy() {
    if (binary_) PutCopyData("\xff\xff", 2);
    copying_ = false;
    if (PQputCopyEnd(conn_.Handle(), nullptr) != 1) Abort(conn_.Error(nullptr, "table '" + name_ + "'"));
    const TPgResult result(PQgetResult(conn_.Handle()));
    DrainResults(conn_.Handle());
    TCopyEnd end;
    try {
      if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
        conn_.Exec(std::string("RELEASE SAVEPOINT ") + kSavepoint);
        return end;
      }
      const EPostgresError e = conn_.Error(result.get(), "table '" + name_ + "'");
      if (!IsRowsOwnFailure(e.SqlState()) || conn_.Lost()) Abort(e);
      conn_.Simple(std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint + "; RELEASE SAVEPOINT " + kSavepoint,
                   PGRES_COMMAND_OK);
      end.ok = false;
      end.message = e.Message();
      end.line = FailedLine(result.get());
    } catch (const EPostgresError& e) {
      Abort(e);
    }
    return end;
  }

  size_t Offset(size_t row) const { return row < offsets_.size() ? offsets_[row] : batch_.size(); }

  TCopyEnd CopyRows(size_t from, size_t to) {
    BeginCopy();
    Send(Offset(from), Offset(to));
    return EndCopy();
  }

  // Stores the rows of the batch.  A batch that a row's own failure breaks
  // is copied again in parts, in order: when the server names the failing
  // row, the rows before it in one copy and then the row alone (counted when
  // it fails again); when it names none, halves of the part known to hold
  // the failing row, until that row is alone.  After a failed row the copies
  // start at one row and grow fourfold with each success.  A batch with a
  // few bad rows thus costs a few copies per bad row (a few dozen at most),
  // one where every row fails one copy per row.
  void EndBatch() {
    Send(sent_, batch_.size());
    TCopyEnd end = EndCopy();
    const size_t rows = offsets_.size();
    size_t next = 0;        // the first row neither stored nor counted
    size_t size = rows;     // the rows of the copy that `end` describes
    size_t grow = rows;     // the next copy's size when nothing is suspected
    size_t suspect = rows;  // the failing row the server last named
    size_t limit = 0;       // [next, limit) holds a failing row
    for (;;) {
      if (end.ok) {
        next += size;
        grow = size * 4;
      } else if (size == 1) {
        ++failures_.count;
        failures_.class_name = "EPostgresError";
        failures_.message = end.message;
        next += 1;
        grow = 1;
      } else if (end.line >= 1 && static_cast<uint64_t>(end.line) <= size) {
        suspect = next + static_cast<size_t>(end.line) - 1;
        limit = 0;
      } else {
        limit = next + size;
        suspect = rows;
      }
      if (next >= rows) break;
      if (suspect >= next && suspect < rows) {
        size = suspect == next ? 1 : suspect - next;
      } else if (limit > next) {
        size = std::max<size_t>(1, (limit - next) / 2);
      } else {
        size = std::min(grow, rows - next);
      }
      end = CopyRows(next, next + size);
    }
    batch_.clear();
    offsets_.clear();
    sent_ = 0;
  }

  // A failure that is not a row's own: every row of the table's own
  // transaction is undone (inside the caller's, the caller rolls back).
  [[noreturn]] void Abort(const EPostgresError& e) {
    if (copying_ && !conn_.Lost()) {
      PQputCopyEnd(conn_.Handle(), "aborted");
      DrainResults(conn_.Handle());
    }
    copying_ = false;
    batch_.clear();
    offsets_.clear();
    sent_ = 0;
    if (own_transaction_) {
      if (!conn_.Lost()) PQclear(PQexec(conn_.Handle(), "ROLLBACK"));
      own_transaction_ = false;
    }
    const std::string message = e.SqlState() == "55P03" ? std::string(kLocked) + " (table '" + name_ + "')"
                                                        : e.Message();
    throw ETableAborted("EPostgresError", message + "; the rows stored before were undone");
  }

  TPgConnection& conn_;
  std::string name_;
  std::string qualified_;
  bool plain_table_ = false;
  std::string filter_;
  std::vector<TPgColumn> columns_;
  std::vector<TPgKind> kinds_;       // how each column is written
  std::vector<TPgKind> read_kinds_;  // and read
  struct TValueSlot {
    TField* field;
    bool same_kind;  // its values go to the column unconverted
  };
  std::vector<TValueSlot> values_;  // of the record InsertValues took last
  uint64_t values_version_ = 0;     // its layout
  uint64_t columns_version_ = 0;    // and CurrentRecord's then
  bool binary_ = true;
  int64_t row_ = 0;
  bool reading_ = false;
  bool read_done_ = false;
  bool header_seen_ = false;

  size_t batch_rows_;
  bool writing_ = false;
  bool own_transaction_ = false;
  bool copying_ = false;
  std::string copy_sql_;
  std::string batch_;            // the encoded rows of the open batch
  std::vector<size_t> offsets_;  // where each of them starts
  size_t sent_ = 0;              // bytes of batch_ handed to libpq
  TRowFailures failures_;
};

TPgApplicationManager::TPgApplicationManager(const std::string& address) {
  const std::string conninfo = ServerConnectionString(address).value_or(address);
  connection_ = std::make_unique<TPgConnection>(conninfo, MaskPassword(address));
  SetLockTimeout(5000);
}

TPgApplicationManager::~TPgApplicationManager() {
  for (auto& table : tables_) {
    try {
      table->Commit();
    } catch (...) {
      // Destruction must not raise; a host that cares calls FreeTable.
    }
  }
  tables_.clear();
}

void TPgApplicationManager::SetLockTimeout(int milliseconds) {
  connection_->Exec("SET lock_timeout = " + std::to_string(milliseconds));
}

bool TPgApplicationManager::Lookup(const std::string& name, const std::string& qualifier, std::string& schema,
                                   std::string& found, bool* plain_table) {
  const TPgResult result = connection_->Query(
      "SELECT n.nspname, c.relname, c.relkind = 'r' AND NOT c.relhassubclass FROM pg_catalog.pg_class c "
      "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
      "WHERE c.relkind IN ('r', 'v', 'm', 'f', 'p') AND lower(c.relname) = lower($1) AND "
      "CASE WHEN $2 = '' THEN n.nspname = ANY (current_schemas(true)) ELSE lower(n.nspname) = lower($2) END "
      "ORDER BY c.relname = $1 DESC, n.nspname = $2 DESC, array_position(current_schemas(true), n.nspname) "
      "LIMIT 1",
      {name, std::string(Trim(qualifier))});
  if (PQntuples(result.get()) == 0) return false;
  schema = PQgetvalue(result.get(), 0, 0);
  found = PQgetvalue(result.get(), 0, 1);
  if (plain_table != nullptr) *plain_table = std::strcmp(PQgetvalue(result.get(), 0, 2), "t") == 0;
  return true;
}

TTable* TPgApplicationManager::GetUserTable(const std::string& name, const std::string& qualifier, bool) {
  std::string schema, found;
  bool plain_table = false;
  if (!Lookup(name, qualifier, schema, found, &plain_table)) return nullptr;
  tables_.push_back(std::make_unique<TPgTable>(*connection_, schema, found, plain_table, batch_rows_));
  return tables_.back().get();
}

void TPgApplicationManager::FreeTable(TTable* table) {
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (it->get() != table) continue;
    std::unique_ptr<TPgTable> owned = std::move(*it);
    tables_.erase(it);
    owned->Commit();
    return;
  }
}

namespace {
void ExecWrite(TPgConnection& connection, const char* sql, const char* expected_status) {
  const TPgResult result(PQexec(connection.Handle(), sql));
  if (PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
      std::strcmp(PQcmdStatus(result.get()), expected_status) == 0) {
    return;
  }
  const EPostgresError e = connection.Error(result.get(), std::string("database ") + connection.Shown() + ", " + sql);
  throw ETableAborted("EPostgresError", e.SqlState() == "55P03" ? std::string(kLocked) : e.Message());
}
}  // namespace

void TPgApplicationManager::BeginWrite() { ExecWrite(*connection_, "BEGIN", "BEGIN"); }
void TPgApplicationManager::CommitWrite() { ExecWrite(*connection_, "COMMIT", "COMMIT"); }
void TPgApplicationManager::RollbackWrite() {
  if (!connection_->Lost() && connection_->InTransaction()) ExecWrite(*connection_, "ROLLBACK", "ROLLBACK");
}

void TPgApplicationManager::CreateTableIfMissing(const std::string& name, const std::string& qualifier,
                                                 const TRecord& columns) {
  std::string schema, found;
  if (Lookup(name, qualifier, schema, found)) return;
  const std::string target = QualifiedIdentifier(Trim(qualifier), AsciiLower(Trim(name)));
  // Another importer creating the same table waits here until it commits,
  // and then finds it.
  try {
    connection_->Query("SELECT pg_advisory_xact_lock(hashtext($1))", {"instkit create " + AsciiLower(target)});
  } catch (const EPostgresError& e) {
    if (e.SqlState() == "55P03")
      throw ETableAborted("EPostgresError", std::string(kLocked) + " (creating " + target + ")");
    throw;
  }
  if (Lookup(name, qualifier, schema, found)) return;
  std::string sql = "CREATE TABLE " + target + " (";
  for (int32_t i = 0; i < columns.GetFieldCount(); ++i) {
    const TField& field = *columns.GetFields(i);
    sql += (i > 0 ? ", " : "") + QuoteIdentifier(AsciiLower(field.Name())) + " " +
           PgDeclaredTypeOfFieldType(field.FieldType());
  }
  connection_->Exec(sql + ")");
}

const char* PgDeclaredTypeOfFieldType(uint8_t code) {
  switch (ValueClassOf(code)) {
    case TValueClass::Boolean:
      return "boolean";
    case TValueClass::Integer:
      return code == ftSmallInt || code == ftWord ? "smallint" : "integer";
    case TValueClass::Float:
      if (code == ftCurrency) return "numeric";
      if (code == ftFloat) return "double precision";
      if (code == ftDate) return "date";
      if (code == ftTime) return "time";
      return "timestamp";
    case TValueClass::Text:
      return code == ftBinary ? "bytea" : "text";
    case TValueClass::Any:
      return "text";
  }
  return "text";
}

}  // namespace instkit
