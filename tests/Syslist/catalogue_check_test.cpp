// instkit check's findings on a description made to hold every kind of
// problem, and silence on a clean one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Syslist/catalogue_check.h"
#include "catalogue_test_support.h"

namespace instkit {
namespace {

using Severity = TCatalogueFinding::TSeverity;

const std::string kDemo = std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf";
const std::string kProblems = std::string(INSTKIT_TEST_DATA_DIR) + "/catalogue/problems.idf";

bool Has(const std::vector<TCatalogueFinding>& findings, Severity severity, const std::string& section,
         const std::string& key, const std::string& fragment) {
  return std::any_of(findings.begin(), findings.end(), [&](const TCatalogueFinding& f) {
    return f.severity == severity && f.section == section && f.key == key &&
           f.message.find(fragment) != std::string::npos;
  });
}

TEST(CatalogueCheckTest, FindsEveryKindOfProblem) {
  TIDFTextFile file;
  ASSERT_TRUE(file.LoadFromFile(kProblems)) << file.LastError;
  const auto findings = CheckCatalogue(file);
  const struct {
    Severity severity;
    const char* section;
    const char* key;
    const char* fragment;
  } expected[] = {
      {Severity::Error, "SubSystems", "Twin", "number 1 is also used by 'Base'"},
      {Severity::Error, "SubSystems", "BadNumber", "'x' is not an integer"},
      {Severity::Warning, "SubSystems", "NoSection", "no section [NoSection]"},
      {Severity::Warning, "SubSystems", "wrongcase", "section [WrongCase] differs only in letter case"},
      {Severity::Warning, "Orphan", "Parent", "names 99"},
      {Severity::Error, "BadDepend", "Depend", "item '1 '"},
      {Severity::Warning, "Ghost", "Depend", "item 404 names no subsystem"},
      {Severity::Warning, "CycleA", "Depend", "dependency cycle: CycleA(9) -> CycleB(10) -> CycleA(9)"},
      {Severity::Warning, "Links", "MenuLin2", "not read as a link"},
      {Severity::Warning, "Links", "MenuLnk3", "not read as a link"},
      {Severity::Warning, "Links", "Desktop Link4", "not read as a link"},
      {Severity::Error, "BadParent", "Parent", "'one' is not an integer"},
      {Severity::Warning, "App", "", "section appears 2 times"},
      {Severity::Warning, "SubSystems", "", "appears more than once; only the first is read"},
  };
  for (const auto& e : expected) {
    EXPECT_TRUE(Has(findings, e.severity, e.section, e.key, e.fragment))
        << e.section << " " << e.key << ": " << e.fragment;
  }
  EXPECT_FALSE(Has(findings, Severity::Warning, "Links", "MenuLink1", ""));
  EXPECT_FALSE(Has(findings, Severity::Warning, "App", "Parent", ""));  // reached through Base
  EXPECT_EQ(findings.size(), std::size(expected));
}

TEST(CatalogueCheckTest, DemoDescriptionIsClean) {
  TIDFTextFile file;
  ASSERT_TRUE(file.LoadFromFile(kDemo)) << file.LastError;
  const auto findings = CheckCatalogue(file);
  for (const auto& f : findings) ADD_FAILURE() << f.section << " " << f.key << ": " << f.message;
}

TEST(CatalogueCheckTest, MissingCatalogueIsAWarning) {
  TIDFTextFile file;
  const auto findings = CheckCatalogue(file);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].severity, Severity::Warning);
}

}  // namespace
}  // namespace instkit
