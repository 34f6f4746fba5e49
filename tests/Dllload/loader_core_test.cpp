// The loader core's own operations and the platform's library loading.
#include <filesystem>

#include "driver_fixture.h"
#include "host/base/settings.h"
#include "host/platform/dynamic_library.h"
#include "host/base/exception.h"

namespace instkit::testing {
namespace {

class LoaderCoreTest : public DriverTest {};

TEST_F(LoaderCoreTest, LoadWithoutTreeAndSubsystemsWithoutLibrary) {
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_TRUE(loader.LoadDLLs());
  EXPECT_EQ(Recorder().log, Logged({"IN function LoadDlls", "OUT function LoadDlls"}));
  TSysNode* none = Add(&tree_, "N", "");
  none->Info->Checked = false;
  loader.SysTree = &tree_;
  EXPECT_TRUE(loader.LoadDLLs());
  EXPECT_TRUE(none->Info->Checked);  // done without being driven
  EXPECT_EQ(loader.GetCount(), 1);
  EXPECT_TRUE(loader.UnLoadDLLs());
  EXPECT_EQ(loader.GetCount(), 0);
}

TEST_F(LoaderCoreTest, GetFunctionAddressWithABadIndexLogsAFailureLine) {
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_FALSE(loader.GetFunctionAddress(0));
  EXPECT_EQ(Recorder().log, (Lines{" EListError:List index out of bounds (0)"}));
}

TEST_F(LoaderCoreTest, WithoutLogCallbackNothingIsLogged) {
  TDllLoader loader;
  loader.WriteLog("x");
  Add(&tree_, "A", Library("a"));
  loader.SysTree = &tree_;
  EXPECT_TRUE(loader.LoadDLLs());
  loader.UnLoadDLLs();
  EXPECT_TRUE(Recorder().log.empty());
}

TEST_F(LoaderCoreTest, LibraryNamesAreResolvedAgainstTheSearchFolders) {
  const std::string copy = Library("found");
  const auto previous = Settings().LibrarySearchFolders();
  Settings().SetLibrarySearchFolders({(temp_ / "nowhere").string(), temp_.string()});
  EXPECT_EQ(ResolveLibraryName(std::string("found") + INSTKIT_TEST_LIBRARY_SUFFIX), copy);
  EXPECT_EQ(ResolveLibraryName("found"), copy);  // the platform suffix is tried
  EXPECT_EQ(ResolveLibraryName("/abs/lib.so"), "/abs/lib.so");
  EXPECT_EQ(ResolveLibraryName("libc.so.6"), "libc.so.6");  // left to the system search
  TLibraryHandle handle = LoadDynamicLibrary("found");
  ASSERT_NE(handle, nullptr) << LastDynamicLibraryError();
  EXPECT_NE(FindLibrarySymbol(handle, "Perform"), nullptr);
  EXPECT_EQ(FindLibrarySymbol(handle, "perform"), nullptr);  // case-sensitive
  EXPECT_EQ(FindLibrarySymbol(handle, "SetUIGRegim"), nullptr);
  EXPECT_NE(FindLibrarySymbol(handle, "SetIUGRegim"), nullptr);
  EXPECT_TRUE(FreeDynamicLibrary(handle));
  Settings().SetLibrarySearchFolders(previous);

  EXPECT_EQ(LoadDynamicLibrary((temp_ / "absent.so").string()), nullptr);
  EXPECT_NE(LastDynamicLibraryError().find("absent.so"), std::string::npos);
  // A file that is not a library: the reason is the loader's.
  std::ofstream((temp_ / "junk.so").string()) << "not a library";
  EXPECT_EQ(LoadDynamicLibrary((temp_ / "junk.so").string()), nullptr);
  EXPECT_FALSE(LastDynamicLibraryError().empty());
  EXPECT_TRUE(FreeDynamicLibrary(nullptr));
}

// SuspendAll catches a library's failure, logs it and skips the rest of the
// loop; ResumeAll reaches every library; Abort, without a guard, passes the
// failure to the caller.
TEST_F(LoaderCoreTest, BroadcastFailures) {
  Add(&tree_, "A", Library("a"), "throw=UserSuspendThread");
  Add(&tree_, "B", Library("b"), "throw=UserAbort");
  TDllLoader loader;
  Prepare(loader, 1);  // the library learns its script in SetAll
  Recorder().log.clear();
  loader.SuspendAll();
  loader.ResumeAll();
  EXPECT_THROW(loader.Abort(), Exception);
  EXPECT_EQ(Recorder().log,
            Logged({"IN procedure SUSPENDALL", "before calling UserSuspendThread :A",
                    "ETestFailure : UserSuspendThread failed", "OUT procedure SUSPENDALL", "IN procedure RESUMEALL",
                    "before calling UserResumeThread :A", "before calling UserResumeThread :B",
                    "OUT procedure RESUMEALL", "IN procedure ABORT"}));
  loader.UnLoadDLLs();
}

}  // namespace
}  // namespace instkit::testing
