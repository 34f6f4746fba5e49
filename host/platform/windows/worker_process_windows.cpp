#include "host/platform/worker.h"

namespace instkit {

// Windows cannot fork the host: callers use a worker thread
// (host/platform/worker.h).
std::unique_ptr<TWorker> NewWorkerProcess() { return nullptr; }

}  // namespace instkit
