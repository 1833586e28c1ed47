// Large blocks, and the heap services that hand both kinds of block to the
// program.
#include "runtime/memory/large_blocks.h"
#include "runtime/memory/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tulora::rt {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

void Fill(void* block, size_t size, uint8_t seed) {
  auto* bytes = static_cast<uint8_t*>(block);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 12));
}

bool Holds(const void* block, size_t size, uint8_t seed) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != static_cast<uint8_t>(seed + i * 7 + (i >> 12))) return false;
  }
  return true;
}

TEST(LargeBlocks, GrowAndShrinkKeepTheirBytes) {
  void* block = AllocateLargeBlock(3 * kMiB);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(IsLargeBlock(block));
  EXPECT_GE(LargeBlockSize(block), 3 * kMiB);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (2 * kMiB), 0u);
  Fill(block, 3 * kMiB, 1);

  void* grown = ResizeLargeBlock(block, 9 * kMiB + 5);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % (2 * kMiB), 0u);
  EXPECT_GE(LargeBlockSize(grown), 9 * kMiB + 5);
  EXPECT_TRUE(Holds(grown, 3 * kMiB, 1));
  static_cast<uint8_t*>(grown)[9 * kMiB + 4] = 0x5A;  // the new end can be written
  if (grown != block) {
    EXPECT_FALSE(IsLargeBlock(block));
  }

  void* shrunk = ResizeLargeBlock(grown, 3 * kMiB - 7);
  ASSERT_EQ(shrunk, grown) << "a block shrinks in place";
  EXPECT_EQ(LargeBlockSize(shrunk), 4 * kMiB) << "whole 2 MiB units are kept, the rest given back";
  shrunk = ResizeLargeBlock(shrunk, 100000);
  ASSERT_EQ(shrunk, grown);
  EXPECT_TRUE(Holds(shrunk, 100000, 1));
  EXPECT_EQ(LargeBlockSize(shrunk), 2 * kMiB);
  // Growing within the units it holds neither moves the block nor cuts it
  // below a whole unit (that would cost the unit its huge page).
  EXPECT_EQ(ResizeLargeBlock(shrunk, 1 * kMiB), shrunk);
  EXPECT_EQ(LargeBlockSize(shrunk), 2 * kMiB);
  static_cast<uint8_t*>(shrunk)[2 * kMiB - 1] = 1;
  ReleaseLargeBlock(shrunk);
  EXPECT_FALSE(IsLargeBlock(shrunk));
}

TEST(LargeBlocks, OrdinaryBlocksAreNotTakenForLargeOnes) {
  void* ordinary = calloc(1, 64);
  EXPECT_FALSE(IsLargeBlock(ordinary));
  EXPECT_FALSE(IsLargeBlock(nullptr));
  EXPECT_EQ(ResizeLargeBlock(ordinary, 10 * kMiB), nullptr);
  free(ordinary);
}

TEST(ProgramHeap, BlocksMoveBetweenKindsWithTheirBytes) {
  void* block = AllocateHeapBlock(1000);
  EXPECT_FALSE(IsLargeBlock(block));
  Fill(block, 1000, 9);
  block = ResizeHeapBlock(block, 5 * kMiB);  // grows into a large block
  EXPECT_TRUE(IsLargeBlock(block));
  EXPECT_TRUE(Holds(block, 1000, 9));
  Fill(block, 5 * kMiB, 3);
  block = ResizeHeapBlock(block, 20 * kMiB);
  EXPECT_TRUE(Holds(block, 5 * kMiB, 3));
  block = ResizeHeapBlock(block, 1234);  // keeps its kind, and its bytes
  EXPECT_TRUE(Holds(block, 1234, 3));
  ReleaseHeapBlock(block);
  EXPECT_FALSE(IsLargeBlock(block));

  void* large = AllocateHeapBlock(kLargeBlockFrom);
  EXPECT_TRUE(IsLargeBlock(large));
  ReleaseHeapBlock(large);
  ReleaseHeapBlock(ResizeHeapBlock(nullptr, 3 * kMiB));
}

}  // namespace
}  // namespace tulora::rt
