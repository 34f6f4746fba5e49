// Workers: code that runs apart from its host and talks to it only through
// messages, so that the host can survive what the code does.
//
// The host starts a worker with a body; the body gets a TWorkerChannel and
// returns a status.  Both sides exchange messages (byte strings, framed and
// delivered whole and in order).  The host waits for the worker's messages,
// for the lines it writes to its standard output and error, and for its end,
// with a timeout, on the thread that started it.
//
// Two kinds:
//   - a worker process (NewWorkerProcess; POSIX: a fork() of the host): a
//     crash, an exit() or a hang of the body cannot harm the host.  The child
//     ignores SIGINT (the host decides what the operator's Ctrl-C means),
//     its standard output and error reach the host line by line, in order
//     with its messages (what the body printed before a message, through
//     stdio or not, comes before it), and it is killed when the host
//     process dies (Linux).  Only the
//     thread that called Start runs in the child: the body must not rely on
//     other threads of the host or on locks they might hold.
//   - a worker thread (NewWorkerThread; everywhere): the same channel inside
//     the host's process, for hosts that cannot fork and for debugging.  It
//     contains nothing: Kill() cannot stop it, a crash ends the host, its
//     output is not captured (kOutput never comes).
// NewWorkerProcess gives null where processes cannot be forked (Windows):
// callers then use a worker thread.
//
// Not thread-safe on the host side: one thread uses a TWorker.  The
// channel's Send may be called from several threads of the worker.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace instkit {

// The worker's side.
class TWorkerChannel {
 public:
  virtual ~TWorkerChannel() = default;
  // Sends one message to the host; false when the host has gone.
  virtual bool Send(std::string_view message) = 0;
  // Waits for the host's next message; false when the host has gone.
  virtual bool Receive(std::string& message) = 0;
};

using TWorkerBody = std::function<int(TWorkerChannel& channel)>;

enum class TWorkerEvent {
  kMessage,  // the worker's next message
  kOutput,   // one line of its standard output or error, without the line end
  kTimeout,  // nothing within the time given
  kEnded,    // the worker has ended; everything it sent before came first
};

// How a worker ended.
struct TWorkerEnd {
  bool exited = false;  // its body returned or it called exit(): `status`
  int status = 0;
  std::string signal;   // the signal that ended it ("SIGSEGV"), else ""
  bool killed = false;  // ended by Kill()
};

class TWorker {
 public:
  // Kills and waits for a worker process still running; waits for a worker
  // thread.
  virtual ~TWorker() = default;

  // Starts the body.  False, with the system's reason, when it cannot start.
  virtual bool Start(TWorkerBody body, std::string& error) = 0;
  // Sends one message to the worker; false when it has gone.
  virtual bool Send(std::string_view message) = 0;
  // Waits up to timeout_ms (0: only what is there) for the next event.
  virtual TWorkerEvent Receive(std::string& data, int timeout_ms) = 0;
  // Ends a worker process at once (SIGKILL).  A worker thread cannot be
  // stopped: nothing happens.
  virtual void Kill() = 0;
  // Waits for the end (after kEnded or Kill) and says how it came.
  virtual TWorkerEnd Wait() = 0;
  // True for a process: what the body does cannot harm the host.
  virtual bool Isolated() const = 0;
};

std::unique_ptr<TWorker> NewWorkerProcess();  // null where not available
std::unique_ptr<TWorker> NewWorkerThread();

}  // namespace instkit
