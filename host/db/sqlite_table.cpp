#include "host/db/sqlite_table.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <optional>

#include "host/base/date_time.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/text.h"
#include "host/db/sql_identifier.h"

namespace instkit {

namespace {

[[noreturn]] void Fail(const std::string& message) { throw Exception("ESQLiteError", message); }

std::string SchemaOf(const std::string& qualifier) {
  const std::string_view trimmed = Trim(qualifier);
  return trimmed.empty() ? std::string("main") : std::string(trimmed);
}

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Prepares exactly one statement; trailing text other than blanks and ';'
// is refused so that a filter cannot smuggle in a second statement.
StatementPtr PrepareOne(sqlite3* db, const std::string& sql, const std::string& table) {
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK) {
    Fail(Format("%s (table '%s': %s)", sqlite3_errmsg(db), table.c_str(), StatementForMessage(sql).c_str()));
  }
  StatementPtr result(stmt);
  for (; tail != nullptr && *tail != '\0'; ++tail) {
    if (static_cast<unsigned char>(*tail) > 32 && *tail != ';') {
      Fail(Format("More than one statement (table '%s': %s)", table.c_str(), StatementForMessage(sql).c_str()));
    }
  }
  if (!result) Fail(Format("Empty statement (table '%s': %s)", table.c_str(), StatementForMessage(sql).c_str()));
  return result;
}

// SQLite's message for the last failure, except that a lock held by another
// connection is said plainly.
std::string ErrorText(sqlite3* db) {
  const int primary = sqlite3_extended_errcode(db) & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? "database is locked by another process"
                                                            : sqlite3_errmsg(db);
}

// Which failures of a row's insert are the row's own.  Every other one (disk
// full, I/O errors, locks, memory) ends the transfer; see InsertRow.
bool IsRowsOwnFailure(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
      return true;
    default:
      return false;
  }
}

// The largest integer a double holds exactly, and so the widest value that
// travels as FLOAT without change.
constexpr int64_t kExactDoubleLimit = int64_t{1} << 53;

TIsoForm IsoFormOf(uint8_t code) {
  switch (code) {
    case ftDate:
      return TIsoForm::kDate;
    case ftTime:
      return TIsoForm::kTime;
    default:
      return TIsoForm::kDateTime;
  }
}

bool IsDateCode(uint8_t code) {
  return ValueClassOf(code) == TValueClass::Float && code != ftFloat && code != ftCurrency;
}

}  // namespace

class TSqliteTable final : public TTable {
 public:
  TSqliteTable(sqlite3* db, std::string schema, std::string name)
      : db_(db), schema_(std::move(schema)), name_(std::move(name)), qualified_(QualifiedIdentifier(schema_, name_)) {}

  ~TSqliteTable() override {
    select_.reset();
    insert_.reset();
    if (own_transaction_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void ApplyFilter(const std::string& expression) override { filter_ = expression; }

  void Open() override {
    select_ = PrepareOne(db_, "SELECT * FROM " + qualified_ + WhereClause(), name_);
    const std::string row_id_alias = RowIdAlias();
    CurrentRecord.Clear();
    const int count = sqlite3_column_count(select_.get());
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(select_.get(), i);
      const char* declared = sqlite3_column_decltype(select_.get(), i);
      uint8_t code = FieldTypeOfDeclaredType(declared ? declared : "");
      // The rowid holds 64-bit integers whatever the table says.
      if (name != nullptr && !row_id_alias.empty() && AsciiEqualNoCase(name, row_id_alias)) code = ftFloat;
      CurrentRecord.AddField(name ? name : "", code, 0);
    }
    row_ = 0;
  }

  int32_t GetRowCount() override {
    StatementPtr count = PrepareOne(db_, "SELECT count(*) FROM " + qualified_ + WhereClause(), name_);
    const int rc = sqlite3_step(count.get());
    if (rc != SQLITE_ROW) Fail(Format("%s (table '%s')", sqlite3_errmsg(db_), name_.c_str()));
    const int64_t rows = sqlite3_column_int64(count.get(), 0);
    return static_cast<int32_t>(std::min<int64_t>(rows, std::numeric_limits<int32_t>::max()));
  }

  bool FetchNext() override {
    if (!select_) Fail(Format("Table '%s' is not open", name_.c_str()));
    const int rc = sqlite3_step(select_.get());
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) Fail(Format("%s (table '%s')", sqlite3_errmsg(db_), name_.c_str()));
    ++row_;
    const int count = std::min(sqlite3_column_count(select_.get()), CurrentRecord.GetFieldCount());
    for (int i = 0; i < count; ++i) {
      TField& field = *CurrentRecord.GetFields(i);
      try {
        ReadColumn(i, field);
      } catch (const EConvertError& e) {
        throw EConvertError(Format("%s (table '%s', row %lld, column '%s')", e.Message().c_str(), name_.c_str(),
                                   static_cast<long long>(row_), field.Name().c_str()));
      }
    }
    return true;
  }

  void InsertRow() override {
    if (!insert_) PrepareInsert();
    sqlite3_stmt* s = insert_.get();
    const int count = CurrentRecord.GetFieldCount();
    int rc = SQLITE_OK;
    for (int i = 0; i < count && rc == SQLITE_OK; ++i) {
      const TField& field = *CurrentRecord.GetFields(i);
      rc = Bind(s, i, field.GetValue(), field.FieldType());
    }
    Step(rc);
  }

  // Binds values' own values where the column would keep them unchanged (a
  // value of the column's kind: the usual case of a transfer between a file
  // and a table of the same structure); other values go through the
  // column's field of CurrentRecord first.
  void InsertValues(const TRecord& values) override {
    if (!insert_) PrepareInsert();
    sqlite3_stmt* s = insert_.get();
    const int count = CurrentRecord.GetFieldCount();
    const int shared = std::min(count, values.GetFieldCount());
    int rc = SQLITE_OK;
    for (int i = 0; i < count && rc == SQLITE_OK; ++i) {
      if (i >= shared) {
        rc = sqlite3_bind_null(s, i + 1);
        continue;
      }
      const TField& source = *values.GetFields(i);
      TField& column = *CurrentRecord.GetFields(i);
      const uint8_t code = column.FieldType();
      const TVariant& value = source.GetValue();
      // Into a text column, a date-time becomes ISO-8601 text and a whole
      // number (a wide integer that travelled as FLOAT) its digits.
      const auto* real = std::get_if<double>(&value);
      const bool into_text = real != nullptr && ValueClassOf(code) == TValueClass::Text;
      if (ValueClassOf(source.FieldType()) == ValueClassOf(code)) {
        rc = Bind(s, i, value, code);
      } else if (into_text && IsDateCode(source.FieldType())) {
        rc = BindIso(s, i, *real, TIsoForm::kDate);
      } else if (into_text && std::trunc(*real) == *real &&
                 std::fabs(*real) <= static_cast<double>(kExactDoubleLimit)) {
        rc = sqlite3_bind_int64(s, i + 1, static_cast<int64_t>(*real));
      } else {
        column.SetValue(value);
        rc = Bind(s, i, column.GetValue(), code);
      }
    }
    Step(rc);
  }

  const std::string& Name() const override { return name_; }

  // Makes the inserted rows permanent.
  void Commit() {
    select_.reset();
    insert_.reset();
    if (own_transaction_) {
      own_transaction_ = false;
      if (!sqlite3_get_autocommit(db_) && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = ErrorText(db_);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw ETableAborted("ESQLiteError",
                            Format("%s (table '%s', commit); no row was stored", message.c_str(), name_.c_str()));
      }
    }
  }

 private:
  std::string WhereClause() const { return Trim(filter_).empty() ? std::string() : " WHERE (" + filter_ + "\n)"; }

  // The column that is the table's rowid (declared INTEGER PRIMARY KEY), or
  // "" (views and tables without one).
  std::string RowIdAlias() const {
    StatementPtr info =
        PrepareOne(db_, "PRAGMA " + QuoteIdentifier(schema_) + ".table_info(" + QuoteIdentifier(name_) + ")", name_);
    std::string key;
    int keys = 0;
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
      if (sqlite3_column_int(info.get(), 5) == 0) continue;
      ++keys;
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2));
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
      if (type != nullptr && AsciiEqualNoCase(Trim(type), "INTEGER") && name != nullptr) key = name;
    }
    return keys == 1 ? key : std::string();
  }

  // One value of the current row into its field.  Raises EConvertError for a
  // value the field cannot carry unchanged.
  void ReadColumn(int i, TField& field) {
    sqlite3_stmt* s = select_.get();
    const uint8_t code = field.FieldType();
    switch (sqlite3_column_type(s, i)) {
      case SQLITE_NULL:
        field.Clear();
        return;
      case SQLITE_INTEGER: {
        const int64_t v = sqlite3_column_int64(s, i);
        const bool fits32 = v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
        switch (ValueClassOf(code)) {
          case TValueClass::Text:
            field.SetAsString(IntToStr(v));
            return;
          case TValueClass::Float:
            if (v > kExactDoubleLimit || v < -kExactDoubleLimit) {
              throw EConvertError(
                  Format("%lld is beyond 2^53 and cannot be carried exactly as FLOAT", static_cast<long long>(v)));
            }
            field.SetAsFloat(static_cast<double>(v));
            return;
          default:
            if (!fits32) {
              throw EConvertError(Format("%lld needs more than 32 bits: declare the column BIGINT to carry it as FLOAT",
                                         static_cast<long long>(v)));
            }
            field.SetAsInteger(static_cast<int32_t>(v));
            return;
        }
      }
      case SQLITE_FLOAT:
        field.SetAsFloat(sqlite3_column_double(s, i));
        return;
      default: {  // TEXT and BLOB: the bytes as they are
        const void* bytes = sqlite3_column_blob(s, i);
        const int n = sqlite3_column_bytes(s, i);
        std::string& text = std::get<std::string>(text_buffer_);
        if (bytes) {
          text.assign(static_cast<const char*>(bytes), static_cast<size_t>(n));
        } else {
          text.clear();
        }
        // Text fields copy into their own buffer: no allocation per row.
        if (ValueClassOf(code) == TValueClass::Text) {
          field.SetValue(text_buffer_);
        } else if (IsDateCode(code) && sqlite3_column_type(s, i) == SQLITE_TEXT) {
          // Dates kept as ISO-8601 text, as SQLite's own functions keep them;
          // a number in text form is still read as the number.
          if (const std::optional<double> date = ParseIsoDateTime(text)) {
            field.SetAsFloat(*date);
            return;
          }
          try {
            field.SetAsString(text);
          } catch (const EConvertError&) {
            throw EConvertError(Format("'%s' is not an ISO-8601 date and time", text.c_str()));
          }
        } else {
          field.SetAsString(text);
        }
        return;
      }
    }
  }

  // Binds one value to parameter i + 1 for a column of type `code`.  The
  // values live in their records until the row is stepped: no copy.
  int Bind(sqlite3_stmt* s, int i, const TVariant& value, uint8_t code) {
    if (const auto* text = std::get_if<std::string>(&value)) {
      return code == ftBinary ? sqlite3_bind_blob64(s, i + 1, text->data(), text->size(), SQLITE_STATIC)
                              : sqlite3_bind_text64(s, i + 1, text->data(), text->size(), SQLITE_STATIC, SQLITE_UTF8);
    }
    if (const auto* integer = std::get_if<int32_t>(&value)) return sqlite3_bind_int64(s, i + 1, *integer);
    if (const auto* real = std::get_if<double>(&value)) {
      return IsDateCode(code) ? BindIso(s, i, *real, IsoFormOf(code)) : sqlite3_bind_double(s, i + 1, *real);
    }
    if (const auto* boolean = std::get_if<bool>(&value)) return sqlite3_bind_int64(s, i + 1, *boolean ? 1 : 0);
    return sqlite3_bind_null(s, i + 1);
  }

  // Binds a date-time value as ISO-8601 text, kept in the column's own
  // string until the next row (PrepareInsert made one per column, so
  // binding never moves the texts bound before).
  int BindIso(sqlite3_stmt* s, int i, double value, TIsoForm form) {
    std::string& text = iso_texts_.at(static_cast<size_t>(i));
    text = FormatIsoDateTime(value, form);
    return sqlite3_bind_text64(s, i + 1, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }

  // Steps the bound insert (unless binding failed with `rc`) and resets it.
  // A failure that is not the row's own undoes every row of the table's
  // transaction and raises ETableAborted; a row's own failure undoes that
  // row alone (SQLite's statement rollback) and raises Exception.
  void Step(int rc) {
    sqlite3_stmt* s = insert_.get();
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) {
      sqlite3_reset(s);
      return;
    }
    if (sqlite3_errcode(db_) != SQLITE_OK) rc = sqlite3_extended_errcode(db_);
    const std::string message = ErrorText(db_);
    sqlite3_reset(s);
    // SQLite may have rolled the whole transaction back on its own (disk
    // full, I/O error): the rows before this one are gone, and those after
    // it would each commit alone.
    const bool lost = sqlite3_get_autocommit(db_) != 0;
    if (!lost && IsRowsOwnFailure(rc)) Fail(Format("%s (table '%s')", message.c_str(), name_.c_str()));
    if (own_transaction_) {
      if (!lost) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      own_transaction_ = false;
    }
    insert_.reset();
    throw ETableAborted("ESQLiteError",
                        Format("%s (table '%s'); the rows stored before were undone", message.c_str(), name_.c_str()));
  }

  void PrepareInsert() {
    const int count = CurrentRecord.GetFieldCount();
    if (count == 0) Fail(Format("Table '%s' is not open", name_.c_str()));
    std::string sql = "INSERT INTO " + qualified_ + " (";
    std::string values;
    for (int i = 0; i < count; ++i) {
      if (i > 0) {
        sql += ", ";
        values += ", ";
      }
      sql += QuoteIdentifier(CurrentRecord.GetFields(i)->Name());
      values += "?" + std::to_string(i + 1);
    }
    sql += ") VALUES (" + values + ")";
    insert_ = PrepareOne(db_, sql, name_);
    iso_texts_.assign(static_cast<size_t>(count), std::string());
    if (sqlite3_get_autocommit(db_)) {
      // Taking the write lock up front waits for another writer once (the
      // busy timeout), instead of once per row.
      if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = ErrorText(db_);
        insert_.reset();
        throw ETableAborted("ESQLiteError", Format("%s (table '%s', begin)", message.c_str(), name_.c_str()));
      }
      own_transaction_ = true;
    }
  }

  sqlite3* db_;
  std::string schema_;
  std::string name_;
  std::string qualified_;
  std::string filter_;
  StatementPtr select_;
  StatementPtr insert_;
  bool own_transaction_ = false;
  int64_t row_ = 0;
  TVariant text_buffer_{std::string()};
  std::vector<std::string> iso_texts_;
};

TSqliteApplicationManager::TSqliteApplicationManager(const std::string& path, bool create)
    : db_(std::make_unique<TSqliteDb>(path, create)) {}

TSqliteApplicationManager::~TSqliteApplicationManager() {
  for (auto& table : tables_) {
    try {
      table->Commit();
    } catch (...) {
      // Destruction must not raise; a host that cares calls FreeTable.
    }
  }
  tables_.clear();
}

namespace {
void ExecWrite(sqlite3* db, const char* sql, const char* step, const std::string& path) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return;
  const std::string message = ErrorText(db);
  if (std::string_view(sql) == "COMMIT" && !sqlite3_get_autocommit(db)) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  throw ETableAborted("ESQLiteError", Format("%s (database '%s', %s)", message.c_str(), path.c_str(), step));
}
}  // namespace

void TSqliteApplicationManager::BeginWrite() { ExecWrite(db_->Handle(), "BEGIN IMMEDIATE", "begin", db_->Path()); }
void TSqliteApplicationManager::CommitWrite() { ExecWrite(db_->Handle(), "COMMIT", "commit", db_->Path()); }
void TSqliteApplicationManager::RollbackWrite() {
  if (!sqlite3_get_autocommit(db_->Handle())) ExecWrite(db_->Handle(), "ROLLBACK", "rollback", db_->Path());
}

void TSqliteApplicationManager::CreateTableIfMissing(const std::string& name, const std::string& qualifier,
                                                     const TRecord& columns) {
  db_->Exec(CreateTableSql(qualifier, name, columns, true));
}

void TSqliteApplicationManager::Attach(const std::string& path, const std::string& schema) {
  TSqliteStatement attach = db_->Prepare("ATTACH DATABASE ?1 AS " + QuoteIdentifier(schema));
  attach.BindText(1, path);
  attach.Step();
}

TTable* TSqliteApplicationManager::GetUserTable(const std::string& name, const std::string& qualifier, bool) {
  const std::string schema = SchemaOf(qualifier);
  std::string found;
  try {
    TSqliteStatement lookup =
        db_->Prepare("SELECT name FROM " + QuoteIdentifier(schema) +
                     ".sqlite_master WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
    lookup.BindText(1, name);
    if (!lookup.Step()) return nullptr;
    found = lookup.ColumnText(0);
  } catch (const Exception&) {
    return nullptr;  // an unknown schema: the table is not available
  }
  tables_.push_back(std::make_unique<TSqliteTable>(db_->Handle(), schema, found));
  return tables_.back().get();
}

void TSqliteApplicationManager::FreeTable(TTable* table) {
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (it->get() != table) continue;
    std::unique_ptr<TSqliteTable> owned = std::move(*it);
    tables_.erase(it);
    owned->Commit();
    return;
  }
}

uint8_t FieldTypeOfDeclaredType(const std::string& declared_type) {
  const std::string t = AsciiUpper(Trim(declared_type));
  auto has = [&](const char* part) { return t.find(part) != std::string::npos; };
  if (has("BOOL")) return ftBoolean;
  if (has("SMALLINT") || has("TINYINT")) return ftSmallInt;
  // Integers wider than 32 bits travel as FLOAT, exact up to 2^53.
  if (has("BIGINT") || has("BIG INT") || has("INT8") || has("INT64")) return ftFloat;
  if (has("INT")) return ftInteger;
  if (has("DATETIME") || has("TIMESTAMP")) return ftDateTime;
  if (has("DATE")) return ftDate;
  if (has("TIME")) return ftTime;
  if (has("CURRENCY") || has("MONEY") || has("DECIMAL") || has("NUMERIC")) return ftCurrency;
  if (has("REAL") || has("FLOA") || has("DOUB")) return ftFloat;
  if (has("BLOB")) return ftBinary;
  return ftString;
}

const char* DeclaredTypeOfFieldType(uint8_t code) {
  switch (ValueClassOf(code)) {
    case TValueClass::Boolean:
      return "BOOLEAN";
    case TValueClass::Integer:
      return code == ftSmallInt || code == ftWord ? "SMALLINT" : "INTEGER";
    case TValueClass::Float:
      if (code == ftCurrency) return "CURRENCY";
      if (code == ftFloat) return "REAL";
      if (code == ftDate) return "DATE";
      if (code == ftTime) return "TIME";
      return "DATETIME";
    case TValueClass::Text:
      return code == ftBinary ? "BLOB" : "TEXT";
    case TValueClass::Any:
      return "";
  }
  return "";
}

std::string CreateTableSql(const std::string& schema, const std::string& table, const TRecord& columns,
                           bool if_not_exists) {
  std::string sql = if_not_exists ? "CREATE TABLE IF NOT EXISTS " : "CREATE TABLE ";
  sql += QualifiedIdentifier(Trim(schema), table) + " (";
  for (int32_t i = 0; i < columns.GetFieldCount(); ++i) {
    const TField& field = *columns.GetFields(i);
    if (i > 0) sql += ", ";
    sql += QuoteIdentifier(field.Name());
    const char* type = DeclaredTypeOfFieldType(field.FieldType());
    if (*type) {
      sql += ' ';
      sql += type;
    }
  }
  sql += ")";
  return sql;
}

}  // namespace instkit
