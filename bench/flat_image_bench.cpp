// The flat tree image of a 100,000-subsystem catalogue: writing it and
// reading it back, in MB/s.  The image is plain copying, so hundreds of MB/s
// or more are expected.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/catalogue_support.h"

namespace instkit::bench {
namespace {

// The generated catalogue's tree under one root node, as a driver images a
// subsystem with everything below it.
TSysNode& Catalogue() {
  static TSysNode* root = [] {
    TIDFTextFile file;
    FillGeneratedCatalogue(file, 100000);
    TSysTree tree;
    tree.LoadFromIDFFile(&file);
    auto* node = new TSysNode();
    tree.GetChildTree(node);
    return node;
  }();
  return *root;
}

void BM_SaveToPointer(benchmark::State& state) {
  const TSysNode& root = Catalogue();
  std::vector<unsigned char> block(static_cast<size_t>(root.GetSize()));
  for (auto _ : state) benchmark::DoNotOptimize(root.SaveToPointer(block.data(), block.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
  state.counters["image_bytes"] = static_cast<double>(block.size());
}

void BM_GetSize(benchmark::State& state) {
  const TSysNode& root = Catalogue();
  for (auto _ : state) benchmark::DoNotOptimize(root.GetSize());
}

void BM_LoadFromPointer(benchmark::State& state) {
  const TSysNode& root = Catalogue();
  std::vector<unsigned char> block(static_cast<size_t>(root.GetSize()));
  root.SaveToPointer(block.data(), block.size());
  for (auto _ : state) {
    TSysNode copy;
    benchmark::DoNotOptimize(copy.LoadFromPointer(block.data(), block.size()));
    state.PauseTiming();  // freeing the copy is not part of the reading
    copy.ClearNodes();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}

void BM_TreeLoadFrompointer(benchmark::State& state) {
  const TSysNode& root = Catalogue();
  std::vector<unsigned char> block(static_cast<size_t>(root.GetSize()));
  root.SaveToPointer(block.data(), block.size());
  for (auto _ : state) {
    TSysTree tree;
    benchmark::DoNotOptimize(tree.LoadFrompointer(block.data()));
    state.PauseTiming();
    tree.ClearNodes();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}

BENCHMARK(BM_SaveToPointer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromPointer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeLoadFrompointer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace instkit::bench

BENCHMARK_MAIN();
