// instkit: the command-line host of the installer core.
//
// Usage errors (an unknown command or option, a missing or malformed value)
// print one line, "instkit: unknown command 'x'" or "instkit install:
// <what is wrong>", and exit with status 2, as every command's bad input
// does; --help and --version exit 0.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <vector>

#include "cli/command.h"
#include "cli/terminal.h"

namespace instkit::cli {

namespace {
std::vector<std::pair<int, TCommandSetup>>& Registry() {
  static std::vector<std::pair<int, TCommandSetup>> registry;
  return registry;
}

// The unexpected arguments named in an ExtrasError, in command-line order.
std::vector<std::string> ExtraArguments(const std::string& message) {
  std::vector<std::string> args;
  const size_t colon = message.find(": ");
  if (colon == std::string::npos) return args;
  size_t pos = colon + 2;
  while (pos < message.size()) {
    size_t end = message.find(' ', pos);
    if (end == std::string::npos) end = message.size();
    if (end > pos) args.push_back(message.substr(pos, end - pos));
    pos = end + 1;
  }
  std::reverse(args.begin(), args.end());  // CLI11 lists them last first
  return args;
}

std::string UsageMessage(CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
  std::string command;
  for (const CLI::App* sub : app.get_subcommands()) command = sub->get_name();
  const std::string who = command.empty() ? "instkit: " : "instkit " + command + ": ";
  const std::string help = command.empty() ? "instkit --help" : "instkit " + command + " --help";
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::vector<std::string> args = ExtraArguments(error.what());
    const std::string first = args.empty() ? std::string("?") : args.front();
    if (!first.empty() && first[0] == '-') return who + "unknown option '" + first + "' (see " + help + ")";
    if (command.empty()) return who + "unknown command '" + first + "' (see " + help + ")";
    return who + "unexpected argument '" + first + "' (see " + help + ")";
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr && command.empty()) {
    // No command matched: the first argument is not one.
    if (argc > 1 && argv[1][0] == '-') return who + "unknown option '" + argv[1] + "' (see " + help + ")";
    if (argc > 1) return who + "unknown command '" + argv[1] + "' (see " + help + ")";
    return who + "a command is required (see " + help + ")";
  }
  std::string text = error.what();
  if (!text.empty() && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
      (text.size() < 2 || std::islower(static_cast<unsigned char>(text[1])) != 0)) {
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return who + text + " (see " + help + ")";
}

}  // namespace

TCommandRegistrar::TCommandRegistrar(int order, TCommandSetup setup) {
  Registry().emplace_back(order, std::move(setup));
}

void SetupAllCommands(CLI::App& app, int* exit_status) {
  auto& registry = Registry();
  std::stable_sort(registry.begin(), registry.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, setup] : registry) setup(app, exit_status);
}

}  // namespace instkit::cli

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"instkit: IDF files, subsystem catalogues, installation runs and data files"};
  app.set_version_flag("--version", std::string("instkit ") + INSTKIT_VERSION);
  app.require_subcommand(1);
  app.footer("Usage errors exit with status 2.");
  int exit_status = 0;
  instkit::cli::SetupAllCommands(app, &exit_status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    instkit::cli::PrintError(instkit::cli::UsageMessage(app, e, argc, argv));
    return 2;
  }
  return exit_status;
}

}  // namespace

// Commands catch their own failures; what escapes them (memory exhausted
// while the commands are set up or parsed) still ends in one line and
// status 1, never in std::terminate.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "instkit: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "instkit: unexpected failure\n");
  }
  return 1;
}
