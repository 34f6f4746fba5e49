// The Windows side of the platform layer: paths, the process's argument
// count, message boxes.  Files: tests/host/file_test.cpp, on every system.
#include <gtest/gtest.h>

#include <string>

#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/platform/message_box.h"
#include "host/platform/process_args.h"

namespace instkit {
namespace {

TEST(WindowsPaths, DrivesUncAndBothSeparators) {
  struct Case {
    const char* path;
    bool absolute;
    const char* directory;
  };
  const Case cases[] = {
      {"C:\\setup\\a.idf", true, "C:\\setup"},
      {"C:/setup/a.idf", true, "C:/setup"},
      {"C:\\a.idf", true, "C:\\"},
      {"C:a.idf", false, "C:"},
      {"\\\\server\\share\\dir\\a.idf", true, "\\\\server\\share\\dir"},
      {"\\\\server\\share\\a.idf", true, "\\\\server\\share\\"},
      {"\\a.idf", false, "\\"},
      {"dir\\a.idf", false, "dir"},
      {"dir/sub\\a.idf", false, "dir/sub"},
      {"a.idf", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute);
    EXPECT_EQ(DirectoryOf(c.path), c.directory);
  }
}

TEST(WindowsProcess, ArgumentCountComesFromTheCommandLine) {
  // The test program runs with at least one --gtest_filter argument under
  // CTest; without arguments the count is 0.  Either way it is what the C
  // runtime saw.
  EXPECT_EQ(ProcessArgumentCount(), __argc - 1);
  Settings().SetArgumentCountOverride(5);
  EXPECT_EQ(ProcessArgumentCount(), 5);
  Settings().SetArgumentCountOverride(std::nullopt);
  EXPECT_EQ(ProcessArgumentCount(), __argc - 1);
}

TEST(WindowsMessageBoxes, SystemBoxesAreAvailableButNotTheDefault) {
  // The default handler answers without a window; the system boxes are only
  // installed when a host asks.  Install them and take them straight back
  // out without showing anything.
  EXPECT_EQ(MessageBox(0, "text", "caption", kStyleQuestion), kIdNo);
  const TMessageBoxHandler before = Settings().SetMessageBoxHandler(nullptr);
  EXPECT_TRUE(UseSystemMessageBoxes());
  const TMessageBoxHandler system = Settings().SetMessageBoxHandler(before);
  EXPECT_TRUE(static_cast<bool>(system));
}

}  // namespace
}  // namespace instkit
