// The example subsystem libraries under the node-tree driver: the files
// library installs, uninstalls exactly what it wrote and writes manifests;
// nested drives it for its children; one file serves several subsystems.
#ifdef INSTKIT_EXAMPLE_FILES
#include <filesystem>

#include "driver_fixture.h"
#include "host/base/settings.h"
#include "host/platform/dynamic_library.h"
#include "host/platform/file.h"

namespace instkit::testing {
namespace {

namespace fs = std::filesystem;

class ExampleLibrariesTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    previous_folders_ = Settings().LibrarySearchFolders();
    Settings().SetLibrarySearchFolders({temp_.string()});  // relative payloads are found here
    Write("payload/one/a.txt", "A");
    Write("payload/one/sub/b.txt", "BB");
    Write("payload/two/c.txt", "CCC");
    target_ = temp_ / "target";  // the run's Path
  }
  void TearDown() override {
    Settings().SetLibrarySearchFolders(previous_folders_);
    DriverTest::TearDown();
  }
  void Write(const std::string& relative, const std::string& content) {
    fs::create_directories((temp_ / relative).parent_path());
    WriteWholeFileAtomically((temp_ / relative).string(), content);
  }
  TSysNode* AddFiles(TCustomSysNode* parent, const std::string& name, const std::string& library,
                     const std::string& payload) {
    TSysNode* node = Add(parent, name, library);
    node->Info->Parameter = payload;
    return node;
  }
  std::string Run(uint8_t mode) { return DriverTest::Run(false, mode); }
  std::vector<std::string> TargetFiles() const {
    std::vector<std::string> files;
    if (!fs::exists(target_)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(target_))
      files.push_back(fs::relative(entry.path(), target_).generic_string());
    std::sort(files.begin(), files.end());
    return files;
  }
  std::vector<std::string> previous_folders_;
  fs::path target_;
};

TEST_F(ExampleLibrariesTest, InstallUninstallAndGenerateWithOneFileForTwoSubsystems) {
  const std::string files = Library("files", INSTKIT_EXAMPLE_FILES);
  AddFiles(&tree_, "One", files, "payload/one");
  AddFiles(&tree_, "Two", files, "payload/two");
  fs::create_directories(target_);
  WriteWholeFileAtomically((target_ / "mine.txt").string(), "not the installer's");

  EXPECT_EQ(Run(1), "1 1 1 1");
  EXPECT_EQ(Flags(false), "One+ Two+");
  EXPECT_EQ(TargetFiles(), (std::vector<std::string>{".instkit-one.files", ".instkit-two.files", "a.txt", "c.txt",
                                                     "mine.txt", "sub", "sub/b.txt"}));
  EXPECT_EQ(ReadWholeFile((target_ / "sub/b.txt").string()), "BB");

  // A file the user changed after the install survives a reinstall (the new
  // version goes beside it) and an uninstall.
  WriteWholeFileAtomically((target_ / "a.txt").string(), "mine now");
  EXPECT_EQ(Run(1), "1 1 1 1");
  EXPECT_TRUE(tree_.GetNode(0)->Info->Checked);  // the reinstall itself went through
  EXPECT_EQ(ReadWholeFile((target_ / "a.txt.instkit-new").string()), "A");

  EXPECT_EQ(Run(2), "1 1 1 1");
  EXPECT_EQ(TargetFiles(), (std::vector<std::string>{"a.txt", "mine.txt"}));  // exactly what it wrote is gone
  EXPECT_EQ(ReadWholeFile((target_ / "a.txt").string()), "mine now");

  EXPECT_EQ(Run(3), "1 1 1 1");
  EXPECT_EQ(ReadWholeFile((target_ / "one.manifest").string()), "a.txt 1\nsub/b.txt 2\n");
  EXPECT_EQ(ReadWholeFile((target_ / "two.manifest").string()), "c.txt 3\n");
}

TEST_F(ExampleLibrariesTest, UserAbortStopsBetweenFiles) {
  AddFiles(&tree_, "One", Library("files", INSTKIT_EXAMPLE_FILES), "payload/one");
  TDllLoader loader;
  Prepare(loader, 1);
  loader.AskAll();
  loader.Abort();  // before the first file
  EXPECT_EQ(loader.PerformAll(), 2);
  loader.UnLoadDLLs();
  EXPECT_EQ(TargetFiles(), (std::vector<std::string>{".instkit-one.files"}));
  EXPECT_EQ(ReadWholeFile((target_ / ".instkit-one.files").string()), "");
}

TEST_F(ExampleLibrariesTest, NestedInstallsItsChildrenAndReportsThem) {
  const std::string files = Library("files", INSTKIT_EXAMPLE_FILES);
  TSysNode* parent = Add(&tree_, "Parent", Library("nested", INSTKIT_EXAMPLE_NESTED));
  AddFiles(parent, "One", files, "payload/one");
  AddFiles(parent, "Gone", files, "payload/none");
  AddFiles(&tree_, "Two", files, "payload/two");  // the same file, after the nested run
  EXPECT_EQ(Run(1), "1 1 1 1");
  EXPECT_EQ(Flags(false), "Parent- One+ Gone- Two+");  // one child failed
  EXPECT_TRUE(fs::exists(target_ / "a.txt"));
  EXPECT_TRUE(fs::exists(target_ / "c.txt"));
}

}  // namespace
}  // namespace instkit::testing
#endif
