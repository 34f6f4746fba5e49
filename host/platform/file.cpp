// The platform-independent half of host/platform/file.h: buffering and whole-file
// helpers.  The OS layer supplies opening, Refill/Flush, Size, Commit.
#include "host/platform/file.h"

#include <algorithm>
#include <cstring>

namespace instkit {

void CheckFileFault(TFileStep step, const std::string& path) {
  if (const TFileFaultHook hook = Settings().FileFaultHook()) hook(step, path);
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

void TAtomicFileWriter::Write(const void* data, size_t n) {
  if (buffer_.size() + n > kBufferSize) Flush();
  if (n >= kBufferSize) {
    buffer_.assign(static_cast<const char*>(data), n);
    Flush();
    return;
  }
  buffer_.append(static_cast<const char*>(data), n);
}

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
