#include "host/platform/desktop_links.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/platform/file.h"

namespace instkit {
namespace {

namespace fs = std::filesystem;

class DesktopLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("instkit-links-" + std::to_string(seed()));
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(DesktopLinksTest, MenuAndDesktopEntriesComeAndGo) {
  TDesktopLinks links(LinkFoldersBelow(root_.string()), Utf8ToCp1251("Демо"), "/opt/demo dir");
  const std::string title = Utf8ToCp1251("Справка");
  const std::string menu = links.Create(title, false, Utf8ToCp1251("Руководство"));
  const std::string desktop = links.Create(title, true);

  EXPECT_EQ(fs::path(menu).parent_path(), root_ / "applications");
  EXPECT_EQ(fs::path(desktop).parent_path(), root_ / "Desktop");
  EXPECT_NE(fs::path(menu).filename(), fs::path(desktop).filename());
  EXPECT_EQ(ReadWholeFile(menu),
            "[Desktop Entry]\nVersion=1.0\nType=Link\nURL=file:///opt/demo%20dir\nName=Справка\n"
            "Comment=Руководство\nX-Instkit-Product=Демо\n");
  EXPECT_NE(fs::status(desktop).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(fs::status(menu).permissions() & fs::perms::owner_exec, fs::perms::none);

  EXPECT_TRUE(links.Remove(title, false));
  EXPECT_FALSE(links.Remove(title, false));
  EXPECT_FALSE(FileExists(menu));
  EXPECT_TRUE(FileExists(desktop));
  EXPECT_TRUE(links.Remove(title, true));
}

TEST_F(DesktopLinksTest, CommandsAndHostileTitles) {
  TDesktopLinks links(LinkFoldersBelow(root_.string()), "demo", "/opt/demo");
  EXPECT_EQ(links.EntryText("Editor|editor --new %f", ""),
            "[Desktop Entry]\nVersion=1.0\nType=Application\nExec=editor --new %f\nName=Editor\n"
            "X-Instkit-Product=demo\n");
  // A line break in a title cannot add keys to the entry.
  EXPECT_EQ(links.EntryText("a\nExec=evil\\", ""),
            "[Desktop Entry]\nVersion=1.0\nType=Link\nURL=file:///opt/demo\nName=a\\nExec=evil\\\\\n"
            "X-Instkit-Product=demo\n");
  // Titles that sanitise alike still get files of their own; path
  // separators never reach the file name.
  EXPECT_NE(links.EntryPath("a/b", false), links.EntryPath("a.b", false));
  EXPECT_EQ(fs::path(links.EntryPath("../../x", true)).parent_path(), root_ / "Desktop");

  TDesktopLinks nowhere(TLinkFolders{}, "demo", "/");
  EXPECT_THROW(nowhere.Create("x", false), EInOutError);
}

}  // namespace
}  // namespace instkit
