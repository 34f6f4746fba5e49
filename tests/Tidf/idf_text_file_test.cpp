#include "Tidf/idf_text_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Tidf/idf_section_interface.h"
#include "host/exception.h"
#include "host/process_args.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using instkit::testing::TempDir;

class IdfTextFileTest : public ::testing::Test {
 protected:
  ~IdfTextFileTest() override { ResetProcessArgumentCount(); }

  // Loads `bytes` as a file; returns the load result.
  bool Load(const std::string& bytes) { return file_.LoadFromFile(dir_.Write("f.idf", bytes)); }

  std::string Param(int section, const std::string& name) {
    TIDFSection* s = file_.GetSection(section);
    if (s == nullptr) return "<no section>";
    TField* f = s->FieldByName(name);
    return f ? f->GetAsString() : "<no param>";
  }

  TempDir dir_;
  TIDFTextFile file_;
};

TEST_F(IdfTextFileTest, LineEndsAndTrimming) {
  // CR LF and lone CR end lines; a lone LF stays inside the line.
  ASSERT_TRUE(Load("IDF-CPS-text\r\r[S]\r\na=1\rb=x\ny\r\n  c = 2 \t\r\n"));
  ASSERT_EQ(file_.GetSectionCount(), 1);
  TIDFSection* s = file_.GetSection(0);
  ASSERT_EQ(s->GetFieldCount(), 3);
  EXPECT_EQ(s->GetFields(1)->GetAsString(), "x\ny");
  EXPECT_EQ(s->GetFields(2)->Name(), "c ");
  EXPECT_EQ(s->GetFields(2)->GetAsString(), " 2");
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
  ASSERT_TRUE(Load(
      "IDF-CPS-text\r\n\r\n"
      "top=1\r\nbare\r\n  // indented comment\r\n\r\n"
      "[Name]\r\n[Name]-tree\r\n[]\r\n[Name\r\n[Name]-TREE\r\n[ spaced name ]\r\n"));
  ASSERT_EQ(file_.Header->GetFieldCount(), 2);
  EXPECT_EQ(file_.Header->GetFields(1)->Name(), "bare");
  EXPECT_EQ(file_.Header->GetFields(1)->GetAsString(), "");
  ASSERT_EQ(file_.GetSectionCount(), 4);
  EXPECT_FALSE(file_.GetSection(0)->IsTree);
  EXPECT_TRUE(file_.GetSection(1)->IsTree);
  EXPECT_EQ(file_.GetSection(1)->SectionName, "Name");
  EXPECT_EQ(file_.GetSection(2)->SectionName, "");
  // "[Name" and "[Name]-TREE" are parameter lines of the empty-named section.
  ASSERT_EQ(file_.GetSection(2)->GetFieldCount(), 2);
  EXPECT_EQ(file_.GetSection(2)->GetFields(1)->Name(), "[Name]-TREE");
  EXPECT_EQ(file_.GetSection(3)->SectionName, " spaced name ");
}

TEST_F(IdfTextFileTest, ParameterLinesInOrdinaryAndTreeSections) {
  ASSERT_TRUE(Load(
      "IDF-CPS-text\r\n\r\n[O]\r\na=b=c\r\nx=integer=5\r\n"
      "[T]-tree\r\na=b=c\r\nx=integer=5\r\nf=BOOLEAN=yes\r\ng=boolean=true\r\n"
      "d=Double=2.5\r\ns=STRING=q\r\nplain\r\nnotag=7\r\n"));
  TIDFSection* o = file_.GetSection(0);
  EXPECT_EQ(o->GetFields(0)->GetAsString(), "b=c");
  EXPECT_EQ(o->GetFields(1)->FieldType(), ftString);
  TIDFSection* t = file_.GetSection(1);
  struct Expect {
    const char* name;
    uint8_t type;
    const char* text;
  } expected[] = {{"a", ftString, "c"},       {"x", ftInteger, "5"}, {"f", ftBoolean, "FALSE"},
                  {"g", ftBoolean, "TRUE"},   {"d", ftFloat, "2.5"}, {"s", ftString, "q"},
                  {"plain", ftString, ""},    {"notag", ftString, "7"}};
  ASSERT_EQ(t->GetFieldCount(), 8);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(t->GetFields(i)->Name(), expected[i].name);
    EXPECT_EQ(t->GetFields(i)->FieldType(), expected[i].type);
    EXPECT_EQ(t->GetFields(i)->GetAsString(), expected[i].text);
  }
}

TEST_F(IdfTextFileTest, BadTypedValueEndsTheLoadWithTheExceptionMessage) {
  const std::string path = dir_.Write("bad.idf", "IDF-CPS-text\r\n\r\n[A]\r\nk=1\r\n[T]-tree\r\nx=INTEGER=abc\r\n");
  EXPECT_FALSE(file_.LoadFromFile(path));
  EXPECT_EQ(file_.LastError, "An exception during file load process.\r\nFileName = '" + path +
                                 "'\r\nEConvertError: 'abc' is not a valid integer value");
  ASSERT_EQ(file_.GetSectionCount(), 2);  // what was read before stays
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

  OverrideProcessArgumentCount(0);
  const std::string path = dir_.Path("out.idf");
  ASSERT_TRUE(file_.SaveToFile(path));
  static const char kExpected[] = "IDF-CPS-text\r\n\r\nH=v\r\n[Ord]\r\ni=5\r\nb=TRUE\r\np=3\r\nbin=\0AP8=\r\n"
                                             "[Tr]-tree\r\ns=STRING=x\r\ni=INTEGER=-1\r\nd=DOUBLE=0.5\r\n"
                                             "b=BOOLEAN=FALSE\r\nbin=BINARY=YWI=\r\n";
  EXPECT_EQ(TempDir::Read(path), std::string(kExpected, sizeof kExpected - 1));
  OverrideProcessArgumentCount(2);
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
  TIDFSection* o2 = back.GetSection(0);
  EXPECT_EQ(o2->SectionName, "Ord [x]");
  EXPECT_EQ(o2->GetFields(0)->FieldType(), ftString);  // ordinary sections give text back
  EXPECT_EQ(o2->GetFields(0)->GetAsString(), "5");
  EXPECT_EQ(o2->GetFields(1)->FieldType(), ftBinary);
  EXPECT_EQ(o2->GetFields(1)->GetAsString(), std::string("\0\r\n \x01", 5));
  EXPECT_EQ(o2->GetFields(2)->FieldType(), ftString);  // empty binary: marker trimmed away
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

TEST_F(IdfTextFileTest, ListOperations) {
  file_.AddSection("SubSystems");
  file_.AddSection("B");
  file_.AddSection("SubSystems");
  EXPECT_EQ(file_.GetSectionByName("subsystems"), nullptr);
  EXPECT_EQ(file_.GetSectionByName("SubSystems"), file_.GetSection(0));
  EXPECT_EQ(file_.InsertSection("X", 3), nullptr);
  EXPECT_EQ(file_.InsertSection("X", -1), nullptr);
  TIDFSection* inserted = file_.InsertSection("X", 1);
  EXPECT_EQ(inserted, file_.GetSection(1));
  EXPECT_EQ(file_.GetSectionCount(), 4);
  file_.DeleteSection("SubSystems");  // only the first
  EXPECT_EQ(file_.GetSection(0)->SectionName, "X");
  EXPECT_EQ(file_.GetSectionByName("SubSystems"), file_.GetSection(2));
  file_.DeleteSection(7);
  file_.DeleteSection("none");
  EXPECT_EQ(file_.GetSectionCount(), 3);
  file_.ClearSections();
  EXPECT_EQ(file_.GetSectionCount(), 0);
  EXPECT_EQ(file_.GetSection(0), nullptr);
}

TEST_F(IdfTextFileTest, SectionInterfaceAddsReadOnlySectionName) {
  TIDFSection* s = file_.AddSection("Sec");
  s->AddParam("k", ftInteger)->SetAsInteger(1);
  auto iface = s->CreateInterface();
  EXPECT_EQ(std::get<std::string>(iface->GetProperty("SectionName")), "Sec");
  EXPECT_EQ(iface->GetPropertyCount(), 2);
  EXPECT_THROW(iface->SetProperty("SectionName", TVariant{std::string("x")}), Exception);
  TRecord plain;
  TIDFSectionInterface wrong(&plain);
  EXPECT_THROW(wrong.GetSectionName(), Exception);
}

}  // namespace
}  // namespace instkit
