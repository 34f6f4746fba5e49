// IDF text files: LoadFromFile and SaveToFile throughput on a generated
// description of about 64 MB (200,000 sections of 10 parameters), with
// libinih parsing the same file in the same run as the reference.  Then
// LoadDescription on the same description with Russian values, in
// Windows-1251 and in UTF-8, against LoadFromFile on the Windows-1251 file.
#include <benchmark/benchmark.h>
#include <ini.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "Tidf/description_encoding.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/platform/file.h"

namespace {

constexpr int kSections = 200000;
constexpr int kParams = 10;

// The description's text; `value` is the text around each value's number.
std::string DescriptionText(const char* value_start, const char* value_end) {
  std::string text = "IDF-FPS-text\r\n\r\nProduct=bench\r\n";
  text.reserve(70u << 20);
  for (int s = 0; s < kSections; ++s) {
    text += "[Subsystem";
    text += std::to_string(s);
    text += "]\r\n";
    for (int p = 0; p < kParams; ++p) {
      text += "Parameter";
      text += std::to_string(p);
      text += value_start;
      text += std::to_string(s * kParams + p);
      text += value_end;
    }
  }
  return text;
}

std::string WriteBenchFile(const char* name, const std::string& text) {
  const auto dir = std::filesystem::temp_directory_path() / "instkit-bench";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / name).string();
  instkit::WriteWholeFileAtomically(file, text);
  return file;
}

const std::string& DescriptionPath() {
  static const std::string path =
      WriteBenchFile("large.idf", DescriptionText("=value number ", " of the description\r\n"));
  return path;
}

// "значение номер N описания" in Windows-1251 and in UTF-8.
const std::string& RussianPath(bool utf8) {
  static const std::string cp1251 = DescriptionText("=\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5 \xED\xEE\xEC\xE5\xF0 ",
                                                    " \xEE\xEF\xE8\xF1\xE0\xED\xE8\xFF\r\n");
  static const std::string paths[2] = {WriteBenchFile("large-cp1251.idf", cp1251),
                                       WriteBenchFile("large-utf8.idf", instkit::Cp1251ToUtf8(cp1251))};
  return paths[utf8 ? 1 : 0];
}

int64_t FileSize() { return static_cast<int64_t>(std::filesystem::file_size(DescriptionPath())); }

// Loads `path` by LoadFromFile, or by LoadDescription when `description`.
void LoadEachIteration(benchmark::State& state, const std::string& path, bool description) {
  for (auto _ : state) {
    auto file = std::make_unique<instkit::TIDFTextFile>();
    const bool loaded = description ? instkit::LoadDescription(*file, path) : file->LoadFromFile(path);
    if (!loaded) state.SkipWithError(file->LastError.c_str());
    benchmark::DoNotOptimize(file->GetSectionCount());
    // Freeing the sections is not part of loading.
    state.PauseTiming();
    file.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_IdfLoadFromFile(benchmark::State& state) { LoadEachIteration(state, DescriptionPath(), false); }
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

// Reference: the Windows-1251 file read as it is.
void BM_IdfLoadFromFileRussian(benchmark::State& state) { LoadEachIteration(state, RussianPath(false), false); }
BENCHMARK(BM_IdfLoadFromFileRussian)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The same file through the encoding check (found to be Windows-1251).
void BM_IdfLoadDescriptionWindows1251(benchmark::State& state) { LoadEachIteration(state, RussianPath(false), true); }
BENCHMARK(BM_IdfLoadDescriptionWindows1251)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Its UTF-8 form, converted on load (bytes processed: the larger UTF-8 file).
void BM_IdfLoadDescriptionUtf8(benchmark::State& state) { LoadEachIteration(state, RussianPath(true), true); }
BENCHMARK(BM_IdfLoadDescriptionUtf8)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
