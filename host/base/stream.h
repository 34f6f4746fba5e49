// Byte streams: the common interface of the memory and file streams that the
// compressor and the data files work on.  Positions and sizes are 64-bit byte
// counts from the start of the stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace instkit {

class TStream {
 public:
  virtual ~TStream() = default;

  // Up to n bytes from the current position; returns the count read (0 at
  // the end).  Raises EInOutError when the stream cannot be read.
  virtual size_t Read(void* dst, size_t n) = 0;
  // n bytes at the current position.  Raises EInOutError on failure.
  virtual void Write(const void* src, size_t n) = 0;
  virtual int64_t GetPosition() const = 0;
  // Raises EInOutError when the stream cannot move there.
  virtual void SetPosition(int64_t position) = 0;
  virtual int64_t GetSize() const = 0;
  // A hint that about `bytes` more bytes will be written; streams that can
  // prepare for them (memory streams) do.
  virtual void SizeHint(int64_t bytes) { (void)bytes; }
};

}  // namespace instkit
