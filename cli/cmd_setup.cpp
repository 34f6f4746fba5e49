// instkit setup FILE [--path DIR] ...: the interactive installer, a
// full-screen wizard on the terminal (cli/setup/wizard.h).  Without a
// terminal it says so in one line and points to `instkit install`.
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/selection_options.h"
#include "cli/setup/wizard.h"
#include "cli/terminal.h"
#include "host/platform/terminal.h"

namespace instkit::cli {

namespace {

struct TSetupArguments {
  TRunOptions options;
  std::shared_ptr<TSelectionOptions> selection = std::make_shared<TSelectionOptions>();
};

int Setup(TSetupArguments& a) {
  if (!a.selection->error.empty()) {
    PrintError("instkit setup: " + a.selection->error);
    return 2;
  }
  if (!IsTerminal(TStandardStream::kInput) || !IsTerminal(TStandardStream::kOutput)) {
    PrintError("instkit setup: needs a terminal for its screens; without one, use `instkit install " +
               (a.options.description_file.empty() ? std::string("FILE") : a.options.description_file) +
               " --path DIR`");
    return 2;
  }
  a.options.selection = a.selection->request;
  return setup::RunWizard(a.options);
}

const TCommandRegistrar kRegistrar(35, [](CLI::App& app, int* status) {
  auto a = std::make_shared<TSetupArguments>();
  CLI::App* sub = app.add_subcommand("setup", "Install interactively: a full-screen wizard on the terminal");
  sub->add_option("FILE", a->options.description_file, "Installation description (IDF text file)")->required();
  sub->add_option("--path", a->options.path,
                  "Install folder offered on the folder screen (default: the user's data folder and the product)");
  sub->add_option("--registry", a->options.registry,
                  "Registry file recording installed subsystems (default: $XDG_STATE_HOME/instkit/registry.db)");
  sub->add_option("--links-root", a->options.links_root,
                  "Put menu links in DIR/applications and desktop links in DIR/Desktop instead of the user's folders");
  sub->add_option("--library-path", a->options.library_paths,
                  "Folder searched for relative library names after the description's folder (repeatable)");
  sub->add_flag("--flat", a->options.flat, "Drive with the flat-image driver over an image of the whole catalogue");
  sub->add_option("--log", a->options.log_file, "Log file (default: a new file in $XDG_STATE_HOME/instkit/logs)");
  AddSelectionOptions(*sub, a->selection);
  sub->footer(
      "Screens: welcome, selection (Space ticks, / finds, a all, n none), folder, summary, installation, "
      "results.\nEnter goes on, Esc goes back, q quits; during the installation p pauses and Esc or Ctrl-C "
      "aborts.\nExit status: as `instkit install`; 1 when quit before installing, 2 without a terminal.");
  sub->callback([a, status] { *status = Setup(*a); });
});

}  // namespace

}  // namespace instkit::cli
