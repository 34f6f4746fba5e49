// Ctrl-C during a long operation, through the platform layer: the one place
// that catches the operator's interrupt (SIGINT on POSIX, Ctrl-C and
// Ctrl-Break on the Windows console) and turns it into a count the
// operation polls, so it can stop cleanly instead of dying half-way.
//
// While a watch is active, an interrupt only raises the count; the
// `exit_at`-th interrupt ends the process at once with exit status 130 (the
// operator insists).  A watch replaces the one active before it and puts it
// back when it goes, so watches nest like scopes; create and destroy them on
// one thread.  On POSIX a blocking read of the terminal returns early when an
// interrupt arrives (the handler does not restart system calls), so a
// prompt gives up instead of waiting on.
#pragma once

#include "host/base/export.h"

namespace instkit {

class INSTKIT_API TInterruptWatch {
 public:
  // 0: no interrupt ends the process.
  explicit TInterruptWatch(int exit_at = 0);
  ~TInterruptWatch();
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;

  // Interrupts since this watch started.  Any thread.
  int Count() const;

 private:
  int previous_exit_at_;
  int previous_count_;
  void* previous_handler_;  // the OS's saved handler state
};

}  // namespace instkit
