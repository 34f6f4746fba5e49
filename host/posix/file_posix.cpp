#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/exception.h"
#include "host/file.h"
#include "host/format.h"

namespace instkit {

namespace {
std::atomic<bool> g_durable{true};
constexpr size_t kReadBuffer = 256 * 1024;
constexpr size_t kWriteBuffer = 256 * 1024;

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw EInOutError(Format("%s '%s': %s", what, path.c_str(), std::strerror(err)));
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

TInputFile::TInputFile(const std::string& path) : path_(path), buffer_(new char[kReadBuffer]) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open file", path, errno);
  handle_ = fd;
}

TInputFile::~TInputFile() { ::close(static_cast<int>(handle_)); }

bool TInputFile::Refill() {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer_.get(), kReadBuffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot read file", path_, errno);
    pos_ = 0;
    end_ = static_cast<size_t>(n);
    return n > 0;
  }
}

int TInputFile::ReadUntil(char delimiter, std::string& out) {
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !Refill()) return any ? 0 : -1;
    any = true;
    const char* begin = buffer_.get() + pos_;
    const auto* hit = static_cast<const char*>(std::memchr(begin, delimiter, end_ - pos_));
    if (hit != nullptr) {
      out.append(begin, static_cast<size_t>(hit - begin));
      pos_ += static_cast<size_t>(hit - begin) + 1;
      return 1;
    }
    out.append(begin, end_ - pos_);
    pos_ = end_;
  }
}

size_t TInputFile::Read(void* dst, size_t n) {
  auto* out = static_cast<char*>(dst);
  size_t done = 0;
  while (done < n) {
    if (pos_ == end_ && !Refill()) break;
    const size_t chunk = std::min(n - done, end_ - pos_);
    std::memcpy(out + done, buffer_.get() + pos_, chunk);
    pos_ += chunk;
    done += chunk;
  }
  return done;
}

std::string TInputFile::ReadAll() {
  std::string data(buffer_.get() + pos_, end_ - pos_);
  pos_ = end_;
  const int64_t size = Size();
  if (size > 0) data.reserve(static_cast<size_t>(size));
  while (Refill()) {
    data.append(buffer_.get(), end_);
    pos_ = end_;
  }
  return data;
}

int64_t TInputFile::Size() const {
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) Fail("Cannot read file", path_, errno);
  return st.st_size;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path) : path_(path) {
  temp_path_ = path + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temp_path_.data(), O_CLOEXEC);
  if (fd < 0) Fail("Cannot create file", path, errno);
  ::fchmod(fd, 0644);
  handle_ = fd;
  buffer_.reserve(kWriteBuffer);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!committed_) ::unlink(temp_path_.c_str());
}

void TAtomicFileWriter::Write(const void* data, size_t n) {
  if (buffer_.size() + n > kWriteBuffer) Flush();
  if (n >= kWriteBuffer) {
    buffer_.assign(static_cast<const char*>(data), n);
    Flush();
    return;
  }
  buffer_.append(static_cast<const char*>(data), n);
}

void TAtomicFileWriter::Flush() {
  const char* p = buffer_.data();
  size_t left = buffer_.size();
  while (left > 0) {
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
  if (g_durable.load() && ::fsync(static_cast<int>(handle_)) != 0) Fail("Cannot write file", path_, errno);
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (::close(fd) != 0) Fail("Cannot write file", path_, errno);
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) Fail("Cannot replace file", path_, errno);
  committed_ = true;
}

void SetDurableWrites(bool durable) { g_durable.store(durable); }

std::string ReadWholeFile(const std::string& path) {
  TInputFile file(path);
  return file.ReadAll();
}

void WriteWholeFileAtomically(const std::string& path, std::string_view data) {
  TAtomicFileWriter writer(path);
  writer.Write(data);
  writer.Commit();
}

}  // namespace instkit
