// The content hash of an unpacked file, as the manifest (Media/manifest.h)
// records it and `verify` compares it: XXH3 with 128-bit output (xxHash,
// Debian libxxhash-dev), written as 32 lowercase hex digits.
//
// Why XXH3-128: the question it answers is "has this file changed since it
// was unpacked", over gigabytes, at every verify and uninstall.  XXH3 hashes
// at memory speed (tens of GB/s), so both stay bound by reading the files;
// 128 bits make an accidental match of a changed file out of the question.
// It is not a defence against someone who crafts a collision on purpose:
// the manifest guards against accidents and other programs, not attackers
// with write access to the target (who could rewrite the manifest too).
// zlib's CRC-32 (already linked) is too short for that job.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace instkit {

class TContentHash {
 public:
  TContentHash();
  ~TContentHash();
  TContentHash(const TContentHash&) = delete;
  TContentHash& operator=(const TContentHash&) = delete;

  void Update(const void* data, size_t size);
  // The hash of everything given so far, 32 hex digits.
  std::string Hex() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The hash of a whole file, read in large blocks; raises EInOutError when it
// cannot be read.  `size` receives the number of bytes read.
std::string HashFile(const std::string& path, uint64_t* size = nullptr);

}  // namespace instkit
