// Memory for TSysNode objects.
//
// A large catalogue makes 100,000 nodes of one size at once and frees them
// together.  From the general heap each is a separate block, and after a
// large tree has been freed the heap hands out scattered blocks, so the next
// build visits its own nodes out of order.  The arena hands out nodes from
// large slabs one after another and reuses freed nodes first; once no node
// is alive it starts again at the beginning of its first slab, so a rebuilt
// catalogue lies in memory in the order it is made.
//
// Slabs are kept for the next tree up to kKeptBytes (so that a program
// making and dropping a few nodes does not allocate a slab each time); the
// rest are released when the arena empties.  Keeping more does not make a
// rebuild faster: writing into freshly mapped pages is cheaper than into old
// ones that have left the cache.  One mutex guards the arena: nodes may be made and
// freed on any thread.  Blocks of another size (a class derived from
// TSysNode) and builds with AddressSanitizer use the general heap, so that
// misuse of freed nodes is still caught there.
#pragma once

#include <cstddef>

namespace instkit {

class TNodeArena {
 public:
  static constexpr size_t kSlabBytes = size_t{256} * 1024;
  static constexpr size_t kKeptBytes = size_t{4} * 1024 * 1024;

  static void* Allocate(size_t size);
  static void Free(void* block, size_t size) noexcept;
};

}  // namespace instkit
