// Reads the plain image of a data file piece by piece: the compressed file is
// decompressed into a small window (a TMemoryStream) that the header and
// record readers parse, and that is refilled as they consume it.  Memory
// stays bounded by the window (plus the longest record), and the pieces are
// parsed while still in the processor's cache.
//
// Positions: the window's bytes start at image offset Offset(); the image
// position of the reader is Offset() + Window().GetPosition().
#pragma once

#include <cstdint>

#include "Didf/data_file_format.h"
#include "Didf/data_file_percent.h"
#include "host/compress/compressor.h"
#include "host/base/memory_stream.h"

namespace instkit {

class TPlainImageReader {
 public:
  // The window is refilled to hold at least this many unread bytes.
  static constexpr size_t kLookahead = size_t{256} * 1024;

  explicit TPlainImageReader(TStream& file) : file_size_(file.GetSize()) {
    ConfigureDataFileCompressor(compressor_);
    compressor_.SetSource(&file);
    compressor_.SetDestination(&window_);
    compressor_.BeginDecompress();
  }

  TMemoryStream& Window() { return window_; }
  int64_t Offset() const { return offset_; }

  // Makes at least `bytes` unread bytes available unless the image ends
  // first.  Consumed bytes are dropped from the window.
  void Ensure(size_t bytes) {
    const size_t unread = window_.Remaining().size();
    if (unread >= bytes || compressor_.DecompressFinished()) return;
    const auto consumed = static_cast<size_t>(window_.GetPosition());
    std::string& data = window_.Data();
    data.erase(0, std::min(consumed, data.size()));
    offset_ += static_cast<int64_t>(consumed);
    window_.SetPosition(window_.GetSize());  // the decompressor appends
    while (data.size() < bytes && !compressor_.DecompressFinished()) compressor_.DecompressMore(bytes - data.size());
    window_.SetPosition(0);
  }

  // Loads the header lines into the window: until five line ends (CR) and
  // one byte more are in it, or the image ends.
  void EnsureHeader() {
    size_t want = 4096;
    for (;;) {
      Ensure(want);
      const std::string_view data = window_.Remaining();
      size_t ends = 0;
      size_t at = 0;
      for (; at < data.size() && ends < 5; ++at) ends += data[at] == '\r';
      if ((ends == 5 && at < data.size()) || compressor_.DecompressFinished()) return;
      want = data.size() * 2;
    }
  }

  bool AtEnd() const { return compressor_.DecompressFinished(); }

  // Raises when the compressed data ended inside a frame.
  void Finish() { compressor_.EndDecompress(); }

  // trunc(image position / image size * 100).  Without a declared image
  // size the compressed share read so far stands in for it.
  uint8_t Percent() const {
    const int64_t declared = compressor_.DeclaredPlainSize();
    if (declared >= 0) {
      return ProgressPercent(static_cast<double>(offset_ + window_.GetPosition()), static_cast<double>(declared));
    }
    return ProgressPercent(static_cast<double>(compressor_.SourceBytesRead()), static_cast<double>(file_size_));
  }

 private:
  TCompressor compressor_;
  TMemoryStream window_;
  int64_t offset_ = 0;
  int64_t file_size_;
};

}  // namespace instkit
