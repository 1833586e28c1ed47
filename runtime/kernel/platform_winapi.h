// The two hooks through which the kernel reaches the platform's library of
// Windows functions, where the runtime brings its own: on Linux the
// stand-ins of runtime/linux_winapi define both (platform_winapi.cc there).
// The kernel includes nothing else of that library.
#ifndef TULORA_RUNTIME_KERNEL_PLATFORM_WINAPI_H
#define TULORA_RUNTIME_KERNEL_PLATFORM_WINAPI_H

#include <stddef.h>

#include "runtime/kernel/dll_calls.h"

namespace tulora::rt {

// Registers the classes of objects offered by ProgID with the object layer;
// calling it again does nothing.
void RegisterPlatformObjects();

// The functions behind the declared DLL functions: `*count` entries.
const DllExport* PlatformDllExports(size_t* count);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_PLATFORM_WINAPI_H
