// Pausing the calling thread, for the xtra library.
#ifndef TULORA_RUNTIME_LIBRARIES_PAUSE_H
#define TULORA_RUNTIME_LIBRARIES_PAUSE_H

#include <stdint.h>

namespace tulora::rt {

// Sleeps for `milliseconds` (more than 0), resuming after interruptions
// until the whole time has passed.
void PauseThread(int32_t milliseconds);

// For tests: appends one line to the file at `logPath`, the milliseconds
// asked for and the bytes the process has written to its standard output
// so far ("1000 5120"; -1 when standard output is no file).
void RecordPause(const char* logPath, int32_t milliseconds);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LIBRARIES_PAUSE_H
