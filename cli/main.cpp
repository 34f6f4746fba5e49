// instkit: the command-line host of the installer core.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/command.h"

namespace instkit::cli {

namespace {
std::vector<std::pair<int, TCommandSetup>>& Registry() {
  static std::vector<std::pair<int, TCommandSetup>> registry;
  return registry;
}
}  // namespace

TCommandRegistrar::TCommandRegistrar(int order, TCommandSetup setup) {
  Registry().emplace_back(order, std::move(setup));
}

void SetupAllCommands(CLI::App& app, int* exit_status) {
  auto& registry = Registry();
  std::stable_sort(registry.begin(), registry.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, setup] : registry) setup(app, exit_status);
}

}  // namespace instkit::cli

int main(int argc, char** argv) {
  CLI::App app{"instkit: IDF files, subsystem catalogues, installation runs and data files"};
  app.set_version_flag("--version", std::string("instkit ") + INSTKIT_VERSION);
  app.require_subcommand(1);
  int exit_status = 0;
  instkit::cli::SetupAllCommands(app, &exit_status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return exit_status;
}
