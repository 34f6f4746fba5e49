// `instkit setup`: the interactive installer, six screens over one run.
//
//   1 Welcome    the product, what the wizard will do, what the registry
//                records of it already
//   2 Selection  the catalogue's tick boxes (cli/setup/selection_screen.h)
//   3 Target     the install folder, edited in place and checked as it is
//                typed: creatable, writable, free space
//   4 Summary    exactly what `instkit plan` prints for the same selection,
//                and the same run as a command line
//   5 Run        the engine at work (cli/setup/run_screen.h)
//   6 Finish     each subsystem's result, what was recorded, where the log is
//
// Enter goes on, Esc goes back, q (or Ctrl-C) quits after a confirmation
// until the run starts.  The catalogue, the reasons, the plan and the run
// are the library's; the wizard only shows them and passes the operator's
// choices on.  Resizing redraws; below 40x12 the wizard asks for a larger
// terminal.
//
// Decisions:
// - The selection starts with every subsystem ticked (or none with --none),
//   then --select / --deselect in their order, as `instkit plan` has it.
// - The install folder defaults to --path, else to the user's data folder
//   ($XDG_DATA_HOME, ~/.local/share) plus the product's name.
// - The log goes to --log, else to a new file in the user's state folder
//   (~/.local/state/instkit/logs/setup-<UTC time>.log); the Finish screen
//   and the last line on the terminal say where.
// - Exit status: the run's (Engine/run_report.h); 1 when the operator quit
//   before the run started (nothing was installed).
#pragma once

#include "Engine/run_options.h"

namespace instkit::cli::setup {

// Runs the wizard on the process's terminal and prints one closing line.
// `options` holds the description, the folders and the starting selection;
// the wizard sets the mode, the selection and the path.
int RunWizard(TRunOptions options);

}  // namespace instkit::cli::setup
