#include "host/platform/user_dirs.h"

#include <filesystem>
#include <system_error>

#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

void EnsureDirectory(const std::string& path) {
  if (path.empty()) throw EInOutError("Cannot create a folder with an empty name");
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path), error);
  if (error || !std::filesystem::is_directory(std::filesystem::path(path))) {
    throw EInOutError(Format("Cannot create folder '%s': %s", path.c_str(),
                             error ? error.message().c_str() : "a file of that name exists"));
  }
}

}  // namespace instkit
