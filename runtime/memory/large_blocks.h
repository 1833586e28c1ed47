// Blocks of kLargeBlockFrom bytes and more for the program's heap: whole mappings of
// their own, aligned to 2 MiB and offered to the kernel for huge pages.
//
// A body of several megabytes filled into ordinary fresh memory costs a page
// fault per 4 KiB, which on virtual machines is most of the processor time
// of a download; on huge pages it costs a fault per 2 MiB. A block holds
// whole 2 MiB units; it grows by moving its pages to a larger aligned
// mapping (no bytes are copied) and shrinks by giving back the units past
// its new end. Only the pages written count in memory; a written block of
// 300 KiB takes one huge page. Where huge pages are off, the same blocks get
// ordinary pages.
#ifndef TULORA_RUNTIME_MEMORY_LARGE_BLOCKS_H
#define TULORA_RUNTIME_MEMORY_LARGE_BLOCKS_H

#include <stddef.h>

namespace tulora::rt {

// Sizes from here on are served as large blocks.
inline constexpr size_t kLargeBlockFrom = size_t{256} << 10;

// A new large block of at least `size` bytes, zero-filled; null when the
// system has no room.
void* AllocateLargeBlock(size_t size);

// True when `block` came from AllocateLargeBlock and is still held.
bool IsLargeBlock(const void* block);

// The bytes a held large block can take.
size_t LargeBlockSize(const void* block);

// Grows or shrinks a held large block, keeping its first `size` bytes; the
// block's new address, or null (the old block still held) when there is no
// room.
void* ResizeLargeBlock(void* block, size_t size);

void ReleaseLargeBlock(void* block);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_MEMORY_LARGE_BLOCKS_H
