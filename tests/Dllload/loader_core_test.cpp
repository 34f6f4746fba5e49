// The loader core's own operations and the platform's library loading.
#include <filesystem>

#include "driver_fixture.h"
#include "host/dynamic_library.h"

namespace instkit::testing {
namespace {

class LoaderCoreTest : public DriverTest {};

TEST_F(LoaderCoreTest, HandleListAndRegim) {
  TDllLoader loader;
  TSysNode node;
  loader.AddHndl(nullptr, &node);
  loader.AddHndl(nullptr, &node);
  EXPECT_EQ(loader.GetCount(), 2);
  EXPECT_EQ(loader.GetItem(-1), nullptr);
  EXPECT_EQ(loader.GetItem(2), nullptr);
  loader.DeleteHndl(5);
  EXPECT_EQ(loader.GetCount(), 2);
  loader.DeleteHndl(0);
  EXPECT_EQ(loader.GetCount(), 1);
  loader.ClearHndls();
  EXPECT_EQ(loader.GetCount(), 0);

  EXPECT_EQ(loader.AbortQuestion, "");
  loader.SetRegim(3);
  EXPECT_EQ(loader.AbortQuestion, "");
  EXPECT_EQ(loader.Regim, 3);
  loader.SetRegim(2);
  EXPECT_EQ(loader.AbortQuestion, Utf8ToCp1251(" не была деинсталирована. Прервать деинсталляцию? "));
  loader.SetRegim(3);
  EXPECT_EQ(loader.AbortQuestion, Utf8ToCp1251(" не была деинсталирована. Прервать деинсталляцию? "));
  loader.SetRegim(1);
  EXPECT_EQ(loader.AbortQuestion, Utf8ToCp1251(" не была установлена. Прервать инсталляцию? "));
}

TEST_F(LoaderCoreTest, LoadWithoutTreeAndTwiceWithoutUnload) {
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_TRUE(loader.LoadDLLs());
  EXPECT_EQ(Recorder().log, Logged({"IN function LoadDlls", "OUT function LoadDlls"}));
  TSysNode* none = Add(&tree_, "N", "");
  none->Info->Checked = false;
  loader.SysTree = &tree_;
  EXPECT_TRUE(loader.LoadDLLs());
  EXPECT_TRUE(none->Info->Checked);
  EXPECT_TRUE(loader.LoadDLLs());
  EXPECT_EQ(loader.GetCount(), 2);  // appended, not replaced
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
  const auto previous = LibrarySearchFolders();
  SetLibrarySearchFolders({(temp_ / "nowhere").string(), temp_.string()});
  EXPECT_EQ(ResolveLibraryName("found.so"), copy);
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
  SetLibrarySearchFolders(previous);

  EXPECT_EQ(LoadDynamicLibrary((temp_ / "absent.so").string()), nullptr);
  EXPECT_NE(LastDynamicLibraryError().find("absent.so"), std::string::npos);
  // A file that is not a library: the reason is the loader's.
  std::ofstream((temp_ / "junk.so").string()) << "not a library";
  EXPECT_EQ(LoadDynamicLibrary((temp_ / "junk.so").string()), nullptr);
  EXPECT_FALSE(LastDynamicLibraryError().empty());
  EXPECT_TRUE(FreeDynamicLibrary(nullptr));
}

}  // namespace
}  // namespace instkit::testing
