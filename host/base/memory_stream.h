// A growable stream held in memory (a std::string), for plain images that are
// built or parsed whole before they are compressed or after they were
// decompressed.  The class is final and its members inline, so callers that
// hold a TMemoryStream (not a TStream) pay no virtual call per byte.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "host/base/stream.h"

namespace instkit {

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

  size_t Read(void* dst, size_t n) override {
    const size_t available = pos_ < data_.size() ? data_.size() - pos_ : 0;
    n = std::min(n, available);
    if (n > 0) std::memcpy(dst, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

  // The next byte, or -1 at the end.
  int ReadByte() { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }

  // Writing past the end extends the stream; a gap left by a position beyond
  // the end is filled with zero bytes.
  void Write(const void* src, size_t n) override {
    if (pos_ == data_.size()) {
      data_.append(static_cast<const char*>(src), n);
    } else {
      if (pos_ + n > data_.size()) data_.resize(pos_ + n);
      std::memcpy(data_.data() + pos_, src, n);
    }
    pos_ += n;
  }
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

  int64_t GetPosition() const override { return static_cast<int64_t>(pos_); }
  // Negative positions are taken as 0; positions beyond the end are allowed.
  void SetPosition(int64_t position) override { pos_ = position < 0 ? 0 : static_cast<size_t>(position); }
  int64_t GetSize() const override { return static_cast<int64_t>(data_.size()); }
  void SizeHint(int64_t bytes) override {
    if (bytes > 0) data_.reserve(pos_ + static_cast<size_t>(bytes));
  }

  // Direct access for encoders that append many small values: append to
  // Data() and then SetPosition(GetSize()).
  std::string& Data() { return data_; }
  const std::string& Data() const { return data_; }
  // The unread bytes from the current position on.
  std::string_view Remaining() const {
    return pos_ < data_.size() ? std::string_view(data_).substr(pos_) : std::string_view();
  }
  void Skip(size_t n) { pos_ += n; }
  void Clear() {
    data_.clear();
    pos_ = 0;
  }

 private:
  std::string data_;
  size_t pos_ = 0;
};

}  // namespace instkit
