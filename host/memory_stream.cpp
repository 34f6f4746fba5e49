#include "host/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace instkit {

size_t TMemoryStream::Read(void* dst, size_t n) {
  const size_t count = std::min(n, data_.size() - pos_);
  if (count > 0) std::memcpy(dst, data_.data() + pos_, count);
  pos_ += count;
  return count;
}

void TMemoryStream::Write(const void* src, size_t n) {
  if (n == 0) return;
  if (pos_ + n > data_.size()) data_.resize(pos_ + n);
  std::memcpy(data_.data() + pos_, src, n);
  pos_ += n;
}

void TMemoryStream::Seek(int64_t position) {
  pos_ = static_cast<size_t>(std::clamp<int64_t>(position, 0, Size()));
}

void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}

}  // namespace instkit
