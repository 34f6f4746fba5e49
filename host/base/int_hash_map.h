// A small open-addressing hash map from 32-bit integers (subsystem numbers)
// to values, for lookups over 100,000-entry catalogues without a heap node
// per entry.  Insert never replaces: the first value stored for a key stays.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace instkit {

template <typename V>
class TInt32HashMap {
 public:
  // Stores `value` under `key` unless the key is present; true when stored.
  bool Insert(int32_t key, const V& value) {
    if ((size_ + 1) * 2 > slots_.size()) Grow();
    TSlot& slot = slots_[Probe(key)];
    if (slot.used) return false;
    slot = TSlot{true, key, value};
    ++size_;
    return true;
  }
  // The value stored under `key`; null when there is none.
  const V* Find(int32_t key) const {
    if (slots_.empty()) return nullptr;
    const TSlot& slot = slots_[Probe(key)];
    return slot.used ? &slot.value : nullptr;
  }
  bool Contains(int32_t key) const { return Find(key) != nullptr; }
  // Makes room for `count` keys without further growth.
  void Reserve(size_t count) {
    while (count * 2 > slots_.size()) Grow();
  }
  size_t Size() const { return size_; }
  void Clear() {
    slots_.clear();
    size_ = 0;
  }

 private:
  struct TSlot {
    bool used;
    int32_t key;
    V value;
  };

  // The slot holding `key`, or the empty slot where it would go.
  size_t Probe(int32_t key) const {
    const size_t mask = slots_.size() - 1;
    // Fibonacci hashing: the top bits of the product spread consecutive
    // numbers evenly over the table.
    size_t slot =
        static_cast<size_t>((static_cast<uint64_t>(static_cast<uint32_t>(key)) * 0x9E3779B97F4A7C15ull) >> shift_);
    while (slots_[slot].used && slots_[slot].key != key) slot = (slot + 1) & mask;
    return slot;
  }

  void Grow() {
    std::vector<TSlot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, TSlot{false, 0, V{}});
    shift_ = 64;
    for (size_t n = slots_.size(); n > 1; n >>= 1) --shift_;
    for (const TSlot& slot : old) {
      if (slot.used) slots_[Probe(slot.key)] = slot;
    }
  }

  std::vector<TSlot> slots_;  // size a power of two, at most half used
  size_t size_ = 0;
  int shift_ = 64;  // 64 - log2(slots_.size())
};

}  // namespace instkit
