// The launcher's start routine: reads the payload at the end of the
// executable, writes the runtime files into the extraction directory, loads
// the kernel library and hands the program image to the runtime.
#ifndef TULORA_LAUNCHER_START_H
#define TULORA_LAUNCHER_START_H

#include <cstdint>

#include "image/interface_constants.h"
#include "launcher/platform.h"

namespace tulora::launcher {

// The kernel library's interface (image/interface_constants.h):
// GetNewSock(KERNEL_INTERFACE_VERSION) gives the runtime entry, which takes
// the address of the program image and returns when the application has
// finished (its result is ignored).
using tulora::GetNewSockFunction;
using tulora::KERNEL_INTERFACE_VERSION;
using tulora::RuntimeEntry;
inline constexpr const char* KERNEL_EXPORT = "GetNewSock";

// Runs the whole start-up and hand-over. Every failure before the hand-over
// shows one error message through `os.showError` and nothing else happens.
// Returns 0 in every case.
int StartRoutine(const PlatformOps& os, const void* programImage);

}  // namespace tulora::launcher

#endif  // TULORA_LAUNCHER_START_H
