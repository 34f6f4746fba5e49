// IDF text files (line rules, header, sections, parameters, save layout) and
// tree sections (the walk of a form tree into a section and back).  Tree
// files, which need the form store, are in tree_files_test.cpp.
#include "Tidf/idf_text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Tidf/idf_section_interface.h"
#include "host/base/settings.h"
#include "host/forms/dsp_node.h"
#include "host/base/exception.h"
#include "host/forms/form_manager.h"
#include "host/platform/process_args.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

// One parameter of a section: name, field type, value as text.
struct Param {
  std::string name;
  int type;
  std::string value;
  bool operator==(const Param&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Param& p) {
  return os << "{" << p.name << ", " << p.type << ", " << p.value << "}";
}

std::vector<Param> Params(const TIDFSection& section) {
  std::vector<Param> params;
  for (int32_t i = 0; i < section.GetFieldCount(); ++i) {
    const TField& f = *section.GetFields(i);
    params.push_back({f.Name(), f.FieldType(), f.GetAsString()});
  }
  return params;
}

// ---- IDF text files --------------------------------------------------------

using instkit::testing::TempDir;

class IdfTextFileTest : public ::testing::Test {
 protected:
  ~IdfTextFileTest() override { Settings().SetArgumentCountOverride(std::nullopt); }

  // Loads `bytes` as a file; returns the load result.
  bool Load(const std::string& bytes) { return file_.LoadFromFile(dir_.Write("f.idf", bytes)); }

  TempDir dir_;
  TIDFTextFile file_;
};

TEST_F(IdfTextFileTest, LineEndsAndTrimming) {
  // CR LF and lone CR end lines; a lone LF stays inside the line.
  ASSERT_TRUE(Load("IDF-CPS-text\r\r[S]\r\na=1\rb=x\ny\r\n  c = 2 \t\r\n"));
  ASSERT_EQ(file_.GetSectionCount(), 1);
  EXPECT_EQ(Params(*file_.GetSection(0)),
            (std::vector<Param>{{"a", ftString, "1"}, {"b", ftString, "x\ny"}, {"c ", ftString, " 2"}}));
}

TEST_F(IdfTextFileTest, HeaderAcceptanceAndRefusal) {
  struct Case {
    const char* name;
    std::string bytes;
    bool loads;
    const char* last_error;  // expected LastError after the call ("" = untouched)
  } cases[] = {
      {"cps with suffix, blank line 2", "IDF-CPS-textfile\r\n   \r\n[A]\r\n", true, ""},
      {"fps", "IDF-FPS-text\r\n\r\n", true, ""},
      {"lower case", "idf-cps-text\r\n\r\n", false, "File '%F' has wrong format!"},
      {"line 2 not empty", "IDF-CPS-text\r\nx=1\r\n[A]\r\n", false, ""},
      {"LF only: one long line", "IDF-CPS-text\n\n[A]\n", false, ""},
      {"empty file", "", false, ""},
      {"no line 2", "IDF-FPS-text", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TIDFTextFile file;
    file.AddSection("Kept");
    const std::string path = dir_.Write("h.idf", c.bytes);
    EXPECT_EQ(file.LoadFromFile(path), c.loads);
    std::string expected = c.last_error;
    if (auto at = expected.find("%F"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(file.LastError, expected);
    if (!c.loads) {
      ASSERT_EQ(file.GetSectionCount(), 1);  // refused: sections untouched
      EXPECT_EQ(file.GetSection(0)->SectionName, "Kept");
    }
  }
}

TEST_F(IdfTextFileTest, MissingFileAndStickyLastError) {
  const std::string missing = dir_.Path("missing.idf");
  EXPECT_FALSE(file_.LoadFromFile(missing));
  EXPECT_EQ(file_.LastError, "File '" + missing + "' not exists!");
  EXPECT_TRUE(Load("IDF-CPS-text\r\n\r\n"));
  EXPECT_EQ(file_.LastError, "File '" + missing + "' not exists!");
}

TEST_F(IdfTextFileTest, SectionHeadersCommentsAndHeaderParameters) {
  ASSERT_TRUE(
      Load("IDF-CPS-text\r\n\r\n"
           "top=1\r\nbare\r\n  // indented comment\r\n\r\n"
           "[Name]\r\n[Name]-tree\r\n[]\r\n[Name\r\n[Name]-TREE\r\n[ spaced name ]\r\n"));
  EXPECT_EQ(Params(*file_.Header), (std::vector<Param>{{"top", ftString, "1"}, {"bare", ftString, ""}}));
  ASSERT_EQ(file_.GetSectionCount(), 4);
  EXPECT_FALSE(file_.GetSection(0)->IsTree);
  EXPECT_TRUE(file_.GetSection(1)->IsTree);
  EXPECT_EQ(file_.GetSection(1)->SectionName, "Name");
  EXPECT_EQ(file_.GetSection(2)->SectionName, "");
  // "[Name" and "[Name]-TREE" are parameter lines of the empty-named section.
  EXPECT_EQ(Params(*file_.GetSection(2)), (std::vector<Param>{{"[Name", ftString, ""}, {"[Name]-TREE", ftString, ""}}));
  EXPECT_EQ(file_.GetSection(3)->SectionName, " spaced name ");
}

TEST_F(IdfTextFileTest, ParameterLinesInOrdinaryAndTreeSections) {
  ASSERT_TRUE(
      Load("IDF-CPS-text\r\n\r\n[O]\r\na=b=c\r\nx=integer=5\r\n"
           "[T]-tree\r\na=b=c\r\nx=integer=5\r\nf=BOOLEAN=yes\r\ng=boolean=true\r\n"
           "d=Double=2.5\r\ns=STRING=q\r\nplain\r\nnotag=7\r\n"));
  EXPECT_EQ(Params(*file_.GetSection(0)), (std::vector<Param>{{"a", ftString, "b=c"}, {"x", ftString, "integer=5"}}));
  const std::vector<Param> tree = {{"a", ftString, "c"},     {"x", ftInteger, "5"},   {"f", ftBoolean, "FALSE"},
                                   {"g", ftBoolean, "TRUE"}, {"d", ftFloat, "2.5"},   {"s", ftString, "q"},
                                   {"plain", ftString, ""},  {"notag", ftString, "7"}};
  EXPECT_EQ(Params(*file_.GetSection(1)), tree);
}

TEST_F(IdfTextFileTest, BadTypedValueEndsTheLoadWithTheExceptionMessage) {
  const std::string path = dir_.Write("bad.idf", "IDF-CPS-text\r\n\r\n[A]\r\nk=1\r\n[T]-tree\r\nx=INTEGER=abc\r\n");
  EXPECT_FALSE(file_.LoadFromFile(path));
  EXPECT_EQ(file_.LastError, "An exception during file load process.\r\nFileName = '" + path +
                                 "'\r\nEConvertError: 'abc' is not a valid integer value");
  ASSERT_EQ(file_.GetSectionCount(), 2);               // what was read before stays
  ASSERT_EQ(file_.GetSection(1)->GetFieldCount(), 1);  // added, then its value failed
  EXPECT_TRUE(file_.GetSection(1)->GetFields(0)->IsNull());
}

TEST_F(IdfTextFileTest, LoadingTwiceReplacesSectionsButGrowsHeader) {
  const std::string bytes = "IDF-CPS-text\r\n\r\nh=1\r\n[A]\r\n";
  ASSERT_TRUE(Load(bytes));
  ASSERT_TRUE(Load(bytes));
  EXPECT_EQ(file_.GetSectionCount(), 1);
  EXPECT_EQ(file_.Header->GetFieldCount(), 2);
}

TEST_F(IdfTextFileTest, SaveWritesTheExactLayout) {
  file_.Header->AddField("H", ftString, -1)->SetAsString("v");
  TIDFSection* o = file_.AddSection("Ord");
  o->AddParam("i", ftInteger)->SetAsInteger(5);
  o->AddParam("b", ftBoolean)->SetAsBoolean(true);
  o->AddParam("p", ftParameter)->SetAsInteger(3);
  o->AddParam("bin", ftBinary)->SetAsString(std::string("\0\xFF", 2));
  TIDFSection* t = file_.AddSection("Tr");
  t->IsTree = true;
  t->AddParam("s", ftString)->SetAsString("x");
  t->AddParam("i", ftInteger)->SetAsInteger(-1);
  t->AddParam("d", ftFloat)->SetAsFloat(0.5);
  t->AddParam("b", ftBoolean)->SetAsBoolean(false);
  t->AddParam("bin", ftBinary)->SetAsString("ab");

  Settings().SetArgumentCountOverride(0);
  const std::string path = dir_.Path("out.idf");
  ASSERT_TRUE(file_.SaveToFile(path));
  static const char kExpected[] =
      "IDF-CPS-text\r\n\r\nH=v\r\n[Ord]\r\ni=5\r\nb=TRUE\r\np=3\r\nbin=\0AP8=\r\n"
      "[Tr]-tree\r\ns=STRING=x\r\ni=INTEGER=-1\r\nd=DOUBLE=0.5\r\n"
      "b=BOOLEAN=FALSE\r\nbin=BINARY=YWI=\r\n";
  EXPECT_EQ(TempDir::Read(path), std::string(kExpected, sizeof kExpected - 1));
  Settings().SetArgumentCountOverride(2);
  ASSERT_TRUE(file_.SaveToFile(path));
  EXPECT_EQ(TempDir::Read(path).substr(0, 16), "IDF-FPS-text\r\n\r\n");
}

// Ordinary sections; tree sections (doubles, binaries, booleans) go round in
// the tree-file round trip.
TEST_F(IdfTextFileTest, SaveThenLoadRoundTrip) {
  TIDFSection* o = file_.AddSection("Ord [x]");
  o->AddParam("n", ftInteger)->SetAsInteger(5);
  o->AddParam("bin", ftBinary)->SetAsString(std::string("\0\r\n \x01", 5));
  o->AddParam("empty", ftBinary);
  const std::string path = dir_.Path("rt.idf");
  ASSERT_TRUE(file_.SaveToFile(path));

  TIDFTextFile back;
  ASSERT_TRUE(back.LoadFromFile(path)) << back.LastError;
  ASSERT_EQ(back.GetSectionCount(), 1);
  EXPECT_EQ(back.GetSection(0)->SectionName, "Ord [x]");
  // Ordinary sections give text back; an empty binary loses its trimmed marker.
  EXPECT_EQ(Params(*back.GetSection(0)),
            (std::vector<Param>{
                {"n", ftString, "5"}, {"bin", ftBinary, std::string("\0\r\n \x01", 5)}, {"empty", ftString, ""}}));
}

TEST_F(IdfTextFileTest, SaveFailureMessageAndNoTemporaryFileLeft) {
  const std::string path = dir_.Write("keep.idf", "old content");
  EXPECT_FALSE(file_.SaveToFile(dir_.Path("no-such-dir/x.idf")));
  EXPECT_EQ(file_.LastError, "Can't create file");
  // A good save replaces the file and leaves no temporary file behind.
  ASSERT_TRUE(file_.SaveToFile(path));
  namespace fs = std::filesystem;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Root()), fs::directory_iterator()), 1);
}

TEST_F(IdfTextFileTest, SectionInterfaceAddsReadOnlySectionName) {
  TIDFSection* s = file_.AddSection("Sec");
  s->AddParam("k", ftInteger)->SetAsInteger(1);
  auto iface = s->CreateInterface();
  EXPECT_EQ(std::get<std::string>(iface->GetProperty("SectionName")), "Sec");
  EXPECT_EQ(iface->GetPropertyNames(), (std::vector<std::string>{"k", "SectionName"}));
  EXPECT_THROW(iface->SetProperty("SectionName", TVariant{std::string("x")}), Exception);
}

// ---- AddTreeSection: the walk ------------------------------------------------

TEST(AddTreeSectionTest, NoManagerIsReportedAndTheSectionRemoved) {
  TIDFTextFile file;
  EXPECT_EQ(file.AddTreeSection("S", nullptr), nullptr);
  EXPECT_EQ(file.GetSectionCount(), 0);
  EXPECT_EQ(file.LastError, "An exception while adding tree section 'S' (EDSPError: No form manager given)");
}

// The walk must agree with a plain recursive listing of the leaves in
// depth-first order, named by their dotted path below the root, on trees of
// every shape: a leaf of each value kind but none and date-time gives its
// parameter, an inner node none, value or not.
void ModelLeaves(const TDSPNode& node, const std::string& path, std::vector<Param>& out) {
  if (node.GetCount() == 0) {
    const int types[] = {-1, ftString, ftInteger, ftBoolean, ftFloat, -1, ftBinary};
    if (types[node.GetValueKind()] >= 0) out.push_back({path, types[node.GetValueKind()], node.GetAsString()});
    return;
  }
  for (int32_t i = 0; i < node.GetCount(); ++i) {
    const TDSPNode& child = *node.GetNodes(i);
    ModelLeaves(child, path.empty() ? child.GetName() : path + "." + child.GetName(), out);
  }
}

TEST(AddTreeSectionTest, WalkMatchesARecursiveModelOnRandomTrees) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    TDSPFormManager manager;
    int counter = 0;
    std::function<void(TDSPNode*, int)> grow = [&](TDSPNode* node, int depth) {
      const int children = depth >= 5 ? 0 : static_cast<int>(rng() % 4);
      for (int i = 0; i < children; ++i) {
        TDSPNode* child = node->AddChild("n" + std::to_string(counter++));
        const unsigned kind = rng() % 7;  // 6: no value
        if (kind == 0) child->SetAsString("s" + std::to_string(counter));
        else if (kind == 1) child->SetAsInteger(-counter);
        else if (kind == 2) child->SetAsBoolean(counter % 2 == 0);
        else if (kind == 3) child->SetAsDouble(counter / 8.0);
        else if (kind == 4) child->SetAsDateTime(45000.5);
        else if (kind == 5) child->SetAsBinary(std::string("\0\x01", 2) + std::to_string(counter));
        grow(child, depth + 1);
      }
    };
    manager.Root()->SetName("ignored root name");
    grow(manager.Root(), 0);
    std::vector<Param> expected;
    if (manager.Root()->GetCount() > 0) ModelLeaves(*manager.Root(), "", expected);

    TIDFTextFile file;
    file.AddSection("before");
    TIDFSection* section = file.AddTreeSection("R", &manager);
    ASSERT_NE(section, nullptr);
    EXPECT_TRUE(section->IsTree);
    EXPECT_EQ(file.GetSection(1), section);
    ASSERT_EQ(Params(*section), expected) << "round " << round;
  }
}

// ---- GetSectionAsTree ------------------------------------------------------

TEST(GetSectionAsTreeTest, WritesEveryTypeAndOverwritesExistingNodes) {
  TIDFTextFile file;
  TIDFSection* section = file.AddSection("plain");  // need not be a tree section
  section->AddParam("A", ftString)->SetAsString("x");
  section->AddParam("B.C", ftInteger)->SetAsInteger(5);
  section->AddParam("B.D", ftBoolean)->SetAsBoolean(true);
  section->AddParam("E", ftFloat)->SetAsFloat(2.5);
  section->AddParam("F.G.H", ftBinary)->SetAsString(std::string("\0z", 2));
  section->AddParam("P", ftParameter)->SetAsString("ignored");

  TDSPFormManager manager;
  manager.CreateSection("B.C")->SetAsString("old");
  ASSERT_TRUE(file.GetSectionAsTree(section, &manager));

  // Type 10 (P) finds or creates the node and sets nothing.
  const std::pair<const char*, int> kinds[] = {{"A", dvkString}, {"B.C", dvkInteger},  {"B.D", dvkBoolean},
                                               {"E", dvkDouble}, {"F.G.H", dvkBinary}, {"P", dvkNone}};
  for (const auto& [path, kind] : kinds) {
    ASSERT_NE(manager.FindSection(path), nullptr) << path;
    EXPECT_EQ(manager.FindSection(path)->GetValueKind(), kind) << path;
  }
  EXPECT_EQ(manager.FindSection("A")->GetAsString(), "x");
  EXPECT_EQ(manager.FindSection("B.C")->GetAsInteger(), 5);
  EXPECT_EQ(manager.FindSection("B")->GetCount(), 2);
  EXPECT_EQ(manager.FindSection("F.G.H")->GetAsString(), std::string("\0z", 2));
}

TEST(GetSectionAsTreeTest, StopsAtTheFirstFieldThatFails) {
  TIDFTextFile file;
  TIDFSection* section = file.AddSection("s");
  section->AddParam("first", ftString)->SetAsString("1");
  section->AddParam("bad..path", ftInteger)->SetAsInteger(2);
  section->AddParam("after", ftString)->SetAsString("3");

  TDSPFormManager manager;
  EXPECT_FALSE(file.GetSectionAsTree(section, &manager));
  EXPECT_EQ(file.LastError,
            "Error creating Node 'bad..path' in function GetSectionAsTree (EDSPError: Invalid node path 'bad..path': "
            "it needs 1 to 256 non-empty names separated by '.')");
  EXPECT_NE(manager.FindSection("first"), nullptr);
  EXPECT_EQ(manager.FindSection("after"), nullptr);

  // A binary field fails the same way, through SetBinaryParam.
  TIDFSection* binary = file.AddSection("b");
  binary->AddParam(".x", ftBinary)->SetAsString("z");
  EXPECT_FALSE(file.GetSectionAsTree(binary, &manager));
  EXPECT_EQ(file.LastError.rfind("Error creating Node '.x' in function GetSectionAsTree (EDSPError: ", 0), 0u);
  EXPECT_FALSE(file.GetSectionAsTree(nullptr, &manager));
  EXPECT_EQ(file.LastError, "Invalid parameters.");
  file.LastError.clear();
  EXPECT_FALSE(file.GetSectionAsTree(binary, nullptr));
  EXPECT_EQ(file.LastError, "Invalid parameters.");
}

}  // namespace
}  // namespace instkit
