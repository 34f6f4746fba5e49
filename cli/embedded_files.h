// Files compiled into the instkit program (cmake/embed_files.cmake makes the
// source that defines them from a folder of the source tree).
#pragma once

#include <cstddef>

namespace instkit::cli {

struct TEmbeddedFile {
  const char* path;  // relative, '/'-separated
  const unsigned char* bytes;
  size_t size;
};

// The project `instkit init` writes: cli/init_template/.
extern const TEmbeddedFile kInitTemplate[];
extern const size_t kInitTemplate_count;

}  // namespace instkit::cli
