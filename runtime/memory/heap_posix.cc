#include "runtime/memory/heap.h"

#include <malloc.h>

namespace tulora::rt {

size_t OrdinaryBlockSize(void* block) { return malloc_usable_size(block); }

}  // namespace tulora::rt
