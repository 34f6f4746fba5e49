// The registry object on the system registry (wine's, when run here).  Each
// test works below a key of its own under HKEY_CURRENT_USER and removes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/platform/registry.h"

namespace instkit {
namespace {

constexpr const char* kTestRoot = "Software\\instkit-tests";

class RegistryWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    name_ = "run-" + std::to_string(seed());
    store_ = std::string(kTestRoot) + "\\" + name_;
  }
  void TearDown() override {
    TRegistry root(kTestRoot);
    root.DeleteKey(name_);
  }

  std::string name_;
  std::string store_;
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(RegistryWindowsTest, KeysAreCreatedOnlyWhenAskedAndKeepTheirSpelling) {
  TRegistry registry(store_);
  EXPECT_FALSE(registry.OpenKey("Software\\instkit\\Demo", false));
  EXPECT_FALSE(registry.HasCurrentKey());
  EXPECT_FALSE(registry.OpenKey("\\\\", true));

  ASSERT_TRUE(registry.OpenKey("\\Software\\\\instkit\\Demo\\", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");
  EXPECT_TRUE(registry.KeyExists("software\\INSTKIT"));
  ASSERT_TRUE(registry.OpenKey("SOFTWARE\\instkit\\demo", false));
  EXPECT_EQ(registry.CurrentPath(), "Software\\instkit\\Demo");  // as the registry spells it
}

TEST_F(RegistryWindowsTest, ValuesRoundTripAndPersistAcrossObjects) {
  const std::string name = Utf8ToCp1251("Ядро системы");
  const std::string data = Utf8ToCp1251("Установлена: C:\\Программы");
  {
    TRegistry registry(store_);
    ASSERT_TRUE(registry.OpenKey("Installed", true));
    EXPECT_FALSE(registry.ValueExists(name));
    EXPECT_EQ(registry.ReadString(name), "");
    registry.WriteString(name, data);
    registry.WriteString("Docs", "x");
    registry.WriteString("DOCS", "Installed");  // the same value, overwritten
    registry.WriteString("Empty", "");
  }
  // HKCU named explicitly is the same store.
  TRegistry registry("HKEY_CURRENT_USER\\" + store_);
  ASSERT_TRUE(registry.OpenKey("installed", false));
  EXPECT_EQ(registry.ReadString(name), data);
  EXPECT_EQ(registry.ReadString("docs"), "Installed");
  EXPECT_TRUE(registry.ValueExists("Empty"));
  EXPECT_EQ(registry.ReadString("Empty"), "");
  EXPECT_EQ(Sorted(registry.GetValueNames()), Sorted({name, "Docs", "Empty"}));

  EXPECT_TRUE(registry.DeleteValue("DOCS"));
  EXPECT_FALSE(registry.DeleteValue("Docs"));
  EXPECT_FALSE(registry.ValueExists("Docs"));
  EXPECT_EQ(Sorted(registry.GetValueNames()), Sorted({name, "Empty"}));
}

TEST_F(RegistryWindowsTest, ValueOperationsNeedAnOpenKey) {
  TRegistry registry(store_);
  try {
    registry.WriteString("Core", "Installed");
    FAIL() << "wrote without a key";
  } catch (const Exception& e) {
    EXPECT_EQ(e.ClassName(), "ERegistryException");
    EXPECT_NE(e.Message().find("'Core'"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(registry.ReadString("Core"), Exception);
  EXPECT_THROW(registry.DeleteValue("Core"), Exception);
  EXPECT_THROW(registry.GetValueNames(), Exception);
  EXPECT_THROW(TRegistry("\\"), Exception);
}

TEST_F(RegistryWindowsTest, KeyListingAndSubtreeDeletion) {
  TRegistry registry(store_);
  for (const char* key : {"b\\x", "B\\y\\z", "a", "c"}) ASSERT_TRUE(registry.OpenKey(key, true));
  registry.CloseKey();
  EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(registry.GetAllKeyPaths(), (std::vector<std::string>{"a", "b", "b\\x", "b\\y", "b\\y\\z", "c"}));

  ASSERT_TRUE(registry.OpenKey("b\\y\\z", false));
  registry.WriteString("v", "1");
  EXPECT_TRUE(registry.DeleteKey("B"));  // with everything below it
  EXPECT_FALSE(registry.HasCurrentKey());  // the open key went with it
  EXPECT_FALSE(registry.DeleteKey("b"));
  EXPECT_FALSE(registry.KeyExists("b\\y\\z"));
  EXPECT_EQ(registry.GetAllKeyPaths(), (std::vector<std::string>{"a", "c"}));
}

}  // namespace
}  // namespace instkit
