// Selection on a generated 100,000-subsystem catalogue: building the view's
// table, ticking the root (everything below it follows), and unticking a
// subsystem that 10,000 others depend on.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "Viewlist/system_view.h"
#include "Viewlist/tree_nodes.h"

namespace instkit {
namespace {

constexpr int32_t kSubsystems = 100000;
constexpr int32_t kFanout = 10;
constexpr int32_t kDependents = 10000;
constexpr int32_t kShared = 2;  // the subsystem the 10,000 depend on

// One top-level subsystem (number 1) with every other one below it, ten
// children per node in breadth-first numbering.  Subsystem kShared is
// depended on by 10,000 others; every subsystem also depends on up to two
// random ones.  The catalogue is written as an installation description and
// read with LoadFromIDFFile, as a host gets it (so BackRef is computed and
// the records lie in memory in the reader's order).
struct TCatalogue {
  TSysTree tree;
  std::vector<TSysNode*> nodes;  // by number - 1
  TTreeNodes items;

  TCatalogue() {
    std::mt19937 rng(7);
    std::vector<std::vector<int32_t>> depend(kSubsystems);
    std::vector<int32_t> dependents(kSubsystems);
    for (int32_t i = 0; i < kSubsystems; ++i) dependents[static_cast<size_t>(i)] = i + 1;
    std::shuffle(dependents.begin(), dependents.end(), rng);
    int32_t taken = 0;
    for (int32_t n : dependents) {
      if (taken == kDependents) break;
      if (n == kShared) continue;
      depend[static_cast<size_t>(n - 1)].push_back(kShared);
      ++taken;
    }
    for (int32_t i = 0; i < kSubsystems; ++i) {
      const int32_t extra = static_cast<int32_t>(rng() % 3);
      for (int32_t k = 0; k < extra; ++k)
        depend[static_cast<size_t>(i)].push_back(1 + static_cast<int32_t>(rng() % kSubsystems));
    }

    TIDFTextFile file;
    TIDFSection* catalogue = file.AddSection("SubSystems");
    for (int32_t i = 0; i < kSubsystems; ++i)
      catalogue->AddParam("S" + std::to_string(i + 1), ftInteger)->SetAsInteger(i + 1);
    for (int32_t i = 0; i < kSubsystems; ++i) {
      TIDFSection* section = file.AddSection("S" + std::to_string(i + 1));
      std::string d;
      for (int32_t target : depend[static_cast<size_t>(i)]) d += (d.empty() ? "" : ",") + std::to_string(target);
      section->AddParam("Parent", ftInteger)->SetAsInteger(i == 0 ? 0 : (i - 1) / kFanout + 1);
      section->AddParam("Depend", ftString)->SetAsString(d);
      section->AddParam("Short name", ftString)->SetAsString("Subsystem " + std::to_string(i + 1));
      section->AddParam("Archive", ftString)->SetAsString("data" + std::to_string(i % 7) + ".arj");
    }
    if (!tree.LoadFromIDFFile(&file)) std::abort();
    nodes.resize(kSubsystems);
    std::vector<TSysNode*> pending;
    for (const auto& top : tree.Nodes) pending.push_back(top.get());
    while (!pending.empty()) {
      TSysNode* node = pending.back();
      pending.pop_back();
      nodes[static_cast<size_t>(node->Info->SysIndex - 1)] = node;
      for (const auto& child : node->Nodes) pending.push_back(child.get());
    }
    for (TSysNode* node : nodes) {
      if (node == nullptr) std::abort();
    }
    tree.SaveToTreeNodes(&items);
  }

  void SetAll(bool checked) {
    for (TSysNode* node : nodes) {
      node->Info->Checked = checked;
      node->Info->AllCheck = checked;
    }
  }
};

TCatalogue& Catalogue() {
  static TCatalogue catalogue;
  return catalogue;
}

void BM_ViewListLoad(benchmark::State& state) {
  TCatalogue& c = Catalogue();
  TViewList list;
  for (auto _ : state) benchmark::DoNotOptimize(list.Load(&c.items));
  state.counters["records"] = list.Count();
}

void BM_TickRoot(benchmark::State& state) {
  TCatalogue& c = Catalogue();
  TSystemView view(&c.items);
  for (auto _ : state) {
    state.PauseTiming();
    c.SetAll(false);
    state.ResumeTiming();
    view.SelectNode(c.items.GetFirstNode());
  }
  int64_t ticked = 0;
  for (TSysNode* node : c.nodes) ticked += node->Info->Checked ? 1 : 0;
  state.counters["ticked"] = static_cast<double>(ticked);
}

void BM_UntickShared(benchmark::State& state) {
  TCatalogue& c = Catalogue();
  TSystemView view(&c.items);
  TTreeNode* shared = c.items.GetNode(view.GetNodeId(kShared));
  for (auto _ : state) {
    state.PauseTiming();
    c.SetAll(true);
    state.ResumeTiming();
    view.UnselectNode(shared);
  }
  int64_t unticked = 0;
  for (TSysNode* node : c.nodes) unticked += node->Info->Checked ? 0 : 1;
  state.counters["unticked"] = static_cast<double>(unticked);
}

void BM_ReadSelectionBack(benchmark::State& state) {
  TCatalogue& c = Catalogue();
  c.SetAll(true);
  for (auto _ : state) {
    TSysTree selected;
    benchmark::DoNotOptimize(selected.LoadFromTreeNodes(&c.items));
  }
}

void BM_GetDepRefs(benchmark::State& state) {
  TCatalogue& c = Catalogue();
  for (auto _ : state) benchmark::DoNotOptimize(c.tree.GetDepRefs());
}

BENCHMARK(BM_ViewListLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickRoot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UntickShared)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSelectionBack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetDepRefs)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace instkit

BENCHMARK_MAIN();
