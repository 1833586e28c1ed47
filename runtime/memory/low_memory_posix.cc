// Linux back-end: mmap with MAP_32BIT places the block in the first 2 GiB
// of the address space on x86-64; 32-bit processes get low addresses anyway.
#include "runtime/memory/low_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#ifndef MAP_32BIT
#define MAP_32BIT 0
#endif

namespace tulora::rt {
namespace {
constexpr uint64_t kTwoGiB = 0x80000000ull;
}

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

void* ReserveLowMemory(size_t size) {
  void* block =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  uint64_t end = reinterpret_cast<uintptr_t>(block) + static_cast<uint64_t>(size);
  if (end > kTwoGiB) {
    munmap(block, size);
    return nullptr;
  }
  return block;
}

void FreeLowMemory(void* block, size_t size) {
  if (block != nullptr) munmap(block, size);
}

bool ProtectMemory(void* block, size_t size, Protection protection) {
  int flags = PROT_READ | PROT_WRITE;
  if (protection == Protection::kReadOnly) flags = PROT_READ;
  if (protection == Protection::kReadExecute) flags = PROT_READ | PROT_EXEC;
  return mprotect(block, size, flags) == 0;
}

void FlushInstructionCache(void* block, size_t size) {
  char* begin = static_cast<char*>(block);
  __builtin___clear_cache(begin, begin + size);
}

}  // namespace tulora::rt
