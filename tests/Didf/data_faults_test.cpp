// Nothing lost under faults: each transfer that writes is run once per point
// where it can fail (the Nth write or sync of the database, the Nth write,
// sync or replace of a file, a write lock held elsewhere), and afterwards the
// target holds its old content or the complete new one and the database is
// sound.  Then hostile files, and the values a data file cannot carry.
#include <gtest/gtest.h>

#include <filesystem>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/base/settings.h"
#include "host/db/sqlite_table.h"
#include "support/fault_vfs.h"

namespace instkit {
namespace {

using testing::TempDir;

constexpr int kOld = 5;
constexpr int kNew = 400;

void MakeDatabase(const std::string& path) {
  std::filesystem::remove(path);
  TSqliteDb(path).Exec(
      "BEGIN; CREATE TABLE T (N INTEGER, S TEXT); WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
      "SELECT x + 1 FROM c WHERE x < 5) INSERT INTO T SELECT -x, 'old' FROM c; COMMIT");
}

void FillNewRows(TIDFDataFile& data) {
  data.TableName = "T";
  testing::FillRows(data, kNew, std::string(60, 'x'));
}

TEST(DataFaults, TableTransfersEndWithAllRowsOrNone) {
  TempDir dir;
  const std::string db_path = dir.Path("t.db");
  TIDFDataFile source;
  source.FileName = dir.Path("new.idf");
  FillNewRows(source);
  ASSERT_TRUE(source.SaveToFile());
  using TOperation = bool (*)(TIDFDataFile&, const std::string&);
  const std::pair<const char*, TOperation> operations[] = {
      {"FromFileToTable", [](TIDFDataFile& d, const std::string& f) { return d.FileName = f, d.FromFileToTable(); }},
      {"SaveToTable", [](TIDFDataFile& d, const std::string&) { return FillNewRows(d), d.SaveToTable(); }}};
  struct TFault {
    const char* name;
    int kind;  // 0 the Nth write, 1 the Nth sync, 2 the write lock
    int rc;
    bool persistent;
  };
  const TFault faults[] = {{"disk full", 0, SQLITE_FULL, true},
                           {"write error", 0, SQLITE_IOERR_WRITE, false},
                           {"sync error", 1, SQLITE_IOERR_FSYNC, false},
                           {"lock held", 2, SQLITE_BUSY, false}};
  testing::TFaultVfs vfs;
  for (const auto& [name, operation] : operations) {
    int counts[3] = {0, 0, 1};  // a clean run counts the writes and syncs
    for (const TFault& fault : faults) {
      for (int n = 0; n <= counts[fault.kind]; ++n) {
        SCOPED_TRACE(std::string(name) + ", " + fault.name + " at " + std::to_string(n));
        MakeDatabase(db_path);
        bool done;
        int waits = 0;
        std::string message;
        {
          TSqliteApplicationManager manager(db_path);
          // Each wait for a lock starts with a call numbered 0; it gives up
          // after three calls instead of waiting out the busy timeout.
          sqlite3_busy_handler(
              manager.Db().Handle(), [](void* w, int k) -> int { return *static_cast<int*>(w) += k == 0, k < 3; },
              &waits);
          BaseMng = &manager;
          TIDFDataFile data;
          vfs.Arm(fault.kind == 0 ? n : 0, fault.kind == 1 ? n : 0, fault.rc, fault.persistent);
          vfs.refuse_locks = fault.kind == 2 && n > 0;
          done = operation(data, source.FileName);
          if (n == 0 && fault.kind < 2) counts[0] = vfs.writes, counts[1] = vfs.syncs;
          vfs.Arm(0, 0, SQLITE_OK, false);
          vfs.refuse_locks = false;
          message = data.ErrorMessage;
          EXPECT_EQ(data.FailedRecords, 0);
        }
        EXPECT_EQ(testing::SoundRows(db_path, "T"), done ? kOld + kNew : kOld) << message;
        EXPECT_EQ(done, n == 0) << message;
        EXPECT_LE(waits, 1);
        if (fault.kind == 2 && n > 0) {
          EXPECT_NE(message.find("ESQLiteError: database is locked by another process"), std::string::npos) << message;
        }
      }
    }
    EXPECT_GT(counts[0], 3);
  }
  BaseMng = nullptr;
}

int g_file_steps = 0;
int g_fail_at = 0;
TFileStep g_failed_step = TFileStep::kWrite;

TEST(DataFaults, FileWritersKeepTheOldFileOrWriteTheWholeNewOne) {
  TempDir dir;
  const std::string target = dir.Path("out.idf");
  const std::string db_path = dir.Path("t.db");
  MakeDatabase(db_path);
  TSqliteApplicationManager manager(db_path);
  manager.Db().Exec("DELETE FROM T");
  BaseMng = &manager;
  TIDFDataFile rows;
  FillNewRows(rows);
  ASSERT_TRUE(rows.SaveToTable());
  using TOperation = bool (*)(TIDFDataFile&);
  const std::pair<const char*, TOperation> operations[] = {
      {"SaveToFile", [](TIDFDataFile& data) { return FillNewRows(data), data.SaveToFile(); }},
      {"FromTableToFile", [](TIDFDataFile& data) { return data.TableName = "T", data.FromTableToFile(); }}};
  Settings().SetFileFaultHook([](TFileStep step, const std::string& path) {
    if (++g_file_steps != g_fail_at) return;
    g_failed_step = step;
    throw EInOutError("Cannot write file '" + path + "': No space left on device");
  });
  for (const auto& [name, operation] : operations) {
    g_fail_at = 0;
    testing::WriteDataFile(target, "IDF-DS\r\n\r\nTableName=OLD\r\nA\r\nBOOLEAN\r\n\x01");
    const std::string old_bytes = TempDir::Read(target);
    TIDFDataFile counting;  // a clean run counts the writes, the syncs and the replace
    counting.FileName = dir.Path("count.idf");
    g_file_steps = g_fail_at = 0;
    ASSERT_TRUE(operation(counting));
    const int steps = g_file_steps;
    for (int n = 1; n <= steps + 1; ++n) {  // the last run fails nothing
      SCOPED_TRACE(std::string(name) + ", failing file step " + std::to_string(n));
      g_file_steps = 0;
      g_fail_at = n;
      TIDFDataFile data;
      data.FileName = target;
      const bool done = operation(data);
      EXPECT_EQ(done, n > steps) << data.ErrorMessage;
      if (!done && g_failed_step != TFileStep::kSyncFolder) {
        EXPECT_EQ(TempDir::Read(target), old_bytes);
      } else if (!done) {  // the folder sync follows the replace: the whole new file stands
        TIDFDataFile replaced;
        replaced.FileName = target;
        EXPECT_TRUE(replaced.LoadFromFile() && replaced.GetRecordCount() == kNew);
      }
      EXPECT_FALSE(testing::TemporaryLeft(dir.Root()));
    }
    TIDFDataFile check;
    check.FileName = target;
    EXPECT_TRUE(check.LoadFromFile() && check.GetRecordCount() == kNew);
  }
  Settings().SetFileFaultHook(nullptr);
  BaseMng = nullptr;
}

// Each crafted image is refused with a message (`error`), or loads what
// precedes the damage and says where the parse stopped (`problem`; empty:
// parsed to its end).
TEST(DataFaults, CraftedFilesAreRefusedOrReported) {
  const std::string head = "IDF-DS\r\n\r\nTableName=T\r\nN,S\r\nINTEGER,STRING\r\n";  // 44 bytes
  const std::string one = std::string("\x01\0\0\0\x02\0\0\0ab", 10);
  const auto list = [](int count, const std::string& each, bool numbered) {
    std::string text;
    for (int i = 0; i < count; ++i) text += (i > 0 ? "," : "") + each + (numbered ? std::to_string(i) : "");
    return text;
  };
  struct TCase {
    std::string plain;
    bool loads;
    int records;
    std::string error, problem;
    uint64_t memory = TIDFDataFile::kDefaultRecordMemoryLimit;
  };
  const TCase cases[] = {
      {head + one + one, true, 2, "", ""},
      // A negative text length is the empty text; 10 MiB is the longest text.
      {head + std::string("\x07\0\0\0\xfb\xff\xff\xff", 8) + one, true, 2, "", ""},
      // NOLINTNEXTLINE(bugprone-string-constructor): the longest text is meant
      {head + std::string("\x02\0\0\0\0\0\xa0\0", 8) + std::string(10485760, 'q'), true, 1, "", ""},
      {head + one + std::string("\x02\0\0\0\xff\xff\xff\x7f", 8), true, 1, "",
       "record 2 at byte 54: a text length of 2147483647 is over the limit of 10485760 bytes"},
      {head + std::string("\x02\0\0\0\x01\0\xa0\0", 8), true, 0, "",
       "record 1 at byte 44: a text length of 10485761 is over the limit of 10485760 bytes"},
      {head + one + std::string("\x02\0", 2), true, 1, "", "record 2 at byte 54: the data end inside the record"},
      {"IDF-DS\r\n\r\nTableName=T\r\nN,S\r\nINTEGER\r\n" + one, true, 1, "",
       "the header names 2 field(s) but 1 type(s)"},
      {"IDF-DS\r\n\r\nTableName=T\r\n\r\n\r\nxyz", true, 0, "",
       "byte 27: the header names no fields, but records follow"},
      {"IDF-DS\r\n\r\nTableName=T\r\n" + list(32767, "F", true) + "\r\n" + list(32767, "BOOLEAN", false) + "\r\n" +
           std::string(32767, '\1'),
       true, 1, "", ""},
      {"IDF-DS\r\n\r\nTableName=T\r\n" + list(32768, "F", true) + "\r\n\r\n", false, 0,
       "EIDFDataFile: The header names more than 32767 fields", ""},
      {"IDF-DS\r\n\r\nTableName=T\r\nB\r\nBOOLEAN\r\n" + std::string(100000, '\1'), false, 1250,
       "EIDFDataFile: The records read exceed the memory limit of 100000 bytes at record 1251", "", 100000},
  };
  TempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.plain.substr(0, 60));
    TIDFDataFile data;
    data.FileName = dir.Path("crafted.idf");
    data.RecordMemoryLimit = c.memory;
    testing::WriteDataFile(data.FileName, c.plain);
    EXPECT_EQ(data.LoadFromFile(), c.loads) << data.ErrorMessage;
    EXPECT_EQ(data.GetRecordCount(), c.records);
    EXPECT_NE(data.ErrorMessage.find(c.error), std::string::npos) << data.ErrorMessage;
    EXPECT_EQ(data.LastRead.problem, c.problem);
    EXPECT_EQ(data.LastRead.complete, c.problem.empty());
  }
}

// Wide integers (a 64-bit key too), dates, times and NULLs exported from
// SQLite and imported into text columns: numbers in full, dates and times as
// ISO-8601 text, NULL as the empty value.  The values a file cannot carry:
// the engine contract's type table.
TEST(DataFaults, WideIntegersAndDatesComeBackAsText) {
  TempDir dir;
  TSqliteApplicationManager source(dir.Path("source.db"), true);
  source.Db().Exec(
      "CREATE TABLE ev (k INTEGER PRIMARY KEY, big BIGINT, d DATE, dt DATETIME, t TIME, note TEXT); "
      "INSERT INTO ev VALUES (5000000000, 1733400000001, '2024-01-15', '2024-01-15 10:30:00', '08:15:00', 'a'), "
      "(1, -9007199254740992, '1899-12-29', '2024-02-29 23:59:59.500', '23:59:59', NULL)");
  BaseMng = &source;
  TIDFDataFile out;
  out.TableName = "ev";
  out.FileName = dir.Path("ev.idf");
  ASSERT_TRUE(out.FromTableToFile()) << out.ErrorMessage;
  EXPECT_EQ(out.GetFieldTypesString(), "FLOAT,FLOAT,DATETIME,DATETIME,DATETIME,STRING");
  EXPECT_EQ(out.NullsWritten, 1);
  TSqliteApplicationManager target(dir.Path("target.db"), true);
  target.Db().Exec("CREATE TABLE txt (k TEXT, big TEXT, d TEXT, dt TEXT, t TEXT, n TEXT)");
  BaseMng = &target;
  TIDFDataFile in;
  in.FileName = out.FileName;
  ASSERT_TRUE(in.LoadFromFile() && (in.TableName = "txt", in.SaveToTable())) << in.ErrorMessage;
  std::string text;
  for (TSqliteStatement s = target.Db().Prepare("SELECT * FROM txt"); s.Step();) {
    for (int i = 0; i < s.ColumnCount(); ++i)
      text += (s.ColumnType(i) == SQLITE_TEXT ? "'" : "?") + s.ColumnText(i) + "|";
  }
  EXPECT_EQ(text,
            "'1|'-9007199254740992|'1899-12-29|'2024-02-29 23:59:59.500|"
            "'1899-12-30 23:59:59|'|'5000000000|'1733400000001|'2024-01-15|"
            "'2024-01-15 10:30:00|'1899-12-30 08:15:00|'a|");
  BaseMng = nullptr;
}

}  // namespace
}  // namespace instkit
