// The check record that ends every data file written here.
//
// After the compressed image comes one zstd skippable frame, which zstd and
// every other decompressor skip:
//
//   record := uint32 0x184D2A5E     skippable-frame magic (frozen)
//             uint32 16             payload size
//             "IDFC"                tag
//             uint32 crc            CRC-32 of every file byte before the record
//             uint64 plain size     bytes of the plain image
//
// (all little-endian, 24 bytes).  It lets FromFileToTable refuse a damaged
// file before inserting a row, reading the file once instead of
// decompressing it twice.  Files without it (older ones, or written by zstd
// itself) are still read; only decompressing can then tell damage.  The
// record vouches for accidental damage only: data made to match it can still
// fail while being decompressed.
#pragma once

#include <cstdint>

#include "host/base/stream.h"

namespace instkit {

// A write-only stream in front of the file: passes every byte on and keeps
// the CRC-32 of what passed, so that AppendCheckRecord can close the file.
class TCheckedOutput final : public TStream {
 public:
  explicit TCheckedOutput(TStream& file) : file_(file) {}

  size_t Read(void* dst, size_t n) override;  // raises: write-only
  void Write(const void* src, size_t n) override;
  int64_t GetPosition() const override { return written_; }
  void SetPosition(int64_t position) override;  // only the current position
  int64_t GetSize() const override { return written_; }

  // Writes the check record for the bytes written so far.
  void AppendCheckRecord(uint64_t plain_size);

 private:
  TStream& file_;
  uint32_t crc_ = 0;
  int64_t written_ = 0;
};

// Reads `source` from its position to its end.  When it ends with a check
// record, verifies the CRC-32 of everything before it and raises
// ECompressorError when it differs ("Compressed data are damaged: the check
// record does not match") or when the recorded plain size exceeds
// `max_plain_size`; returns true.  Returns false, having read the source,
// when there is no check record.
bool VerifyCheckRecord(TStream& source, uint64_t max_plain_size);

}  // namespace instkit
