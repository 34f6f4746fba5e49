// Nothing lost under faults: every transfer that writes is run once per
// possible point of failure (the Nth write or sync of the database, the Nth
// write, sync or replace of a file), and afterwards the target holds either
// its old content or the complete new one, and the database is sound.
#include <gtest/gtest.h>

#include <filesystem>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/db/sqlite_table.h"
#include "support/fault_vfs.h"

namespace instkit {
namespace {

using testing::TempDir;
using testing::TFaultVfs;

constexpr int kOldRows = 5;
constexpr int kNewRows = 400;

std::string RowText(int i) { return "row " + std::to_string(i) + std::string(60, 'x'); }

// A database with table T holding the old rows.
void MakeDatabase(const std::string& path) {
  std::filesystem::remove(path);
  TSqliteDb db(path);
  db.Exec("BEGIN; CREATE TABLE T (N INTEGER, S TEXT)");
  for (int i = 0; i < kOldRows; ++i) db.Exec("INSERT INTO T VALUES (" + std::to_string(-1 - i) + ", 'old')");
  db.Exec("COMMIT");
}

// A data file (or the records in memory) holding the new rows.
void FillNewRows(TIDFDataFile& data) {
  data.TableName = "T";
  data.CreateFields("N,S", "INTEGER,STRING");
  for (int i = 0; i < kNewRows; ++i) {
    data.Structure->GetFields(0)->SetAsInteger(i);
    data.Structure->GetFields(1)->SetAsString(RowText(i));
    data.InsertRecord();
  }
}

struct TDatabaseState {
  int rows = -1;
  std::string integrity;
};

TDatabaseState Inspect(const std::string& path) {
  TSqliteDb db(path, false);
  TDatabaseState state;
  TSqliteStatement count = db.Prepare("SELECT count(*) FROM T");
  if (count.Step()) state.rows = static_cast<int>(count.ColumnInt64(0));
  TSqliteStatement check = db.Prepare("PRAGMA integrity_check");
  if (check.Step()) state.integrity = check.ColumnText(0);
  return state;
}

using TTableOperation = bool (*)(TIDFDataFile&, const std::string& file);

bool ImportFile(TIDFDataFile& data, const std::string& file) {
  data.FileName = file;
  return data.FromFileToTable();
}
bool SaveRecords(TIDFDataFile& data, const std::string&) {
  FillNewRows(data);
  return data.SaveToTable();
}

struct TDatabaseFault {
  const char* name;
  bool on_sync;
  int rc;
  bool persistent;
};

TEST(DataFaults, TableTransfersEndWithAllRowsOrNone) {
  TempDir dir;
  const std::string db_path = dir.Path("t.db");
  const std::string file = dir.Path("new.idf");
  {
    TIDFDataFile data;
    data.FileName = file;
    FillNewRows(data);
    ASSERT_TRUE(data.SaveToFile());
  }
  const std::pair<const char*, TTableOperation> operations[] = {{"FromFileToTable", &ImportFile},
                                                                {"SaveToTable", &SaveRecords}};
  const TDatabaseFault faults[] = {{"disk full", false, SQLITE_FULL, true},
                                   {"write error", false, SQLITE_IOERR_WRITE, false},
                                   {"sync error", true, SQLITE_IOERR_FSYNC, false}};
  TFaultVfs vfs;
  for (const auto& [operation_name, operation] : operations) {
    // A clean run counts the writes and syncs there are to fail.
    MakeDatabase(db_path);
    int writes = 0;
    int syncs = 0;
    {
      TSqliteApplicationManager manager(db_path);
      BaseMng = &manager;
      TIDFDataFile data;
      vfs.Arm(0, 0, SQLITE_OK, false);
      ASSERT_TRUE(operation(data, file)) << data.ErrorMessage;
      writes = vfs.writes;
      syncs = vfs.syncs;
    }
    ASSERT_GT(writes, 3);
    for (const TDatabaseFault& fault : faults) {
      for (int n = 1; n <= (fault.on_sync ? syncs : writes); ++n) {
        SCOPED_TRACE(std::string(operation_name) + ", " + fault.name + " at " + std::to_string(n));
        vfs.Disarm();
        MakeDatabase(db_path);
        bool done = false;
        std::string message;
        {
          TSqliteApplicationManager manager(db_path);
          BaseMng = &manager;
          TIDFDataFile data;
          vfs.Arm(fault.on_sync ? 0 : n, fault.on_sync ? n : 0, fault.rc, fault.persistent);
          done = operation(data, file);
          message = data.ErrorMessage;
          EXPECT_EQ(data.FailedRecords, 0);
          EXPECT_EQ(manager.OpenTableCount(), 0u);
        }
        vfs.Disarm();
        const TDatabaseState state = Inspect(db_path);
        EXPECT_EQ(state.integrity, "ok");
        EXPECT_EQ(state.rows, done ? kOldRows + kNewRows : kOldRows) << message;
      }
    }
  }
  BaseMng = nullptr;
}

TEST(DataFaults, AHeldWriteLockIsWaitedForOnceAndNamed) {
  TempDir dir;
  const std::string db_path = dir.Path("t.db");
  MakeDatabase(db_path);
  TIDFDataFile source;
  source.FileName = dir.Path("new.idf");
  FillNewRows(source);
  ASSERT_TRUE(source.SaveToFile());

  TFaultVfs vfs;
  vfs.RefuseWriteLocks(true);
  TSqliteApplicationManager manager(db_path);
  // Each wait for the lock starts with a call numbered 0; it gives up after
  // three tries instead of the busy timeout.
  static int waits;
  waits = 0;
  sqlite3_busy_handler(manager.Db().Handle(), [](void*, int tries) {
    waits += tries == 0 ? 1 : 0;
    return tries < 3 ? 1 : 0;
  }, nullptr);
  BaseMng = &manager;
  TIDFDataFile data;
  data.FileName = source.FileName;
  EXPECT_FALSE(data.FromFileToTable());
  EXPECT_EQ(waits, 1);
  EXPECT_NE(data.ErrorMessage.find("ESQLiteError: database is locked by another process"), std::string::npos)
      << data.ErrorMessage;
  EXPECT_EQ(data.FailedRecords, 0);
  BaseMng = nullptr;
  vfs.RefuseWriteLocks(false);
  EXPECT_EQ(Inspect(db_path).rows, kOldRows);
}

// ---- Crafted files ----

std::string Fields(int count, const char* each) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i > 0 ? "," : "") + std::string(each) + (each[0] == 'F' ? std::to_string(i) : "");
  return list;
}

// Each crafted image is refused with a message, or loads what precedes the
// damage and says where the parse stopped.  `error` and `problem` are parts
// of ErrorMessage and LastRead.problem; an empty `problem` means the image
// parsed to its end.
TEST(DataFaults, CraftedFilesAreRefusedOrReported) {
  const std::string head = "IDF-DS\r\n\r\nTableName=T\r\nN,S\r\nINTEGER,STRING\r\n";  // 44 bytes
  const std::string one = std::string("\x01\0\0\0\x02\0\0\0ab", 10);
  struct TCase {
    const char* name;
    std::string plain;
    bool loads;
    int records;
    std::string error;
    std::string problem;
  };
  const TCase cases[] = {
      {"sound", head + one + one, true, 2, "", ""},
      {"huge length", head + one + std::string("\x02\0\0\0\xff\xff\xff\x7f", 8), true, 1, "",
       "record 2 at byte 54: a text length of 2147483647 is over the limit of 10485760 bytes"},
      {"length one over", head + std::string("\x02\0\0\0\x01\0\xa0\0", 8), true, 0, "",
       "record 1 at byte 44: a text length of 10485761 is over the limit of 10485760 bytes"},
      {"cut record", head + one + std::string("\x02\0", 2), true, 1, "",
       "record 2 at byte 54: the data end inside the record"},
      {"fewer types", "IDF-DS\r\n\r\nTableName=T\r\nN,S\r\nINTEGER\r\n" + one, true, 1, "",
       "the header names 2 field(s) but 1 type(s)"},
      {"no fields, bytes", "IDF-DS\r\n\r\nTableName=T\r\n\r\n\r\nxyz", true, 0, "",
       "byte 27: the header names no fields, but records follow"},
      {"most fields", "IDF-DS\r\n\r\nTableName=T\r\n" + Fields(32767, "F") + "\r\n" + Fields(32767, "BOOLEAN") + "\r\n" +
           std::string(32767, '\1'), true, 1, "", ""},
      {"too many fields", "IDF-DS\r\n\r\nTableName=T\r\n" + Fields(32768, "F") + "\r\n\r\n", false, 0,
       "EIDFDataFile: The header names more than 32767 fields", ""},
      {"bad type", "IDF-DS\r\n\r\nTableName=T\r\nN\r\nTEXT\r\n", false, 0,
       "EIDFDataFile: Invalid data type string - 'TEXT'", ""},
  };
  TempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TIDFDataFile data;
    data.FileName = dir.Path("crafted.idf");
    testing::WriteDataFile(data.FileName, c.plain);
    EXPECT_EQ(data.LoadFromFile(), c.loads) << data.ErrorMessage;
    EXPECT_EQ(data.GetRecordCount(), c.records);
    EXPECT_NE(data.ErrorMessage.find(c.error), std::string::npos) << data.ErrorMessage;
    EXPECT_EQ(data.LastRead.complete, c.problem.empty());
    EXPECT_EQ(data.LastRead.problem, c.problem);
  }
}

TEST(DataFaults, RecordsInMemoryStopAtTheirLimit) {
  TempDir dir;
  TIDFDataFile data;
  data.FileName = dir.Path("ones.idf");
  testing::WriteDataFile(data.FileName, "IDF-DS\r\n\r\nTableName=T\r\nB\r\nBOOLEAN\r\n" + std::string(100000, '\1'));
  data.RecordMemoryLimit = 100000;
  EXPECT_FALSE(data.LoadFromFile());
  const int kept = data.GetRecordCount();
  EXPECT_GT(kept, 100);
  EXPECT_LT(kept, 2000);
  EXPECT_NE(data.ErrorMessage.find("EIDFDataFile: The records read exceed the memory limit of 100000 bytes at record " +
                                   std::to_string(kept + 1)),
            std::string::npos)
      << data.ErrorMessage;
  // Streaming keeps one record at a time, whatever the file holds.
  int64_t seen = 0;
  EXPECT_TRUE(data.ReadFileRecords([] { return true; }, [&](uint8_t) { return ++seen > 0; }));
  EXPECT_EQ(seen, 100000);
  EXPECT_TRUE(data.LastRead.complete);
}

// ---- File writers ----

std::atomic<int> g_file_steps{0};
std::atomic<int> g_fail_at{0};

void CountingHook(TFileStep, const std::string& path) {
  if (++g_file_steps == g_fail_at) throw EInOutError("Cannot write file '" + path + "': No space left on device");
}

using TFileOperation = bool (*)(TIDFDataFile&);

TEST(DataFaults, FileWritersKeepTheOldFileOrWriteTheWholeNewOne) {
  TempDir dir;
  const std::string target = dir.Path("out.idf");
  const std::string db_path = dir.Path("t.db");
  MakeDatabase(db_path);
  {
    TSqliteApplicationManager manager(db_path);
    BaseMng = &manager;
    TIDFDataFile data;
    FillNewRows(data);
    ASSERT_TRUE(data.SaveToTable());
  }
  const std::pair<const char*, TFileOperation> operations[] = {
      {"SaveToFile", [](TIDFDataFile& data) { FillNewRows(data); return data.SaveToFile(); }},
      {"FromTableToFile", [](TIDFDataFile& data) { data.TableName = "T"; return data.FromTableToFile(); }}};
  TSqliteApplicationManager manager(db_path);
  manager.Db().Exec("DELETE FROM T WHERE N < 0");
  BaseMng = &manager;
  SetFileFaultHook(&CountingHook);
  for (const auto& [name, operation] : operations) {
    // The old file: a data file of one record.
    std::filesystem::remove(target);
    testing::WriteDataFile(target, "IDF-DS\r\n\r\nTableName=OLD\r\nA\r\nBOOLEAN\r\n\x01");
    const std::string old_bytes = TempDir::Read(target);
    g_fail_at = 0;
    g_file_steps = 0;
    {
      TIDFDataFile data;
      data.FileName = dir.Path("count.idf");
      ASSERT_TRUE(operation(data));
    }
    const int steps = g_file_steps;
    ASSERT_GE(steps, 3);  // a write, the sync, the replace
    for (int n = 1; n <= steps; ++n) {
      SCOPED_TRACE(std::string(name) + ", failing file step " + std::to_string(n));
      g_file_steps = 0;
      g_fail_at = n;
      TIDFDataFile data;
      data.FileName = target;
      EXPECT_FALSE(operation(data));
      EXPECT_NE(data.ErrorMessage.find("No space left on device"), std::string::npos) << data.ErrorMessage;
      EXPECT_EQ(TempDir::Read(target), old_bytes);
      for (const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
      }
    }
    g_fail_at = 0;
    TIDFDataFile data;
    data.FileName = target;
    ASSERT_TRUE(operation(data));
    TIDFDataFile check;
    check.FileName = target;
    ASSERT_TRUE(check.LoadFromFile());
    EXPECT_EQ(check.GetRecordCount(), kNewRows);
  }
  SetFileFaultHook(nullptr);
  BaseMng = nullptr;
}

}  // namespace
}  // namespace instkit
