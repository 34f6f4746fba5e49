// One contract for every table engine, run on SQLite and on PostgreSQL (a
// real server: the ctest fixture's cluster): export, import into an empty
// database, a round trip that changes nothing, filters, schemas, rows that
// fail on their own, cancelled transfers and the column types.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <functional>
#include <memory>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/base/text.h"
#include "host/db/pg_table.h"
#include "host/db/sqlite_table.h"
#include "support/pg_server.h"

namespace instkit {
namespace {

using testing::ProgressLog;
using testing::TempDir;

// One database of an engine, reached through the engine's manager (the code
// under test) and through a connection of the test's own (to set tables up
// and read them back without the engine).
class TEngineDatabase {
 public:
  virtual ~TEngineDatabase() = default;
  virtual TApplicationManager& Manager() = 0;
  // Runs statements (several, separated by ";").
  virtual void Exec(const std::string& sql) = 0;
  // The rows of a query, a line per row, values joined by "|", NULL as "~".
  virtual std::string Rows(const std::string& query) = 0;
  // Makes `schema` a qualifier that GetUserTable accepts.
  virtual void AddSchema(const std::string& schema) = 0;
  // The engine's spelling of a column type of the contract.
  virtual std::string Type(const std::string& portable) const { return portable; }
  // Makes the manager's batches small, so that a few rows span several.
  virtual void UseSmallBatches() {}
};

class TSqliteDatabase final : public TEngineDatabase {
 public:
  explicit TSqliteDatabase(const TempDir& dir, const std::string& name)
      : dir_(dir), manager_(dir.Path(name + ".db"), true) {}
  TApplicationManager& Manager() override { return manager_; }
  void Exec(const std::string& sql) override { manager_.Db().Exec(sql); }
  std::string Rows(const std::string& query) override {
    std::string text;
    for (TSqliteStatement s = manager_.Db().Prepare(query); s.Step();) {
      for (int i = 0; i < s.ColumnCount(); ++i) {
        text += (i > 0 ? "|" : "") + (s.ColumnType(i) == SQLITE_NULL ? std::string("~") : s.ColumnText(i));
      }
      text += "\n";
    }
    return text;
  }
  void AddSchema(const std::string& schema) override { manager_.Attach(dir_.Path(schema + ".db"), schema); }

 private:
  const TempDir& dir_;
  TSqliteApplicationManager manager_;
};

class TPostgresDatabase final : public TEngineDatabase {
 public:
  explicit TPostgresDatabase(const std::string& server)
      : database_(server), manager_(database_.Address()), own_(database_.Conninfo(), "test") {}
  TApplicationManager& Manager() override { return manager_; }
  void Exec(const std::string& sql) override { own_.Simple(sql, PGRES_COMMAND_OK); }
  std::string Rows(const std::string& query) override {
    const TPgResult result = own_.Query(query);
    std::string text;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
      for (int i = 0; i < PQnfields(result.get()); ++i) {
        text +=
            (i > 0 ? "|" : "") + (PQgetisnull(result.get(), r, i) ? std::string("~") : PQgetvalue(result.get(), r, i));
      }
      text += "\n";
    }
    return text;
  }
  void AddSchema(const std::string& schema) override { Exec("CREATE SCHEMA " + schema); }
  std::string Type(const std::string& portable) const override {
    if (portable == "REAL") return "DOUBLE PRECISION";
    if (portable == "BLOB") return "BYTEA";
    return portable;
  }
  void UseSmallBatches() override { manager_.SetBatchRows(3); }

 private:
  testing::TPgScratchDatabase database_;
  TPgApplicationManager manager_;
  TPgConnection own_;
};

class TableEngine : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::string(GetParam()) == "postgres") {
#ifdef INSTKIT_PG_STATE
      std::string why;
      server_ = testing::PgServer(why).value_or("");
      if (server_.empty()) GTEST_SKIP() << "PostgreSQL tests skipped: " << why;
#else
      GTEST_SKIP() << "PostgreSQL tests skipped: no test cluster in this build";
#endif
    }
  }
  void TearDown() override { BaseMng = nullptr; }

  std::unique_ptr<TEngineDatabase> NewDatabase(const std::string& name) {
    if (server_.empty()) return std::make_unique<TSqliteDatabase>(dir, name);
    return std::make_unique<TPostgresDatabase>(server_);
  }
  // A transfer with `db` as BaseMng.
  template <typename F>
  auto With(TEngineDatabase& db, F&& transfer) {
    BaseMng = &db.Manager();
    return transfer();
  }

  TempDir dir;
  std::string server_;
};

INSTANTIATE_TEST_SUITE_P(Engines, TableEngine, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return std::string(info.param); });

// Export, import into an empty database (the table made from the file), and
// into a table of the source's own columns, where every value comes back.
TEST_P(TableEngine, TableSurvivesExportAndImport) {
  auto source = NewDatabase("source");
  const std::string create = "CREATE TABLE \"odd name\" (id INTEGER, \"na\"\"me\" TEXT, score " + source->Type("REAL") +
                             ", ok BOOLEAN, small SMALLINT, big BIGINT, day DATE, at TIMESTAMP, t TIME)";
  source->Exec(create);
  source->Exec(
      "INSERT INTO \"odd name\" VALUES (1, 'Анна', 1.5, TRUE, -7, 1733400000001, '2024-01-15', "
      "'2024-02-29 23:59:59.250', '08:15:00'), (2, '', -0.25, FALSE, 32767, -9007199254740992, '1899-12-29', "
      "'1900-03-01 00:00:00', '23:59:59'), (-2147483648, 'x''y\ttab', 1e300, TRUE, 0, 0, '9999-12-31', '2000-01-01 "
      "12:00:00', '00:00:00')");
  TIDFDataFile out;
  out.TableName = "ODD NAME";  // found ignoring case
  out.FileName = dir.Path("odd.idf");
  ASSERT_TRUE(With(*source, [&] { return out.FromTableToFile(); })) << out.ErrorMessage;
  EXPECT_EQ(out.GetFieldTypesString(), "INTEGER,STRING,FLOAT,BOOLEAN,SMALLINT,FLOAT,DATETIME,DATETIME,DATETIME");

  const std::string all = "SELECT * FROM \"odd name\" ORDER BY id";
  auto same = NewDatabase("same");
  same->Exec(create);
  TIDFDataFile in;
  in.FileName = out.FileName;
  ASSERT_TRUE(With(*same, [&] { return in.FromFileToTable(); })) << in.ErrorMessage;
  EXPECT_EQ(in.FailedRecords, 0);
  EXPECT_EQ(same->Rows(all), source->Rows(all));

  // Into an empty database: the table is made from the file's header, and
  // the file exported from it again holds the same records.
  auto empty = NewDatabase("empty");
  empty->Manager().CreateTableIfMissing(in.TableName, "", *in.Structure);  // the header read by the import
  empty->Manager().CreateTableIfMissing(in.TableName, "", *in.Structure);  // exists now: nothing
  ASSERT_TRUE(With(*empty, [&] { return in.FromFileToTable(); })) << in.ErrorMessage;
  TIDFDataFile again;
  again.TableName = "ODD NAME";
  again.FileName = dir.Path("again.idf");
  ASSERT_TRUE(With(*empty, [&] { return again.FromTableToFile(); })) << again.ErrorMessage;
  // The same types and records (SQLite names the columns made from a header in capitals).
  const auto types_and_records = [](const std::string& image) { return image.substr(image.find("\r\nINTEGER,")); };
  EXPECT_EQ(types_and_records(testing::PlainImageOf(again.FileName)),
            types_and_records(testing::PlainImageOf(out.FileName)));
}

TEST_P(TableEngine, FiltersAndQualifiersSelectRows) {
  auto db = NewDatabase("main");
  db->AddSchema("aux");
  db->Exec("CREATE TABLE t (n INTEGER)");
  db->Exec("CREATE TABLE aux.t (n INTEGER)");
  db->Exec("INSERT INTO aux.t VALUES (1), (2), (3), (4)");
  TIDFDataFile data;
  data.TableName = "T";
  const auto load = [&] { return With(*db, [&] { return data.LoadFromTable(); }); };
  ASSERT_TRUE(load()) << data.ErrorMessage;
  EXPECT_EQ(data.GetRecordCount(), 0);
  data.TableQualifier = "aux";
  data.Filter = "n % 2 = 0";
  ASSERT_TRUE(load()) << data.ErrorMessage;
  EXPECT_EQ(data.GetRecordCount(), 2);
  data.TableQualifier = "nosuch";
  EXPECT_FALSE(load());
  EXPECT_EQ(data.ErrorMessage, "");

  // A filter is one expression: one that would add statements is refused
  // before anything runs.
  data.TableQualifier = "aux";
  data.Filter = "1) ; DROP TABLE aux.t; SELECT (1";
  EXPECT_FALSE(load());
  EXPECT_NE(data.ErrorMessage.find("An exception while loading data from table"), std::string::npos);
  data.FileName = dir.Path("f.idf");
  EXPECT_FALSE(With(*db, [&] { return data.FromTableToFile(); }));
  EXPECT_EQ(db->Rows("SELECT count(*) FROM aux.t"), "4\n");
}

// Rows that fail on their own (a key taken, a NULL refused) are undone alone
// and counted; the others are stored.  On PostgreSQL the rows go in batches
// of three, so failing rows sit at the start, middle and end of batches.
TEST_P(TableEngine, FailingRowsAreUndoneAloneAndCounted) {
  auto db = NewDatabase("keys");
  db->UseSmallBatches();
  db->Exec("CREATE TABLE k (id INTEGER PRIMARY KEY, v TEXT NOT NULL)");
  db->Exec("INSERT INTO k VALUES (2, 'old'), (6, 'old'), (7, 'old')");
  TIDFDataFile data;
  data.TableName = "k";
  data.CreateFields("ID,V", "INTEGER,STRING");
  for (int id = 1; id <= 10; ++id) {
    data.Structure->GetFields(0)->SetAsInteger(id);
    id == 4 ? data.Structure->GetFields(1)->Clear()
            : data.Structure->GetFields(1)->SetAsString("new");  // NULL: refused
    data.InsertRecord();
  }
  EXPECT_TRUE(With(*db, [&] { return data.SaveToTable(); })) << data.ErrorMessage;
  EXPECT_EQ(data.FailedRecords, 4);
  EXPECT_NE(AsciiUpper(data.ErrorMessage).find("UNIQUE"), std::string::npos) << data.ErrorMessage;
  EXPECT_EQ(db->Rows("SELECT id, v FROM k ORDER BY id"),
            "1|new\n2|old\n3|new\n5|new\n6|old\n7|old\n8|new\n9|new\n10|new\n");
}

// A cancel keeps the rows stored so far in the library's own transaction,
// and a transaction of the caller's rolls back to nothing.
TEST_P(TableEngine, CancelledTransfersLeaveNothingHalfDone) {
  TIDFDataFile rows;
  rows.TableName = "c";
  rows.FileName = dir.Path("c.idf");
  testing::FillRows(rows, 50);
  ASSERT_TRUE(rows.SaveToFile());
  auto db = NewDatabase("cancel");
  db->Exec("CREATE TABLE c (n INTEGER, s TEXT)");
  TIDFDataFile in;
  in.FileName = rows.FileName;
  ProgressLog::Attach(in, 10);
  db->Manager().BeginWrite();
  EXPECT_FALSE(With(*db, [&] { return in.FromFileToTable(); }));
  db->Manager().RollbackWrite();
  EXPECT_EQ(db->Rows("SELECT count(*) FROM c"), "0\n");
  ProgressLog::Attach(in, 10);
  EXPECT_FALSE(With(*db, [&] { return in.FromFileToTable(); }));
  EXPECT_EQ(db->Rows("SELECT count(*) FROM c"), "10\n");

  TIDFDataFile out;
  out.TableName = "c";
  out.FileName = dir.Path("out.idf");
  out.KeepFileOnCancel = true;
  ProgressLog::Attach(out, 3);
  EXPECT_FALSE(With(*db, [&] { return out.FromTableToFile(); }));
  EXPECT_FALSE(FileExists(out.FileName));
}

// Each column type of the engine: the file type it travels as and its
// value; or the failure that names its row and column.
TEST_P(TableEngine, ColumnTypesMapToFileTypes) {
  struct TCase {
    const char* engines;  // "sp": both, "s" SQLite, "p" PostgreSQL
    const char* type;
    const char* literal;
    const char* file_type;
    const char* shown;  // the value as the file holds it, or the failure
  };
  const TCase cases[] = {
      {"sp", "BOOLEAN", "TRUE", "BOOLEAN", "True"},
      {"sp", "SMALLINT", "-32768", "SMALLINT", "-32768"},
      {"sp", "INTEGER", "2147483647", "INTEGER", "2147483647"},
      {"sp", "BIGINT", "9007199254740992", "FLOAT", "9007199254740992"},
      {"sp", "BIGINT", "9007199254740993", "",
       "9007199254740993 is beyond 2^53 and cannot be carried exactly as FLOAT (table 'v', row 1, column 'x')"},
      {"sp", "REAL", "0.1", "FLOAT", "0.1"},
      {"sp", "NUMERIC(10,2)", "12.5", "CURRENCY", "12.5"},
      {"sp", "DATE", "'2024-01-15'", "DATETIME", "45306"},
      {"sp", "TIMESTAMP", "'2024-01-15 06:00:00'", "DATETIME", "45306.25"},
      {"sp", "TIME", "'18:00:00'", "DATETIME", "0.75"},
      {"sp", "TEXT", "'Анна'", "STRING", "Анна"},
      {"sp", "VARCHAR(20)", "'v'", "STRING", "v"},
      {"sp", "BLOB", "NULL", "STRING", ""},
      {"sp", "TEXT", "NULL", "", "Row 1, column 'x' is NULL, which a data file cannot hold"},
      {"s", "DATE", "'yesterday'", "", "'yesterday' is not an ISO-8601 date and time (table 'v', row 1, column 'x')"},
      {"s", "INTEGER", "4294967296", "",
       "4294967296 needs more than 32 bits: declare the column BIGINT to carry it as FLOAT (table 'v', row 1, column "
       "'x')"},
      {"p", "INTEGER", "NULL", "INTEGER", "0"},
      {"p", "REAL", "'NaN'", "FLOAT", "NAN"},
      {"p", "NUMERIC(20,0)", "123456789012", "FLOAT", "123456789012"},
      {"p", "NUMERIC", "-0.001", "CURRENCY", "-0.001"},
      {"p", "MONEY", "'12.34'", "CURRENCY", "12.34"},
      {"p", "TIMESTAMPTZ", "'2024-01-15 06:00:00+00'", "DATETIME", "45306.25"},
      {"p", "DATE", "'infinity'", "", "an infinite date cannot be carried as DATETIME (table 'v', row 1, column 'x')"},
      {"p", "BYTEA", "'\\x41ff'", "STRING", "A\xff"},
      {"p", "CHAR(3)", "'ab'", "STRING", "ab "},
      {"p", "UUID", "'6ecd8c99-4036-403d-bf84-cf8400f67836'", "STRING", "6ecd8c99-4036-403d-bf84-cf8400f67836"},
      {"p", "INTERVAL", "'1 day'", "STRING", "1 day"},
  };
  const char engine = server_.empty() ? 's' : 'p';
  auto db = NewDatabase("types");
  for (const TCase& c : cases) {
    if (std::string(c.engines).find(engine) == std::string::npos) continue;
    SCOPED_TRACE(std::string(c.type) + " " + c.literal);
    db->Exec("DROP TABLE IF EXISTS v");
    db->Exec("CREATE TABLE v (x " + db->Type(c.type) + ")");
    db->Exec(std::string("INSERT INTO v VALUES (") + c.literal + ")");
    TIDFDataFile data;
    data.TableName = "v";
    data.FileName = dir.Path("v" + std::to_string(&c - cases) + ".idf");
    data.RefuseNulls = *c.file_type == '\0';
    const bool done = With(*db, [&] { return data.FromTableToFile(); });
    EXPECT_EQ(done, *c.file_type != '\0') << data.ErrorMessage;
    if (!done) {
      EXPECT_NE(data.ErrorMessage.find(c.shown), std::string::npos) << data.ErrorMessage;
      EXPECT_FALSE(FileExists(data.FileName));
      continue;
    }
    EXPECT_EQ(data.NullsWritten, std::string(c.literal) == "NULL" ? 1 : 0);
    TIDFDataFile check;
    check.FileName = data.FileName;
    ASSERT_TRUE(check.LoadFromFile() && check.FirstRecord());
    EXPECT_EQ(check.GetFieldTypesString(), c.file_type);
    EXPECT_EQ(AsciiUpper(check.Structure->GetFields(0)->GetAsString()), AsciiUpper(c.shown));
  }
}

}  // namespace
}  // namespace instkit
