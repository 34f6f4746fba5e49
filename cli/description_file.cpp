#include "cli/description_file.h"

#include "cli/terminal.h"
#include "host/base/codepage.h"

namespace instkit::cli {

std::unique_ptr<TIDFTextFile> LoadDescriptionOrReport(const std::string& path, TDescriptionFormat* format) {
  auto file = std::make_unique<TIDFTextFile>();
  if (!LoadDescription(*file, path, format)) {
    const std::string reason = file->LastError.empty() ? "not a valid IDF text file" : file->LastError;
    PrintError("instkit: " + path + ": " + Cp1251ToUtf8(reason));
    return nullptr;
  }
  return file;
}

}  // namespace instkit::cli
