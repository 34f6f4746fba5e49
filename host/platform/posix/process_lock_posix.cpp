#include "host/platform/process_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>


namespace instkit {

TProcessLock::TResult TProcessLock::Acquire(const std::string& path, bool wait, std::string& error) {
  Release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return TResult::kFailed;
  }
  int result;
  do {
    result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return TResult::kBusy;
    error = path + ": " + std::strerror(err);
    return TResult::kFailed;
  }
  handle_ = fd;
  return TResult::kLocked;
}

void TProcessLock::Release() {
  if (handle_ == -1) return;
  ::close(static_cast<int>(handle_));  // closing drops the lock
  handle_ = -1;
}

}  // namespace instkit
