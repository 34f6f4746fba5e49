// The worker side of a run: drives the subsystem libraries with one of the
// drivers and reports everything to the run over a TWorkerChannel
// (Engine/worker_protocol.h).  The run (Engine/run_engine.cpp) starts it in
// a worker process or thread (host/platform/worker.h); nothing else calls it.
//
// It installs the process's message-box handler and passes plain function
// callbacks to the driver, so one worker runs in a process at a time.
#pragma once

#include <cstdint>
#include <string>

namespace instkit {

class TSysTree;
class TWorkerChannel;

struct TWorkerJob {
  TSysTree* tree = nullptr;  // the catalogue to drive; the driver changes its flags
  uint8_t mode = 0;
  bool flat = false;
  std::string log_prefix;  // Windows-1251
  std::string path;
  std::string session_name;
  int32_t client_number = 0;
  uint8_t questions_level = 0;
  // After the questions completed, wait for the run's kMedia (the run
  // unpacks the archives meanwhile, Engine/run_media.h).
  bool pause_for_media = false;
};

// Loads, sets up, asks and performs while each phase completes, reads the
// results back, unloads, and waits for the run's goodbye.  Returns 0.
int RunWorker(TWorkerChannel& channel, const TWorkerJob& job);

}  // namespace instkit
