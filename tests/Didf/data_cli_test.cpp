// instkit data export / import / show as an operator's machine fails: kill -9
// at random moments, Ctrl-C, two imports at once, hostile files.  Through
// the POSIX process calls, so these tests are built on POSIX systems only.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/db/sqlite_db.h"

namespace instkit {
namespace {

#ifdef INSTKIT_CLI_PATH

using testing::TempDir;

constexpr int kRows = 20000;

struct TRun {
  int status;
  std::string out;
};

// Runs the command line with `args` (a shell text); stderr joins stdout when
// `with_errors`.
TRun RunCli(const std::string& args, bool with_errors = false) {
  const std::string command = std::string(INSTKIT_CLI_PATH) + " " + args + (with_errors ? " 2>&1" : " 2>/dev/null");
  TRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Starts the command line without a shell, its output discarded.
pid_t Spawn(const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(INSTKIT_CLI_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::freopen("/dev/null", "w", stdout);
    ::freopen("/dev/null", "w", stderr);
    ::execv(INSTKIT_CLI_PATH, argv.data());
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

void MakeTable(const std::string& path, int rows) {
  TSqliteDb db(path);
  db.Exec("CREATE TABLE P (id INTEGER, name TEXT, score REAL, ok BOOLEAN)");
  db.Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(rows) +
          ") INSERT INTO P SELECT x, 'name ' || x, x * 0.5, x % 2 FROM c");
}

int64_t Count(const std::string& path, std::string* integrity = nullptr) {
  TSqliteDb db(path, false);
  if (integrity != nullptr) {
    TSqliteStatement check = db.Prepare("PRAGMA integrity_check");
    *integrity = check.Step() ? check.ColumnText(0) : "";
  }
  TSqliteStatement count = db.Prepare("SELECT count(*) FROM P");
  return count.Step() ? count.ColumnInt64(0) : -1;
}

// Records in a data file that loads whole; -1 otherwise.
int64_t CompleteRecords(const std::string& path) {
  TIDFDataFile data;
  data.FileName = path;
  return data.LoadFromFile() && data.LastRead.complete ? data.GetRecordCount() : -1;
}

bool HasTemporaries(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) return true;
  }
  return false;
}

class DataCli : public ::testing::Test {
 protected:
  TempDir dir;
  std::mt19937 random{15};
};

// A run killed at a random moment, 20 times per command: the data file is
// the old one or the whole new one, the database holds all of an import's
// rows or none and stays sound, and the next successful export clears the
// killed writers' temporaries.
TEST_F(DataCli, KillNineLosesNothing) {
  const std::string source = dir.Path("source.db");
  MakeTable(source, kRows);
  const std::string out = dir.Path("out.idf");
  const std::string target = dir.Path("target.db");
  const std::vector<std::string> export_args{"data", "export", "--db", source, "--table", "P", "-o", out};
  const std::vector<std::string> import_args{"data", "import", out, "--db", target};
  testing::WriteDataFile(out, std::string("IDF-DS\r\n\r\nTableName=P\r\nID\r\nINTEGER\r\n\x07\0\0\0", 36));
  const std::string old_bytes = TempDir::Read(out);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Spawn(export_args)), 0);
  const auto run_time = std::chrono::steady_clock::now() - started;
  const std::string new_bytes = TempDir::Read(out);
  ASSERT_EQ(CompleteRecords(out), kRows);
  ASSERT_EQ(Wait(Spawn(import_args)), 0);

  const auto kill_at_random = [&](const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args);
    std::this_thread::sleep_for(run_time * std::uniform_real_distribution<double>(0.0, 1.5)(random));
    ::kill(pid, SIGKILL);
    Wait(pid);
  };
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    dir.Write("out.idf", old_bytes);
    kill_at_random(export_args);
    const std::string now = TempDir::Read(out);
    EXPECT_TRUE(now == old_bytes || now == new_bytes);

    dir.Write("out.idf", new_bytes);
    kill_at_random(import_args);
    std::string integrity;
    EXPECT_EQ(Count(target, &integrity) % kRows, 0);
    EXPECT_EQ(integrity, "ok");
  }
  ASSERT_EQ(Wait(Spawn(export_args)), 0);
  EXPECT_FALSE(HasTemporaries(dir.Root()));
}

TEST_F(DataCli, CtrlCOnExportKeepsThePreviousFile) {
  const std::string source = dir.Path("source.db");
  MakeTable(source, 4 * kRows);
  const std::string old_bytes = std::string("IDF-DS\r\n\r\nTableName=P\r\nID\r\nINTEGER\r\n\x07\0\0\0", 36);
  const std::string out = dir.Path("out.idf");
  int cancelled = 0;
  for (int delay_ms = 40; delay_ms > 0 && cancelled == 0; delay_ms /= 2) {
    testing::WriteDataFile(out, old_bytes);
    const std::string before = TempDir::Read(out);
    const pid_t pid = Spawn({"data", "export", "--db", source, "--table", "P", "-o", out});
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    ::kill(pid, SIGINT);
    const int status = Wait(pid);
    if (status == 2) {
      ++cancelled;
      EXPECT_EQ(TempDir::Read(out), before);
    } else {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(CompleteRecords(out), 4 * kRows);
    }
  }
  EXPECT_EQ(cancelled, 1);
  EXPECT_FALSE(HasTemporaries(dir.Root()));
}

TEST_F(DataCli, ConcurrentImportsIntoANewDatabaseBothLand) {
  const std::string source = dir.Path("source.db");
  MakeTable(source, 1000);
  const std::string file = dir.Path("p.idf");
  ASSERT_EQ(RunCli("data export --db " + source + " --table P -o " + file).status, 0);
  for (int pair = 0; pair < 5; ++pair) {
    const std::string target = dir.Path("new" + std::to_string(pair) + ".db");
    const pid_t first = Spawn({"data", "import", file, "--db", target});
    const pid_t second = Spawn({"data", "import", file, "--db", target});
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    EXPECT_EQ(Count(target), 2000);
  }
}

// Files that do not parse to their end: show prints what it can and fails
// naming the record and byte; import adds nothing.
TEST_F(DataCli, DamagedFilesFailShowAndAddNoRows) {
  const std::string header = "IDF-DS\r\n\r\nTableName=P\r\nID,NAME\r\nINTEGER,STRING\r\n";
  const std::string one = std::string("\x01\0\0\0\x02\0\0\0ab", 10);
  const std::pair<std::string, std::string> files[] = {
      {header + one + std::string("\x02\0\0\0\xff\xff\xff\x7f", 8),
       "record 2 at byte 58: a text length of 2147483647 is over the limit of 10485760 bytes"},
      {header + one + std::string("\x02\0\0", 3), "record 2 at byte 58: the data end inside the record"},
      {"IDF-DS\r\n\r\nTableName=P\r\nID,NAME\r\nINTEGER\r\n" + one, "the header names 2 field(s) but 1 type(s)"}};
  for (const auto& [plain, problem] : files) {
    SCOPED_TRACE(problem);
    const std::string file = dir.Path("bad.idf");
    testing::WriteDataFile(file, plain);
    const TRun show = RunCli("data show " + file, true);
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.out.find("1\tab\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find(file + ": " + problem), std::string::npos) << show.out;
    const TRun json = RunCli("data show --json " + file);
    EXPECT_NE(json.out.find("\"complete\":false,\"error\":\"" + problem + "\"}"), std::string::npos) << json.out;
    const std::string target = dir.Path("bad.db");
    MakeTable(target, 3);
    EXPECT_EQ(RunCli("data import " + file + " --db " + target).status, 1);
    EXPECT_EQ(Count(target), 3);
    std::filesystem::remove(target);
  }
}

TEST_F(DataCli, ControlCharactersAreShownEscaped) {
  const std::string file = dir.Path("esc.idf");
  testing::WriteDataFile(file, "IDF-DS\r\n\r\nTableName=P\x1b]0;t\x07Q\r\nS\r\nSTRING\r\n" +
                                    std::string("\x0a\0\0\0", 4) + "\x1b[31mred\xc2\x9b");
  const TRun text = RunCli("data show " + file);
  EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
  EXPECT_NE(text.out.find("Table: P\\x1b]0;t\\x07Q\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\\x1b[31mred\\u009b\n"), std::string::npos) << text.out;
  EXPECT_NE(RunCli("data show --raw " + file).out.find("\x1b[31mred\xc2\x9b\n"), std::string::npos);
  EXPECT_NE(RunCli("data show --json " + file).out.find("\"\\u001b[31mred\\u009b\""), std::string::npos);
}

#endif  // INSTKIT_CLI_PATH

}  // namespace
}  // namespace instkit
