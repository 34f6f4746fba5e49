#include "cli/description_file.h"

#include "Engine/run_input.h"
#include "cli/terminal.h"

namespace instkit::cli {

std::unique_ptr<TIDFTextFile> LoadDescriptionOrReport(const std::string& path, TDescriptionFormat* format) {
  auto file = std::make_unique<TIDFTextFile>();
  TInputError error;
  if (!ReadDescription(path, *file, error, format)) {
    PrintError("instkit: " + error.sentence);
    return nullptr;
  }
  return file;
}

}  // namespace instkit::cli
