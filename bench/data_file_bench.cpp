// Data-file throughput against its references, in one run:
//   FromTableToFile  vs a raw SQLite full scan of the same table;
//   FromFileToTable  vs a raw prepared insert of the same rows, one transaction;
//   SaveToFile / LoadFromFile of the same rows held in memory;
//   the file's size vs gzip -6 (zlib level 6) of the same plain image.
// Rows: INTEGER, TEXT of about 20 bytes, REAL, BOOLEAN; 1,000,000 of them
// (BENCH_ROWS overrides).  The export and the import each alternate with
// their reference, five times, and the best runs are compared.  A summary of
// the ratios follows the table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Didf/data_file.h"
#include "host/db/application_manager.h"
#include "host/compress/compressor.h"
#include "host/platform/file.h"
#include "host/platform/file_stream.h"
#include "host/base/format.h"
#include "host/base/memory_stream.h"
#include "host/db/sqlite_db.h"
#include "host/db/sqlite_table.h"

namespace instkit {
namespace {

using Clock = std::chrono::steady_clock;

// Processor time of the whole process: zstd worker threads count too.
double ProcessCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Wall-clock and processor time of the measured runs: the total, and the
// best (shortest) run.  The machine may be shared, so the ratios use the
// best runs, and each measured operation alternates with its reference
// (see the paired benchmarks below): both then meet the same conditions.
struct Stopwatch {
  double wall = 0;
  double cpu = 0;
  double best_wall = 0;
  double best_cpu = 0;
  Clock::time_point wall_start;
  double cpu_start = 0;
  void Start() {
    wall_start = Clock::now();
    cpu_start = ProcessCpuSeconds();
  }
  void Stop() {
    const double w = std::chrono::duration<double>(Clock::now() - wall_start).count();
    const double c = ProcessCpuSeconds() - cpu_start;
    wall += w;
    cpu += c;
    if (best_wall == 0 || w < best_wall) best_wall = w;
    if (best_cpu == 0 || c < best_cpu) best_cpu = c;
  }
};

struct Row {
  int64_t id;
  std::string name;
  double value;
  bool flag;
};

const char* kCreate = "CREATE TABLE %s (id INTEGER, name TEXT, value REAL, flag BOOLEAN)";

// The rates and sizes measured, for the summary.
std::map<std::string, double>& Results() {
  static std::map<std::string, double> results;
  return results;
}

// Rates of the best run, of `rows` rows each.
void Record(benchmark::State& state, const std::string& key, int64_t rows, const Stopwatch& watch) {
  const double rate = watch.best_wall > 0 ? static_cast<double>(rows) / watch.best_wall : 0;
  const double cpu_rate = watch.best_cpu > 0 ? static_cast<double>(rows) / watch.best_cpu : 0;
  Results()[key] = rate;
  Results()[key + "_cpu"] = cpu_rate;
  state.counters["rows/s"] = rate;
  state.counters["rows/cpu-s"] = cpu_rate;
}

class World {
 public:
  static World& Get() {
    static World world;
    return world;
  }

  int64_t rows;
  std::string dir;
  std::string source_db;
  std::string target_db;
  std::string data_file;
  std::vector<Row> data;

 private:
  World() {
    const char* env = std::getenv("BENCH_ROWS");
    rows = env ? std::atoll(env) : 1000000;
    std::string pattern = (std::filesystem::temp_directory_path() / "instkit-bench-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    source_db = dir + "/source.db";
    target_db = dir + "/target.db";
    data_file = dir + "/bench.idf";
    data.reserve(static_cast<size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
      data.push_back({i,
                      Format("item-%07lld-%06llx", static_cast<long long>(i),
                             static_cast<unsigned long long>((i * 2654435761LL) & 0xFFFFFF)),
                      static_cast<double>(i) * 0.25 + 0.1, i % 3 == 0});
    }
    TSqliteDb db(source_db);
    db.Exec(Format(kCreate, "bench"));
    InsertAll(db, "bench");
  }

 public:
  ~World() { std::filesystem::remove_all(dir); }

  // The reference insert: one prepared statement, one transaction.
  void InsertAll(TSqliteDb& db, const char* table) const {
    sqlite3* h = db.Handle();
    sqlite3_stmt* s = nullptr;
    const std::string sql = Format("INSERT INTO %s VALUES (?1, ?2, ?3, ?4)", table);
    sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr);
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    for (const Row& r : data) {
      sqlite3_bind_int64(s, 1, r.id);
      sqlite3_bind_text(s, 2, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
      sqlite3_bind_double(s, 3, r.value);
      sqlite3_bind_int(s, 4, r.flag ? 1 : 0);
      if (sqlite3_step(s) != SQLITE_DONE) std::abort();
      sqlite3_reset(s);
    }
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(s);
  }

  // A new database file with the empty table, for every insert and import:
  // dropping the table instead would leave its pages on the free list, and
  // only the first run would insert into a file that grows from nothing.
  void FreshTarget() const {
    std::filesystem::remove(target_db);
    std::filesystem::remove(target_db + "-journal");
    TSqliteDb db(target_db);
    db.Exec(Format(kCreate, "bench"));
  }
};

// One raw full scan of the table, the reference of the export.
void RawScan(TSqliteDb& db) {
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db.Handle(), "SELECT * FROM bench", -1, &s, nullptr);
  int64_t sum = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    sum += sqlite3_column_int64(s, 0);
    sum += sqlite3_column_bytes(s, 1) + *sqlite3_column_text(s, 1);
    sum += static_cast<int64_t>(sqlite3_column_double(s, 2));
    sum += sqlite3_column_int(s, 3);
  }
  sqlite3_finalize(s);
  benchmark::DoNotOptimize(sum);
}

// Each iteration runs the raw scan, then FromTableToFile.
void BM_ExportAgainstScan(benchmark::State& state) {
  World& w = World::Get();
  TSqliteDb db(w.source_db);
  TSqliteApplicationManager manager(w.source_db);
  BaseMng = &manager;
  Stopwatch scan, exporting;
  for (auto _ : state) {
    scan.Start();
    RawScan(db);
    scan.Stop();
    TIDFDataFile data;
    data.TableName = "bench";
    data.FileName = w.data_file;
    exporting.Start();
    if (!data.FromTableToFile()) state.SkipWithError(data.ErrorMessage.c_str());
    exporting.Stop();
  }
  BaseMng = nullptr;
  Record(state, "scan", w.rows, scan);
  Record(state, "export", w.rows, exporting);
}

// Each iteration runs the raw prepared insert into a fresh table, then
// FromFileToTable into a fresh table.
void BM_ImportAgainstInsert(benchmark::State& state) {
  World& w = World::Get();
  Stopwatch insert, importing;
  for (auto _ : state) {
    w.FreshTarget();
    {
      TSqliteDb db(w.target_db);
      insert.Start();
      w.InsertAll(db, "bench");
      insert.Stop();
    }
    w.FreshTarget();
    TSqliteApplicationManager manager(w.target_db);
    BaseMng = &manager;
    TIDFDataFile data;
    data.FileName = w.data_file;
    importing.Start();
    if (!data.FromFileToTable()) state.SkipWithError(data.ErrorMessage.c_str());
    importing.Stop();
    BaseMng = nullptr;
  }
  Record(state, "insert", w.rows, insert);
  Record(state, "import", w.rows, importing);
}
BENCHMARK(BM_ExportAgainstScan)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportAgainstInsert)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveToFile(benchmark::State& state) {
  World& w = World::Get();
  TIDFDataFile data;
  data.FileName = w.data_file;
  if (!data.LoadFromFile()) state.SkipWithError(data.ErrorMessage.c_str());
  data.FileName = w.dir + "/saved.idf";
  Stopwatch watch;
  int64_t rows = 0;
  for (auto _ : state) {
    watch.Start();
    if (!data.SaveToFile()) state.SkipWithError(data.ErrorMessage.c_str());
    watch.Stop();
    rows = data.GetRecordCount();  // per run
  }
  Record(state, "save", rows, watch);
}

void BM_LoadFromFile(benchmark::State& state) {
  World& w = World::Get();
  Stopwatch watch;
  int64_t rows = 0;
  for (auto _ : state) {
    auto data = std::make_unique<TIDFDataFile>();
    data->FileName = w.data_file;
    watch.Start();
    if (!data->LoadFromFile()) state.SkipWithError(data->ErrorMessage.c_str());
    watch.Stop();
    rows = data->GetRecordCount();  // per run
    state.PauseTiming();
    data.reset();
    state.ResumeTiming();
  }
  Record(state, "load", rows, watch);
}

void BM_SizeAgainstGzip(benchmark::State& state) {
  World& w = World::Get();
  TMemoryStream image;
  {
    TFileReadStream file(w.data_file);
    TIDFDataFile::DecompressStream(file, image);
  }
  const std::string& plain = image.Data();
  Stopwatch zstd_watch;
  Stopwatch gzip_watch;
  size_t zstd_size = 0;
  uLongf gzip_size = 0;
  for (auto _ : state) {
    TMemoryStream source(plain);
    zstd_watch.Start();
    TMemoryStream packed;
    TIDFDataFile::CompressStream(source, packed);
    zstd_watch.Stop();
    zstd_size = packed.Data().size();

    gzip_watch.Start();
    std::vector<Bytef> out(compressBound(plain.size()));
    gzip_size = out.size();
    if (compress2(out.data(), &gzip_size, reinterpret_cast<const Bytef*>(plain.data()), plain.size(), 6) != Z_OK) {
      state.SkipWithError("zlib failed");
    }
    gzip_watch.Stop();
  }
  state.counters["plain_bytes"] = static_cast<double>(plain.size());
  state.counters["idf_bytes"] = static_cast<double>(zstd_size);
  state.counters["gzip6_bytes"] = static_cast<double>(gzip_size);
  Results()["plain_bytes"] = static_cast<double>(plain.size());
  Results()["idf_bytes"] = static_cast<double>(zstd_size);
  Results()["gzip_bytes"] = static_cast<double>(gzip_size);
  Results()["idf_compress_s"] = zstd_watch.cpu / static_cast<double>(state.iterations());
  Results()["gzip_compress_s"] = gzip_watch.cpu / static_cast<double>(state.iterations());
}

BENCHMARK(BM_SaveToFile)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromFile)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SizeAgainstGzip)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintSummary() {
  auto& r = Results();
  auto ratio = [&](const char* a, const char* b) { return r[b] > 0 ? r[a] / r[b] : 0.0; };
  std::printf("\nSummary (%lld rows)\n", static_cast<long long>(World::Get().rows));
  std::printf("                       wall rows/s   cpu rows/s   ratio wall / cpu\n");
  auto line = [&](const char* label, const char* key, const char* reference, const char* goal) {
    const std::string cpu = std::string(key) + "_cpu";
    std::printf("  %-20s %12.0f %12.0f", label, r[key], r[cpu]);
    if (reference != nullptr) {
      const std::string ref_cpu = std::string(reference) + "_cpu";
      std::printf("   %.2f / %.2f x %s (goal >= %s)", ratio(key, reference), ratio(cpu.c_str(), ref_cpu.c_str()),
                  reference, goal);
    }
    std::printf("\n");
  };
  line("raw SQLite scan", "scan", nullptr, nullptr);
  line("FromTableToFile", "export", "scan", "0.30");
  line("raw prepared insert", "insert", nullptr, nullptr);
  line("FromFileToTable", "import", "insert", "0.80");
  line("SaveToFile", "save", nullptr, nullptr);
  line("LoadFromFile", "load", nullptr, nullptr);
  std::printf("  file size %.0f bytes = %.3f x gzip -6 (%.0f bytes; goal <= 1.05); plain image %.0f bytes\n",
              r["idf_bytes"], ratio("idf_bytes", "gzip_bytes"), r["gzip_bytes"], r["plain_bytes"]);
  std::printf("  compressing the image: %.3f cpu-s vs gzip -6 %.3f cpu-s = %.1f x faster\n", r["idf_compress_s"],
              r["gzip_compress_s"], r["idf_compress_s"] > 0 ? r["gzip_compress_s"] / r["idf_compress_s"] : 0.0);
}

}  // namespace
}  // namespace instkit

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  instkit::PrintSummary();
  return 0;
}
