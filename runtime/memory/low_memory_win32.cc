// Windows back-end: VirtualAlloc at a chosen address. The free regions of
// the address space below 2 GiB are walked with VirtualQuery and the block
// is placed in the first one that holds it, at an address on the
// allocation granularity. On i686 every address a program gets lies below
// 2 GiB unless it is large-address aware; the walk serves both.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "runtime/memory/low_memory.h"

namespace tulora::rt {
namespace {

constexpr uint64_t kTwoGiB = 0x80000000ull;
// Far enough above the first pages, which stay unmapped to catch null
// pointers.
constexpr uint64_t kLowest = 0x10000ull;

SYSTEM_INFO System() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info;
}

}  // namespace

size_t PageSize() { return System().dwPageSize; }

void* ReserveLowMemory(size_t size) {
  if (size == 0 || size > kTwoGiB) return nullptr;
  const uint64_t granularity = System().dwAllocationGranularity;
  uint64_t at = kLowest;
  while (at < kTwoGiB && kTwoGiB - at >= size) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), &region, sizeof region) ==
        0) {
      return nullptr;
    }
    const uint64_t regionEnd = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (region.State == MEM_FREE) {
      const uint64_t start = (at + granularity - 1) / granularity * granularity;
      if (start < regionEnd && regionEnd - start >= size && kTwoGiB - start >= size) {
        void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(start)), size,
                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (block != nullptr) return block;
        // Taken meanwhile by another thread: the walk goes on from there.
      }
    }
    if (regionEnd <= at) return nullptr;
    at = regionEnd;
  }
  return nullptr;
}

void FreeLowMemory(void* block, size_t /*size*/) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

bool ProtectMemory(void* block, size_t size, Protection protection) {
  DWORD flags = PAGE_READWRITE;
  if (protection == Protection::kReadOnly) flags = PAGE_READONLY;
  if (protection == Protection::kReadExecute) flags = PAGE_EXECUTE_READ;
  DWORD old;
  return VirtualProtect(block, size, flags, &old) != 0;
}

void FlushInstructionCache(void* block, size_t size) {
  ::FlushInstructionCache(GetCurrentProcess(), block, size);
}

}  // namespace tulora::rt
