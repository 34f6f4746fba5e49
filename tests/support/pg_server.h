// The throwaway PostgreSQL cluster of the test fixture (tests/support/
// pg_cluster.sh, started and removed by ctest), and scratch databases on it.
// Tests that need a server call RequirePgServer() and skip, saying why, when
// there is none (PostgreSQL not installed, or the test run outside ctest).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "host/db/pg_connection.h"

namespace instkit::testing {

inline std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The connection string of the cluster whose state folder is `state`, or
// nothing with the reason in `why`.
inline std::optional<std::string> PgClusterConninfo(const std::string& state, std::string& why) {
  const std::string conninfo = ReadFirstLine(state + "/conninfo");
  if (!conninfo.empty()) return conninfo;
  why = ReadFirstLine(state + "/unavailable");
  if (why.empty()) why = "no PostgreSQL test cluster at " + state + " (run the tests through ctest)";
  return std::nullopt;
}

#ifdef INSTKIT_PG_STATE
inline std::optional<std::string> PgServer(std::string& why) { return PgClusterConninfo(INSTKIT_PG_STATE, why); }
#endif

// Skips the current test when there is no server; `conninfo` receives it
// (a name the macro declares, so it cannot be parenthesized).
// NOLINTBEGIN(bugprone-macro-parentheses)
#define INSTKIT_REQUIRE_PG_SERVER(conninfo)                                       \
  std::string conninfo;                                                           \
  {                                                                               \
    std::string why_;                                                             \
    const std::optional<std::string> found_ = ::instkit::testing::PgServer(why_); \
    if (!found_) GTEST_SKIP() << "PostgreSQL tests skipped: " << why_;            \
    conninfo = *found_;                                                           \
  }
// NOLINTEND(bugprone-macro-parentheses)

// A new, empty database on a server, dropped (with its sessions) when the
// object goes.  Address() is what --db and TPgApplicationManager take.
class TPgScratchDatabase {
 public:
  explicit TPgScratchDatabase(const std::string& server) : server_(server) {
    static std::atomic<int> counter{0};
    name_ = "t" + std::to_string(std::random_device{}() % 100000000) + "_" + std::to_string(counter++);
    TPgConnection(server_, "test server").Exec("CREATE DATABASE " + name_);
  }
  ~TPgScratchDatabase() {
    try {
      TPgConnection(server_, "test server").Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (const Exception&) {
      // A server stopped by the test takes its databases with it.
    }
  }
  TPgScratchDatabase(const TPgScratchDatabase&) = delete;
  TPgScratchDatabase& operator=(const TPgScratchDatabase&) = delete;

  std::string Conninfo() const { return server_ + " dbname=" + name_; }
  std::string Address() const { return "pg:" + Conninfo(); }

 private:
  std::string server_;
  std::string name_;
};

}  // namespace instkit::testing
