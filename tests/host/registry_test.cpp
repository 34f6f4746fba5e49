#include "host/platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "host/base/codepage.h"
#include "host/base/exception.h"

#if __has_include(<sys/wait.h>) && __has_include(<unistd.h>)
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#define INSTKIT_TEST_CAN_FORK 1
#endif

namespace instkit {
namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir_ = fs::temp_directory_path() / ("instkit-registry-" + std::to_string(seed()));
    fs::create_directories(dir_);
    path_ = (dir_ / "nested" / "registry.db").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string path_;
};

TEST_F(RegistryTest, KeysAreCreatedOnlyWhenAskedAndNamesIgnoreAsciiCase) {
  TRegistry registry(path_);  // creates the missing folder too
  EXPECT_FALSE(registry.OpenKey("Software\\instkit\\Demo", false));
  EXPECT_FALSE(registry.HasCurrentKey());
  EXPECT_FALSE(registry.OpenKey("\\\\", true));  // no names at all

  ASSERT_TRUE(registry.OpenKey("\\Software\\\\instkit\\Demo\\", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");
  EXPECT_TRUE(registry.KeyExists("software\\INSTKIT"));  // parents were created
  ASSERT_TRUE(registry.OpenKey("SOFTWARE\\instkit\\demo", false));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");  // the stored spelling

  const std::string name = Utf8ToCp1251("Ядро системы");
  EXPECT_FALSE(registry.ValueExists(name));
  registry.WriteString(name, "Installed");
  registry.WriteString("Docs", "x");
  EXPECT_TRUE(registry.ValueExists(name));
  EXPECT_TRUE(registry.ValueExists("DOCS"));
  registry.WriteString("docs", "Installed");  // overwrites, keeps its place
  EXPECT_EQ(registry.ReadString("Docs"), "Installed");
  EXPECT_EQ(registry.GetValueNames(), (std::vector<std::string>{name, "Docs"}));
  EXPECT_EQ(registry.ReadString("missing"), "");

  EXPECT_TRUE(registry.DeleteValue("DoCs"));
  EXPECT_FALSE(registry.DeleteValue("Docs"));
  EXPECT_EQ(registry.GetValueNames(), std::vector<std::string>{name});

  // Values belong to their key.
  ASSERT_TRUE(registry.OpenKey("Software\\instkit\\Other", true));
  EXPECT_FALSE(registry.ValueExists(name));
  ASSERT_TRUE(registry.OpenKey("Software\\instkit", false));
  EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"Demo", "Other"}));
}

TEST_F(RegistryTest, ValueOperationsWithoutAKeyRaise) {
  TRegistry registry(path_);
  EXPECT_THROW(registry.ValueExists("a"), Exception);
  EXPECT_THROW(registry.WriteString("a", "b"), Exception);
  EXPECT_THROW(registry.DeleteValue("a"), Exception);
  try {
    registry.WriteString("a", "b");
  } catch (const Exception& e) {
    EXPECT_EQ(e.ClassName(), "ERegistryException");
    EXPECT_NE(e.Message().find(path_), std::string::npos) << e.Message();
  }
}

TEST_F(RegistryTest, DeleteKeyTakesSubkeysAndValues) {
  TRegistry registry(path_);
  ASSERT_TRUE(registry.OpenKey("a\\b\\c", true));
  registry.WriteString("v", "1");
  ASSERT_TRUE(registry.OpenKey("ab", true));  // a sibling sharing a prefix
  registry.WriteString("w", "2");
  EXPECT_TRUE(registry.DeleteKey("A\\b"));
  EXPECT_FALSE(registry.DeleteKey("a\\b"));
  EXPECT_EQ(registry.GetAllKeyPaths(), (std::vector<std::string>{"a", "ab"}));
  ASSERT_TRUE(registry.OpenKey("a\\b\\c", true));
  EXPECT_FALSE(registry.ValueExists("v"));
  ASSERT_TRUE(registry.OpenKey("ab", false));
  EXPECT_EQ(registry.ReadString("w"), "2");
}

TEST_F(RegistryTest, WritesSurviveReopening) {
  {
    TRegistry registry(path_);
    ASSERT_TRUE(registry.OpenKey("k", true));
    registry.WriteString("a", "1");
    registry.WriteString("b", "2");
    registry.DeleteValue("a");
  }
  TRegistry again(path_);
  ASSERT_TRUE(again.OpenKey("k", false));
  EXPECT_EQ(again.GetValueNames(), std::vector<std::string>{"b"});
}

#ifdef INSTKIT_TEST_CAN_FORK
TEST_F(RegistryTest, WritesSurviveAKilledProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child writes and is killed without any cleanup.
    TRegistry registry(path_);
    registry.OpenKey("k", true);
    registry.WriteString("written", "Installed");
    raise(SIGKILL);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  TRegistry registry(path_);
  ASSERT_TRUE(registry.OpenKey("k", false));
  EXPECT_EQ(registry.ReadString("written"), "Installed");
}

TEST_F(RegistryTest, DefaultPathLiesInTheStateFolder) {
  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_STATE_HOME", dir_.c_str(), 1);
  EXPECT_EQ(TRegistry::DefaultPath(), (dir_ / "instkit" / "registry.db").string());
  setenv("XDG_STATE_HOME", "relative/ignored", 1);  // not absolute: $HOME/.local/state
  const std::string fallback = TRegistry::DefaultPath();
  if (!fallback.empty()) {
    EXPECT_NE(fallback.find("/.local/state/instkit/registry.db"), std::string::npos);
  }
  if (old) {
    setenv("XDG_STATE_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}
#endif  // INSTKIT_TEST_CAN_FORK

TEST(RegistryKeyTest, Normalise) {
  EXPECT_EQ(NormaliseRegistryKey(""), "");
  EXPECT_EQ(NormaliseRegistryKey("\\"), "");
  EXPECT_EQ(NormaliseRegistryKey("a"), "a");
  EXPECT_EQ(NormaliseRegistryKey("\\a\\\\b\\"), "a\\b");
}

}  // namespace
}  // namespace instkit
