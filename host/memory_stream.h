// A growable in-memory stream.  Writes at the position overwrite and extend
// the data; reads stop at its end.
#pragma once

#include <string>

#include "host/stream.h"

namespace instkit {

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  // Starts at position 0 over a copy of `data`.
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

  size_t Read(void* dst, size_t n) override;
  void Write(const void* src, size_t n) override;
  int64_t Position() const override { return static_cast<int64_t>(pos_); }
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  std::string Describe() const override { return "memory stream"; }

  // Moves to `position`, clamped to 0 .. Size().
  void Seek(int64_t position);
  void Clear();
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  size_t pos_ = 0;
};

}  // namespace instkit
