#include "Media/content_hash.h"

#include <cstdint>
#include <vector>

#include "host/platform/file.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace instkit {

struct TContentHash::TState {
  XXH3_state_t state;
};

TContentHash::TContentHash() : state_(std::make_unique<TState>()) { XXH3_128bits_reset(&state_->state); }

TContentHash::~TContentHash() = default;

void TContentHash::Update(const void* data, size_t size) { XXH3_128bits_update(&state_->state, data, size); }

std::string TContentHash::Hex() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(&state_->state);
  std::string hex(32, '0');
  uint64_t halves[2] = {hash.high64, hash.low64};
  for (int half = 0; half < 2; ++half) {
    uint64_t value = halves[half];
    for (int i = 15; i >= 0; --i, value >>= 4)
      hex[(static_cast<size_t>(half) * 16) + static_cast<size_t>(i)] = "0123456789abcdef"[value & 15];
  }
  return hex;
}

std::string HashFile(const std::string& path, uint64_t* size) {
  TInputFile file(path);
  TContentHash hash;
  // One buffer per thread for every file: a verify of 20,000 small files
  // would otherwise map and unmap a fresh MiB for each.
  thread_local std::vector<char> block(1 << 20);
  uint64_t total = 0;
  for (size_t n; (n = file.Read(block.data(), block.size())) > 0;) {
    hash.Update(block.data(), n);
    total += n;
  }
  if (size != nullptr) *size = total;
  return hash.Hex();
}

}  // namespace instkit
