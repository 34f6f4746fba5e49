// Decompression run ahead of its reader on a worker thread (TCompressor's
// read-ahead option).  The worker decodes the source into pieces of plain
// data and queues a few of them; the reader takes them as it needs them, so
// decoding and parsing overlap on two processors.  Memory stays bounded by
// the queue (kMaxQueued pieces of kPiece bytes).
//
// The reader sees what a decoder on its own thread would give: the same
// bytes in the same order, then the failure (damaged data, the output cap,
// a failing source) once the bytes decoded before it have been taken, and
// "ends in the middle of a frame" from End().  The source stream belongs to
// the worker until End() or destruction; both stop and join it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/compress/compressor.h"
#include "host/base/stream.h"

namespace instkit {

class TReadAheadDecoder {
 public:
  static constexpr size_t kPiece = size_t{256} * 1024;
  static constexpr size_t kMaxQueued = 4;

  TReadAheadDecoder(TStream& source, uint64_t max_output);
  ~TReadAheadDecoder();
  TReadAheadDecoder(const TReadAheadDecoder&) = delete;
  TReadAheadDecoder& operator=(const TReadAheadDecoder&) = delete;

  // Writes at least `bytes` plain bytes to `destination` unless the data end
  // first; returns the count written.  Raises the worker's failure when it
  // is next in line.
  size_t More(TStream& destination, size_t bytes);
  // True once every plain byte has been taken and the data ended cleanly.
  bool Finished();
  int64_t DeclaredPlainSize() const { return declared_.load(std::memory_order_relaxed); }
  uint64_t SourceBytesRead() const { return read_.load(std::memory_order_relaxed); }
  // Stops the worker; raises when the data ended inside a frame.
  void End();

 private:
  void Run();
  void Stop();
  // Makes the next piece current; false when none will come.  Raises a
  // queued failure.
  bool NextPiece();

  TCompressor inner_;  // the plain decoder, used by the worker only
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queued_;
  std::vector<std::string> spare_;  // taken pieces, returned for reuse
  bool done_ = false;               // the worker will queue nothing more
  bool stop_ = false;
  std::exception_ptr failure_;      // raised by More once the queue is empty
  std::exception_ptr end_failure_;  // raised by End
  std::atomic<int64_t> declared_{-1};
  std::atomic<uint64_t> read_{0};

  // The reader's side.
  std::string current_;
  size_t taken_ = 0;
  bool exhausted_ = false;

  std::thread worker_;
};

}  // namespace instkit
