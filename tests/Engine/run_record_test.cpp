// What a run leaves in the registry: all or nothing under kill -9, the
// product's record kept while something of it is installed, and the locks
// that keep two runs apart.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "Dllload/subsystem_api.h"
#include "Engine/run_input.h"
#include "Engine/run_record.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "host/platform/process_lock.h"
#include "host/platform/registry.h"
#include "support/temp_dir.h"

namespace instkit::testing {
namespace {

TProductRecord Product() {
  TProductRecord record;
  record.product = "P";
  record.path = "/t";
  record.installed_at = "2024-01-15T10:30:00Z";
  record.description = "/d/setup.idf";
  record.version = "1";
  record.description_copy = "IDF-FPS-text\r\n\r\n";
  return record;
}

// Subsystems S0.. below the root; `done` marks them as a run left them.
void Mark(TSysTree& tree, uint8_t mode, const std::string& done) {
  int i = 0;
  WalkNodesBelow(&tree, [&](TSysNode* node) {
    node->Info->Checked = done[static_cast<size_t>(i++)] == '+';
    node->Info->IsInst = mode == INSTKIT_MODE_INSTALL ? node->Info->Checked : !node->Info->Checked;
    return true;
  });
}

TSysTree& Tree(int count) {
  static TSysTree tree;
  tree.ClearNodes();
  for (int i = 0; i < count; ++i) {
    auto node = std::make_unique<TSysNode>();
    node->Info->ShortName = "S" + std::to_string(i);
    tree.AddNode(std::move(node));
  }
  return tree;
}

size_t Installed(const std::string& store) {
  TRegistry registry(store);
  return registry.OpenKey(InstalledKeyFor("P"), false) ? registry.GetValueNames().size() : 0;
}

bool HasRecord(const std::string& store) {
  TRegistry registry(store);
  return registry.KeyExists(ProductRecordKeyFor("P"));
}

// A child installs and uninstalls 1,000 subsystems in a loop and is killed
// at random moments: each kill leaves all of them recorded, with the
// product's record, or none.
TEST(RunRecordTest, ARunsRecordIsAllOrNothingUnderKill9) {
  TempDir dir;
  const std::string store = dir.Path("reg.db");
  constexpr int kCount = 1000;
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TSysTree& tree = Tree(kCount);
      for (uint8_t mode = INSTKIT_MODE_INSTALL;; mode = INSTKIT_MODE_INSTALL + INSTKIT_MODE_UNINSTALL - mode) {
        Mark(tree, mode, std::string(kCount, '+'));
        TRegistry registry(store);
        TRecordReport report;
        RecordRun(registry, mode, Product(), tree, report);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const size_t installed = Installed(store);
    EXPECT_TRUE(installed == 0 || installed == kCount) << "round " << round << ": " << installed;
    EXPECT_EQ(HasRecord(store), installed == kCount) << "round " << round;
  }
}

TEST(RunRecordTest, TheProductsRecordStaysWhileSomethingIsInstalled) {
  TempDir dir;
  const std::string store = dir.Path("reg.db");
  TSysTree& tree = Tree(3);
  struct Step {
    uint8_t mode;
    const char* done;
    const char* written_or_removed;
    size_t installed;
    bool record;
  };
  const Step steps[] = {
      {INSTKIT_MODE_INSTALL, "+-+", "S0 S2", 2, true},
      {INSTKIT_MODE_INSTALL, "+++", "S1", 3, true},    // existing values stay as they are
      {INSTKIT_MODE_UNINSTALL, "+--", "S0", 2, true},  // what was not removed stays recorded
      {INSTKIT_MODE_UNINSTALL, "-++", "S1 S2", 0, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.done);
    Mark(tree, step.mode, step.done);
    TRegistry registry(store);
    TRecordReport report;
    RecordRun(registry, step.mode, Product(), tree, report);
    EXPECT_TRUE(report.recorded);
    std::string names;
    for (const std::string& name : step.mode == INSTKIT_MODE_INSTALL ? report.written : report.removed) {
      names += (names.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(names, step.written_or_removed);
    EXPECT_EQ(Installed(store), step.installed);
    EXPECT_EQ(HasRecord(store), step.record);
    EXPECT_EQ(ReadProducts(store).size(), step.record ? 1u : 0u);
  }
}

TEST(RunRecordTest, ALockFileIsHeldByOneAtATime) {
  TempDir dir;
  const std::string path = dir.Path("run.lock");
  std::string error;
  TProcessLock first, second;
  EXPECT_EQ(first.Acquire(path, false, error), TProcessLock::TResult::kLocked);
  EXPECT_EQ(second.Acquire(path, false, error), TProcessLock::TResult::kBusy);
  first.Release();
  EXPECT_EQ(second.Acquire(path, false, error), TProcessLock::TResult::kLocked);
  const std::string file = dir.Write("file", "");
  EXPECT_EQ(first.Acquire(file + "/run.lock", false, error), TProcessLock::TResult::kFailed);
  EXPECT_NE(error.find(file), std::string::npos) << error;
}

}  // namespace
}  // namespace instkit::testing
