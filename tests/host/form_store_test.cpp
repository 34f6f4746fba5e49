// The SQLite form store behind TDSPFormManager: keys, replacement, and the
// answers without a store.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host/base/settings.h"
#include "host/forms/dsp_node.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/forms/form_manager.h"
#include "host/forms/form_store.h"
#include "host/db/sqlite_db.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

class FormStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<TDSPFormManager> Manager(const TFormKey& key = {}) {
    auto manager = std::make_unique<TDSPFormManager>();
    manager->DatabasePath = db_;
    manager->FormIndex = key.FormIndex;
    manager->FormName = key.FormName;
    manager->FormGroup = key.FormGroup;
    manager->FormOwner = key.FormOwner;
    return manager;
  }

  testing::TempDir dir_;
  std::string db_ = dir_.Path("forms.db");
};

TEST_F(FormStoreTest, StoredFormFetchesBackUnderItsKeyOnly) {
  const std::string name = "\xD4\xEE\xF0\xEC\xE0";  // cp1251
  auto writer = Manager({3, name, "app", "user"});
  writer->CreateSection("A")->SetAsString("x");
  writer->CreateSection("B.C")->SetAsInteger(5);
  ASSERT_TRUE(writer->Store());

  auto reader = Manager({3, name, "app", "user"});
  reader->CreateSection("stale");  // replaced by the fetched tree
  ASSERT_TRUE(reader->Fetch());
  EXPECT_TRUE(SameBranch(*reader->Root(), *writer->Root()));

  // Each of the four settings is part of the key.
  const TFormKey others[] = {{4, name, "app", "user"},
                             {3, "\xF4\xEE\xF0\xEC\xE0", "app", "user"},
                             {3, name, "App", "user"},
                             {3, name, "app", ""}};
  for (const TFormKey& key : others) {
    EXPECT_FALSE(Manager(key)->Fetch()) << key.FormIndex << " " << key.FormGroup << "/" << key.FormOwner;
  }
}

TEST_F(FormStoreTest, StoreReplacesTheForm) {
  auto first = Manager(), second = Manager(), reader = Manager();
  first->CreateSection("old")->SetAsInteger(1);
  ASSERT_TRUE(first->Store());
  second->CreateSection("new")->SetAsInteger(2);
  ASSERT_TRUE(second->Store());
  ASSERT_TRUE(reader->Fetch());
  EXPECT_TRUE(SameBranch(*reader->Root(), *second->Root()));
  EXPECT_EQ(TFormStore(db_, false).List().size(), 1u);
}

TEST_F(FormStoreTest, WithoutAStoreFetchAndStoreAnswerFalse) {
  Settings().SetDefaultFormDatabase("");
  TDSPFormManager none;
  EXPECT_TRUE(none.DatabasePath.empty());
  EXPECT_FALSE(none.Fetch());
  EXPECT_FALSE(none.Store());

  TDSPFormManager missing;
  missing.DatabasePath = dir_.Path("missing.db");
  EXPECT_FALSE(missing.Fetch());
  EXPECT_FALSE(FileExists(missing.DatabasePath));  // fetch creates nothing

  Settings().SetDefaultFormDatabase(db_);
  EXPECT_EQ(TDSPFormManager().DatabasePath, db_);
  Settings().SetDefaultFormDatabase("");
}

TEST_F(FormStoreTest, ForeignFilesAndBadTreesRaise) {
  WriteWholeFileAtomically(db_, "this is not a database at all, just text");
  auto manager = Manager({1, "f", "", ""});
  EXPECT_THROW(manager->Fetch(), Exception);
  EXPECT_THROW(manager->Store(), Exception);

  // A database without the forms table is not a form store for reading.
  std::filesystem::remove(db_);
  TSqliteDb(db_, true).Exec("CREATE TABLE other (x)");
  EXPECT_THROW(manager->Fetch(), EFormStoreError);

  // A row whose tree is not a branch stream.
  TFormStore(db_, true).Write({1, "f", "", ""}, "DSPB garbage");
  EXPECT_THROW(manager->Fetch(), Exception);
}

TEST_F(FormStoreTest, ListAndRemove) {
  TFormStore store(db_, true);
  store.Write({2, "b", "", ""}, "t2");
  store.Write({1, "z", "g", "o"}, "t1");
  store.Write({2, "a", "", ""}, "t3");
  const auto entries = store.List();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Key.FormName, "z");
  EXPECT_EQ(entries[0].Key.FormGroup, "g");
  EXPECT_EQ(entries[0].Key.FormOwner, "o");
  EXPECT_EQ(entries[1].Key.FormName, "a");
  EXPECT_EQ(entries[2].TreeBytes, 2);
  EXPECT_TRUE(store.Remove({2, "a", "", ""}));
  EXPECT_FALSE(store.Remove({2, "a", "", ""}));
  std::string tree;
  EXPECT_FALSE(store.Read({2, "a", "", ""}, &tree));
  ASSERT_TRUE(store.Read({2, "b", "", ""}, &tree));
  EXPECT_EQ(tree, "t2");
}

}  // namespace
}  // namespace instkit
