// instkit catalogue / check / image as a user runs them (through the POSIX
// shell, so these tests are built on POSIX systems only).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "host/platform/file.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

const std::string kDemo = std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf";
const std::string kProblems = std::string(INSTKIT_TEST_DATA_DIR) + "/catalogue/problems.idf";

#ifdef INSTKIT_CLI_PATH

struct TRun {
  int status;
  std::string out;
};

TRun RunCli(const std::string& args) {
  const std::string command = std::string(INSTKIT_CLI_PATH) + " " + args + " 2>/dev/null";
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

TEST(CatalogueCliTest, CheckExitStatusFollowsTheWorstFinding) {
  EXPECT_EQ(RunCli("check " + kDemo).status, 0);
  const TRun problems = RunCli("check " + kProblems);
  EXPECT_EQ(problems.status, 2);
  EXPECT_NE(problems.out.find("error: [SubSystems] Twin:"), std::string::npos);
  EXPECT_NE(problems.out.find("warning: [Orphan] Parent:"), std::string::npos);
}

TEST(CatalogueCliTest, CatalogueJsonAndDot) {
  const TRun json = RunCli("catalogue --json " + kDemo);
  ASSERT_EQ(json.status, 0);
  EXPECT_EQ(json.out.rfind("{\"subsystems\":[{\"SysIndex\":1,", 0), 0u) << json.out.substr(0, 80);
  EXPECT_NE(json.out.find("\"ShortName\":\"Бухгалтерия\""), std::string::npos);  // UTF-8 on output
  const TRun dot = RunCli("catalogue --dot " + kDemo);
  ASSERT_EQ(dot.status, 0);
  EXPECT_NE(dot.out.find("style=dashed"), std::string::npos);
  // A catalogue the reader rejects (duplicate numbers) fails the command.
  EXPECT_EQ(RunCli("catalogue " + kProblems).status, 1);
}

TEST(CatalogueCliTest, ImageWritesTheSubsystemRecord) {
  const testing::TempDir dir;
  ASSERT_EQ(RunCli("image " + kDemo + " 10 -o " + dir.Path("image.bin")).status, 0);
  const std::string bytes = ReadWholeFile(dir.Path("image.bin"));
  ASSERT_GE(bytes.size(), 26u);
  // RestSize is the record size minus 4, and Accounting has three subsystems below it.
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8), bytes.size() - 4);
  EXPECT_EQ(RunCli("image " + kDemo + " 999").status, 1);
  EXPECT_NE(RunCli("image " + kDemo + " 1").out.find("00000000 "), std::string::npos);
}

#endif  // INSTKIT_CLI_PATH

}  // namespace
}  // namespace instkit
