// The unpacker on arbitrary bytes, taken as an archive of any format
// libarchive reads, into a throwaway target: nothing may be written outside
// the target, every manifest entry must name a file below it with the
// recorded hash, and a rollback must leave the target as empty as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "Media/content_hash.h"
#include "Media/entry_name.h"
#include "Media/unpack_journal.h"
#include "Media/unpacker.h"

using namespace instkit;
namespace fs = std::filesystem;

namespace {

// Counts what is below `root` (links not followed).
size_t CountBelow(const fs::path& root) {
  size_t n = 0;
  std::error_code code;
  for (fs::recursive_directory_iterator it(root, code), end; !code && it != end; it.increment(code)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path work = fs::temp_directory_path() / ("instkit-unpacker-fuzz-" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work / "box" / "target");
  {
    std::ofstream(work / "archive", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::ofstream(work / "box" / "outside") << "outside";
  }
  const std::string target = (work / "box" / "target").string();
  {
    TUnpackJournal journal(target, "fuzz", TUnpackJournal::NewRunId());
    TUnpackLimits limits;
    limits.ratio = 64;
    limits.max_bytes = 64 * (size + 4096);
    const TUnpackResult result = UnpackArchive((work / "archive").string(), journal, limits, nullptr);
    // Only the target may have changed: the box holds it and "outside".
    if (CountBelow(work / "box") != 2 + CountBelow(target)) std::abort();
    if (result.ok) {
      // A path named twice holds what its last entry placed.
      std::map<std::string, const TManifestEntry*> last;
      for (const TManifestEntry& entry : result.entries) last[entry.path] = &entry;
      for (const auto& [path, entry] : last) {
        if (!CheckEntryName(path).ok) std::abort();
        const fs::path file = fs::path(target) / path;
        if (!fs::exists(fs::symlink_status(file))) std::abort();
        if (!entry->link && entry->hash != HashFile(file.string())) std::abort();
      }
    }
    journal.RollBack();
  }
  if (CountBelow(target) != 0) std::abort();
  fs::remove_all(work);
  return 0;
}
