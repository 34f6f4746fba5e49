// instkit check's findings on a description made to hold every kind of
// problem, and silence on a clean one; instkit catalogue / check / image as a
// user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "Syslist/catalogue_check.h"
#include "catalogue_test_support.h"
#include "host/file.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using Severity = TCatalogueFinding::TSeverity;

const std::string kDemo = std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf";
const std::string kProblems = std::string(INSTKIT_TEST_DATA_DIR) + "/catalogue/problems.idf";

bool Has(const std::vector<TCatalogueFinding>& findings, Severity severity, const std::string& section,
         const std::string& key, const std::string& fragment) {
  return std::any_of(findings.begin(), findings.end(), [&](const TCatalogueFinding& f) {
    return f.severity == severity && f.section == section && f.key == key &&
           f.message.find(fragment) != std::string::npos;
  });
}

TEST(CatalogueCheckTest, FindsEveryKindOfProblem) {
  TIDFTextFile file;
  ASSERT_TRUE(file.LoadFromFile(kProblems)) << file.LastError;
  const auto findings = CheckCatalogue(file);
  const struct {
    Severity severity;
    const char* section;
    const char* key;
    const char* fragment;
  } expected[] = {
      {Severity::Error, "SubSystems", "Twin", "number 1 is also used by 'Base'"},
      {Severity::Error, "SubSystems", "BadNumber", "'x' is not an integer"},
      {Severity::Warning, "SubSystems", "NoSection", "no section [NoSection]"},
      {Severity::Warning, "SubSystems", "wrongcase", "section [WrongCase] differs only in letter case"},
      {Severity::Warning, "Orphan", "Parent", "names 99"},
      {Severity::Error, "BadDepend", "Depend", "item '1 '"},
      {Severity::Warning, "Ghost", "Depend", "item 404 names no subsystem"},
      {Severity::Warning, "CycleA", "Depend", "dependency cycle: CycleA(9) -> CycleB(10) -> CycleA(9)"},
      {Severity::Warning, "Links", "MenuLin2", "not read as a link"},
      {Severity::Warning, "Links", "MenuLnk3", "not read as a link"},
      {Severity::Warning, "Links", "Desktop Link4", "not read as a link"},
      {Severity::Error, "BadParent", "Parent", "'one' is not an integer"},
      {Severity::Warning, "App", "", "section appears 2 times"},
  };
  for (const auto& e : expected) {
    EXPECT_TRUE(Has(findings, e.severity, e.section, e.key, e.fragment)) << e.section << " " << e.key << ": " << e.fragment;
  }
  EXPECT_FALSE(Has(findings, Severity::Warning, "Links", "MenuLink1", ""));
  EXPECT_FALSE(Has(findings, Severity::Warning, "App", "Parent", ""));  // reached through Base
  EXPECT_EQ(findings.size(), std::size(expected));
}

TEST(CatalogueCheckTest, DemoDescriptionIsClean) {
  TIDFTextFile file;
  ASSERT_TRUE(file.LoadFromFile(kDemo)) << file.LastError;
  const auto findings = CheckCatalogue(file);
  for (const auto& f : findings) ADD_FAILURE() << f.section << " " << f.key << ": " << f.message;
}

TEST(CatalogueCheckTest, MissingCatalogueIsAWarning) {
  TIDFTextFile file;
  const auto findings = CheckCatalogue(file);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].severity, Severity::Warning);
}

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
