// The pause log of the paced test program's xtra.vlr.
#ifndef TULORA_TESTS_PACED_PAUSE_LOG_H
#define TULORA_TESTS_PACED_PAUSE_LOG_H

#include <stdint.h>

namespace tulora::paced {

// Appends one line to the file at `logPath`: the milliseconds asked and the
// bytes the process has written to its standard output so far ("1000
// 5120"; -1 when standard output is no file).
void RecordPause(const char* logPath, int32_t milliseconds);

}  // namespace tulora::paced

#endif  // TULORA_TESTS_PACED_PAUSE_LOG_H
