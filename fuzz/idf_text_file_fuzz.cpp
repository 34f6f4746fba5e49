// Loads arbitrary bytes as an IDF text file, then saves and reloads what was
// read: no crash, leak or sanitizer report, and a save of a loaded file must
// load again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "Tidf/idf_text_file.h"
#include "host/platform/file.h"

namespace {
std::string TempPath(const char* suffix) {
  // Prefer memory-backed /dev/shm: every run writes and reads files.
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/instkit-fuzz-" + std::to_string(::getpid()) + suffix;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = TempPath(".in.idf");
  static const std::string out = TempPath(".out.idf");
  static const bool once = (instkit::SetDurableWrites(false), true);
  (void)once;
  instkit::WriteWholeFileAtomically(in, std::string(reinterpret_cast<const char*>(data), size));
  instkit::TIDFTextFile file;
  if (file.LoadFromFile(in)) {
    if (file.SaveToFile(out)) {
      instkit::TIDFTextFile again;
      if (!again.LoadFromFile(out)) __builtin_trap();
    }
  }
  return 0;
}
