// `instkit plan` and `instkit install` on a catalogue 100,000 levels deep
// (S1..Sn, each the parent of the next) and on one 100,000 wide: no
// recursion over the tree, no output that grows with depth squared.
#ifdef INSTKIT_CLI_BINARY
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "Engine/run_input.h"
#include "host/platform/registry.h"
#include "support/temp_dir.h"

namespace instkit::testing {
namespace {

constexpr int kSubsystems = 100000;

std::string Catalogue(bool deep) {
  std::string text = "IDF-FPS-text\r\n\r\n[SubSystems]\r\n";
  for (int i = 1; i <= kSubsystems; ++i) text += "S" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  for (int i = 1; i <= kSubsystems; ++i) {
    text += "[S" + std::to_string(i) + "]\r\nParent=" + std::to_string(deep ? i - 1 : 0) + "\r\nShort name=S" +
            std::to_string(i) + "\r\n";
  }
  return text;
}

int RunCli(const std::string& args, const std::string& out) {
  const int raw = std::system((std::string(INSTKIT_CLI_BINARY) + " " + args + " >" + out + " 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(DeepWideCliTest, PlanAndInstallADeepChainAndAWideRoot) {
  for (bool deep : {true, false}) {
    SCOPED_TRACE(deep ? "deep" : "wide");
    TempDir dir;
    const std::string file = dir.Write("setup.idf", Catalogue(deep));
    ASSERT_EQ(RunCli("plan " + file, dir.Path("plan.txt")), 0) << TempDir::Read(dir.Path("plan.txt"));
    const std::string plan = TempDir::Read(dir.Path("plan.txt"));
    const std::string last = std::string(deep ? "(level 100000) " : "") + "S100000  default\n";
    EXPECT_NE(plan.find(last), std::string::npos) << plan.substr(plan.size() - 300);
    const std::string store = dir.Path("reg.db");
    ASSERT_EQ(RunCli("install " + file + " --path " + dir.Path("t") + " --registry " + store + " -q", dir.Path("out.txt")), 0)
        << TempDir::Read(dir.Path("out.txt"));
    TRegistry registry(store);
    ASSERT_TRUE(registry.OpenKey(InstalledKeyFor("setup"), false));
    EXPECT_EQ(registry.GetValueNames().size(), static_cast<size_t>(kSubsystems));
  }
}

}  // namespace
}  // namespace instkit::testing
#endif
