// The stream compressor of the host tools: whole-stream compression with
// zstd's streaming API.
//
// Compress() reads the source from its current position to its end and
// writes one zstd frame to the destination; Decompress() reads the source
// from its current position to its end and writes the plain bytes of every
// frame found there.  The positions in which both streams are left are not
// part of the contract.
//
// Options:
// - Checksum (the Boolean option): Compress() stores a content checksum in
//   the frame, and Decompress() verifies it, so a damaged file is reported as
//   an error instead of being read as garbage.  Frames written without it
//   decompress either way.
// - Level: zstd's compression level, 3 unless set.
// - MaxOutputSize: Decompress() stops with an error once the plain output
//   would exceed this many bytes (default kDefaultMaxOutputSize, 1 GiB, or
//   what SetDefaultMaxOutputSize made the process-wide default), so a small
//   file cannot exhaust memory.  zstd's own window limit (128 MiB) bounds the
//   decoder's working memory.
//
// Failures raise Exception("ECompressorError", message); failures of the
// streams propagate as they are (EInOutError).  An empty source decompresses
// to nothing.  One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "host/stream.h"

namespace instkit {

class TCompressor {
 public:
  static constexpr uint64_t kDefaultMaxOutputSize = uint64_t{1} << 30;

  TCompressor();
  ~TCompressor();
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  void SetChecksum(bool on) { checksum_ = on; }
  bool GetChecksum() const { return checksum_; }
  void SetLevel(int level) { level_ = level; }
  void SetMaxOutputSize(uint64_t bytes) { max_output_ = bytes; }
  uint64_t GetMaxOutputSize() const { return max_output_; }

  // Neither stream is owned; both must outlive the call that uses them.
  void SetSource(TStream* source) { source_ = source; }
  void SetDestination(TStream* destination) { destination_ = destination; }

  void Compress();
  void Decompress();
  // Decompresses no more than the first `bytes` plain bytes and stops there
  // without an error (for reading a header).  Damage met before that point
  // still raises.
  void DecompressPrefix(uint64_t bytes);

  // The cap that new compressors start with; for hosts (and fuzzers) that
  // must keep memory tighter than the default.
  static void SetDefaultMaxOutputSize(uint64_t bytes);
  static uint64_t GetDefaultMaxOutputSize();

 private:
  void CheckStreams() const;
  void Run(uint64_t limit, bool stop_quietly);

  TStream* source_ = nullptr;
  TStream* destination_ = nullptr;
  bool checksum_ = false;
  int level_ = 3;
  uint64_t max_output_;
};

}  // namespace instkit
