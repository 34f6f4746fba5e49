// instkit data export / import as an operator's machine fails: kill -9 and
// Ctrl-C at random moments, two imports at once; PostgreSQL databases.
// Damaged and hostile files: tests/data/cli/data.txt.  Through the POSIX
// process calls: built on POSIX systems only.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <libpq-fe.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/db/sqlite_db.h"
#include "support/pg_server.h"

namespace instkit {
namespace {

#ifdef INSTKIT_CLI_PATH

using testing::TempDir;

constexpr int kRows = 20000;

class DataCli : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string output = dir.Path("output.txt");

  // Starts the command line; its stdout and stderr go to `output`.
  pid_t Spawn(const std::vector<std::string>& args) const {
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::vector<char*> argv{const_cast<char*>(INSTKIT_CLI_PATH)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(out, 2);
      ::execv(INSTKIT_CLI_PATH, argv.data());
      ::_exit(127);
    }
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Run(const std::vector<std::string>& args) const { return Wait(Spawn(args)); }
  std::string Output() const { return TempDir::Read(output); }
};

void MakeTable(const std::string& path, int rows) {
  TSqliteDb(path).Exec(
      "CREATE TABLE P (id INTEGER, name TEXT, score REAL, ok BOOLEAN); WITH RECURSIVE c(x) AS "
      "(SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
      std::to_string(rows) + ") INSERT INTO P SELECT x, 'name ' || x, x * 0.5, x % 2 FROM c");
}

// 20 runs per command, each killed (or, for an export every other time,
// interrupted with Ctrl-C) at a random moment: the data file is the old one
// or the whole new one, the database holds all of each import's rows or none
// of them, and the next export clears the temporaries of killed writers.
TEST_F(DataCli, KillAndCtrlCLoseNothing) {
  const std::string source = dir.Path("source.db");
  MakeTable(source, kRows);
  const std::string file = dir.Path("p.idf");
  const std::string target = dir.Path("target.db");
  const std::vector<std::string> exporting{"data", "export", "--db", source, "--table", "P", "-o", file};
  const std::vector<std::string> importing{"data", "import", file, "--db", target};
  const std::string old_bytes = std::string("IDF-DS\r\n\r\nTableName=P\r\nID\r\nINTEGER\r\n\x07\0\0\0", 36);
  testing::WriteDataFile(file, old_bytes);
  const std::string old_file = TempDir::Read(file);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Run(exporting), 0);
  const auto run_time = std::chrono::steady_clock::now() - started;
  const std::string new_file = TempDir::Read(file);
  ASSERT_EQ(Run(importing), 0);
  std::mt19937 random(15);
  int cancelled = 0;
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const auto stop_at_random = [&](const std::vector<std::string>& args, int signal) {
      const pid_t pid = Spawn(args);
      std::this_thread::sleep_for(run_time * std::uniform_real_distribution<double>(0.0, 1.2)(random));
      ::kill(pid, signal);
      return Wait(pid);
    };
    dir.Write("p.idf", old_file);
    const int status = stop_at_random(exporting, run % 2 == 0 ? SIGKILL : SIGINT);
    // Done: the new file; cancelled: the old one; killed: either.
    cancelled += status == 2;
    const std::string now = TempDir::Read(file);
    EXPECT_TRUE(now == (status == 2 ? old_file : new_file) || (status < 0 && now == old_file)) << status;

    dir.Write("p.idf", new_file);
    stop_at_random(importing, SIGKILL);
    EXPECT_EQ(testing::SoundRows(target, "P") % kRows, 0);
  }
  ASSERT_EQ(Run(exporting), 0);
  const auto temporary_left = [&] { return testing::TemporaryLeft(dir.Root()); };
  EXPECT_FALSE(temporary_left());

  // On a loaded machine every random moment above may miss the transfer
  // (before the program watches for Ctrl-C, or after it is done): then
  // interrupt runs as soon as their temporary file shows the transfer going.
  for (int attempt = 0; cancelled == 0 && attempt < 30; ++attempt) {
    dir.Write("p.idf", old_file);
    const pid_t pid = Spawn(exporting);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!temporary_left() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ::kill(pid, SIGINT);
    const int status = Wait(pid);
    cancelled += status == 2;
    if (status == 2) {
      EXPECT_EQ(TempDir::Read(file), old_file);
    }
  }
  EXPECT_GT(cancelled, 0);
  EXPECT_FALSE(temporary_left());
  dir.Write("p.idf", new_file);

  // Two imports into one new database: the table is created once, both land.
  const std::vector<std::string> into_fresh{"data", "import", file, "--db", dir.Path("fresh.db")};
  const pid_t first = Spawn(into_fresh);
  EXPECT_EQ(Run(into_fresh), 0);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(testing::SoundRows(dir.Path("fresh.db"), "P"), 2 * kRows);
}

// A table moved between two PostgreSQL databases with the commands,
// unchanged (SQLite and the file: the engine contract); a password never
// appears in what they print.
TEST_F(DataCli, ServerDatabasesTakePartUnchanged) {
  INSTKIT_REQUIRE_PG_SERVER(server);
  testing::TPgScratchDatabase first(server), second(server);
  {
    TPgConnection setup(first.Conninfo(), "setup");
    setup.Exec("CREATE TABLE p (id INTEGER, name TEXT, score DOUBLE PRECISION, ok BOOLEAN)");
    setup.Exec("INSERT INTO p SELECT i, 'name ' || i, i * 0.5, i % 2 = 0 FROM generate_series(1, 500) i");
  }
  const std::string file = dir.Path("p.idf");
  ASSERT_EQ(Run({"data", "export", "--db", first.Address(), "--table", "p", "-o", file}), 0) << Output();
  ASSERT_EQ(Run({"data", "import", file, "--db", second.Address()}), 0) << Output();
  ASSERT_EQ(Run({"data", "import", file, "--db", second.Address(), "--schema", "public"}), 0) << Output();
  // The second database holds the rows twice, each time as the first holds them.
  const std::string rows = "SELECT count(*), string_agg(concat_ws('|', id, name, score, ok), ',' ORDER BY id) FROM ";
  TPgConnection one(first.Conninfo(), "one"), two(second.Conninfo(), "two");
  const TPgResult expected = one.Query(rows + "p");
  const TPgResult twice = two.Query(rows + "p");
  const TPgResult distinct = two.Query(rows + "(SELECT DISTINCT * FROM p) d");
  EXPECT_STREQ(PQgetvalue(twice.get(), 0, 0), "1000");
  EXPECT_STREQ(PQgetvalue(distinct.get(), 0, 0), "500");
  EXPECT_STREQ(PQgetvalue(distinct.get(), 0, 1), PQgetvalue(expected.get(), 0, 1));

  // Wrong passwords, in a URI and in a keyword string: refused, never shown.
  const std::string socket = server.substr(5, server.find(' ') - 5);
  for (const std::string& address : {"postgresql://instkit:Secret-Word-1@/postgres?host=" + socket,
                                     "pg:host=" + socket + " user=instkit dbname=postgres password='Secret Word 2'"}) {
    EXPECT_EQ(Run({"data", "export", "--db", address, "--table", "p", "-o", file}), 1);
    const std::string text = Output();
    EXPECT_EQ(text.find("Secret"), std::string::npos) << text;
    EXPECT_NE(text.find("password authentication failed"), std::string::npos) << text;
    EXPECT_NE(text.find("***"), std::string::npos) << text;
  }
}

#endif  // INSTKIT_CLI_PATH

}  // namespace
}  // namespace instkit
