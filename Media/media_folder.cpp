#include "Media/media_folder.h"

#include <filesystem>
#include <system_error>

#include "host/base/codepage.h"
#include "host/base/text.h"

namespace instkit {

namespace fs = std::filesystem;

std::string FindArchiveFile(const std::string& folder, const std::string& name) {
  if (name.empty()) return std::string();
  const std::string wanted = Cp1251ToUtf8(name);
  if (wanted.find('/') != std::string::npos || wanted == "." || wanted == "..") return std::string();
  std::error_code code;
  const fs::path exact = fs::path(folder) / wanted;
  if (fs::is_regular_file(exact, code)) return exact.string();
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    if (AsciiEqualNoCase(it->path().filename().string(), wanted) && it->is_regular_file(code)) {
      return it->path().string();
    }
  }
  return std::string();
}

}  // namespace instkit
