#include "host/platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace instkit {

namespace {

// The active watch's state; only lock-free atomics, as the handler reads them.
std::atomic<int> g_count{0};
std::atomic<int> g_exit_at{0};

extern "C" void OnInterrupt(int) {
  const int count = g_count.fetch_add(1) + 1;
  const int exit_at = g_exit_at.load();
  if (exit_at > 0 && count >= exit_at) _exit(130);
}

}  // namespace

TInterruptWatch::TInterruptWatch(int exit_at)
    : previous_exit_at_(g_exit_at.exchange(exit_at)), previous_count_(g_count.exchange(0)) {
  auto* previous = new struct sigaction;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking read returns EINTR
  sigaction(SIGINT, &action, previous);
  previous_handler_ = previous;
}

TInterruptWatch::~TInterruptWatch() {
  auto* previous = static_cast<struct sigaction*>(previous_handler_);
  sigaction(SIGINT, previous, nullptr);
  delete previous;
  g_exit_at.store(previous_exit_at_);
  g_count.store(previous_count_);
}

int TInterruptWatch::Count() const { return g_count.load(); }

}  // namespace instkit
