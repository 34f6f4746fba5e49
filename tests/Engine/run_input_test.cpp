// What a run checks before anything is loaded: each unusable description,
// name or target folder gives one sentence saying what is wrong and where.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "Engine/plan.h"
#include "Engine/run_engine.h"
#include "Engine/run_input.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/tree_indent.h"
#include "support/temp_dir.h"

namespace instkit::testing {
namespace {

namespace fs = std::filesystem;

// Runs every check a run makes on the file, in order; the first sentence.
std::string FirstProblem(const std::string& path) {
  TIDFTextFile file;
  TSysTree tree;
  TInputError error;
  if (!ReadDescription(path, file, error) || !BuildCatalogue(file, path, tree, error) ||
      !CheckNames(ProductNameOf(file, path), file, path, tree, error)) {
    return error.sentence;
  }
  return "";
}

TEST(RunInputTest, UnusableDescriptionsAndNamesAreRefusedWithTheirReason) {
  TempDir dir;
  const std::string ok = "IDF-FPS-text\r\n\r\n[SubSystems]\r\nA=1\r\n[A]\r\nShort name=A\r\n";
  fs::create_directory(dir.Root() / "folder.idf");
  struct Case {
    const char* name;
    std::string content;  // "" : not written
    const char* problem;  // after the path, or the whole sentence
  };
  const Case cases[] = {
      {"fine.idf", ok, ""},
      {"utf8.idf", "IDF-FPS-text\n\n[SubSystems]\nЯдро=1\n[Ядро]\nShort name=Ядро\n", ""},
      {"emoji.idf", "IDF-FPS-text\n\n[SubSystems]\nA=1\n[A]\nShort name=A \xF0\x9F\x98\x80\n",
       "$F: line 6, column 14: the character U+1F600 has no Windows-1251 form"},
      {"missing.idf", "", "cannot read $F: no such file"},
      {"folder.idf", "", "cannot read $F: it is a folder, not an IDF text file"},
      {"notes.txt", "just some text\r\n",
       "$F is not an IDF text file: its first line is not \"IDF-CPS-text\" or \"IDF-FPS-text\""},
      {"noblank.idf", "IDF-FPS-text\r\n[SubSystems]\r\n",
       "$F is not an IDF text file: the header line is not followed by an empty line"},
      {"empty.idf", "IDF-FPS-text\r\n\r\n", "$F lists no subsystems: there is nothing to run"},
      {"twice.idf", "IDF-FPS-text\r\n\r\n[SubSystems]\r\nA=1\r\nB=1\r\n",
       "$F: the subsystem catalogue cannot be read (two subsystems carry the same number)"},
      {"product.idf", "IDF-FPS-text\r\n\r\nProduct=a\x01z\r\n[SubSystems]\r\nA=1\r\n[A]\r\nShort name=A\r\n",
       "the product name \"a\\x01z\" holds a control character (header parameter Product of $F)"},
      {"short.idf", "IDF-FPS-text\r\n\r\n[SubSystems]\r\nA=7\r\n[A]\r\nShort name=x\x1by\r\n",
       "the short name \"x\\x1By\" of subsystem 7 holds a control character (section [A] of $F)"},
      {"link.idf", "IDF-FPS-text\r\n\r\n[SubSystems]\r\nA=7\r\n[A]\r\nShort name=A\r\nMenuLink1=go|rm\x7f\r\n",
       "the link list \"go|rm\\x7F?menu\" of subsystem 7 holds a control character (section [A] of $F)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.content.empty() ? dir.Path(c.name) : dir.Write(c.name, c.content);
    std::string expected = c.problem;
    if (const size_t at = expected.find("$F"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(FirstProblem(path), expected);
  }
  // A file that cannot be opened gives the system's reason (root opens anything).
  if (::geteuid() != 0) {
    const std::string locked = dir.Write("locked.idf", ok);
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(FirstProblem(locked), "cannot read " + locked + ": permission denied");
  }
}

TEST(RunInputTest, TargetFolderMustBeCreatableAndWritable) {
  TempDir dir;
  const std::string file = dir.Write("file", "");
  fs::create_directory(dir.Root() / "there");
  const std::pair<std::string, std::string> cases[] = {
      {dir.Path("there"), ""},
      {dir.Path("new/deeper"), ""},
      {file, "cannot use " + file + " as the target folder: it is a file"},
      {file + "/t", "cannot create " + file + "/t: a file is in the way (" + file + ")"},
      {"", "no target folder given"},
  };
  for (const auto& [target, problem] : cases) {
    SCOPED_TRACE(target);
    TInputError error;
    EXPECT_EQ(CheckTargetFolder(target, error), problem.empty());
    EXPECT_EQ(error.sentence, problem);
  }
  EXPECT_FALSE(fs::exists(dir.Root() / "new"));  // checked, not made
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root() / "there"), fs::directory_iterator()), 0);
  if (::geteuid() != 0) {
    fs::permissions(dir.Root() / "there", fs::perms::owner_read | fs::perms::owner_exec);
    TInputError error;
    EXPECT_FALSE(CheckTargetFolder(dir.Path("there/t"), error));
    EXPECT_EQ(error.sentence,
              "cannot create " + dir.Path("there/t") + ": permission denied (" + dir.Path("there") + ")");
    fs::permissions(dir.Root() / "there", fs::perms::owner_all);
  }
}

// What `instkit plan` prints, whole (every way a tick or an untick spreads,
// each with the subsystem that caused it), and the capped indentation of a
// chain deeper than the indentation goes.
TEST(RunInputTest, PlanTextOfTheDemoAndOfADeepChain) {
  TRunOptions options;
  options.description_file = std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf";
  options.selection.none = true;
  options.selection.steps = {{true, {12}}, {false, {11}}, {true, {22}}};
  TRunEngine demo(options);
  ASSERT_TRUE(demo.Prepare()) << demo.Report().failure;
  std::string text;
  PlanText(demo.Plan(), [&text](std::string_view piece) { text += piece; });
  text.replace(text.find(options.description_file), options.description_file.size(), "setup.idf");
  EXPECT_EQ(text, TempDir::Read(std::string(INSTKIT_TEST_DATA_DIR) + "/engine/plan_demo.txt"));

  TempDir dir;
  std::string chain = "IDF-FPS-text\r\n\r\n[SubSystems]\r\n";
  for (int i = 1; i <= 40; ++i) chain += "S" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 40; ++i) {
    chain += "[S" + std::to_string(i) + "]\r\nParent=" + std::to_string(i - 1) + "\r\nShort name=S" +
             std::to_string(i) + "\r\n";
  }
  options.description_file = dir.Write("chain.idf", chain);
  options.selection = {};
  TRunEngine deep(options);
  ASSERT_TRUE(deep.Prepare()) << deep.Report().failure;
  text.clear();
  PlanText(deep.Plan(), [&text](std::string_view piece) { text += piece; });
  const std::string indent(static_cast<size_t>(2 * kDrawnTreeLevels), ' ');
  EXPECT_NE(text.find("  [x] 32  " + std::string(62, ' ') + "S32 "), std::string::npos) << text;
  EXPECT_NE(text.find("  [x] 33  " + indent + "(level 33) S33 "), std::string::npos) << text;
  EXPECT_NE(text.find("  [x] 40  " + indent + "(level 40) S40  default\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace instkit::testing
