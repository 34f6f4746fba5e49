#include "host/base/int_hash_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace instkit {
namespace {

TEST(Int32HashMapTest, AgreesWithAMapAndKeepsTheFirstValue) {
  TInt32HashMap<int64_t> map;
  std::map<int32_t, int64_t> model;
  EXPECT_EQ(map.Find(0), nullptr);
  std::mt19937 rng(5);
  for (int64_t i = 0; i < 50000; ++i) {
    // Narrow and extreme keys, so collisions, negatives and repeats occur.
    const int32_t key = i % 3 == 0 ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % 20000) - 10000;
    EXPECT_EQ(map.Insert(key, i), model.emplace(key, i).second);
  }
  EXPECT_EQ(map.Size(), model.size());
  for (const auto& [key, value] : model) {
    const int64_t* found = map.Find(key);
    ASSERT_NE(found, nullptr) << key;
    EXPECT_EQ(*found, value) << key;
  }
  EXPECT_FALSE(map.Contains(INT32_MIN) && model.count(INT32_MIN) == 0);
  map.Clear();
  EXPECT_EQ(map.Size(), 0u);
  EXPECT_FALSE(map.Contains(model.begin()->first));
}

}  // namespace
}  // namespace instkit
