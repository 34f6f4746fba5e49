// The node arena: blocks never overlap, whatever the threads do, and an
// emptied arena hands out its slabs again from the start.
#include "Syslist/node_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "Syslist/sys_node.h"

namespace instkit {
namespace {

constexpr size_t kNode = sizeof(TSysNode);

// Under AddressSanitizer the heap serves every block instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kArena = false;
#elif defined(__has_feature)
constexpr bool kArena = !__has_feature(address_sanitizer);
#else
constexpr bool kArena = true;
#endif

// Blocks each filled with its own byte, checked after every thread is done.
void ExpectApart(const std::vector<void*>& blocks) {
  std::vector<char*> sorted;
  sorted.reserve(blocks.size());
  for (void* b : blocks) sorted.push_back(static_cast<char*>(b));
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) ASSERT_GE(sorted[i] - sorted[i - 1], static_cast<ptrdiff_t>(kNode));
  for (void* b : blocks) ASSERT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(TSysNode), 0u);
}

TEST(NodeArenaTest, BlocksNeverOverlapAndARebuildLiesWhereTheFirstBuildLay) {
  // Three slabs and a bit, so that every slab change is crossed.
  const size_t count = 3 * TNodeArena::kSlabBytes / kNode + 7;
  std::vector<void*> first;
  for (size_t i = 0; i < count; ++i) {
    first.push_back(TNodeArena::Allocate(kNode));
    std::memset(first.back(), static_cast<int>(i % 251), kNode);
  }
  ExpectApart(first);
  for (size_t i = 0; i < count; ++i) {
    ASSERT_EQ(static_cast<unsigned char*>(first[i])[kNode - 1], i % 251) << i;
  }
  if (kArena) {  // freed blocks come back first, most recent first
    TNodeArena::Free(first[5], kNode);
    TNodeArena::Free(first[9], kNode);
    EXPECT_EQ(TNodeArena::Allocate(kNode), first[9]);
    EXPECT_EQ(TNodeArena::Allocate(kNode), first[5]);
  }
  for (void* b : first) TNodeArena::Free(b, kNode);

  std::vector<void*> again;
  for (size_t i = 0; i < count; ++i) again.push_back(TNodeArena::Allocate(kNode));
  if (kArena) {  // the emptied arena starts over at its first slab
    EXPECT_EQ(again, first);
  }
  for (void* b : again) TNodeArena::Free(b, kNode);
  // Blocks of another size come from the heap.
  TNodeArena::Free(TNodeArena::Allocate(kNode + 8), kNode + 8);
}

TEST(NodeArenaTest, ThreadsMakingAndFreeingNodesGetBlocksOfTheirOwn) {
  std::vector<std::vector<void*>> kept(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kept.size(); ++t) {
    threads.emplace_back([&, t] {
      std::vector<void*> mine;
      for (int round = 0; round < 20000; ++round) {
        mine.push_back(TNodeArena::Allocate(kNode));
        std::memset(mine.back(), static_cast<int>(t + 1), kNode);
        if (round % 3 == 2) {  // free one now and then
          std::swap(mine[mine.size() / 2], mine.back());
          TNodeArena::Free(mine.back(), kNode);
          mine.pop_back();
        }
      }
      kept[t] = std::move(mine);
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<void*> all;
  for (size_t t = 0; t < kept.size(); ++t) {
    for (void* b : kept[t]) {
      ASSERT_EQ(static_cast<unsigned char*>(b)[0], t + 1);
      ASSERT_EQ(static_cast<unsigned char*>(b)[kNode - 1], t + 1);
      all.push_back(b);
    }
  }
  ExpectApart(all);
  for (void* b : all) TNodeArena::Free(b, kNode);
}

}  // namespace
}  // namespace instkit
