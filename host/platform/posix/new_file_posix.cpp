#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/file.h"
#include "host/platform/new_file.h"

namespace instkit {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw EInOutError(Format("%s '%s': %s", what, path.c_str(), std::strerror(err)));
}

}  // namespace

TNewFile::TNewFile(const std::string& path) : path_(path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create file", path, errno);
  handle_ = fd;
}

TNewFile::~TNewFile() {
  if (finished_) return;
  ::close(static_cast<int>(handle_));
  ::unlink(path_.c_str());
}

void TNewFile::Write(const void* data, size_t size) {
  CheckFileFault(TFileStep::kWrite, path_);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot write file", path_, errno);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void TNewFile::Finish(uint32_t mode, int64_t mtime) {
  const int fd = static_cast<int>(handle_);
  if (::fchmod(fd, static_cast<mode_t>(mode & 0777)) != 0) Fail("Cannot set the mode of file", path_, errno);
  if (mtime >= 0) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtime);
    times[1].tv_nsec = 0;
    if (::futimens(fd, times) != 0) Fail("Cannot set the time of file", path_, errno);
  }
  finished_ = true;
  if (::close(fd) != 0) {
    ::unlink(path_.c_str());
    Fail("Cannot write file", path_, errno);
  }
}

}  // namespace instkit
