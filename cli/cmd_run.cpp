// instkit install|uninstall|generate: one run through the engine
// (Engine/run_engine.h).  This file only turns the arguments into
// TRunOptions and prints the report (cli/run_host.h, cli/run_output.h).
#include <memory>
#include <string>

#include "Engine/run_engine.h"
#include "cli/command.h"
#include "cli/run_host.h"
#include "cli/run_output.h"
#include "cli/selection_options.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/platform/terminal.h"

namespace instkit::cli {

namespace {

struct TRunCommand {
  const char* name;
  uint8_t mode;
  const char* help;
};

const TRunCommand kRunCommands[] = {
    {"install", INSTKIT_MODE_INSTALL, "Install the subsystems of an installation description"},
    {"uninstall", INSTKIT_MODE_UNINSTALL,
     "Uninstall the subsystems of an installation description, or a recorded product (--product)"},
    {"generate", INSTKIT_MODE_GENERATE, "Run the subsystem libraries in generation mode"},
};

std::string KindsHelp() {
  std::string text;
  for (const TQuestionKindInfo& kind : QuestionKinds()) text += std::string("  ") + kind.name + ": " + kind.help + "\n";
  return text;
}

struct TArguments {
  TRunOptions options;
  std::shared_ptr<TSelectionOptions> selection = std::make_shared<TSelectionOptions>();
  std::string answers_file;
  std::string log_prefix;    // UTF-8 here; the driver gets Windows-1251
  std::string session_name;  // likewise
  std::string product;       // likewise
  int questions_level = 0;
  bool yes = false;
  bool no = false;
  bool no_links = false;
  bool no_record = false;
  TCliRunSettings settings;
};

int Execute(const TRunCommand& command, TArguments& a) {
  const std::string me = std::string("instkit ") + command.name + ": ";
  if (!a.selection->error.empty()) {
    PrintError(me + a.selection->error);
    return 2;
  }
  if (a.options.description_file.empty() && a.product.empty()) {
    PrintError(me + (command.mode == INSTKIT_MODE_UNINSTALL ? "give a description FILE or --product NAME"
                                                            : "give a description FILE"));
    return 2;
  }
  if (!a.product.empty() && !a.options.description_file.empty()) {
    PrintError(me + "give either a description FILE or --product NAME, not both");
    return 2;
  }
  if (a.options.path.empty() && a.product.empty()) {
    PrintError(me + "--path is required");
    return 2;
  }
  if (a.options.timeout_seconds > 0 && a.options.in_process) {
    PrintError(me + "--timeout needs the worker process: it cannot be used with --in-process");
    return 2;
  }
  if (!a.answers_file.empty()) {
    std::string error;
    if (!a.settings.answers.LoadFile(a.answers_file, error)) {
      PrintError("instkit: " + error);
      return 2;
    }
  }
  if (a.yes) a.settings.answers.SetAll(true, "--yes");
  if (a.no) a.settings.answers.SetAll(false, "--no");
  a.settings.interactive = IsInteractive();
  a.settings.progress_bar = IsTerminal(TStandardStream::kError);
  a.options.mode = command.mode;
  a.options.selection = a.selection->request;
  a.options.product = Utf8ToCp1251(a.product);
  a.options.log_prefix = Utf8ToCp1251(a.log_prefix);
  a.options.session_name = Utf8ToCp1251(a.session_name);
  a.options.questions_level = static_cast<uint8_t>(a.questions_level);
  a.options.links = !a.no_links;
  a.options.record = !a.no_record;
  a.options.watch_interrupts = true;

  TRunEngine engine(a.options);
  TCliRunHost host(a.settings);
  const TRunReport& report = engine.Run(host);
  const bool ran = report.status != TRunStatus::kBadInput && report.status != TRunStatus::kBusy &&
                   !report.subsystems.empty();
  if (a.settings.json) {
    PrintRunJson(command.name, report);
  } else if (ran && !a.settings.quiet) {
    PrintRunSummary(report);
  }
  PrintUtf8(host.deferred);
  if (!report.failure.empty()) {
    PrintError("instkit: " + report.failure);
    if (a.settings.verbose && report.failure_detail != report.failure) PrintError("instkit: " + report.failure_detail);
  }
  return report.ExitStatus();
}

void AddRunCommand(CLI::App& app, int* status, const TRunCommand& command) {
  auto a = std::make_shared<TArguments>();
  CLI::App* sub = app.add_subcommand(command.name, command.help);
  sub->add_option("FILE", a->options.description_file, "Installation description (IDF text file)");
  sub->add_option(
      "--path", a->options.path,
      "Target folder handed to the libraries; checked before anything is loaded" +
          std::string(command.mode == INSTKIT_MODE_UNINSTALL ? " (default with --product: the recorded one)" : ""));
  if (command.mode == INSTKIT_MODE_UNINSTALL) {
    sub->add_option("--product", a->product,
                    "Uninstall a recorded product with the description copy the registry keeps (see `instkit status`)");
  }
  CLI::Option* yes = sub->add_flag("--yes,--abort-on-failure", a->yes,
                                   "Answer Yes to every \"abort?\" question: stop the run when a library fails");
  sub->add_flag("--no,--keep-going", a->no, "Answer No to every \"abort?\" question: go on after a library fails")
      ->excludes(yes);
  sub->add_option("--answers", a->answers_file,
                  "File of <kind>=yes|no lines answering each kind of question:\n" + KindsHelp() +
                      "Unlisted kinds fall back to --yes/--no, a terminal prompt, else No");
  AddSelectionOptions(*sub, a->selection);
  sub->add_option("--registry", a->options.registry,
                  "Registry file recording installed subsystems (default: $XDG_STATE_HOME/instkit/registry.db)");
  sub->add_flag("--no-record", a->no_record, "Do not record the run in the registry");
  sub->add_option("--links-root", a->options.links_root,
                  "Put menu links in DIR/applications and desktop links in DIR/Desktop instead of the user's folders");
  sub->add_flag("--no-links", a->no_links, "Create or remove no menu and desktop links");
  sub->add_option("--log", a->options.log_file,
                  "Write every log line to this file as the run goes (the driver's lines exactly, Windows-1251)");
  sub->add_option("--log-prefix", a->log_prefix, "Prefix of every log line");
  sub->add_option("--session", a->session_name, "Session name handed to the libraries");
  sub->add_option("--client", a->options.client_number, "Client number handed to the libraries");
  sub->add_option("--questions-level", a->questions_level, "Questions level (0-255) handed to the libraries")
      ->check(CLI::Range(0, 255));
  sub->add_flag("--flat", a->options.flat, "Drive with the flat-image driver over an image of the whole catalogue");
  if (command.mode == INSTKIT_MODE_INSTALL) {
    sub->add_option("--media", a->options.media,
                    "Folder holding the archives the description names (default: the description's folder)")
        ->type_name("DIR");
    sub->add_option("--max-unpack-ratio", a->options.unpack_ratio,
                    "Refuse an archive that unpacks to more than RATIO times its own size (default 64)")
        ->check(CLI::Range(1u, 1000000u))
        ->type_name("RATIO");
  }
  sub->add_option("--library-path", a->options.library_paths,
                  "Folder searched for relative library names after the description's folder (repeatable)");
  sub->add_option("--timeout", a->options.timeout_seconds,
                  "Stop a library that takes longer than SECONDS in one phase (default: no limit)")
      ->check(CLI::NonNegativeNumber)
      ->type_name("SECONDS");
  sub->add_flag("--in-process", a->options.in_process,
                "Run the libraries inside this process (no protection from a crashing library; for debugging)");
  sub->add_flag("--wait", a->options.wait_for_lock,
                "Wait for another run on the same product or folder to finish instead of stopping as busy");
  sub->add_flag("--json", a->settings.json, "Print one JSON object with the whole outcome");
  sub->add_flag("-q,--quiet", a->settings.quiet, "Print nothing but failures");
  sub->add_flag("-v,--verbose", a->settings.verbose, "Echo the log to stderr in UTF-8");
  sub->footer(
      "Exit status: 0 all done, 1 not all done or failed, 2 bad input, 75 busy, 130 interrupted.\n"
      "Ctrl-C asks the libraries to stop; a second Ctrl-C stops them at once; a third ends instkit.");
  sub->callback([a, status, command] { *status = Execute(command, *a); });
}

const TCommandRegistrar kRegistrar(30, [](CLI::App& app, int* status) {
  for (const TRunCommand& command : kRunCommands) AddRunCommand(app, status, command);
});

}  // namespace

}  // namespace instkit::cli
