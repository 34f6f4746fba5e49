// Abort, SuspendAll and ResumeAll from another thread while a library's
// Perform runs its work on a worker thread: run under ThreadSanitizer by
// `make tsan`.
#include <atomic>
#include <chrono>
#include <thread>

#include "driver_fixture.h"

namespace instkit::testing {
namespace {

bool WaitForLogLine(const std::string& line) {
  for (int i = 0; i < 10000; ++i) {
    {
      std::lock_guard<std::mutex> lock(Recorder().mutex);
      const Lines& log = Recorder().log;
      if (std::find(log.begin(), log.end(), line) != log.end()) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

class ThreadedAbortTest : public DriverTest {
 protected:
  // Calls the three broadcasts from a second thread once the worker runs.
  template <typename Loader>
  void AbortWhilePerforming(Loader& loader, uint8_t* outcome) {
    std::atomic<bool> seen{false};
    std::thread host([&] {
      seen = WaitForLogLine(" worker started");
      loader.SuspendAll();
      loader.ResumeAll();
      loader.Abort();
    });
    *outcome = loader.PerformAll();
    host.join();
    EXPECT_TRUE(seen.load());
  }

  void ExpectBroadcastsReachedW() {
    const Lines calls = Calls();
    for (const char* call : {"W UserSuspendThread", "W UserResumeThread", "W UserAbort", "X UserAbort",
                             "W Perform aborted by UserAbort"}) {
      EXPECT_EQ(std::count(calls.begin(), calls.end(), call), 1) << call;
    }
    const Lines& log = Recorder().log;
    for (const char* line : {" IN procedure SUSPENDALL", " before calling UserSuspendThread :W",
                             " OUT procedure SUSPENDALL", " IN procedure RESUMEALL", " OUT procedure RESUMEALL",
                             " IN procedure ABORT", " OUT procedure ABORT"}) {
      EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
    }
  }
};

TEST_F(ThreadedAbortTest, NodeTreeDriver) {
  TSysNode* w = Add(&tree_, "W", Library("w"), "worker=1");
  TSysNode* x = Add(&tree_, "X", Library("x"));
  TDllLoader loader;
  Configure(loader, 1);
  loader.SysTree = &tree_;
  ASSERT_TRUE(loader.LoadDLLs());
  ASSERT_EQ(loader.SetAll(), 1);
  loader.AskAll();
  uint8_t outcome = 0;
  AbortWhilePerforming(loader, &outcome);
  loader.UnLoadDLLs();
  EXPECT_EQ(outcome, 2);
  EXPECT_TRUE(w->Info->Checked);  // code 2 in install mode counts as done
  EXPECT_TRUE(x->Info->Checked);
  ExpectBroadcastsReachedW();
}

TEST_F(ThreadedAbortTest, FlatImageDriver) {
  Add(&root_, "W", Library("w"), "worker=1");
  Add(&root_, "X", Library("x"));
  image_ = ImageOf(root_);
  TDllsLoader loader;
  Configure(loader, 2);
  ASSERT_TRUE(loader.SetPointer(image_.data(), image_.size()));
  ASSERT_TRUE(loader.LoadDLLs());
  ASSERT_EQ(loader.SetAll(), 1);
  loader.AskAll();
  uint8_t outcome = 0;
  AbortWhilePerforming(loader, &outcome);
  loader.UnLoadDLLs();
  EXPECT_EQ(outcome, 2);
  EXPECT_EQ(CheckedByte(image_, 0), 0);  // code 2 in uninstall mode is not done
  EXPECT_EQ(CheckedByte(image_, 1), 1);
  ExpectBroadcastsReachedW();
}

}  // namespace
}  // namespace instkit::testing
