#include <malloc.h>

#include "runtime/memory/heap.h"

namespace tulora::rt {

size_t OrdinaryBlockSize(void* block) { return _msize(block); }

void KeepOneHeapForAllThreads() {}  // the process heap serves every thread

}  // namespace tulora::rt
