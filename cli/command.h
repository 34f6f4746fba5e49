// Registration of the instkit subcommands.  Each cli/cmd_*.cpp file defines a
// static TCommandRegistrar that adds its subcommand to the application; main
// builds the app from every registrar, in the order of their `order` keys.
#pragma once

#include <functional>
#include <CLI/CLI.hpp>

namespace instkit::cli {

// Adds a subcommand to `app`.  The callback it installs runs the command and
// stores the process exit status in *exit_status.
using TCommandSetup = std::function<void(CLI::App& app, int* exit_status)>;

struct TCommandRegistrar {
  TCommandRegistrar(int order, TCommandSetup setup);
};

void SetupAllCommands(CLI::App& app, int* exit_status);

}  // namespace instkit::cli
