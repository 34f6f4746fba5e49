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

class ThreadedAbortTest : public DriverTest {};

// The host thread calls the three broadcasts once the worker runs; code 2 in
// install mode (node-tree run) counts as done, in uninstall mode (flat run) not.
TEST_F(ThreadedAbortTest, BroadcastsReachTheWorkerInBothDrivers) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(flat ? "flat" : "tree");
    Restart();
    Add(Top(flat), "W", Library("w"), "worker=1");
    Add(Top(flat), "X", Library("x"));
    TDllLoader tree_loader;
    TDllsLoader flat_loader;
    TCustomDLLLoader& loader = flat ? static_cast<TCustomDLLLoader&>(flat_loader) : tree_loader;
    Configure(loader, flat ? 2 : 1);
    image_ = ImageOf(root_);
    ASSERT_TRUE(!flat || flat_loader.SetPointer(image_.data(), image_.size()));
    tree_loader.SysTree = &tree_;
    ASSERT_TRUE(loader.LoadDLLs());
    ASSERT_EQ(loader.SetAll(), 1);
    loader.AskAll();
    std::atomic<bool> seen{false};
    std::thread host([&] {
      seen = WaitForLogLine(" worker started");
      loader.SuspendAll();
      loader.ResumeAll();
      loader.Abort();
    });
    EXPECT_EQ(loader.PerformAll(), 2);
    host.join();
    EXPECT_TRUE(seen.load());
    loader.UnLoadDLLs();
    EXPECT_EQ(Flags(flat), flat ? "W- X+" : "W+ X+");
    const Lines calls = Calls();
    for (const char* call : {"W UserSuspendThread", "W UserResumeThread", "W UserAbort", "X UserAbort",
                             "W Perform aborted by UserAbort"}) {
      EXPECT_EQ(std::count(calls.begin(), calls.end(), call), 1) << call;
    }
    const Lines& log = Recorder().log;
    for (const char* line :
         {" IN procedure SUSPENDALL", " before calling UserSuspendThread :W", " OUT procedure SUSPENDALL",
          " IN procedure RESUMEALL", " OUT procedure RESUMEALL", " IN procedure ABORT", " OUT procedure ABORT"}) {
      EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
    }
  }
}

}  // namespace
}  // namespace instkit::testing
