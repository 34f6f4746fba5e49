// The run's side of the worker (Engine/run_worker.h): waits for the
// worker's messages and passes them to the host as events, answers its
// questions, forwards Abort / Suspend / Resume and the operator's Ctrl-C,
// enforces the phase timeout, and notices when the worker ends without
// finishing.  Internal to the engine (Engine/run_engine.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Engine/run_events.h"
#include "Engine/run_report.h"

namespace instkit {

class TInterruptWatch;
class TRunLog;
class TSysTree;
class TWorker;

// The run's answer when the worker waits for the archives to be unpacked.
struct TMediaDecision {
  bool go = true;             // perform at all
  std::vector<uint8_t> skip;  // per top-level record: leave it out (its archive failed)
};

struct TDriveSetup {
  TWorker* worker = nullptr;  // started
  TRunHost* host = nullptr;
  const TSysTree* tree = nullptr;  // read only: names of the top-level subsystems
  TRunReport* report = nullptr;    // phases and questions are filled in
  TRunLog* log = nullptr;
  int timeout_seconds = 0;
  const TInterruptWatch* interrupts = nullptr;  // null: not watched
  const std::atomic<bool>* abort = nullptr;
  const std::atomic<bool>* suspend = nullptr;
  // Called when the worker waits for the archives (TWorkerJob::pause_for_media).
  std::function<TMediaDecision()> unpack;
};

// What the worker said about each top-level record.
struct TDriveResult {
  int32_t loaded = 0;                 // records LoadDLLs made
  std::vector<char> reached;          // the perform loop came to the record
  std::vector<char> done;             // ...and the driver's result says done
  std::vector<std::string> images;    // the record's flat image as the library left it
  std::vector<uint8_t> media_failed;  // the record was left out: an archive it needs failed
  bool finished = false;              // the worker went through to its end
  bool interrupted = false;           // Abort or Ctrl-C
  std::string failure;                // why the worker did not finish (UTF-8)
};

TDriveResult DriveWorker(const TDriveSetup& setup);

}  // namespace instkit
