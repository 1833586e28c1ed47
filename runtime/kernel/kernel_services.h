// The kernel library's ServiceTable and the program state its services act
// on: the declared DLL functions and support libraries of the loaded image,
// the routine that releases the program's globals, and the count of running
// application threads.
#ifndef TULORA_RUNTIME_KERNEL_KERNEL_SERVICES_H
#define TULORA_RUNTIME_KERNEL_KERNEL_SERVICES_H

#include <stdint.h>

#include <vector>

#include "image/services.h"
#include "runtime/base/library_abi.h"
#include "runtime/kernel/dll_calls.h"

namespace tulora::rt {

// What the loaded image's selectors resolve to.
struct ProgramBindings {
  std::vector<const DllExport*> dllFunctions;  // by DllFunctionTable entry
  std::vector<LibraryCommandEntry> libraries;  // by LibraryTable row; row 0 is the kernel
};

// The table every slot of which is served by the kernel.
const ServiceTable& KernelServiceTable();
const LibraryHost* KernelLibraryHost();

// Installs the bindings of the image about to run.
void BindProgram(ProgramBindings bindings);

// Ends the program at once: "Error: <message>" on stderr, exit code 1.
[[noreturn]] void EndWithError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Application threads started through VThread that have not ended.
int LiveApplicationThreads();

// Block of `size` bytes from the program's heap (what Allocate returns);
// ends the program when memory is exhausted. Blocks of kLargeBlockFrom
// bytes and more are large blocks (runtime/memory/large_blocks.h).
void* AllocateBlock(uint32_t size);

// Gives back a block of the program's heap (what Release does).
void ReleaseBlock(void* block);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_KERNEL_SERVICES_H
