// instkit init DIR: a new installation project to start from: a description
// (setup.idf), one subsystem library built with find_package(instkit)
// (library/), the files it installs (payload/) and a three-line README.
//
// The project is written into a temporary folder beside DIR and renamed to
// DIR when complete, so DIR either does not appear or holds the whole
// project.  DIR must not exist or be an empty folder: init never overwrites.
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/command.h"
#include "cli/embedded_files.h"
#include "cli/terminal.h"
#include "host/base/exception.h"
#include "host/platform/file.h"

namespace instkit::cli {

namespace {

namespace fs = std::filesystem;

// Writes the project into `staging`; raises on failure.
void WriteProject(const fs::path& staging) {
  fs::create_directory(staging);
  for (size_t i = 0; i < kInitTemplate_count; ++i) {
    const TEmbeddedFile& file = kInitTemplate[i];
    const fs::path target = staging / fs::path(file.path);
    fs::create_directories(target.parent_path());
    WriteWholeFileAtomically(target.string(), std::string_view(reinterpret_cast<const char*>(file.bytes), file.size));
  }
}

std::string Readme() {
  for (size_t i = 0; i < kInitTemplate_count; ++i) {
    if (std::string_view(kInitTemplate[i].path) == "README") {
      return std::string(reinterpret_cast<const char*>(kInitTemplate[i].bytes), kInitTemplate[i].size);
    }
  }
  return "";
}

int Init(const std::string& dir) {
  fs::path target = fs::path(dir).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();  // "name/"
  std::error_code ec;
  if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
    PrintError("instkit: " + dir + ": exists and is not an empty folder; init writes only a new project");
    return 2;
  }
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const fs::path staging =
      parent / ("." + target.filename().string() + ".instkit-init-" + std::to_string(std::random_device()()));
  try {
    fs::create_directories(parent);
    WriteProject(staging);
    // rename() replaces an empty folder of that name.
    fs::rename(staging, target);
  } catch (const fs::filesystem_error& e) {
    fs::remove_all(staging, ec);
    PrintError("instkit: " + dir + ": " + e.code().message() + " (" + e.path1().string() + ")");
    return 1;
  } catch (const Exception& e) {
    fs::remove_all(staging, ec);
    PrintError("instkit: " + dir + ": " + e.Message());
    return 1;
  }
  PrintUtf8("instkit: made " + dir + ": setup.idf, library/, payload/, README\n" + Readme());
  return 0;
}

const TCommandRegistrar kRegistrar(5, [](CLI::App& app, int* status) {
  auto* cmd =
      app.add_subcommand("init", "Make a new installation project: a description, a subsystem library and its files");
  auto dir = std::make_shared<std::string>();
  cmd->add_option("DIR", *dir, "Folder to create (must not exist, or be empty)")->required();
  cmd->callback([=] { *status = Init(*dir); });
});

}  // namespace
}  // namespace instkit::cli
