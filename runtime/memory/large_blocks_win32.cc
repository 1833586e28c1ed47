// Large blocks on Windows: whole allocations of their own from VirtualAlloc,
// which are aligned to the allocation granularity (64 KiB) and zero-filled.
// Huge pages need a privilege the program does not have, so the blocks get
// ordinary pages. A block shrinks by giving back its pages past the new
// end, grows back into those pages of its own reservation, and otherwise
// grows by moving its bytes to a new allocation. The held blocks and their lengths are
// kept in a table under a lock; only an address on the granularity is
// looked up there.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "runtime/memory/large_blocks.h"

namespace tulora::rt {
namespace {

constexpr size_t kGranularity = size_t{64} << 10;

struct Held {
  std::mutex mutex;
  std::unordered_map<const void*, size_t> lengths;  // block -> committed length
};

Held& Blocks() {
  static Held* held = new Held;  // outlives every thread that may still release
  return *held;
}

size_t RoundUp(size_t size, size_t unit) { return (size + unit - 1) & ~(unit - 1); }

bool IsAligned(const void* block) {
  return (reinterpret_cast<uintptr_t>(block) & (kGranularity - 1)) == 0;
}

size_t HeldLength(const void* block) {
  if (block == nullptr || !IsAligned(block)) return 0;
  Held& held = Blocks();
  std::lock_guard<std::mutex> lock(held.mutex);
  const auto found = held.lengths.find(block);
  return found == held.lengths.end() ? 0 : found->second;
}

void SetLength(const void* block, size_t length) {
  Held& held = Blocks();
  std::lock_guard<std::mutex> lock(held.mutex);
  held.lengths[block] = length;
}

}  // namespace

void* AllocateLargeBlock(size_t size) {
  if (size > SIZE_MAX - kGranularity) return nullptr;
  const size_t length = RoundUp(size == 0 ? 1 : size, kGranularity);
  void* block = VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (block == nullptr) return nullptr;
  SetLength(block, length);
  return block;
}

bool IsLargeBlock(const void* block) { return HeldLength(block) != 0; }

size_t LargeBlockSize(const void* block) { return HeldLength(block); }

void* ResizeLargeBlock(void* block, size_t size) {
  const size_t length = HeldLength(block);
  if (length == 0 || size > SIZE_MAX - kGranularity) return nullptr;
  const size_t wanted = RoundUp(size == 0 ? 1 : size, kGranularity);
  if (wanted <= length) {
    // The reservation stays whole (only all of it can be released); the
    // pages past the new end go back to the system.
    if (wanted < length)
      VirtualFree(static_cast<char*>(block) + wanted, length - wanted, MEM_DECOMMIT);
    SetLength(block, wanted);
    return block;
  }
  // Pages of the block's own reservation that a shrink gave back.
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(block, &region, sizeof region) != 0 && region.AllocationBase == block) {
    MEMORY_BASIC_INFORMATION tail;
    char* end = static_cast<char*>(block) + length;
    if (VirtualQuery(end, &tail, sizeof tail) != 0 && tail.AllocationBase == block &&
        tail.State == MEM_RESERVE && tail.RegionSize >= wanted - length &&
        VirtualAlloc(end, wanted - length, MEM_COMMIT, PAGE_READWRITE) != nullptr) {
      SetLength(block, wanted);
      return block;
    }
  }
  void* moved = VirtualAlloc(nullptr, wanted, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, length);
  {
    Held& held = Blocks();
    std::lock_guard<std::mutex> lock(held.mutex);
    held.lengths.erase(block);
    held.lengths[moved] = wanted;
  }
  VirtualFree(block, 0, MEM_RELEASE);
  return moved;
}

void ReleaseLargeBlock(void* block) {
  {
    Held& held = Blocks();
    std::lock_guard<std::mutex> lock(held.mutex);
    const auto found = held.lengths.find(block);
    if (found == held.lengths.end()) return;
    held.lengths.erase(found);
  }
  VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace tulora::rt
