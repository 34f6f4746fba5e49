#include <cstdio>

#include <cstdint>

namespace instkit {

// Counts the NUL-terminated entries of /proc/self/cmdline, minus the program
// name.  Without /proc the count is 0.
int32_t PlatformProcessArgumentCount() {
  std::FILE* f = std::fopen("/proc/self/cmdline", "rb");
  if (f == nullptr) return 0;
  int32_t entries = 0;
  int c;
  bool in_entry = false;
  while ((c = std::fgetc(f)) != EOF) {
    in_entry = true;
    if (c == '\0') {
      ++entries;
      in_entry = false;
    }
  }
  if (in_entry) ++entries;
  std::fclose(f);
  return entries > 0 ? entries - 1 : 0;
}

}  // namespace instkit
