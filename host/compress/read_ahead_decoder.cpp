#include "host/compress/read_ahead_decoder.h"

#include <algorithm>

#include "host/base/memory_stream.h"

namespace instkit {

TReadAheadDecoder::TReadAheadDecoder(TStream& source, uint64_t max_output) {
  inner_.SetMaxOutputSize(max_output);
  inner_.SetSource(&source);
  worker_ = std::thread([this] { Run(); });
}

TReadAheadDecoder::~TReadAheadDecoder() { Stop(); }

void TReadAheadDecoder::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void TReadAheadDecoder::Run() {
  try {
    TMemoryStream piece;
    inner_.SetDestination(&piece);
    inner_.BeginDecompress();
    for (;;) {
      piece.Clear();
      inner_.DecompressMore(kPiece);
      declared_.store(inner_.DeclaredPlainSize(), std::memory_order_relaxed);
      read_.store(inner_.SourceBytesRead(), std::memory_order_relaxed);
      const bool finished = inner_.DecompressFinished();
      if (finished) {
        try {
          inner_.EndDecompress();
        } catch (...) {
          end_failure_ = std::current_exception();
        }
      }
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || queued_.size() < kMaxQueued; });
      if (stop_) return;
      if (piece.GetSize() > 0) {
        queued_.push_back(std::move(piece.Data()));
        // Decode the next piece into a buffer the reader has finished with:
        // a new one would grow from nothing, page by page, for every piece.
        if (!spare_.empty()) {
          piece.Data() = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      done_ = finished;
      lock.unlock();
      changed_.notify_all();
      if (finished) return;
    }
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      failure_ = std::current_exception();
      done_ = true;
    }
    changed_.notify_all();
  }
}

bool TReadAheadDecoder::NextPiece() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !queued_.empty() || done_; });
  if (queued_.empty()) {
    if (failure_) std::rethrow_exception(failure_);
    exhausted_ = true;
    return false;
  }
  if (current_.capacity() > 0 && spare_.size() < kMaxQueued) {
    current_.clear();
    spare_.push_back(std::move(current_));
  }
  current_ = std::move(queued_.front());
  queued_.pop_front();
  taken_ = 0;
  lock.unlock();
  changed_.notify_all();
  return true;
}

size_t TReadAheadDecoder::More(TStream& destination, size_t bytes) {
  // Whole pieces are passed on, so that a reader asking for a little more
  // receives a good deal more and comes back seldom.
  size_t written = 0;
  while (written < bytes) {
    if (taken_ == current_.size() && (exhausted_ || !NextPiece())) break;
    const size_t n = current_.size() - taken_;
    destination.Write(current_.data() + taken_, n);
    taken_ += n;
    written += n;
  }
  return written;
}

bool TReadAheadDecoder::Finished() {
  if (taken_ < current_.size()) return false;
  if (exhausted_) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return queued_.empty() && done_ && !failure_;
}

void TReadAheadDecoder::End() {
  Stop();
  if (end_failure_) std::rethrow_exception(end_failure_);
}

}  // namespace instkit
