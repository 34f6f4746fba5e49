// The indexed catalogue reader against a plain reader that follows the
// reading rules literally (every subsystem scans the whole catalogue), on
// generated catalogues full of awkward cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <tuple>

#include "Syslist/catalogue_check.h"
#include "catalogue_test_support.h"
#include "host/base/exception.h"

namespace instkit {
namespace {

using testing::AddTextSection;
using testing::TMessageBoxRecorder;
using testing::TParams;

// ---- The plain reader -------------------------------------------------------

// A "Parent" cycle would make this recurse for ever; past a depth no real
// catalogue reaches it raises instead, as the indexed reader does.
void PlainLoadChildren(TSysNode& parent, const TIDFSection* catalogue, const TIDFTextFile& file, int depth = 0) {
  if (depth > 1000) throw Exception("ECatalogueError", "cycle");
  for (int32_t i = 0; i < catalogue->GetFieldCount(); ++i) {
    const TIDFSection* section = file.GetSectionByName(catalogue->GetFields(i)->Name());
    if (section == nullptr) continue;
    const int32_t p = TCustomSysNode::GetParamAsInteger(section, "Parent");
    if (p == 0 || p != parent.Info->SysIndex) continue;
    auto node = std::make_unique<TSysNode>();
    node->Info->SysIndex = TCustomSysNode::GetSysIndex(catalogue, section->SectionName);
    node->GetData(section);
    node->Info->BackRef = TCustomSysNode::GetBackRef(node->Info->SysIndex, catalogue, &file);
    TSysNode* added = parent.AddNode(std::move(node));
    PlainLoadChildren(*added, catalogue, file, depth + 1);
  }
}

bool PlainLoad(TSysTree& tree, const TIDFTextFile& file) {
  tree.ClearNodes();
  const TIDFSection* catalogue = file.GetSectionByName("SubSystems");
  if (catalogue == nullptr) return true;
  const int32_t n = catalogue->GetFieldCount();
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = i + 1; j < n; ++j) {
      if (catalogue->GetFields(i)->GetAsInteger() == catalogue->GetFields(j)->GetAsInteger()) {
        MessageBox(0, Utf8ToCp1251("Найдены системы с одинаковыми номерами"), Utf8ToCp1251("Ошибка"), kStyleError);
        return false;
      }
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    const TField* entry = catalogue->GetFields(i);
    const int32_t number = entry->GetAsInteger();
    if (number == 0) continue;
    const TIDFSection* section = file.GetSectionByName(entry->Name());
    if (section == nullptr) continue;
    try {
      if (TCustomSysNode::GetParamAsInteger(section, "Parent") != 0) continue;
      auto node = std::make_unique<TSysNode>();
      node->Info->SysIndex = number;
      node->GetData(section);
      node->Info->BackRef = TCustomSysNode::GetBackRef(number, catalogue, &file);
      TSysNode* added = tree.AddNode(std::move(node));
      PlainLoadChildren(*added, catalogue, file);
    } catch (...) {
    }
  }
  return true;
}

// ---- Generated catalogues -------------------------------------------------

struct TGenOptions {
  double duplicate = 0;       // a number repeats an earlier one
  double zero = 0.05;         // number 0
  double bad_value = 0;       // a catalogue value that is not an integer
  double bad_depend = 0;      // a Depend item that does not convert
  double bad_parent = 0;      // a Parent that does not convert
  double repeat_name = 0.04;  // a catalogue name repeats an earlier one
  // Scales the other oddities: missing, repeated and case-differing
  // sections, foreign links, numbers naming nothing.  At 0 every Parent and
  // Depend names an earlier subsystem: no cycles.
  double noise = 1;
};

std::unique_ptr<TIDFTextFile> Generate(uint32_t seed, int n, const TGenOptions& opt) {
  std::mt19937 rng(seed);
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<uint32_t>(k)); };

  TParams catalogue;
  for (int i = 0; i < n; ++i) {
    std::string name = "S" + std::to_string(i);
    if (i > 0 && chance(opt.repeat_name)) name = catalogue[static_cast<size_t>(pick(i))].first;  // repeated name
    std::string value = std::to_string(i + 1);
    if (chance(opt.zero)) value = "0";
    if (i > 0 && chance(opt.duplicate)) value = catalogue[static_cast<size_t>(pick(i))].second;
    if (chance(opt.bad_value)) value = "v" + value;
    catalogue.emplace_back(name, value);
  }
  auto file = std::make_unique<TIDFTextFile>();
  if (chance(0.1)) AddTextSection(*file, "Other", {{"x", "1"}});
  AddTextSection(*file, "SubSystems", catalogue);
  if (chance(0.1 * opt.noise)) AddTextSection(*file, "SubSystems", {{"S0", "500"}});  // second catalogue: never read

  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);  // sections in any order
  for (int i : order) {
    if (chance(0.08 * opt.noise)) continue;  // no section
    std::string section_name = "S" + std::to_string(i);
    if (chance(0.05 * opt.noise)) section_name = "s" + std::to_string(i);  // differs in case only
    const int copies = chance(0.05 * opt.noise) ? 2 : 1;                   // repeated section
    // Numbers for Parent and Depend: any (sometimes naming nothing) or, without noise, an earlier one.
    auto some_number = [&]() { return std::to_string(1 + (opt.noise > 0 ? pick(n + 2) : pick(std::max(i, 1)))); };
    for (int copy = 0; copy < copies; ++copy) {
      TParams params;
      const int kind = opt.noise > 0 || i > 0 ? pick(10) : 0;
      if (kind < 3) {
        params.emplace_back("Parent", kind == 0 ? "0" : "");
      } else if (kind < 9) {
        params.emplace_back("Parent", chance(0.05 * opt.noise) ? "999999" : some_number());
      }
      if (chance(opt.bad_parent)) params.emplace_back(chance(0.5) ? "Parent" : "parent", "p");
      if (params.size() == 2) std::swap(params[0], params[1]);
      std::string depend;
      const int items = opt.noise > 0 || i > 0 ? pick(4) : 0;
      for (int k = 0; k < items; ++k) {
        // ", " is harmless only before the last item; " ," never converts.
        if (k > 0) depend += chance(opt.bad_depend) ? " ," : (k == items - 1 && chance(0.3)) ? ", " : ",";
        depend += chance(opt.bad_depend) ? "z" : some_number();
      }
      if (!depend.empty() || chance(0.3)) params.emplace_back(chance(0.8) ? "Depend" : "DEPEND", depend);
      params.emplace_back("Short name", "N" + std::to_string(i) + "." + std::to_string(copy));
      if (chance(0.5)) params.emplace_back("Full Name", "Full " + std::to_string(i));
      if (chance(0.3)) params.emplace_back("Library", "lib" + std::to_string(i) + ".so");
      if (chance(0.3)) params.emplace_back("MenuLink" + std::to_string(pick(3)), "m" + std::to_string(i));
      if (chance(0.2)) params.emplace_back("DesktopLink1", "d" + std::to_string(i));
      if (chance(0.05 * opt.noise)) params.emplace_back(" MenuLink1", "not a link");
      AddTextSection(*file, section_name, params);
    }
  }
  return file;
}

// What a reading answered, whether it raised EConvertError, and the message
// boxes it showed.
template <typename Load>
std::tuple<bool, bool, std::vector<testing::TShownBox>> Run(Load load) {
  TMessageBoxRecorder recorder;
  bool result = false, raised = false;
  try {
    result = load();
  } catch (const EConvertError&) {
    raised = true;
  }
  return {result, raised, recorder.shown};
}

void CompareOn(const TIDFTextFile& file, const std::string& label, int* loaded_nodes) {
  SCOPED_TRACE(label);
  TSysTree fast, plain;
  EXPECT_EQ(Run([&] { return fast.LoadFromIDFFile(&file); }), Run([&] { return PlainLoad(plain, file); }));
  testing::ExpectSameTree(fast, plain);
  *loaded_nodes += testing::CountNodes(fast);
}

TEST(CatalogueReferenceTest, IndexedReaderMatchesPlainReader) {
  const struct {
    const char* name;
    TGenOptions options;
  } profiles[] = {
      {"clean", {}},
      // Unique names and numbers: read by joining nodes in catalogue order.
      {"unique", {0, 0.01, 0, 0, 0, 0}},
      {"duplicates", {0.02, 0.05, 0, 0, 0}},
      {"zeros", {0, 0.3, 0, 0, 0}},
      {"bad values", {0, 0.05, 0.02, 0, 0}},
      {"bad depend", {0, 0.05, 0, 0.01, 0}},
      {"bad parent", {0, 0.05, 0, 0, 0.01}},
      {"everything", {0.01, 0.1, 0.005, 0.005, 0.005}},
  };
  int loaded = 0;
  for (const auto& profile : profiles) {
    for (uint32_t seed = 0; seed < 60; ++seed) {
      const int n = 1 + static_cast<int>(seed * 7 % 90);
      auto file = Generate(seed * 31 + 7, n, profile.options);
      CompareOn(*file, std::string(profile.name) + " seed " + std::to_string(seed), &loaded);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(loaded, 1000);  // the generator does produce real trees
}

TEST(CatalogueReferenceTest, PublicLoadChildNodesMatchesPlainScan) {
  for (uint32_t seed = 0; seed < 40; ++seed) {
    SCOPED_TRACE(seed);
    auto file = Generate(seed + 1000, 40, {0, 0.1, 0, 0.01, 0.01});
    const TIDFSection* catalogue = file->GetSectionByName("SubSystems");
    for (int32_t number : {1, 2, 3, 5, 8}) {
      TSysNode fast, plain;
      fast.Info->SysIndex = plain.Info->SysIndex = number;
      // The class name of what a reading raised, or nothing.
      auto raised = [](auto&& load) -> std::optional<std::string> {
        try {
          load();
          return std::nullopt;
        } catch (const Exception& e) {
          return e.ClassName();
        }
      };
      const auto fast_class = raised([&] { fast.LoadChildNodes(catalogue, file.get()); });
      EXPECT_EQ(fast_class, raised([&] { PlainLoadChildren(plain, catalogue, *file); })) << number;
      // A cycle ends the two readers at different depths; compare the rest.
      if (fast_class != "ECatalogueError") testing::ExpectSameTree(fast, plain);
    }
  }
}

// The checker against the reader on the same generated catalogues: what the
// reader rejects has an error finding, a catalogue without errors loads,
// and one without any finding loads every entry (the reader dropped nothing).
TEST(CatalogueReferenceTest, CheckerFindsWhatTheReaderRejectsOrDrops) {
  int silent = 0, rejected = 0;
  for (uint32_t seed = 0; seed < 400; ++seed) {
    SCOPED_TRACE(seed);
    const double p = seed % 2 == 0 ? 0 : 0.01;
    auto file = Generate(seed * 13 + 5, 1 + static_cast<int>(seed % 60), {p, p, p / 2, p, p, p, p});
    const auto findings = CheckCatalogue(*file);
    const bool errors = std::any_of(findings.begin(), findings.end(),
                                    [](const TCatalogueFinding& f) { return f.severity == TCatalogueFinding::Error; });
    TSysTree tree;
    const auto [loaded, raised, boxes] = instkit::Run([&] { return tree.LoadFromIDFFile(file.get()); });
    if (!loaded || raised) {
      ++rejected;
      EXPECT_TRUE(errors);
    } else if (findings.empty()) {
      ++silent;
      EXPECT_EQ(testing::CountNodes(tree), file->GetSectionByName("SubSystems")->GetFieldCount());
    }
    if (!errors) {
      EXPECT_TRUE(loaded && !raised && boxes.empty());
    }
  }
  EXPECT_GT(silent, 20);  // both sides of the property were reached
  EXPECT_GT(rejected, 20);
}

}  // namespace
}  // namespace instkit
