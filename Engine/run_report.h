// What a run did, as TRunEngine::Run leaves it: the phases, each
// subsystem's result, the questions with their answers, what was recorded
// and which links were made, and one sentence when something went wrong.
//
// Exit statuses (RunExitStatus), the command line's and a suggestion for
// every host:
//   0    every selected subsystem was done, and recorded where recording was asked
//   1    not all done, or the run failed (a library crashed, exited or hung;
//        the target folder is unusable; the registry or a link could not be
//        written)
//   2    bad input: a description, answers file or selection that cannot be used
//   75   busy: another run holds the same product or target folder
//   130  interrupted by the operator (Ctrl-C) or stopped by Abort
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Engine/run_events.h"
#include "host/base/export.h"

namespace instkit {

enum class TRunStatus : uint8_t {
  kDone,         // every selected subsystem done
  kNotAllDone,   // the run went through, some subsystem was not done
  kFailed,       // the run or its recording failed: see `failure`
  kBadInput,     // nothing was run: see `failure`
  kBusy,         // nothing was run: another run holds the lock
  kInterrupted,  // stopped by the operator or the host
};
INSTKIT_API int RunExitStatus(TRunStatus status);

struct TPhaseReport {
  TRunPhase phase;
  bool ran = false;     // the phase was started
  uint8_t outcome = 0;  // 1 completed, 2 aborted, 0 failed or cut short
};

// One subsystem of the selected catalogue, in pre-order.
struct TSubsystemReport {
  int depth = 0;  // 0 for a top-level subsystem
  int32_t sys_index = 0;
  std::string short_name;  // Windows-1251
  std::string library;     // Windows-1251, "" for none
  bool loaded = false;     // its top-level subsystem's library was loaded (or it has none)
  // Install and generation: the library reported it done.  Uninstall: it
  // was removed.  A child counts only when every subsystem above it does.
  bool done = false;
  bool was_installed = false;  // the registry recorded it before the run
};

struct TQuestionReport {
  TOperatorBox question;
  TAnswer answer;
};

struct TRecordReport {
  bool attempted = false;
  bool recorded = false;             // the transaction was committed
  std::string registry;              // the store's path
  std::string key;                   // Windows-1251
  std::vector<std::string> written;  // short names recorded as installed (Windows-1251)
  std::vector<std::string> removed;  // short names whose record was removed
};

struct TLinksReport {
  bool attempted = false;
  std::string applications;  // the folders
  std::string desktop;
  std::vector<std::string> made;     // entry files created
  std::vector<std::string> removed;  // entry files removed
};

// One archive of an install (Engine/run_media.h).
struct TArchiveReport {
  std::string name;       // as the catalogue names it, Windows-1251
  std::string file;       // where it was found; "" when missing
  uint64_t size = 0;      // of the file
  bool unpacked = false;  // completely
  bool kept = false;      // after the run: a subsystem that needs it was done
  uint64_t files = 0;     // files and links placed
  uint64_t bytes = 0;     // file data written
  std::string error;      // one UTF-8 sentence when it was not unpacked
};

struct TMediaReport {
  std::string folder;                    // the media folder (install)
  std::vector<TArchiveReport> archives;  // install
  std::string recovered;                 // what was done about an interrupted earlier run, "" when none
  // Uninstall: archives no installed subsystem needs any more, their files
  // and links removed, the folders removed, and the files kept because they
  // changed since they were unpacked ("path: what", UTF-8).
  std::vector<std::string> removed_archives;  // Windows-1251
  uint64_t removed = 0;
  uint64_t removed_folders = 0;
  std::vector<std::string> kept_changed;
};

struct INSTKIT_API TRunReport {
  TRunStatus status = TRunStatus::kBadInput;
  // One UTF-8 sentence for the operator when the status is not kDone or
  // kNotAllDone, or when recording failed; "" otherwise.
  std::string failure;
  // The same with the failure's class name and details, for the log and
  // verbose output.
  std::string failure_detail;

  uint8_t mode = 0;
  std::string description_file;
  std::string product;  // Windows-1251
  std::string path;
  bool flat = false;
  bool isolated = false;  // the libraries ran in a worker process
  bool interrupted = false;
  std::string load_failure;  // the system's reason when a library did not load

  std::vector<TPhaseReport> phases;  // every phase, in the order a run goes through them
  std::vector<TSubsystemReport> subsystems;
  std::vector<TQuestionReport> questions;
  TRecordReport record;
  TLinksReport links;
  TMediaReport media;

  bool AllDone() const;
  // The report of one phase (every phase has one).
  TPhaseReport& Phase(TRunPhase phase);
  int ExitStatus() const { return RunExitStatus(status); }
};

}  // namespace instkit
