// Large blocks on Linux: anonymous mappings, aligned by mapping 2 MiB more
// and trimming, marked MADV_HUGEPAGE; growth with mremap onto an aligned
// reservation, so huge pages move whole. A mapping is always whole 2 MiB
// units: one cut to the page would leave its last unit without a huge
// page, and a block that grows again (the body read 1024 bytes at a time
// doubles its room) would then fill that unit 4 KiB at a time. The held blocks and their mapped
// lengths are kept in a table under a lock; only a 2 MiB-aligned address
// is looked up there, so releasing an ordinary heap block costs nothing.
#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "runtime/memory/large_blocks.h"

namespace tulora::rt {
namespace {

constexpr size_t kAlignment = size_t{2} << 20;

struct Held {
  std::mutex mutex;
  std::unordered_map<const void*, size_t> lengths;  // block -> mapped length
};

Held& Blocks() {
  static Held* held = new Held;  // outlives every thread that may still release
  return *held;
}

size_t RoundUp(size_t size, size_t unit) { return (size + unit - 1) & ~(unit - 1); }

bool IsAligned(const void* block) {
  return (reinterpret_cast<uintptr_t>(block) & (kAlignment - 1)) == 0;
}

// An aligned, inaccessible range of `length` bytes; null when none.
void* Reserve(size_t length, int protection) {
  if (length > SIZE_MAX - kAlignment) return nullptr;
  void* mapped = mmap(nullptr, length + kAlignment, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t first = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t start = RoundUp(first, kAlignment);
  if (start > first) munmap(mapped, start - first);
  munmap(reinterpret_cast<void*>(start + length), kAlignment - (start - first));
  return reinterpret_cast<void*>(start);
}

size_t HeldLength(const void* block) {
  if (block == nullptr || !IsAligned(block)) return 0;
  Held& held = Blocks();
  std::lock_guard<std::mutex> lock(held.mutex);
  const auto found = held.lengths.find(block);
  return found == held.lengths.end() ? 0 : found->second;
}

}  // namespace

void* AllocateLargeBlock(size_t size) {
  if (size > SIZE_MAX - 2 * kAlignment) return nullptr;
  const size_t length = RoundUp(size == 0 ? 1 : size, kAlignment);
  void* block = Reserve(length, PROT_READ | PROT_WRITE);
  if (block == nullptr) return nullptr;
  madvise(block, length, MADV_HUGEPAGE);
  Held& held = Blocks();
  std::lock_guard<std::mutex> lock(held.mutex);
  held.lengths[block] = length;
  return block;
}

bool IsLargeBlock(const void* block) { return HeldLength(block) != 0; }

size_t LargeBlockSize(const void* block) { return HeldLength(block); }

void* ResizeLargeBlock(void* block, size_t size) {
  const size_t length = HeldLength(block);
  if (length == 0 || size > SIZE_MAX - 2 * kAlignment) return nullptr;
  const size_t wanted = RoundUp(size == 0 ? 1 : size, kAlignment);
  if (wanted <= length) {  // in place; a shrink gives back the whole 2 MiB units past the end
    if (wanted < length) munmap(static_cast<char*>(block) + wanted, length - wanted);
    Held& held = Blocks();
    std::lock_guard<std::mutex> lock(held.mutex);
    held.lengths[block] = wanted;
    return block;
  }
  const size_t grown = wanted;
  void* target = Reserve(grown, PROT_NONE);
  if (target == nullptr) return nullptr;
  void* moved = mremap(block, length, grown, MREMAP_MAYMOVE | MREMAP_FIXED, target);
  if (moved == MAP_FAILED) {
    munmap(target, grown);
    return nullptr;
  }
  madvise(moved, grown, MADV_HUGEPAGE);
  Held& held = Blocks();
  std::lock_guard<std::mutex> lock(held.mutex);
  held.lengths.erase(block);
  held.lengths[moved] = grown;
  return moved;
}

void ReleaseLargeBlock(void* block) {
  size_t length = 0;
  {
    Held& held = Blocks();
    std::lock_guard<std::mutex> lock(held.mutex);
    const auto found = held.lengths.find(block);
    if (found == held.lengths.end()) return;
    length = found->second;
    held.lengths.erase(found);
  }
  munmap(block, length);
}

}  // namespace tulora::rt
