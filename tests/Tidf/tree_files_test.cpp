// Tree files: a stored form's tree saved to and loaded from a file, and a
// form carried through a tree file and an IDF tree section.  The forms live
// in SQLite, so these tests are built where SQLite is.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "Tidf/idf_text_file.h"
#include "Tidf/tree_file_format.h"
#include "host/base/settings.h"
#include "host/forms/dsp_node.h"
#include "host/platform/file.h"
#include "host/forms/form_manager.h"
#include "host/forms/form_store.h"
#include "host/forms/form_util.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

class TreeFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().SetDefaultFormDatabase(db_); }
  void TearDown() override { Settings().SetDefaultFormDatabase(""); }

  // Stores a small form under (index, name, group, owner).
  void StoreForm(int32_t index, const std::string& name, const std::string& group = "", const std::string& owner = "") {
    TDSPFormManager manager;
    manager.FormIndex = index;
    manager.FormName = name;
    manager.FormGroup = group;
    manager.FormOwner = owner;
    manager.CreateSection("A")->SetAsString("x");
    manager.CreateSection("B.C")->SetAsInteger(5);
    manager.CreateSection("B.T")->SetAsDateTime(45000.25);
    ASSERT_TRUE(manager.Store());
  }
  std::unique_ptr<TDSPFormManager> Fetched(int32_t index, const std::string& name) {
    auto manager = std::make_unique<TDSPFormManager>();
    manager->FormIndex = index;
    manager->FormName = name;
    if (!manager->Fetch()) return nullptr;
    return manager;
  }
  std::string Path(const std::string& name) const { return dir_.Path(name); }

  testing::TempDir dir_;
  std::string db_ = dir_.Path("forms.db");
};

// The save replaces the whole of a longer existing file.  (Loading it back
// is checked by the round trip at the end.)
TEST_F(TreeFileTest, SaveWritesHeaderAndBranch) {
  StoreForm(1, "Main");
  TIDFTextFile file;
  const std::string tree = Path("main.tree");
  WriteWholeFileAtomically(tree, std::string(10000, 'o'));
  ASSERT_TRUE(file.SaveTree(1, "Main", tree)) << file.LastError;
  auto stored = Fetched(1, "Main");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(ReadWholeFile(tree), std::string("IDF-FPS-tree\r\n\r\n") + EncodeBranch(*stored->Root()));
}

TEST_F(TreeFileTest, TreeParamsAreTheLastTwoSettingsInTheManagersOrder) {
  StoreForm(1, "F", /*group=*/"second", /*owner=*/"first");
  TIDFTextFile file;
  file.TreeParam1 = "first";
  file.TreeParam2 = "second";
  ASSERT_TRUE(file.SaveTree(1, "F", Path("f.tree"))) << file.LastError;
  // Swapped, the key names no stored form.
  file.TreeParam1 = "second";
  file.TreeParam2 = "first";
  EXPECT_FALSE(file.SaveTree(1, "F", Path("g.tree")));
  // LoadTree stores under the same four settings.
  ASSERT_TRUE(file.LoadTree(3, "G", Path("f.tree")));
  std::string blob;
  EXPECT_TRUE(TFormStore(db_, false).Read({3, "G", "first", "second"}, &blob));
}

TEST_F(TreeFileTest, SaveFailures) {
  TIDFTextFile file;
  file.LastError = "previous";
  // No such form: false, LastError untouched, no file.
  EXPECT_FALSE(file.SaveTree(9, "Nothing", Path("none.tree")));
  EXPECT_EQ(file.LastError, "previous");
  EXPECT_FALSE(FileExists(Path("none.tree")));

  StoreForm(1, "Main");
  const std::string target = Path("missing/dir/x.tree");
  EXPECT_FALSE(file.SaveTree(1, "Main", target));
  EXPECT_EQ(file.LastError.rfind("An exception saving tree to file '" + target + "' (EInOutError: ", 0), 0u)
      << file.LastError;
}

// Header letter case is free but the words are not; every refusal names the
// file ("%F") and stores nothing.
TEST_F(TreeFileTest, LoadAcceptanceAndRefusals) {
  StoreForm(1, "Main");
  TIDFTextFile file;
  ASSERT_TRUE(file.SaveTree(1, "Main", Path("good.tree")));
  const std::string bytes = ReadWholeFile(Path("good.tree"));
  const std::string branch = bytes.substr(kTreeFileHeaderBytes);
  const std::string bad_format = "Invalid file format (%F)";
  const std::string loading = "An exception while loading tree from file '%F' (EBranchStreamError: ";
  const struct {
    const char* name;
    std::optional<std::string> content;  // none: no file
    std::string message;                 // "" = loads
    bool message_is_prefix;
  } cases[] = {
      {"lower case", "idf-fps-TREE\r\n\r\n" + branch, "", false},
      {"mixed case", "IDF-FPS-Tree\r\n\r\n" + branch, "", false},
      {"text header", "IDF-FPS-text\r\n\r\n" + branch, bad_format, false},
      {"CPS header", "IDF-CPS-tree\r\n\r\n" + branch, bad_format, false},
      {"LF line ends", "IDF-FPS-tree\n\n\n\n" + branch, bad_format, false},
      {"ends inside the header", "IDF-FPS-tree\r\n", bad_format, false},
      {"empty", "", bad_format, false},
      {"missing: no exclamation mark", std::nullopt, "File '%F' not exists", false},
      {"damaged branch", bytes.substr(0, bytes.size() - 3), loading + "Invalid branch stream at offset ", true},
      {"bytes after the branch", bytes + "!",
       loading + "1 bytes follow the tree at offset " + std::to_string(bytes.size()) + ")", false},
  };
  int32_t index = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path("case" + std::to_string(++index) + ".tree");
    if (c.content) WriteWholeFileAtomically(path, *c.content);
    EXPECT_EQ(file.LoadTree(index, "Case", path), c.message.empty());
    std::string expected = c.message;
    if (auto at = expected.find("%F"); at != std::string::npos) expected.replace(at, 2, path);
    if (c.message.empty()) {
      EXPECT_NE(Fetched(index, "Case"), nullptr);
      continue;
    }
    EXPECT_EQ(c.message_is_prefix ? file.LastError.substr(0, expected.size()) : file.LastError, expected);
    EXPECT_EQ(Fetched(index, "Case"), nullptr);
  }

  // No form store: the store answers false.
  Settings().SetDefaultFormDatabase("");
  EXPECT_FALSE(file.LoadTree(1, "X", Path("good.tree")));
  EXPECT_EQ(file.LastError, "Can't save structure");

  // A file that exists but cannot be opened (not testable as root).
  if (geteuid() != 0) {
    const std::string locked = Path("locked.tree");
    WriteWholeFileAtomically(locked, bytes);
    chmod(locked.c_str(), 0);
    EXPECT_FALSE(file.LoadTree(1, "X", locked));
    EXPECT_EQ(file.LastError.rfind("Can't open file '" + locked + "' (EInOutError: ", 0), 0u) << file.LastError;
  }
}

// A form goes out to a tree file, comes back under a new key, goes into an
// IDF tree section and from there into the store again: unchanged.
TEST_F(TreeFileTest, FormSurvivesTreeFileAndIdfSection) {
  {
    TDSPFormManager form;
    form.FormIndex = 7;
    form.FormName = "Orders";
    form.CreateSection("Grid.Columns.Id")->SetAsInteger(1);
    form.CreateSection("Grid.Columns.Name")->SetAsString("\xC8\xEC\xFF");
    form.CreateSection("Grid.Size.Ratio")->SetAsDouble(1.0 / 3.0);
    form.CreateSection("Grid.Scale")->SetAsDouble(1.25);
    form.CreateSection("Grid.ReadOnly")->SetAsBoolean(true);
    form.SetBinaryParam("Layout", std::string("\x00\x10\x20\xFF\r\n", 6));
    form.SetBinaryParam("EmptyBlob", "");
    ASSERT_TRUE(form.Store());
  }
  TIDFTextFile file;
  ASSERT_TRUE(file.SaveTree(7, "Orders", Path("orders.tree")));
  ASSERT_TRUE(file.LoadTree(8, "Orders2", Path("orders.tree")));

  auto loaded = Fetched(8, "Orders2");
  ASSERT_NE(loaded, nullptr);
  TIDFTextFile idf;
  ASSERT_NE(idf.AddTreeSection("Orders", loaded.get()), nullptr);
  ASSERT_TRUE(idf.SaveToFile(Path("orders.idf")));
  TIDFTextFile reread;
  ASSERT_TRUE(reread.LoadFromFile(Path("orders.idf")));
  TDSPFormManager back;
  back.FormIndex = 9;
  back.FormName = "Orders3";
  ASSERT_TRUE(reread.GetSectionAsTree(reread.GetSectionByName("Orders"), &back));
  ASSERT_TRUE(back.Store());

  auto original = Fetched(7, "Orders");
  auto final_form = Fetched(9, "Orders3");
  ASSERT_NE(final_form, nullptr);
  EXPECT_TRUE(SameBranch(*final_form->Root(), *original->Root()));
}

}  // namespace
}  // namespace instkit
