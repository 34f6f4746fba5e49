// IDF text files: LoadFromFile and SaveToFile throughput on a generated
// description of about 64 MB (200,000 sections of 10 parameters), with
// libinih parsing the same file in the same run as the reference.
#include <benchmark/benchmark.h>
#include <ini.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "Tidf/idf_text_file.h"
#include "host/platform/file.h"

namespace {

constexpr int kSections = 200000;
constexpr int kParams = 10;

const std::string& DescriptionPath() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() / "instkit-bench";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "large.idf").string();
    std::string text = "IDF-FPS-text\r\n\r\nProduct=bench\r\n";
    text.reserve(70u << 20);
    for (int s = 0; s < kSections; ++s) {
      text += "[Subsystem";
      text += std::to_string(s);
      text += "]\r\n";
      for (int p = 0; p < kParams; ++p) {
        text += "Parameter";
        text += std::to_string(p);
        text += "=value number ";
        text += std::to_string(s * kParams + p);
        text += " of the description\r\n";
      }
    }
    instkit::WriteWholeFileAtomically(file, text);
    return file;
  }();
  return path;
}

int64_t FileSize() { return static_cast<int64_t>(std::filesystem::file_size(DescriptionPath())); }

void BM_IdfLoadFromFile(benchmark::State& state) {
  const std::string& path = DescriptionPath();
  for (auto _ : state) {
    auto file = std::make_unique<instkit::TIDFTextFile>();
    if (!file->LoadFromFile(path)) state.SkipWithError(file->LastError.c_str());
    benchmark::DoNotOptimize(file->GetSectionCount());
    // Freeing the sections is not part of loading.
    state.PauseTiming();
    file.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_IdfLoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int CountHandler(void* user, const char*, const char*, const char*) {
  ++*static_cast<int64_t*>(user);
  return 1;
}

void BM_InihParseReference(benchmark::State& state) {
  const std::string& path = DescriptionPath();
  for (auto _ : state) {
    int64_t count = 0;
    // The IDF magic line has no "=": inih reports it as line 1 and parses on.
    if (ini_parse(path.c_str(), CountHandler, &count) < 0) state.SkipWithError("inih failed");
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_InihParseReference)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_IdfSaveToFile(benchmark::State& state) {
  instkit::TIDFTextFile file;
  if (!file.LoadFromFile(DescriptionPath())) state.SkipWithError(file.LastError.c_str());
  const std::string out = DescriptionPath() + ".saved";
  for (auto _ : state) {
    if (!file.SaveToFile(out)) state.SkipWithError(file.LastError.c_str());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(out)));
  std::filesystem::remove(out);
}
BENCHMARK(BM_IdfSaveToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
