#include "Didf/check_record.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "host/base/coding.h"
#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

namespace {

constexpr uint32_t kRecordMagic = 0x184D2A5E;
constexpr char kRecordTag[4] = {'I', 'D', 'F', 'C'};
constexpr size_t kRecordSize = 24;

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  const auto* bytes = static_cast<const Bytef*>(data);
  while (n > 0) {
    const auto chunk = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, bytes, chunk));
    bytes += chunk;
    n -= chunk;
  }
  return crc;
}

[[noreturn]] void Fail(const std::string& message) { throw Exception("ECompressorError", message); }

}  // namespace

size_t TCheckedOutput::Read(void*, size_t) { throw EInOutError("Cannot read a data file while writing it"); }

void TCheckedOutput::Write(const void* src, size_t n) {
  file_.Write(src, n);
  crc_ = Crc32(crc_, src, n);
  written_ += static_cast<int64_t>(n);
}

void TCheckedOutput::SetPosition(int64_t position) {
  if (position != written_) throw EInOutError("Cannot seek in a data file while writing it");
}

void TCheckedOutput::AppendCheckRecord(uint64_t plain_size) {
  char record[kRecordSize];
  EncodeFixed32(record, kRecordMagic);
  EncodeFixed32(record + 4, static_cast<uint32_t>(kRecordSize - 8));
  std::copy(kRecordTag, kRecordTag + 4, record + 8);
  EncodeFixed32(record + 12, crc_);
  EncodeFixed64(record + 16, plain_size);
  file_.Write(record, kRecordSize);
  written_ += static_cast<int64_t>(kRecordSize);
}

bool VerifyCheckRecord(TStream& source, uint64_t max_plain_size) {
  const int64_t size = source.GetSize() - source.GetPosition();
  std::vector<char> buffer(1 << 20);
  // The bytes before the last kRecordSize are checksummed as they pass.
  int64_t body = size >= static_cast<int64_t>(kRecordSize) ? size - static_cast<int64_t>(kRecordSize) : 0;
  uint32_t crc = 0;
  while (body > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(body, static_cast<int64_t>(buffer.size())));
    const size_t n = source.Read(buffer.data(), want);
    if (n == 0) return false;  // shorter than it said: let decompression tell
    crc = Crc32(crc, buffer.data(), n);
    body -= static_cast<int64_t>(n);
  }
  char record[kRecordSize];
  size_t got = 0;
  while (got < kRecordSize) {
    const size_t n = source.Read(record + got, kRecordSize - got);
    if (n == 0) break;
    got += n;
  }
  if (got != kRecordSize || DecodeFixed32(record) != kRecordMagic || DecodeFixed32(record + 4) != kRecordSize - 8 ||
      !std::equal(kRecordTag, kRecordTag + 4, record + 8)) {
    return false;
  }
  if (DecodeFixed32(record + 12) != crc) Fail("Compressed data are damaged: the check record does not match");
  if (DecodeFixed64(record + 16) > max_plain_size) {
    Fail(Format("Decompressed data exceed the limit of %llu bytes", static_cast<unsigned long long>(max_plain_size)));
  }
  return true;
}

}  // namespace instkit
