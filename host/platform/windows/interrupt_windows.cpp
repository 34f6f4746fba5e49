#include "host/platform/interrupt.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace instkit {

namespace {

std::atomic<int> g_count{0};
std::atomic<int> g_exit_at{0};

// Runs on a thread the console creates for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  const int count = g_count.fetch_add(1) + 1;
  const int exit_at = g_exit_at.load();
  if (exit_at > 0 && count >= exit_at) std::_Exit(130);
  return TRUE;
}

}  // namespace

TInterruptWatch::TInterruptWatch(int exit_at)
    : previous_exit_at_(g_exit_at.exchange(exit_at)), previous_count_(g_count.exchange(0)), previous_handler_(nullptr) {
  // Handlers stack in the console: the newest is asked first, so adding ours
  // again for a nested watch is harmless.
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TInterruptWatch::~TInterruptWatch() {
  g_exit_at.store(previous_exit_at_);
  g_count.store(previous_count_);
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

int TInterruptWatch::Count() const { return g_count.load(); }

}  // namespace instkit
