// The Windows side of the platform layer: paths, files through handles,
// atomic replacement, the process's argument count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/base/exception.h"
#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/platform/message_box.h"
#include "host/platform/process_args.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using instkit::testing::TempDir;

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

TEST(WindowsFiles, ExistenceIsForFilesOnly) {
  TempDir dir;
  const std::string file = dir.Write("a.txt", "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir.Root().string()));  // a folder is no file
  EXPECT_FALSE(FileExists(dir.Path("missing.txt")));
  EXPECT_TRUE(DeleteFileAt(file));
  EXPECT_FALSE(DeleteFileAt(file));
}

TEST(WindowsFiles, ReadsBytesExactlyAcrossBufferRefills) {
  TempDir dir;
  std::string bytes(600 * 1024 + 7, '\0');  // more than two read buffers
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + (i >> 9));
  bytes[1000] = '\r';  // no text-mode translation of line ends or ^Z
  bytes[1001] = '\n';
  bytes[1002] = '\x1a';
  const std::string file = dir.Write("big.bin", bytes);

  TInputFile in(file);
  EXPECT_EQ(in.Size(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(in.ReadByte(), static_cast<unsigned char>(bytes[0]));
  in.UnreadByte();
  std::string head(10, '\0');
  ASSERT_EQ(in.Read(head.data(), head.size()), head.size());
  EXPECT_EQ(head, bytes.substr(0, 10));
  EXPECT_EQ(in.ReadAll(), bytes.substr(10));
  EXPECT_EQ(in.ReadByte(), -1);
  EXPECT_EQ(ReadWholeFile(file), bytes);
}

TEST(WindowsFiles, FailuresNameTheFileAndTheReason) {
  TempDir dir;
  const std::string missing = dir.Path("missing.idf");
  try {
    TInputFile in(missing);
    FAIL() << "opened a missing file";
  } catch (const EInOutError& e) {
    EXPECT_NE(e.Message().find("Cannot open file '" + missing + "': "), std::string::npos) << e.Message();
    EXPECT_GT(e.Message().size(), ("Cannot open file '" + missing + "': ").size());
  }
  EXPECT_THROW(WriteWholeFileAtomically(dir.Path("no-such-folder\\a.idf"), "x"), EInOutError);
}

TEST(WindowsFiles, AtomicWriteReplacesOnlyOnCommitAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string target = dir.Write("setup.idf", "old");
  {
    TAtomicFileWriter writer(target);
    writer.Write("new contents");
    EXPECT_EQ(TempDir::Read(target), "old");  // not yet committed
  }  // abandoned: the old file stays
  EXPECT_EQ(TempDir::Read(target), "old");

  WriteWholeFileAtomically(target, "new contents");
  EXPECT_EQ(TempDir::Read(target), "new contents");

  Settings().SetDurableWrites(false);
  WriteWholeFileAtomically(target, std::string(300 * 1024, 'z'));
  Settings().SetDurableWrites(true);
  EXPECT_EQ(TempDir::Read(target), std::string(300 * 1024, 'z'));

  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);  // no temporary file left behind
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
