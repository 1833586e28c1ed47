// The program's heap: the C library's heap for ordinary blocks, large
// blocks (runtime/memory/large_blocks.h) from kLargeBlockFrom on.
#ifndef TULORA_RUNTIME_MEMORY_HEAP_H
#define TULORA_RUNTIME_MEMORY_HEAP_H

#include <stddef.h>

namespace tulora::rt {

// The program's heap over both kinds: ordinary blocks below
// kLargeBlockFrom, large blocks from there on. A block keeps its kind while
// it shrinks; an ordinary one that grows to kLargeBlockFrom moves into a
// large block with its bytes. Null when there is no room (a block to be
// resized is then still held). A size of 0 counts as 1.
void* AllocateHeapBlock(size_t size);
void* ResizeHeapBlock(void* block, size_t size);
void ReleaseHeapBlock(void* block);

// The platform back-end: the bytes an ordinary block can take, at least
// the size it was asked for.
size_t OrdinaryBlockSize(void* block);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_MEMORY_HEAP_H
