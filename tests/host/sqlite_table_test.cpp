// The SQLite tables behind TApplicationManager: column types, values, NULLs,
// transactions and the lookup rules.
#include "host/db/sqlite_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/base/exception.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

class SqliteTable : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::unique_ptr<TSqliteApplicationManager> manager =
      std::make_unique<TSqliteApplicationManager>(dir_.Path("t.db"), true);
};

TEST(SqliteTypes, DeclaredTypesMapToFieldCodes) {
  const std::pair<const char*, int> cases[] = {{"INTEGER", ftInteger},
                                               {"bigint", ftFloat},
                                               {"INT8", ftFloat},
                                               {"unsigned big int", ftFloat},
                                               {"SMALLINT", ftSmallInt},
                                               {"tinyint", ftSmallInt},
                                               {"MEDIUMINT", ftInteger},
                                               {"BOOLEAN", ftBoolean},
                                               {"bool", ftBoolean},
                                               {"REAL", ftFloat},
                                               {"double precision", ftFloat},
                                               {"FLOAT", ftFloat},
                                               {"DATETIME", ftDateTime},
                                               {"timestamp", ftDateTime},
                                               {"DATE", ftDate},
                                               {"time", ftTime},
                                               {"NUMERIC(10,2)", ftCurrency},
                                               {"CURRENCY", ftCurrency},
                                               {"BLOB", ftBinary},
                                               {"TEXT", ftString},
                                               {"VARCHAR(20)", ftString},
                                               {"", ftString}};
  for (const auto& [declared, code] : cases) EXPECT_EQ(FieldTypeOfDeclaredType(declared), code) << declared;
  for (int code :
       {ftString, ftSmallInt, ftInteger, ftFloat, ftDate, ftDateTime, ftTime, ftCurrency, ftBinary, ftBoolean}) {
    EXPECT_EQ(FieldTypeOfDeclaredType(DeclaredTypeOfFieldType(static_cast<uint8_t>(code))), code) << code;
  }
}

TEST_F(SqliteTable, ReadsValuesNullsAndWideIntegers) {
  manager->Db().Exec("CREATE TABLE v (i INTEGER, t TEXT, r REAL, b BOOLEAN, x BLOB)");
  manager->Db().Exec(
      "INSERT INTO v VALUES (7, 'txt', 2.5, 1, x'00ff'), (NULL, NULL, NULL, NULL, NULL), "
      "(4294967296, 12, '3.5', 0, 'b')");
  TTable* table = manager->GetUserTable("V", "", false);
  ASSERT_NE(table, nullptr);
  table->Open();
  EXPECT_EQ(table->GetRowCount(), 3);
  const TRecord& row = table->CurrentRecord;
  ASSERT_EQ(row.GetFieldCount(), 5);
  EXPECT_EQ(row.GetFields(4)->FieldType(), ftBinary);
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(row.GetFields(0)->GetAsInteger(), 7);
  EXPECT_EQ(row.GetFields(1)->GetAsString(), "txt");
  EXPECT_EQ(row.GetFields(2)->GetAsFloat(), 2.5);
  EXPECT_TRUE(row.GetFields(3)->GetAsBoolean());
  EXPECT_EQ(row.GetFields(4)->GetAsString(), std::string("\0\xff", 2));
  ASSERT_TRUE(table->FetchNext());
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(row.GetFields(i)->IsNull()) << i;
  // An integer beyond 32 bits does not fit an integer field.
  try {
    table->FetchNext();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.ClassName(), "EConvertError");
  }
  manager->FreeTable(table);
  EXPECT_EQ(manager->OpenTableCount(), 0u);
}

TEST_F(SqliteTable, InsertsInOneTransactionCommittedByFreeTable) {
  manager->Db().Exec("CREATE TABLE w (i INTEGER, t TEXT, b BOOLEAN)");
  TTable* table = manager->GetUserTable("w", "main", false);
  ASSERT_NE(table, nullptr);
  table->Open();
  TRecord& row = table->CurrentRecord;
  for (int i = 0; i < 3; ++i) {
    row.GetFields(0)->SetAsInteger(i);
    row.GetFields(1)->SetAsString("t" + std::to_string(i));
    row.GetFields(2)->SetAsBoolean(i == 1);
    table->InsertRow();
  }
  row.ClearData();
  table->InsertRow();  // empty values are NULLs
  {
    // Another connection does not see the rows before the commit.
    TSqliteDb other(dir_.Path("t.db"));
    TSqliteStatement count = other.Prepare("SELECT count(*) FROM w");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.ColumnInt64(0), 0);
  }
  manager->FreeTable(table);
  TSqliteStatement check = manager->Db().Prepare(
      "SELECT group_concat(coalesce(i, 'N') || coalesce(t, 'N') || coalesce(b, 'N'), ',') FROM w");
  ASSERT_TRUE(check.Step());
  EXPECT_EQ(check.ColumnText(0), "0t00,1t11,2t20,NNN");
}

// InsertValues must store what filling CurrentRecord and InsertRow store,
// whether it binds the values directly (same kinds) or converts them.
TEST_F(SqliteTable, InsertValuesStoresWhatInsertRowStores) {
  const char* columns = "(i INTEGER, t TEXT, x BLOB, r REAL, b BOOLEAN)";
  manager->Db().Exec(std::string("CREATE TABLE direct ") + columns);
  manager->Db().Exec(std::string("CREATE TABLE through ") + columns);
  struct Source {
    std::vector<std::pair<uint8_t, TVariant>> fields;
  };
  const Source sources[] = {
      // Kinds as the columns': bound as they are, the blob as a blob.
      {{{ftInteger, 7},
        {ftString, std::string("t")},
        {ftBinary, std::string("\0\x01", 2)},
        {ftFloat, 0.5},
        {ftBoolean, true}}},
      // Other kinds: converted to the columns' kinds.
      {{{ftString, std::string("42")},
        {ftInteger, 5},
        {ftString, std::string("s")},
        {ftInteger, 3},
        {ftString, std::string("TRUE")}}},
      // Fewer fields: the rest are NULL; empty values are NULL too.
      {{{ftInteger, TVariant{}}, {ftString, std::string()}}},
      // More fields: the extra ones are left out.
      {{{ftInteger, 1},
        {ftString, std::string("a")},
        {ftBinary, std::string()},
        {ftFloat, 1.0},
        {ftBoolean, false},
        {ftString, std::string("extra")}}},
  };
  TTable* direct = manager->GetUserTable("direct", "", false);
  TTable* through = manager->GetUserTable("through", "", false);
  ASSERT_TRUE(direct != nullptr && through != nullptr);
  direct->Open();
  through->Open();
  for (const Source& source : sources) {
    TRecord values;
    for (const auto& [type, value] : source.fields) values.AddField("f", type)->SetValue(value);
    direct->InsertValues(values);
    through->TTable::InsertValues(values);
  }
  TRecord wrong;
  wrong.AddField("f", ftString)->SetAsString("not a number");
  EXPECT_THROW(direct->InsertValues(wrong), Exception);
  manager->FreeTable(direct);
  manager->FreeTable(through);
  const auto dump = [&](const std::string& table) {
    TSqliteStatement all = manager->Db().Prepare(
        "SELECT group_concat(quote(i) || '|' || quote(t) || '|' || quote(x) || '|' || quote(r) || '|' || quote(b), "
        "',') FROM " +
        table);
    return all.Step() ? all.ColumnText(0) : std::string();
  };
  EXPECT_EQ(dump("through"), "7|'t'|X'0001'|0.5|1,42|'5'|X'73'|3.0|1,NULL|''|NULL|NULL|NULL,1|'a'|X''|1.0|0");
  EXPECT_EQ(dump("direct"), dump("through"));
}

TEST_F(SqliteTable, UnknownTablesAndSchemasAreNotAvailable) {
  EXPECT_EQ(manager->GetUserTable("absent", "", false), nullptr);
  EXPECT_EQ(manager->GetUserTable("sqlite_master", "nosuch", false), nullptr);
  manager->Db().Exec("CREATE TEMP TABLE tt (a)");
  EXPECT_EQ(manager->GetUserTable("tt", "main", false), nullptr);
  TTable* temp = manager->GetUserTable("tt", "temp", false);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(temp->Name(), "tt");
  manager->FreeTable(temp);
}

TEST_F(SqliteTable, CreateTableQuotesNames) {
  TRecord columns;
  columns.AddField("a\"b", ftInteger);
  columns.AddField("select", ftBoolean);
  EXPECT_EQ(CreateTableSql("", "my table", columns),
            "CREATE TABLE \"my table\" (\"a\"\"b\" INTEGER, \"select\" BOOLEAN)");
  EXPECT_EQ(CreateTableSql("aux", "t", columns), "CREATE TABLE \"aux\".\"t\" (\"a\"\"b\" INTEGER, \"select\" BOOLEAN)");
  manager->Db().Exec(CreateTableSql("", "my table", columns));
  EXPECT_NE(manager->GetUserTable("MY TABLE", "", false), nullptr);
}

}  // namespace
}  // namespace instkit
