// Reading and writing the catalogue in IDF text files.
#include <gtest/gtest.h>

#include "Syslist/catalogue_format.h"
#include "catalogue_test_support.h"
#include "host/base/exception.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using testing::AddSys;
using testing::AddTextSection;

// A small catalogue: two top-level subsystems, children, dependencies across
// the branches and links.
void FillSample(TIDFTextFile& file) {
  AddTextSection(file, "SubSystems", {{"Core", "1"}, {"Tools", "2"}, {"Editor", "3"}, {"Help", "4"}, {"Viewer", "5"}});
  AddTextSection(file, "Core",
                 {{"Parent", "0"}, {"Library", "core.so"}, {"Short name", "Core"}, {"Archive", "core.arj"}});
  AddTextSection(file, "Tools", {{"Parent", ""}, {"Depend", "1"}, {"Short name", "Tools"}});
  AddTextSection(file, "Editor",
                 {{"Parent", "2"},
                  {"Depend", "1,5"},
                  {"Full name", "The editor"},
                  {"MenuLink1", "ed.lnk"},
                  {"DesktopLink2", "ed-desk.lnk"}});
  AddTextSection(file, "Help", {{"Parent", "1"}, {"Depend", "3"}});
  AddTextSection(file, "Viewer", {{"Parent", "2"}});
}

TEST(CatalogueReaderTest, NullFileAndMissingCatalogue) {
  TSysTree tree;
  EXPECT_FALSE(tree.LoadFromIDFFile(nullptr));
  TIDFTextFile no_catalogue;
  AddTextSection(no_catalogue, "Core", {{"Parent", "0"}});
  EXPECT_TRUE(tree.LoadFromIDFFile(&no_catalogue));
  EXPECT_EQ(tree.Count, 0);
}

TEST(CatalogueReaderTest, BackRefDependScanTrimmingRules) {
  // What GetBackRef gives for 12, 15 and 99 when one subsystem (number 30)
  // has the "Depend" text; "!" means the scan raises EConvertError.
  struct Case {
    const char* depend;
    const char* for12;
    const char* for15;
    const char* for99;
  };
  const Case cases[] = {
      {"12,15", "30", "30", ""},     {"12, 15", "30", "30", ""},  // blank before the last item is harmless
      {"12,15 ", "30", "30", ""},    {" 12,15", "!", "!", "!"},   // the "," is cut into the first item
      {"12, 15,18", "30", "!", "!"}, {"12 ,15", "!", "!", "!"},  {"15", "", "30", ""},
      {"12,,15", "30", "!", "!"},    {"12,", "30", "!", "!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depend);
    TIDFTextFile file;
    AddTextSection(file, "SubSystems", {{"X12", "12"}, {"X15", "15"}, {"User", "30"}});
    AddTextSection(file, "User", {{"Depend", c.depend}});
    const TIDFSection* catalogue = file.GetSectionByName("SubSystems");
    for (const auto& [number, expected] : {std::pair{12, c.for12}, std::pair{15, c.for15}, std::pair{99, c.for99}}) {
      if (std::string(expected) == "!") {
        EXPECT_THROW(TCustomSysNode::GetBackRef(number, catalogue, &file), EConvertError) << number;
      } else {
        EXPECT_EQ(TCustomSysNode::GetBackRef(number, catalogue, &file), expected) << number;
      }
    }
    EXPECT_EQ(TCustomSysNode::GetBackRef(30, catalogue, &file), "");  // never its own back reference
  }
}

TEST(CatalogueReaderTest, BackRefListsEachDependentOnceInCatalogueOrder) {
  TIDFTextFile file;
  AddTextSection(file, "SubSystems", {{"B", "2"}, {"A", "1"}, {"C", "3"}, {"D", "04"}});
  AddTextSection(file, "A", {{"Depend", "3"}});
  AddTextSection(file, "B", {{"Depend", "3,3"}});
  AddTextSection(file, "D", {{"Depend", "3"}});
  // The value's own text is appended, as written in the catalogue.
  EXPECT_EQ(TCustomSysNode::GetBackRef(3, file.GetSectionByName("SubSystems"), &file), "2,1,04");
}

TEST(CatalogueReaderTest, ParamAndSysIndexLookups) {
  TIDFTextFile file;
  TIDFSection* s = AddTextSection(file, "S", {{"Parent", ""}, {"parent", "5"}, {"Name", "x"}});
  EXPECT_EQ(TCustomSysNode::GetParamAsInteger(s, "Parent"), 0);  // first match, empty
  EXPECT_EQ(TCustomSysNode::GetParamAsInteger(s, "Missing"), 0);
  EXPECT_EQ(TCustomSysNode::GetParamAsInteger(nullptr, "Parent"), 0);
  EXPECT_THROW(TCustomSysNode::GetParamAsInteger(s, "NAME"), EConvertError);
  EXPECT_EQ(TCustomSysNode::GetParamAsString(s, "name"), "x");
  EXPECT_EQ(TCustomSysNode::GetParamAsString(s, "Missing"), "");

  TIDFSection* c = AddTextSection(file, "C", {{"sys", "1"}, {"Sys", "bad"}, {"Sys", "3"}, {"Sys", "4"}});
  EXPECT_EQ(TCustomSysNode::GetSysIndex(c, "Sys"), 3);  // exact case, bad value passed over
  EXPECT_EQ(TCustomSysNode::GetSysIndex(c, "SYS"), 0);
}

TEST(CatalogueReaderTest, LinkKeysAreRecognisedByTrimmedPrefix) {
  const struct {
    const char* key;
    TLinkKind kind;
  } cases[] = {
      {"MENULINK", TLinkKind::Menu},        {"menulink7", TLinkKind::Menu}, {"MenuLinkX", TLinkKind::Menu},
      {"DesktopLinks", TLinkKind::Desktop}, {"MenuLin", TLinkKind::None},   {" MenuLink", TLinkKind::None},
      {"MenuLin k", TLinkKind::None},       {"Desktop", TLinkKind::None},   {"DESKTOPLINK1", TLinkKind::Desktop},
  };
  for (const auto& c : cases) EXPECT_EQ(LinkKindOfKey(c.key), c.kind) << c.key;

  TIDFTextFile file;
  TIDFSection* s = AddTextSection(
      file, "S", {{"MenuLink1", "a"}, {"DesktopLink2", "b"}, {"menulink1", "ignored"}, {"MenuLin", "no"}});
  TSysNode node;
  node.Info->Links = "old?menu";  // appended to, not cleared
  node.Info->SysIndex = 5;
  node.Info->IsInst = true;
  node.GetData(s);
  EXPECT_EQ(node.Info->Links, "old?menu*a?menu*b?desktop*a?menu");
  EXPECT_EQ(node.Info->SaveName, "S");
  EXPECT_EQ(node.Info->SysIndex, 5);
  EXPECT_TRUE(node.Info->IsInst);
  node.GetData(nullptr);  // nothing happens
  EXPECT_EQ(node.Info->SaveName, "S");
}

TEST(CatalogueWriterTest, WritesCatalogueAndSectionsInPreOrder) {
  TSysTree tree;
  TSysNode* a = AddSys(tree, 1);
  a->Info->Links = "m?menu*d?desktop*junk*n?menu";
  a->Info->Depend = "2";
  TSysNode* a1 = AddSys(*a, 11);
  a1->Info->Parent = 1;
  AddSys(tree, 2);
  TIDFTextFile file;
  ASSERT_TRUE(tree.SaveToIDFFile(&file));
  // "[section] key=value ..." for the whole file; every value is written as a parameter.
  std::string text;
  for (int32_t i = 0; i < file.GetSectionCount(); ++i) {
    const TIDFSection* section = file.GetSection(i);
    text += "[" + section->SectionName + "]";
    for (int32_t f = 0; f < section->GetFieldCount(); ++f) {
      const TField* field = section->GetFields(f);
      text += " " + field->Name() + "=" + field->GetAsString();
      EXPECT_EQ(field->FieldType(), ftParameter) << field->Name();
    }
  }
  EXPECT_EQ(text,
            "[SubSystems] Sec1=1 Sec11=11 Sec2=2"
            "[Sec1] Parent=0 Depend=2 Library= Parameter= Archive= Short Name=S1 Full Name= MenuLink1=m"
            " DesktopLink2=d MenuLink4=n"
            "[Sec11] Parent=1 Depend= Library= Parameter= Archive= Short Name=S11 Full Name="
            "[Sec2] Parent=0 Depend= Library= Parameter= Archive= Short Name=S2 Full Name=");
  EXPECT_FALSE(tree.SaveToIDFFile(nullptr));
}

TEST(CatalogueWriterTest, SaveThenLoadRoundTripsThroughADiskFile) {
  TIDFTextFile source;
  FillSample(source);
  TSysTree tree;
  ASSERT_TRUE(tree.LoadFromIDFFile(&source));
  tree.Nodes[0]->Info->Checked = true;  // state flags do not travel

  const testing::TempDir dir;
  TIDFTextFile out;
  ASSERT_TRUE(tree.SaveToIDFFile(&out));
  ASSERT_TRUE(out.SaveToFile(dir.Path("rt.idf"))) << out.LastError;
  TIDFTextFile in;
  ASSERT_TRUE(in.LoadFromFile(dir.Path("rt.idf"))) << in.LastError;

  TSysTree reread;
  AddSys(reread, 77);  // anything there before goes
  ASSERT_TRUE(reread.LoadFromIDFFile(&in));
  tree.Nodes[0]->Info->Checked = false;
  testing::ExpectSameTree(reread, tree);

  // Saving into a file that already holds a catalogue appends; the first
  // catalogue and the first sections still win.
  TSysTree other;
  AddSys(other, 50)->Info->SaveName = "Core";
  ASSERT_TRUE(other.SaveToIDFFile(&in));
  TSysTree again;
  ASSERT_TRUE(again.LoadFromIDFFile(&in));
  testing::ExpectSameTree(again, tree);
}

}  // namespace
}  // namespace instkit
