// Moving rows between tables and data files against a scripted table:
// progress, messages, failing rows, tables handed back, damaged files.  Real
// databases (filters, qualifiers, types): table_engine_contract_test.cpp.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/base/settings.h"
#include "host/db/application_manager.h"

namespace instkit {
namespace {

using testing::PlainImageOf;
using testing::ProgressLog;
using testing::TempDir;

// A manager of one table of integer rows held in a vector; InsertRow fails
// for rows whose first value is negative.
class FakeManager final : public TApplicationManager, public TTable {
 public:
  std::vector<int> rows;
  std::vector<std::vector<TVariant>> inserted;
  int extra_fields = 0;
  int counted = 0;  // GetRowCount calls
  bool available = true;
  int gets = 0;
  int frees = 0;
  std::string last_name;

  TTable* GetUserTable(const std::string& name, const std::string&, bool flag) override {
    ++gets;
    last_name = name;
    EXPECT_FALSE(flag);
    return available ? this : nullptr;
  }
  void FreeTable(TTable* t) override {
    EXPECT_EQ(t, static_cast<TTable*>(this));
    ++frees;
  }
  void ApplyFilter(const std::string&) override {}
  void Open() override {
    next_ = 0;
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
    CurrentRecord.GetFields(1)->SetAsString("s" + std::to_string(rows[next_++]));
    return true;
  }
  void InsertRow() override {
    if (CurrentRecord.GetFields(0)->GetAsInteger() < 0) throw Exception("EFake", "negative");
    inserted.emplace_back();
    for (int i = 0; i < CurrentRecord.GetFieldCount(); ++i)
      inserted.back().push_back(CurrentRecord.GetFields(i)->GetValue());
  }
  const std::string& Name() const override { return name_; }

 private:
  size_t next_ = 0;
  std::string name_ = "FAKE";
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
  FillRecords({1, 2, -3, 4});
  ProgressLog::Attach(data);
  EXPECT_TRUE(data.SaveToTable(true));
  EXPECT_EQ(manager.inserted.size(), 3u);
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
  manager.inserted.clear();
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(manager.inserted.size(), 2u);
  EXPECT_EQ(manager.frees, 3);
}

// No table name, no records, no table, another number of fields; without a
// table an export leaves the compressed empty image, which no load accepts.
TEST_F(TableTransfer, MissingTablesAndOtherStructures) {
  data.TableName = " \t";
  FillRecords({});
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(manager.gets, 0);
  data.TableName = "FAKE";
  EXPECT_TRUE(data.SaveToTable());  // opens, checks, inserts nothing

  FillRecords({1});
  manager.extra_fields = 1;
  EXPECT_FALSE(data.SaveToTable());
  EXPECT_EQ(data.ErrorMessage,
            "An exception while saving data to table\r\nTable name = 'FAKE'\r\nEIDFDataFile: Structures not equal!");
  EXPECT_EQ(manager.frees, 2);

  manager.available = false;
  data.ErrorMessage.clear();
  EXPECT_FALSE(data.SaveToTable());
  data.FileName = dir.Path("none.idf");
  EXPECT_FALSE(data.FromTableToFile());
  EXPECT_EQ(data.ErrorMessage, "");
  EXPECT_EQ(manager.frees, 2);
  EXPECT_EQ(PlainImageOf(data.FileName), "");
  EXPECT_FALSE(data.LoadFromFile());
}

TEST_F(TableTransfer, InsertRecordToTableFillsLeadingFieldsOnly) {
  FillRecords({5});
  manager.extra_fields = 2;
  manager.Open();
  manager.CurrentRecord.GetFields(3)->SetAsFloat(9.5);
  ASSERT_TRUE(data.InsertRecordToTable(manager));
  EXPECT_EQ(manager.inserted, (std::vector<std::vector<TVariant>>{{5, std::string("v5"), TVariant(), TVariant()}}));
}

TEST_F(TableTransfer, LoadFromTableAppendsRowsWithProgress) {
  data.TableName = "FAKE";
  manager.rows = {10, 20, 30, 40};
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.LoadFromTable());
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(data.GetFieldsString(), "N,S");
  ASSERT_EQ(data.GetRecordCount(), 4);
  data.SetRecordIndex(3);
  EXPECT_EQ(data.Structure->GetFields(1)->GetAsString(), "s40");
  // A cancel keeps the rows read and still succeeds.
  ProgressLog::Attach(data, 2);
  EXPECT_TRUE(data.LoadFromTable());
  EXPECT_EQ(data.GetRecordCount(), 6);
  EXPECT_EQ(manager.frees, 2);
}

TEST_F(TableTransfer, FromTableToFileWritesTheTableAndHandlesCancel) {
  data.TableName = "FAKE";
  data.FileName = dir.Path("out.idf");
  manager.rows = {1, 2, 3, 4};
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.FromTableToFile()) << data.ErrorMessage;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{25, 50, 75, 100}));
  const std::string image = PlainImageOf(data.FileName);
  EXPECT_EQ(image.substr(0, 47), "IDF-DS\r\n\r\nTableName=FAKE\r\nN,S\r\nINTEGER,STRING\r\n");
  EXPECT_EQ(image.size(), 47u + 4 * 10);
  EXPECT_EQ(data.GetRecordCount(), 0);  // rows pass through the structure only

  ProgressLog::Attach(data, 1);
  EXPECT_FALSE(data.FromTableToFile());
  EXPECT_EQ(ReadWholeFile(data.FileName), "");
  EXPECT_EQ(manager.frees, 2);

  // Without counting the rows, the progress function still follows each
  // row (and could stop the transfer), at 0 percent; the table is never
  // asked for its count.
  manager.rows = {1, 2, 3};
  data.CountRows = false;
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.FromTableToFile()) << data.ErrorMessage;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(PlainImageOf(data.FileName).size(), 47u + 3 * 10);
  EXPECT_EQ(manager.counted, 2);
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
  EXPECT_EQ(manager.inserted.size(), 3u);
  EXPECT_EQ(loader.FailedRecords, 1);
  EXPECT_EQ(loader.GetRecordCount(), 0);
  // A 51-byte header, then 4 + 4 + 2 bytes per record ("v-2" is one more).
  const int size = 51 + 41;
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{(51 + 10) * 100 / size, (51 + 31) * 100 / size, 100}));

  manager.extra_fields = 1;
  EXPECT_FALSE(loader.FromFileToTable());
  EXPECT_EQ(loader.ErrorMessage, "An exception while saving data from file to table\r\nFile name = '" +
                                     loader.FileName +
                                     "\r\nTable name = 'FROMFILE'\r\nEIDFDataFile: Structures not equal!");
  EXPECT_EQ(manager.frees, 2);

  loader.FileName = dir.Path("absent.idf");
  EXPECT_FALSE(loader.FromFileToTable());
  EXPECT_EQ(loader.ErrorMessage.rfind("Can't create file '" + loader.FileName + "'\r\nEInOutError: ", 0), 0u);
}

// The whole file is checked before the first row goes in: by its check
// record (its CRC-32 and the plain size it names against the cap), else by
// decompressing (the frame's checksum).  Damage inserts nothing.
TEST_F(TableTransfer, DamagedFileInsertsNothing) {
  FillRecords({1, 2, 3});
  data.TableName = "FAKE";
  data.FileName = dir.Path("damaged.idf");
  ASSERT_TRUE(data.SaveToFile());
  const std::string sound = ReadWholeFile(data.FileName);
  const std::string without_record = sound.substr(0, sound.size() - 24);
  const auto flip = [](std::string bytes, size_t at) { return bytes[at] ^= 0x40, bytes; };
  const std::tuple<std::string, uint64_t, std::string> cases[] = {
      {flip(sound, sound.size() / 2), 1000,
       "ECompressorError: Compressed data are damaged: the check record does not match"},
      {flip(without_record, without_record.size() - 1), 1000, "ECompressorError: Compressed data are damaged: "},
      {sound, 71, "ECompressorError: Decompressed data exceed the limit of 71 bytes"}};
  for (const auto& [bytes, cap, message] : cases) {
    WriteWholeFileAtomically(data.FileName, bytes);
    Settings().SetMaxDecompressedSize(cap);
    EXPECT_FALSE(data.FromFileToTable());
    Settings().SetMaxDecompressedSize(kDefaultMaxDecompressedSize);
    EXPECT_TRUE(manager.inserted.empty());
    EXPECT_EQ(manager.gets, 0);
    EXPECT_NE(data.ErrorMessage.find(message), std::string::npos) << data.ErrorMessage;
  }
  // A sound file, with or without its check record, is read.
  for (const std::string& bytes : {sound, without_record}) {
    WriteWholeFileAtomically(data.FileName, bytes);
    manager.inserted.clear();
    EXPECT_TRUE(data.FromFileToTable()) << data.ErrorMessage;
    EXPECT_EQ(manager.inserted.size(), 3u);
  }
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
  ASSERT_GE(manager.inserted.size(), 2u);
  EXPECT_EQ(manager.inserted[0], (std::vector<TVariant>{1, std::string("v1")}));
  // The second record read "L" from the text's length (2), as an integer.
  EXPECT_EQ(manager.inserted[1], (std::vector<TVariant>{2, std::string("2")}));
}

}  // namespace
}  // namespace instkit
