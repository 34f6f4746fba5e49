// Library loading on Windows: name resolution with both separators and the
// ".dll" suffix, system search for bare names, failures that name the file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "host/base/settings.h"
#include "host/platform/dynamic_library.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using instkit::testing::TempDir;

TEST(WindowsLibraries, NamesResolveAgainstTheSearchFolders) {
  TempDir dir;
  const std::string found = dir.Write("found.dll", "not loaded here");
  const auto previous = Settings().LibrarySearchFolders();
  Settings().SetLibrarySearchFolders({dir.Path("nowhere"), dir.Root().string()});
  EXPECT_EQ(ResolveLibraryName("found.dll"), found);
  EXPECT_EQ(ResolveLibraryName("found"), found);                          // ".dll" is tried
  EXPECT_EQ(ResolveLibraryName("C:\\abs\\lib.dll"), "C:\\abs\\lib.dll");  // rooted: as given
  EXPECT_EQ(ResolveLibraryName("\\\\server\\share\\lib.dll"), "\\\\server\\share\\lib.dll");
  EXPECT_EQ(ResolveLibraryName("sub/lib"), "sub/lib");  // left to the system
  EXPECT_EQ(ResolveLibraryName("kernel32"), "kernel32");
  Settings().SetLibrarySearchFolders(previous);
}

TEST(WindowsLibraries, SystemLibrariesLoadByBareNameAndLookupIsCaseSensitive) {
  TLibraryHandle kernel = LoadDynamicLibrary("kernel32");
  ASSERT_NE(kernel, nullptr) << LastDynamicLibraryError();
  EXPECT_NE(FindLibrarySymbol(kernel, "GetProcAddress"), nullptr);
  EXPECT_EQ(FindLibrarySymbol(kernel, "getprocaddress"), nullptr);
  EXPECT_EQ(FindLibrarySymbol(kernel, nullptr), nullptr);
  EXPECT_TRUE(FreeDynamicLibrary(kernel));
  EXPECT_EQ(FindLibrarySymbol(nullptr, "GetProcAddress"), nullptr);
  EXPECT_TRUE(FreeDynamicLibrary(nullptr));
}

TEST(WindowsLibraries, FailuresNameTheFile) {
  TempDir dir;
  const std::string absent = dir.Path("absent.dll");
  EXPECT_EQ(LoadDynamicLibrary(absent), nullptr);
  EXPECT_EQ(LastDynamicLibraryError().rfind(absent + ": ", 0), 0u) << LastDynamicLibraryError();

  const std::string junk = dir.Write("junk.dll", "not a library");
  EXPECT_EQ(LoadDynamicLibrary(junk), nullptr);
  EXPECT_EQ(LastDynamicLibraryError().rfind(junk + ": ", 0), 0u) << LastDynamicLibraryError();
  EXPECT_GT(LastDynamicLibraryError().size(), junk.size() + 2);

  EXPECT_EQ(LoadDynamicLibrary(""), nullptr);
  EXPECT_FALSE(LastDynamicLibraryError().empty());
}

}  // namespace
}  // namespace instkit
