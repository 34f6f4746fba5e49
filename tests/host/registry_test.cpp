// The registry object's contract, run on the store of the build: a SQLite
// file on POSIX, the system registry on Windows (wine's, when run here).
// Where the two stores differ, the header says so and the test asks
// kFileStore.
#include "host/platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

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

#ifdef _WIN32
constexpr bool kFileStore = false;
#else
constexpr bool kFileStore = true;
#endif

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A store of the test's own: a file in a fresh folder, or a fresh key below
// HKEY_CURRENT_USER\Software\instkit-tests.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    const std::string name = "run-" + std::to_string(seed());
    if (kFileStore) {
      dir_ = fs::temp_directory_path() / ("instkit-registry-" + name);
      store_ = (dir_ / "nested" / "registry.db").string();  // the folder is created too
    } else {
      key_ = name;
      store_ = "Software\\instkit-tests\\" + name;
    }
  }
  void TearDown() override {
    if (kFileStore) {
      fs::remove_all(dir_);
    } else {
      TRegistry("Software\\instkit-tests").DeleteKey(key_);
    }
  }

  fs::path dir_;
  std::string key_;
  std::string store_;
};

TEST_F(RegistryTest, KeysAreCreatedOnlyWhenAskedAndKeepTheirSpelling) {
  TRegistry registry(store_);
  EXPECT_FALSE(registry.OpenKey("Software\\instkit\\Demo", false));
  EXPECT_FALSE(registry.HasCurrentKey());
  EXPECT_FALSE(registry.OpenKey("\\\\", true));  // no names at all

  ASSERT_TRUE(registry.OpenKey("\\Software\\\\instkit\\Demo\\", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");
  EXPECT_TRUE(registry.KeyExists("software\\INSTKIT"));  // parents were created
  ASSERT_TRUE(registry.OpenKey("SOFTWARE\\instkit\\demo", false));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");  // the stored spelling
}

TEST_F(RegistryTest, ValuesRoundTripBelongToTheirKeyAndPersist) {
  const std::string name = Utf8ToCp1251("Ядро системы");
  const std::string data = Utf8ToCp1251("Установлена: C:\\Программы");
  {
    TRegistry registry(store_);
    ASSERT_TRUE(registry.OpenKey("Installed", true));
    EXPECT_FALSE(registry.ValueExists(name));
    EXPECT_EQ(registry.ReadString(name), "");
    registry.WriteString(name, data);
    registry.WriteString("Docs", "x");
    registry.WriteString("Empty", "");
    registry.WriteString("DOCS", "Installed");  // the same value, overwritten in its place
    if (kFileStore) {
      EXPECT_EQ(registry.GetValueNames(), (std::vector<std::string>{name, "Docs", "Empty"}));
    }
    ASSERT_TRUE(registry.OpenKey("Other", true));
    EXPECT_FALSE(registry.ValueExists(name));
  }
  TRegistry registry(kFileStore ? store_ : "HKEY_CURRENT_USER\\" + store_);
  ASSERT_TRUE(registry.OpenKey("installed", false));
  EXPECT_EQ(registry.ReadString(name), data);
  EXPECT_EQ(registry.ReadString("docs"), "Installed");
  EXPECT_TRUE(registry.ValueExists("Empty"));
  EXPECT_EQ(registry.ReadString("Empty"), "");
  EXPECT_EQ(Sorted(registry.GetValueNames()), Sorted({name, "Docs", "Empty"}));

  EXPECT_TRUE(registry.DeleteValue("DoCs"));
  EXPECT_FALSE(registry.DeleteValue("Docs"));
  EXPECT_FALSE(registry.ValueExists("Docs"));
  EXPECT_EQ(Sorted(registry.GetValueNames()), Sorted({name, "Empty"}));
}

TEST_F(RegistryTest, ValueOperationsNeedAnOpenKey) {
  TRegistry registry(store_);
  try {
    registry.WriteString("Core", "Installed");
    FAIL() << "wrote without a key";
  } catch (const Exception& e) {
    EXPECT_EQ(e.ClassName(), "ERegistryException");
    EXPECT_NE(e.Message().find("'Core'"), std::string::npos) << e.Message();
    if (kFileStore) {
      EXPECT_NE(e.Message().find(store_), std::string::npos) << e.Message();
    }
  }
  EXPECT_THROW(registry.ValueExists("Core"), Exception);
  EXPECT_THROW(registry.ReadString("Core"), Exception);
  EXPECT_THROW(registry.DeleteValue("Core"), Exception);
  EXPECT_THROW(registry.GetValueNames(), Exception);
  EXPECT_THROW(TRegistry(kFileStore ? "" : "\\"), Exception);  // no store named
}

TEST_F(RegistryTest, KeyListingAndSubtreeDeletion) {
  TRegistry registry(store_);
  // "B\y\z" goes under the "b" that exists, keeping its spelling.
  for (const char* key : {"b\\x", "B\\y\\z", "a", "bc", "c"}) ASSERT_TRUE(registry.OpenKey(key, true));
  ASSERT_TRUE(registry.OpenKey("bc", false));  // a sibling sharing a prefix keeps its value
  registry.WriteString("w", "2");
  registry.CloseKey();
  EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"a", "b", "bc", "c"}));
  EXPECT_EQ(registry.GetAllKeyPaths(), (std::vector<std::string>{"a", "b", "b\\x", "b\\y", "b\\y\\z", "bc", "c"}));

  ASSERT_TRUE(registry.OpenKey("b\\y\\z", false));
  registry.WriteString("v", "1");
  EXPECT_TRUE(registry.DeleteKey("B"));    // with everything below it
  EXPECT_FALSE(registry.HasCurrentKey());  // the open key went with it
  EXPECT_FALSE(registry.DeleteKey("b"));
  EXPECT_FALSE(registry.KeyExists("b\\y\\z"));
  EXPECT_EQ(registry.GetAllKeyPaths(), (std::vector<std::string>{"a", "bc", "c"}));
  ASSERT_TRUE(registry.OpenKey("b\\y\\z", true));  // made again: without the old value
  EXPECT_FALSE(registry.ValueExists("v"));
  ASSERT_TRUE(registry.OpenKey("bc", false));
  EXPECT_EQ(registry.ReadString("w"), "2");
}

#ifdef INSTKIT_TEST_CAN_FORK
TEST_F(RegistryTest, WritesSurviveAKilledProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child writes and is killed without any cleanup.
    TRegistry registry(store_);
    registry.OpenKey("k", true);
    registry.WriteString("written", "Installed");
    raise(SIGKILL);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  TRegistry registry(store_);
  ASSERT_TRUE(registry.OpenKey("k", false));
  EXPECT_EQ(registry.ReadString("written"), "Installed");
}

TEST_F(RegistryTest, DefaultPathLiesInTheStateFolder) {
  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_STATE_HOME", dir_.c_str(), 1);
  EXPECT_EQ(TRegistry::DefaultPath(), (dir_ / "instkit" / "registry.db").string());
  setenv("XDG_STATE_HOME", "/", 1);
  EXPECT_FALSE(TRegistry::DefaultPath().empty());   // the root is a state folder too
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

}  // namespace
}  // namespace instkit
