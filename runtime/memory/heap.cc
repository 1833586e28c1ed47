#include "runtime/memory/heap.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "runtime/memory/large_blocks.h"

namespace tulora::rt {

void* AllocateHeapBlock(size_t size) {
  return size >= kLargeBlockFrom ? AllocateLargeBlock(size) : malloc(size ? size : 1);
}

void* ResizeHeapBlock(void* block, size_t size) {
  if (block == nullptr) return AllocateHeapBlock(size);
  if (IsLargeBlock(block)) return ResizeLargeBlock(block, size);
  if (size < kLargeBlockFrom) return realloc(block, size ? size : 1);
  void* large = AllocateLargeBlock(size);
  if (large == nullptr) return nullptr;
  memcpy(large, block, std::min(OrdinaryBlockSize(block), size));
  free(block);
  return large;
}

void ReleaseHeapBlock(void* block) {
  if (IsLargeBlock(block)) {
    ReleaseLargeBlock(block);
  } else {
    free(block);
  }
}

}  // namespace tulora::rt
