// The messages between a run and its worker (Engine/run_worker.h), one
// message per TWorker message (host/platform/worker.h):
//
//   message := kind:u8 field*
//   u8, i32, u32: little-endian; string := length:u32 bytes
//
// worker -> run                     fields
//   kLog                            line
//   kPhaseStarted                   phase:u8
//   kPhaseEnded                     phase:u8 outcome:u8
//   kTurnStarted                    phase:u8 index:i32 (not for a subsystem
//                                   without a library, but in the perform phase)
//   kTurnFinished                   phase:u8 index:i32 good:u8 image
//   kProgress                       percent:i32 text extra:i32
//   kProgressVisible                visible:u8
//   kBox                            id:u32 kind:u8 phase:u8 index:i32 text caption style:u32
//                                   (a Yes/No box waits for the kAnswer with its id)
//   kLoaded                         records:i32 library reason
//   kResults                        count:i32 (done:u8 image)*count, one per record
//   kFinished                       (then waits for kBye)
//   kAwaitMedia                     the questions completed; waits for kMedia
//                                   (only when the job asks for it)
// run -> worker
//   kAnswer                         id:u32 answer:i32 (kIdYes, kIdNo)
//   kControl                        control:u8 (kControlAbort, ...)
//   kBye
//   kMedia                          go:u8 count:i32 skip:u8*count: perform
//                                   (go 1) without the records marked skip,
//                                   or not at all (go 0)
//
// `image` is the flat tree image of the record's subsystem as the library
// left it (empty when it has none): perform turns carry it so the run knows
// the children's results even if a later library crashes.  Internal to the
// engine; both ends are always the same build.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/base/coding.h"

namespace instkit::wire {

enum TKind : uint8_t {
  kLog = 1,
  kPhaseStarted,
  kPhaseEnded,
  kTurnStarted,
  kTurnFinished,
  kProgress,
  kProgressVisible,
  kBox,
  kLoaded,
  kResults,
  kFinished,
  kAwaitMedia,
  kAnswer = 100,
  kControl,
  kBye,
  kMedia,
};

enum TControl : uint8_t { kControlAbort = 1, kControlSuspend, kControlResume };

class TWriter {
 public:
  explicit TWriter(TKind kind) { out_.push_back(static_cast<char>(kind)); }
  TWriter& U8(uint8_t value) {
    out_.push_back(static_cast<char>(value));
    return *this;
  }
  TWriter& U32(uint32_t value) {
    PutFixed32(out_, value);
    return *this;
  }
  TWriter& I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
  TWriter& Str(std::string_view value) {
    U32(static_cast<uint32_t>(value.size()));
    out_.append(value);
    return *this;
  }
  const std::string& Bytes() const { return out_; }

 private:
  std::string out_;
};

// Reads fields in order; a field past the end reads as zero or empty and
// makes ok() false.
class TReader {
 public:
  explicit TReader(std::string_view in) : in_(in) {}
  TKind Kind() { return static_cast<TKind>(U8()); }
  uint8_t U8() {
    if (!Need(1)) return 0;
    return static_cast<uint8_t>(in_[pos_++]);
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    const uint32_t value = DecodeFixed32(in_.data() + pos_);
    pos_ += 4;
    return value;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  std::string Str() {
    const uint32_t size = U32();
    if (!Need(size)) return std::string();
    std::string value(in_.substr(pos_, size));
    pos_ += size;
    return value;
  }
  bool ok() const { return ok_; }

 private:
  bool Need(size_t n) {
    if (ok_ && in_.size() - pos_ >= n) return true;
    ok_ = false;
    return false;
  }
  std::string_view in_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace instkit::wire
