// Reading a catalogue: the IDF text file load and the catalogue build are
// measured apart, for 1,000, 10,000 and 100,000 subsystems.  Goal: 100,000
// built in under a second, and t(100k) / t(10k) at most 12.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

#include "bench/catalogue_support.h"

namespace instkit::bench {
namespace {

// One generated file per size, written once to a temporary folder and
// removed at exit.
struct TGeneratedFiles {
  std::map<int32_t, std::string> paths;
  ~TGeneratedFiles() {
    for (const auto& [n, path] : paths) std::filesystem::remove(path);
  }
};

const std::string& GeneratedFile(int32_t n) {
  static TGeneratedFiles files;
  auto& path = files.paths[n];
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() /
            ("instkit_catalogue_bench_" + std::to_string(::getpid()) + "_" + std::to_string(n) + ".idf"))
               .string();
    TIDFTextFile file;
    FillGeneratedCatalogue(file, n);
    if (!file.SaveToFile(path)) std::abort();
  }
  return path;
}

void BM_LoadIdfFile(benchmark::State& state) {
  const std::string& path = GeneratedFile(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    TIDFTextFile file;
    if (!file.LoadFromFile(path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(file.GetSectionCount());
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_BuildCatalogue(benchmark::State& state) {
  TIDFTextFile file;
  if (!file.LoadFromFile(GeneratedFile(static_cast<int32_t>(state.range(0))))) state.SkipWithError("load failed");
  int64_t nodes = 0;
  for (auto _ : state) {
    auto tree = std::make_unique<TSysTree>();
    if (!tree->LoadFromIDFFile(&file)) state.SkipWithError("build failed");
    // Counting and freeing the tree are not part of the build.
    state.PauseTiming();
    nodes = 0;
    std::vector<const TCustomSysNode*> todo{tree.get()};
    while (!todo.empty()) {
      const TCustomSysNode* node = todo.back();
      todo.pop_back();
      nodes += node->Count;
      for (const auto& child : node->Nodes) todo.push_back(child.get());
    }
    tree.reset();
    state.ResumeTiming();
  }
  state.counters["subsystems"] = static_cast<double>(nodes);
  state.SetItemsProcessed(state.iterations() * nodes);
}

// Writing the catalogue back into an IDF text file in memory.
void BM_SaveCatalogue(benchmark::State& state) {
  TIDFTextFile file;
  FillGeneratedCatalogue(file, static_cast<int32_t>(state.range(0)));
  TSysTree tree;
  tree.LoadFromIDFFile(&file);
  for (auto _ : state) {
    TIDFTextFile out;
    benchmark::DoNotOptimize(tree.SaveToIDFFile(&out));
  }
}

BENCHMARK(BM_LoadIdfFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildCatalogue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveCatalogue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace instkit::bench

BENCHMARK_MAIN();
