// Archives, names, links and registration of the catalogue.
#include "Syslist/archives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Syslist/syslist.h"
#include "catalogue_test_support.h"
#include "host/platform/registry.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using instkit::testing::AddSys;
using Strings = std::vector<std::string>;

// "NAME: 1 2" per archive.
std::string Describe(const TArchiveList& list) {
  std::string out;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TArchive* archive = list.GetArcItem(i);
    out += "[" + archive->Name + "]:";
    for (int32_t j = 0; j < archive->Count(); ++j) out += " " + std::to_string(archive->GetSysItem(j)->SysIndex);
    out += ";";
  }
  return out;
}

TEST(ArchiveListTest, NamesMatchIgnoringAsciiCaseAndKeepTheFirstSpelling) {
  TSubsystemInfo a, b, c;
  a.SysIndex = 1;
  b.SysIndex = 2;
  c.SysIndex = 3;
  TArchiveList list;
  list.AddArc("DATA.ARJ", &a);
  list.AddArc("data.arj", &b);
  list.AddArc("Data.Arj", &c);
  list.AddArc("data.arj ", &a);  // a trailing blank is another name
  list.AddArc("Data.Arj", &a);   // the same record twice
  EXPECT_EQ(Describe(list), "[DATA.ARJ]: 1 2 3 1;[data.arj ]: 1;");
  EXPECT_EQ(list.GetArcItem(-1), nullptr);
  EXPECT_EQ(list.GetArcItem(2), nullptr);
  EXPECT_EQ(list.GetArcItem(0)->GetSysItem(4), nullptr);
  EXPECT_EQ(list.GetArcItem(0)->AddSys(&b), 4);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.Clear();
  list.AddArc("data.arj", &a);
  EXPECT_EQ(Describe(list), "[data.arj]: 1;");
}

class CatalogueQueryTest : public ::testing::Test {
 protected:
  // 1(2,3) 4, every record checked.
  void SetUp() override {
    s1 = AddSys(tree, 1);
    s2 = AddSys(*s1, 2);
    s3 = AddSys(*s1, 3);
    s4 = AddSys(tree, 4);
  }
  TSysTree tree;
  TSysNode *s1, *s2, *s3, *s4;
};

TEST_F(CatalogueQueryTest, ArchiveNamesOfUncheckedSubsystems) {
  struct Case {
    const char* archive;
    const char* expected;
  };
  // Every piece before a "," is trimmed, the last one is not; empty pieces
  // between commas count, a trailing "," adds nothing.
  const Case cases[] = {
      {"a.arj", "[a.arj]: 1;"},
      {"a.arj, b.arj", "[a.arj]: 1;[ b.arj]: 1;"},
      {" a.arj ,b.arj ", "[a.arj]: 1;[b.arj ]: 1;"},
      {"a.arj,,b.arj", "[a.arj]: 1;[]: 1;[b.arj]: 1;"},
      {"a.arj,", "[a.arj]: 1;"},
      {"", ""},
  };
  for (const Case& c : cases) {
    s1->Info->Archive = c.archive;
    s1->Info->Checked = false;
    TArchiveList list;
    s1->GetArhiveName(&list);  // children are checked: only 1 counts
    EXPECT_EQ(Describe(list), c.expected) << c.archive;
  }

  // Children are visited whatever the parent's flag; order is pre-order.
  s1->Info->Archive = "core.arj";
  s1->Info->Checked = true;
  s2->Info->Archive = "CORE.ARJ,docs.arj";
  s2->Info->Checked = false;
  s3->Info->Archive = "docs.arj";
  s3->Info->Checked = false;
  s4->Info->Archive = "core.arj";
  s4->Info->Checked = false;
  TArchiveList list;
  tree.GetArhiveName(&list);
  EXPECT_EQ(Describe(list), "[CORE.ARJ]: 2 4;[docs.arj]: 2 3;");
  EXPECT_THROW(tree.GetArhiveName(nullptr), Exception);
}

TEST_F(CatalogueQueryTest, NamesByFlag) {
  s2->Info->Checked = false;
  s4->Info->Checked = false;
  Strings short_names;
  tree.GetSystemName(short_names);
  EXPECT_EQ(short_names, (Strings{"S2", "S4"}));

  Strings checked, unchecked;
  tree.GetSaveName(checked, true);
  tree.GetSaveName(unchecked, false);
  EXPECT_EQ(checked, (Strings{"Sec1", "Sec3"}));
  EXPECT_EQ(unchecked, (Strings{"Sec2", "Sec4"}));
}

TEST_F(CatalogueQueryTest, LinksByKind) {
  struct Case {
    const char* links;
    bool desktop;
    Strings expected;
  };
  const Case cases[] = {
      {"x?menu*y?desktop", false, {"x"}},
      {"x?menu*y?desktop", true, {"y"}},
      {"a?menu*b?menu", false, {"a", "b"}},
      {"z", true, {""}},  // no marker: a desktop link cut by 8
      {"12345678z", true, {"1"}},
      {"?menu", false, {""}},
      {"abcd?MENU", true, {"a"}},  // the marker is case-sensitive
      {"", true, {}},
      {"a?menu**b?desktop", true, {"", "b"}},  // an empty item counts as desktop
  };
  for (const Case& c : cases) {
    s3->Info->Links = c.links;
    s3->Info->Checked = false;
    Strings list;
    tree.GetLinks(list, c.desktop);
    EXPECT_EQ(list, c.expected) << c.links << (c.desktop ? " desktop" : " menu");
  }
  s3->Info->Checked = true;
  Strings none;
  tree.GetLinks(none, true);
  EXPECT_TRUE(none.empty());
}

class RegisteringTest : public CatalogueQueryTest {
 protected:
  void SetUp() override {
    CatalogueQueryTest::SetUp();
    registry_ = std::make_unique<TRegistry>(dir_.Path("registry.db"));
    ASSERT_TRUE(registry_->OpenKey("Software\\instkit\\Test", true));
  }
  const testing::TempDir dir_;
  std::unique_ptr<TRegistry> registry_;  // closed before the folder goes
};

TEST_F(RegisteringTest, InstallWritesCheckedSubsystemsAndNeverOverwrites) {
  s1->Info->Checked = false;  // its child 2 stays checked
  s3->Info->Checked = false;
  registry_->WriteString("S4", "kept as it is");
  EXPECT_TRUE(tree.Registering(registry_.get(), 1));
  // The order of value names is the store's (the system registry's on
  // Windows); only the set matters here.
  Strings names = registry_->GetValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Strings{"S2", "S4"}));
  EXPECT_EQ(registry_->ReadString("S2"), "Installed");
  EXPECT_EQ(registry_->ReadString("S4"), "kept as it is");
}

TEST_F(RegisteringTest, UninstallRemovesEveryNotInstalledValue) {
  for (const char* name : {"S1", "S2", "S3"}) registry_->WriteString(name, "Installed");
  s1->Info->IsInst = true;
  s2->Info->Checked = false;  // checked or not does not matter
  EXPECT_TRUE(tree.Registering(registry_.get(), 2));
  EXPECT_EQ(registry_->GetValueNames(), Strings{"S1"});

  // Other modes do nothing; failures are swallowed and the answer is true.
  EXPECT_TRUE(tree.Registering(registry_.get(), 3));
  EXPECT_EQ(registry_->GetValueNames(), Strings{"S1"});
  EXPECT_TRUE(tree.Registering(nullptr, 1));
  registry_->CloseKey();
  EXPECT_TRUE(tree.Registering(registry_.get(), 1));
  EXPECT_THROW(s1->Registering(registry_.get(), 1), Exception);
}

}  // namespace
}  // namespace instkit
