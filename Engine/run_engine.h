// The run engine: one installation run, from the description to the
// registry, for the command line, an interactive installer and any host
// that embeds instkit.
//
//   TRunEngine engine(options);          // Engine/run_options.h
//   engine.Prepare();                    // optional: the plan first
//   const TRunReport& report = engine.Run(host);   // Engine/run_events.h
//
// Prepare reads the description, builds the catalogue, checks the names,
// applies the selection (Engine/selection.h) and works out the plan
// (Engine/plan.h), all without side effects.  Run then
//   1. checks the target folder (Engine/run_input.h) and takes the locks,
//   2. says which subsystems the registry already records,
//   3. drives the libraries in a worker (below), passing every event to the
//      host as it comes and writing the log file as it goes,
//   4. reads the results back: a subsystem is done only when the perform
//      loop came to it and its library reported it done (or it has no
//      library), a child only when everything above it is done and its own
//      flag says so; a subsystem the run never reached is not done,
//   5. records the outcome in the registry in one transaction and makes or
//      removes the links (Engine/run_record.h, Engine/run_links.h).
// Bad input, an unusable target or a busy lock end the run before anything
// is loaded, leaving the registry, the links and the target as they were.
//
// Decisions:
// - Containment.  The libraries run in a worker process (POSIX: a fork of
//   the host, made after the catalogue is built; host/platform/worker.h)
//   that streams every log line, question, progress call and result to
//   this process, which keeps the log, the registry and the host's screen.
//   A library that crashes, calls exit() or hangs past the timeout ends
//   only the worker: the log holds every line up to it, the report says
//   which library failed how ("library core.so crashed in Perform:
//   SIGSEGV"), what finished before it is recorded and nothing after it.
//   What the libraries write to their standard output and error reaches
//   the host as OnLibraryOutput and the log, so a full-screen host's screen
//   stays clean.  Where no worker process exists (Windows), or with
//   TRunOptions::in_process, the worker is a thread of this process: the
//   same events, but no containment, no timeout, no captured output.
// - Threads.  Every host callback runs on the thread that called Run, one
//   at a time; Abort, Suspend and Resume may be called from any thread at
//   any time and take effect within a few tens of milliseconds.  Abort asks
//   every library to stop ("UserAbort"), makes the progress callback answer
//   "stop" from then on, and starts no further phase; the run ends
//   kInterrupted.  One run at a time per process: the worker installs the
//   process's message-box handler while it runs.
// - Ctrl-C (TRunOptions::watch_interrupts): the first is an Abort, the
//   second stops the worker process at once (what finished is still
//   recorded), the third ends this process (exit status 130).
// - Locks.  Two runs on the same product or the same target folder do not
//   interleave: each takes a lock file (host/platform/process_lock.h) named
//   after the product and after the target, in a "locks" folder beside the
//   registry file (or in the temporary folder when the registry is not a
//   file).  The second run stops as kBusy, or waits with wait_for_lock.
// - Log file: created anew by each run; one line per driver or library log
//   line exactly as written (Windows-1251, leading blank), "> " + line for
//   each line a library printed, "# " + sentence for the engine's own
//   failure notes; every line is flushed as it is written, so a crash or a
//   kill loses nothing written before it.
// - A host callback that raises ends the run: the worker is stopped, nothing
//   is recorded, and the exception reaches Run's caller.
#pragma once

#include <memory>

#include "Engine/plan.h"
#include "Engine/run_events.h"
#include "Engine/run_options.h"
#include "Engine/run_report.h"
#include "host/base/export.h"

namespace instkit {

class TSysTree;

class INSTKIT_API TRunEngine {
 public:
  explicit TRunEngine(TRunOptions options);
  ~TRunEngine();
  TRunEngine(const TRunEngine&) = delete;
  TRunEngine& operator=(const TRunEngine&) = delete;

  // Reads and checks everything the run needs; no side effects.  False when
  // the input cannot be used: Report() then has status kBadInput and the
  // reason in `failure`.  Calling it again does nothing more.
  bool Prepare();
  // The plan, after a successful Prepare.
  const TPlan& Plan() const;

  // For a host that lets the operator choose (an interactive installer):
  // the whole catalogue after a successful Prepare, null before.  Its
  // Checked and AllCheck flags are scratch: a selection screen may start a
  // TSelection on it (Engine/selection.h) and run the outcome with a new
  // engine whose options carry TSelection::Request(); Run ignores them.
  TSysTree* Catalogue();

  // The whole run (Prepare first when not done).  Call once.
  const TRunReport& Run(TRunHost& host);
  const TRunReport& Report() const;

  // Safe from any thread, at any time (see above).  Before Run, Abort makes
  // Run stop before anything is loaded.
  void Abort();
  void Suspend();
  void Resume();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace instkit
