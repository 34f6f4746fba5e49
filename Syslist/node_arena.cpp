#include "Syslist/node_arena.h"

#include <mutex>
#include <new>
#include <vector>

#include "Syslist/sys_node.h"

#if defined(__SANITIZE_ADDRESS__)
#define INSTKIT_NODE_ARENA 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define INSTKIT_NODE_ARENA 0
#endif
#endif
#ifndef INSTKIT_NODE_ARENA
#define INSTKIT_NODE_ARENA 1
#endif

namespace instkit {

namespace {

// Every node block has this size, rounded for alignment.
constexpr size_t kBlock =
    (sizeof(TSysNode) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
static_assert(kBlock <= TNodeArena::kSlabBytes);

struct TArenaState {
  std::mutex mutex;
  std::vector<void*> slabs;
  size_t slab = 0;        // the slab being handed out
  size_t used = 0;        // bytes of it handed out
  void* freed = nullptr;  // freed blocks, each holding the next one's address
  size_t alive = 0;
};

TArenaState& State() {
  // Never destroyed: nodes of static trees may be freed after exit begins.
  static TArenaState* state = new TArenaState;
  return *state;
}

}  // namespace

void* TNodeArena::Allocate(size_t size) {
  if (!INSTKIT_NODE_ARENA || size != sizeof(TSysNode)) return ::operator new(size);
  TArenaState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.freed != nullptr) {
    void* block = s.freed;
    s.freed = *static_cast<void**>(block);
    ++s.alive;
    return block;
  }
  if (s.slab < s.slabs.size() && s.used + kBlock > kSlabBytes) {
    ++s.slab;
    s.used = 0;
  }
  if (s.slab == s.slabs.size()) s.slabs.push_back(::operator new(kSlabBytes));
  void* block = static_cast<char*>(s.slabs[s.slab]) + s.used;
  s.used += kBlock;
  ++s.alive;
  return block;
}

void TNodeArena::Free(void* block, size_t size) noexcept {
  if (block == nullptr) return;
  if (!INSTKIT_NODE_ARENA || size != sizeof(TSysNode)) {
    ::operator delete(block);
    return;
  }
  TArenaState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  *static_cast<void**>(block) = s.freed;
  s.freed = block;
  if (--s.alive > 0) return;
  // Empty: start again at the first slab, and keep only so many slabs.
  s.freed = nullptr;
  s.slab = 0;
  s.used = 0;
  const size_t kept = kKeptBytes / kSlabBytes;
  while (s.slabs.size() > kept) {
    ::operator delete(s.slabs.back());
    s.slabs.pop_back();
  }
}

}  // namespace instkit
