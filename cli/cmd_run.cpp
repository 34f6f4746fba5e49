// instkit install|uninstall|generate FILE --path DIR ...: an installation run
// over every subsystem of a description (cli/install_run.h does the work).
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/install_run.h"
#include "cli/terminal.h"

namespace instkit::cli {

namespace {

struct TRunCommand {
  const char* name;
  uint8_t mode;
  const char* help;
};

const TRunCommand kRunCommands[] = {
    {"install", 1, "Install every subsystem of an installation description"},
    {"uninstall", 2, "Uninstall every subsystem of an installation description"},
    {"generate", 3, "Run every subsystem library in generation mode"},
};

void AddRunCommand(CLI::App& app, int* status, const TRunCommand& command) {
  auto options = std::make_shared<TRunOptions>();
  options->mode = command.mode;
  auto yes = std::make_shared<bool>(false);
  auto no = std::make_shared<bool>(false);
  auto level = std::make_shared<int>(0);
  CLI::App* sub = app.add_subcommand(command.name, command.help);
  sub->add_option("FILE", options->description_file, "Installation description (IDF text file)")->required();
  sub->add_option("--path", options->path, "Target folder handed to the libraries")->required();
  CLI::Option* yes_flag = sub->add_flag("--yes", *yes, "Answer Yes to every operator question");
  sub->add_flag("--no", *no, "Answer No to every operator question")->excludes(yes_flag);
  sub->add_option("--answers", options->answers_file,
                  "File of <kind>=yes|no lines answering each kind of question:\n" + QuestionKindsHelp() +
                      "Unlisted kinds fall back to --yes/--no, a terminal prompt, else No");
  sub->add_option("--log", options->log_file, "Write the driver's log lines (Windows-1251, LF-ended) to this file");
  sub->add_option("--log-prefix", options->log_prefix, "Prefix of every log line");
  sub->add_option("--session", options->session_name, "Session name handed to the libraries");
  sub->add_option("--client", options->client_number, "Client number handed to the libraries");
  sub->add_option("--questions-level", *level, "Questions level (0-255) handed to the libraries")
      ->check(CLI::Range(0, 255));
  sub->add_flag("--flat", options->flat, "Drive with the flat-image driver over an image of the whole catalogue");
  sub->add_option("--library-path", options->library_paths,
                  "Folder searched for relative library names after the description's folder (repeatable)");
  sub->add_flag("-v,--verbose", options->verbose, "Echo the log to stderr in UTF-8");

  // Extensions (for example selection and registration) add their options now
  // and fill the hooks after parsing.
  auto fillers = std::make_shared<std::vector<std::function<void(TRunOptions&, TRunHooks&)>>>();
  for (const TRunExtension& extension : RunExtensions()) fillers->push_back(extension(*sub));

  sub->callback([options, yes, no, level, fillers, status] {
    if (*yes) options->answer_all = true;
    if (*no) options->answer_all = false;
    options->questions_level = static_cast<uint8_t>(*level);
    options->interactive = IsInteractive();
    TRunHooks hooks;
    for (auto& fill : *fillers) fill(*options, hooks);
    TInstallRun run(*options, std::move(hooks));
    *status = run.Execute();
  });
}

const TCommandRegistrar kRegistrar(30, [](CLI::App& app, int* status) {
  for (const TRunCommand& command : kRunCommands) AddRunCommand(app, status, command);
});

}  // namespace

}  // namespace instkit::cli
