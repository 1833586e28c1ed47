// Starting a detached thread of the platform for the VThread library.
#ifndef TULORA_RUNTIME_LIBRARIES_THREAD_START_H
#define TULORA_RUNTIME_LIBRARIES_THREAD_START_H

namespace tulora::rt {

// Runs `body(context)` on a new detached thread with a stack of `stackBytes`.
// False when the platform cannot start it; `body` is then never called.
// The start record is taken from the C heap (no C++ run-time library is
// needed for it), and a record that cannot be had is a thread not started.
bool StartDetachedThread(void (*body)(void* context), void* context, unsigned stackBytes);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LIBRARIES_THREAD_START_H
