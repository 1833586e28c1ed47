// Memory below 2 GiB for the program image, so that the image's 32-bit
// absolute address fields hold the addresses of its segments.
#ifndef TULORA_RUNTIME_MEMORY_LOW_MEMORY_H
#define TULORA_RUNTIME_MEMORY_LOW_MEMORY_H

#include <stddef.h>
#include <stdint.h>

namespace tulora::rt {

enum class Protection { kReadWrite, kReadOnly, kReadExecute };

// Page size of the platform.
size_t PageSize();

// A zero-filled, writable block of `size` bytes (a multiple of the page
// size) that lies wholly below 2 GiB; null when none can be had.
void* ReserveLowMemory(size_t size);
void FreeLowMemory(void* block, size_t size);

// Changes the protection of whole pages; false on failure.
bool ProtectMemory(void* block, size_t size, Protection protection);

// Makes freshly written code visible to instruction fetch.
void FlushInstructionCache(void* block, size_t size);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_MEMORY_LOW_MEMORY_H
