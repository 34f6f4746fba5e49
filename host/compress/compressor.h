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
// - Level: zstd's compression level, 3 unless set; MinMatch: zstd's minimum
//   match length, the level's own unless set.
// - MaxOutputSize: Decompress() stops with an error once the plain output
//   would exceed this many bytes (what Settings().MaxDecompressedSize() was
//   when the compressor was made, 1 GiB by default; host/base/settings.h),
//   so a small file cannot exhaust memory.  zstd's own window limit
//   (128 MiB) bounds the decoder's working memory.
//
// Failures raise Exception("ECompressorError", message); failures of the
// streams propagate as they are (EInOutError).  An empty source decompresses
// to nothing.  One object is used by one thread at a time (with the
// read-ahead option it runs a worker of its own, joined by EndDecompress or
// the destructor).
#pragma once

#include <cstdint>
#include <memory>

#include "host/base/settings.h"
#include "host/base/stream.h"

namespace instkit {

class TReadAheadDecoder;

class TCompressor {
 public:
  static constexpr uint64_t kDefaultMaxOutputSize = kDefaultMaxDecompressedSize;

  TCompressor();
  ~TCompressor();
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  void SetChecksum(bool on) { checksum_ = on; }
  bool GetChecksum() const { return checksum_; }
  void SetLevel(int level) { level_ = level; }
  // zstd's minimum match length (0: the level's own).
  void SetMinMatch(int length) { min_match_ = length; }
  // Worker threads that compress while the caller goes on producing input
  // (0: none, all work on the caller's thread).  Ignored when the zstd
  // library was built without threads.  The frame format is the same.
  void SetWorkers(int workers) { workers_ = workers; }
  // Incremental decompression (BeginDecompress) decodes on a worker thread,
  // a few pieces ahead of the caller, which takes them as it reads: the
  // decoding then overlaps the caller's parsing.  The results are the same.
  // While it runs, the source belongs to the worker.  Decompress() and
  // DecompressPrefix() always decode on the caller's thread.
  void SetReadAhead(bool on) { read_ahead_ = on; }
  void SetMaxOutputSize(uint64_t bytes) { max_output_ = bytes; }
  uint64_t GetMaxOutputSize() const { return max_output_; }

  // Neither stream is owned; both must outlive the call that uses them.
  void SetSource(TStream* source) { source_ = source; }
  void SetDestination(TStream* destination) { destination_ = destination; }

  void Compress();
  void Decompress();

  // Incremental compression into the destination (no source needed):
  // BeginCompress, any number of CompressMore, then EndCompress, which
  // completes the frame.  A plain size given to BeginCompress must be exact.
  // Lets a writer compress a large image piece by piece while it is built,
  // so the pieces are compressed while still in the processor's cache.
  void BeginCompress(int64_t plain_size = -1);
  void CompressMore(const void* data, size_t n);
  void EndCompress();

  // Incremental decompression from the source into the destination, for
  // readers that parse a large image piece by piece in a small window:
  // BeginDecompress, then DecompressMore until DecompressFinished, then
  // EndDecompress, which raises when the source ended inside a frame.  The
  // output cap applies to the total.
  void BeginDecompress();
  // Writes at least `bytes` more plain bytes unless the source ends first;
  // returns the count written.
  size_t DecompressMore(size_t bytes);
  bool DecompressFinished() const;
  void EndDecompress();
  // The plain size the first frame declares, or -1 when it declares none
  // (known after the first DecompressMore).
  int64_t DeclaredPlainSize() const;
  // Compressed bytes taken from the source so far.
  uint64_t SourceBytesRead() const;
  // Decompresses no more than the first `bytes` plain bytes and stops there
  // without an error (for reading a header).  Damage met before that point
  // still raises.
  void DecompressPrefix(uint64_t bytes);

 private:
  void CheckStreams() const;
  void Pump(const void* data, size_t n, bool last);
  // Starts decoding on the caller's thread.
  void BeginPlainDecompress();

  struct Encoder;
  struct Decoder;
  std::unique_ptr<Encoder> encoder_;
  std::unique_ptr<Decoder> decoder_;
  std::unique_ptr<TReadAheadDecoder> ahead_;

  TStream* source_ = nullptr;
  TStream* destination_ = nullptr;
  bool checksum_ = false;
  int level_ = 3;
  int min_match_ = 0;
  int workers_ = 0;
  bool read_ahead_ = false;
  uint64_t max_output_;
};

}  // namespace instkit
