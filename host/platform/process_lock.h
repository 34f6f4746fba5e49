// Locks between processes, through the platform layer: an exclusive lock on
// a lock file (POSIX: flock; Windows: LockFileEx), held while the object
// lives or until Release.  The operating system drops the lock when the
// holder dies, even by kill -9, so no stale lock outlives a run.  Lock files
// are left in place (removing one would race with a process that just
// opened it); they are empty.
#pragma once

#include <cstdint>
#include <string>

namespace instkit {

class TProcessLock {
 public:
  enum class TResult { kLocked, kBusy, kFailed };

  TProcessLock() = default;
  ~TProcessLock() { Release(); }
  TProcessLock(const TProcessLock&) = delete;
  TProcessLock& operator=(const TProcessLock&) = delete;

  // Opens (creating the file when missing; its folder must exist) and
  // locks `path`.
  // kBusy when another process holds it and `wait` is false; with `wait`
  // the call blocks until the lock is free.  kFailed, with the system's
  // reason in `error`, when the file cannot be made or locked.
  TResult Acquire(const std::string& path, bool wait, std::string& error);
  void Release();
  bool Held() const { return handle_ != -1; }

 private:
  intptr_t handle_ = -1;
};

}  // namespace instkit
