// Pausing the calling thread, for the xtra library.
#ifndef TULORA_RUNTIME_LIBRARIES_PAUSE_H
#define TULORA_RUNTIME_LIBRARIES_PAUSE_H

#include <stdint.h>

namespace tulora::rt {

// Sleeps for `milliseconds` (more than 0), resuming after interruptions
// until the whole time has passed.
void PauseThread(int32_t milliseconds);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LIBRARIES_PAUSE_H
