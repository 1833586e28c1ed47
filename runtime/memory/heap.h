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

// One heap for every thread of the process, as the platform's process heap
// is; called before the program's first thread starts. The C library would
// otherwise give a thread that allocates a heap of its own, reserving
// 64 MiB and growing it a page at a time: a system call for each page, 130
// of them in the crawl thread's first request.
void KeepOneHeapForAllThreads();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_MEMORY_HEAP_H
