#include "host/platform/file_stream.h"

#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

size_t TFileReadStream::Read(void* dst, size_t n) {
  const size_t done = file_.Read(dst, n);
  pos_ += static_cast<int64_t>(done);
  return done;
}

void TFileReadStream::Write(const void*, size_t) {
  throw EInOutError(Format("Cannot write file '%s': opened for reading", file_.Path().c_str()));
}

void TFileReadStream::SetPosition(int64_t position) {
  if (position != pos_) {
    throw EInOutError(Format("Cannot seek in file '%s': the stream is sequential", file_.Path().c_str()));
  }
}

size_t TFileWriteStream::Read(void*, size_t) {
  throw EInOutError(Format("Cannot read file '%s': opened for writing", writer_.Path().c_str()));
}

void TFileWriteStream::SetPosition(int64_t position) {
  if (position != pos_) {
    throw EInOutError(Format("Cannot seek in file '%s': the stream is sequential", writer_.Path().c_str()));
  }
}

}  // namespace instkit
