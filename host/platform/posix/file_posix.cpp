#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/base/exception.h"
#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/base/format.h"

namespace instkit {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw EInOutError(Format("%s '%s': %s", what, path.c_str(), std::strerror(err)));
}

// Syncs the folder that holds `path`, so that a rename into it survives a
// power cut.  A file system that cannot sync a folder (EINVAL) is taken as
// it is.
void SyncFolder(const std::string& path) {
  CheckFileFault(TFileStep::kSyncFolder, path);
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot write file", path, errno);
  const int synced = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (synced != 0 && err != EINVAL) Fail("Cannot write file", path, err);
}

// Temporaries are named <target>.tmp-<pid>-XXXXXX and locked (flock) by
// their writer for as long as it lives.
std::string TemporaryPrefix(const std::string& path) { return path + ".tmp-"; }

// Removes the temporaries of `path` left by writers that died before their
// commit: those whose process is gone and whose lock is free.  Our own
// process's names are left alone (another thread may be writing), and so is
// every file that cannot be checked.  Best effort: failures are ignored.
void RemoveStaleTemporaries(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string prefix = TemporaryPrefix(path.substr(folder.size()));
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    char* end = nullptr;
    const std::string rest(name.substr(prefix.size()));
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (end == rest.c_str() || *end != '-' || pid <= 0 || pid == self) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or unknown
    const std::string candidate = folder + std::string(name);
    const int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(candidate.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
}
}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

TInputFile::TInputFile(const std::string& path) : path_(path), buffer_(new char[kBufferSize]) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open file", path, errno);
  handle_ = fd;
}

TInputFile::~TInputFile() { ::close(static_cast<int>(handle_)); }

bool TInputFile::Refill() {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer_.get(), kBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot read file", path_, errno);
    pos_ = 0;
    end_ = static_cast<size_t>(n);
    return n > 0;
  }
}

int64_t TInputFile::Size() const {
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) Fail("Cannot read file", path_, errno);
  return st.st_size;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path) : path_(path) {
  temp_path_ = TemporaryPrefix(path) + std::to_string(::getpid()) + "-XXXXXX";
  const int fd = ::mkostemp(temp_path_.data(), O_CLOEXEC);
  if (fd < 0) Fail("Cannot create file", path, errno);
  // The lock tells a later writer that this temporary is still in use.
  ::flock(fd, LOCK_EX | LOCK_NB);
  ::fchmod(fd, 0644);
  handle_ = fd;
  buffer_.reserve(kBufferSize);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!committed_) ::unlink(temp_path_.c_str());
}

void TAtomicFileWriter::Flush() {
  const char* p = buffer_.data();
  size_t left = buffer_.size();
  while (left > 0) {
    CheckFileFault(TFileStep::kWrite, path_);
    const ssize_t n = ::write(static_cast<int>(handle_), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot write file", path_, errno);
    p += n;
    left -= static_cast<size_t>(n);
  }
  buffer_.clear();
}

void TAtomicFileWriter::Commit() {
  Flush();
  if (Settings().DurableWrites()) CheckFileFault(TFileStep::kSync, path_);
  if (Settings().DurableWrites() && ::fsync(static_cast<int>(handle_)) != 0) Fail("Cannot write file", path_, errno);
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (::close(fd) != 0) Fail("Cannot write file", path_, errno);
  CheckFileFault(TFileStep::kReplace, path_);
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) Fail("Cannot replace file", path_, errno);
  committed_ = true;
  if (Settings().DurableWrites()) SyncFolder(path_);
  RemoveStaleTemporaries(path_);
}

}  // namespace instkit
