// What several fuzz targets share: a scratch file per process, written
// plainly (no crash safety and no fsync per input), and message boxes that
// answer OK without showing anything.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "host/base/settings.h"
#include "host/platform/message_box.h"

namespace instkit::fuzz {

// <memory-backed /dev/shm, else /tmp>/instkit-fuzz-<pid><suffix>.
inline std::string ScratchPath(const std::string& suffix) {
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/instkit-fuzz-" + std::to_string(::getpid()) + suffix;
}

inline bool WriteScratch(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

inline void QuietMessageBoxes() {
  Settings().SetMessageBoxHandler([](uintptr_t, const std::string&, const std::string&, uint32_t) { return kIdOk; });
}

}  // namespace instkit::fuzz
