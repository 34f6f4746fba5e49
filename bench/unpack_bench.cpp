// Unpacking installation media (Media/unpacker.h) against `bsdtar -xf`
// (Debian libarchive-tools) on the same archive in the same run, and
// `verify` (Media/installed_files.h) of the unpacked files from the page
// cache.
//
// The archive is a plain tar of 20,000 files, 1 GiB of data (a mix: most
// files of a few KiB, one in twenty of about a MiB), made in the
// benchmark's temp folder and removed at the end; never committed.  Plain
// tar, so that what is measured is the unpacking and not a decompressor both
// sides share.  INSTKIT_UNPACK_BENCH_MB selects a smaller size for quick runs
// (the file count shrinks with it).
//
// Our unpack includes what an install needs beyond bsdtar: the entry
// checks, a temporary name and a rename per file, the journal and a content
// hash of every file for the manifest.  Each iteration unpacks into an empty
// folder; emptying it is not timed.
#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Media/installed_files.h"
#include "Media/unpack_journal.h"
#include "Media/unpacker.h"

namespace fs = std::filesystem;
using namespace instkit;

namespace {

struct TBenchMedia {
  fs::path folder;
  std::string archive;
  uint64_t bytes = 0;
  uint64_t files = 0;
  TManifest manifest;  // of the last unpack, for verify

  TBenchMedia() {
    const char* mb_text = std::getenv("INSTKIT_UNPACK_BENCH_MB");
    const uint64_t mb = mb_text != nullptr && std::atoi(mb_text) > 0 ? std::strtoull(mb_text, nullptr, 10) : 1024;
    const uint64_t total = mb << 20;
    const uint64_t count = std::max<uint64_t>(200, 20000 * mb / 1024);
    folder = fs::temp_directory_path() / ("instkit-unpack-bench-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    archive = (folder / "media.tar").string();
    Write(total, count);
  }
  ~TBenchMedia() {
    std::error_code code;
    fs::remove_all(folder, code);
  }

  // Small files of 1-16 KiB, every twentieth large; the large ones share
  // what the small ones leave of `total`.  Contents are pseudo-random, so no
  // file is like another.
  void Write(uint64_t total, uint64_t count) {
    std::mt19937_64 random(17);
    std::vector<uint64_t> sizes(count);
    uint64_t small_total = 0, large = 0;
    for (uint64_t i = 0; i < count; ++i) {
      if (i % 20 == 19) {
        ++large;
      } else {
        sizes[i] = 1024 + random() % (15 * 1024);
        small_total += sizes[i];
      }
    }
    const uint64_t large_size = total > small_total ? (total - small_total) / large : 0;
    for (uint64_t i = 19; i < count; i += 20) sizes[i] = large_size;
    std::vector<uint64_t> noise((large_size + 4096) / 8 + 1);
    for (uint64_t& word : noise) word = random();

    struct archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_open_filename(a, archive.c_str());
    for (uint64_t i = 0; i < count; ++i) {
      archive_entry* e = archive_entry_new();
      const std::string name = "d" + std::to_string(i / 500) + "/f" + std::to_string(i) + ".bin";
      archive_entry_set_pathname(e, name.c_str());
      archive_entry_set_filetype(e, AE_IFREG);
      archive_entry_set_perm(e, 0644);
      archive_entry_set_size(e, static_cast<la_int64_t>(sizes[i]));
      archive_entry_set_mtime(e, 1700000000, 0);
      archive_write_header(a, e);
      // A different window of the noise for each file.
      const char* start = reinterpret_cast<const char*>(noise.data()) + (i * 8) % 4096;
      archive_write_data(a, start, sizes[i]);
      archive_entry_free(e);
      bytes += sizes[i];
      ++files;
    }
    archive_write_close(a);
    archive_write_free(a);
  }

  std::string FreshTarget(const std::string& name) const {
    const fs::path target = folder / name;
    fs::remove_all(target);
    fs::create_directories(target);
    return target.string();
  }
};

TBenchMedia& Media() {
  static TBenchMedia media;
  return media;
}

void BM_UnpackInstkit(benchmark::State& state) {
  TBenchMedia& media = Media();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = media.FreshTarget("instkit");
    state.ResumeTiming();
    TUnpackJournal journal(target, "bench", TUnpackJournal::NewRunId());
    TUnpackLimits limits;
    const TUnpackResult result = UnpackArchive(media.archive, journal, limits, nullptr);
    if (!result.ok) {
      state.SkipWithError(result.error.c_str());
      return;
    }
    journal.Commit();
    state.PauseTiming();
    media.manifest = TManifest();
    TManifestArchive archive;
    archive.name = "media.tar";
    archive.entries = result.entries;
    media.manifest.archives.push_back(std::move(archive));
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * media.bytes));
  state.counters["files"] = static_cast<double>(media.files);
}

void BM_UnpackBsdtar(benchmark::State& state) {
  TBenchMedia& media = Media();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = media.FreshTarget("bsdtar");
    state.ResumeTiming();
    const std::string command = "bsdtar -xf " + media.archive + " -C " + target;
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("bsdtar failed (Debian package libarchive-tools)");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * media.bytes));
}

// Reads every file the last instkit unpack placed and compares its hash.
void BM_Verify(benchmark::State& state) {
  TBenchMedia& media = Media();
  if (media.manifest.archives.empty()) {
    state.SkipWithError("run BM_UnpackInstkit first");
    return;
  }
  const std::string target = (media.folder / "instkit").string();
  VerifyManifest(target, media.manifest);  // into the page cache
  for (auto _ : state) {
    const TVerifyResult result = VerifyManifest(target, media.manifest);
    if (!result.differences.empty()) {
      state.SkipWithError("verify found differences");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * media.bytes));
}

// Alternating, so that neither side has the quieter machine.
BENCHMARK(BM_UnpackBsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_UnpackInstkit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_UnpackBsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_UnpackInstkit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_UnpackBsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_UnpackInstkit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
