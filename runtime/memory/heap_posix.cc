#include "runtime/memory/heap.h"

#include <malloc.h>

namespace tulora::rt {

size_t OrdinaryBlockSize(void* block) { return malloc_usable_size(block); }

void KeepOneHeapForAllThreads() { mallopt(M_ARENA_MAX, 1); }

}  // namespace tulora::rt
