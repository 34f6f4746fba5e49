#include "host/db/sqlite_table.h"

#include <sqlite3.h>

#include <limits>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/text.h"

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
    Fail(Format("%s (table '%s': %s)", sqlite3_errmsg(db), table.c_str(), sql.c_str()));
  }
  StatementPtr result(stmt);
  for (; tail != nullptr && *tail != '\0'; ++tail) {
    if (static_cast<unsigned char>(*tail) > 32 && *tail != ';') {
      Fail(Format("More than one statement (table '%s': %s)", table.c_str(), sql.c_str()));
    }
  }
  if (!result) Fail(Format("Empty statement (table '%s': %s)", table.c_str(), sql.c_str()));
  return result;
}

}  // namespace

class TSqliteTable final : public TTable {
 public:
  TSqliteTable(sqlite3* db, std::string schema, std::string name)
      : db_(db), schema_(std::move(schema)), name_(std::move(name)),
        qualified_(QuoteIdentifier(schema_) + "." + QuoteIdentifier(name_)) {}

  ~TSqliteTable() override {
    select_.reset();
    insert_.reset();
    if (own_transaction_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void ApplyFilter(const std::string& expression) override { filter_ = expression; }

  void Open() override {
    select_ = PrepareOne(db_, "SELECT * FROM " + qualified_ + WhereClause(), name_);
    CurrentRecord.Clear();
    const int count = sqlite3_column_count(select_.get());
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(select_.get(), i);
      const char* declared = sqlite3_column_decltype(select_.get(), i);
      CurrentRecord.AddField(name ? name : "", FieldTypeOfDeclaredType(declared ? declared : ""), 0);
    }
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
    sqlite3_stmt* s = select_.get();
    const int count = std::min(sqlite3_column_count(s), CurrentRecord.GetFieldCount());
    for (int i = 0; i < count; ++i) {
      TField& field = *CurrentRecord.GetFields(i);
      switch (sqlite3_column_type(s, i)) {
        case SQLITE_NULL:
          field.Clear();
          break;
        case SQLITE_INTEGER: {
          const int64_t v = sqlite3_column_int64(s, i);
          if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
            field.SetAsInteger(static_cast<int32_t>(v));
          } else if (ValueClassOf(field.FieldType()) == TValueClass::Text) {
            field.SetAsString(IntToStr(v));
          } else {
            field.SetValue(TVariant{static_cast<double>(v)});
          }
          break;
        }
        case SQLITE_FLOAT:
          field.SetAsFloat(sqlite3_column_double(s, i));
          break;
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
          if (ValueClassOf(field.FieldType()) == TValueClass::Text) {
            field.SetValue(text_buffer_);
          } else {
            field.SetAsString(text);
          }
          break;
        }
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
      rc = Bind(s, i, field.GetValue(), field.FieldType() == ftBinary);
    }
    Step(rc);
  }

  // Binds values' own values where the column would keep them unchanged (a
  // value of the column's kind: the usual case of a transfer between a file
  // and a table of the same structure); otherwise goes through CurrentRecord.
  void InsertValues(const TRecord& values) override {
    const int count = CurrentRecord.GetFieldCount();
    const int shared = std::min(count, values.GetFieldCount());
    for (int i = 0; i < shared; ++i) {
      if (ValueClassOf(values.GetFields(i)->FieldType()) != ValueClassOf(CurrentRecord.GetFields(i)->FieldType())) {
        TTable::InsertValues(values);
        return;
      }
    }
    if (!insert_) PrepareInsert();
    sqlite3_stmt* s = insert_.get();
    int rc = SQLITE_OK;
    for (int i = 0; i < count && rc == SQLITE_OK; ++i) {
      rc = i < shared ? Bind(s, i, values.GetFields(i)->GetValue(), CurrentRecord.GetFields(i)->FieldType() == ftBinary)
                      : sqlite3_bind_null(s, i + 1);
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
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        Fail(Format("%s (table '%s', commit)", message.c_str(), name_.c_str()));
      }
    }
  }

 private:
  std::string WhereClause() const {
    return Trim(filter_).empty() ? std::string() : " WHERE (" + filter_ + "\n)";
  }

  // Binds one value to parameter i + 1.  The values live in their records
  // until the row is stepped: no copy.
  static int Bind(sqlite3_stmt* s, int i, const TVariant& value, bool binary) {
    if (const auto* text = std::get_if<std::string>(&value)) {
      return binary ? sqlite3_bind_blob64(s, i + 1, text->data(), text->size(), SQLITE_STATIC)
                    : sqlite3_bind_text64(s, i + 1, text->data(), text->size(), SQLITE_STATIC, SQLITE_UTF8);
    }
    if (const auto* integer = std::get_if<int32_t>(&value)) return sqlite3_bind_int64(s, i + 1, *integer);
    if (const auto* real = std::get_if<double>(&value)) return sqlite3_bind_double(s, i + 1, *real);
    if (const auto* boolean = std::get_if<bool>(&value)) return sqlite3_bind_int64(s, i + 1, *boolean ? 1 : 0);
    return sqlite3_bind_null(s, i + 1);
  }

  // Steps the bound insert (unless binding failed with `rc`) and resets it.
  void Step(int rc) {
    sqlite3_stmt* s = insert_.get();
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    const std::string message = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Fail(Format("%s (table '%s')", message.c_str(), name_.c_str()));
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
    if (sqlite3_get_autocommit(db_)) {
      if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(Format("%s (table '%s', begin)", sqlite3_errmsg(db_), name_.c_str()));
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
  TVariant text_buffer_{std::string()};
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

void TSqliteApplicationManager::Attach(const std::string& path, const std::string& schema) {
  TSqliteStatement attach = db_->Prepare("ATTACH DATABASE ?1 AS " + QuoteIdentifier(schema));
  attach.BindText(1, path);
  attach.Step();
}

TTable* TSqliteApplicationManager::GetUserTable(const std::string& name, const std::string& qualifier, bool) {
  const std::string schema = SchemaOf(qualifier);
  std::string found;
  try {
    TSqliteStatement lookup = db_->Prepare(
        "SELECT name FROM " + QuoteIdentifier(schema) +
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
  if (has("INT")) return ftInteger;
  if (has("DATE") || has("TIME")) return ftDateTime;
  if (has("CURRENCY") || has("MONEY") || has("DECIMAL") || has("NUMERIC")) return ftCurrency;
  if (has("REAL") || has("FLOA") || has("DOUB")) return ftFloat;
  if (has("BLOB")) return ftBinary;
  return ftString;
}

const char* DeclaredTypeOfFieldType(uint8_t code) {
  switch (ValueClassOf(code)) {
    case TValueClass::Boolean: return "BOOLEAN";
    case TValueClass::Integer: return code == ftSmallInt || code == ftWord ? "SMALLINT" : "INTEGER";
    case TValueClass::Float:
      if (code == ftCurrency) return "CURRENCY";
      if (code == ftFloat) return "REAL";
      return "DATETIME";
    case TValueClass::Text: return code == ftBinary ? "BLOB" : "TEXT";
    case TValueClass::Any: return "";
  }
  return "";
}

std::string CreateTableSql(const std::string& schema, const std::string& table, const TRecord& columns) {
  std::string sql = "CREATE TABLE ";
  if (!Trim(schema).empty()) sql += QuoteIdentifier(Trim(schema)) + ".";
  sql += QuoteIdentifier(table) + " (";
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
