// Moving rows between tables and data files against a scripted table: the
// exact call sequences.  Real databases: table_engine_contract_test.cpp.
#include <gtest/gtest.h>

#include <memory>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/db/application_manager.h"

namespace instkit {
namespace {

using testing::PlainImageOf;
using testing::ProgressLog;
using testing::TempDir;

// A table of integer rows held in a vector; InsertRow fails for rows whose
// first value is negative.
class FakeTable final : public TTable {
 public:
  std::vector<int> rows;
  std::vector<std::vector<TVariant>> inserted;
  std::vector<std::string> calls;
  int extra_fields = 0;
  int counted = 0;  // GetRowCount calls

  void ApplyFilter(const std::string& expression) override { calls.push_back("filter " + expression); }
  void Open() override {
    calls.push_back("open");
    CurrentRecord.Clear();
    CurrentRecord.AddField("N", ftInteger);
    CurrentRecord.AddField("S", ftString);
    for (int i = 0; i < extra_fields; ++i) CurrentRecord.AddField("X" + std::to_string(i), ftFloat);
  }
  int32_t GetRowCount() override {
    ++counted;
    return static_cast<int32_t>(rows.size());
  }
  bool FetchNext() override {
    if (next_ >= rows.size()) return false;
    CurrentRecord.GetFields(0)->SetAsInteger(rows[next_]);
    CurrentRecord.GetFields(1)->SetAsString("s" + std::to_string(rows[next_]));
    ++next_;
    return true;
  }
  void InsertRow() override {
    if (CurrentRecord.GetFields(0)->GetAsInteger() < 0) throw Exception("EFake", "negative");
    std::vector<TVariant> row;
    row.reserve(static_cast<size_t>(CurrentRecord.GetFieldCount()));
    for (int i = 0; i < CurrentRecord.GetFieldCount(); ++i) row.push_back(CurrentRecord.GetFields(i)->GetValue());
    inserted.push_back(row);
  }
  const std::string& Name() const override { return name_; }

 private:
  size_t next_ = 0;
  std::string name_ = "FAKE";
};

class FakeManager final : public TApplicationManager {
 public:
  FakeTable table;
  bool available = true;
  int gets = 0;
  int frees = 0;
  std::string last_name, last_qualifier;

  TTable* GetUserTable(const std::string& name, const std::string& qualifier, bool flag) override {
    ++gets;
    last_name = name;
    last_qualifier = qualifier;
    EXPECT_FALSE(flag);
    return available ? &table : nullptr;
  }
  void FreeTable(TTable* t) override {
    EXPECT_EQ(t, &table);
    ++frees;
  }
};

class TableTransfer : public ::testing::Test {
 protected:
  void SetUp() override { BaseMng = &manager; }
  void TearDown() override { BaseMng = nullptr; }
  void FillRecords(std::initializer_list<int> values) {
    data.ClearAllRecords();
    data.CreateFields("N,S", "INTEGER,STRING");
    for (int v : values) {
      data.Structure->GetFields(0)->SetAsInteger(v);
      data.Structure->GetFields(1)->SetAsString("v" + std::to_string(v));
      ASSERT_TRUE(data.InsertRecord());
    }
  }

  TempDir dir;
  FakeManager manager;
  TIDFDataFile data;
};

TEST_F(TableTransfer, SaveToTableReportsAfterEachStoredRowAndCountsFailures) {
  data.TableName = "FAKE";
  data.TableQualifier = "aux";
  FillRecords({1, 2, -3, 4});
  ProgressLog::Attach(data);
  EXPECT_TRUE(data.SaveToTable(true));
  EXPECT_EQ(manager.last_qualifier, "aux");
  EXPECT_EQ(manager.table.inserted.size(), 3u);
  EXPECT_EQ(data.FailedRecords, 1);
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 25, 75}));
  EXPECT_EQ(data.ErrorMessage,
            "An exception while inserting record to table\r\nTable name = 'FAKE'\r\nEFake: negative");
  EXPECT_EQ(manager.frees, 1);

  FillRecords({1, 2, 3, 4});
  ProgressLog::Attach(data);
  EXPECT_TRUE(data.SaveToTable());
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 25, 50, 75}));
  EXPECT_EQ(data.FailedRecords, 1);  // never reset by a transfer

  ProgressLog::Attach(data, 2);
  manager.table.inserted.clear();
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(manager.table.inserted.size(), 2u);
  EXPECT_EQ(manager.frees, 3);
}

TEST_F(TableTransfer, SaveToTableWithoutRecordsOrTable) {
  data.TableName = " \t";
  FillRecords({});
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(manager.gets, 0);

  data.TableName = "FAKE";
  EXPECT_TRUE(data.SaveToTable());  // opens, checks, inserts nothing
  EXPECT_EQ(manager.table.calls, (std::vector<std::string>{"open"}));

  manager.available = false;
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(data.ErrorMessage, "");
  EXPECT_EQ(manager.frees, 1);
}

TEST_F(TableTransfer, FieldCountMismatchIsReported) {
  data.TableName = "FAKE";
  FillRecords({1});
  manager.table.extra_fields = 1;
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(data.ErrorMessage,
            "An exception while saving data to table\r\nTable name = 'FAKE'\r\nEIDFDataFile: Structures not equal!");
  EXPECT_EQ(manager.frees, 1);
}

TEST_F(TableTransfer, InsertRecordToTableFillsLeadingFieldsOnly) {
  FillRecords({5});
  manager.table.extra_fields = 2;
  manager.table.Open();
  manager.table.CurrentRecord.GetFields(3)->SetAsFloat(9.5);
  ASSERT_TRUE(data.InsertRecordToTable(manager.table));
  ASSERT_EQ(manager.table.inserted.size(), 1u);
  const auto& row = manager.table.inserted[0];
  EXPECT_EQ(std::get<int32_t>(row[0]), 5);
  EXPECT_EQ(std::get<std::string>(row[1]), "v5");
  EXPECT_TRUE(IsEmpty(row[2]));
  EXPECT_TRUE(IsEmpty(row[3]));
}

TEST_F(TableTransfer, LoadFromTableAppendsRowsWithProgressAndFilter) {
  data.TableName = "FAKE";
  data.Filter = "N > 0";
  manager.table.rows = {10, 20, 30, 40};
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.LoadFromTable());
  EXPECT_EQ(manager.table.calls, (std::vector<std::string>{"filter N > 0", "open"}));
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(data.GetFieldsString(), "N,S");
  ASSERT_EQ(data.GetRecordCount(), 4);
  data.SetRecordIndex(3);
  EXPECT_EQ(data.Structure->GetFields(1)->GetAsString(), "s40");

  // A cancel keeps the rows read and still succeeds.
  FakeManager other;
  other.table.rows = {1, 2, 3};
  BaseMng = &other;
  TIDFDataFile partial;
  partial.TableName = "FAKE";
  ProgressLog::Attach(partial, 2);
  EXPECT_TRUE(partial.LoadFromTable());
  EXPECT_EQ(partial.GetRecordCount(), 2);
  EXPECT_EQ(other.frees, 1);
}

TEST_F(TableTransfer, FromTableToFileWritesTheTableAndHandlesCancel) {
  data.TableName = "FAKE";
  data.FileName = dir.Path("out.idf");
  manager.table.rows = {1, 2, 3, 4};
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.FromTableToFile()) << data.ErrorMessage;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{25, 50, 75, 100}));
  const std::string image = PlainImageOf(data.FileName);
  EXPECT_EQ(image.substr(0, 47), "IDF-DS\r\n\r\nTableName=FAKE\r\nN,S\r\nINTEGER,STRING\r\n");
  EXPECT_EQ(image.size(), 47u + 4 * 10);
  EXPECT_EQ(data.GetRecordCount(), 0);  // rows pass through the structure only

  FakeManager cancel;
  cancel.table.rows = {1, 2, 3};
  BaseMng = &cancel;
  ProgressLog::Attach(data, 1);
  EXPECT_FALSE(data.FromTableToFile());
  EXPECT_EQ(ReadWholeFile(data.FileName), "");
  EXPECT_EQ(cancel.frees, 1);

  // Without counting the rows, the progress function still follows each
  // row (and could stop the transfer), at 0 percent; the table is never
  // asked for its count.
  FakeManager uncounted;
  uncounted.table.rows = {1, 2, 3};
  BaseMng = &uncounted;
  data.CountRows = false;
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.FromTableToFile()) << data.ErrorMessage;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(PlainImageOf(data.FileName).size(), 47u + 3 * 10);
  EXPECT_EQ(uncounted.table.counted, 0);
  EXPECT_EQ(manager.table.counted, 1);
}

TEST_F(TableTransfer, FromTableToFileWithoutTableLeavesAnImageWithoutHeader) {
  manager.available = false;
  data.TableName = "NONE";
  data.FileName = dir.Path("none.idf");
  EXPECT_FALSE(data.FromTableToFile());
  EXPECT_EQ(data.ErrorMessage, "");
  EXPECT_EQ(PlainImageOf(data.FileName), "");
  TIDFDataFile reader;
  reader.FileName = data.FileName;
  EXPECT_FALSE(reader.LoadFromFile());
}

TEST_F(TableTransfer, FromFileToTableUsesTheTableNamedInTheFile) {
  FillRecords({1, -2, 3, 4});
  data.TableName = "FROMFILE";
  data.FileName = dir.Path("in.idf");
  ASSERT_TRUE(data.SaveToFile());

  TIDFDataFile loader;
  loader.FileName = data.FileName;
  loader.TableName = "OTHER";
  ProgressLog::Attach(loader);
  EXPECT_TRUE(loader.FromFileToTable());
  EXPECT_EQ(manager.last_name, "FROMFILE");
  EXPECT_EQ(manager.table.inserted.size(), 3u);
  EXPECT_EQ(loader.FailedRecords, 1);
  EXPECT_EQ(loader.GetRecordCount(), 0);
  // A 51-byte header, then 4 + 4 + 2 bytes per record ("v-2" is one more).
  const int size = 51 + 41;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{(51 + 10) * 100 / size, (51 + 31) * 100 / size, 100}));

  manager.table.extra_fields = 1;
  EXPECT_FALSE(loader.FromFileToTable());
  EXPECT_EQ(loader.ErrorMessage, "An exception while saving data from file to table\r\nFile name = '" +
                                     loader.FileName +
                                     "\r\nTable name = 'FROMFILE'\r\nEIDFDataFile: Structures not equal!");
  EXPECT_EQ(manager.frees, 2);

  loader.FileName = dir.Path("absent.idf");
  EXPECT_FALSE(loader.FromFileToTable());
  EXPECT_EQ(loader.ErrorMessage.rfind("Can't create file '" + loader.FileName + "'\r\nEInOutError: ", 0), 0u);
}

TEST_F(TableTransfer, DamagedFileInsertsNothing) {
  FillRecords({1, 2, 3});
  data.TableName = "FAKE";
  data.FileName = dir.Path("damaged.idf");
  ASSERT_TRUE(data.SaveToFile());
  const std::string sound = ReadWholeFile(data.FileName);
  const size_t record = 24;  // the check record at the end
  std::string in_frame = sound;
  in_frame[sound.size() / 2] ^= 0x40;  // found by the check record
  std::string without_record = sound.substr(0, sound.size() - record);
  without_record[without_record.size() - 1] ^= 0x40;  // found by decompressing: the frame's checksum
  for (const std::string& bytes : {in_frame, without_record}) {
    WriteWholeFileAtomically(data.FileName, bytes);
    EXPECT_FALSE(data.FromFileToTable());
    EXPECT_TRUE(manager.table.inserted.empty());
    EXPECT_EQ(manager.gets, 0);
    EXPECT_NE(data.ErrorMessage.find("ECompressorError: Compressed data are damaged"), std::string::npos)
        << data.ErrorMessage;
  }
  // A sound file without its check record is still read.
  WriteWholeFileAtomically(data.FileName, sound.substr(0, sound.size() - record));
  EXPECT_TRUE(data.FromFileToTable()) << data.ErrorMessage;
  EXPECT_EQ(manager.table.inserted.size(), 3u);
}

// The record loop keeps its view of the structure between records; a
// progress function that reshapes the structure must be followed, never read
// through fields that are gone.
TIDFDataFile* g_reshaped = nullptr;
int32_t ReshapeOnce(int32_t, const char*, int32_t) {
  if (g_reshaped->Structure->GetFields(1)->FieldType() == ftString) {
    g_reshaped->Structure->DeleteField(1);
    g_reshaped->Structure->AddParam("L", ftInteger);
  }
  return 1;
}

TEST_F(TableTransfer, ProgressFunctionReshapingTheStructureIsFollowed) {
  FillRecords({1, 2, 3});
  data.TableName = "FAKE";
  data.FileName = dir.Path("reshaped.idf");
  ASSERT_TRUE(data.SaveToFile());
  TIDFDataFile loader;
  loader.FileName = data.FileName;
  g_reshaped = &loader;
  loader.SetCallBack(reinterpret_cast<intptr_t>(&ReshapeOnce));
  loader.FromFileToTable();
  ASSERT_GE(manager.table.inserted.size(), 2u);
  EXPECT_EQ(manager.table.inserted[0][1], TVariant{std::string("v1")});
  // The second record read "L" from the text's length (2), as an integer.
  EXPECT_EQ(manager.table.inserted[1][0], TVariant{2});
  EXPECT_EQ(manager.table.inserted[1][1], TVariant{std::string("2")});
}

}  // namespace
}  // namespace instkit
