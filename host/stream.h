// A minimal byte stream: the common face of memory streams and file streams,
// which the branch streaming of form trees (host/form_util.h) reads and
// writes.
//
// Contract: Read answers how many bytes it delivered (0 at the end);
// ReadBuffer and WriteBuffer move exactly the bytes asked for or raise
// EStreamError naming the stream.  Position and Size let a reader check every
// length it decodes against Remaining() before it allocates or reads.
// A stream is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/exception.h"

namespace instkit {

// A short read, a write to a read-only stream and similar misuse.
class EStreamError : public Exception {
 public:
  explicit EStreamError(std::string message) : Exception("EStreamError", std::move(message)) {}
};

class TStream {
 public:
  virtual ~TStream() = default;

  // Up to n bytes into dst; returns the count delivered (0 at the end).
  virtual size_t Read(void* dst, size_t n) = 0;
  // All n bytes or raise.
  virtual void Write(const void* src, size_t n) = 0;
  // Bytes before the current position, and the stream's total size.
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  // A name for messages (the file name, or "memory stream").
  virtual std::string Describe() const = 0;

  int64_t Remaining() const {
    const int64_t left = Size() - Position();
    return left > 0 ? left : 0;
  }
  // Exactly n bytes, or EStreamError.
  void ReadBuffer(void* dst, size_t n);
  void WriteBuffer(const void* src, size_t n) { Write(src, n); }
  void WriteString(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
};

}  // namespace instkit
