// What the kernel needs of the operating system to start a program: the
// extent of the memory the launcher hands over, its own directory, and the
// loading of the support libraries.
#ifndef TULORA_RUNTIME_KERNEL_PLATFORM_H
#define TULORA_RUNTIME_KERNEL_PLATFORM_H

#include <stddef.h>

#include <string>

#include "runtime/base/library_abi.h"

namespace tulora::rt {

// How many bytes from `address` on can be read: up to the end of the run of
// readable mappings that holds it, at most `limit`. 0 when the address is
// not readable at all.
size_t ReadableBytesAt(const void* address, size_t limit);

// The directory of the shared library or executable that holds `symbol`,
// without a trailing separator; empty when unknown.
std::string DirectoryOf(const void* symbol);

// Loads the support library `name` from `directory` (file name + ".vlr") and
// returns its command entry; null with `error` set on failure.
LibraryCommandEntry LoadSupportLibrary(const std::string& directory, const std::string& name,
                                       std::string& error);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_PLATFORM_H
