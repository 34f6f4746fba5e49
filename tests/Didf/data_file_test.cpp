// The record structure, type names, the record list and its navigation.
#include "Didf/data_file.h"

#include <gtest/gtest.h>

#include "data_file_test_util.h"

namespace instkit {
namespace {

using testing::ProgressLog;

// The message of what `f` raises as EIDFDataFile, or "".
template <typename F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const EIDFDataFile& e) {
    return e.ClassName() + ": " + e.Message();
  }
  return "";
}

TEST(DataFileTypes, EveryCodeHasItsNameAndCanonicalCodeOthersRaise) {
  struct Case {
    int32_t code;
    const char* name;
    int32_t canonical;
  };
  const Case cases[] = {{0, "STRING", 0},    {1, "SMALLINT", 1},  {2, "INTEGER", 2},  {3, "FLOAT", 3},
                        {4, "DATETIME", 5},  {5, "DATETIME", 5},  {6, "CURRENCY", 6}, {7, "STRING", 0},
                        {8, "STRING", 0},    {9, "STRING", 0},    {10, "INTEGER", 2}, {11, "INTEGER", 2},
                        {12, "DATETIME", 5}, {13, "DATETIME", 5}, {14, "INTEGER", 2}, {15, "STRING", 0},
                        {16, "BOOLEAN", 16}, {17, "SMALLINT", 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(TIDFDataFile::FieldTypeToString(c.code), c.name) << c.code;
    EXPECT_EQ(TIDFDataFile::StringToFieldType(c.name), c.canonical) << c.code;
  }
  // Only the low eight bits select the name.
  EXPECT_EQ(TIDFDataFile::FieldTypeToString(256 + 2), "INTEGER");
  // Other codes and names raise; names are trimmed and upper-cased.
  for (int32_t code : {18, 255, 256 + 18}) {
    EXPECT_EQ(Raised([&] { TIDFDataFile::FieldTypeToString(code); }),
              "EIDFDataFile: Invalid field type (" + std::to_string(code) + ")!");
  }
  EXPECT_EQ(TIDFDataFile::StringToFieldType(" word "), 1);
  EXPECT_EQ(TIDFDataFile::StringToFieldType("\tboolean\r"), 16);
  EXPECT_EQ(Raised([] { TIDFDataFile::StringToFieldType(" Text "); }),
            "EIDFDataFile: Invalid data type string - 'TEXT'");
}

TEST(DataFileStructure, CreateFieldsSplitsNamesAndTypes) {
  TIDFDataFile data;
  // Names are upper-cased; missing types are STRING.
  data.CreateFields("id,b,c", "FLOAT");
  EXPECT_EQ(data.GetFieldsString(), "ID,B,C");
  EXPECT_EQ(data.GetFieldTypesString(), "FLOAT,STRING,STRING");
  EXPECT_EQ(data.Structure->GetFields(2)->FieldType(), ftString);

  // Names are not trimmed one by one; surplus types are ignored.
  data.CreateFields("  a, b  ", "word,boolean,float");
  ASSERT_EQ(data.Structure->GetFieldCount(), 2);
  EXPECT_EQ(data.Structure->GetFields(1)->Name(), " B");
  EXPECT_EQ(data.Structure->GetFields(1)->FieldType(), ftBoolean);
  EXPECT_EQ(data.GetFieldsString(), "A, B");
  EXPECT_EQ(data.GetFieldTypesString(), "SMALLINT,BOOLEAN");

  // Without fields, nothing is inserted.
  data.CreateFields(" ", "INTEGER");
  EXPECT_EQ(data.GetFieldsString(), "");
  EXPECT_EQ(data.GetFieldTypesString(), "");
  EXPECT_FALSE(data.InsertRecord());
  EXPECT_EQ(data.GetRecordCount(), 0);
}

TEST(DataFileStructure, StructureChangesAreRefusedWhileRecordsExist) {
  TIDFDataFile data;
  data.CreateFields("ID,NAME", "INTEGER,STRING");
  ASSERT_TRUE(data.InsertRecord());
  EXPECT_EQ(Raised([&] { data.Structure->ClearStructure(); }),
            "EIDFDataFile: Can't clear structure because record count is greater than 0");
  EXPECT_EQ(Raised([&] { data.Structure->DeleteField("name"); }),
            "EIDFDataFile: Can't delete field because record count is greater than 0");
  // AddParam has no check.
  data.Structure->AddParam("EXTRA", ftBoolean);
  data.ClearAllRecords();
  data.Structure->DeleteField("missing");
  data.Structure->DeleteField("name");
  EXPECT_EQ(data.GetFieldsString(), "ID,EXTRA");
  data.Structure->ClearStructure();
  EXPECT_EQ(data.Structure->GetFieldCount(), 0);
}

class DataFileRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    data.CreateFields("ID,NAME", "INTEGER,STRING");
    for (int i = 0; i < 3; ++i) Insert(i, "row" + std::to_string(i));
  }
  void Insert(int id, const std::string& name) {
    data.Structure->GetFields(0)->SetAsInteger(id);
    data.Structure->GetFields(1)->SetAsString(name);
    ASSERT_TRUE(data.InsertRecord());
  }
  int CurrentId() const { return data.Structure->GetFields(0)->GetAsInteger(); }

  TIDFDataFile data;
};

// Navigation, loading, updating, inserting and deleting from records 0, 1, 2
// (ID = the record's first value; index 2 current): each step's result, the
// current index after it and the ID in the structure.
TEST_F(DataFileRecords, NavigationAndEditingAsOneTable) {
  struct Step {
    const char* operation;
    int32_t argument;
    bool result;
    int32_t index;
    int id;
  };
  const Step steps[] = {
      {"first", 0, true, 0, 0},       {"prior", 0, false, 0, 0},
      {"next", 0, true, 1, 1},        {"last", 0, true, 2, 2},
      {"next", 0, false, 2, 2},       {"set", 7, true, 2, 2},  // out of range: no move
      {"load", 0, true, 2, 0},        {"load", 3, false, 2, 0},
      {"set", 1, true, 1, 1},         {"update", 11, true, 1, 11},
      {"set", 0, true, 0, 0},         {"set", 1, true, 1, 11},  // the update stayed
      {"insert", 9, true, 3, 9},      {"set", -1, true, 3, 9},
      {"delete", 0, true, 2, 2},  // past the end: back, loaded
      {"first", 0, true, 0, 0},       {"delete", 0, true, 0, 0},
      {"load", 0, true, 0, 11},  // stays, names the follower
      {"delete-at", 5, false, 0, 11}, {"delete-at", -1, false, 0, 11},
      {"delete", 0, true, 0, 11},     {"delete", 0, true, 0, 11},
      {"delete", 0, false, 0, 11},    {"update", 1, false, 0, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.operation) + " " + std::to_string(step.argument));
    const std::string op = step.operation;
    bool result = true;
    if (op == "first") result = data.FirstRecord();
    if (op == "prior") result = data.PriorRecord();
    if (op == "next") result = data.NextRecord();
    if (op == "last") result = data.LastRecord();
    if (op == "set") data.SetRecordIndex(step.argument);
    if (op == "load") result = data.LoadRecord(step.argument);
    if (op == "update") {
      data.Structure->GetFields(0)->SetAsInteger(step.argument);
      result = data.UpdateRecord();
    }
    if (op == "insert") Insert(step.argument, "inserted");
    if (op == "delete") result = data.DeleteRecord();
    if (op == "delete-at") result = data.DeleteRecordInternal(step.argument);
    EXPECT_EQ(result, step.result);
    EXPECT_EQ(data.GetRecordIndex(), step.index);
    EXPECT_EQ(CurrentId(), step.id);
  }
  EXPECT_EQ(data.GetRecordCount(), 0);
  EXPECT_EQ(data.GetRecord(0), nullptr);
}

TEST_F(DataFileRecords, OlderRecordsKeepTheirWidth) {
  // A field added later is missing from older records, which load and update
  // only the values they hold.
  data.Structure->AddParam("FLAG", ftBoolean);
  data.Structure->GetFields(2)->SetAsBoolean(true);
  data.SetRecordIndex(0);
  EXPECT_TRUE(data.Structure->GetFields(2)->GetAsBoolean());
  ASSERT_TRUE(data.UpdateRecord());
  EXPECT_EQ(data.GetRecord(0)->size(), 2u);
  Insert(5, "five");
  EXPECT_EQ(data.GetRecord(3)->size(), 3u);
}

TEST(DataFileProgress, CallsTheFunctionWithTextAndZero) {
  TIDFDataFile data;
  EXPECT_TRUE(data.ShowProgress(50));  // no function: go on
  ProgressLog::Attach(data, 2);
  EXPECT_TRUE(data.ShowProgress(150));  // above 100: no call
  EXPECT_TRUE(ProgressLog::percents.empty());
  data.ProgressText = "copying";
  EXPECT_TRUE(data.ShowProgress(0));
  EXPECT_FALSE(data.ShowProgress(100));  // 0x100: only the low byte counts
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 100}));
  EXPECT_EQ(ProgressLog::texts, (std::vector<std::string>{"copying", "copying"}));
}

}  // namespace
}  // namespace instkit
