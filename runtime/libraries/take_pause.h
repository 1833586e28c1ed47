// How xtra.vlr carries out its pause command. The library users run pauses
// for the time asked (take_pause.cc); a variant that only the tests build
// links its own definition (tests/paced/).
#ifndef TULORA_RUNTIME_LIBRARIES_TAKE_PAUSE_H
#define TULORA_RUNTIME_LIBRARIES_TAKE_PAUSE_H

#include <stdint.h>

namespace tulora::rt {

// Pauses the calling thread for `milliseconds`; 0 or less returns at once.
void TakePause(int32_t milliseconds);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LIBRARIES_TAKE_PAUSE_H
